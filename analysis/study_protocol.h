#pragma once
// The protocol of a study's flux record (BF of a pair, else the recording's file): its conditions, occlusions,
// heating phases, baseline and maximum, as the study's settings ask, from the record and its markers. The
// command-line study and the window's study resolve it here, so that one manifest gives one table.
#include <optional>
#include <string>
#include <vector>

#include "analysis/occlusion_finder.h"
#include "analysis/study.h"
#include "formats/marker.h"

namespace kelvora {

enum class StudyProtocolErrorKind {
  kNoMarkers,  // the conditions are the segments of the markers, and the record has none
  kNoSegment,  // no segment `name` for `role`
  kFinder,     // the occlusion finder refused the record (`finder`)
};

// What a named segment was wanted for.
enum class StudyProtocolRole { kBaseline, kMaximum, kHeating };

struct StudyProtocolError {
  StudyProtocolErrorKind kind = StudyProtocolErrorKind::kNoMarkers;
  StudyProtocolRole role = StudyProtocolRole::kBaseline;
  std::string name;
  OcclusionFinderError finder;
};

// Sets record.segments, occlusions, heating, baseline and maximum from settings.protocol; record.values and
// sampleRateHz are the flux record's. `markers` are the record's markers (ReadRecordMarkers with the entry's
// StudyMarkerFile), needed only when StudyUsesMarkers(settings).
// - Conditions: none (the whole record), the segments of the markers (MarkerSegments with names.before), or the
//   given segments.
// - With findOcclusions (porh, or segments of markers) the occlusions found are the porh occlusions and their
//   markers (OcclusionMarkers with names.occlusion and names.recovery) join the record's before its segments
//   are cut.
// - Occlusions: the typed ones, else the found ones, else the marker segments whose name begins with
//   names.occlusion (any case).
// - A named baseline, maximum or heating phase is the first segment of that name among the conditions when
//   there are, else among the marker segments. Typed heating phases are named names.heating (one) or
//   names.heating + " K".
// Pure; any thread.
std::optional<StudyProtocolError> ResolveStudyProtocol(const StudySettings& settings, std::vector<Marker> markers,
                                                       StudyRecord& record);

}  // namespace kelvora
