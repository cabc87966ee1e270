#pragma once
// Protocol markers and segments of a record: the events a recording carries (an occlusion's start, heating on,
// a drug given) and the named time intervals made of them. Times are seconds from the record's first sample.
#include <string>
#include <vector>

namespace kelvora {

// Where a marker came from. The names MarkerSourceName gives are those of the marker files' `source` column.
enum class MarkerSource {
  kEdf,       // an EDF+ / BDF+ annotation
  kColumn,    // a text cell of a marker column of a delimited file
  kLabChart,  // a comment of a LabChart export (read by the LabChart readers)
  kSidecar,   // a line of a RECORD.markers.csv file
  kFound,     // proposed by a detector (the occlusion finder)
};

struct Marker {
  double timeS = 0.0;      // onset, seconds from the record's first sample; finite, >= 0
  double durationS = 0.0;  // seconds; 0 for an instant
  std::string label;       // UTF-8, never empty
  MarkerSource source = MarkerSource::kSidecar;
};

// A named time interval [startS, endS) of a record, startS < endS.
struct Segment {
  std::string name;
  double startS = 0.0;
  double endS = 0.0;
};

// "edf", "column", "labchart", "sidecar", "found".
const char* MarkerSourceName(MarkerSource source);

// The markers sorted by time (stable: markers at one time keep their order).
std::vector<Marker> SortedByTime(std::vector<Marker> markers);

}  // namespace kelvora
