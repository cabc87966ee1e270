#include "analysis/frequency_grid.h"

#include <cmath>

namespace kelvora {

std::vector<double> VoiceFrequencies(double fMinHz, double fMaxHz, int voices) {
  std::vector<double> frequencies;
  if (voices < 1 || !(fMinHz > 0.0) || !(fMaxHz >= fMinHz) || !std::isfinite(fMaxHz)) return frequencies;
  constexpr double kEdgeTolerance = 1e-12;
  const double low = fMinHz * (1.0 - kEdgeTolerance);
  const double high = fMaxHz * (1.0 + kEdgeTolerance);
  // Start one voice below the estimate and test each candidate, so rounding in log2 cannot drop an end.
  for (long long j = static_cast<long long>(std::floor(voices * std::log2(low))) - 1;; ++j) {
    const double f = std::exp2(static_cast<double>(j) / voices);
    if (f > high) break;
    if (f >= low) frequencies.push_back(f);
  }
  return frequencies;
}

}  // namespace kelvora
