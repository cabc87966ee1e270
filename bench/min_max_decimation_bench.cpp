// The chart decimation that makes long records cheap to draw: a 20,000-sample record and a 2,000,000-sample PPG
// reduced to the pixel columns of a chart (a full view and a zoomed view while panning).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "app/charts/min_max_decimation.h"

namespace {

std::vector<double> Wave(std::size_t n) {
  std::vector<double> ys(n);
  for (std::size_t i = 0; i < n; ++i)
    ys[i] = std::sin(0.01 * static_cast<double>(i)) + 0.1 * std::sin(1.3 * static_cast<double>(i));
  return ys;
}

void BM_DecimateFullView(benchmark::State& state) {
  const std::vector<double> ys = Wave(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(kelvora::MinMaxDecimation(ys, 0, ys.size() - 1, 1600));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecimateFullView)->Arg(20000)->Arg(2000000)->Unit(benchmark::kMicrosecond);

// Panning through a 2,000,000-sample record zoomed to a tenth of it.
void BM_DecimatePanningTenth(benchmark::State& state) {
  const std::vector<double> ys = Wave(2000000);
  std::size_t first = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kelvora::MinMaxDecimation(ys, first, first + 199999, 1600));
    first = (first + 20000) % 1800000;
  }
}
BENCHMARK(BM_DecimatePanningTenth)->Unit(benchmark::kMicrosecond);

}  // namespace
