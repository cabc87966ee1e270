#pragma once
// Post-processing shared by every conversion: the power law of "Nonlinear Relationship", the three scaling
// modes of the "Scaling" group, the one finishing step every method ends with, and the Pearson correlation
// shown under the converted charts.
#include <optional>
#include <vector>

#include "core/conversion_result.h"

namespace kelvora {

// The "Scaling" group: "Normalized values" (0 .. 1), "Absolute values" (as computed), "Scaled values:" a*x + b.
enum class ScalingMode { Normalized, Absolute, Scaled };

// x := sign(x) * |x|^exponent for every sample (the sign-preserving power, so zero and negative samples stay
// finite). Cost O(n); any thread.
void ApplyPowerLaw(std::vector<double>& values, double exponent);

// x := (x - min) / (max - min) over all samples, so the result spans exactly 0 .. 1; a constant record (or an
// empty one) becomes all zeros. Cost O(n); any thread.
void NormalizeToUnitRange(std::vector<double>& values);

// Applies `mode`: Normalized -> `NormalizeToUnitRange`, Scaled -> a*x + b, Absolute -> unchanged.
void ApplyScaling(std::vector<double>& values, ScalingMode mode, double a, double b);

// The finishing step of every conversion (Fourier, wavelet, Shitzer), in this order: de-normalisation
// x := x (maximum - minimum) + minimum when `denormalize`, the sign-preserving power x := sign(x) |x|^p when
// `powerExponent` is set ("Nonlinear Relationship"), then the scaling of the "Scaling" group.
struct ConversionFinish {
  bool denormalize = false;
  double minimum = 0.0;
  double maximum = 0.0;
  std::optional<double> powerExponent;
  ScalingMode scaling = ScalingMode::Normalized;
  double a = 1.0;  // "Scaled values:" a * x + b
  double b = 0.0;
  // "Normalized values" divides by max - min + this: 0 maps exactly onto 0 .. 1 (NormalizeToUnitRange); the
  // wavelet method keeps its own 1e-8. A constant record becomes all zeros either way.
  double normalizedRangeGuard = 0.0;
};

// Applies `finish` to `values`. Fails (with the message "The conversion gave a value that is not a number")
// when a value is not finite afterwards. Cost O(n); any thread.
ConversionResult FinishConversion(std::vector<double> values, const ConversionFinish& finish);

// Pearson coefficient of x[0 .. count-1] and y[0 .. count-1] with count = the shorter length. No value when
// fewer than two samples are shared or either series is constant over them (the coefficient is undefined).
// The sums run in extended precision. Cost O(n); any thread.
std::optional<double> PearsonCorrelation(const std::vector<double>& x, const std::vector<double>& y);

// A correlation coefficient as it is shown: rounded to three decimals, never -0.
double RoundedCorrelation(double r);

}  // namespace kelvora
