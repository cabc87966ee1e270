#include "cli/marker_cli.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "analysis/protocol_segments.h"
#include "core/text_helpers.h"
#include "formats/record_markers.h"
#include "formats/edf_reader.h"

namespace kelvora::cli {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWithCsv(const std::string& text) {
  const std::string lower = Lower(text);
  return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".csv") == 0;
}

}  // namespace

StudyProtocolNames ProtocolNames() { return {"before", "occlusion", "recovery", "heating"}; }

std::vector<OptionDef> MarkerSourceOptionDefs() {
  return {{"markers", 0, "FILE", "the record's markers, time_s,label[,duration_s] (default: RECORD.markers.csv "
                                 "beside the record when there is one)"},
          {"marker-column", 0, "NAME|N", "the marker column of a delimited INPUT (default: a column named marker, "
                                         "event, comment, annotation or label)"}};
}

std::vector<OptionDef> OcclusionFinderOptionDefs() {
  return {{"find-occlusions", 0, "", "find the occlusions: the flux below a share of the median of the first 60 s"},
          {"occlusion-below", 0, "PCT", "the share of that median, 1 .. 99 % (default 30)"},
          {"occlusion-min", 0, "S", "the shortest occlusion in seconds (default 20)"},
          {"occlusion-gap", 0, "S", "stretches below the share less than S seconds apart are one occlusion "
                                    "(default 5; 0 joins none)"}};
}

std::optional<std::string> ReadOcclusionFinderOptions(const ParsedArgs& parsed, int sampleRateHz,
                                                      OcclusionFinderOptions& options) {
  options.sampleRateHz = sampleRateHz;
  if (const auto text = parsed.value("occlusion-below")) {
    const std::optional<double> value = ParseRealValue(*text);
    if (!value || !(*value >= 1.0 && *value <= 99.0))
      return "--occlusion-below needs a percentage from 1 to 99, not '" + EscapeBytes(*text) + "'";
    options.thresholdShare = *value / 100.0;
  }
  if (const auto text = parsed.value("occlusion-min")) {
    const std::optional<double> value = ParseRealValue(*text);
    if (!value || !(*value > 0.0) || *value > 1e7)
      return "--occlusion-min needs a positive number of seconds, not '" + EscapeBytes(*text) + "'";
    options.minimumSeconds = *value;
  }
  if (const auto text = parsed.value("occlusion-gap")) {
    const std::optional<double> value = ParseRealValue(*text);
    if (!value || !(*value >= 0.0) || *value > 1e7)
      return "--occlusion-gap needs a number of seconds >= 0, not '" + EscapeBytes(*text) + "'";
    options.bridgeSeconds = *value;
  }
  return std::nullopt;
}

std::string MarkerFileErrorText(const MarkerFileError& error) {
  const std::string file = EscapeBytes(error.path, true);
  const std::string at = error.line > 0 ? file + ":" + std::to_string(error.line) : file;
  const std::string field = error.field > 0 ? "field " + std::to_string(error.field) + ": " : std::string();
  switch (error.kind) {
    case MarkerFileErrorKind::kMissingFile: return file + ": no such file";
    case MarkerFileErrorKind::kCannotOpen: return file + ": cannot be read: " + error.reason;
    case MarkerFileErrorKind::kCannotWrite: return file + ": cannot be written: " + error.reason;
    case MarkerFileErrorKind::kFieldCount:
      return at + ": " + std::to_string(error.count) + " fields where " +
             (error.expected == 3 ? std::string("time_s,label[,duration_s] or name,start_s,end_s")
                                  : std::to_string(error.expected) + " (as the header names)") +
             " are expected: '" + EscapeBytes(error.text) + "'";
    case MarkerFileErrorKind::kBadTime:
      return at + ": " + field + "'" + EscapeBytes(error.text) + "' is not a time in seconds >= 0";
    case MarkerFileErrorKind::kBadDuration:
      return at + ": " + field + "'" + EscapeBytes(error.text) + "' is not a duration in seconds >= 0";
    case MarkerFileErrorKind::kEmptyLabel: return at + ": " + field + "the label is empty";
    case MarkerFileErrorKind::kBadInterval:
      return error.line > 0 ? at + ": the end is not after the start"
                            : "segment '" + EscapeBytes(error.text) + "': the end is not after the start";
    case MarkerFileErrorKind::kBadItem:
      return "segment '" + EscapeBytes(error.text) + "' is not NAME:START:END (seconds >= 0)";
    case MarkerFileErrorKind::kNonFiniteTime:
      return file + ": marker " + std::to_string(error.count + 1) + " has no finite time: not written";
    case MarkerFileErrorKind::kNoSuchColumn: return file + ": no marker column '" + EscapeBytes(error.text) + "'";
    case MarkerFileErrorKind::kAmbiguousColumn:
      return file + ": more than one column is named '" + EscapeBytes(error.text) + "'";
  }
  return file + ": the markers cannot be read";
}

