// kelvora-cli coherence: the wavelet phase coherence of a T and a BF record, its significance against IAAFT
// surrogates, the lag of T behind BF and the depth of the heat source the thermal wave implies, per band.
#include <algorithm>
#include <cctype>
#include <functional>
#include <initializer_list>
#include <limits>


#include "analysis/analysis_csv.h"
#include "analysis/analysis_mat.h"
#include "analysis/coherence_modes.h"
#include "analysis/coherence_over_time_output.h"
#include "analysis/phase_coherence.h"
#include "analysis/png_encoder.h"
#include "cli/analysis_cli.h"
#include "cli/command_support.h"
#include "cli/marker_cli.h"
#include "cli/console_progress.h"
#include "core/text_helpers.h"

namespace kelvora::cli {
namespace {

const char* kName = "coherence";
// The picture of the coherence over time is at least this many pixels high.
constexpr int kOverTimeMinHeight = 400;

std::vector<OptionDef> CoherenceCommandOptionDefs() {
  std::vector<OptionDef> options = AnalysisOptionDefs();
  const std::vector<OptionDef> coherence = CoherenceOptionDefs();
  options.insert(options.end(), coherence.begin(), coherence.end());
  const std::vector<OptionDef> own = {
      {"table", 0, "FILE", "write the band table here (default: standard output)"},
      {"curves", 0, "FILE", "write frequency_hz,coherence,threshold,lag_s,depth_mm here"},
      {"over-time", 0, "FILE", "write the coherence over time as a picture (.png) or a matrix (.csv)"},
      {"window-cycles", 0, "C", "the window of the coherence over time, in periods of each frequency (default 10)"},
      {"compat", 0, "moda", "compute as MODA does (wavelet, preprocessing, padding, amplitude, surrogates, rule)"},
      {"surrogates-of", 0, "bf|t|both", "which records get surrogates (default both; --compat moda: bf)"},
      {"threshold-rule", 0, "weibull|rank", "the surrogate threshold (default weibull; --compat moda: rank)"},
      {"wavelet", 0, "sampled|band-limited", "the Morlet kernel (default sampled; --compat moda: band-limited)"},
      {"preprocess", 0, "detrend|moda", "detrend as --detrend says, or MODA's cubic fit and band-pass"},
      {"padding", 0, "zero|predictive", "the padding of the transform (default zero; --compat moda: predictive)"},
      {"amplitude-scale", 0, "full|half", "A or A/2 for a cosine of amplitude A (default full; --compat moda: half)"},
      {"mat", 0, "FILE", "write the band table and the curves to a MATLAB file"}};
  options.insert(options.end(), own.begin(), own.end());
  options.push_back(SegmentsOptionDef());
  for (const std::vector<OptionDef>& more : {MarkerSourceOptionDefs(), OcclusionFinderOptionDefs()})
    options.insert(options.end(), more.begin(), more.end());
  return options;
}

// True when the name ends in the suffix, whatever the case of its letters.
bool EndsWith(std::string text, const std::string& suffix) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A choice among named values: the index of `text` in `names`, or nothing.
std::optional<int> Choice(const std::string& text, const std::vector<const char*>& names) {
  int index = 0;
  for (const char* name : names) {
    if (text == name) return index;
    ++index;
  }
  return std::nullopt;
}

// --compat and the single choices it sets, then the coherence over time; gives a usage error text.
std::optional<std::string> ReadModeOptions(const ParsedArgs& parsed, CoherenceModeOptions& modes, bool& needed) {
  needed = false;
  if (const auto text = parsed.value("compat")) {
    if (*text != "moda") return "--compat needs moda, not '" + EscapeBytes(*text) + "'";
    modes.transform = ModaTransformForm();
    modes.surrogatesOf = SurrogatesOf::kBloodFlow;
    modes.thresholdRule = ThresholdRule::kRank;
    needed = true;
  }
  struct Single {
    const char* name;
    std::vector<const char*> names;
    std::function<void(int)> set;
  };
  const Single singles[] = {
      {"surrogates-of", {"both", "bf", "t"}, [&](int i) { modes.surrogatesOf = static_cast<SurrogatesOf>(i); }},
      {"threshold-rule", {"weibull", "rank"}, [&](int i) { modes.thresholdRule = static_cast<ThresholdRule>(i); }},
      {"wavelet", {"sampled", "band-limited"}, [&](int i) { modes.transform.wavelet = static_cast<WaveletForm>(i); }},
      {"preprocess", {"detrend", "moda"},
       [&](int i) { modes.transform.preprocessing = static_cast<PreprocessingForm>(i); }},
      {"padding", {"zero", "predictive"}, [&](int i) { modes.transform.padding = static_cast<PaddingForm>(i); }},
      {"amplitude-scale", {"full", "half"},
       [&](int i) { modes.transform.amplitude = static_cast<AmplitudeScale>(i); }},
  };
  for (const Single& single : singles) {
    const auto text = parsed.value(single.name);
    if (!text) continue;
    const std::optional<int> index = Choice(*text, single.names);
    if (!index) {
      std::string list;
      for (const char* name : single.names) list += (list.empty() ? "" : "|") + std::string(name);
      return "--" + std::string(single.name) + " needs " + list + ", not '" + EscapeBytes(*text) + "'";
    }
    single.set(*index);
    needed = true;
  }
  if (const auto text = parsed.value("window-cycles")) {
    const std::optional<double> value = ParseRealValue(*text);
    if (!value || !(*value > 0.0) || !(*value <= kMaxWindowCycles))
      return "--window-cycles needs a number above 0 and at most 1000, not '" + EscapeBytes(*text) + "'";
    modes.windowCycles = *value;
  }
  if (const auto text = parsed.value("over-time")) {
    if (!EndsWith(*text, ".png") && !EndsWith(*text, ".csv"))
      return "--over-time needs a file name ending in .png or .csv, not '" + EscapeBytes(*text) + "'";
    modes.overTime = true;
    needed = true;
  } else if (parsed.has("window-cycles")) {
    return "--window-cycles goes with --over-time FILE";
  }
  return std::nullopt;
}

// The options beyond the analysis ones; gives a usage error text for a bad value.
std::optional<std::string> ReadOwnOptions(const ParsedArgs& parsed, CoherenceOptions& options) {
  if (const auto error = ReadCoherenceOptions(parsed, options)) return error;
  for (const char* name : {"table", "curves", "mat"}) {
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
    case CoherenceErrorKind::kBadWindow: return "--window-cycles needs a positive number of cycles";
  }
  return "the coherence failed";
}

}  // namespace

int RunCoherence(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, CoherenceCommandOptionDefs(),
        "coherence T_INPUT BF_INPUT [--surrogates N] [--seed S] [--bands SET] [--lambda L --rho R "
        "--heat-capacity C] [--table FILE] [--curves FILE] [--over-time FILE.png|FILE.csv [--window-cycles C]] "
        "[--compat moda] [--surrogates-of bf|t|both] [--threshold-rule weibull|rank] [--mat FILE.mat] [options]",
        "The wavelet phase coherence of a temperature record T_INPUT (read with the kelvin check) and a blood-flow\n"
        "record BF_INPUT of one rate: both are transformed as analyze does (a longer record is cut to the shorter\n"
        "one), and at each frequency f Pi(f) = |mean of exp(i (phi_BF - phi_T))| over the time inside the cone of\n"
        "influence. Its angle is the phase by which T lags BF, the lag dt = angle / (2 pi f) seconds. Pi(f) is\n"
        "significant above the 95th percentile of the coherences of --surrogates pairs of IAAFT surrogates (the\n"
        "same --seed gives the same threshold). Where it is significant and 0 < dt < 1 / (2 f), the thermal wave\n"
        "puts the heat source at the depth x = 2 dt sqrt(pi f lambda / (rho c)). The band table has a CSV line per\n"
        "band, band,low_hz,high_hz,coherence,threshold,significant_share,lag_s,depth_mm: the means of Pi, of the\n"
        "threshold and of dt over the band's frequencies, the share of them that is significant and the median\n"
        "depth in mm, in full precision with '.' decimals, a field empty where there is no value; depth_amp_mm is\n"
        "the depth from the amplitudes: over the band's significant frequencies, the least-squares slope s of\n"
        "ln(A_T / A_BF) against sqrt(f) (A the mean |W| inside the cone) gives x = -s / sqrt(pi rho c / lambda).\n"
        "\n"
        "--over-time FILE: the coherence over time TPC(f, n) = |sum of exp(i (phi_BF - phi_T)) over the w samples\n"
        "around n| / w, w = round(C fs / f) made odd (--window-cycles C, default 10), where the whole window lies\n"
        "inside the cone; a .csv matrix as analyze --scalogram writes (column means), or a .png picture with the\n"
        "area above the threshold (the 95th percentile of the surrogates' TPC pooled over time) outlined in white.\n"
        "\n"
        "--compat moda computes as the MODA toolbox (Lancaster University) does, from its published definitions:\n"
        "the frequency-domain Morlet with the admissibility term, exp(-(w0 - xi)^2 / 2) - exp(-(w0^2 + xi^2) / 2),\n"
        "at positive frequencies only; its preprocessing (the least-squares cubic removed, then an FFT band-pass\n"
        "to fmin .. fmax); predictive padding (the record continued by its fitted sinusoids) to a power of two;\n"
        "amplitudes of A/2 for a cosine of amplitude A; surrogates of BF only; and the rank rule (the K-th largest\n"
        "of N surrogate values, K = floor((N + 1) 0.05)). Each choice also stands alone: --wavelet, --preprocess,\n"
        "--padding, --amplitude-scale, --surrogates-of, --threshold-rule (given with --compat, they override it).\n"
        "Sources: MODA's wt.m (wavelet transform, D. Iatsenko), tlphcoh.m (time-localised phase coherence) and\n"
        "surrcalc.m (surrogates); D. Iatsenko, P. V. E. McClintock, A. Stefanovska, Digital Signal Processing 42\n"
        "(2015) 1-26; V. Ticcinelli et al., Frontiers in Physiology 8 (2017) 749.\n"
        "\n"
        "--segments (as for analyze; markers are those of BF_INPUT) gives one table per segment, segment,start_s,\n"
        "end_s first: the averages over the segment's samples inside the cone of the whole records' transforms\n"
        "(depth_amp_mm is left empty there).\n"
        "--mat writes a MATLAB file with the structs 'coherence_bands' and 'coherence_curves' (a column per\n"
        "field; a value that may be empty is 0 where it is, beside its 0/1 column NAME_valid) and fs.",
        line, InputCount::kExactlyTwo))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  line.options.maxRecordSamples = kMaxAnalysisRecordSamples;
  if (parsed.has("output")) return UsageError(context, kName, "the band table goes to --table FILE, not --output");
  CoherenceOptions options;
  if (const auto error = ReadAnalysisOptions(parsed, line.options.sampleRateHz, options.analysis))
    return UsageError(context, kName, *error);
  if (const auto error = ReadOwnOptions(parsed, options)) return UsageError(context, kName, *error);
  CoherenceModeOptions modes;
  bool modesNeeded = false;
  if (const auto error = ReadModeOptions(parsed, modes, modesNeeded)) return UsageError(context, kName, *error);

  const std::string& temperaturePath = parsed.positionals[0];
  const std::string& bloodFlowPath = parsed.positionals[1];
  int status = kExitSuccess;
  const std::optional<SignalRecord> temperature = LoadInput(context, line.options, temperaturePath, true, status);
  if (!temperature) return status;
  InputDetails bloodFlowDetails;
  const std::optional<SignalRecord> bloodFlow =
      LoadInput(context, line.options, bloodFlowPath, false, status, &bloodFlowDetails);
  if (!bloodFlow) return status;
  const std::optional<std::vector<Segment>> segments =
      ReadSegments(context, line.options, parsed, bloodFlowPath, *bloodFlow, bloodFlowDetails, status);
  if (!segments) return status;
  if (parsed.has("segments") && parsed.has("curves"))
    return UsageError(context, kName, "--curves describes the whole records; leave out --segments for it");
  // An imported record sets the rate: the options again at the records' rate.
  if (const auto error = ReadAnalysisOptions(parsed, line.options.sampleRateHz, options.analysis))
    return UsageError(context, kName, *error);

  if (parsed.has("segments") && modesNeeded)
    return UsageError(context, kName, "--segments goes with the plain coherence only, not with --compat or its choices");
  options.segments = *segments;
  CoherenceModeOutcome outcome;
  {
    ConsoleProgress progress(context.err, line.options.progress, kName);
    if (modesNeeded) {
      modes.coherence = options;
      outcome = AnalyzeCoherenceModes(temperature->values, bloodFlow->values, modes, progress);
    } else {
      // The plain run, and the amplitudes for the depth from them.
      CoherenceOutcome plain = AnalyzeCoherence(temperature->values, bloodFlow->values, options, progress);
      outcome.error = plain.error;
      outcome.result.coherence = std::move(plain.result);
      if (plain.ok()) {
        AnalysisAmplitudes(temperature->values, bloodFlow->values, options.analysis, outcome.result.amplitudeT,
                           outcome.result.amplitudeBF);
        AddAmplitudeDepths(outcome.result.coherence, outcome.result.amplitudeT, outcome.result.amplitudeBF,
                           options.tissue);
      }
    }
  }
  if (!outcome.ok()) return InputError(context, CoherenceErrorText(*outcome.error, temperaturePath, bloodFlowPath));
  const CoherenceResult& result = outcome.result.coherence;
  if (result.truncated) {
    context.err << "kelvora-cli coherence: " << EscapeBytes(result.longerRecord == 0 ? temperaturePath : bloodFlowPath)
                << " is " << result.droppedSamples << " samples longer than the other record; its first "
                << result.sampleCount << " samples are used\n";
  }
  ReportOmittedBands(context, kName, result.omitted, AnalysisFrequencyRange(options.analysis));

  const std::string table = parsed.has("segments") ? SegmentCoherenceTableCsv(result) : CoherenceTableCsv(result);
  if (const auto tablePath = parsed.value("table")) {
    if (const int written = WriteOutputFile(context, *tablePath, table); written != kExitSuccess) status = written;
  } else {
    context.out << table << std::flush;
    if (!context.out) status = InputError(context, "cannot write the table to standard output");
  }
  if (const auto matPath = parsed.value("mat"))
    if (const auto error = WriteMatFile(*matPath, CoherenceMat(result)))
      status = InputError(context, DescribeRecordFileError(*error));
  if (const auto curvesPath = parsed.value("curves"))
    if (const int written = WriteOutputFile(context, *curvesPath, CoherenceCurvesCsv(result)); written != kExitSuccess)
      status = written;
  if (const auto overTimePath = parsed.value("over-time"); overTimePath && outcome.result.overTime) {
    const CoherenceOverTime& map = *outcome.result.overTime;
    std::string bytes;
    if (EndsWith(*overTimePath, ".png")) {
      const int rows = std::max(1, static_cast<int>(map.frequenciesHz.size()));
      bytes = EncodePng(RenderCoherenceOverTime(map, std::max(1, (kOverTimeMinHeight + rows - 1) / rows)));
    } else {
      bytes = CoherenceOverTimeCsv(map);
    }
    if (const int written = WriteOutputFile(context, *overTimePath, bytes); written != kExitSuccess) status = written;
  }
  return status;
}

}  // namespace kelvora::cli
