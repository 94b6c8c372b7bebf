// The soak programs' one line of what the program holds in its own heaps, the same on both
// platforms, so that one reading of it serves scripts/soak.sh and scripts/soak_x11.sh:
//   SAMPLE t=<seconds> frames=<n> patterns=<n> trail=<n> main_blocks=<n> main_bytes=<n>
//          listed_blocks=<n> listed_bytes=<n> string_blocks=<n> string_bytes=<n>
// (one line; -1 for a heap that could not be walked).
#pragma once
#include <cstdio>

#include "app/state.h"
#include "runtime/memory.h"
#include "runtime/platform.h"

struct SoakProgress {
  DWORD start;  // GetTickCount at the start
  long frames;
  long patterns;
};

inline long long CountedOrMinusOne(int walked, size_t value) { return walked ? static_cast<long long>(value) : -1; }

inline void PrintSoakSample(const SoakProgress& p) {
  size_t mainBlocks, mainBytes, listedBlocks, listedBytes, stringBlocks, stringBytes;
  const int mainWalked = HeapUsage(MainHeap, &mainBlocks, &mainBytes);
  const int listedWalked = HeapUsage(ListedObjectHeap, &listedBlocks, &listedBytes);
  const int stringWalked = HeapUsage(StringHeap, &stringBlocks, &stringBytes);
  printf("SAMPLE t=%.1f frames=%ld patterns=%ld trail=%d main_blocks=%lld main_bytes=%lld listed_blocks=%lld "
         "listed_bytes=%lld string_blocks=%lld string_bytes=%lld\n",
         (GetTickCount() - p.start) / 1000.0, p.frames, p.patterns,
         App.TrailPoints.header ? static_cast<int>(App.TrailPoints.header->count) : 0,
         CountedOrMinusOne(mainWalked, mainBlocks), CountedOrMinusOne(mainWalked, mainBytes),
         CountedOrMinusOne(listedWalked, listedBlocks), CountedOrMinusOne(listedWalked, listedBytes),
         CountedOrMinusOne(stringWalked, stringBlocks), CountedOrMinusOne(stringWalked, stringBytes));
  fflush(stdout);
}