std::optional<std::vector<Marker>> GatherMarkers(CliContext& context, const CommonOptions& common,
                                                 const ParsedArgs& parsed, const std::string& path,
                                                 const InputDetails& details, int& exitStatus) {
  if (!details.imported && parsed.has("marker-column")) {
    exitStatus = InputError(context, EscapeBytes(path, true) + ": a one-column signal file has no marker column");
    return std::nullopt;
  }
  RecordMarkerOptions options;
  options.format = details.edf                                   ? FileFormat::kEdf
                   : details.acquisition                         ? FileFormat::kLabChartText
                   : details.imported                            ? FileFormat::kDelimited
                                                                 : FileFormat::kSignalText;
  if (const auto column = parsed.value("marker-column")) options.column.column = ChannelRef::Parse(*column);
  if (common.reading.skipLines.size() == 1) options.column.headerLines = common.reading.skipLines.front();
  options.column.sampleRateHz = details.sourceRateHz > 0.0 ? details.sourceRateHz : common.sampleRateHz;
  // LabChart text and .mat exports carry comments: their reader gives them as markers of source kLabChart.
  options.comments = details.markers;
  options.sidecar = parsed.value("markers").value_or(std::string());
  MarkerReadResult read = ReadRecordMarkers(path, options);
  if (!read.ok()) {
    exitStatus = InputError(context, MarkerFileErrorText(*read.error));
    return std::nullopt;
  }
  return std::move(read.markers);
}

std::string OcclusionFinderErrorText(const OcclusionFinderError& error) {
  switch (error.kind) {
    case OcclusionFinderErrorKind::kBadOptions: return "the occlusion finder's options are not valid";
    case OcclusionFinderErrorKind::kNoSamples: return "no samples";
    case OcclusionFinderErrorKind::kNonFiniteSample:
      return "sample " + std::to_string(error.sample + 1) + " is not a finite number";
    case OcclusionFinderErrorKind::kNoReference:
      return "the median flux of the first 60 s is not above 0: no occlusion can be found against it";
  }
  return "the occlusions cannot be found";
}

std::optional<std::vector<FoundOcclusion>> FindRecordOcclusions(CliContext& context, const std::string& path,
                                                                const SignalRecord& record,
                                                                const OcclusionFinderOptions& options,
                                                                int& exitStatus) {
  const OcclusionFinderResult found = FindOcclusions(record.values, options);
  if (found.ok()) return found.occlusions;
  exitStatus = InputError(context, EscapeBytes(path, true) + ": " + OcclusionFinderErrorText(*found.error));
  return std::nullopt;
}

