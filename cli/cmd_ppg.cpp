#include "cli/cmd_ppg.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <system_error>

#include "signals/ppg_envelope.h"
#include "signals/ppg_file.h"
#include "signals/signal_file.h"

namespace kelvora::cli {
namespace {

constexpr const char* kUsage =
    "usage: kelvora-cli ppg INPUT [options]\n"
    "The blood-flow curve of a photoplethysmogram: the envelope of its pulse maxima, resampled and smoothed.\n"
    "INPUT is a PPG file: one header line, then one sample per line.\n"
    "  --in-rate HZ        input rate of the PPG (default 50)\n"
    "  --out-rate HZ       output rate of the envelope (default 2)\n"
    "  --duration S        duration in whole seconds (default: round(last index / in-rate), as the reader sets it)\n"
    "  --min-pulse BPM     lowest pulse rate (default 69)\n"
    "  --max-pulse BPM     highest pulse rate (default 120)\n"
    "  -o, --output FILE   write the round(duration * out-rate) envelope samples here (default: standard output)\n"
    "  --full-precision    write shortest round-trip values instead of 3 decimals\n"
    "  --progress          show a progress bar on standard error\n";

// A console bar on standard error, redrawn when the percentage text changes.
class ConsoleBar : public ProgressSink {
 public:
  void setText(const std::string& text) override {
    std::fprintf(stderr, "\rppg: smoothing %5s", text.c_str());
    std::fflush(stderr);
    m_drawn = true;
  }
  ~ConsoleBar() override {
    if (m_drawn) std::fputc('\n', stderr);
  }

 private:
  bool m_drawn = false;
};

bool ParseReal(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

char LocaleSeparator() {
  std::setlocale(LC_NUMERIC, "");
  const char* point = std::localeconv()->decimal_point;
  const char separator = point && point[0] ? point[0] : '.';
  std::setlocale(LC_NUMERIC, "C");
  return separator;
}

}  // namespace

int RunPpgCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  PpgEnvelopeParams params;
  std::string input, output;
  bool durationGiven = false, fullPrecision = false, showProgress = false;

  const auto usageError = [&](const std::string& text) {
    err << "kelvora-cli ppg: " << text << "\n" << "Try 'kelvora-cli ppg --help'.\n";
    return 2;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return 0;
    } else if (arg == "--in-rate" || arg == "--out-rate") {
      double& target = arg == "--in-rate" ? params.inRateHz : params.outRateHz;
      if (!value(text)) return usageError(arg + " needs a value in Hz");
      if (!ParseReal(text, target) || !(target > 0.0)) return usageError(arg + ": \"" + text + "\" is not a positive number");
    } else if (arg == "--duration" || arg == "--min-pulse" || arg == "--max-pulse") {
      int& target = arg == "--duration" ? params.durationS : arg == "--min-pulse" ? params.lowestPulseBpm : params.highestPulseBpm;
      if (!value(text)) return usageError(arg + " needs a whole number");
      if (!ParseInt(text, target) || target < (arg == "--duration" ? 0 : 1)) {
        return usageError(arg + ": \"" + text + "\" is not a " + (arg == "--duration" ? "non-negative" : "positive") +
                          " whole number");
      }
      durationGiven = durationGiven || arg == "--duration";
    } else if (arg == "-o" || arg == "--output") {
      if (!value(output) || output.empty()) return usageError(arg + " needs a file name");
    } else if (arg == "--full-precision") {
      fullPrecision = true;
    } else if (arg == "--progress") {
      showProgress = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return usageError("unknown option " + arg);
    } else if (input.empty()) {
      input = arg;
    } else {
      return usageError("more than one INPUT: " + input + " and " + arg);
    }
  }
  if (input.empty()) return usageError("no INPUT PPG file");

  const char separator = LocaleSeparator();
  const PpgReadResult read = ReadPpgFile(input, params.inRateHz, separator);
  if (!read.ok()) {
    err << "kelvora-cli ppg: " << input << ": " << read.message << "\n";  // a bad number's message names its line
    return 1;
  }
  if (read.status == PpgReadStatus::kBigFile) {
    err << "kelvora-cli ppg: " << input << ": " << read.message << " (the first " << kMaxPpgSamples
        << " samples are used)\n";
  }
  if (!durationGiven) params.durationS = read.signal.durationS;

  ConsoleBar bar;
  const PpgEnvelopeResult result = ComputePpgEnvelope(read.signal, params, showProgress ? bar : NullProgress());
  if (!result.ok()) {
    err << "kelvora-cli ppg: " << input << ": " << result.message << "\n";
    return 1;
  }

  const std::vector<double>& values = result.envelope.values;
  const ValuePrecision precision = fullPrecision ? ValuePrecision::kFull : ValuePrecision::kThreeDecimals;
  if (output.empty()) {
    std::string text;
    for (double v : values) text += FormatSignalValue(v, separator, precision) + "\n";
    out << text;
    out.flush();
    return 0;
  }
  if (const auto error = WriteSignalFile(values, static_cast<int>(values.size()) - 1, output, separator, precision)) {
    err << "kelvora-cli ppg: " << output << ": " << error->message << "\n";
    return 1;
  }
  return 0;
}

}  // namespace kelvora::cli
