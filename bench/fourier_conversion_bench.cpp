#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/fourier_conversion.h"

namespace kelvora {
namespace {

std::vector<double> Normalized(int count) {
  std::vector<double> x(count);
  for (int i = 0; i < count; ++i) x[i] = 0.5 + 0.3 * std::sin(i / 300.0) + 0.1 * std::sin(i / 17.0);
  return x;
}

// FurieT over the default T band (0 .. 0.1 Hz) on 20,000 samples at 2 Hz, caches cleared every run; the second
// argument is the model (0 thermal wave, 1 derivative).
void BM_FurieT(benchmark::State& state) {
  const std::vector<double> x = Normalized(static_cast<int>(state.range(0)));
  BandTransform transform;
  FourierConversionOptions options;
  options.model = static_cast<ConversionModel>(state.range(1));
  for (auto _ : state) {
    transform.clearTemperatureSlots();
    transform.setBand(kTemperatureBandSlot, {0.0, 0.1});
    benchmark::DoNotOptimize(FurieT(transform, x, 30.0, 34.0, 2, options, NullProgress()));
  }
}

// FurieBF over the default BF band (0 .. 2 Hz, clamped to 1 Hz: every bin) on 20,000 samples at 2 Hz.
void BM_FurieBF(benchmark::State& state) {
  const std::vector<double> x = Normalized(static_cast<int>(state.range(0)));
  BandTransform transform;
  FourierConversionOptions options;
  options.model = static_cast<ConversionModel>(state.range(1));
  for (auto _ : state) {
    transform.clearBloodFlowSlots();
    transform.setBand(kBloodFlowBandSlot, {0.0, 2.0});
    benchmark::DoNotOptimize(FurieBF(transform, x, 2, options, NullProgress()));
  }
}

BENCHMARK(BM_FurieT)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FurieBF)->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kelvora
