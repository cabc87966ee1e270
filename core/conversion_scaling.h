#pragma once
// Post-processing shared by every conversion: the power law of "Nonlinear Relationship", the three scaling
// modes of the "Scaling" group, and the Pearson correlation shown under the converted charts.
#include <optional>
#include <vector>

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

// Pearson coefficient of x[0 .. count-1] and y[0 .. count-1] with count = the shorter length. No value when
// fewer than two samples are shared or either series is constant over them (the coefficient is undefined).
// The sums run in extended precision. Cost O(n); any thread.
std::optional<double> PearsonCorrelation(const std::vector<double>& x, const std::vector<double>& y);

}  // namespace kelvora
