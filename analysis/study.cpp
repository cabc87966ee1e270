#include "analysis/study.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "analysis/analysis_csv.h"
#include "analysis/study_statistics.h"
#include "core/atomic_file.h"
#include "core/file_digest.h"
#include "core/parallel_tasks.h"
#include "formats/marker_file.h"

namespace kelvora {
namespace {

constexpr const char* kResultMagic = "# kelvora-study-result 2";
constexpr const char* kIndexMagic = "# kelvora-study-index 1";

struct MeasureName {
  StudyMeasure measure;
  const char* name;
  bool available;
};
constexpr MeasureName kMeasureNames[] = {{StudyMeasure::kBands, "bands", true},
                                         {StudyMeasure::kCoherence, "coherence", true},
                                         {StudyMeasure::kPorh, "porh", true},
                                         {StudyMeasure::kHeating, "heating", true}};

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

StudyError MakeError(StudyErrorKind kind, std::string path, std::string message = {}) {
  StudyError error;
  error.kind = kind;
  error.path = std::move(path);
  error.message = std::move(message);
  return error;
}

std::string Number(double value) { return CsvNumber(value); }

const char* DetrendName(DetrendMode mode) {
  switch (mode) {
    case DetrendMode::kNone: return "none";
    case DetrendMode::kMean: return "mean";
    case DetrendMode::kLinear: return "linear";
    case DetrendMode::kCubic: return "cubic";
  }
  return "cubic";
}

bool Has(const StudySettings& settings, StudyMeasure measure) {
  return std::find(settings.measures.begin(), settings.measures.end(), measure) != settings.measures.end();
}

// The identity of an entry: everything of its manifest line but the line number.
std::string EntryIdentity(const StudyEntry& entry) {
  std::string text;
  for (const std::string* field : {&entry.subject, &entry.group, &entry.condition, &entry.file, &entry.bfFile,
                                   &entry.column, &entry.channel, &entry.markers})
    text += *field + '\x1f';
  text += entry.fs ? std::to_string(*entry.fs) : std::string();
  return text;
}

// The rows of one recording and one segment (or the whole record).
struct RowSink {
  std::vector<StudyRow>& rows;
  const StudyEntry& entry;
  std::string segment = kWholeRecordSegment;
  std::optional<double> startS, endS;

