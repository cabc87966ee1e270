// The analysis options of analyze and coherence, and what else the two commands share.
#include "cli/analysis_cli.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "cli/command_support.h"
#include "core/text_helpers.h"
#include "formats/signal_file.h"

namespace kelvora::cli {
namespace {

std::string BandSetErrorText(const BandSetError& error) {
  const std::string item = "item " + std::to_string(error.item) + " '" + EscapeBytes(error.text) + "'";
  switch (error.kind) {
    case BandSetErrorKind::kEmpty: return "--bands needs default, six or NAME:LO:HI,...";
    case BandSetErrorKind::kMissingField: return "--bands " + item + " is not NAME:LO:HI";
    case BandSetErrorKind::kEmptyName: return "--bands " + item + " has no name";
    case BandSetErrorKind::kBadNumber: return "--bands item " + std::to_string(error.item) + ": '" +
                                              EscapeBytes(error.text) + "' is not a number of Hz";
    case BandSetErrorKind::kBadRange: return "--bands " + item + " needs 0 < LO < HI";
    case BandSetErrorKind::kDuplicateName: return "--bands " + item + " names a band given before";
  }
  return "--bands is not valid";
}

std::string OptionErrorText(const AnalysisError& error, const AnalysisOptions& options) {
  switch (error.kind) {
    case AnalysisErrorKind::kBadFrequencyRange:
      return "--fmin and --fmax need 0 < fmin <= fmax <= fs/2 = " +
             FormatSignalValue(options.sampleRateHz / 2.0, '.', ValuePrecision::kFull) + " Hz";
    case AnalysisErrorKind::kNoFrequencies: return "no frequency of the grid lies between --fmin and --fmax";
    default: return "the analysis options are not valid";
  }
}

}  // namespace

std::vector<OptionDef> AnalysisOptionDefs() {
  return {{"bands", 0, "SET", "default, six, or NAME:LO:HI,... in Hz (default: default)"},
          {"f0", 0, "F", "Morlet centre frequency, 0.5 .. 3 (default 1)"},
          {"voices", 0, "V", "frequencies per octave, 1 .. 128 (default 32)"},
          {"fmin", 0, "HZ", "lowest frequency (default 0.005)"},
          {"fmax", 0, "HZ", "highest frequency, at most fs/2 (default min(2, fs/3))"},
          {"detrend", 0, "MODE", "none, mean, linear or cubic (default cubic)"},
          {"threads", 0, "N", "worker threads, 1 .. 32 (default: the number of cores); never more than the cores are used"}};
}

std::optional<std::string> ReadAnalysisOptions(const ParsedArgs& parsed, int sampleRateHz, AnalysisOptions& options) {
  options.sampleRateHz = sampleRateHz;
  if (const auto text = parsed.value("bands")) {
    const BandSetParse bands = ParseBandSet(*text);
    if (!bands.ok()) return BandSetErrorText(*bands.error);
    options.bands = bands.bands;
  }
  struct RealOption {
    const char* name;
    double& target;
    const char* rule;
  };
  for (const RealOption& option : {RealOption{"f0", options.centreFrequency, "a number from 0.5 to 3"},
                                   RealOption{"fmin", options.minFrequencyHz, "a positive number of Hz"},
                                   RealOption{"fmax", options.maxFrequencyHz, "a positive number of Hz"}}) {
    const auto text = parsed.value(option.name);
    if (!text) continue;
    const std::optional<double> value = ParseRealValue(*text);
    const bool inRange = value && (std::string(option.name) == "f0"
                                       ? *value >= kMinCentreFrequency && *value <= kMaxCentreFrequency
                                       : *value > 0.0);
    if (!inRange) return "--" + std::string(option.name) + " needs " + option.rule + ", not '" + *text + "'";
    option.target = *value;
  }
  if (const auto text = parsed.value("voices")) {
    const std::optional<long long> value = ParseIntegerValue(*text);
    if (!value || *value < 1 || *value > kMaxVoicesPerOctave)
      return "--voices needs a whole number from 1 to 128, not '" + *text + "'";
    options.voicesPerOctave = static_cast<int>(*value);
  }
  if (const auto text = parsed.value("threads")) {
    const std::optional<long long> value = ParseIntegerValue(*text);
    if (!value || *value < 1 || *value > kMaxAnalysisThreads)
      return "--threads needs a whole number from 1 to 32, not '" + *text + "'";
    options.threads = static_cast<int>(*value);
  }
  if (const auto text = parsed.value("detrend")) {
    static const std::pair<const char*, DetrendMode> kModes[] = {
        {"none", DetrendMode::kNone}, {"mean", DetrendMode::kMean}, {"linear", DetrendMode::kLinear},
        {"cubic", DetrendMode::kCubic}};
    const auto mode =
        std::find_if(std::begin(kModes), std::end(kModes), [&](const auto& m) { return *text == m.first; });
    if (mode == std::end(kModes)) return "--detrend needs none, mean, linear or cubic, not '" + *text + "'";
    options.detrend = mode->second;
  }
  if (const auto fault = CheckAnalysisOptions(options)) return OptionErrorText(*fault, options);
  return std::nullopt;
}

std::string AnalysisErrorText(const AnalysisError& error) {
  switch (error.kind) {
    case AnalysisErrorKind::kNoSamples: return "no samples";
    case AnalysisErrorKind::kNonFiniteSample:
      return "sample " + std::to_string(error.sample + 1) + " is not a finite number";
    case AnalysisErrorKind::kTooLong: return "the record is too long for the transform";
    case AnalysisErrorKind::kOutOfMemory: return "not enough memory for the transform";
    case AnalysisErrorKind::kValuesTooLarge: return "the values are too large for the transform";
    case AnalysisErrorKind::kStopped: return "the analysis was stopped";
    default: return "the analysis options are not valid";
  }
}


void ReportOmittedBands(CliContext& context, const std::string& command, const std::vector<AnalysisBand>& omitted,
                        FrequencyBand analysed) {
  for (const AnalysisBand& band : omitted) {
    context.err << "kelvora-cli " << command << ": band " << band.name << " ("
                << FormatSignalValue(band.range.low, '.', ValuePrecision::kFull) << " .. "
                << FormatSignalValue(band.range.high, '.', ValuePrecision::kFull) << " Hz) lies outside the analysed "
                << FormatSignalValue(analysed.low, '.', ValuePrecision::kFull) << " .. "
                << FormatSignalValue(analysed.high, '.', ValuePrecision::kFull) << " Hz and is left out\n";
  }
}

int WriteOutputFile(CliContext& context, const std::string& path, const std::string& text) {
  if (const auto error = WriteTextFileAtomically(path, text)) return InputError(context, DescribeRecordFileError(RecordErrorOf(*error)));
  return kExitSuccess;
}

std::vector<OptionDef> CoherenceOptionDefs() {
  return {{"surrogates", 0, "N", "IAAFT surrogate pairs for the significance, 0 .. 10000 (default 100)"},
          {"seed", 0, "S", "seed of the surrogates, a whole number >= 0 (default 1)"},
          {"lambda", 0, "L", "thermal conductivity of the tissue, W/(m*K) (default 0.33)"},
          {"rho", 0, "R", "tissue density, kg/m^3 (default 1057)"},
          {"heat-capacity", 0, "C", "tissue heat capacity, J/(kg*K) (default 3780)"}};
}

std::optional<std::string> ReadCoherenceOptions(const ParsedArgs& parsed, CoherenceOptions& options) {
  if (const auto text = parsed.value("surrogates")) {
    const std::optional<long long> value = ParseIntegerValue(*text);
    if (!value || *value < 0 || *value > kMaxSurrogatePairs)
      return "--surrogates needs a whole number from 0 to " + std::to_string(kMaxSurrogatePairs) + ", not '" +
             EscapeBytes(*text) + "'";
    options.surrogatePairs = static_cast<int>(*value);
  }
  if (const auto text = parsed.value("seed")) {
    const std::optional<long long> value = ParseIntegerValue(*text);
    if (!value || *value < 0) return "--seed needs a whole number >= 0, not '" + EscapeBytes(*text) + "'";
    options.seed = static_cast<std::uint64_t>(*value);
  }
  struct TissueOption {
    const char* name;
    double& target;
  };
  for (const TissueOption& option : {TissueOption{"lambda", options.tissue.lambda},
                                     TissueOption{"rho", options.tissue.rho},
                                     TissueOption{"heat-capacity", options.tissue.heatCapacity}}) {
    const auto text = parsed.value(option.name);
    if (!text) continue;
    const std::optional<double> value = ParseRealValue(*text);
    if (!value || !(*value > 0.0))
      return "--" + std::string(option.name) + " needs a positive number, not '" + EscapeBytes(*text) + "'";
    option.target = *value;
  }
  if (const auto fault = CheckCoherenceOptions(options); fault && fault->kind != CoherenceErrorKind::kAnalysis)
    return "the tissue or surrogate options are not valid";
  return std::nullopt;
}

// "record too short for this band: it needs at least M min", M rounded up to a tenth.
std::string BandNoteText(const BandRow& row) {
  switch (row.note) {
    case BandNote::kNone: return {};
    case BandNote::kNoFrequency: return "no analysis frequency lies in this band";
    case BandNote::kRecordTooShort: {
      const double tenths = std::ceil(row.neededMinutes * 10.0 - 1e-9) / 10.0;
      char buffer[64];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, tenths, std::chars_format::fixed, 1);
      return "record too short for this band: it needs at least " + std::string(buffer, r.ptr) + " min";
    }
    case BandNote::kSegmentTooShort: {
      const double tenths = std::ceil(row.neededMinutes * 10.0 - 1e-9) / 10.0;
      char buffer[64];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, tenths, std::chars_format::fixed, 1);
      return "segment too short for this band: it needs at least " + std::string(buffer, r.ptr) + " min";
    }
    case BandNote::kSegmentOutsideCone: return "the segment lies outside the cone of influence for this band";
  }
  return {};
}

}  // namespace kelvora::cli
