#include "analysis/occlusion_finder.h"

#include <algorithm>
#include <cmath>
#include <utility>

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
      !(options.minimumSeconds > 0.0) || !std::isfinite(options.minimumSeconds) ||
      !(options.bridgeSeconds >= 0.0) || !std::isfinite(options.bridgeSeconds))
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

  std::vector<std::pair<long long, long long>> runs;  // [first, end) below the threshold
  long long runStart = -1;
  for (long long n = 0; n <= count; ++n) {
    const bool below = n < count && flux[static_cast<std::size_t>(n)] < result.threshold;
    if (below && runStart < 0) runStart = n;
    if (!below && runStart >= 0) {
      if (!runs.empty() && static_cast<double>(runStart - runs.back().second) / fs < options.bridgeSeconds)
        runs.back().second = n;
      else
        runs.emplace_back(runStart, n);
      runStart = -1;
    }
  }
  for (const auto& [first, end] : runs)
    if (static_cast<double>(end - first) / fs >= options.minimumSeconds)
      result.occlusions.push_back({static_cast<double>(first) / fs, static_cast<double>(end) / fs});
  return result;
}

std::vector<Marker> OcclusionMarkers(const std::vector<FoundOcclusion>& occlusions, const std::string& occlusionWord,
                                     const std::string& recoveryWord) {
  std::vector<Marker> markers;
  for (std::size_t i = 0; i < occlusions.size(); ++i) {
    const std::string k = std::to_string(i + 1);
    markers.push_back(Marker{occlusions[i].startS, 0.0, occlusionWord + ' ' + k, MarkerSource::kFound});
    markers.push_back(Marker{occlusions[i].endS, 0.0, recoveryWord + ' ' + k, MarkerSource::kFound});
  }
  return markers;
}

}  // namespace kelvora
