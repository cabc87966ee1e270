#include "formats/marker_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/atomic_file.h"
#include "core/text_helpers.h"

namespace kelvora {
namespace {

constexpr std::size_t kMaxMarkerFileBytes = std::size_t{64} << 20;
constexpr std::size_t kErrorTextBytes = 40;

std::string Shortened(std::string_view text) {
  if (text.size() <= kErrorTextBytes) return std::string(text);
  return std::string(text.substr(0, kErrorTextBytes)) + "...";
}

// The fields of one line: ',' separated, blanks around a field dropped, a quoted field may hold ',' and "".
std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string field;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      while (i < line.size() && line[i] != ',') ++i;
    } else {
      const std::size_t end = std::min(line.find(',', i), line.size());
      field = std::string(TrimBlanks(line.substr(i, end - i)));
      i = end;
    }
    fields.push_back(std::move(field));
    if (i >= line.size()) break;
    ++i;  // the ','
  }
  return fields;
}

// Calls take(line, number) for every line that is not blank or a comment; stops at the first false.
template <typename Take>
void ForEachDataLine(std::string_view text, Take take) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  long long number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    ++number;
    const std::string_view trimmed = TrimBlanks(line);
    if (!trimmed.empty() && trimmed.front() != '#')
      if (!take(line, number)) return;
    if (end == text.size()) break;
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    if (start == text.size()) break;
  }
}

std::optional<double> NonNegativeSeconds(const std::string& text) {
  const std::optional<double> value = ParseDecimalNumber(text, '.');
  if (!value || !std::isfinite(*value) || *value < 0.0) return std::nullopt;
  return value;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

MarkerFileError LineError(MarkerFileErrorKind kind, const std::string& path, long long line, int field = 0,
                          const std::string& text = {}) {
  MarkerFileError error;
  error.kind = kind;
  error.path = path;
  error.line = line;
  error.field = field;
  error.text = Shortened(text);
  return error;
}

// The whole file, or the error of opening or reading it.
std::optional<MarkerFileError> ReadWhole(const std::string& path, std::string& text) {
  MarkerFileError error;
  error.path = path;
  std::error_code code;
  if (!std::filesystem::exists(path, code)) {
    error.kind = MarkerFileErrorKind::kMissingFile;
    return error;
  }
  error.kind = MarkerFileErrorKind::kCannotOpen;
  if (std::filesystem::is_directory(path, code)) {
    error.reason = std::generic_category().message(EISDIR);
    return error;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error.reason = std::generic_category().message(errno != 0 ? errno : EACCES);
    return error;
  }
  text.assign(kMaxMarkerFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) {
    error.reason = std::generic_category().message(errno != 0 ? errno : EIO);
    return error;
  }
  text.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  if (text.size() > kMaxMarkerFileBytes) {
    error.reason = std::generic_category().message(EFBIG);
    return error;
  }
  return std::nullopt;
}

}  // namespace

std::string MarkerSidecarPath(const std::string& recordPath) {
  std::filesystem::path path(recordPath);
  path.replace_extension();
  return path.string() + ".markers.csv";
}

