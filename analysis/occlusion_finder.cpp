#include "analysis/occlusion_finder.h"

#include <algorithm>
#include <cmath>

#include "analysis/protocol_segments.h"

namespace kelvora {

OcclusionFinderResult FindOcclusions(std::span<const double> flux, const OcclusionFinderOptions& options) {
  OcclusionFinderResult result;
  auto fail = [&](OcclusionFinderErrorKind kind, long long sample = -1) {
    result.error = OcclusionFinderError{kind, sample};
    return result;
  };
  const double fs = options.sampleRateHz;
  if (!(fs > 0.0) || !std::isfinite(fs) || !(options.thresholdShare > 0.0 && options.thresholdShare < 1.0) ||
      !(options.referenceSeconds > 0.0) || !std::isfinite(options.referenceSeconds) ||
      !(options.minimumSeconds > 0.0) || !std::isfinite(options.minimumSeconds))
    return fail(OcclusionFinderErrorKind::kBadOptions);
  if (flux.empty()) return fail(OcclusionFinderErrorKind::kNoSamples);
  for (std::size_t i = 0; i < flux.size(); ++i)
    if (!std::isfinite(flux[i])) return fail(OcclusionFinderErrorKind::kNonFiniteSample, static_cast<long long>(i));

  const auto count = static_cast<long long>(flux.size());
  SampleRange reference = SamplesInInterval(0.0, options.referenceSeconds, fs, count);
  if (reference.empty()) reference = SampleRange{0, count - 1};
  std::vector<double> sorted(flux.begin() + reference.first, flux.begin() + reference.last + 1);
  std::sort(sorted.begin(), sorted.end());
  const std::size_t m = sorted.size();
  result.referenceLevel = m % 2 == 1 ? sorted[m / 2] : (sorted[m / 2 - 1] + sorted[m / 2]) / 2.0;
  if (!(result.referenceLevel > 0.0)) return fail(OcclusionFinderErrorKind::kNoReference);
  result.threshold = options.thresholdShare * result.referenceLevel;

  long long runStart = -1;
  auto close = [&](long long end) {  // the run is [runStart, end)
    if (runStart >= 0 && static_cast<double>(end - runStart) / fs >= options.minimumSeconds)
      result.occlusions.push_back({static_cast<double>(runStart) / fs, static_cast<double>(end) / fs});
    runStart = -1;
  };
  for (long long n = 0; n < count; ++n) {
    if (flux[static_cast<std::size_t>(n)] < result.threshold) {
      if (runStart < 0) runStart = n;
    } else {
      close(n);
    }
  }
  close(count);
  return result;
}

}  // namespace kelvora
