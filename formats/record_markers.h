#pragma once
// The markers an instrument file carries itself: EDF+ / BDF+ annotations and the text cells of a marker column
// of a delimited file. (LabChart comments come from the LabChart readers, with source kLabChart.)
#include <optional>
#include <string>
#include <vector>

#include "formats/marker.h"
#include "formats/marker_file.h"
#include "formats/delimited_layout.h"
#include "formats/edf_reader.h"
#include "formats/file_layout.h"
#include "formats/imported_channel.h"

namespace kelvora {

// The annotations as markers (source kEdf), in file order: onset as the time, a missing duration as 0; an
// annotation with an empty text (after trimming) is left out. Pure.
std::vector<Marker> MarkersFromEdfAnnotations(const std::vector<EdfAnnotation>& annotations);

// The names a marker column is found by when none is chosen, compared ignoring case and a unit: "marker",
// "markers", "event", "events", "comment", "comments", "annotation", "annotations", "label", "labels".
bool IsMarkerColumnName(const std::string& name);

struct MarkerColumnOptions {
  std::optional<ChannelRef> column;  // the marker column; none: the first column with a marker name, if any
  int headerLines = -1;              // the layout's header lines; < 0: detected
  double sampleRateHz = 0.0;         // the rate of the rows when the file has no time column (> 0)
};

// The signal columns of a delimited file read without a chosen column: every column but the time column and
// the marker columns (IsMarkerColumnName), which hold text. None (all of them) when the file has no marker column
// or cannot be detected. Cost: the layout's detection. Any thread.
std::vector<ChannelRef> SignalColumnsBesideMarkers(const std::string& path, const DelimitedLayoutOverrides& overrides);

// The non-empty text cells of the marker column of the delimited file at `path` (layout detected as the
// delimited reader detects it), as markers of source kColumn. The time of row k is its time-column value less
// that of the first data row (times in seconds by the column's unit), else k / sampleRateHz. A file without a
// marker column gives no markers and no error unless options.column names one (kNoSuchColumn,
// kAmbiguousColumn). kMissingFile, kCannotOpen as for the sidecar. Cost: one pass over the file. Any thread.
MarkerReadResult ReadMarkerColumn(const std::string& path, const MarkerColumnOptions& options);

// Where a record's markers come from beside the file's own.
struct RecordMarkerOptions {
  FileFormat format = FileFormat::kSignalText;  // how the record was read (ReadRecordFile's format)
  MarkerColumnOptions column;                    // kDelimited: its marker column
  std::vector<Marker> comments;                  // kLabChartText, kMat: the comments of the block read
  std::string sidecar;  // a markers file; empty: RECORD.markers.csv beside the record when there is one
  bool besideSidecar = true;  // false: no sidecar beside the record is looked for
};

// The markers of the record read from `path`, sorted by time: the EDF+ annotations of an EDF file (none when its
// header cannot be read again), the marker column of a delimited file, the comments, and the sidecar merged with
// them (MergeSidecarMarkers). The error of the marker column or of the sidecar gives no markers. Any thread.
MarkerReadResult ReadRecordMarkers(const std::string& path, const RecordMarkerOptions& options);

}  // namespace kelvora