MarkerReadResult ParseMarkerSidecar(std::string_view text, const std::string& path, MarkerSource source) {
  MarkerReadResult result;
  bool first = true;
  // The fields' positions: time_s,label[,duration_s] without a header; as the header names them with one (so a
  // `time_s,duration_s,label,source` listing reads back too).
  std::size_t timeField = 0, labelField = 1, durationField = 2, sourceField = 3, fieldCount = 0;
  ForEachDataLine(text, [&](std::string_view line, long long number) {
    const std::vector<std::string> fields = SplitFields(line);
    if (first && Lower(fields.front()) == "time_s") {
      first = false;
      fieldCount = fields.size();
      labelField = durationField = sourceField = fields.size();
      for (std::size_t i = 1; i < fields.size(); ++i) {
        const std::string name = Lower(fields[i]);
        if (name == "label") labelField = i;
        if (name == "duration_s") durationField = i;
        if (name == "source") sourceField = i;
      }
      result.namesSources = sourceField < fields.size();
      if (labelField == fields.size()) {
        result.error = LineError(MarkerFileErrorKind::kFieldCount, path, number, 0, std::string(line));
        result.error->count = static_cast<long long>(fields.size());
        result.error->expected = 3;
        return false;
      }
      return true;
    }
    first = false;
    const bool countOk = fieldCount > 0 ? fields.size() == fieldCount : fields.size() == 2 || fields.size() == 3;
    if (!countOk) {
      result.error = LineError(MarkerFileErrorKind::kFieldCount, path, number, 0, std::string(line));
      result.error->count = static_cast<long long>(fields.size());
      result.error->expected = fieldCount > 0 ? static_cast<long long>(fieldCount) : 3;
      return false;
    }
    Marker marker;
    marker.source = source;
    if (result.namesSources) {
      const std::string name = Lower(std::string(TrimBlanks(fields[sourceField])));
      for (const MarkerSource known : {MarkerSource::kEdf, MarkerSource::kColumn, MarkerSource::kLabChart,
                                       MarkerSource::kSidecar, MarkerSource::kFound})
        if (name == MarkerSourceName(known)) marker.source = known;
    }
    const std::optional<double> time = NonNegativeSeconds(fields[timeField]);
    if (!time) {
      result.error = LineError(MarkerFileErrorKind::kBadTime, path, number, static_cast<int>(timeField) + 1, fields[timeField]);
      return false;
    }
    marker.timeS = *time;
    marker.label = fields[labelField];
    if (marker.label.empty()) {
      result.error = LineError(MarkerFileErrorKind::kEmptyLabel, path, number, static_cast<int>(labelField) + 1);
      return false;
    }
    if (durationField < fields.size() && !fields[durationField].empty()) {
      const std::optional<double> duration = NonNegativeSeconds(fields[durationField]);
      if (!duration) {
        result.error = LineError(MarkerFileErrorKind::kBadDuration, path, number, static_cast<int>(durationField) + 1,
                                 fields[durationField]);
        return false;
      }
      marker.durationS = *duration;
    }
    result.markers.push_back(std::move(marker));
    return true;
  });
  if (result.error) result.markers.clear();
  return result;
}

std::vector<Marker> MergeSidecarMarkers(std::vector<Marker> fileMarkers, const MarkerReadResult& sidecar) {
  if (!sidecar.ok()) return SortedByTime(std::move(fileMarkers));
  if (sidecar.namesSources) return SortedByTime(sidecar.markers);
  const std::size_t carried = fileMarkers.size();
  for (const Marker& marker : sidecar.markers) {
    // An earlier save without sources repeated the file's markers: each is read once, as the file's.
    const bool same = std::any_of(fileMarkers.begin(), fileMarkers.begin() + static_cast<std::ptrdiff_t>(carried),
                                  [&](const Marker& own) {
                                    return own.label == marker.label && std::abs(own.timeS - marker.timeS) <= 1e-6 &&
                                           std::abs(own.durationS - marker.durationS) <= 1e-6;
                                  });
    if (!same) fileMarkers.push_back(marker);
  }
  return SortedByTime(std::move(fileMarkers));
}

MarkerReadResult ReadMarkerSidecar(const std::string& path) {
  std::string text;
  if (auto error = ReadWhole(path, text)) {
    MarkerReadResult result;
    result.error = std::move(error);
    return result;
  }
  return ParseMarkerSidecar(text, path);
}

std::string ShortestNumberText(double value) {
  if (value == 0.0) return "0";
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

std::string QuotedCsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos && TrimBlanks(text) == text) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::optional<MarkerFileError> MarkerSidecarText(const std::vector<Marker>& markers, std::string& text) {
  std::string out = "time_s,label,duration_s,source\n";
  for (std::size_t i = 0; i < markers.size(); ++i) {
    const Marker& m = markers[i];
    if (!std::isfinite(m.timeS) || m.timeS < 0.0 || !std::isfinite(m.durationS) || m.durationS < 0.0) {
      MarkerFileError error;
      error.kind = MarkerFileErrorKind::kNonFiniteTime;
      error.count = static_cast<long long>(i);
      return error;
    }
    out += ShortestNumberText(m.timeS) + "," + QuotedCsvField(m.label) + "," + ShortestNumberText(m.durationS) + "," +
           MarkerSourceName(m.source) + "\n";
  }
  text = std::move(out);
  return std::nullopt;
}

