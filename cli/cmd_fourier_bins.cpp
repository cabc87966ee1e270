// kelvora-cli spectrum: the band-limited spectrum of a signal, as the Fourier filtration page computes it.
#include <charconv>

#include "cli/command_support.h"
#include "cli/console_progress.h"
#include "core/band_transform.h"

namespace kelvora::cli {
namespace {

const char* kName = "spectrum";

std::vector<OptionDef> SpectrumOptions() {
  return {{"band", 0, "LO:HI", "band in Hz (default 0:2, clamped to fs/2)"}};
}

template <typename T>
std::string Shortest(T value) {
  char buffer[128];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

}  // namespace

int RunSpectrum(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, SpectrumOptions(),
        "spectrum INPUT [--band LO:HI] [options]",
        "Transforms the normalised signal (x - min) / (max - min), raised by 2 and padded as the\n"
        "transform does, and prints one line per bin k = 0, k_lo .. k_hi:\n"
        "k<TAB>f<TAB>re<TAB>im<TAB>modulus, in full precision.", line))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  CommonOptions& options = line.options;
  FrequencyBand band{0.0, 2.0};
  if (const auto text = parsed.value("band")) {
    const std::optional<FrequencyBand> value = ParseRangeValue(*text);
    if (!value || value->low < 0 || value->low > value->high)
      return UsageError(context, kName, "--band needs LO:HI in Hz with 0 <= LO <= HI, not '" + *text + "'");
    band = *value;
  }

  int status = kExitSuccess;
  const std::optional<SignalRecord> record = LoadInput(context, options, parsed.positionals.front(), false, status);
  if (!record) return status;

  BandTransform transform;
  transform.setBand(kFourierFrequencySlot, band);
  BandSpectrum spectrum;
  {
    ConsoleProgress progress(context.err, options.progress, "spectrum");
    spectrum = transform.transform(kFourierFrequencySlot, record->normalized, options.sampleRateHz, progress);
  }
  std::string text;
  auto printBin = [&](int k) {
    const Complex c = spectrum.coefficients[static_cast<std::size_t>(k)];
    text += std::to_string(k) + "\t" + Shortest(spectrum.frequencies[static_cast<std::size_t>(k)]) + "\t" +
            Shortest(c.re) + "\t" + Shortest(c.im) + "\t" + Shortest(Modulus(c)) + "\n";
  };
  printBin(0);
  for (int k = spectrum.lowBin; k <= spectrum.highBin; ++k) printBin(k);
  return EmitText(context, options, text);
}

}  // namespace kelvora::cli
