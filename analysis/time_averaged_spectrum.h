#pragma once
// The time-averaged wavelet spectrum: A(f) and P(f), the means of |W(f, n)| and |W(f, n)|^2 over the valid n.
#include <complex>
#include <optional>
#include <span>

#include "analysis/cone_of_influence.h"

namespace kelvora {

struct SpectrumPoint {
  double frequencyHz = 0.0;
  long long validSamples = 0;       // n inside the cone of influence
  std::optional<double> amplitude;  // A(f): mean |W| over the valid n; empty when no n is valid
  std::optional<double> power;      // P(f): mean |W|^2 over the valid n; empty when no n is valid
};

// The point of one transform row: the means over row[valid.first .. valid.last] (valid must lie inside the row),
// summed in extended precision. Cost: one pass over the valid samples. Pure; any thread.
SpectrumPoint AverageOverValidSamples(double frequencyHz, std::span<const std::complex<double>> row,
                                      const SampleRange& valid);

}  // namespace kelvora
