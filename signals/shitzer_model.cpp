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
  if (t.size() < 4) return ConversionResult::Failure("Shitzer's model needs at least 4 temperature samples");
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

  // The weight of a pair depends on the computed time difference only. Tabulate it per lag (from the first
  // samples' differences) and use the table whenever the pair's difference is bit-identical to the lag's;
  // otherwise evaluate it directly. Beyond the first lag whose weight is exactly 0.0 (about 14.3 widths) every
  // weight is 0.0, since the times increase and Gauss falls monotonically, so the sums stop there.
  std::vector<double> lagTime;
  std::vector<double> lagWeight;
  for (long long lag = 0; lag <= n; ++lag) {
    const double difference = t[lag] - t[0];
    const double weight = Gauss(difference / w);
    lagTime.push_back(difference);
    lagWeight.push_back(weight);
    if (weight == 0.0 && lag > 0) break;
  }
  // One lag beyond the first zero keeps the window safe against differences one rounding step shorter.
  const long long window = static_cast<long long>(lagTime.size());

  PercentProgress reporter(progress, 0, n);
  for (long long k = 0; k <= n; ++k) {
    double numerator = 0.0;
    double denominator = 0.0;
    const long long first = std::max(1LL, k - window);
    const long long last = std::min(n, k + window);
    for (long long j = first; j <= last; ++j) {
      const double difference = t[k] - t[j];
      const long long lag = j > k ? j - k : k - j;
      double weight;
      if (lag < window && std::fabs(difference) == lagTime[lag]) {
        weight = lagWeight[lag];
      } else {
        weight = Gauss(difference / w);
      }
      numerator += weight * v[j];
      denominator += weight;
    }
    v[k] = numerator / denominator;
    reporter.update(k);
    if (progress.stopRequested()) return false;
  }
  reporter.finish();
  return true;
}

ConversionResult ShitzerT(const std::vector<double>& temperature, const std::vector<double>& derivative,
                          const ShitzerParameters& p, int sampleRateHz, ProgressSink& progress) {
  if (temperature.size() < 4) return ConversionResult::Failure("Shitzer's model needs at least 4 temperature samples");
  if (derivative.size() != temperature.size())
    return ConversionResult::Failure("The temperature derivative does not match the temperature record");
  if (sampleRateHz < 1) return ConversionResult::Failure("The signal frequency must be at least 1 Hz");
  // The products are formed in integers first; 64 bits keep them exact for any pair of 32-bit parameters.
  const std::int64_t skinProduct = static_cast<std::int64_t>(p.rhoSkin) * p.cSkin;
  const std::int64_t bloodProduct = static_cast<std::int64_t>(p.cBlood) * p.rhoBlood;
  if (bloodProduct == 0)
    return ConversionResult::Failure("Shitzer's model is undefined for a blood density or heat capacity of 0");
  for (std::size_t i = 0; i < temperature.size(); ++i) {
    if (temperature[i] == kArterialTemperatureC)
      return ConversionResult::Failure("Shitzer's model is undefined for a temperature of exactly 37 °C (sample " +
                                       std::to_string(i + 1) + ")");
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
  if (!AllFinite(perfusion)) return ConversionResult::Failure("Shitzer's model gave a value that is not a number");
  if (!GaussianSmoothing(perfusion, times, kShitzerSmoothingWidth, progress))
    return ConversionResult::Failure(kConversionStoppedMessage);
  const double minimum = *std::min_element(perfusion.begin(), perfusion.end());
  for (double& value : perfusion) value -= minimum;
  if (!AllFinite(perfusion)) return ConversionResult::Failure("Shitzer's model gave a value that is not a number");
  return ConversionResult::Success(std::move(perfusion));
}

ConversionResult ShitzerBF(const std::vector<double>& bloodFlow, double minimum, double maximum,
                           double startTemperatureC, const ShitzerParameters& p, int sampleRateHz,
                           ProgressSink& progress) {
  if (bloodFlow.empty()) return ConversionResult::Failure("The blood-flow record is empty");
  if (sampleRateHz < 1) return ConversionResult::Failure("The signal frequency must be at least 1 Hz");
  if (!std::isfinite(startTemperatureC)) return ConversionResult::Failure("The start temperature T0 is not a number");
  std::vector<double> out(bloodFlow.size());
  out[0] = startTemperatureC;
  const std::size_t m = bloodFlow.size() - 1;
  if (m == 0) return ConversionResult::Success(std::move(out));
  if (!(maximum > minimum))
    return ConversionResult::Failure("Shitzer's model is undefined for a constant blood-flow record");
  const std::int64_t skinProduct = static_cast<std::int64_t>(p.rhoSkin) * p.cSkin;
  const std::int64_t bloodProduct = static_cast<std::int64_t>(p.cBlood) * p.rhoBlood;
  if (skinProduct == 0)
    return ConversionResult::Failure("Shitzer's model is undefined for a skin density or heat capacity of 0");

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
    if (progress.stopRequested()) return ConversionResult::Failure(kConversionStoppedMessage);
  }
  reporter.finish();
  if (!AllFinite(out)) return ConversionResult::Failure("Shitzer's model gave a value that is not a number");
  return ConversionResult::Success(std::move(out));
}

ConversionResult IntegrBF(const std::vector<double>& bloodFlow, int sampleRateHz, ProgressSink& progress) {
  if (sampleRateHz < 1) return ConversionResult::Failure("The signal frequency must be at least 1 Hz");
  std::vector<double> out(bloodFlow.size());
  const double rate = static_cast<double>(sampleRateHz);
  PercentProgress reporter(progress, 0, static_cast<long long>(bloodFlow.size()) - 1);
  double sum = 0.0;
  for (std::size_t i = 0; i < bloodFlow.size(); ++i) {
    sum += bloodFlow[i] / rate;
    out[i] = sum / static_cast<double>(i + 1);
    reporter.update(static_cast<long long>(i));
    if (progress.stopRequested()) return ConversionResult::Failure(kConversionStoppedMessage);
  }
  reporter.finish();
  return ConversionResult::Success(std::move(out));
}

}  // namespace kelvora