  // A value, or an empty cell when there is a note to say why; nothing otherwise.
  void add(const std::string& band, const std::string& measure, const std::optional<double>& value,
           const std::string& note = {}) const {
    const bool has = value && std::isfinite(*value);
    if (!has && note.empty()) return;
    StudyRow row;
    row.subject = entry.subject;
    row.group = entry.group;
    row.condition = entry.condition;
    row.segment = segment;
    row.band = band;
    row.measure = measure;
    row.value = has ? *value : 0.0;
    row.startS = startS;
    row.endS = endS;
    row.hasValue = has;
    row.note = note;
    rows.push_back(std::move(row));
  }
};

RowSink SegmentSink(std::vector<StudyRow>& rows, const StudyEntry& entry, const Segment& segment) {
  return RowSink{rows, entry, segment.name, segment.startS, segment.endS};
}

std::string BandNoteOf(const StudySettings& settings, const BandRow& row) {
  return settings.notes.band && row.note != BandNote::kNone ? settings.notes.band(row) : std::string();
}

void AddBandRows(const RowSink& sink, const BandTable& table, const std::string& prefix,
                 const StudySettings& settings) {
  for (const BandRow& row : table.rows) {
    const std::string note = BandNoteOf(settings, row);
    sink.add(row.band.name, prefix + "amplitude", row.amplitude, note);
    sink.add(row.band.name, prefix + "power", row.power, note);
    sink.add(row.band.name, prefix + "rel_amplitude", row.relativeAmplitude, note);
    sink.add(row.band.name, prefix + "rel_power", row.relativePower, note);
  }
}

// The coherence rows of one segment's (or the whole record's) bands, with the inter-subject levels per band.
void AddCoherenceRows(const RowSink& sink, const std::vector<CoherenceBandRow>& bands,
                      const std::vector<std::vector<double>>& levels, const StudySettings& settings) {
  for (std::size_t b = 0; b < bands.size(); ++b) {
    const CoherenceBandRow& band = bands[b];
    const std::string& name = band.band.name;
    BandRow noteRow;
    noteRow.band = band.band;
    noteRow.note = band.note;
    noteRow.neededMinutes = band.neededMinutes;
    const std::string note = BandNoteOf(settings, noteRow);
    sink.add(name, "coherence", band.coherence, note);
    sink.add(name, "threshold", band.threshold);
    if (band.coherence && band.threshold) sink.add(name, "residual_coherence", *band.coherence - *band.threshold);
    if (band.coherence) sink.add(name, "significant_share", band.significantShare);
    sink.add(name, "lag_s", band.lagSeconds);
    sink.add(name, "depth_mm", band.depthMm);
    if (b < levels.size() && !levels[b].empty()) {
      double sum = 0.0;
      for (double v : levels[b]) sum += v;
      const double level = sum / static_cast<double>(levels[b].size());
      sink.add(name, "intersubject_coherence", level);
      if (band.coherence) sink.add(name, "residual_intersubject", *band.coherence - level);
    }
  }
}

std::string MeasureNotesOf(const StudySettings& settings, const std::vector<MeasureNote>& notes) {
  return settings.notes.measures && !notes.empty() ? settings.notes.measures(notes) : std::string();
}

AnalysisOptions RecordOptions(const StudySettings& settings, int rateHz) {
  AnalysisOptions options = settings.analysis;
  options.sampleRateHz = rateHz;
  options.threads = 1;  // the study runs recordings side by side
  options.pictureColumns = 0;
  return options;
}

bool SameGroupAndCondition(const StudyEntry& a, const StudyEntry& b) {
  return a.group == b.group && a.condition == b.condition;
}

bool NeedsInterSubject(const StudySettings& settings) {
  return Has(settings, StudyMeasure::kCoherence) && settings.interSubject;
}

// The pairs whose BF the inter-subject level of entry i uses: the other pairs of its group and condition.
std::vector<std::size_t> InterSubjectPartners(const std::vector<StudyEntry>& entries, std::size_t i) {
  std::vector<std::size_t> partners;
  for (std::size_t j = 0; j < entries.size(); ++j)
    if (j != i && entries[j].paired() && SameGroupAndCondition(entries[i], entries[j]) &&
        entries[j].subject != entries[i].subject)
      partners.push_back(j);
  return partners;
}

std::optional<double> ParseDouble(const std::string& text) {
  double value = 0.0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string ReadWholeFile(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  if (!ok) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string FirstLine(const std::string& text) {
  const std::size_t end = text.find('\n');
  return text.substr(0, end);
}

}  // namespace

bool StudyMeasureAvailable(StudyMeasure measure) {
  for (const MeasureName& m : kMeasureNames)
    if (m.measure == measure) return m.available;
  return false;
}

const char* StudyMeasureName(StudyMeasure measure) {
  for (const MeasureName& m : kMeasureNames)
    if (m.measure == measure) return m.name;
  return "";
}

MeasureListParse ParseStudyMeasures(const std::string& text) {
  MeasureListParse parse;
  std::size_t position = 0;
  while (position <= text.size()) {
    const std::size_t comma = text.find(',', position);
    const std::string name =
        text.substr(position, comma == std::string::npos ? std::string::npos : comma - position);
    position = comma == std::string::npos ? text.size() + 1 : comma + 1;
    if (name.empty()) continue;
    const MeasureName* found = nullptr;
    for (const MeasureName& m : kMeasureNames)
      if (name == m.name) found = &m;
    if (!found) {
      parse.error = MeasureListError{MeasureListErrorKind::kUnknown, name};
      return parse;
    }
    if (!found->available) {
      parse.error = MeasureListError{MeasureListErrorKind::kUnavailable, name};
      return parse;
    }
    if (std::find(parse.measures.begin(), parse.measures.end(), found->measure) != parse.measures.end()) {
      parse.error = MeasureListError{MeasureListErrorKind::kDuplicate, name};
      return parse;
    }
    parse.measures.push_back(found->measure);
  }
  if (parse.measures.empty()) parse.error = MeasureListError{MeasureListErrorKind::kEmpty, ""};
  return parse;
}

std::string StudySettingsJson(const StudySettings& settings) {
  const AnalysisOptions& a = settings.analysis;
  std::string json = "{\"program_version\": " + JsonString(settings.programVersion) + ", \"measures\": [";
  for (std::size_t i = 0; i < settings.measures.size(); ++i)
    json += (i ? ", " : "") + JsonString(StudyMeasureName(settings.measures[i]));
  json += "], \"bands\": [";
  for (std::size_t i = 0; i < a.bands.size(); ++i)
    json += std::string(i ? ", " : "") + "{\"name\": " + JsonString(a.bands[i].name) +
            ", \"low_hz\": " + Number(a.bands[i].range.low) + ", \"high_hz\": " + Number(a.bands[i].range.high) + "}";
  json += "], \"f0\": " + Number(a.centreFrequency) + ", \"voices\": " + std::to_string(a.voicesPerOctave) +
          ", \"fmin_hz\": " + Number(a.minFrequencyHz) + ", \"fmax_hz\": " +
          (a.maxFrequencyHz > 0.0 ? Number(a.maxFrequencyHz) : std::string("\"min(2, fs/3)\"")) +
          ", \"detrend\": " + JsonString(DetrendName(a.detrend));
  if (Has(settings, StudyMeasure::kCoherence)) {
    const CoherenceOptions& c = settings.coherence;
    json += ", \"surrogates\": " + std::to_string(c.surrogatePairs) + ", \"seed\": " + std::to_string(c.seed) +
            ", \"lambda\": " + Number(c.tissue.lambda) + ", \"rho\": " + Number(c.tissue.rho) +
            ", \"heat_capacity\": " + Number(c.tissue.heatCapacity) +
            ", \"intersubject\": " + (settings.interSubject ? "true" : "false");
  }
  const StudyProtocolSettings& p = settings.protocol;
  auto interval = [](const TimeInterval& t) { return "[" + Number(t.startS) + ", " + Number(t.endS) + "]"; };
  auto intervals = [&](const std::vector<TimeInterval>& list) {
    std::string text = "[";
    for (std::size_t i = 0; i < list.size(); ++i) text += (i ? ", " : "") + interval(list[i]);
    return text + "]";
  };
  switch (p.segments) {
    case StudySegmentsMode::kWhole: json += ", \"segments\": \"whole\""; break;
    case StudySegmentsMode::kMarkers: json += ", \"segments\": \"markers\""; break;
    case StudySegmentsMode::kGiven:
      json += ", \"segments\": [";
      for (std::size_t i = 0; i < p.givenSegments.size(); ++i)
        json += std::string(i ? ", " : "") + "{\"name\": " + JsonString(p.givenSegments[i].name) +
                ", \"start_s\": " + Number(p.givenSegments[i].startS) + ", \"end_s\": " +
                Number(p.givenSegments[i].endS) + "}";
      json += "]";
      break;
  }
  // The protocol's keys appear only when they matter, so that the settings of a study without them stay as they
  // were (and so do its results' digests).
  if (StudyUsesMarkers(settings) && !p.markerColumn.empty())
    json += ", \"marker_column\": " + JsonString(p.markerColumn);
  const bool porh = Has(settings, StudyMeasure::kPorh), heating = Has(settings, StudyMeasure::kHeating);
  if (p.findOcclusions && (porh || p.segments == StudySegmentsMode::kMarkers))
    json += ", \"find_occlusions\": {\"below\": " + Number(p.finder.thresholdShare) + ", \"reference_s\": " +
            Number(p.finder.referenceSeconds) + ", \"min_s\": " + Number(p.finder.minimumSeconds) +
            ", \"gap_s\": " + Number(p.finder.bridgeSeconds) + "}";
  if (porh) {
    const char* source = p.findOcclusions ? "\"found\"" : "\"markers\"";
    json += ", \"occlusions\": " + (p.occlusions.empty() ? std::string(source) : intervals(p.occlusions));
  }
  if (heating)
    json += ", \"heating\": " + (p.heating.empty() ? JsonString(p.heatingName) : intervals(p.heating)) +
            ", \"max\": " + (p.maximum ? interval(*p.maximum) : JsonString(p.maximumName));
  if (porh || heating)
    json += ", \"baseline\": " + (p.baseline ? interval(*p.baseline) : JsonString(p.baselineName));
  json += ", \"quantiles\": \"type 7\"}";
  return json;
}

bool StudyUsesMarkers(const StudySettings& settings) {
  const StudyProtocolSettings& p = settings.protocol;
  if (p.segments == StudySegmentsMode::kMarkers) return true;
  const bool porh = Has(settings, StudyMeasure::kPorh), heating = Has(settings, StudyMeasure::kHeating);
  if (porh && p.occlusions.empty() && !p.findOcclusions) return true;
  // Named intervals are segments: the given ones when there are, else those of the markers.
  if (p.segments == StudySegmentsMode::kGiven) return false;
  if (heating && (p.heating.empty() || (!p.maximum && !p.maximumName.empty()))) return true;
  return (porh || heating) && !p.baseline && !p.baselineName.empty();
}

std::string StudyMarkerFile(const StudyEntry& entry) {
  if (!entry.markers.empty()) return entry.markers;
  const std::string beside = MarkerSidecarPath(entry.paired() ? entry.bfFile : entry.file);
  std::error_code code;
  return std::filesystem::is_regular_file(beside, code) ? beside : std::string();
}

std::string StudyResultKey(const StudyEntry& entry) { return Sha256Hex(EntryIdentity(entry)).substr(0, 16); }

std::optional<StudyError> ComputeStudyRows(const StudyEntry& entry, const StudyRecord& record,
                                           const StudyRecord* bloodFlow,
                                           const std::vector<StudyInterSubjectRecord>& others,
                                           const StudySettings& settings, std::vector<StudyRow>& rows) {
  AnalysisOptions options = RecordOptions(settings, record.sampleRateHz);
  if (bloodFlow && bloodFlow->sampleRateHz != record.sampleRateHz) {
    StudyError error = MakeError(StudyErrorKind::kOtherRate, entry.bfFile);
    error.otherLine = entry.line;
    return error;
  }
  // The flux record carries the protocol: the BF record of a pair, else the record itself.
  const StudyRecord& flux = bloodFlow ? *bloodFlow : record;
  const std::string& fluxPath = bloodFlow ? entry.bfFile : entry.file;
  const bool segmented = settings.protocol.segments != StudySegmentsMode::kWhole;
  options.segments = segmented ? flux.segments : std::vector<Segment>();
  const RowSink whole{rows, entry, kWholeRecordSegment, std::nullopt, std::nullopt};
  if (Has(settings, StudyMeasure::kBands)) {
    auto bandRows = [&](const std::vector<double>& values, const std::string& path,
                        const std::string& prefix) -> std::optional<StudyError> {
      const AnalysisOutcome outcome = AnalyzeRecord(values, options);
      if (!outcome.ok()) {
        StudyError error = MakeError(StudyErrorKind::kAnalysis, path);
        error.analysis = *outcome.error;
        return error;
      }
      if (!segmented) AddBandRows(whole, outcome.result.table, prefix, settings);
      for (const SegmentAnalysis& segment : outcome.result.segments)
        AddBandRows(SegmentSink(rows, entry, segment.segment), segment.table, prefix, settings);
      return std::nullopt;
    };
    if (auto error = bandRows(record.values, entry.file, "")) return error;
    if (bloodFlow)
      if (auto error = bandRows(bloodFlow->values, entry.bfFile, "bf_")) return error;
  }
  if (Has(settings, StudyMeasure::kCoherence)) {
    if (!bloodFlow) return MakeError(StudyErrorKind::kNeedsPair, entry.file);
    CoherenceOptions coherence = settings.coherence;
    coherence.analysis = options;
    coherence.analysis.segments.clear();
    coherence.segments = options.segments;
    const CoherenceOutcome outcome = AnalyzeCoherence(record.values, bloodFlow->values, coherence);
    if (!outcome.ok()) {
      StudyError error = MakeError(StudyErrorKind::kCoherence, entry.file);
      error.coherence = *outcome.error;
      if (error.coherence.record == 1) error.path = entry.bfFile;
      return error;
    }
    // The inter-subject level: this T with the BF of every other pair, no surrogates; [0] the whole record,
    // [1 + i] segment i.
    const std::size_t parts = 1 + outcome.result.segments.size();
    std::vector<std::vector<std::vector<double>>> levels(parts);
    levels[0].resize(outcome.result.bands.size());
    for (std::size_t i = 1; i < parts; ++i) levels[i].resize(outcome.result.segments[i - 1].bands.size());
    if (settings.interSubject) {
      CoherenceOptions plain = coherence;
      plain.surrogatePairs = 0;
      for (const StudyInterSubjectRecord& other : others) {
        if (other.bloodFlow->sampleRateHz != record.sampleRateHz) {
          StudyError error = MakeError(StudyErrorKind::kOtherRate, entry.file);
          error.otherLine = other.line;
          return error;
        }
        const CoherenceOutcome cross = AnalyzeCoherence(record.values, other.bloodFlow->values, plain);
        if (!cross.ok()) continue;  // a partner too short for this record's bands adds nothing
        auto collect = [](const std::vector<CoherenceBandRow>& bands, std::vector<std::vector<double>>& into) {
          for (std::size_t b = 0; b < bands.size() && b < into.size(); ++b)
            if (bands[b].coherence) into[b].push_back(*bands[b].coherence);
        };
        collect(cross.result.bands, levels[0]);
        for (std::size_t i = 1; i < parts && i - 1 < cross.result.segments.size(); ++i)
          collect(cross.result.segments[i - 1].bands, levels[i]);
      }
    }
    if (!segmented) AddCoherenceRows(whole, outcome.result.bands, levels[0], settings);
    for (std::size_t i = 1; i < parts; ++i) {
      const CoherenceSegmentResult& segment = outcome.result.segments[i - 1];
      AddCoherenceRows(SegmentSink(rows, entry, segment.segment), segment.bands, levels[i], settings);
    }
  }
  auto measureError = [&](const MeasureError& measure) {
    StudyError error = MakeError(StudyErrorKind::kMeasure, fluxPath);
    error.measure = measure;
    return error;
  };
  if (Has(settings, StudyMeasure::kPorh)) {
    const PorhOutcome outcome = MeasurePorh(flux.values, flux.sampleRateHz, flux.occlusions, flux.baseline);
    if (!outcome.ok()) return measureError(*outcome.error);
    for (std::size_t i = 0; i < outcome.rows.size(); ++i) {
      const PorhMeasures& m = outcome.rows[i];
      const RowSink sink{rows, entry, "occlusion " + std::to_string(i + 1), m.occlusion.startS, m.occlusion.endS};
      const std::string note = MeasureNotesOf(settings, m.notes);
      sink.add("", "baseline", m.baseline, note);
      sink.add("", "biological_zero", m.biologicalZero, note);
      sink.add("", "peak", m.peak, note);
      sink.add("", "time_to_peak_s", m.timeToPeakS, note);
      sink.add("", "peak_pct_baseline", m.peakPercentBaseline, note);
      sink.add("", "peak_minus_bz", m.peakMinusBiologicalZero, note);
      sink.add("", "hyperaemic_area", m.hyperaemicArea, note);
      sink.add("", "repayment", m.repayment, note);
      sink.add("", "t50_s", m.t50S, note);
    }
  }
  if (Has(settings, StudyMeasure::kHeating)) {
    for (const Segment& phase : flux.heating) {
      const HeatingOutcome outcome = MeasureHeating(flux.values, flux.sampleRateHz, {phase.startS, phase.endS},
                                                    flux.baseline, flux.maximum);
      if (!outcome.ok()) return measureError(*outcome.error);
      const HeatingMeasures& m = outcome.row;
      const RowSink sink = SegmentSink(rows, entry, phase);
      const std::string note = MeasureNotesOf(settings, m.notes);
      sink.add("", "baseline", m.baseline, note);
      sink.add("", "initial_peak", m.initialPeak, note);
      sink.add("", "nadir", m.nadir, note);
      sink.add("", "plateau", m.plateau, note);
      sink.add("", "initial_peak_pct_max", m.initialPeakPercentMax, note);
      sink.add("", "plateau_pct_max", m.plateauPercentMax, note);
    }
  }
  return std::nullopt;
}

std::string StudySettingsDigestOf(const std::string& header) {
  const std::size_t at = header.find("settings=");
  if (at == std::string::npos) return {};
  const std::size_t end = header.find(' ', at);
  return header.substr(at + 9, end == std::string::npos ? std::string::npos : end - at - 9);
}

std::optional<StudyResultFile> ParseStudyResult(const std::string& text) {
  StudyResultFile file;
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line.rfind(kResultMagic, 0) != 0) return std::nullopt;
  file.header = line;
  bool columns = false;
  while (std::getline(in, line)) {
    if (line.rfind("# input ", 0) == 0) {
      const std::string rest = line.substr(8);
      const std::size_t space = rest.find(' ');
      if (space != 64) return std::nullopt;
      file.inputs.emplace_back(rest.substr(0, 64), rest.substr(65));
      continue;
    }
    if (!columns) {
      if (line + "\n" != kStudyRowsCsvHeader) return std::nullopt;
      columns = true;
      continue;
    }
    const auto fields = SplitCsvLine(line);
    if (!fields || fields->size() != 10) return std::nullopt;
    const std::vector<std::string>& f = *fields;
    StudyRow row;
    row.subject = f[0];
    row.group = f[1];
    row.condition = f[2];
    row.segment = f[3];
    row.band = f[6];
    row.measure = f[7];
    // An empty value needs its note; an interval is both times or neither.
    if (f[8].empty()) {
      if (f[9].empty()) return std::nullopt;
      row.hasValue = false;
    } else {
      const std::optional<double> value = ParseDouble(f[8]);
      if (!value) return std::nullopt;
      row.value = *value;
    }
    if (f[4].empty() != f[5].empty()) return std::nullopt;
    if (!f[4].empty()) {
      row.startS = ParseDouble(f[4]);
      row.endS = ParseDouble(f[5]);
      if (!row.startS || !row.endS) return std::nullopt;
    }
    row.note = f[9];
    file.rows.push_back(std::move(row));
  }
  if (!columns) return std::nullopt;
  return file;
}

std::string StudyRowCsvLine(const StudyRow& row) {
  return CsvField(row.subject) + ',' + CsvField(row.group) + ',' + CsvField(row.condition) + ',' +
         CsvField(row.segment) + ',' + CsvNumber(row.startS) + ',' + CsvNumber(row.endS) + ',' + CsvField(row.band) +
         ',' + CsvField(row.measure) + ',' + (row.hasValue ? Number(row.value) : std::string()) + ',' +
         CsvField(row.note) + '\n';
}

namespace {

// A cache of records shared by the workers (the BF records of the inter-subject level).
class RecordCache {
 public:
  explicit RecordCache(const StudyLoader& loader) : m_loader(loader) {}
  std::shared_ptr<const StudyRecord> get(const StudyEntry& entry, bool bloodFlow, std::string& message) {
    const std::string key = (bloodFlow ? "b" : "t") + EntryIdentity(entry);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (const auto it = m_records.find(key); it != m_records.end()) return it->second;
    }
    StudyLoadResult loaded = m_loader(entry, bloodFlow);
    if (!loaded.record) {
      message = loaded.message;
      return nullptr;
    }
    auto record = std::make_shared<const StudyRecord>(std::move(*loaded.record));
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records.emplace(key, record).first->second;
  }

