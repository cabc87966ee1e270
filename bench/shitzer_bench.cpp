#include <cmath>
#include <vector>

#include <benchmark/benchmark.h>

#include "signals/shitzer_model.h"

namespace kelvora {
namespace {

std::vector<double> Temperature(int count) {
  std::vector<double> t(count);
  for (int i = 0; i < count; ++i) t[i] = 32.0 + std::sin(i / 300.0) + 0.2 * std::sin(i / 17.0);
  return t;
}

// ShitzerT with its Gaussian smoothing on a 20,000-sample record at 2 Hz.
void BM_ShitzerT(benchmark::State& state) {
  const std::vector<double> t = Temperature(static_cast<int>(state.range(0)));
  const std::vector<double> d = TemperatureDerivative(t).values;
  for (auto _ : state) benchmark::DoNotOptimize(ShitzerT(t, d, {}, 2, NullProgress()));
}
BENCHMARK(BM_ShitzerT)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_ShitzerBF(benchmark::State& state) {
  const std::vector<double> bf = Temperature(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ShitzerBF(bf, 30.8, 33.2, 36.24, {}, 2, NullProgress()));
}
BENCHMARK(BM_ShitzerBF)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kelvora
