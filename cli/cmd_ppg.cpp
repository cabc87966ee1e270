// kelvora-cli ppg: the blood-flow curve of a photoplethysmogram, as the PPG page computes it.
#include "cli/command_support.h"
#include "cli/console_progress.h"
#include "signals/ppg_envelope.h"
#include "formats/ppg_file.h"

namespace kelvora::cli {
namespace {

const char* kName = "ppg";

std::vector<OptionDef> PpgOptions() {
  return {{"in-rate", 0, "HZ", "input rate of the PPG (default 50)"},
          {"out-rate", 0, "HZ", "output rate of the envelope (default 2)"},
          {"duration", 0, "S", "duration in whole seconds (default: round(last index / in-rate), as read)"},
          {"min-pulse", 0, "BPM", "lowest pulse rate (default 69)"},
          {"max-pulse", 0, "BPM", "highest pulse rate (default 120)"}};
}

// Reads a positive real option into `target`; gives an error text for a bad value.
std::optional<std::string> ReadRate(const ParsedArgs& parsed, const std::string& name, double& target) {
  const auto text = parsed.value(name);
  if (!text) return std::nullopt;
  const std::optional<double> value = ParseRealValue(*text);
  if (!value || !(*value > 0.0)) return "--" + name + " needs a positive number of Hz, not '" + *text + "'";
  target = *value;
  return std::nullopt;
}

// Reads a whole-number option of at least `minimum` into `target`.
std::optional<std::string> ReadWhole(const ParsedArgs& parsed, const std::string& name, int minimum, int& target) {
  const auto text = parsed.value(name);
  if (!text) return std::nullopt;
  const std::optional<long long> value = ParseIntegerValue(*text);
  if (!value || *value < minimum || *value > 2000000000LL) {
    return "--" + name + " needs a whole number of at least " + std::to_string(minimum) + ", not '" + *text + "'";
  }
  target = static_cast<int>(*value);
  return std::nullopt;
}

}  // namespace

int RunPpg(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, PpgOptions(),
        "ppg INPUT [--in-rate HZ] [--out-rate HZ] [--duration S] [--min-pulse BPM] [--max-pulse BPM] [options]",
        "The blood-flow curve of a photoplethysmogram: the envelope through its pulse maxima, resampled at the\n"
        "output rate and smoothed, on the 0 .. 10 scale of the PPG. INPUT has one header line, then one sample\n"
        "per line. Writes round(duration * out-rate) samples. The PPG's own rate is --in-rate (--fs is not used).", line))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  const CommonOptions& options = line.options;
  if (options.reading.any())
    return UsageError(context, kName, "INPUT is a PPG text file; the reading options are for the other commands");

  PpgEnvelopeParams params;
  for (const auto& error :
       {ReadRate(parsed, "in-rate", params.inRateHz), ReadRate(parsed, "out-rate", params.outRateHz),
        ReadWhole(parsed, "duration", 0, params.durationS), ReadWhole(parsed, "min-pulse", 1, params.lowestPulseBpm),
        ReadWhole(parsed, "max-pulse", 1, params.highestPulseBpm)}) {
    if (error) return UsageError(context, kName, *error);
  }

  const std::string& path = parsed.positionals.front();
  const PpgReadResult read = ReadPpgFile(path, params.inRateHz, context.format.separator);
  if (const std::optional<SignalFileError> error = PpgFileError(read, path))
    return InputError(context, DescribeRecordFileError(RecordErrorOf(*error)));
  if (read.status == PpgReadStatus::kBigFile) context.err << "kelvora-cli: " << path << ": " << read.message << "\n";
  if (!parsed.has("duration")) params.durationS = read.signal.durationS;

  PpgEnvelopeResult result;
  {
    ConsoleProgress progress(context.err, options.progress, kName);
    result = ComputePpgEnvelope(read.signal, params, progress);
  }
  if (!result.ok()) return InputError(context, path + ": " + result.message);
  return EmitSignal(context, options, result.envelope.values);
}

}  // namespace kelvora::cli
