#include "analysis/sinusoid_forecast.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

#include "core/fft.h"

namespace kelvora {

namespace {

// One fitted tone: the least-squares coefficients of (1, cos, sin), each column weighted by sqrt(w), and the
// standard deviation (n - 1 normalised) of the weighted residual.
struct ToneFit {
  double frequency = 0.0;
  double c = 0.0, a = 0.0, b = 0.0;
  double error = std::numeric_limits<double>::infinity();
};

// exp(i omega k) for k = 0, 1, 2, ... in turn: a rotation by one step, started afresh from cos and sin every
// 64 steps so that the rounding of the products never grows beyond a few units in the last place.
class Rotation {
 public:
  explicit Rotation(double omega) : m_omega(omega), m_step(std::cos(omega), std::sin(omega)) {}
  // Called with k = 0, 1, 2, ... in order.
  std::complex<double> at(std::size_t k) {
    if (k % 64 == 0) {
      const double phase = m_omega * static_cast<double>(k);
      m_value = {std::cos(phase), std::sin(phase)};
    } else {
      m_value *= m_step;
    }
    return m_value;
  }

 private:
  double m_omega;
  std::complex<double> m_step;
  std::complex<double> m_value{1.0, 0.0};
};

class ToneFitter {
 public:
  // A stop request read by every fit.
  struct Stopped {};

  ToneFitter(std::span<const double> y, std::span<const double> rootWeights, double sampleRateHz,
             const std::atomic<bool>* stop)
      : m_y(y), m_rw(rootWeights), m_fs(sampleRateHz), m_stop(stop) {}

  // Throws Stopped once the stop flag is set.
  ToneFit fit(double frequency) const {
    if (m_stop != nullptr && m_stop->load(std::memory_order_relaxed)) throw Stopped{};
    const std::size_t n = m_y.size();
    // Normal equations of the 3 weighted columns.
    long double g[3][3] = {}, r[3] = {};
    const double omega = 2.0 * std::numbers::pi * frequency / m_fs;
    Rotation rotation(omega);
    for (std::size_t i = 0; i < n; ++i) {
      const double w = m_rw[i];
      const std::complex<double> z = rotation.at(i);
      const double col[3] = {w, w * z.real(), w * z.imag()};
      for (int p = 0; p < 3; ++p) {
        r[p] += col[p] * m_y[i];
        for (int q = p; q < 3; ++q) g[p][q] += col[p] * col[q];
      }
    }
    for (int p = 0; p < 3; ++p)
      for (int q = 0; q < p; ++q) g[p][q] = g[q][p];
    long double x[3] = {};
    Solve3(g, r, x);
    ToneFit fit;
    fit.frequency = frequency;
    fit.c = static_cast<double>(x[0]);
    fit.a = static_cast<double>(x[1]);
    fit.b = static_cast<double>(x[2]);
    long double sum = 0.0L, sumSquares = 0.0L;
    Rotation again(omega);
    for (std::size_t i = 0; i < n; ++i) {
      const std::complex<double> z = again.at(i);
      const double e = m_y[i] - m_rw[i] * (fit.c + fit.a * z.real() + fit.b * z.imag());
      sum += e;
      sumSquares += static_cast<long double>(e) * e;
    }
    const long double mean = sum / static_cast<long double>(n);
    const long double variance = (sumSquares - mean * sum) / static_cast<long double>(n > 1 ? n - 1 : 1);
    fit.error = std::sqrt(static_cast<double>(std::max(0.0L, variance)));
    return fit;
  }

 private:
  std::span<const double> m_y;
  std::span<const double> m_rw;
  double m_fs;
  const std::atomic<bool>* m_stop;

