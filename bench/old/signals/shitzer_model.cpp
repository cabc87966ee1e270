#include "bench/old/signals/shitzer_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/math_utils.h"
#include "core/text_helpers.h"

namespace kelvora::old {
namespace {

// Reports the position every sample and the percentage text only when it changes.
class PercentReporter {
 public:
  PercentReporter(ProgressSink& progress, long long last) : m_progress(progress), m_last(last) {
    m_progress.setRange(0, last);
    m_progress.setPosition(0);
  }
  void report(long long position) {
    m_progress.setPosition(position);
    const long long percent = m_last > 0 ? std::llround(static_cast<double>(position) / m_last * 100.0) : 100;
    if (percent != m_percent) {
      m_percent = percent;
      m_progress.setText(std::to_string(percent) + "%");
    }
  }
  void finish() { m_progress.setPosition(0); }

 private:
  ProgressSink& m_progress;
  long long m_last;
  long long m_percent = -1;
};

bool AllFinite(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
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

  PercentReporter reporter(progress, n);
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
    reporter.report(k);
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
  PercentReporter reporter(progress, static_cast<long long>(m));
  for (std::size_t i = 1; i <= m; ++i) {
    const double w = s * (bloodFlow[i] - minimum + 8 / s) * 1e-9;
    const double previous = out[i - 1];
    out[i] = previous + (w * static_cast<double>(bloodProduct) * (kArterialTemperatureC - previous) -
                         (previous - p.tAir) * p.hAir * kShitzerExchangeAreaM2) /
                            heatStore / rate;
    reporter.report(static_cast<long long>(i));
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
  PercentReporter reporter(progress, static_cast<long long>(bloodFlow.size()) - 1);
  double sum = 0.0;
  for (std::size_t i = 0; i < bloodFlow.size(); ++i) {
    sum += bloodFlow[i] / rate;
    out[i] = sum / static_cast<double>(i + 1);
    reporter.report(static_cast<long long>(i));
    if (progress.stopRequested()) return ConversionResult::Failure(kConversionStoppedMessage);
  }
  reporter.finish();
  return ConversionResult::Success(std::move(out));
}

// ---------------------------------------------------------------------------------------------------------

bool ParseIntegerText(const std::string& text, int& value) {
  const std::string t = Trimmed(text);
  if (t.empty()) return false;
  const char* begin = t.data();
  if (*begin == '+') ++begin;
  int parsed = 0;
  const auto [end, error] = std::from_chars(begin, t.data() + t.size(), parsed);
  if (error != std::errc() || end != t.data() + t.size()) return false;
  value = parsed;
  return true;
}

bool ParseRealText(const std::string& text, char decimalSeparator, double& value) {
  const std::optional<double> parsed = ParseDecimalNumber(text, decimalSeparator);
  if (!parsed) return false;
  value = *parsed;
  return true;
}

std::string FormatRealText(double value, char decimalSeparator) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  std::replace(text.begin(), text.end(), '.', decimalSeparator);
  return text;
}

namespace {

void SetShitzerLayout(ParameterGrid& grid, const TissueParameters& tp) {
  const ShitzerParameters& p = tp.shitzer;
  const char* cells[2][9] = {
      {"Rho", "", "kg/m^3", "Rho", "", "kg/m^3", "H", "", "W*K/m^2"},
      {"C", "", "J/(kg*K)", "C", "", "J/(kg*K)", "T", "", "°C"},
  };
  for (int row = 1; row <= 2; ++row) {
    for (int column = 0; column < kGridColumns; ++column)
      grid.setCell(column, row, column < 9 ? cells[row - 1][column] : "");
  }
  grid.setCell(1, 1, std::to_string(p.rhoSkin));
  grid.setCell(1, 2, std::to_string(p.cSkin));
  grid.setCell(4, 1, std::to_string(p.rhoBlood));
  grid.setCell(4, 2, std::to_string(p.cBlood));
  grid.setCell(7, 1, std::to_string(p.hAir));
  grid.setCell(7, 2, std::to_string(p.tAir));
}

void SetThermalWaveLayout(ParameterGrid& grid, const TissueParameters& tp, char separator) {
  const char* labels[kGridColumns] = {"Rho", "", "kg/m^3", "C", "", "J/(kg*K)", "Lambda", "", "W/(m*K)",
                                      "D", "", "mm"};
  for (int column = 0; column < kGridColumns; ++column) {
    grid.setCell(column, 1, labels[column]);
    grid.setCell(column, 2, "");
  }
  grid.setCell(1, 1, std::to_string(tp.shitzer.rhoSkin));
  grid.setCell(4, 1, std::to_string(tp.wave.heatCapacity));
  grid.setCell(7, 1, FormatRealText(tp.wave.lambda, separator));
  grid.setCell(10, 1, FormatRealText(tp.wave.depthM * 1000.0, separator));
}

GridEditResult ConversionError(const std::string& text, const char* kind) {
  return {"'" + text + "' is not a valid " + kind + " value"};
}

}  // namespace

void LayOutParameterGrid(ParameterGrid& grid, GridMode mode, const TissueParameters& parameters,
                         char decimalSeparator) {
  if (mode == GridMode::Shitzer) {
    SetShitzerLayout(grid, parameters);
  } else {
    SetThermalWaveLayout(grid, parameters, decimalSeparator);
  }
}

GridEditResult EditParameterGrid(const ParameterGrid& grid, int column, int row, GridMode mode,
                                 char decimalSeparator, TissueParameters& parameters) {
  if (decimalSeparator == ',' && grid.cell(column, row).find('.') != std::string::npos)
    return {kGridSeparatorMessage};

  TissueParameters updated = parameters;
  if (mode == GridMode::Shitzer) {
    struct IntegerCell {
      int labelColumn, labelRow;
      const char* label;
      int* target;
    };
    const IntegerCell cells[] = {
        {0, 2, "C", &updated.shitzer.cSkin},    {3, 1, "Rho", &updated.shitzer.rhoBlood},
        {3, 2, "C", &updated.shitzer.cBlood},   {6, 1, "H", &updated.shitzer.hAir},
        {6, 2, "T", &updated.shitzer.tAir},
    };
    for (const IntegerCell& c : cells) {
      const std::string& text = grid.cell(c.labelColumn + 1, c.labelRow);
      if (text.empty() || grid.cell(c.labelColumn, c.labelRow) != c.label) continue;
      if (!ParseIntegerText(text, *c.target)) return ConversionError(text, "integer");
    }
  } else {
    if (grid.cell(3, 1) == "C" && !grid.cell(4, 1).empty()) {
      if (!ParseIntegerText(grid.cell(4, 1), updated.wave.heatCapacity)) return ConversionError(grid.cell(4, 1), "integer");
    }
    if (grid.cell(6, 1) == "Lambda" && !grid.cell(7, 1).empty()) {
      if (!ParseRealText(grid.cell(7, 1), decimalSeparator, updated.wave.lambda))
        return ConversionError(grid.cell(7, 1), "floating point");
    }
    if (grid.cell(9, 1) == "D" && !grid.cell(10, 1).empty()) {
      double millimetres = 0.0;
      if (!ParseRealText(grid.cell(10, 1), decimalSeparator, millimetres))
        return ConversionError(grid.cell(10, 1), "floating point");
      updated.wave.depthM = millimetres / 1000.0;
    }
  }
  parameters = updated;
  return {};
}

void ApplySkinDefaults(ParameterGrid& grid, GridMode mode, char decimalSeparator, TissueParameters& parameters) {
  grid.setCell(1, 1, "1057");
  if (mode == GridMode::Shitzer) {
    grid.setCell(1, 2, "3780");
  } else {
    grid.setCell(4, 1, "3780");
    grid.setCell(7, 1, FormatRealText(0.33, decimalSeparator));
    grid.setCell(10, 1, FormatRealText(2, decimalSeparator));
  }
  parameters.shitzer.rhoSkin = 1057;
  parameters.shitzer.cSkin = 3780;
  parameters.wave.heatCapacity = 3780;
  parameters.wave.lambda = 0.33;
  parameters.wave.depthM = 0.002;
}

void ApplyBloodDefaults(ParameterGrid& grid, TissueParameters& parameters) {
  grid.setCell(4, 2, "3650");
  grid.setCell(4, 1, "1069");
  parameters.shitzer.cBlood = 3650;
  parameters.shitzer.rhoBlood = 1069;
}

void ApplyAirDefaults(ParameterGrid& grid, TissueParameters& parameters) {
  grid.setCell(7, 1, "6");
  grid.setCell(7, 2, "24");
  parameters.shitzer.hAir = 6;
  parameters.shitzer.tAir = 24;
}

}  // namespace kelvora::old
