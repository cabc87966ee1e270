// kelvora-cli filter --method wavelet: the band filtration of the wavelet page.
#include <algorithm>
#include <thread>

#include "cli/command_support.h"
#include "cli/console_progress.h"
#include "cli/problem_messages.h"
#include "cli/wavelet_cli.h"

namespace kelvora::cli {

namespace {
const char* kName = "filter";
}  // namespace

std::optional<std::string> ReadWaveletOptions(const ParsedArgs& parsed, WaveletMethods& methods) {
  WaveletType type = WaveletType::Morlet;
  if (const auto name = parsed.value("wavelet")) {
    if (*name == "morlet") {
      type = WaveletType::Morlet;
    } else if (*name == "paul") {
      type = WaveletType::Paul;
    } else {
      return "--wavelet needs morlet or paul, not '" + *name + "'";
    }
  }
  methods.setConversionType(type);
  methods.setFilterType(type);
  int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 32);
  if (const auto text = parsed.value("threads")) {
    const std::optional<long long> value = ParseIntegerValue(*text);
    if (!value || *value < 1 || *value > 32) return "--threads needs a whole number from 1 to 32, not '" + *text + "'";
    threads = static_cast<int>(*value);
  }
  methods.setThreads(threads);
  return std::nullopt;
}

int RunWaveletFilter(CliContext& context, const ParsedArgs& parsed, CommonOptions& options) {
  if (parsed.has("amplitude")) return UsageError(context, kName, "--amplitude belongs to --method fourier");
  if (!parsed.has("band")) return UsageError(context, kName, "--band LO:HI is required");
  const std::string text = *parsed.value("band");
  const std::optional<FrequencyBand> band = ParseRangeValue(text);
  if (!band || band->low < 0 || band->low > band->high)
    return UsageError(context, kName, "--band needs LO:HI in Hz with 0 <= LO <= HI, not '" + text + "'");
  WaveletMethods methods;
  if (const auto error = ReadWaveletOptions(parsed, methods)) return UsageError(context, kName, *error);

  const std::string& path = parsed.positionals.front();
  int status = kExitSuccess;
  const std::optional<SignalRecord> record = LoadInput(context, options, path, false, status);
  if (!record) return status;
  if (record->count() > kWaveletMaxSamples) {
    return InputError(context, path + ": " + std::to_string(record->count()) +
                                   " points; the wavelet transform holds at most " +
                                   std::to_string(kWaveletMaxSamples) + " points");
  }

  WaveletFiltering& page = methods.page();
  page.setBand(FrequencyBand{band->low, band->high});
  if (const auto error = page.loadSignal(record->normalized, WaveletSource::File))
    return InputError(context, path + ": " + ProblemText(*error));
  WaveletRunResult result;
  {
    ConsoleProgress progress(context.err, options.progress, kName);
    result = page.calculate(WaveletRunSettings{methods.filterType(), methods.threads()}, progress);
  }
  if (!result.completed()) {
    return InputError(context, path + ": " + (result.error ? ProblemText(*result.error) : "the wavelet run was stopped"));
  }
  return EmitSignal(context, options, result.output);
}

}  // namespace kelvora::cli