 private:
  const StudyLoader& m_loader;
  std::mutex m_mutex;
  std::map<std::string, std::shared_ptr<const StudyRecord>> m_records;
};

}  // namespace

StudyRunOutcome RunStudy(const std::vector<StudyEntry>& entries, const StudySettings& settings,
                         const StudyLoader& loader, const StudyRunOptions& run, ProgressSink& progress) {
  StudyRunOutcome outcome;
  outcome.outcomes.resize(run.selection.size());
  const std::filesystem::path results = std::filesystem::path(run.directory) / "results";
  std::error_code made;
  std::filesystem::create_directories(results, made);
  if (made) {
    outcome.directoryError = made.message();
    return outcome;
  }
  const std::string settingsDigest = Sha256Hex(StudySettingsJson(settings));
  const bool interSubject = NeedsInterSubject(settings);

  // The digests of every file a selected recording reads, each file once.
  std::vector<std::vector<std::size_t>> partners(run.selection.size());
  std::set<std::string> paths;
  const bool markers = StudyUsesMarkers(settings);
  std::vector<std::string> markerFiles(run.selection.size());
  for (std::size_t s = 0; s < run.selection.size(); ++s) {
    const StudyEntry& entry = entries[run.selection[s]];
    paths.insert(entry.file);
    if (entry.paired()) paths.insert(entry.bfFile);
    if (markers) {
      markerFiles[s] = StudyMarkerFile(entry);
      if (!markerFiles[s].empty()) paths.insert(markerFiles[s]);
    }
    if (interSubject && entry.paired()) {
      partners[s] = InterSubjectPartners(entries, run.selection[s]);
      for (std::size_t j : partners[s]) paths.insert(entries[j].bfFile);
    }
  }
  std::map<std::string, std::optional<std::string>> digests;
  for (const std::string& path : paths) digests[path] = FileSha256Hex(path);
  for (const auto& [path, digest] : digests)
    if (digest) outcome.digests[path] = *digest;

  // What each recording's first line must be; the recordings whose file does not hold it are computed.
  std::vector<std::string> headers(run.selection.size()), inputLines(run.selection.size());
  std::vector<std::size_t> toCompute;
  for (std::size_t s = 0; s < run.selection.size(); ++s) {
    const StudyEntry& entry = entries[run.selection[s]];
    StudyRecordingOutcome& state = outcome.outcomes[s];
    state.key = StudyResultKey(entry);
    std::vector<std::string> files = {entry.file};
    if (entry.paired()) files.push_back(entry.bfFile);
    if (!markerFiles[s].empty()) files.push_back(markerFiles[s]);
    for (std::size_t j : partners[s]) files.push_back(entries[j].bfFile);
    std::string lines;
    bool readable = true;
    for (const std::string& path : files) {
      const std::optional<std::string>& digest = digests[path];
      if (!digest) {
        state.state = StudyRecordingState::kFailed;
        state.error = MakeError(StudyErrorKind::kUnreadable, path);
        readable = false;
        break;
      }
      lines += "# input " + *digest + " " + path + "\n";
    }
    if (!readable) continue;
    inputLines[s] = lines;
    headers[s] = std::string(kResultMagic) + " settings=" + settingsDigest +
                 " inputs=" + Sha256Hex(EntryIdentity(entry) + "\n" + lines);
    bool exists = false;
    const std::string previous = ReadWholeFile((results / (state.key + ".csv")).string(), exists);
    if (exists && FirstLine(previous) == headers[s] && ParseStudyResult(previous)) {
      state.state = StudyRecordingState::kReused;
      continue;
    }
    toCompute.push_back(s);
  }

  RecordCache cache(loader);
  std::atomic<long long> done{0};
  const long long total = static_cast<long long>(toCompute.size());
  progress.setRange(0, total);
  progress.setPosition(0);
  progress.setText("0%");
  ParallelTaskControl control;
  control.threads = std::max(1, run.workers);
  control.threadName = "kelvora-study";
  control.progress = &progress;
  control.onProgress = [&](long long finished) {
    progress.setPosition(finished);
    progress.setText(std::to_string(total ? finished * 100 / total : 100) + "%");
  };
  const bool complete = RunParallelTasks(total, control, [&](long long index, int) {
    const std::size_t s = toCompute[static_cast<std::size_t>(index)];
    const StudyEntry& entry = entries[run.selection[s]];
    StudyRecordingOutcome& state = outcome.outcomes[s];
    auto fail = [&](StudyError error) {
      state.state = StudyRecordingState::kFailed;
      state.error = std::move(error);
    };
    std::string message;
    StudyLoadResult own = loader(entry, false);
    if (!own.record) return fail(MakeError(StudyErrorKind::kLoad, entry.file, own.message));
    if (own.protocolError) return fail(MakeError(StudyErrorKind::kLoad, entry.file, *own.protocolError));
    std::optional<StudyRecord> bloodFlow;
    if (entry.paired()) {
      StudyLoadResult bf = loader(entry, true);
      if (!bf.record) return fail(MakeError(StudyErrorKind::kLoad, entry.bfFile, bf.message));
      if (bf.protocolError) return fail(MakeError(StudyErrorKind::kLoad, entry.bfFile, *bf.protocolError));
      bloodFlow = std::move(bf.record);
    }
    std::vector<StudyInterSubjectRecord> others;
    for (std::size_t j : partners[s]) {
      auto record = cache.get(entries[j], true, message);
      if (!record) return fail(MakeError(StudyErrorKind::kLoad, entries[j].bfFile, message));
      others.push_back({entries[j].line, record});
    }
    std::vector<StudyRow> rows;
    if (auto error = ComputeStudyRows(entry, *own.record, bloodFlow ? &*bloodFlow : nullptr, others, settings, rows))
      return fail(std::move(*error));
    std::string text = headers[s] + "\n" + inputLines[s] + kStudyRowsCsvHeader;
    for (const StudyRow& row : rows) text += StudyRowCsvLine(row);
    const std::string path = (results / (state.key + ".csv")).string();
    if (const auto written = WriteFileAtomically(path, text)) return fail(MakeError(StudyErrorKind::kWrite, path, *written));
    state.state = StudyRecordingState::kComputed;
    done.fetch_add(1);
  });
  outcome.stopped = !complete;
  return outcome;
}

std::string FormatStudyIndex(const StudyIndex& index) {
  std::string text = std::string(kIndexMagic) + " settings=" + index.settingsDigest +
                     " manifest=" + index.manifestDigest + " entries=" + std::to_string(index.entryCount) + "\n" +
                     "line,key,state\n";
  for (const StudyIndexLine& line : index.lines)
    text += std::to_string(line.line) + ',' + line.key + ',' + (line.ok ? "ok" : "failed") + '\n';
  return text;
}

std::optional<StudyIndex> ParseStudyIndex(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line.rfind(kIndexMagic, 0) != 0) return std::nullopt;
  StudyIndex index;
  index.settingsDigest = StudySettingsDigestOf(line);
  const std::size_t manifest = line.find("manifest=");
  const std::size_t count = line.find("entries=");
  if (manifest == std::string::npos || count == std::string::npos) return std::nullopt;
  index.manifestDigest = line.substr(manifest + 9, line.find(' ', manifest) - manifest - 9);
  const auto entries = ParseDouble(line.substr(count + 8));
  if (!entries) return std::nullopt;
  index.entryCount = static_cast<int>(*entries);
  if (!std::getline(in, line) || line != "line,key,state") return std::nullopt;
  while (std::getline(in, line)) {
    const auto fields = SplitCsvLine(line);
    if (!fields || fields->size() != 3) return std::nullopt;
    const auto number = ParseDouble((*fields)[0]);
    if (!number || (*fields)[1].size() != 16) return std::nullopt;
    index.lines.push_back({static_cast<int>(*number), (*fields)[1], (*fields)[2] == "ok"});
  }
  return index;
}

