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
#include "analysis/study_provenance.h"
#include "cli/analysis_cli.h"
#include "cli/command_support.h"
#include "cli/console_progress.h"
#include "cli/study_report.h"
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
      {"segments", 0, "LIST", "conditions from segments of the records"},
      {"markers", 0, "FILE", "markers of the records"}};
  options.insert(options.end(), own.begin(), own.end());
  return options;
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
  if (const auto error = WriteStudyReport((dir / "report.pdf").string(), tables, info)) {
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
        "study MANIFEST.csv --out DIR [--measures bands,coherence] [--shard K/N] [analysis and coherence options]\n"
        "       kelvora-cli study merge DIR... --out DIR",
        "Runs the measures on every recording of MANIFEST.csv (header subject,group,condition,file,bf_file and\n"
        "optionally column, channel, fs, markers; paths relative to the manifest's folder) on all cores, and\n"
        "writes into DIR: rows.csv (subject,group,condition,segment,band,measure,value), summary.csv (n, median,\n"
        "quartiles by linear interpolation (type 7), mean, SD per group, condition, band and measure), tests.csv\n"
        "(Wilcoxon signed-rank for conditions within subjects, Mann-Whitney U for groups; two-sided p exact without\n"
        "ties up to n = 50, else normal with tie and continuity corrections; Holm over the bands of a measure;\n"
        "Hodges-Lehmann estimate), group_coherence.csv for pairs, provenance.json and report.pdf.\n"
        "Each recording's result is kept in DIR/results as it is done: a study run again computes only the\n"
        "recordings whose result is missing or was made with other settings or other files. A bad recording is\n"
        "reported with its manifest line and the others go on. Exit status: the number of failed recordings\n"
        "(at most 125), 2 for bad usage.",
        line, InputCount::kOneOrMore))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  if (parsed.positionals.size() != 1) return UsageError(context, kName, "one MANIFEST.csv is needed");
  const auto out = parsed.value("out");
  if (!out || out->empty()) return UsageError(context, kName, "--out DIR is required");
  if (parsed.has("output")) return UsageError(context, kName, "the study goes to --out DIR, not --output");
  if (parsed.has("segments") || parsed.has("markers"))
    return UsageError(context, kName, "--segments and --markers are not available in this build");

  StudySettings settings;
  settings.programVersion = KELVORA_VERSION;
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

  {
    // The bands outside the analysed range at the first recording's rate are left out of every table.
    AnalysisOptions first = settings.analysis;
    first.sampleRateHz = entries.front().fs.value_or(line.options.sampleRateHz);
    const BandTable empty = ComputeBandTable({}, 0, first.bands, AnalysisFrequencyRange(first), first.centreFrequency);
    ReportOmittedBands(context, kName, empty.omitted, AnalysisFrequencyRange(first));
  }
  const CommonOptions common = line.options;
  const DecimalFormat format = context.format;
  StudyLoader loader = [common, format](const StudyEntry& entry, bool bloodFlow) {
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
    const auto record = LoadInput(own, options, path, entry.paired() && !bloodFlow, status);
    StudyLoadResult result;
    if (record) {
      result.record = StudyRecord{record->values, options.sampleRateHz};
    } else {
      std::string message = errors.str();
      const std::string prefix = "kelvora-cli: ";
      if (message.rfind(prefix, 0) == 0) message = message.substr(prefix.size());
      while (!message.empty() && message.back() == '\n') message.pop_back();
      const std::size_t newline = message.find('\n');
      result.message = newline == std::string::npos ? message : message.substr(0, newline);
    }
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

  int failures = 0, computed = 0, reused = 0;
  std::vector<StudyResultFile> results;
  StudyIndex index;
  index.settingsDigest = Sha256Hex(settingsJson);
  index.manifestDigest = Sha256Hex(manifestText);
  index.entryCount = static_cast<int>(entries.size());
  std::vector<ProvenanceInput> inputs;
  for (std::size_t s = 0; s < run.selection.size(); ++s) {
    const StudyEntry& entry = entries[run.selection[s]];
    const StudyRecordingOutcome& state = outcome.outcomes[s];
    bool ok = state.state == StudyRecordingState::kComputed || state.state == StudyRecordingState::kReused;
    std::optional<StudyResultFile> result;
    if (ok) {
      bool present = false;
      const std::string text =
          ReadText((std::filesystem::path(*out) / "results" / (state.key + ".csv")).string(), present);
      result = present ? ParseStudyResult(text) : std::nullopt;
      ok = result.has_value();
    }
    if (!ok) {
      ++failures;
      context.err << "kelvora-cli: " << EscapeBytes(manifestPath, true) << ":" << entry.line << ": "
                  << (state.error ? StudyErrorText(*state.error)
                                  : std::string(state.state == StudyRecordingState::kNotRun ? "not run (stopped)"
                                                                                            : "no result"))
                  << "\n";
    } else {
      (state.state == StudyRecordingState::kComputed ? computed : reused) += 1;
      for (const auto& [digest, file] : result->inputs) inputs.push_back({entry.line, "input", file, digest});
      results.push_back(std::move(*result));
    }
    index.lines.push_back({entry.line, state.key, ok});
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
