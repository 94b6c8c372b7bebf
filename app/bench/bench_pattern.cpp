// One steady-state frame of the pattern model: the trail pass over the full trail (about 2,020
// points) with a drawing routine that does nothing, then the step and the colour draw.
#include <benchmark/benchmark.h>

#include "app/pattern.h"
#include "app/state.h"
#include "desktop/desktop.h"
#include "runtime/lists.h"
#include "runtime/memory.h"
#include "runtime/platform.h"
#include "runtime/random.h"

namespace {

int64_t drawCalls;
void CountDraw(int32_t, int32_t, int32_t, int32_t) { drawCalls++; }

bool SetUpModel() {
  if (!MainHeap) MainHeap = HeapCreate(0, 4096, 0);
  if (!MainHeap) return false;
  if (!CreateList(&App.TrailPoints, sizeof(TrailPoint), nullptr, 7)) return false;
  if (!CreateList(&App.Emitters, sizeof(Emitter), nullptr, 7)) return false;
  if (!AllocateArray(FadeTableLast, sizeof(int32_t), 0, reinterpret_cast<void**>(&App.FadeTable), 5)) return false;
  DesktopRecord display = {};
  display.width = 1024;
  display.height = 768;
  display.depth = 32;
  if (!ReplaceDesktopRecords(&display, 1)) return false;
  App.FadeLength = PatternFadeLength;
  App.EmitterCount = PatternEmitterCount;
  App.CentreX = 512;
  App.CentreY = 384;
  SeedRandom(2024);
  BuildFadeTable();
  NewPattern();
  for (int f = 0; f < 2 * PatternFadeLength; f++) {  // fill the trail to its steady size
    TrailPass(CountDraw);
    StepEmitters();
    CycleEmitterColour();
  }
  return true;
}

void BM_PatternFrame(benchmark::State& state) {
  if (!SetUpModel()) {
    state.SkipWithError("could not set the model up");
    return;
  }
  drawCalls = 0;
  int64_t points = 0;
  for (auto _ : state) {
    points += App.TrailPoints.header->count;
    TrailPass(CountDraw);
    StepEmitters();
    CycleEmitterColour();
  }
  state.counters["points"] = benchmark::Counter(static_cast<double>(points), benchmark::Counter::kAvgIterations);
  state.counters["draws"] = benchmark::Counter(static_cast<double>(drawCalls), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PatternFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
