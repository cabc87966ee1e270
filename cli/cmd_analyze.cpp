// kelvora-cli analyze: the scalogram, the time-averaged wavelet spectrum and the band table of many records.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "analysis/analysis_csv.h"
#include "analysis/analysis_mat.h"
#include "analysis/png_encoder.h"
#include "analysis/record_analysis.h"
#include "analysis/scalogram_image.h"
#include "cli/analysis_cli.h"
#include "cli/command_support.h"
#include "cli/marker_cli.h"
#include "core/text_helpers.h"
#include "cli/console_progress.h"

namespace kelvora::cli {
namespace {

const char* kName = "analyze";

// Pixel rows of the PNG picture at least: short frequency grids get taller rows so the picture is not a strip.
constexpr int kPictureMinHeight = 360;

std::vector<OptionDef> AnalyzeOptions() {
  std::vector<OptionDef> options = AnalysisOptionDefs();
  options.push_back({"table", 0, "FILE", "write the band table here (default: standard output)"});
  options.push_back({"spectrum", 0, "FILE", "write frequency_hz,amplitude,power of the first INPUT here"});
  options.push_back(
      {"scalogram", 0, "FILE", "write the first INPUT's scalogram as a picture (.png) or a matrix (.csv)"});
  options.push_back(SegmentsOptionDef());
  for (const std::vector<OptionDef>& more : {MarkerSourceOptionDefs(), OcclusionFinderOptionDefs()})
    options.insert(options.end(), more.begin(), more.end());
  options.push_back({"mat", 0, "FILE", "write the band table, the first INPUT's spectrum and scalogram to a MATLAB file"});
  return options;
}

// The record of one INPUT. Every input of this command is read here, so a change of reader is one line.
std::optional<SignalRecord> LoadAnalysisInput(CliContext& context, CommonOptions& common, const std::string& path,
                                              int& exitStatus, InputDetails& details) {
  return LoadInput(context, common, path, false, exitStatus, &details);
}

bool EndsWith(std::string text, const std::string& suffix) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string ScalogramPng(const AnalysisResult& result) {
  const int rows = static_cast<int>(result.picture.rows());
  const int rowHeight = std::max(1, (kPictureMinHeight + rows - 1) / rows);
  return EncodePng(RenderScalogram(result.picture, ScalogramQuantity::kAmplitude, ColourScale::kLinear, rowHeight));
}

// The analysis options and the files this command writes; gives a usage error text for a bad value.
std::optional<std::string> ReadAnalyzeOptions(const ParsedArgs& parsed, int sampleRateHz, AnalysisOptions& options) {
  for (const char* name : {"table", "spectrum", "scalogram", "mat"}) {
    const auto text = parsed.value(name);
    if (text && text->empty()) return "--" + std::string(name) + " needs a file name";
  }
  if (const auto text = parsed.value("scalogram"); text && !EndsWith(*text, ".png") && !EndsWith(*text, ".csv"))
    return "--scalogram needs a file name ending in .png or .csv, not '" + *text + "'";
  if (const auto text = parsed.value("mat"); text && !EndsWith(*text, ".mat"))
    return "--mat needs a file name ending in .mat, not '" + *text + "'";
  return ReadAnalysisOptions(parsed, sampleRateHz, options);
}

}  // namespace

int RunAnalyze(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, AnalyzeOptions(),
        "analyze INPUT... [--bands SET] [--fmin HZ] [--fmax HZ] [--table FILE] [--spectrum FILE] "
        "[--scalogram FILE.png|FILE.csv] [--mat FILE.mat] [options]",
        "The Morlet wavelet transform of each INPUT (its least-squares trend removed) at 2^(j/V) Hz from fmin to\n"
        "fmax, averaged over the time inside the cone of influence, and the band table: one CSV line per INPUT and\n"
        "band, file,band,low_hz,high_hz,amplitude,power,rel_amplitude,rel_power,coverage,note, in full precision\n"
        "with '.' decimals. A band is listed only when it lies inside fmin .. fmax; a relative value is the band's\n"
        "value over the mean of the whole listed range. --spectrum and --scalogram describe the first INPUT (the\n"
        "matrix holds the block means of |W|, empty outside the cone; the picture shows them on a linear colour\n"
        "scale from 0 to their largest value, dimmed outside the cone, highest frequency at the top).\n"
        "A bad INPUT is reported and the others' lines are kept; the exit status is then 1.\n"
        "--segments gives one line per segment and band instead, with segment,start_s,end_s after file: the\n"
        "statistics of the segment's samples inside the cone of influence of the whole record's transform, the\n"
        "coverage the share of the segment's samples used. 'markers' takes the segments between the record's\n"
        "markers (see markers --help; with --find-occlusions also the occlusions found), each named by the marker\n"
        "that opens it; NAME:START:END,... or a name,start_s,end_s file gives them in seconds. --spectrum then\n"
        "writes segment,start_s,end_s,frequency_hz,amplitude,power: each segment's spectrum.\n"
        "--mat writes a MATLAB file: the struct 'bands' (a column per field of the table; a value that may be\n"
        "empty is 0 where it is, beside its 0/1 column NAME_valid), the struct 'spectrum' (frequency_hz,\n"
        "amplitude, power, valid_samples) and the first INPUT's scalogram_amplitude (frequencies x times),\n"
        "scalogram_valid (1 inside the cone), scalogram_frequency_hz and scalogram_time_s, and fs.",
        line, InputCount::kOneOrMore))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  line.options.maxRecordSamples = kMaxAnalysisRecordSamples;
  if (parsed.has("output")) return UsageError(context, kName, "the band table goes to --table FILE, not --output");
  // The options depend on the sample rate, which an imported file sets when it is read: check them first at
  // --fs, so that a usage error needs no file, and again at the rate of the first record read.
  AnalysisOptions options;
  if (const auto error = ReadAnalyzeOptions(parsed, line.options.sampleRateHz, options))
    return UsageError(context, kName, *error);
  bool optionsAtRecordRate = false;
  const std::optional<std::string> spectrumPath = parsed.value("spectrum");
  const std::optional<std::string> scalogramPath = parsed.value("scalogram");
  const std::optional<std::string> matPath = parsed.value("mat");
  std::vector<std::pair<std::string, BandTable>> tables;  // for --mat: every INPUT's table
  std::vector<std::string> notes;

  int status = kExitSuccess;
  const bool bySegment = parsed.has("segments");
  std::string table = bySegment ? kSegmentBandTableCsvHeader : kBandTableCsvHeader;
  bool anyRows = false;
  bool omittedReported = false;
  std::optional<AnalysisResult> first;
  for (std::size_t i = 0; i < parsed.positionals.size(); ++i) {
    const std::string& path = parsed.positionals[i];
    int loadStatus = kExitSuccess;
    InputDetails details;
    const std::optional<SignalRecord> record = LoadAnalysisInput(context, line.options, path, loadStatus, details);
    if (!record) {
      status = loadStatus;
      continue;
    }
    const std::optional<std::vector<Segment>> segments =
        ReadSegments(context, line.options, parsed, path, *record, details, loadStatus);
    if (!segments) {
      status = loadStatus;
      continue;
    }
    if (!optionsAtRecordRate) {
      optionsAtRecordRate = true;
      if (const auto error = ReadAnalyzeOptions(parsed, line.options.sampleRateHz, options))
        return UsageError(context, kName, *error);
    }
    // The picture costs memory and time; only the first input's is written.
    options.pictureColumns = i == 0 && (scalogramPath || matPath) ? kDefaultPictureColumns : 0;
    options.segments = *segments;
    AnalysisOutcome outcome;
    {
      ConsoleProgress progress(context.err, line.options.progress, kName);
      outcome = AnalyzeRecord(record->values, options, progress);
    }
    if (!outcome.ok()) {
      status = InputError(context, EscapeBytes(path) + ": " + AnalysisErrorText(*outcome.error));
      continue;
    }
    if (!omittedReported) {
      // The same for every input: it depends on the options only.
      ReportOmittedBands(context, kName, outcome.result.table.omitted, outcome.result.frequencyRange);
      omittedReported = true;
    }
    if (bySegment) {
      for (const SegmentAnalysis& segment : outcome.result.segments)
        table += SegmentBandTableCsvRows(path, segment, BandNoteText);
    } else {
      table += BandTableCsvRows(path, outcome.result.table, BandNoteText);
    }
    if (matPath) {
      tables.emplace_back(path, outcome.result.table);
      for (const BandRow& row : outcome.result.table.rows) notes.push_back(BandNoteText(row));
    }
    anyRows = true;
    if (i == 0) first = std::move(outcome.result);
  }
  if (!anyRows) return status;

  if (const auto tablePath = parsed.value("table")) {
    if (const int written = WriteOutputFile(context, *tablePath, table); written != kExitSuccess) status = written;
  } else {
    context.out << table << std::flush;
    if (!context.out) status = InputError(context, "cannot write the table to standard output");
  }
  if ((spectrumPath || scalogramPath || matPath) && !first) {
    return InputError(context,
                      "--spectrum, --scalogram and --mat describe the first INPUT, which failed; nothing written");
  }
  if (matPath) {
    std::vector<std::pair<std::string, const BandTable*>> tableRefs;
    for (const auto& [file, t] : tables) tableRefs.emplace_back(file, &t);
    std::vector<MatValue> variables = {BandTableMat(tableRefs, notes), SpectrumMat(*first)};
    for (MatValue& v : ScalogramMat(*first)) variables.push_back(std::move(v));
    variables.push_back(MatValue::Scalar("fs", first->sampleRateHz));
    if (const auto error = WriteMatFile(*matPath, variables)) status = InputError(context, DescribeRecordFileError(*error));
  }
  if (spectrumPath)
    if (const int written =
            WriteOutputFile(context, *spectrumPath, bySegment ? SegmentSpectrumCsv(*first) : SpectrumCsv(*first));
        written != kExitSuccess)
      status = written;
  if (scalogramPath) {
    const std::string bytes = EndsWith(*scalogramPath, ".png") ? ScalogramPng(*first) : ScalogramCsv(*first);
    if (bytes.empty()) return InputError(context, *scalogramPath + ": the picture could not be encoded");
    if (const int written = WriteOutputFile(context, *scalogramPath, bytes); written != kExitSuccess) status = written;
  }
  return status;
}

}  // namespace kelvora::cli
