#include "signals/shitzer_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/math_utils.h"
#include "core/percent_progress.h"
#include "core/text_helpers.h"

namespace kelvora {
namespace {

bool AllFinite(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}


}  // namespace

ConversionResult TemperatureDerivative(const std::vector<double>& t) {
  if (t.size() < 4) return ConversionResult::Failure(ProblemKind::kShitzerTooFewSamples);
  const std::size_t n = t.size() - 1;
  std::vector<double> d(t.size());
  d[0] = (-21 * t[0] + 13 * t[1] + 17 * t[2] - 9 * t[3]) / 10;
  d[1] = (-11 * t[0] + 3 * t[1] + 7 * t[2] + t[3]) / 10;
  for (std::size_t i = 2; i + 2 <= n; ++i) d[i] = (-2 * t[i - 2] - t[i - 1] + t[i + 1] + 2 * t[i + 2]) / 5;
  d[n - 1] = -(-11 * t[n] + 3 * t[n - 1] + 7 * t[n - 2] + t[n - 3]) / 10;
  d[n] = -(-21 * t[n] + 13 * t[n - 1] + 17 * t[n - 2] - 9 * t[n - 3]) / 10;
  return ConversionResult::Success(std::move(d));
}

bool GaussianSmoothing(std::vector<double>& v, const std::vector<double>& t, int width, ProgressSink& progress) {
  const long long count = static_cast<long long>(std::min(v.size(), t.size()));
  if (count == 0) return true;
  const long long n = count - 1;
  const double w = static_cast<double>(width);

  // The weight of a pair depends on its time difference only, so it is tabulated per lag from the first
  // samples' differences. Gauss falls monotonically with the difference, and once a weight is below 2^-64 of
  // the peak Gauss(0) the terms from there on cannot move the sums (whose own weight is at least of the order of
  // the peak) by a unit in their last place: the window stops there, at about 3.5 widths.
  const double peak = Gauss(0.0);
  std::vector<double> lagTime;
  std::vector<double> lagWeight;
  for (long long lag = 0; lag <= n; ++lag) {
    const double difference = t[static_cast<std::size_t>(lag)] - t[0];
    const double weight = Gauss(difference / w);
    if (lag > 0 && !(weight >= peak * 0x1p-64)) break;
    lagTime.push_back(difference);
    lagWeight.push_back(weight);
  }
  const long long window = static_cast<long long>(lagTime.size()) - 1;  // lags 0 .. window are summed

  // Times on a dyadic grid (t[i] = i h exactly, h a power of two, as i / gerc is for gerc = 1, 2, 4, ...) have
  // exact differences, so every pair of a lag has that lag's weight bit for bit. Other grids evaluate the weight
  // of any pair whose difference is not bit-identical to its lag's.
  const double step = count > 1 ? t[1] - t[0] : 1.0;
  int exponent = 0;
  bool dyadic = step > 0.0 && std::frexp(step, &exponent) == 0.5;
  for (long long i = 0; dyadic && i <= n; ++i)
    dyadic = t[static_cast<std::size_t>(i)] == t[0] + static_cast<double>(i) * step;

  PercentProgress reporter(progress, 0, n);
  double* values = v.data();
  for (long long k = 0; k <= n; ++k) {
    // In place and in order: the sums of sample k see the smoothed samples before it (sample 0 never counts).
    const long long first = std::max(1LL, k - window);
    const long long last = std::min(n, k + window);
    double numerator0 = 0.0, numerator1 = 0.0, denominator0 = 0.0, denominator1 = 0.0;
    if (dyadic) {
      // Two chains of partial sums, j below and j above k, for the adds to overlap.
      for (long long j = first; j < k; ++j) {
        const double weight = lagWeight[static_cast<std::size_t>(k - j)];
        numerator0 += weight * values[j];
        denominator0 += weight;
      }
      for (long long j = std::max(first, k); j <= last; ++j) {
        const double weight = lagWeight[static_cast<std::size_t>(j - k)];
        numerator1 += weight * values[j];
        denominator1 += weight;
      }
    } else {
      for (long long j = first; j <= last; ++j) {
        const double difference = t[static_cast<std::size_t>(k)] - t[static_cast<std::size_t>(j)];
        const long long lag = j > k ? j - k : k - j;
        const double weight = std::fabs(difference) == lagTime[static_cast<std::size_t>(lag)]
                                  ? lagWeight[static_cast<std::size_t>(lag)]
                                  : Gauss(difference / w);
        numerator0 += weight * values[j];
        denominator0 += weight;
      }
    }
    values[k] = (numerator0 + numerator1) / (denominator0 + denominator1);
    reporter.update(k);
    if (progress.stopRequested()) return false;
  }
  reporter.finish();
  return true;
}

ConversionResult ShitzerT(const std::vector<double>& temperature, const std::vector<double>& derivative,
                          const ShitzerParameters& p, int sampleRateHz, ProgressSink& progress) {
  if (temperature.size() < 4) return ConversionResult::Failure(ProblemKind::kShitzerTooFewSamples);
  if (derivative.size() != temperature.size())
    return ConversionResult::Failure(ProblemKind::kDerivativeMismatch);
  if (sampleRateHz < 1) return ConversionResult::Failure(ProblemKind::kRateBelowOne);
  // The products are formed in integers first; 64 bits keep them exact for any pair of 32-bit parameters.
  const std::int64_t skinProduct = static_cast<std::int64_t>(p.rhoSkin) * p.cSkin;
  const std::int64_t bloodProduct = static_cast<std::int64_t>(p.cBlood) * p.rhoBlood;
  if (bloodProduct == 0)
    return ConversionResult::Failure(ProblemKind::kShitzerBloodProductZero);
  for (std::size_t i = 0; i < temperature.size(); ++i) {
    if (temperature[i] == kArterialTemperatureC)
      return ConversionResult::Failure(
          CountProblem(ProblemKind::kShitzerArterialTemperature, static_cast<long long>(i + 1)));
  }

  const std::size_t count = temperature.size();
  std::vector<double> perfusion(count);
  std::vector<double> times(count);
  for (std::size_t i = 0; i < count; ++i) {
    perfusion[i] = (static_cast<double>(skinProduct) * kShitzerSkinVolumeM3 * derivative[i] +
                    (temperature[i] - p.tAir) * p.hAir * kShitzerExchangeAreaM2) /
                   ((kArterialTemperatureC - temperature[i]) * static_cast<double>(bloodProduct));
    times[i] = static_cast<double>(i) / static_cast<double>(sampleRateHz);
  }
  if (!AllFinite(perfusion)) return ConversionResult::Failure(ProblemKind::kShitzerNotANumber);
  if (!GaussianSmoothing(perfusion, times, kShitzerSmoothingWidth, progress))
    return ConversionResult::Failure(ProblemKind::kStopped);
  const double minimum = *std::min_element(perfusion.begin(), perfusion.end());
  for (double& value : perfusion) value -= minimum;
  if (!AllFinite(perfusion)) return ConversionResult::Failure(ProblemKind::kShitzerNotANumber);
  return ConversionResult::Success(std::move(perfusion));
}

ConversionResult ShitzerBF(const std::vector<double>& bloodFlow, double minimum, double maximum,
                           double startTemperatureC, const ShitzerParameters& p, int sampleRateHz,
                           ProgressSink& progress) {
  if (bloodFlow.empty()) return ConversionResult::Failure(ProblemKind::kBloodFlowEmpty);
  if (sampleRateHz < 1) return ConversionResult::Failure(ProblemKind::kRateBelowOne);
  if (!std::isfinite(startTemperatureC)) return ConversionResult::Failure(ProblemKind::kStartTemperatureNotANumber);
  std::vector<double> out(bloodFlow.size());
  out[0] = startTemperatureC;
  const std::size_t m = bloodFlow.size() - 1;
  if (m == 0) return ConversionResult::Success(std::move(out));
  if (!(maximum > minimum))
    return ConversionResult::Failure(ProblemKind::kShitzerConstantBloodFlow);
  const std::int64_t skinProduct = static_cast<std::int64_t>(p.rhoSkin) * p.cSkin;
  const std::int64_t bloodProduct = static_cast<std::int64_t>(p.cBlood) * p.rhoBlood;
  if (skinProduct == 0)
    return ConversionResult::Failure(ProblemKind::kShitzerSkinProductZero);

  const double s = 7 / (maximum - minimum);
  const double heatStore = static_cast<double>(skinProduct) * kShitzerSkinVolumeM3;
  const double rate = static_cast<double>(sampleRateHz);
  PercentProgress reporter(progress, 0, static_cast<long long>(m));
  for (std::size_t i = 1; i <= m; ++i) {
    const double w = s * (bloodFlow[i] - minimum + 8 / s) * 1e-9;
    const double previous = out[i - 1];
    out[i] = previous + (w * static_cast<double>(bloodProduct) * (kArterialTemperatureC - previous) -
                         (previous - p.tAir) * p.hAir * kShitzerExchangeAreaM2) /
                            heatStore / rate;
    reporter.update(static_cast<long long>(i));
    if (progress.stopRequested()) return ConversionResult::Failure(ProblemKind::kStopped);
  }
  reporter.finish();
  if (!AllFinite(out)) return ConversionResult::Failure(ProblemKind::kShitzerNotANumber);
  return ConversionResult::Success(std::move(out));
}

ConversionResult IntegrBF(const std::vector<double>& bloodFlow, int sampleRateHz, ProgressSink& progress) {
  if (sampleRateHz < 1) return ConversionResult::Failure(ProblemKind::kRateBelowOne);
  std::vector<double> out(bloodFlow.size());
  const double rate = static_cast<double>(sampleRateHz);
  PercentProgress reporter(progress, 0, static_cast<long long>(bloodFlow.size()) - 1);
  double sum = 0.0;
  for (std::size_t i = 0; i < bloodFlow.size(); ++i) {
    sum += bloodFlow[i] / rate;
    out[i] = sum / static_cast<double>(i + 1);
    reporter.update(static_cast<long long>(i));
    if (progress.stopRequested()) return ConversionResult::Failure(ProblemKind::kStopped);
  }
  reporter.finish();
  return ConversionResult::Success(std::move(out));
}

}  // namespace kelvora