  // Gaussian elimination with partial pivoting; a singular system leaves the free coefficients at 0.
  static void Solve3(long double g[3][3], long double r[3], long double x[3]) {
    int order[3] = {0, 1, 2};
    for (int col = 0; col < 3; ++col) {
      int pivot = col;
      for (int row = col + 1; row < 3; ++row)
        if (std::fabs(g[order[row]][col]) > std::fabs(g[order[pivot]][col])) pivot = row;
      std::swap(order[col], order[pivot]);
      const long double p = g[order[col]][col];
      if (std::fabs(p) < 1e-300L) continue;
      for (int row = col + 1; row < 3; ++row) {
        const long double factor = g[order[row]][col] / p;
        for (int k = col; k < 3; ++k) g[order[row]][k] -= factor * g[order[col]][k];
        r[order[row]] -= factor * r[order[col]];
      }
    }
    for (int col = 2; col >= 0; --col) {
      const long double p = g[order[col]][col];
      long double s = r[order[col]];
      for (int k = col + 1; k < 3; ++k) s -= g[order[col]][k] * x[k];
      x[col] = std::fabs(p) < 1e-300L ? 0.0L : s / p;
    }
  }
};

double StandardDeviation(std::span<const double> y) {
  long double sum = 0.0L, sumSquares = 0.0L;
  for (const double v : y) {
    sum += v;
    sumSquares += static_cast<long double>(v) * v;
  }
  const auto n = static_cast<long double>(y.size());
  const long double variance = (sumSquares - sum * sum / n) / (y.size() > 1 ? n - 1 : 1);
  return std::sqrt(static_cast<double>(std::max(0.0L, variance)));
}

constexpr double kGolden = 1.6180339887498949;  // (1 + sqrt 5) / 2
constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// The golden-section refinement of a bracket (f1 < f2 < f3 with the middle error lowest) down to `tolerance`.
ToneFit Refine(const ToneFitter& fitter, ToneFit low, ToneFit mid, ToneFit high, double tolerance) {
  while (mid.frequency - low.frequency > tolerance && high.frequency - mid.frequency > tolerance) {
    const double trial = low.frequency + high.frequency - mid.frequency;
    const ToneFit t = fitter.fit(trial);
    if (t.error < mid.error && trial < mid.frequency) {
      high = mid;
      mid = t;
    } else if (t.error < mid.error && trial > mid.frequency) {
      low = mid;
      mid = t;
    } else if (t.error > mid.error && trial < mid.frequency) {
      low = t;
    } else if (t.error > mid.error && trial > mid.frequency) {
      high = t;
    } else {
      break;  // an equal error or the trial on the middle: the bracket cannot shrink further
    }
  }
  return mid;
}

}  // namespace

std::optional<std::vector<double>> ForecastSinusoids(std::span<const double> record, std::span<const double> weights,
                                                     long long count, const SinusoidForecastOptions& options) {
  const std::size_t n = record.size();
  std::vector<double> forecast(static_cast<std::size_t>(std::max(0LL, count)), 0.0);
  if (n < 4 || count <= 0) {
    const double last = n > 0 ? record[n - 1] : 0.0;
    std::fill(forecast.begin(), forecast.end(), last);
    return forecast;
  }
  const double fs = options.sampleRateHz;
  const double duration = static_cast<double>(n) / fs;
  const double tolerance = 1.0 / duration / 100.0;
  const double nyquist = fs / 2.0;
  std::vector<double> rootWeights(n, 1.0);
  if (weights.size() == n)
    for (std::size_t i = 0; i < n; ++i) rootWeights[i] = std::sqrt(weights[i]);
  std::vector<double> y(n);
  for (std::size_t i = 0; i < n; ++i) y[i] = rootWeights[i] * record[i];
  const double originalSpread = StandardDeviation(y);
  const std::size_t nyquistIndex = (n + 2) / 2;  // ceil((n + 1) / 2): bins 0 .. nyquistIndex - 1 are >= 0 Hz

  struct Tone {
    double frequency, amplitude, phase;
  };
  std::vector<Tone> tones{{0.0, 0.0, 0.0}};  // the offset first
  std::vector<double> criteria;
  fft::AlignedVector<double> buffer(n);
  fft::AlignedVector<fft::ComplexD> spectrum(n / 2 + 1);
  const ToneFitter fitter(y, rootWeights, fs, options.stop);
  // The search's many fits end at once on a stop: an exception out of the nested searches, caught here.
  try {
    for (int order = 1; order <= options.maxOrder; ++order) {
      std::copy(y.begin(), y.end(), buffer.begin());
      fft::ForwardReal(buffer, spectrum);
      std::size_t peak = 1;
      for (std::size_t k = 1; k + 1 < nyquistIndex && k < spectrum.size(); ++k)
        if (std::abs(spectrum[k]) > std::abs(spectrum[peak])) peak = k;
      const double start = static_cast<double>(peak) * fs / static_cast<double>(n);

      // Forward: steps of growing size up to the Nyquist frequency while the error falls.
      ToneFit forward;
      {
        ToneFit next = fitter.fit(start), previous, beforePrevious;
        double step = tolerance;
        bool moved = false;
        bool atEnd = false;
        previous.error = std::numeric_limits<double>::infinity();
        while (next.error < previous.error) {
          if (std::fabs(next.frequency - nyquist + tolerance) < kEpsilon) {
            atEnd = true;
            break;
          }
          beforePrevious = previous;
          previous = next;
          next = fitter.fit(std::min(previous.frequency + step, nyquist - tolerance));
          step *= kGolden;
          moved = true;
        }
        (void)beforePrevious;
        if (atEnd) {
          forward = next;
        } else if (std::fabs(next.frequency - previous.frequency - tolerance) < kEpsilon || !moved) {
          forward = previous;
        } else {
          const ToneFit low = fitter.fit(previous.frequency - step / kGolden / kGolden);
          forward = Refine(fitter, low, previous, next, tolerance);
        }
      }
      // Backward: the same towards 0 Hz. As in the published code, the bracket's upper error is the error at its
      // lower end, and the single-step case is never taken.
      ToneFit backward;
      {
        ToneFit next = fitter.fit(start), previous;
        double step = tolerance;
        bool atEnd = false;
        previous.error = std::numeric_limits<double>::infinity();
        while (next.error < previous.error) {
          if (std::fabs(next.frequency - tolerance) < kEpsilon) {
            atEnd = true;
            break;
          }
          previous = next;
          next = fitter.fit(std::max(previous.frequency - step, tolerance));
          step *= kGolden;
        }
        if (atEnd) {
          backward = next;
        } else {
          ToneFit high = next;
          high.frequency = previous.frequency + step / kGolden / kGolden;
          backward = Refine(fitter, next, previous, high, tolerance);
        }
      }
      const ToneFit& best = forward.error < backward.error ? forward : backward;
      tones.push_back({best.frequency, std::hypot(best.a, best.b), std::atan2(-best.b, best.a)});
      tones.front().amplitude += best.c;
      const double omega = 2.0 * std::numbers::pi * best.frequency / fs;
      for (std::size_t i = 0; i < n; ++i) {
        const double phase = omega * static_cast<double>(i);
        y[i] -= rootWeights[i] * (best.c + best.a * std::cos(phase) + best.b * std::sin(phase));
      }
      const double criterion =
          static_cast<double>(n) * std::log(best.error) + (3.0 * order + 1.0) * std::log(static_cast<double>(n));
      criteria.push_back(criterion);
      if (best.error / originalSpread < 2.0 * kEpsilon) break;
      const std::size_t k = criteria.size();
      if (k > 2 && criteria[k - 1] > criteria[k - 2] && criteria[k - 2] > criteria[k - 3]) break;
    }
  } catch (const ToneFitter::Stopped&) {
    return std::nullopt;
  }

  const double lastTime = duration - 1.0 / fs;
  for (const Tone& tone : tones) {
    const bool continued = tone.frequency > options.lowHz && tone.frequency < options.highHz;
    for (long long i = 0; i < count; ++i) {
      const double t = continued ? duration + static_cast<double>(i) / fs : lastTime;
      forecast[static_cast<std::size_t>(i)] += tone.amplitude * std::cos(2.0 * std::numbers::pi * tone.frequency * t + tone.phase);
    }
  }
  return forecast;
}

}  // namespace kelvora
