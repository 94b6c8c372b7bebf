// Costs of the display engine under the real DirectDraw: loading the nine embedded sprites and
// one full-screen frame (ClearOutput + FlipScreen), at 32 and at 16 bits per pixel.
// Run: tests/wine/run.sh BUILD bench_display.exe [frames]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/bench/bench_support.h"
#include "app/embedded.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "image/decoders.h"
#include "runtime/memory.h"

namespace {

double Microseconds() { return Now() * 1e6; }

void Measure(int32_t depth, int frames) {
  double start = Microseconds();
  if (!OpenFullScreen(1024, 768, depth, "Vorlune benchmark")) {
    printf("%d bits: OpenFullScreen failed\n", depth);
    return;
  }
  printf("%d bits: OpenFullScreen %.1f ms\n", depth, (Microseconds() - start) / 1000);
  // Wine settles for a moment after a mode change; that is not the cost of what is measured.
  for (start = Microseconds(); Microseconds() - start < 1500000;) {
    ClearOutput(0);
    FlipScreen();
  }
  const int repeats = 200;
  for (int n = 1; n <= 9; ++n) {
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
      start = Microseconds();
      void* sprite = LoadSpriteFromMemory(n, EmbeddedPicture(n), SpriteTexture, EmbeddedPictureSize(n));
      times.push_back(Microseconds() - start);
      if (!sprite) {
        printf("  sprite %d: load failed\n", n);
        break;
      }
    }
    printf("  LoadSpriteFromMemory sprite %d (%u bytes PNG): median %.1f us, min %.1f us (%d loads)\n", n,
           static_cast<unsigned>(EmbeddedPictureSize(n)), Median(times), *std::min_element(times.begin(), times.end()),
           repeats);
  }
  // FlipScreen waits for the vertical sync; mode 0 shows what the frame itself costs.
  for (int32_t mode : {FlipWaitVerticalSync, 0}) {
    std::vector<double> times;
    for (int i = 0; i < frames; ++i) {
      start = Microseconds();
      ClearOutput(0);
      FlipScreenMode(mode);
      times.push_back(Microseconds() - start);
    }
    double total = 0;
    for (double t : times) total += t;
    printf("  ClearOutput + %s, 1024 x 768: median %.1f us, mean %.1f us (%.0f frames/s over %d frames)\n",
           mode ? "FlipScreen" : "FlipScreenMode(0)", Median(times), total / frames, frames * 1e6 / total, frames);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
  MainHeap = HeapCreate(0, 0, 0);
  InitListedObjectHeap();
  ResetImageDecoders();
  RegisterPngDecoder();
  double start = Microseconds();
  if (!InitSpriteEngine()) {
    printf("InitSpriteEngine failed\n");
    return 1;
  }
  printf("InitSpriteEngine %.1f ms\n", (Microseconds() - start) / 1000);
  Measure(32, frames);
  Measure(16, frames);
  EndScreen();
  ShutdownSpriteEngine();
  return 0;
}
