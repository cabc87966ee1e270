// kelvora-cli study: the measures of every recording of a manifest, their summary, rank tests, group coherence,
// provenance and report; shards of a study on several machines, and their merge.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "analysis/analysis_csv.h"
#include "analysis/study.h"
#include "analysis/study_protocol.h"
#include "analysis/study_provenance.h"
#include "analysis/study_report.h"
#include "cli/analysis_cli.h"
#include "cli/command_support.h"
#include "cli/console_progress.h"
#include "cli/marker_cli.h"
#include "core/file_digest.h"
#include "core/parallel_tasks.h"
#include "core/text_helpers.h"

namespace kelvora::cli {
namespace {

const char* kName = "study";
const char* kIndexFile = "study-index.csv";
const char* kSettingsFile = "settings.json";

std::vector<OptionDef> StudyOptionDefs() {
  std::vector<OptionDef> options = AnalysisOptionDefs();
  // --threads: recordings analysed at once here (each recording's own analysis runs on one thread).
  for (OptionDef& option : options)
    if (option.name == "threads") option.help = "recordings analysed at once (default and at most: the number of cores)";
  const std::vector<OptionDef> coherence = CoherenceOptionDefs();
  options.insert(options.end(), coherence.begin(), coherence.end());
  const std::vector<OptionDef> own = {
      {"out", 0, "DIR", "write the study's files into this folder (required)"},
      {"measures", 0, "LIST", "bands, coherence (pairs), porh, heating, comma-separated (default: bands)"},
      {"intersubject", 0, "on|off", "the inter-subject coherence level of pairs (default on)"},
      {"shard", 0, "K/N", "run only every N-th recording from the K-th (1 <= K <= N)"},
      {"segments", 0, "markers|NAME:START:END,...|FILE.csv",
       "each segment of a recording is a condition of its subject: between the flux record's markers, typed "
       "intervals in seconds, or a name,start_s,end_s file"},
      {"markers", 0, "FILE", "(not taken: give each recording's sidecar in the manifest's markers column)"},
      {"occlusion", 0, "START:END", "porh: an occlusion of every recording in seconds (may be repeated; default: "
                                    "the markers' segments named occlusion..., or --find-occlusions)"},
      {"baseline", 0, "START:END|NAME", "porh and heating: the baseline interval, or the recording's segment NAME "
                                        "(default: the 60 s before each onset)"},
      {"heating", 0, "START:END|NAME", "heating: a heating phase in seconds (may be repeated), or the recording's "
                                       "segments NAME (default: heating)"},
      {"max", 0, "START:END|NAME", "heating: the maximum interval, the base of the percentages, or a segment NAME"}};
  options.insert(options.end(), own.begin(), own.end());
  options.push_back(MarkerSourceOptionDefs().back());  // --marker-column
  const std::vector<OptionDef> finder = OcclusionFinderOptionDefs();
  options.insert(options.end(), finder.begin(), finder.end());
  return options;
}

// START:END, or a segment's name when it is not one.
std::optional<std::string> ReadIntervalOrName(const ParsedArgs& parsed, const char* name,
                                              std::optional<TimeInterval>& interval, std::string& segment) {
  const auto text = parsed.value(name);
  if (!text) return std::nullopt;
  if (text->empty()) return "--" + std::string(name) + " needs START:END seconds or a segment's name";
  interval = ParseTimeInterval(*text);
  if (!interval) {
    if (text->find(':') != std::string::npos && ParseRangeValue(*text))
      return "--" + std::string(name) + " needs START:END seconds, 0 <= START < END, not '" + EscapeBytes(*text) + "'";
    segment = *text;
  }
  return std::nullopt;
}

bool Has(const StudySettings& settings, StudyMeasure measure) {
  return std::find(settings.measures.begin(), settings.measures.end(), measure) != settings.measures.end();
}

// --segments, --marker-column, the occlusion finder, --occlusion, --baseline, --heating and --max into
// settings.protocol; gives a usage error text.
std::optional<std::string> ReadProtocolOptions(const ParsedArgs& parsed, const CommonOptions& common,
                                               StudySettings& settings) {
  StudyProtocolSettings& p = settings.protocol;
  p.names = ProtocolNames();
  p.heatingName = p.names.heating;
  const bool porh = Has(settings, StudyMeasure::kPorh), heating = Has(settings, StudyMeasure::kHeating);
  if (const auto text = parsed.value("segments")) {
    if (*text == "markers") {
      p.segments = StudySegmentsMode::kMarkers;
    } else {
      const SegmentReadResult read = ReadGivenSegments(*text);
      if (!read.ok()) return "--segments: " + MarkerFileErrorText(*read.error);
      if (read.segments.empty()) return "--segments names no segment";
      p.segments = StudySegmentsMode::kGiven;
      p.givenSegments = read.segments;
    }
  }
  if (const auto column = parsed.value("marker-column")) p.markerColumn = *column;
  p.findOcclusions = parsed.has("find-occlusions");
  if (const auto error = ReadOcclusionFinderOptions(parsed, common.sampleRateHz, p.finder)) return error;
  if (p.findOcclusions && !porh && p.segments != StudySegmentsMode::kMarkers)
    return "--find-occlusions goes with --measures porh or --segments markers";
  for (const std::string& text : parsed.allValues.count("occlusion") ? parsed.allValues.at("occlusion")
                                                                     : std::vector<std::string>()) {
    const std::optional<TimeInterval> interval = ParseTimeInterval(text);
    if (!interval) return "--occlusion needs START:END seconds, 0 <= START < END, not '" + EscapeBytes(text) + "'";
    p.occlusions.push_back(*interval);
  }
  if (!p.occlusions.empty() && !porh) return "--occlusion goes with --measures porh";
  if (!p.occlusions.empty() && p.findOcclusions) return "give either --occlusion or --find-occlusions";
  if (const auto error = ReadIntervalOrName(parsed, "baseline", p.baseline, p.baselineName)) return error;
  if (parsed.has("baseline") && !porh && !heating) return "--baseline goes with --measures porh or heating";
  if (const auto error = ReadIntervalOrName(parsed, "max", p.maximum, p.maximumName)) return error;
  if (parsed.has("max") && !heating) return "--max goes with --measures heating";
  const std::vector<std::string> phases =
      parsed.allValues.count("heating") ? parsed.allValues.at("heating") : std::vector<std::string>();
  if (!phases.empty() && !heating) return "--heating goes with --measures heating";
  for (const std::string& text : phases) {
    std::optional<TimeInterval> interval;
    std::string name;
    ParsedArgs one;
    one.values["heating"] = text;
    if (const auto error = ReadIntervalOrName(one, "heating", interval, name)) return error;
    if (interval) {
      p.heating.push_back(*interval);
    } else if (phases.size() > 1) {
      return "--heating takes START:END intervals (several) or one segment name, not '" + EscapeBytes(text) + "'";
    } else {
      p.heatingName = name;
    }
  }
  return std::nullopt;
}

// The protocol of a flux record (ResolveStudyProtocol) from the manifest's markers file, else the record's own
// markers and its sidecar. Reports a fault on `context` and gives false.
bool ResolveProtocol(CliContext& context, const CommonOptions& common, const ParsedArgs& base,
                     const StudySettings& settings, const StudyEntry& entry, const std::string& path,
                     const InputDetails& details, StudyRecord& out) {
  std::vector<Marker> markers;
  if (StudyUsesMarkers(settings)) {
    ParsedArgs parsed = base;
    parsed.values.erase("markers");
    parsed.allValues.erase("markers");
    if (!entry.markers.empty()) parsed.values["markers"] = entry.markers;
    int status = kExitSuccess;
    auto gathered = GatherMarkers(context, common, parsed, path, details, status);
    if (!gathered) return false;
    markers = std::move(*gathered);
  }
  const std::optional<StudyProtocolError> error = ResolveStudyProtocol(settings, std::move(markers), out);
  if (!error) return true;
  std::string text = EscapeBytes(path, true) + ": ";
  switch (error->kind) {
    case StudyProtocolErrorKind::kNoMarkers: text += "--segments markers: the record has no markers"; break;
    case StudyProtocolErrorKind::kFinder: text += OcclusionFinderErrorText(error->finder); break;
    case StudyProtocolErrorKind::kNoSegment:
      text += "no segment '" + EscapeBytes(error->name) + "' for " +
              (error->role == StudyProtocolRole::kBaseline  ? "--baseline"
               : error->role == StudyProtocolRole::kMaximum ? "--max"
                                                            : "the heating measures (--heating START:END|NAME)");
      break;
  }
  InputError(context, text);
  return false;
}

std::string ReadText(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  std::ostringstream text;
  if (ok) text << in.rdbuf();
  return text.str();
}

std::string ManifestErrorText(const ManifestError& error) {
  const std::string at = "line " + std::to_string(error.line) + ": ";
  switch (error.kind) {
    case ManifestErrorKind::kEmpty: return "the manifest is empty: it needs a header line (subject,...,file,...)";
    case ManifestErrorKind::kUnknownColumn:
      return at + "unknown column '" + EscapeBytes(error.column) +
             "' (subject, group, condition, file, bf_file, column, channel, fs, markers)";
    case ManifestErrorKind::kDuplicateColumn: return at + "column '" + EscapeBytes(error.column) + "' given twice";
    case ManifestErrorKind::kMissingColumn: return at + "the header has no column '" + error.column + "'";
    case ManifestErrorKind::kBadQuotes: return at + "a quoted field is not closed or has text after its quote";
    case ManifestErrorKind::kFieldCount:
      return at + std::to_string(error.count) + " fields, but the header has another number";
    case ManifestErrorKind::kEmptyField: return at + "'" + error.column + "' is empty";
    case ManifestErrorKind::kBadRate:
      return at + "fs '" + EscapeBytes(error.text) + "' is not a whole number of hertz from 1 to 1000000";
    case ManifestErrorKind::kSubjectInTwoGroups:
      return at + "the subject is in group '" + EscapeBytes(error.text) + "' here but in another group on line " +
             std::to_string(error.otherLine);
    case ManifestErrorKind::kDuplicateRecording:
      return at + "the subject has condition '" + EscapeBytes(error.text) + "' on line " +
             std::to_string(error.otherLine) + " already";
    case ManifestErrorKind::kNoRecordings: return "the manifest has a header but no recording";
  }
  return at + "not a valid manifest line";
}

std::string StudyErrorText(const StudyError& error) {
  const std::string path = EscapeBytes(error.path, true);
  switch (error.kind) {
    case StudyErrorKind::kUnreadable: return path + ": the file cannot be read";
    case StudyErrorKind::kLoad: return error.message.empty() ? path + ": the record cannot be read" : error.message;
    case StudyErrorKind::kAnalysis: return path + ": " + AnalysisErrorText(error.analysis);
    case StudyErrorKind::kCoherence:
      if (error.coherence.kind == CoherenceErrorKind::kAnalysis)
        return path + ": " + AnalysisErrorText(error.coherence.analysis);
      return path + ": the coherence failed";
    case StudyErrorKind::kNeedsPair: return "the coherence measure needs a bf_file for this recording";
    case StudyErrorKind::kOtherRate:
      return path + ": its rate differs from the BF record of manifest line " + std::to_string(error.otherLine);
    case StudyErrorKind::kWrite: return path + ": " + error.message;
    case StudyErrorKind::kStopped: return "stopped";
    case StudyErrorKind::kMeasure:
      if (error.measure.kind == MeasureErrorKind::kNonFiniteSample)
        return path + ": sample " + std::to_string(error.measure.sample + 1) + " is not a finite number";
      return path + ": the record cannot be measured";
  }
  return "failed";
}

// The progress bar with the recordings done and the time left.
class StudyProgress : public ConsoleProgress {
 public:
  StudyProgress(std::ostream& stream, bool enabled)
      : ConsoleProgress(stream, enabled, kName), m_start(std::chrono::steady_clock::now()) {}
  void setRange(long long minimum, long long maximum) override {
    m_total = maximum;
    ConsoleProgress::setRange(minimum, maximum);
  }
  void setPosition(long long position) override {
    m_done = position;
    ConsoleProgress::setPosition(position);
  }
  void setText(const std::string& text) override {
    std::string line = text + " " + std::to_string(m_done) + "/" + std::to_string(m_total);
    if (m_done > 0 && m_done < m_total) {
      const double elapsed =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
      const long long left = static_cast<long long>(elapsed / static_cast<double>(m_done) *
                                                    static_cast<double>(m_total - m_done) + 0.5);
      char buffer[48];
      std::snprintf(buffer, sizeof buffer, ", %lld:%02lld:%02lld left", left / 3600, left / 60 % 60, left % 60);
      line += buffer;
    }
    ConsoleProgress::setText(line + "   ");
  }

