// The band transform and its reconstruction over the full band of a 20,000-sample record: the FFT code of the
// program beside the chirp-z / phasor-table code it replaced (bench/old), in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/old/core/band_reconstruction.h"
#include "bench/old/core/band_transform.h"
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
template <typename Transform, typename Reconstruct>
void RunFullBand(benchmark::State& state, Reconstruct reconstruct) {
  const std::vector<double> x = TestSignal(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Transform transform;
    transform.setBand(kelvora::kFourierFrequencySlot, {0.0, 1.0});
    const auto s = transform.transform(kelvora::kFourierFrequencySlot, x, 2);
    const auto y = reconstruct(s);
    benchmark::DoNotOptimize(y.data());
    state.counters["bins"] = s.highBin - s.lowBin + 1;
  }
}

void BM_BandTransformAndReconstruction(benchmark::State& state) {
  RunFullBand<kelvora::BandTransform>(state, [](const kelvora::BandSpectrum& s) {
    return kelvora::ReconstructBand(s.coefficients, {}, s.lowBin, s.highBin, s.coefficients[0], s.paddedLastIndex);
  });
}

void BM_BandTransformAndReconstructionOld(benchmark::State& state) {
  RunFullBand<kelvora::old::BandTransform>(state, [](const kelvora::old::BandSpectrum& s) {
    return kelvora::old::ReconstructBand(s.coefficients, {}, s.lowBin, s.highBin, s.coefficients[0],
                                         s.paddedLastIndex);
  });
}

BENCHMARK(BM_BandTransformAndReconstruction)->Arg(20000)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BandTransformAndReconstructionOld)->Arg(20000)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
