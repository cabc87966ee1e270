#include "analysis/study_protocol.h"

#include <algorithm>
#include <cctype>

#include "analysis/protocol_segments.h"

namespace kelvora {
namespace {

bool Has(const StudySettings& settings, StudyMeasure measure) {
  return std::find(settings.measures.begin(), settings.measures.end(), measure) != settings.measures.end();
}

// `name` begins with `word`, ignoring case.
bool StartsWithWord(const std::string& name, const std::string& word) {
  if (word.empty() || name.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(word[i])))
      return false;
  return true;
}

StudyProtocolError NoSegment(StudyProtocolRole role, const std::string& name) {
  StudyProtocolError error;
  error.kind = StudyProtocolErrorKind::kNoSegment;
  error.role = role;
  error.name = name;
  return error;
}

}  // namespace

std::optional<StudyProtocolError> ResolveStudyProtocol(const StudySettings& settings, std::vector<Marker> markers,
                                                       StudyRecord& record) {
  const StudyProtocolSettings& p = settings.protocol;
  const bool porh = Has(settings, StudyMeasure::kPorh), heating = Has(settings, StudyMeasure::kHeating);
  const double durationS =
      record.sampleRateHz > 0 ? static_cast<double>(record.values.size()) / record.sampleRateHz : 0.0;
  std::vector<TimeInterval> found;
  if (p.findOcclusions && (porh || p.segments == StudySegmentsMode::kMarkers)) {
    OcclusionFinderOptions finder = p.finder;
    finder.sampleRateHz = record.sampleRateHz;
    const OcclusionFinderResult result = FindOcclusions(record.values, finder);
    if (!result.ok()) {
      StudyProtocolError error;
      error.kind = StudyProtocolErrorKind::kFinder;
      error.finder = *result.error;
      return error;
    }
    for (const FoundOcclusion& o : result.occlusions) found.push_back({o.startS, o.endS});
    const std::vector<Marker> more = OcclusionMarkers(result.occlusions, p.names.occlusion, p.names.recovery);
    markers.insert(markers.end(), more.begin(), more.end());
  }
  record.segments.clear();
  if (p.segments == StudySegmentsMode::kMarkers) {
    if (markers.empty()) return StudyProtocolError{};
    record.segments = MarkerSegments(markers, durationS, p.names.before);
  } else if (p.segments == StudySegmentsMode::kGiven) {
    record.segments = p.givenSegments;
  }
  const std::vector<Segment> markerSegments =
      p.segments == StudySegmentsMode::kMarkers ? record.segments : MarkerSegments(markers, durationS, p.names.before);
  const std::vector<Segment>& named = p.segments != StudySegmentsMode::kWhole ? record.segments : markerSegments;
  auto lookup = [&named](const std::string& name) -> std::optional<TimeInterval> {
    for (const Segment& segment : named)
      if (segment.name == name) return TimeInterval{segment.startS, segment.endS};
    return std::nullopt;
  };
  auto interval = [&](const std::optional<TimeInterval>& given, const std::string& name, StudyProtocolRole role,
                      std::optional<TimeInterval>& into) -> std::optional<StudyProtocolError> {
    into = given;
    if (given || name.empty()) return std::nullopt;
    into = lookup(name);
    if (!into) return NoSegment(role, name);
    return std::nullopt;
  };
  record.occlusions.clear();
  record.heating.clear();
  record.baseline.reset();
  record.maximum.reset();
  if (porh || heating)
    if (auto error = interval(p.baseline, p.baselineName, StudyProtocolRole::kBaseline, record.baseline)) return error;
  if (porh) {
    if (!p.occlusions.empty()) {
      record.occlusions = p.occlusions;
    } else if (p.findOcclusions) {
      record.occlusions = found;
    } else {
      for (const Segment& segment : markerSegments)
        if (StartsWithWord(segment.name, p.names.occlusion))
          record.occlusions.push_back({segment.startS, segment.endS});
    }
  }
  if (heating) {
    if (auto error = interval(p.maximum, p.maximumName, StudyProtocolRole::kMaximum, record.maximum)) return error;
    for (std::size_t i = 0; i < p.heating.size(); ++i)
      record.heating.push_back(
          {p.heating.size() == 1 ? p.names.heating : p.names.heating + ' ' + std::to_string(i + 1),
           p.heating[i].startS, p.heating[i].endS});
    if (p.heating.empty()) {
      for (const Segment& segment : named)
        if (segment.name == p.heatingName) record.heating.push_back(segment);
      if (record.heating.empty()) return NoSegment(StudyProtocolRole::kHeating, p.heatingName);
    }
  }
  return std::nullopt;
}

}  // namespace kelvora
