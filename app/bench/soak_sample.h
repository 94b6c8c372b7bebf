// The soak programs' loop and their one line of what the program holds in its own heaps, the same
// on both platforms, so that one reading of it serves scripts/soak.sh and scripts/soak_x11.sh:
//   SAMPLE t=<seconds> frames=<n> patterns=<n> trail=<n> main_blocks=<n> main_bytes=<n>
//          listed_blocks=<n> listed_bytes=<n> string_blocks=<n> string_bytes=<n>
// (one line; -1 for a heap that could not be walked).
#pragma once
#include <cstdio>

#include "app/saver.h"
#include "app/state.h"
#include "display/screen.h"
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

// The saver's frames after SaverSetUp until the input or the screen ends them: a line at the
// start, every interval seconds and after the last frame. Returns the frames drawn.
inline long RunSoakLoop(long interval) {
  SoakProgress progress = {GetTickCount(), 0, 0};
  const DWORD period = static_cast<DWORD>(interval) * 1000;
  DWORD nextSample = progress.start;
  int32_t patternTime = App.NextPatternTime;
  bool going;
  do {
    if (static_cast<int32_t>(GetTickCount() - nextSample) >= 0) {
      PrintSoakSample(progress);
      nextSample += period;
    }
    DrawBackground();
    DrawPattern();
    ShowFrame();
    going = AdvanceAndReadInput() && !ScreenClosed();
    ++progress.frames;
    // Return moves the time a little ahead without a new pattern; the timer's change moves it a
    // whole period.
    if (App.NextPatternTime != patternTime) {
      if (App.NextPatternTime - static_cast<int32_t>(GetTickCount()) > ReturnDelay) ++progress.patterns;
      patternTime = App.NextPatternTime;
    }
  } while (going);
  PrintSoakSample(progress);
  return progress.frames;
}
