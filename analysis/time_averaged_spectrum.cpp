#include "analysis/time_averaged_spectrum.h"

#include <cmath>

namespace kelvora {

SpectrumPoint AverageOverValidSamples(double frequencyHz, std::span<const std::complex<double>> row,
                                      const SampleRange& valid) {
  SpectrumPoint point;
  point.frequencyHz = frequencyHz;
  point.validSamples = valid.size();
  if (valid.empty()) return point;
  long double amplitudeSum = 0.0L;
  long double powerSum = 0.0L;
  for (long long n = valid.first; n <= valid.last; ++n) {
    const std::complex<double> w = row[static_cast<std::size_t>(n)];
    const double power = w.real() * w.real() + w.imag() * w.imag();
    amplitudeSum += std::sqrt(power);
    powerSum += power;
  }
  const auto count = static_cast<long double>(point.validSamples);
  point.amplitude = static_cast<double>(amplitudeSum / count);
  point.power = static_cast<double>(powerSum / count);
  return point;
}

}  // namespace kelvora