std::string StudyConditionLabel(const StudyRow& row) {
  if (row.segment == kWholeRecordSegment) return row.condition;
  return row.condition.empty() ? row.segment : row.condition + "/" + row.segment;
}

namespace {

// Names in the order they first appear.
class Order {
 public:
  std::size_t add(const std::string& name) {
    const auto it = m_index.find(name);
    if (it != m_index.end()) return it->second;
    m_names.push_back(name);
    return m_index[name] = m_names.size() - 1;
  }
  const std::vector<std::string>& names() const { return m_names; }

 private:
  std::vector<std::string> m_names;
  std::map<std::string, std::size_t> m_index;
};

std::string Optional(const std::optional<double>& value) { return CsvNumber(value); }

}  // namespace

StudyTables BuildStudyTables(const std::vector<StudyResultFile>& results) {
  StudyTables tables;
  tables.rowsCsv = kStudyRowsCsvHeader;
  Order groups, conditions, bands, measures, subjects;
  // value[(group, condition, band, measure)] -> subject -> value
  using Key = std::tuple<std::size_t, std::size_t, std::size_t, std::size_t>;
  std::map<Key, std::vector<std::pair<std::size_t, double>>> values;
  for (const StudyResultFile& file : results) {
    for (const StudyRow& row : file.rows) {
      tables.rowsCsv += StudyRowCsvLine(row);
      if (!row.hasValue) continue;
      const Key key{groups.add(row.group), conditions.add(StudyConditionLabel(row)), bands.add(row.band),
                    measures.add(row.measure)};
      values[key].emplace_back(subjects.add(row.subject), row.value);
    }
  }
  auto valuesOf = [&](std::size_t g, std::size_t c, std::size_t b, std::size_t m) {
    std::vector<double> v;
    if (const auto it = values.find({g, c, b, m}); it != values.end())
      for (const auto& [subject, value] : it->second) v.push_back(value);
    return v;
  };

  tables.summaryCsv = kStudySummaryCsvHeader;
  for (std::size_t g = 0; g < groups.names().size(); ++g)
    for (std::size_t c = 0; c < conditions.names().size(); ++c)
      for (std::size_t b = 0; b < bands.names().size(); ++b)
        for (std::size_t m = 0; m < measures.names().size(); ++m) {
          const std::vector<double> v = valuesOf(g, c, b, m);
          if (v.empty()) continue;
          const SampleSummary s = Summarize(v);
          tables.summaryCsv += CsvField(groups.names()[g]) + ',' + CsvField(conditions.names()[c]) + ',' +
                               CsvField(bands.names()[b]) + ',' + CsvField(measures.names()[m]) + ',' +
                               std::to_string(s.n) + ',' + Optional(s.median) + ',' + Optional(s.q1) + ',' +
                               Optional(s.q3) + ',' + Optional(s.mean) + ',' + Optional(s.sd) + '\n';
          tables.summary.push_back({groups.names()[g], conditions.names()[c], bands.names()[b], measures.names()[m], v});
        }

  // Tests: a family is one measure, one comparison and one test over the bands.
  tables.testsCsv = kStudyTestsCsvHeader;
  for (std::size_t m = 0; m < measures.names().size(); ++m) {
    std::vector<std::vector<StudyTestRow>> families;
    // Conditions within subjects (all groups together).
    for (std::size_t c1 = 0; c1 < conditions.names().size(); ++c1)
      for (std::size_t c2 = c1 + 1; c2 < conditions.names().size(); ++c2) {
        std::vector<StudyTestRow> family;
        for (std::size_t b = 0; b < bands.names().size(); ++b) {
          std::map<std::size_t, double> first, second;
          for (std::size_t g = 0; g < groups.names().size(); ++g) {
            if (const auto it = values.find({g, c1, b, m}); it != values.end())
              for (const auto& [subject, value] : it->second) first[subject] = value;
            if (const auto it = values.find({g, c2, b, m}); it != values.end())
              for (const auto& [subject, value] : it->second) second[subject] = value;
          }
          std::vector<double> differences;
          for (const auto& [subject, value] : first)
            if (const auto it = second.find(subject); it != second.end()) differences.push_back(value - it->second);
          if (differences.empty()) continue;
          const RankTestResult r = WilcoxonSignedRank(differences);
          family.push_back({bands.names()[b], measures.names()[m],
                            conditions.names()[c1] + " vs " + conditions.names()[c2],
                            r.method == RankTestMethod::kExact ? "wilcoxon_signed_rank_exact"
                                                               : "wilcoxon_signed_rank_normal",
                            static_cast<int>(differences.size()), r.statistic, r.p, r.p, r.estimate});
        }
        if (!family.empty()) families.push_back(std::move(family));
      }
    // Groups, within each condition.
    const bool severalConditions = conditions.names().size() > 1;
    for (std::size_t c = 0; c < conditions.names().size(); ++c)
      for (std::size_t g1 = 0; g1 < groups.names().size(); ++g1)
        for (std::size_t g2 = g1 + 1; g2 < groups.names().size(); ++g2) {
          std::vector<StudyTestRow> family;
          for (std::size_t b = 0; b < bands.names().size(); ++b) {
            const std::vector<double> x = valuesOf(g1, c, b, m), y = valuesOf(g2, c, b, m);
            if (x.empty() || y.empty()) continue;
            const RankTestResult r = MannWhitneyU(x, y);
            std::string comparison = groups.names()[g1] + " vs " + groups.names()[g2];
            if (severalConditions) comparison += " in " + conditions.names()[c];
            family.push_back({bands.names()[b], measures.names()[m], comparison,
                              r.method == RankTestMethod::kExact ? "mann_whitney_u_exact" : "mann_whitney_u_normal",
                              r.n, r.statistic, r.p, r.p, r.estimate});
          }
          if (!family.empty()) families.push_back(std::move(family));
        }
    for (std::vector<StudyTestRow>& family : families) {
      std::vector<double> p;
      for (const StudyTestRow& row : family) p.push_back(row.p);
      const std::vector<double> adjusted = HolmAdjust(p);
      for (std::size_t i = 0; i < family.size(); ++i) {
        StudyTestRow& row = family[i];
        row.pHolm = adjusted[i];
        tables.testsCsv += CsvField(row.band) + ',' + CsvField(row.measure) + ',' + CsvField(row.comparison) + ',' +
                           row.test + ',' + std::to_string(row.n) + ',' + Number(row.statistic) + ',' +
                           Number(row.p) + ',' + Number(row.pHolm) + ',' + Optional(row.estimate) + '\n';
        tables.tests.push_back(row);
      }
    }
  }

  // Group coherence: medians over the subjects.
  tables.groupCoherenceCsv = kStudyGroupCoherenceCsvHeader;
  auto measureIndex = [&](const std::string& name) -> std::optional<std::size_t> {
    const auto& names = measures.names();
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end()) return std::nullopt;
    return static_cast<std::size_t>(it - names.begin());
  };
  const auto coherence = measureIndex("coherence");
  if (coherence) {
    auto median = [&](std::size_t g, std::size_t c, std::size_t b, const char* name, double p) {
      const auto m = measureIndex(name);
      if (!m) return std::string();
      return Optional(Quantile(valuesOf(g, c, b, *m), p));
    };
    for (std::size_t g = 0; g < groups.names().size(); ++g)
      for (std::size_t c = 0; c < conditions.names().size(); ++c)
        for (std::size_t b = 0; b < bands.names().size(); ++b) {
          const std::vector<double> v = valuesOf(g, c, b, *coherence);
          if (v.empty()) continue;
          tables.groupCoherenceCsv += CsvField(groups.names()[g]) + ',' + CsvField(conditions.names()[c]) + ',' +
                                      CsvField(bands.names()[b]) + ',' + std::to_string(v.size()) + ',' +
                                      Optional(Quantile(v, 0.5)) + ',' +
                                      median(g, c, b, "residual_coherence", 0.5) + ',' +
                                      median(g, c, b, "residual_coherence", 0.25) + ',' +
                                      median(g, c, b, "residual_coherence", 0.75) + ',' +
                                      median(g, c, b, "intersubject_coherence", 0.5) + ',' +
                                      median(g, c, b, "residual_intersubject", 0.5) + '\n';
        }
  }
  return tables;
}

}  // namespace kelvora
