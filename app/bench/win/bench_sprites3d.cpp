// Cost of the saver's frame parts under the real DirectDraw and Direct3D at 1024 x 768: one
// scene of 2,020 faded 16 x 16 3D sprites, and 100 blends of the 1 x 2 star sprite inside a
// software frame (with its clear and its blit to the back buffer).
// Run: tests/wine/run.sh BUILD bench_sprites3d.exe [frames] [depth]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/bench/bench_support.h"
#include "app/embedded.h"
#include "display/blending.h"
#include "display/win/screen.h"
#include "display/win/sprites.h"
#include "display/win/sprites3d.h"
#include "image/decoders.h"
#include "runtime/memory.h"

namespace {

double Microseconds() { return Now() * 1e6; }

const int32_t Width = 1024, Height = 768;
const int QuadsPerFrame = 2020;
const int StarsPerFrame = 100;

struct Times {
  std::vector<double> values;
  double Median() { return ::Median(values); }
  double Mean() { return Sum(values) / static_cast<double>(values.size()); }
};

// Positions spread over the screen like trail points: a few rosettes of points.
struct Point {
  int32_t x, y, alpha, sprite;
};

std::vector<Point> TrailPoints() {
  std::vector<Point> points;
  for (int i = 0; i < QuadsPerFrame; ++i) {
    const int emitter = i % 20, age = i / 20;
    points.push_back({Width / 2 - 8 + (emitter * 37 + age * 5) % 400 - 200, Height / 2 - 8 + (emitter * 23 + age * 3) % 300 - 150,
                      (age * 255) / 101, 1 + emitter % 9});
  }
  return points;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
  const int32_t depth = argc > 2 ? atoi(argv[2]) : 32;
  MainHeap = HeapCreate(0, 0, 0);
  InitListedObjectHeap();
  ResetImageDecoders();
  RegisterPngDecoder();
  if (!InitSpriteEngine() || !Sprite3DLibraryInit()) {
    printf("InitSpriteEngine or Sprite3DLibraryInit failed\n");
    return 1;
  }
  if (!OpenFullScreen(Width, Height, depth, "Vorlune 3D benchmark")) {
    printf("OpenFullScreen(%d, %d, %d) failed\n", Width, Height, depth);
    return 1;
  }
  for (int n = 1; n <= 9; ++n)
    if (!LoadSpriteFromMemory(n, EmbeddedPicture(n), SpriteTexture, EmbeddedPictureSize(n)) || !MakeSprite3D(n, n)) {
      printf("sprite %d failed\n", n);
      return 1;
    }
  // The star: 1 x 2 white pixels in system memory.
  if (!NewSprite(10, 1, 2, SpriteSystemMemory)) return 1;
  SelectDrawTarget(10);
  ClearOutput(0xFFFFFF);
  SelectDrawTarget(-1);
  const std::vector<Point> points = TrailPoints();
  std::vector<Point> stars;
  for (int i = 0; i < StarsPerFrame; ++i) stars.push_back({(i * 101) % Width, (i * 67) % Height, 43 + (i % 11) * 22, 10});

  Times software, clear, blend, blit, scene, flip, whole;
  // Wine settles for a moment after the mode change and compiles its shaders on the first frames.
  for (int warm = 0; warm < 60 + frames; ++warm) {
    const double start = Microseconds();
    BeginSoftwareFrame();
    ClearOutput(0);
    const double afterClear = Microseconds();
    for (const Point& s : stars) BlendSprite(s.sprite, s.x, s.y, s.alpha);
    const double afterBlend = Microseconds();
    EndSoftwareFrame();
    const double afterSoftware = Microseconds();
    SetSprite3DFiltering(0);
    if (BeginSprite3DScene()) {
      SetSprite3DBlendFactors(5, 2);
      for (const Point& p : points) DrawSprite3DFaded(p.sprite, p.x, p.y, p.alpha);
      EndSprite3DScene();
    }
    const double afterScene = Microseconds();
    FlipScreen();
    const double end = Microseconds();
    if (warm < 60) continue;
    software.values.push_back(afterSoftware - start);
    clear.values.push_back(afterClear - start);
    blend.values.push_back(afterBlend - afterClear);
    blit.values.push_back(afterSoftware - afterBlend);
    scene.values.push_back(afterScene - afterSoftware);
    flip.values.push_back(end - afterScene);
    whole.values.push_back(end - start);
  }
  printf("%d x %d x %d, %d frames (median / mean microseconds per frame)\n", Width, Height, depth, frames);
  printf("  software frame (clear, %d BlendSprite of 1 x 2, blit): %8.1f / %8.1f\n", StarsPerFrame, software.Median(),
         software.Mean());
  printf("    BeginSoftwareFrame + ClearOutput:                   %8.1f / %8.1f\n", clear.Median(), clear.Mean());
  printf("    %d BlendSprite:                                    %8.1f / %8.1f\n", StarsPerFrame, blend.Median(), blend.Mean());
  printf("    EndSoftwareFrame (blit to the back buffer):         %8.1f / %8.1f\n", blit.Median(), blit.Mean());
  printf("  3D scene (%d DrawSprite3DFaded of 16 x 16):           %8.1f / %8.1f  (%.2f us per quad)\n", QuadsPerFrame,
         scene.Median(), scene.Mean(), scene.Median() / QuadsPerFrame);
  printf("  FlipScreen (no frame limit):                          %8.1f / %8.1f\n", flip.Median(), flip.Mean());
  printf("  whole frame:                                          %8.1f / %8.1f  (%.0f frames/s)\n", whole.Median(),
         whole.Mean(), 1e6 / whole.Mean());

  // The blends alone: 100 calls inside an open software frame, without the clear and the blit.
  Times blends;
  BeginSoftwareFrame();
  for (int i = 0; i < frames; ++i) {
    const double start = Microseconds();
    for (const Point& s : stars) BlendSprite(s.sprite, s.x, s.y, s.alpha);
    blends.values.push_back(Microseconds() - start);
  }
  EndSoftwareFrame();
  printf("  %d BlendSprite alone:                                  %8.1f / %8.1f  (%.2f us per call)\n", StarsPerFrame,
         blends.Median(), blends.Mean(), blends.Median() / StarsPerFrame);
  EndScreen();
  CloseSprite3DLibrary();
  ShutdownSpriteEngine();
  return 0;
}
