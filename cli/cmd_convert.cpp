// kelvora-cli convert: the Transform page's conversions, T -> BF* and BF -> T*, through the same session the
// desktop window drives.
#include <climits>
#include <cmath>
#include <memory>

#include "cli/command_support.h"
#include "cli/console_progress.h"
#include "cli/wavelet_cli.h"
#include "core/text_helpers.h"
#include "signals/transform_session.h"

namespace kelvora::cli {
namespace {

const char* kName = "convert";

std::vector<OptionDef> ConvertOptions() {
  return {
      {"method", 0, "fourier|wavelet|shitzer", "conversion method (required)"},
      {"direction", 0, "t2bf|bf2t", "T -> BF* or BF -> T* (required)"},
      {"band", 0, "LO:HI", "T band (t2bf, default 0:0.1) or BF band (bf2t, default 0:2), Hz"},
      {"model", 0, "thermal|derivative", "Fourier and wavelet model (default thermal)"},
      {"lambda", 0, "L", "thermal conductivity, W/(m*K) (default 0.33)"},
      {"rho", 0, "R", "tissue density, kg/m^3, integer (default 1057)"},
      {"heat-capacity", 0, "C", "tissue heat capacity, J/(kg*K), integer (default 3780)"},
      {"depth-mm", 0, "D", "depth of the thermal wave, mm (default 2)"},
      {"wavelet", 0, "morlet|paul", "wavelet of the wavelet method (default morlet)"},
      {"threads", 0, "N", "worker threads of the wavelet method, 1..32"},
      {"wavelet-delays", 0, "corrected|legacy",
       "delays of the wavelet method (default corrected: each scale through the thermal wave of its own "
       "frequency at --depth-mm; legacy: the earlier formulas to the letter, depth fixed at 2 mm)"},
      {"rho-skin", 0, "N", "Shitzer: skin density, kg/m^3 (default 1057)"},
      {"c-skin", 0, "N", "Shitzer: skin heat capacity, J/(kg*K) (default 3780)"},
      {"rho-blood", 0, "N", "Shitzer: blood density, kg/m^3 (default 1069)"},
      {"c-blood", 0, "N", "Shitzer: blood heat capacity, J/(kg*K) (default 3650)"},
      {"h-air", 0, "N", "Shitzer: heat-transfer coefficient to air, W*K/m^2 (default 6)"},
      {"t-air", 0, "N", "Shitzer: air temperature, degrees C (default 24)"},
      {"t0", 0, "T", "Shitzer: start temperature of BF -> T*, degrees C (default 36.24)"},
      {"nonlinear", 0, "", "\"Nonlinear Relationship\": BF*^1.5 (Fourier) or T*^(2/3)"},
      {"scaling", 0, "normalized|absolute|scaled", "scaling of the result (default normalized)"},
      {"scale-a", 0, "A", "a of a*x + b with --scaling scaled (default 1)"},
      {"scale-b", 0, "B", "b of a*x + b with --scaling scaled (default 0)"},
      {"compare", 0, "FILE", "the measured record of the other kind; prints \"Correlation: R\""},
  };
}

// Reads an integer option into `target`; gives an error text for a malformed or out-of-range value.
std::optional<std::string> ReadInteger(const ParsedArgs& parsed, const std::string& name, int& target,
                                       long long minimum) {
  const std::optional<std::string> text = parsed.value(name);
  if (!text) return std::nullopt;
  const std::optional<long long> value = ParseIntegerValue(*text);
  if (!value || *value < minimum || *value > INT_MAX)
    return "--" + name + " needs an integer" + (minimum > INT_MIN ? " >= " + std::to_string(minimum) : "") +
           ", not '" + *text + "'";
  target = static_cast<int>(*value);
  return std::nullopt;
}

// Reads a real option into `target`; `positive` refuses values <= 0, otherwise values < 0 unless `anySign`.
std::optional<std::string> ReadReal(const ParsedArgs& parsed, const std::string& name, double& target,
                                    bool positive, bool anySign) {
  const std::optional<std::string> text = parsed.value(name);
  if (!text) return std::nullopt;
  const std::optional<double> value = ParseRealValue(*text);
  if (!value || (positive && !(*value > 0)) || (!positive && !anySign && *value < 0))
    return "--" + name + " needs a " + (positive ? "positive " : (anySign ? "" : "non-negative ")) +
           "number, not '" + *text + "'";
  target = *value;
  return std::nullopt;
}

struct ConvertSettings {
  ConversionMethod method = ConversionMethod::Fourier;
  bool toBloodFlow = true;
  std::optional<FrequencyBand> band;
  ConversionModel model = ConversionModel::ThermalWave;
  TissueParameters tissue;
  double startTemperature = kDefaultStartTemperatureC;
  bool nonlinear = false;
  ScalingMode scaling = ScalingMode::Normalized;
  double a = 1.0;
  double b = 0.0;
  std::shared_ptr<WaveletMethods> wavelet;  // --method wavelet: the wavelet type and thread count
};

// Gives a usage error text, or nothing when every option is valid for the method.
std::optional<std::string> ReadSettings(const ParsedArgs& parsed, ConvertSettings& s) {
  const std::optional<std::string> method = parsed.value("method");
  if (!method) return "--method fourier|wavelet|shitzer is required";
  if (*method == "fourier") {
    s.method = ConversionMethod::Fourier;
  } else if (*method == "shitzer") {
    s.method = ConversionMethod::Shitzer;
  } else if (*method == "wavelet") {
    s.method = ConversionMethod::Wavelet;
  } else {
    return "unknown method '" + *method + "' (fourier, wavelet or shitzer)";
  }
  const std::optional<std::string> direction = parsed.value("direction");
  if (!direction) return "--direction t2bf|bf2t is required";
  if (*direction != "t2bf" && *direction != "bf2t") return "unknown direction '" + *direction + "' (t2bf or bf2t)";
  s.toBloodFlow = *direction == "t2bf";

  if (s.method == ConversionMethod::Wavelet) {
    if (!s.toBloodFlow) return "method wavelet converts only t2bf";
    s.wavelet = std::make_shared<WaveletMethods>();
    if (const auto error = ReadWaveletOptions(parsed, *s.wavelet)) return error;
    if (const auto rule = parsed.value("wavelet-delays")) {
      if (*rule == "corrected") {
        s.wavelet->setDelayRule(WaveletDelayRule::Corrected);
      } else if (*rule == "legacy") {
        s.wavelet->setDelayRule(WaveletDelayRule::Legacy);
      } else {
        return "--wavelet-delays needs corrected or legacy, not '" + *rule + "'";
      }
    }
  } else if (parsed.has("wavelet") || parsed.has("threads") || parsed.has("wavelet-delays")) {
    return "--wavelet, --threads and --wavelet-delays belong to --method wavelet";
  }
  const bool shitzer = s.method == ConversionMethod::Shitzer;
  for (const char* name : {"model", "lambda", "rho", "heat-capacity", "depth-mm"})
    if (shitzer && parsed.has(name)) return "--" + std::string(name) + " belongs to --method fourier or wavelet";
  for (const char* name : {"rho-skin", "c-skin", "rho-blood", "c-blood", "h-air", "t-air", "t0"})
    if (!shitzer && parsed.has(name)) return "--" + std::string(name) + " belongs to --method shitzer";

  if (const std::optional<std::string> text = parsed.value("band")) {
    const std::optional<FrequencyBand> band = ParseRangeValue(*text);
    if (!band || band->low < 0 || band->low > band->high)
      return "--band needs LO:HI in Hz with 0 <= LO <= HI, not '" + *text + "'";
    s.band = band;
  }
  if (const std::optional<std::string> model = parsed.value("model")) {
    if (*model == "thermal") {
      s.model = ConversionModel::ThermalWave;
    } else if (*model == "derivative") {
      s.model = ConversionModel::Derivative;
    } else {
      return "unknown model '" + *model + "' (thermal or derivative)";
    }
  }
  double depthMm = s.tissue.wave.depthM * 1000.0;
  int heatCapacity = static_cast<int>(s.tissue.wave.heatCapacity);
  for (const auto& error :
       {ReadReal(parsed, "lambda", s.tissue.wave.lambda, true, false),
        ReadInteger(parsed, "rho", s.tissue.shitzer.rhoSkin, 1),
        ReadInteger(parsed, "heat-capacity", heatCapacity, 1),
        ReadReal(parsed, "depth-mm", depthMm, false, false),
        ReadInteger(parsed, "rho-skin", s.tissue.shitzer.rhoSkin, 1),
        ReadInteger(parsed, "c-skin", s.tissue.shitzer.cSkin, 1),
        ReadInteger(parsed, "rho-blood", s.tissue.shitzer.rhoBlood, 1),
        ReadInteger(parsed, "c-blood", s.tissue.shitzer.cBlood, 1),
        ReadInteger(parsed, "h-air", s.tissue.shitzer.hAir, INT_MIN),
        ReadInteger(parsed, "t-air", s.tissue.shitzer.tAir, INT_MIN),
        ReadReal(parsed, "t0", s.startTemperature, false, true),
        ReadReal(parsed, "scale-a", s.a, false, true),
        ReadReal(parsed, "scale-b", s.b, false, true)}) {
    if (error) return error;
  }
  s.tissue.wave.depthM = depthMm / 1000.0;
  s.tissue.wave.heatCapacity = heatCapacity;
  s.tissue.wave.rho = s.tissue.shitzer.rhoSkin;  // --rho and --rho-skin set the one skin density
  s.nonlinear = parsed.has("nonlinear");
  if (const std::optional<std::string> scaling = parsed.value("scaling")) {
    if (*scaling == "normalized") {
      s.scaling = ScalingMode::Normalized;
    } else if (*scaling == "absolute") {
      s.scaling = ScalingMode::Absolute;
    } else if (*scaling == "scaled") {
      s.scaling = ScalingMode::Scaled;
    } else {
      return "unknown scaling '" + *scaling + "' (normalized, absolute or scaled)";
    }
  }
  if ((parsed.has("scale-a") || parsed.has("scale-b")) && s.scaling != ScalingMode::Scaled)
    return "--scale-a and --scale-b belong to --scaling scaled";
  return std::nullopt;
}

int RunConversion(CliContext& context, const ParsedArgs& parsed, CommonOptions& options, const ConvertSettings& s) {
  // Both records are read first, so that a bad --compare file stops the command before the long work.
  const std::string& input = parsed.positionals.front();
  const std::optional<std::string> compare = parsed.value("compare");
  int status = kExitSuccess;
  const std::optional<SignalRecord> record = LoadInput(context, options, input, s.toBloodFlow, status);
  if (!record) return status;
  std::optional<SignalRecord> measured;
  if (compare) {
    measured = LoadInput(context, options, *compare, !s.toBloodFlow, status);
    if (!measured) return status;
  }

  const char separator = context.format.separator;
  TransformSession session;
  if (s.wavelet) InstallWaveletMethods(session, s.wavelet);
  session.setDecimalSeparator(separator);
  session.setSampleRate(options.sampleRateHz);
  session.setMethod(s.method);
  session.setModel(s.model);
  session.setTissueParameters(s.tissue);
  session.setStartTemperatureText(FormatRealText(s.startTemperature, separator));
  session.setNonlinear(s.nonlinear);
  session.setScalingMode(s.scaling);
  for (Side side : {Side::Temperature, Side::BloodFlow})
    session.setScalingTexts(side, FormatRealText(s.a, separator), FormatRealText(s.b, separator));
  // The band goes into the band table; the edit texts stay at their defaults, so a load does not filter (the
  // conversion itself does not use the filtered record).
  const Side side = s.toBloodFlow ? Side::Temperature : Side::BloodFlow;
  if (s.band) session.setBand(side, s.band->low, s.band->high);

  std::vector<double> converted;
  std::string correlation;
  {
    // The bar's line ends when it goes out of scope, before anything is written.
    ConsoleProgress progress(context.err, options.progress, kName);
    const auto load = [&](const SignalRecord& r, const std::string& path, Side into) {
      const SessionResult result = session.LoadRecord(into, r, path, progress);
      if (!result.notice.empty()) context.err << "kelvora-cli: " << path << ": " << result.notice << "\n";
      return result;
    };
    SessionResult result = load(*record, input, side);
    if (!result.ok()) return InputError(context, input + ": " + result.error);

    result = session.Convert(side, progress);
    if (!result.ok()) return InputError(context, input + ": " + result.error);
    converted = session.converted(side);

    if (compare) {
      // Loading the other record resets only the other side, so the converted record stays.
      result = load(*measured, *compare, OtherSide(side));
      if (!result.ok()) return InputError(context, *compare + ": " + result.error);
      result = session.Correlate(side);
      if (!result.ok()) return InputError(context, *compare + ": " + result.error);
      correlation = "Correlation: " + FormatRealText(RoundedCorrelation(*session.correlation(side)), '.');
    }
  }

  const int emitted = EmitSignal(context, options, converted);
  if (emitted != kExitSuccess) return emitted;
  if (compare) context.out << correlation << "\n";
  return kExitSuccess;
}

}  // namespace

int RunConvert(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, ConvertOptions(),
        "convert --method fourier|wavelet|shitzer --direction t2bf|bf2t INPUT [options]",
        "Converts a temperature record into blood flow (t2bf, INPUT read with the kelvin check) or a\n"
        "blood-flow record into temperature (bf2t), as the Transform page does. The converted record is\n"
        "written to --output; with --compare the correlation with the measured record follows it.", line))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  CommonOptions& options = line.options;
  ConvertSettings settings;
  if (const auto error = ReadSettings(parsed, settings)) return UsageError(context, kName, *error);
  return RunConversion(context, parsed, options, settings);
}

}  // namespace kelvora::cli
