#include "analysis/protocol_segments.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

SampleRange SamplesInInterval(double startS, double endS, double sampleRateHz, long long sampleCount) {
  if (!(sampleRateHz > 0.0) || sampleCount <= 0 || !(endS > startS)) return SampleRange{};
  auto at = [sampleRateHz](long long n) { return static_cast<double>(n) / sampleRateHz; };
  const double firstEstimate = std::clamp(std::ceil(startS * sampleRateHz), 0.0, static_cast<double>(sampleCount));
  long long first = static_cast<long long>(firstEstimate);
  while (first > 0 && at(first - 1) >= startS) --first;
  while (first < sampleCount && at(first) < startS) ++first;
  const double lastEstimate = std::clamp(std::ceil(endS * sampleRateHz) - 1.0, -1.0, static_cast<double>(sampleCount - 1));
  long long last = static_cast<long long>(lastEstimate);
  while (last + 1 < sampleCount && at(last + 1) < endS) ++last;
  while (last >= 0 && at(last) >= endS) --last;
  if (first > last) return SampleRange{};
  return SampleRange{first, last};
}

SampleRange Intersection(const SampleRange& a, const SampleRange& b) {
  if (a.empty() || b.empty()) return SampleRange{};
  const SampleRange both{std::max(a.first, b.first), std::min(a.last, b.last)};
  return both.empty() ? SampleRange{} : both;
}

std::vector<Segment> SegmentsFromMarkers(const std::vector<Marker>& markers, double durationS) {
  const std::vector<Marker> sorted = SortedByTime(markers);
  std::vector<Segment> segments;
  auto add = [&](const std::string& name, double start, double end) {
    start = std::max(0.0, start);
    end = std::min(durationS, end);
    if (end > start) segments.push_back(Segment{name, start, end});
  };
  std::vector<const Marker*> cuts;
  for (const Marker& m : sorted) {
    if (m.durationS > 0.0) add(m.label, m.timeS, m.timeS + m.durationS);
    else cuts.push_back(&m);
  }
  if (!cuts.empty() && cuts.front()->timeS > 0.0) add(std::string(), 0.0, cuts.front()->timeS);
  for (std::size_t i = 0; i < cuts.size(); ++i)
    add(cuts[i]->label, cuts[i]->timeS, i + 1 < cuts.size() ? cuts[i + 1]->timeS : durationS);
  std::stable_sort(segments.begin(), segments.end(),
                   [](const Segment& a, const Segment& b) { return a.startS < b.startS; });
  return segments;
}

double NeededSegmentMinutes(double lowHz) { return kSegmentPeriods / lowHz / 60.0; }

std::vector<Segment> MarkerSegments(const std::vector<Marker>& markers, double durationS,
                                    const std::string& beforeWord) {
  std::vector<Segment> segments = SegmentsFromMarkers(markers, durationS);
  const std::vector<Marker> sorted = SortedByTime(markers);
  for (Segment& segment : segments)
    if (segment.name.empty()) segment.name = beforeWord + ' ' + sorted.front().label;
  return segments;
}

}  // namespace kelvora
