#include "core/conversion_scaling.h"

#include <algorithm>
#include <cmath>

#include "core/math_utils.h"

namespace kelvora {

void ApplyPowerLaw(std::vector<double>& values, double exponent) {
  for (double& value : values) value = SignedPower(exponent, value);
}

void NormalizeToUnitRange(std::vector<double>& values) {
  if (values.empty()) return;
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  const double minimum = *low;
  const double range = *high - minimum;
  for (double& value : values) value = range > 0.0 ? (value - minimum) / range : 0.0;
}

void ApplyScaling(std::vector<double>& values, ScalingMode mode, double a, double b) {
  switch (mode) {
    case ScalingMode::Normalized:
      NormalizeToUnitRange(values);
      break;
    case ScalingMode::Scaled:
      for (double& value : values) value = a * value + b;
      break;
    case ScalingMode::Absolute:
      break;
  }
}

ConversionResult FinishConversion(std::vector<double> values, const ConversionFinish& finish) {
  if (finish.denormalize) {
    const double range = finish.maximum - finish.minimum;
    for (double& value : values) value = value * range + finish.minimum;
  }
  if (finish.powerExponent) ApplyPowerLaw(values, *finish.powerExponent);
  if (finish.scaling == ScalingMode::Normalized && finish.normalizedRangeGuard > 0.0 && !values.empty()) {
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double minimum = *low;
    const double range = *high - minimum;
    for (double& value : values) value = range > 0.0 ? (value - minimum) / (range + finish.normalizedRangeGuard) : 0.0;
  } else {
    ApplyScaling(values, finish.scaling, finish.a, finish.b);
  }
  if (!std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); }))
    return ConversionResult::Failure(ProblemKind::kResultNotANumber);
  return ConversionResult::Success(std::move(values));
}

std::optional<double> PearsonCorrelation(const std::vector<double>& x, const std::vector<double>& y) {
  const std::size_t count = std::min(x.size(), y.size());
  if (count < 2) return std::nullopt;
  // A constant series has no spread; test it exactly rather than through a mean that may round.
  const auto constant = [count](const std::vector<double>& v) {
    return std::all_of(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(count), [&](double s) { return s == v[0]; });
  };
  if (constant(x) || constant(y)) return std::nullopt;
  long double sumX = 0.0L, sumY = 0.0L;
  for (std::size_t i = 0; i < count; ++i) {
    sumX += x[i];
    sumY += y[i];
  }
  const long double meanX = sumX / count, meanY = sumY / count;
  long double sxy = 0.0L, sxx = 0.0L, syy = 0.0L;
  for (std::size_t i = 0; i < count; ++i) {
    const long double dx = x[i] - meanX, dy = y[i] - meanY;
    sxy += dx * dy;
    sxx += dx * dx;
    syy += dy * dy;
  }
  if (!(sxx > 0.0L) || !(syy > 0.0L)) return std::nullopt;
  const long double r = sxy / std::sqrt(sxx * syy);
  if (!std::isfinite(static_cast<double>(r))) return std::nullopt;
  return static_cast<double>(std::clamp(r, -1.0L, 1.0L));
}

double RoundedCorrelation(double r) {
  const double rounded = std::round(r * 1000.0) / 1000.0;
  return rounded == 0.0 ? 0.0 : rounded;
}

}  // namespace kelvora
