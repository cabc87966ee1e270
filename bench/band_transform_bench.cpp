// The band transform and its reconstruction at the size of a full record, and the direct evaluation (one
// complex exponential per term) on a smaller record, so that the two methods can be compared per term.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/band_reconstruction.h"
#include "core/band_transform.h"
#include "core/complex.h"

namespace {

using kelvora::Complex;

std::vector<double> TestSignal(int count) {
  std::vector<double> x(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    x[static_cast<std::size_t>(i)] = 0.5 + 0.3 * std::sin(0.01 * i) + 0.1 * std::sin(0.37 * i + 1.0);
  return x;
}

// The full band (0 .. fs/2 at fs = 2 Hz) of a record of `count` samples: transform plus reconstruction.
void RunFast(benchmark::State& state, int count, kelvora::SumMethod method) {
  const std::vector<double> x = TestSignal(count);
  for (auto _ : state) {
    kelvora::BandTransform transform;
    transform.setSumMethod(method);
    transform.setBand(kelvora::kFourierFrequencySlot, {0.0, 1.0});
    const kelvora::BandSpectrum s = transform.transform(kelvora::kFourierFrequencySlot, x, 2);
    const std::vector<Complex> y = kelvora::ReconstructBand(s.coefficients, {}, s.lowBin, s.highBin, s.coefficients[0],
                                                            s.paddedLastIndex, kelvora::NullProgress(), method);
    benchmark::DoNotOptimize(y.data());
    state.counters["bins"] = s.highBin - s.lowBin + 1;
  }
}

// The same work by the defining sums: a complex exponential for every term.
void RunDirect(benchmark::State& state, int count) {
  const std::vector<double> padded = kelvora::PadSignal(TestSignal(count));
  const int last = static_cast<int>(padded.size()) - 1;
  const int fs = 2;
  const int high = last / 2;
  for (auto _ : state) {
    std::vector<Complex> c(static_cast<std::size_t>(high) + 1);
    for (int k = 1; k <= high; ++k) {
      const long double fk = static_cast<long double>(k) / last * fs;
      Complex sum{};
      for (int n = 0; n <= last; ++n) {
        const long double theta = -kelvora::kTwoPi * fk * (static_cast<long double>(n) / fs);
        sum = kelvora::Sum(sum, kelvora::Product(kelvora::MakeComplex(padded[static_cast<std::size_t>(n)], 0),
                                                 kelvora::Exp(kelvora::MakeComplex(0, theta))));
      }
      c[static_cast<std::size_t>(k)] = kelvora::Quotient(sum, kelvora::MakeComplex(last, 0));
    }
    std::vector<Complex> y(static_cast<std::size_t>(last) + 1);
    for (int n = 0; n <= last; ++n) {
      const long double tn = static_cast<long double>(n) / fs;
      Complex acc{};
      for (int k = 1; k <= high; ++k) {
        const long double w = kelvora::kTwoPi * (static_cast<long double>(k) / last * fs);
        const Complex ck = c[static_cast<std::size_t>(k)];
        acc = kelvora::Sum(acc, kelvora::Sum(kelvora::Product(ck, kelvora::Exp(kelvora::MakeComplex(0, w * tn))),
                                             kelvora::Product(kelvora::Conjugate(ck),
                                                              kelvora::Exp(kelvora::MakeComplex(0, -w * tn)))));
      }
      y[static_cast<std::size_t>(n)] = acc;
    }
    benchmark::DoNotOptimize(y.data());
    state.counters["bins"] = high;
  }
}

using kelvora::SumMethod;
void BM_FullBand20000(benchmark::State& state) { RunFast(state, 20000, SumMethod::kAutomatic); }
void BM_FullBand20000PhasorSums(benchmark::State& state) { RunFast(state, 20000, SumMethod::kPhasorSums); }
void BM_FullBand1000(benchmark::State& state) { RunFast(state, 1000, SumMethod::kAutomatic); }
void BM_FullBand1000PhasorSums(benchmark::State& state) { RunFast(state, 1000, SumMethod::kPhasorSums); }
void BM_FullBand1000DirectEvaluation(benchmark::State& state) { RunDirect(state, 1000); }

BENCHMARK(BM_FullBand20000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullBand20000PhasorSums)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FullBand1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullBand1000PhasorSums)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FullBand1000DirectEvaluation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
