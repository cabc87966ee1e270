// The band transform and its reconstruction over the full band of a 20,000-sample and a 1,000-sample record.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/band_reconstruction.h"
#include "core/band_transform.h"

namespace {

std::vector<double> TestSignal(int count) {
  std::vector<double> x(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    x[static_cast<std::size_t>(i)] = 0.5 + 0.3 * std::sin(0.01 * i) + 0.1 * std::sin(0.37 * i + 1.0);
  return x;
}

// The full band (0 .. fs/2 at fs = 2 Hz), a fresh cache every run: transform plus reconstruction.
void BM_BandTransformAndReconstruction(benchmark::State& state) {
  const std::vector<double> x = TestSignal(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    kelvora::BandTransform transform;
    transform.setBand(kelvora::kFourierFrequencySlot, {0.0, 1.0});
    const kelvora::BandSpectrum s = transform.transform(kelvora::kFourierFrequencySlot, x, 2);
    const auto y =
        kelvora::ReconstructBand(s.coefficients, {}, s.lowBin, s.highBin, s.coefficients[0], s.paddedLastIndex);
    benchmark::DoNotOptimize(y.data());
    state.counters["bins"] = s.highBin - s.lowBin + 1;
  }
}

BENCHMARK(BM_BandTransformAndReconstruction)->Arg(20000)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