 private:
  std::chrono::steady_clock::time_point m_start;
  long long m_total = 0;
  long long m_done = 0;
};

std::string JsonString(const std::string& text) { return StudyJsonString(text); }

using ProvenanceInput = StudyProvenanceInput;

std::string ProvenanceJson(const std::string& command, const std::string& settingsJson,
                           const std::vector<std::pair<std::string, std::string>>& fields,
                           const std::vector<ProvenanceInput>& inputs) {
  return StudyProvenanceJson("kelvora-cli", command, settingsJson, fields, inputs);
}

struct StudyReportInfo {
  std::string title;   // the manifest's name
  int recordings = 0;  // results in the tables
  int failed = 0;      // recordings without a result
  std::string settingsJson;
};

// The report's words: the tables' own names.
StudyReportTexts ReportTexts(const StudyReportInfo& info) {
  StudyReportTexts texts;
  texts.title = "Study: " + info.title;
  texts.lines = {"kelvora-cli " KELVORA_VERSION "; " + std::to_string(info.recordings) + " recordings in the tables, " +
                     std::to_string(info.failed) + " without a result",
                 "Median and quartiles by linear interpolation (type 7); SD with n - 1. Tests two-sided; p exact "
                 "without ties up to n = 50,",
                 "else normal with tie and continuity corrections; p_holm over the bands of one measure and comparison."};
  texts.summaryHeading = "Summary";
  texts.testsHeading = "Tests";
  texts.summaryColumns = {"group", "condition", "band", "measure", "n", "median", "q1", "q3", "mean", "sd"};
  texts.testsColumns = {"band", "measure", "comparison", "test", "n", "statistic", "p", "p_holm", "estimate"};
  texts.allLabel = "(all)";
  texts.countLabel = "n=";
  texts.measurePage = [](const std::string& measure, bool banded) { return banded ? measure + " per band" : measure; };
  return texts;
}

// Writes the tables, the provenance and the report into `out`; gives the exit status of a write failure or 0.
int WriteStudyOutputs(CliContext& context, const std::string& out, const std::vector<StudyResultFile>& results,
                      const std::string& provenance, const StudyReportInfo& info) {
  const StudyTables tables = BuildStudyTables(results);
  const std::filesystem::path dir(out);
  int status = kExitSuccess;
  auto write = [&](const char* name, const std::string& text) {
    if (WriteOutputFile(context, (dir / name).string(), text) != kExitSuccess) status = kExitBadInput;
  };
  write("rows.csv", tables.rowsCsv);
  write("summary.csv", tables.summaryCsv);
  write("tests.csv", tables.testsCsv);
  if (tables.groupCoherenceCsv != kStudyGroupCoherenceCsvHeader) write("group_coherence.csv", tables.groupCoherenceCsv);
  write("provenance.json", provenance);
  if (const auto error = WriteStudyReport((dir / "report.pdf").string(), tables, ReportTexts(info))) {
    context.err << "kelvora-cli: " << EscapeBytes((dir / "report.pdf").string(), true) << ": " << *error << "\n";
    status = kExitBadInput;
  }
  return status;
}

int FailureStatus(int failures) { return std::min(failures, 125); }

// study merge DIR... --out DIR
int RunMerge(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  const std::vector<OptionDef> own = {{"out", 0, "DIR", "write the merged study here (required)"}};
  if (const auto done = ParseCommandLine(args, context, "study merge", own, "study merge DIR... --out DIR",
        "Builds rows.csv, summary.csv, tests.csv, group_coherence.csv, provenance.json and report.pdf from the\n"
        "results of the shards in DIR... (each the --out of a `study --shard K/N` run of one manifest with the same\n"
        "settings). The tables equal, byte for byte, those of one run over the whole manifest.",
        line, InputCount::kOneOrMore))
    return *done;
  const auto out = line.parsed.value("out");
  if (!out || out->empty()) return UsageError(context, "study merge", "--out DIR is required");
  std::map<int, std::pair<std::string, std::string>> byLine;  // line -> dir, key
  std::set<int> failedLines;
  std::string settingsJson, settingsDigest, manifestDigest;
  int entryCount = 0;
  for (const std::string& dir : line.parsed.positionals) {
    bool ok = false;
    const std::string indexText = ReadText((std::filesystem::path(dir) / kIndexFile).string(), ok);
    const auto index = ok ? ParseStudyIndex(indexText) : std::nullopt;
    if (!index) return InputError(context, EscapeBytes(dir, true) + ": no study index (" + kIndexFile + ") in it");
    const std::string json = ReadText((std::filesystem::path(dir) / kSettingsFile).string(), ok);
    if (!ok || Sha256Hex(json) != index->settingsDigest)
      return InputError(context, EscapeBytes(dir, true) + ": its " + kSettingsFile + " does not match its index");
    if (settingsDigest.empty()) {
      settingsJson = json;
      settingsDigest = index->settingsDigest;
      manifestDigest = index->manifestDigest;
      entryCount = index->entryCount;
    } else if (index->settingsDigest != settingsDigest || index->manifestDigest != manifestDigest) {
      return InputError(context, EscapeBytes(dir, true) + ": a shard of another manifest or other settings than " +
                                     EscapeBytes(line.parsed.positionals.front(), true));
    }
    for (const StudyIndexLine& entry : index->lines) {
      if (byLine.count(entry.line) || failedLines.count(entry.line))
        return InputError(context, EscapeBytes(dir, true) + ": manifest line " + std::to_string(entry.line) +
                                       " is in two shards");
      if (entry.ok)
        byLine[entry.line] = {dir, entry.key};
      else
        failedLines.insert(entry.line);
    }
  }
  std::vector<StudyResultFile> results;
  std::vector<ProvenanceInput> inputs;
  int failures = static_cast<int>(failedLines.size());
  for (const auto& [manifestLine, where] : byLine) {
    bool ok = false;
    const std::string path = (std::filesystem::path(where.first) / "results" / (where.second + ".csv")).string();
    const std::string text = ReadText(path, ok);
    auto result = ok ? ParseStudyResult(text) : std::nullopt;
    if (!result || StudySettingsDigestOf(result->header) != settingsDigest) {
      context.err << "kelvora-cli: manifest line " << manifestLine << ": " << EscapeBytes(path, true)
                  << " is missing or was made with other settings\n";
      ++failures;
      continue;
    }
    for (const auto& [digest, file] : result->inputs) inputs.push_back({manifestLine, "input", file, digest});
    results.push_back(std::move(*result));
  }
  for (int l : failedLines) context.err << "kelvora-cli: manifest line " << l << " failed in its shard\n";
  const int covered = static_cast<int>(byLine.size() + failedLines.size());
  if (covered < entryCount) {
    context.err << "kelvora-cli: " << entryCount - covered << " of the manifest's " << entryCount
                << " recordings are in none of the shards\n";
    failures += entryCount - covered;
  }
  std::error_code made;
  std::filesystem::create_directories(*out, made);
  if (made) return InputError(context, EscapeBytes(*out, true) + ": " + made.message());
  std::string shards = "[";
  for (std::size_t i = 0; i < line.parsed.positionals.size(); ++i)
    shards += (i ? ", " : "") + JsonString(line.parsed.positionals[i]);
  shards += "]";
  const std::string provenance = ProvenanceJson(
      "study merge", settingsJson,
      {{"manifest_sha256", JsonString(manifestDigest)}, {"shards", shards},
       {"recordings", std::to_string(results.size())}, {"failed", std::to_string(failures)}},
      inputs);
  StudyReportInfo info{"merge of " + std::to_string(line.parsed.positionals.size()) + " shards",
                       static_cast<int>(results.size()), failures, settingsJson};
  if (WriteStudyOutputs(context, *out, results, provenance, info) != kExitSuccess) return kExitBadInput;
  return FailureStatus(failures);
}

}  // namespace

int RunStudy(const std::vector<std::string>& args, CliContext& context) {
  if (!args.empty() && args.front() == "merge")
    return RunMerge(std::vector<std::string>(args.begin() + 1, args.end()), context);
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, StudyOptionDefs(),
        "study MANIFEST.csv --out DIR [--measures bands,coherence,porh,heating] [--segments markers|NAME:START:END,"
        "...|FILE.csv] [--shard K/N] [analysis, coherence, segment and response options]\n"
        "       kelvora-cli study merge DIR... --out DIR",
        "Runs the measures on every recording of MANIFEST.csv (header subject,group,condition,file,bf_file and\n"
        "optionally column, channel, fs, markers; paths relative to the manifest's folder) on all cores, and\n"
        "writes into DIR: rows.csv (subject,group,condition,segment,start_s,end_s,band,measure,value,note; a value\n"
        "that cannot be taken is an empty cell with its note), summary.csv (n, median,\n"
        "quartiles by linear interpolation (type 7), mean, SD per group, condition, band and measure), tests.csv\n"
        "(Wilcoxon signed-rank for conditions within subjects, Mann-Whitney U for groups; two-sided p exact without\n"
        "ties up to n = 50, else normal with tie and continuity corrections; Holm over the bands of a measure;\n"
        "Hodges-Lehmann estimate), group_coherence.csv for pairs, provenance.json and report.pdf.\n"
        "Each recording's result is kept in DIR/results as it is done: a study run again computes only the\n"
        "recordings whose result is missing or was made with other settings or other files. A bad recording is\n"
        "reported with its manifest line and the others go on. Exit status: the number of failed recordings\n"
        "(at most 125), 2 for bad usage.\n"
        "--segments: each segment of a recording is a condition of its subject (condition/segment), its rows made\n"
        "from the whole record's transform as analyze and coherence --segments make them. 'markers' takes the\n"
        "segments between the markers of the flux record (bf_file of a pair, else file): the manifest's markers\n"
        "file, else RECORD.markers.csv beside it, EDF+ annotations or a marker column (--marker-column); with\n"
        "--find-occlusions the occlusions found cut them too.\n"
        "porh: the measures of the porh command for each occlusion of the flux record (segment 'occlusion K'):\n"
        "--occlusion START:END (repeated), --find-occlusions, else the markers' segments named occlusion...\n"
        "heating: those of the heating command for each phase, --heating START:END (repeated) or the segments\n"
        "named --heating NAME (default heating); --baseline and --max take START:END or a segment's name.\n"
        "The markers files and these options are part of each result's digest.",
        line, InputCount::kOneOrMore))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  if (parsed.positionals.size() != 1) return UsageError(context, kName, "one MANIFEST.csv is needed");
  const auto out = parsed.value("out");
  if (!out || out->empty()) return UsageError(context, kName, "--out DIR is required");
  if (parsed.has("output")) return UsageError(context, kName, "the study goes to --out DIR, not --output");
  if (parsed.has("markers"))
    return UsageError(context, kName, "each recording's markers come from the manifest's markers column (or "
                                      "RECORD.markers.csv beside its flux record), not from --markers");

  StudySettings settings;
  settings.programVersion = KELVORA_VERSION;
  settings.notes.band = BandNoteText;
  settings.notes.measures = MeasureNotesText;
  if (const auto text = parsed.value("measures")) {
    const MeasureListParse measures = ParseStudyMeasures(*text);
    if (!measures.ok()) {
      const MeasureListError& e = *measures.error;
      switch (e.kind) {
        case MeasureListErrorKind::kEmpty: return UsageError(context, kName, "--measures needs at least one measure");
        case MeasureListErrorKind::kUnknown:
          return UsageError(context, kName, "--measures: unknown measure '" + EscapeBytes(e.name) +
                                                "' (bands, coherence, porh, heating)");
        case MeasureListErrorKind::kUnavailable:
          return UsageError(context, kName, "--measures: " + e.name + " is not available in this build");
        case MeasureListErrorKind::kDuplicate:
          return UsageError(context, kName, "--measures names " + e.name + " twice");
      }
    }
    settings.measures = measures.measures;
  }
  if (const auto text = parsed.value("intersubject")) {
    if (*text != "on" && *text != "off") return UsageError(context, kName, "--intersubject needs on or off");
    settings.interSubject = *text == "on";
  }
  if (const auto error = ReadAnalysisOptions(parsed, line.options.sampleRateHz, settings.analysis))
    return UsageError(context, kName, *error);
  if (const auto error = ReadCoherenceOptions(parsed, settings.coherence)) return UsageError(context, kName, *error);
  if (const auto error = ReadProtocolOptions(parsed, line.options, settings))
    return UsageError(context, kName, *error);
  int workers = HardwareThreadCount();
  if (parsed.has("threads")) workers = std::min(workers, std::max(1, settings.analysis.threads));
  settings.analysis.threads = 0;
  int shard = 1, shards = 1;
  if (const auto text = parsed.value("shard")) {
    const std::size_t slash = text->find('/');
    const auto k = slash == std::string::npos ? std::nullopt : ParseIntegerValue(text->substr(0, slash));
    const auto n = slash == std::string::npos ? std::nullopt : ParseIntegerValue(text->substr(slash + 1));
    if (!k || !n || *n < 1 || *k < 1 || *k > *n || *n > 1000000)
      return UsageError(context, kName, "--shard needs K/N with 1 <= K <= N, not '" + EscapeBytes(*text) + "'");
    shard = static_cast<int>(*k);
    shards = static_cast<int>(*n);
  }

  const std::string& manifestPath = parsed.positionals.front();
  bool readable = false;
  const std::string manifestText = ReadText(manifestPath, readable);
  if (!readable) return UsageError(context, kName, EscapeBytes(manifestPath, true) + ": the manifest cannot be read");
  const ManifestParse manifest =
      ParseStudyManifest(manifestText, std::filesystem::path(manifestPath).parent_path());
  if (!manifest.ok())
    return UsageError(context, kName, EscapeBytes(manifestPath, true) + ": " + ManifestErrorText(*manifest.error));
  const std::vector<StudyEntry>& entries = manifest.entries;
  if (std::find(settings.measures.begin(), settings.measures.end(), StudyMeasure::kCoherence) !=
      settings.measures.end()) {
    for (const StudyEntry& entry : entries)
      if (!entry.paired())
        return UsageError(context, kName, EscapeBytes(manifestPath, true) + ": line " + std::to_string(entry.line) +
                                              ": the coherence measure needs a bf_file");
  }

  if (Has(settings, StudyMeasure::kBands) || Has(settings, StudyMeasure::kCoherence)) {
    // The bands outside the analysed range at the first recording's rate are left out of every table.
    AnalysisOptions first = settings.analysis;
    first.sampleRateHz = entries.front().fs.value_or(line.options.sampleRateHz);
    const BandTable empty = ComputeBandTable({}, 0, first.bands, AnalysisFrequencyRange(first), first.centreFrequency);
    ReportOmittedBands(context, kName, empty.omitted, AnalysisFrequencyRange(first));
  }
  const CommonOptions common = line.options;
  const DecimalFormat format = context.format;
  const StudySettings protocolSettings = settings;
  StudyLoader loader = [common, format, parsed, protocolSettings](const StudyEntry& entry, bool bloodFlow) {
    std::ostringstream quiet, errors;
    CliContext own{quiet, errors, format};
    CommonOptions options = common;
    options.maxRecordSamples = kMaxAnalysisRecordSamples;
    options.progress = false;
    if (entry.fs) {
      options.sampleRateHz = *entry.fs;
      options.givenRateHz = *entry.fs;
    }
    if (!entry.column.empty()) options.reading.columns = {entry.column};
    if (!entry.channel.empty()) options.reading.channels = {entry.channel};
    int status = kExitSuccess;
    const std::string& path = bloodFlow ? entry.bfFile : entry.file;
    InputDetails details;
    const auto record = LoadInput(own, options, path, entry.paired() && !bloodFlow, status, &details);
    auto firstError = [&errors]() {
      std::string message = errors.str();
      const std::string prefix = "kelvora-cli: ";
      if (message.rfind(prefix, 0) == 0) message = message.substr(prefix.size());
      while (!message.empty() && message.back() == '\n') message.pop_back();
      const std::size_t newline = message.find('\n');
      return newline == std::string::npos ? message : message.substr(0, newline);
    };
    StudyLoadResult result;
    if (!record) {
      result.message = firstError();
      return result;
    }
    result.record.emplace();
    result.record->values = record->values;
    result.record->sampleRateHz = options.sampleRateHz;
    // The flux record (BF of a pair) carries the protocol.
    if ((bloodFlow || !entry.paired()) &&
        !ResolveProtocol(own, options, parsed, protocolSettings, entry, path, details, *result.record))
      result.protocolError = firstError();
    return result;
  };

  StudyRunOptions run;
  run.directory = *out;
  run.workers = workers;
  for (std::size_t i = static_cast<std::size_t>(shard - 1); i < entries.size(); i += static_cast<std::size_t>(shards))
    run.selection.push_back(i);
  const std::string settingsJson = StudySettingsJson(settings);
  const bool bar = line.options.progress || (&context.err == &std::cerr && isatty(STDERR_FILENO));
  StudyRunOutcome outcome;
  {
    StudyProgress progress(context.err, bar);
    outcome = kelvora::RunStudy(entries, settings, loader, run, progress);
  }
  if (outcome.directoryError)
    return InputError(context, EscapeBytes(*out, true) + ": " + *outcome.directoryError);

  StudyCollected collected = CollectStudyResults(entries, run, outcome, settingsJson, manifestText);
  const int failures = static_cast<int>(collected.failed.size());
  const int computed = collected.computed, reused = collected.reused;
  std::vector<StudyResultFile>& results = collected.results;
  const StudyIndex& index = collected.index;
  const std::vector<ProvenanceInput>& inputs = collected.inputs;
  for (const std::size_t s : collected.failed) {
    const StudyRecordingOutcome& state = outcome.outcomes[s];
    context.err << "kelvora-cli: " << EscapeBytes(manifestPath, true) << ":" << entries[run.selection[s]].line << ": "
                << (state.error ? StudyErrorText(*state.error)
                                : std::string(state.state == StudyRecordingState::kNotRun ? "not run (stopped)"
                                                                                          : "no result"))
                << "\n";
  }
  context.err << "kelvora-cli study: " << run.selection.size() << " recordings: " << computed << " computed, "
              << reused << " reused, " << failures << " failed\n";
  const std::filesystem::path dir(*out);
  if (WriteOutputFile(context, (dir / kSettingsFile).string(), settingsJson) != kExitSuccess ||
      WriteOutputFile(context, (dir / kIndexFile).string(), FormatStudyIndex(index)) != kExitSuccess)
    return kExitBadInput;
  std::vector<ProvenanceInput> all = {{0, "manifest", manifestPath, index.manifestDigest}};
  all.insert(all.end(), inputs.begin(), inputs.end());
  const std::string provenance = ProvenanceJson(
      kName, settingsJson,
      {{"shard", JsonString(std::to_string(shard) + "/" + std::to_string(shards))},
       {"workers", std::to_string(workers)},
       {"recordings", std::to_string(run.selection.size())},
       {"computed", std::to_string(computed)}, {"reused", std::to_string(reused)},
       {"failed", std::to_string(failures)}},
      all);
  StudyReportInfo info{std::filesystem::path(manifestPath).filename().string(), static_cast<int>(results.size()),
                       failures, settingsJson};
  if (WriteStudyOutputs(context, *out, results, provenance, info) != kExitSuccess) return kExitBadInput;
  return FailureStatus(failures);
}

}  // namespace kelvora::cli
