// kelvora-cli filter: the band filter of the Fourier filtration page (frequency or amplitude filtering).
#include "cli/command_support.h"
#include "cli/console_progress.h"
#include "cli/wavelet_cli.h"
#include "core/band_filter.h"
#include "core/band_transform.h"

namespace kelvora::cli {
namespace {

const char* kName = "filter";

// The band of amplitude filtering on the Fourier page.
constexpr FrequencyBand kAmplitudeBand{0.0, 1.0};

std::vector<OptionDef> FilterOptions() {
  return {
      {"method", 0, "fourier|wavelet", "filtering method (required)"},
      {"band", 0, "LO:HI", "band in Hz; required unless --amplitude"},
      {"amplitude", 0, "PLO:PHI", "Fourier amplitude filtering over 0..1 Hz: keep bins within PLO..PHI % of |C[1]|"},
      {"wavelet", 0, "morlet|paul", "wavelet of the wavelet method (default morlet)"},
      {"threads", 0, "N", "worker threads of the wavelet method, 1..32"},
  };
}

int RunFourierFilter(CliContext& context, const ParsedArgs& parsed, CommonOptions& options) {
  if (parsed.has("wavelet") || parsed.has("threads"))
    return UsageError(context, kName, "--wavelet and --threads belong to --method wavelet");
  const bool amplitude = parsed.has("amplitude");
  if (amplitude && parsed.has("band")) return UsageError(context, kName, "give either --band or --amplitude, not both");
  if (!amplitude && !parsed.has("band"))
    return UsageError(context, kName, "--band LO:HI is required unless --amplitude");

  BandFilterRequest request;
  FrequencyBand band = kAmplitudeBand;
  if (amplitude) {
    const std::string text = *parsed.value("amplitude");
    const std::optional<FrequencyBand> limits = ParseRangeValue(text);
    if (!limits || limits->low < 0 || limits->low > limits->high)
      return UsageError(context, kName,
                        "--amplitude needs PLO:PHI in percent with 0 <= PLO <= PHI, not '" + text + "'");
    request.slot = kFourierAmplitudeSlot;
    request.amplitudeLowPercent = limits->low;
    request.amplitudeHighPercent = limits->high;
  } else {
    const std::string text = *parsed.value("band");
    const std::optional<FrequencyBand> value = ParseRangeValue(text);
    if (!value || value->low < 0 || value->low > value->high)
      return UsageError(context, kName, "--band needs LO:HI in Hz with 0 <= LO <= HI, not '" + text + "'");
    request.slot = kFourierFrequencySlot;
    band = *value;
  }

  int status = kExitSuccess;
  const std::optional<SignalRecord> record = LoadInput(context, options, parsed.positionals.front(), false, status);
  if (!record) return status;
  request.sampleRateHz = options.sampleRateHz;
  request.signal = record->normalized;
  request.minimum = record->minimum;
  request.maximum = record->maximum;

  BandTransform transform;
  transform.setBand(request.slot, band);
  BandFilter filter(transform);
  BandFilterResult result;
  {
    ConsoleProgress progress(context.err, options.progress, "filter");
    result = filter.run(request, progress);
  }
  if (!result.ok()) return InputError(context, parsed.positionals.front() + ": the signal cannot be filtered");
  return EmitSignal(context, options, result.signalUnits);
}

}  // namespace

int RunFilter(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, FilterOptions(),
        "filter --method fourier|wavelet INPUT [--band LO:HI | --amplitude PLO:PHI] [options]",
        "Filters the signal to a band. The Fourier method writes the filtered signal in the input's own\n"
        "units ((v - 2)(max - min) + min, what the chart shows). The wavelet method (at most 3601 samples,\n"
        "run at 2 Hz) writes the reconstruction of the normalised signal as computed.", line))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  CommonOptions& options = line.options;
  const std::optional<std::string> method = parsed.value("method");
  if (!method) return UsageError(context, kName, "--method fourier|wavelet is required");
  if (*method == "fourier") return RunFourierFilter(context, parsed, options);
  if (*method == "wavelet") return RunWaveletFilter(context, parsed, options);
  return UsageError(context, kName, "unknown method '" + *method + "' (fourier or wavelet)");
}

}  // namespace kelvora::cli
