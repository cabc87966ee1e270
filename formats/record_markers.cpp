#include "formats/record_markers.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/text_helpers.h"
#include "formats/delimited_layout.h"
#include "formats/line_splitter.h"
#include "formats/record_file_error.h"

namespace kelvora {
namespace {

constexpr std::size_t kMaxMarkerLineBytes = 1 << 20;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

MarkerFileError FileError(MarkerFileErrorKind kind, const std::string& path) {
  MarkerFileError error;
  error.kind = kind;
  error.path = path;
  return error;
}

}  // namespace

std::vector<Marker> MarkersFromEdfAnnotations(const std::vector<EdfAnnotation>& annotations) {
  std::vector<Marker> markers;
  for (const EdfAnnotation& a : annotations) {
    const std::string label(TrimBlanks(a.text));
    if (label.empty() || !std::isfinite(a.onsetS)) continue;
    Marker marker;
    marker.timeS = std::max(0.0, a.onsetS);
    marker.durationS = a.durationS > 0.0 && std::isfinite(a.durationS) ? a.durationS : 0.0;
    marker.label = label;
    marker.source = MarkerSource::kEdf;
    markers.push_back(std::move(marker));
  }
  return markers;
}

bool IsMarkerColumnName(const std::string& name) {
  const std::string plain = Lower(std::string(TrimBlanks(NameWithoutUnit(name))));
  for (const char* known : {"marker", "markers", "event", "events", "comment", "comments", "annotation",
                            "annotations", "label", "labels"})
    if (plain == known) return true;
  return false;
}

std::vector<ChannelRef> SignalColumnsBesideMarkers(const std::string& path, const DelimitedLayoutOverrides& overrides) {
  const DelimitedLayoutDetection detection =
      DetectDelimitedLayout(ReadFileStart(path, kLayoutDetectionBytes), overrides, path);
  if (!detection.ok()) return {};
  const DelimitedLayout& layout = detection.layout;
  std::vector<ChannelRef> columns;
  bool markers = false;
  for (int c = 1; c <= static_cast<int>(layout.names.size()); ++c) {
    if (c == layout.timeColumn) continue;
    if (IsMarkerColumnName(layout.names[static_cast<std::size_t>(c - 1)])) markers = true;
    else columns.push_back(ChannelRef{c, {}});
  }
  return markers && !columns.empty() ? columns : std::vector<ChannelRef>();
}

MarkerReadResult ReadMarkerColumn(const std::string& path, const MarkerColumnOptions& options) {
  MarkerReadResult result;
  if (const auto unreadable = CheckReadableFile(path)) {
    result.error = FileError(unreadable->kind == RecordFileErrorKind::kMissingFile ? MarkerFileErrorKind::kMissingFile
                                                                                    : MarkerFileErrorKind::kCannotOpen,
                             path);
    result.error->reason = unreadable->reason;
    return result;
  }
  DelimitedLayoutOverrides overrides;
  if (options.headerLines >= 0) overrides.headerLines = options.headerLines;
  const DelimitedLayoutDetection detection = DetectDelimitedLayout(ReadFileStart(path, kLayoutDetectionBytes), overrides, path);
  if (!detection.ok()) return result;  // not a delimited file of numbers: it carries no marker column
  const DelimitedLayout& layout = detection.layout;

  int column = 0;
  if (options.column) {
    column = FindByRef(layout.names, *options.column);
    if (column <= 0) {
      result.error = FileError(column < 0 ? MarkerFileErrorKind::kAmbiguousColumn : MarkerFileErrorKind::kNoSuchColumn, path);
      result.error->text = options.column->text();
      return result;
    }
  } else {
    for (std::size_t i = 0; i < layout.names.size() && column == 0; ++i)
      if (static_cast<int>(i) + 1 != layout.timeColumn && IsMarkerColumnName(layout.names[i])) column = static_cast<int>(i) + 1;
    if (column == 0) return result;
  }

  long long row = 0;
  std::optional<double> firstTime;
  LineSplitter splitter(kMaxMarkerLineBytes, [&](std::string_view line, long long number, std::size_t) {
    if (number <= layout.headerLines) return true;
    const std::string_view trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == '#') return true;
    const std::vector<std::string> cells = SplitDelimitedLine(line, layout.separator);
    const long long k = row++;
    double time = options.sampleRateHz > 0.0 ? static_cast<double>(k) / options.sampleRateHz : 0.0;
    if (layout.timeColumn > 0 && layout.timeColumn <= static_cast<int>(cells.size())) {
      std::string cell = cells[static_cast<std::size_t>(layout.timeColumn - 1)];
      if (layout.decimalMark != '.') std::replace(cell.begin(), cell.end(), layout.decimalMark, '.');
      if (const auto t = ParseDecimalNumber(cell, '.'); t && std::isfinite(*t)) {
        if (!firstTime) firstTime = *t;
        time = (*t - *firstTime) * layout.timeUnitS;
      }
    }
    if (column > static_cast<int>(cells.size())) return true;
    const std::string label(TrimBlanks(cells[static_cast<std::size_t>(column - 1)]));
    if (label.empty() || !std::isfinite(time) || time < 0.0) return true;
    Marker marker;
    marker.timeS = time;
    marker.label = label;
    marker.source = MarkerSource::kColumn;
    result.markers.push_back(std::move(marker));
    return true;
  });
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (!splitter.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) break;
  }
  if (in.bad()) {
    result.markers.clear();
    result.error = FileError(MarkerFileErrorKind::kCannotOpen, path);
    result.error->reason = std::generic_category().message(errno != 0 ? errno : EIO);
    return result;
  }
  splitter.finish();
  return result;
}

MarkerReadResult ReadRecordMarkers(const std::string& path, const RecordMarkerOptions& options) {
  MarkerReadResult result;
  if (options.format == FileFormat::kEdf) {
    const EdfReadResult info = ReadEdfFile(path);
    if (info.ok()) result.markers = MarkersFromEdfAnnotations(info.info.annotations);
  } else if (options.format == FileFormat::kDelimited) {
    result = ReadMarkerColumn(path, options.column);
    if (!result.ok()) return result;
  }
  result.markers.insert(result.markers.end(), options.comments.begin(), options.comments.end());
  std::string sidecar = options.sidecar;
  if (sidecar.empty() && options.besideSidecar) {
    std::error_code code;
    const std::string beside = MarkerSidecarPath(path);
    if (std::filesystem::is_regular_file(beside, code)) sidecar = beside;
  }
  if (sidecar.empty()) {
    result.markers = SortedByTime(std::move(result.markers));
    return result;
  }
  const MarkerReadResult read = ReadMarkerSidecar(sidecar);
  if (!read.ok()) return read;
  result.markers = MergeSidecarMarkers(std::move(result.markers), read);
  result.namesSources = read.namesSources;
  return result;
}

}  // namespace kelvora
