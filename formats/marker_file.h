#pragma once
// The marker and segment files: the sidecar RECORD.markers.csv (`time_s,label[,duration_s]`), the segment table
// (`name,start_s,end_s`) and the typed segment list (`NAME:START:END,...`). Numbers use "." as the decimal mark;
// a header line is optional; blank lines and lines starting with '#' are skipped; fields are separated by ','
// and may be quoted ("a, b", "" for a quote). The words of the errors are the caller's.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/marker.h"

namespace kelvora {

enum class MarkerFileErrorKind {
  kMissingFile,   // nothing at `path`
  kCannotOpen,    // it cannot be opened or read (`reason`)
  kCannotWrite,   // a save failed (`reason`); any existing file is unchanged
  kFieldCount,    // `line` has `count` fields where `expected` (the most allowed) or fewer, down to 2 or 3, are
  kBadTime,       // `line`, field `field` (1-based): `text` is not a finite number of seconds >= 0
  kBadDuration,   // `line`: `text` is not a finite duration >= 0 seconds
  kEmptyLabel,    // `line`: the label (or the segment's name) is empty
  kBadInterval,   // `line` (0 in a typed list: `text` is the item): the end is not after the start
  kBadItem,       // a typed segment list: the item `text` is not NAME:START:END
  kNonFiniteTime, // writing: marker `count` (0-based) has a time or duration that is not finite and >= 0
  kNoSuchColumn,  // a marker column: `text` names no column of the file
  kAmbiguousColumn,  // a marker column: `text` names more than one column
};

struct MarkerFileError {
  MarkerFileErrorKind kind = MarkerFileErrorKind::kCannotOpen;
  std::string path;
  long long line = 0;  // 1-based; 0 when not about a line
  int field = 0;       // 1-based field of the line
  std::string text;    // the field or item as it stands (at most 40 bytes, then "...")
  long long count = 0;
  long long expected = 0;
  std::string reason;  // the system's explanation
};

struct MarkerReadResult {
  std::vector<Marker> markers;  // in file order
  std::optional<MarkerFileError> error;
  // The header named a `source` column: each marker has the source it names (the program's own sidecars, which
  // hold the record's whole marker set as the user left it).
  bool namesSources = false;
  bool ok() const { return !error.has_value(); }
};

struct SegmentReadResult {
  std::vector<Segment> segments;  // in the order given
  std::optional<MarkerFileError> error;
  bool ok() const { return !error.has_value(); }
};

// The sidecar path of a record: the record's path without its extension, then ".markers.csv"
// ("data/ldf_1.txt" gives "data/ldf_1.markers.csv").
std::string MarkerSidecarPath(const std::string& recordPath);

// Parses a sidecar's text: `time_s,label[,duration_s]` per line (an empty duration is 0), or, after a header
// whose first field is "time_s", the fields the header names (it must name "label"; "duration_s" is optional;
// a "source" field gives each marker the source it names, MarkerSourceName's words, else `source`; other fields
// are skipped), every line with the header's field count. Without a source field each marker gets `source`. The first bad line is the error and no markers
// are given. `path` only names the file in errors. Pure; any thread.
MarkerReadResult ParseMarkerSidecar(std::string_view text, const std::string& path = {},
                                    MarkerSource source = MarkerSource::kSidecar);
// Reads the file at `path` as ParseMarkerSidecar does (at most 64 MiB). Any thread.
MarkerReadResult ReadMarkerSidecar(const std::string& path);

// The sidecar text of the markers: the header `time_s,label,duration_s,source`, then one line per marker in the
// order given, times in shortest round-trip form. The source column lets a reader tell the file's own markers
// (kept, moved or renamed) from the added ones. Markers with a non-finite or negative time or duration are
// kNonFiniteTime. Pure.
std::optional<MarkerFileError> MarkerSidecarText(const std::vector<Marker>& markers, std::string& text);
// Writes the sidecar atomically (whole or not at all): kNonFiniteTime, kCannotWrite. Any thread.
std::optional<MarkerFileError> WriteMarkerSidecar(const std::string& path, const std::vector<Marker>& markers);

// A record's markers from its file (EDF+ annotations, a marker column, LabChart comments) and its sidecar. A
// sidecar that names sources holds the whole set as it was saved, the file's markers included (a file marker
// the user moved, renamed or deleted stays so): it replaces the file's markers. Another sidecar (typed by hand)
// adds its markers, less those equal in time, duration and label to one the file carries. Sorted by time. Pure.
std::vector<Marker> MergeSidecarMarkers(std::vector<Marker> fileMarkers, const MarkerReadResult& sidecar);

// Parses a segment table: an optional header whose first field is "name", then `name,start_s,end_s` per line,
// 0 <= start < end. Pure.
SegmentReadResult ParseSegmentTable(std::string_view text, const std::string& path = {});
SegmentReadResult ReadSegmentTable(const std::string& path);

// Parses `NAME:START:END,NAME:START:END,...` (the last two ':' of an item end the name). Pure.
SegmentReadResult ParseSegmentList(std::string_view text);

// The marker's fields as a CSV line of `time_s,duration_s,label,source` (no line end). Pure.
std::string MarkerListLine(const Marker& marker);
// The shortest round-trip text of a finite value with "." ("0.5", "120", "1e-07"). Pure.
std::string ShortestNumberText(double value);
// A CSV field: quoted, quotes doubled, when it holds a comma, a quote or a line end. Pure.
std::string QuotedCsvField(const std::string& text);

}  // namespace kelvora