std::optional<std::vector<Marker>> RecordMarkers(CliContext& context, const CommonOptions& common,
                                                 const ParsedArgs& parsed, const std::string& path,
                                                 const SignalRecord& record, const InputDetails& details,
                                                 int& exitStatus) {
  std::optional<std::vector<Marker>> markers = GatherMarkers(context, common, parsed, path, details, exitStatus);
  if (!markers || !parsed.has("find-occlusions")) return markers;
  OcclusionFinderOptions options;
  if (const auto error = ReadOcclusionFinderOptions(parsed, common.sampleRateHz, options)) {
    exitStatus = UsageError(context, "", *error);
    return std::nullopt;
  }
  const auto found = FindRecordOcclusions(context, path, record, options, exitStatus);
  if (!found) return std::nullopt;
  const StudyProtocolNames names = ProtocolNames();
  const std::vector<Marker> more = OcclusionMarkers(*found, names.occlusion, names.recovery);
  markers->insert(markers->end(), more.begin(), more.end());
  return markers;
}

SegmentReadResult ReadGivenSegments(const std::string& text) {
  const bool file = EndsWithCsv(text) || (text.find(':') == std::string::npos);
  return file ? ReadSegmentTable(text) : ParseSegmentList(text);
}

OptionDef SegmentsOptionDef() {
  return {"segments", 0, "markers|NAME:START:END,...|FILE.csv",
          "per-segment tables: between the record's markers, typed intervals in seconds, or a name,start_s,end_s "
          "file"};
}

std::optional<std::vector<Segment>> ReadSegments(CliContext& context, const CommonOptions& common,
                                                 const ParsedArgs& parsed, const std::string& path,
                                                 const SignalRecord& record, const InputDetails& details,
                                                 int& exitStatus) {
  const std::optional<std::string> text = parsed.value("segments");
  if (!text) return std::vector<Segment>();
  const double durationS = static_cast<double>(record.values.size()) / common.sampleRateHz;
  if (*text == "markers") {
    const std::optional<std::vector<Marker>> markers =
        RecordMarkers(context, common, parsed, path, record, details, exitStatus);
    if (!markers) return std::nullopt;
    if (markers->empty()) {
      exitStatus = InputError(context, EscapeBytes(path, true) + ": --segments markers: the record has no markers");
      return std::nullopt;
    }
    return MarkerSegments(*markers, durationS, ProtocolNames().before);
  }
  const SegmentReadResult read = ReadGivenSegments(*text);
  if (!read.ok()) {
    exitStatus = InputError(context, MarkerFileErrorText(*read.error));
    return std::nullopt;
  }
  return read.segments;
}

std::string MeasureNoteText(MeasureNote note) {
  switch (note) {
    case MeasureNote::kOutsideRecord: return "the interval does not lie inside the record";
    case MeasureNote::kNoBaseline: return "no baseline: the 60 s before the onset (or --baseline) are not inside the record";
    case MeasureNote::kBaselineNotPositive: return "the baseline is not above 0: no percentages or repayment";
    case MeasureNote::kNoResponseWindow: return "no response window: the occlusion ends at the record's end or at the next occlusion";
    case MeasureNote::kNoHyperaemia: return "no hyperaemia: the peak is not above the baseline";
    case MeasureNote::kNoReturn: return "no return to baseline inside the window: the area runs to the window's end";
    case MeasureNote::kNoHalfRecovery: return "no half recovery inside the window";
    case MeasureNote::kNoDebt: return "no flux debt during the occlusion: no repayment";
    case MeasureNote::kNoNadir: return "the initial peak is at the heating's end: no nadir";
    case MeasureNote::kShortPlateau: return "heating shorter than 5 min: the plateau is its whole mean";
    case MeasureNote::kNoMaximum: return "the maximum interval is not inside the record or its mean is not above 0";
  }
  return {};
}

std::string MeasureNotesText(const std::vector<MeasureNote>& notes) {
  std::string text;
  for (const MeasureNote note : notes) {
    if (!text.empty()) text += "; ";
    text += MeasureNoteText(note);
  }
  return text;
}

std::optional<TimeInterval> ParseTimeInterval(const std::string& text) {
  const std::optional<FrequencyBand> range = ParseRangeValue(text);
  if (!range || !(range->low >= 0.0) || !(range->high > range->low)) return std::nullopt;
  return TimeInterval{range->low, range->high};
}

}  // namespace kelvora::cli
