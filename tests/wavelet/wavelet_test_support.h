#pragma once
// Helpers shared by the wavelet tests: test signals, a plain direct evaluation of the transform term by term
// (the oracle for the engine's tabulated kernels), and progress sinks that record or stop.
#include <cmath>
#include <complex>
#include <functional>
#include <vector>

#include "core/progress.h"
#include "wavelet/scale_table.h"
#include "wavelet/wavelet_types.h"

namespace kelvora::wavelet_testing {

using Cx = std::complex<long double>;

// 0.5 + amplitude sin(2 pi f t) at 2 Hz, n samples, normalised range kept inside 0 .. 1.
inline std::vector<double> Sinusoid(int n, double frequencyHz, double amplitude = 0.4, double phase = 0.3) {
  std::vector<double> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    x[static_cast<size_t>(i)] = 0.5 + amplitude * std::sin(2.0 * M_PI * frequencyHz * i / 2.0 + phase);
  }
  return x;
}

inline std::vector<double> MixedSignal(int n) {
  std::vector<double> x(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double t = i / 2.0;
    x[static_cast<size_t>(i)] = 0.5 + 0.2 * std::sin(2 * M_PI * 0.08 * t) + 0.15 * std::sin(2 * M_PI * 0.3 * t + 1) +
                                0.1 * std::cos(2 * M_PI * 0.03 * t) + 0.05 * ((i * 7919) % 13) / 13.0;
  }
  return x;
}

inline Cx Pow5(Cx z) { return z * z * z * z * z; }

inline long double Scale(int k) { return 4000.0L * std::pow(static_cast<long double>(k), -1.48L); }

// Forward coefficient W[k][b] by the literal per-term formula.
inline Cx DirectCoefficient(const std::vector<double>& x, WaveletType type, int k, int b) {
  const long double a = Scale(k);
  const int n = static_cast<int>(x.size());
  Cx sum = 0;
  const Cx i(0, 1);
  for (int s = 0; s < n; ++s) {
    const long double t = (s - b) / a;
    Cx psi;
    if (type == WaveletType::Morlet) {
      psi = 0.751L * std::exp(i * 5.0L * t) * std::exp(-t * t / 2.0L);
    } else {
      psi = std::conj(120.0L / Pow5(Cx(1.0L, (b - s) / a)));
    }
    sum += static_cast<long double>(x[static_cast<size_t>(s)]) * psi;
  }
  return type == WaveletType::Morlet ? sum / a : sum;
}

// Delay and gain of the conversion, or none (delay 0, gain 1) for the filter. `legacyPaul`: the Paul kernel of
// the legacy delay rule, 120 / (1 + i (u - tau) / a)^5, instead of 120 / (1 - i (u + tau) / a)^5.
struct DirectShift {
  bool thermal = false;
  std::function<void(int k, long double& delay, long double& gain)> shift;
  bool legacyPaul = false;
};

// The band reconstruction by the literal per-term formulas (the filter, or the conversion with `shift`).
inline std::vector<double> DirectReconstruction(const std::vector<double>& x, WaveletType type, ScaleRange range,
                                                const DirectShift& shift = {}) {
  const int n = static_cast<int>(x.size());
  const Cx i(0, 1);
  std::vector<long double> out(static_cast<size_t>(n), 0.0L);
  const long double p = type == WaveletType::Morlet ? 1.1L : 1.4L;
  const long double d = type == WaveletType::Morlet ? 12.835L : 1000.0L;
  for (int k = range.first; k <= range.last; ++k) {
    const long double a = Scale(k);
    long double delay = 0, gain = 1;
    if (shift.thermal) shift.shift(k, delay, gain);
    std::vector<Cx> w(static_cast<size_t>(n));
    for (int s = 0; s < n; ++s) w[static_cast<size_t>(s)] = DirectCoefficient(x, type, k, s);
    for (int b = 0; b < n; ++b) {
      long double v = 0;
      for (int s = 1; s < n; ++s) {
        Cx kernel;
        if (!shift.thermal) {
          if (type == WaveletType::Morlet) {
            kernel = 0.751L * std::exp(i * 5.0L * ((s - b) / a)) * std::exp(-((b - s) / a) * ((b - s) / a) / 2.0L);
          } else {
            kernel = 120.0L / Pow5(Cx(1.0L, (s - b) / a));
          }
        } else {
          const long double u = b - s;
          if (type == WaveletType::Morlet) {
            const long double t = (u + delay) / a;
            kernel = 0.751L * std::exp(-5.0L * i * t) * std::exp(-t * t / 2.0L);
          } else {
            kernel = shift.legacyPaul ? 120.0L / Pow5(Cx(1.0L, (u - delay) / a))
                                      : 120.0L / Pow5(Cx(1.0L, -(u + delay) / a));
          }
        }
        v += std::real(w[static_cast<size_t>(s)] * kernel) * gain / std::pow(a, p) / d;
      }
      out[static_cast<size_t>(b)] += v;
    }
  }
  return std::vector<double>(out.begin(), out.end());
}

inline double MaxAbs(const std::vector<double>& v) {
  double m = 0;
  for (double x : v) m = std::max(m, std::fabs(x));
  return m;
}

// Largest |a - b| relative to the largest |b|.
inline double RelativeDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double diff = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) diff = std::max(diff, std::fabs(a[i] - b[i]));
  return diff / std::max(MaxAbs(b), 1e-300);
}

// Records every progress call; stops when `stopWhen` says so.
class RecordingProgress : public ProgressSink {
 public:
  void setRange(long long minimum, long long maximum) override {
    rangeMin = minimum;
    rangeMax = maximum;
  }
  void setPosition(long long position) override {
    positions.push_back(position);
    if (stopWhen && stopWhen(position)) stop = true;
  }
  bool stopRequested() const override { return stop; }

  long long rangeMin = -1, rangeMax = -1;
  std::vector<long long> positions;
  std::function<bool(long long)> stopWhen;
  bool stop = false;
};

}  // namespace kelvora::wavelet_testing
