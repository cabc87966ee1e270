#include "analysis/cone_of_influence.h"

#include <cmath>

namespace kelvora {

double ConeEdgeSeconds(double frequencyHz, double centreFrequency) {
  return kConeFactor * (centreFrequency / frequencyHz);
}

SampleRange ValidSamples(double frequencyHz, double centreFrequency, double sampleRateHz, long long sampleCount) {
  const double edge = kConeFactor * (centreFrequency / frequencyHz);
  auto validFromStart = [&](long long n) { return static_cast<double>(n) / sampleRateHz >= edge; };
  auto validFromEnd = [&](long long n) { return static_cast<double>(sampleCount - 1 - n) / sampleRateHz >= edge; };
  // The estimate ceil(edge * fs) may be one off the inequality as written; step to its exact boundary.
  long long first = static_cast<long long>(std::ceil(edge * sampleRateHz));
  while (first > 0 && validFromStart(first - 1)) --first;
  while (!validFromStart(first)) ++first;
  long long last = sampleCount - 1 - static_cast<long long>(std::ceil(edge * sampleRateHz));
  while (last + 1 < sampleCount && validFromEnd(last + 1)) ++last;
  while (last >= 0 && !validFromEnd(last)) --last;
  if (first > last) return SampleRange{};
  return SampleRange{first, last};
}

double NeededRecordMinutes(double lowHz, double centreFrequency) {
  return (2.0 * kConeFactor * centreFrequency / lowHz + 1.0 / lowHz) / 60.0;
}

}  // namespace kelvora