std::optional<MarkerFileError> WriteMarkerSidecar(const std::string& path, const std::vector<Marker>& markers) {
  std::string text;
  if (auto error = MarkerSidecarText(markers, text)) {
    error->path = path;
    return error;
  }
  if (const auto reason = WriteFileAtomically(path, text)) {
    MarkerFileError error;
    error.kind = MarkerFileErrorKind::kCannotWrite;
    error.path = path;
    error.reason = *reason;
    return error;
  }
  return std::nullopt;
}

SegmentReadResult ParseSegmentTable(std::string_view text, const std::string& path) {
  SegmentReadResult result;
  bool first = true;
  ForEachDataLine(text, [&](std::string_view line, long long number) {
    const std::vector<std::string> fields = SplitFields(line);
    const bool header = first && Lower(fields.front()) == "name";
    first = false;
    if (header) return true;
    if (fields.size() != 3) {
      result.error = LineError(MarkerFileErrorKind::kFieldCount, path, number, 0, std::string(line));
      result.error->count = static_cast<long long>(fields.size());
      result.error->expected = 3;
      return false;
    }
    Segment segment;
    segment.name = fields[0];
    if (segment.name.empty()) {
      result.error = LineError(MarkerFileErrorKind::kEmptyLabel, path, number, 1);
      return false;
    }
    for (int f = 1; f <= 2; ++f) {
      const std::optional<double> time = NonNegativeSeconds(fields[static_cast<std::size_t>(f)]);
      if (!time) {
        result.error = LineError(MarkerFileErrorKind::kBadTime, path, number, f + 1, fields[static_cast<std::size_t>(f)]);
        return false;
      }
      (f == 1 ? segment.startS : segment.endS) = *time;
    }
    if (!(segment.endS > segment.startS)) {
      result.error = LineError(MarkerFileErrorKind::kBadInterval, path, number, 3, fields[2]);
      return false;
    }
    result.segments.push_back(std::move(segment));
    return true;
  });
  if (result.error) result.segments.clear();
  return result;
}

SegmentReadResult ReadSegmentTable(const std::string& path) {
  std::string text;
  if (auto error = ReadWhole(path, text)) {
    SegmentReadResult result;
    result.error = std::move(error);
    return result;
  }
  return ParseSegmentTable(text, path);
}

SegmentReadResult ParseSegmentList(std::string_view text) {
  SegmentReadResult result;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string item(TrimBlanks(text.substr(start, end - start)));
    const std::size_t second = item.rfind(':');
    const std::size_t firstColon = second == std::string::npos || second == 0 ? std::string::npos : item.rfind(':', second - 1);
    auto fail = [&](MarkerFileErrorKind kind) {
      result.error = LineError(kind, {}, 0, 0, item);
      result.segments.clear();
      return result;
    };
    if (firstColon == std::string::npos) return fail(MarkerFileErrorKind::kBadItem);
    Segment segment;
    segment.name = std::string(TrimBlanks(std::string_view(item).substr(0, firstColon)));
    const std::optional<double> from = NonNegativeSeconds(item.substr(firstColon + 1, second - firstColon - 1));
    const std::optional<double> to = NonNegativeSeconds(item.substr(second + 1));
    if (segment.name.empty()) return fail(MarkerFileErrorKind::kEmptyLabel);
    if (!from || !to) return fail(MarkerFileErrorKind::kBadItem);
    segment.startS = *from;
    segment.endS = *to;
    if (!(segment.endS > segment.startS)) return fail(MarkerFileErrorKind::kBadInterval);
    result.segments.push_back(std::move(segment));
    if (end == text.size()) break;
    start = end + 1;
  }
  return result;
}

std::string MarkerListLine(const Marker& marker) {
  return ShortestNumberText(marker.timeS) + "," + ShortestNumberText(marker.durationS) + "," +
         QuotedCsvField(marker.label) + "," + MarkerSourceName(marker.source);
}

}  // namespace kelvora
