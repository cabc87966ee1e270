// kelvora-cli coherence: the wavelet phase coherence of a T and a BF record, its significance against IAAFT
// surrogates, the lag of T behind BF and the depth of the heat source the thermal wave implies, per band.
#include <limits>

#include "analysis/analysis_csv.h"
#include "analysis/phase_coherence.h"
#include "cli/analysis_cli.h"
#include "cli/command_support.h"
#include "cli/console_progress.h"
#include "core/text_helpers.h"

namespace kelvora::cli {
namespace {

const char* kName = "coherence";

std::vector<OptionDef> CoherenceCommandOptionDefs() {
  std::vector<OptionDef> options = AnalysisOptionDefs();
  const std::vector<OptionDef> coherence = CoherenceOptionDefs();
  options.insert(options.end(), coherence.begin(), coherence.end());
  const std::vector<OptionDef> own = {
      {"table", 0, "FILE", "write the band table here (default: standard output)"},
      {"curves", 0, "FILE", "write frequency_hz,coherence,threshold,lag_s,depth_mm here"}};
  options.insert(options.end(), own.begin(), own.end());
  return options;
}

// The options beyond the analysis ones; gives a usage error text for a bad value.
std::optional<std::string> ReadOwnOptions(const ParsedArgs& parsed, CoherenceOptions& options) {
  if (const auto error = ReadCoherenceOptions(parsed, options)) return error;
  for (const char* name : {"table", "curves"}) {
    const auto text = parsed.value(name);
    if (text && text->empty()) return "--" + std::string(name) + " needs a file name";
  }
  return std::nullopt;
}

std::string CoherenceErrorText(const CoherenceError& error, const std::string& temperaturePath,
                               const std::string& bloodFlowPath) {
  switch (error.kind) {
    case CoherenceErrorKind::kAnalysis: {
      const std::string reason = AnalysisErrorText(error.analysis);
      if (error.record == 0) return EscapeBytes(temperaturePath) + ": " + reason;
      if (error.record == 1) return EscapeBytes(bloodFlowPath) + ": " + reason;
      return reason;
    }
    case CoherenceErrorKind::kBadTissue: return "the tissue parameters must be positive numbers";
    case CoherenceErrorKind::kBadSurrogateCount: return "--surrogates is out of range";
    case CoherenceErrorKind::kOutOfMemory: return "not enough memory for the coherence";
    case CoherenceErrorKind::kStopped: return "the coherence was stopped";
  }
  return "the coherence failed";
}

}  // namespace

int RunCoherence(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, CoherenceCommandOptionDefs(),
        "coherence T_INPUT BF_INPUT [--surrogates N] [--seed S] [--bands SET] [--lambda L --rho R "
        "--heat-capacity C] [--table FILE] [--curves FILE] [options]",
        "The wavelet phase coherence of a temperature record T_INPUT (read with the kelvin check) and a blood-flow\n"
        "record BF_INPUT of one rate: both are transformed as analyze does (a longer record is cut to the shorter\n"
        "one), and at each frequency f Pi(f) = |mean of exp(i (phi_BF - phi_T))| over the time inside the cone of\n"
        "influence. Its angle is the phase by which T lags BF, the lag dt = angle / (2 pi f) seconds. Pi(f) is\n"
        "significant above the 95th percentile of the coherences of --surrogates pairs of IAAFT surrogates (the\n"
        "same --seed gives the same threshold). Where it is significant and 0 < dt < 1 / (2 f), the thermal wave\n"
        "puts the heat source at the depth x = 2 dt sqrt(pi f lambda / (rho c)). The band table has a CSV line per\n"
        "band, band,low_hz,high_hz,coherence,threshold,significant_share,lag_s,depth_mm: the means of Pi, of the\n"
        "threshold and of dt over the band's frequencies, the share of them that is significant and the median\n"
        "depth in mm, in full precision with '.' decimals, a field empty where there is no value.",
        line, InputCount::kExactlyTwo))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  line.options.maxRecordSamples = kMaxAnalysisRecordSamples;
  if (parsed.has("output")) return UsageError(context, kName, "the band table goes to --table FILE, not --output");
  CoherenceOptions options;
  if (const auto error = ReadAnalysisOptions(parsed, line.options.sampleRateHz, options.analysis))
    return UsageError(context, kName, *error);
  if (const auto error = ReadOwnOptions(parsed, options)) return UsageError(context, kName, *error);

  const std::string& temperaturePath = parsed.positionals[0];
  const std::string& bloodFlowPath = parsed.positionals[1];
  int status = kExitSuccess;
  const std::optional<SignalRecord> temperature = LoadInput(context, line.options, temperaturePath, true, status);
  if (!temperature) return status;
  const std::optional<SignalRecord> bloodFlow = LoadInput(context, line.options, bloodFlowPath, false, status);
  if (!bloodFlow) return status;
  // An imported record sets the rate: the options again at the records' rate.
  if (const auto error = ReadAnalysisOptions(parsed, line.options.sampleRateHz, options.analysis))
    return UsageError(context, kName, *error);

  CoherenceOutcome outcome;
  {
    ConsoleProgress progress(context.err, line.options.progress, kName);
    outcome = AnalyzeCoherence(temperature->values, bloodFlow->values, options, progress);
  }
  if (!outcome.ok()) return InputError(context, CoherenceErrorText(*outcome.error, temperaturePath, bloodFlowPath));
  const CoherenceResult& result = outcome.result;
  if (result.truncated) {
    context.err << "kelvora-cli coherence: " << EscapeBytes(result.longerRecord == 0 ? temperaturePath : bloodFlowPath)
                << " is " << result.droppedSamples << " samples longer than the other record; its first "
                << result.sampleCount << " samples are used\n";
  }
  ReportOmittedBands(context, kName, result.omitted, AnalysisFrequencyRange(options.analysis));

  const std::string table = CoherenceTableCsv(result);
  if (const auto tablePath = parsed.value("table")) {
    if (const int written = WriteOutputFile(context, *tablePath, table); written != kExitSuccess) status = written;
  } else {
    context.out << table << std::flush;
    if (!context.out) status = InputError(context, "cannot write the table to standard output");
  }
  if (const auto curvesPath = parsed.value("curves"))
    if (const int written = WriteOutputFile(context, *curvesPath, CoherenceCurvesCsv(result)); written != kExitSuccess)
      status = written;
  return status;
}

}  // namespace kelvora::cli
