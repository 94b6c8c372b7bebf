// The saver's star field on a 32-bit frame: each of the 100 stars falls one step and the 1 x 2
// white star sprite is blended at its rounded position with its intensity, through the same
// intensity rule, clipping and row blending that BlendSprite uses inside a software frame (the
// output is the frame itself). Left out, because they are DirectDraw's: the clear, the surface
// locks and the blit of the frame to the back buffer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/pattern.h"
#include "app/saver.h"
#include "display/blend.h"
#include "display/pixels.h"
#include "runtime/random.h"

namespace {

void BM_StarBlends(benchmark::State& state) {
  const int32_t width = static_cast<int32_t>(state.range(0));
  const int32_t height = static_cast<int32_t>(state.range(1));
  BuildBlendTable();
  std::vector<uint32_t> frame(static_cast<size_t>(width) * height, 0);
  const uint32_t sprite[2] = {0x00FFFFFF, 0x00FFFFFF};   // one column, two rows
  const int32_t spritePitch = 4, framePitch = 4 * width;
  SeedRandom(99);
  Star stars[StarCount];
  for (Star& star : stars) MakeStar(&star, width, height);
  int64_t blended = 0;
  for (auto _ : state) {
    for (Star& star : stars) {
      FallStar(&star, height);
      const BlendMode mode = BlendModeFor(star.intensity);
      BlendArea area;
      if (!ClipBlendArea(RoundToPixel(star.x), RoundToPixel(star.y), 1, 2, width, height, &area)) continue;
      uint8_t* target = reinterpret_cast<uint8_t*>(frame.data()) + static_cast<ptrdiff_t>(area.y) * framePitch +
                        static_cast<ptrdiff_t>(area.x) * 4;
      const BlendRows rows = {reinterpret_cast<const uint8_t*>(sprite) + area.skipY * spritePitch + area.skipX * 4,
                              spritePitch, target, framePitch, target, framePitch, area.width, area.height};
      BlendRows32(rows, mode);
      ++blended;
    }
    benchmark::ClobberMemory();
  }
  state.counters["blends"] = benchmark::Counter(static_cast<double>(blended), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StarBlends)->Args({1920, 1080})->Args({1024, 768})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
