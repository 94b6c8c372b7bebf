// Cost of RandomUpTo: one RANROT-W step and the multiply-shift scaling.
#include <benchmark/benchmark.h>

#include "runtime/random.h"

namespace {

void BM_RandomUpTo(benchmark::State& state) {
  SeedRandom(12345);
  int32_t n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(RandomUpTo(n));
  state.SetItemsProcessed(state.iterations());
}

}  // namespace
BENCHMARK(BM_RandomUpTo)->Arg(0)->Arg(10)->Arg(1000)->Arg(2147483647)->Arg(-1);

namespace {

// A pattern's worth of draws, as the saver makes them for a new figure.
void BM_RandomUpToBurst(benchmark::State& state) {
  SeedRandom(7);
  for (auto _ : state) {
    int32_t sum = 0;
    for (int i = 0; i < 100; ++i) sum += RandomUpTo(359);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 100);
}

}  // namespace
BENCHMARK(BM_RandomUpToBurst);

BENCHMARK_MAIN();
