#pragma once
// Removing a slow trend from a record before its time-frequency analysis: the least-squares polynomial in time.
#include <span>
#include <vector>

namespace kelvora {

// The preprocessing choices: no change, the mean, the least-squares line, or the least-squares cubic.
enum class DetrendMode { kNone, kMean, kLinear, kCubic };

// The degree of the polynomial a mode removes: -1 for kNone, then 0, 1, 3.
int DetrendDegree(DetrendMode mode);

// Subtracts from values[0 .. N-1] (sample i at time i) the polynomial of `degree` (-1 .. 3; -1 leaves them as
// they are) that fits them best in the least-squares sense. The fit is made with the polynomials orthogonal on
// the record's own time points, of a centred time axis scaled to [-1, 1], each removed from the residual in
// turn (modified Gram-Schmidt) with extended-precision sums, so an offset of 1e4 over a change of 1e-3, or
// 2,000,000 samples, fit to rounding. With N <= degree the polynomial passes through every sample and all
// values become 0. Cost: 2 (degree + 1) passes over the values, no memory beyond them. Pure; any thread.
void RemovePolynomialTrend(std::span<double> values, int degree);

// A copy of `values` with the trend of `mode` removed.
std::vector<double> Detrended(std::span<const double> values, DetrendMode mode);

}  // namespace kelvora
