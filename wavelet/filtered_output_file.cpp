#include "wavelet/filtered_output_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/atomic_file.h"

namespace kelvora {

namespace {

// The value rounded to 3 decimals (half to even), as the shortest fixed-point text with `separator`.
std::string FormatThreeDecimals(double value, char separator) {
  double rounded = std::nearbyint(value * 1000.0) / 1000.0;
  if (rounded == 0.0) rounded = 0.0;  // no "-0"
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  for (char& c : text) {
    if (c == '.') c = separator;
  }
  return text;
}

}  // namespace

std::optional<WaveletError> SaveFilteredOutput(const std::string& path, std::span<const double> values,
                                               char decimalSeparator, ProgressSink& progress) {
  for (double v : values) {
    if (!std::isfinite(v)) return WaveletError{"The filtered signal holds a value that is not a finite number"};
  }
  std::string text;
  const long long count = static_cast<long long>(values.size());
  progress.setRange(0, count);
  long long shownPercent = -1;
  for (long long i = 0; i < count; ++i) {
    text += FormatThreeDecimals(values[static_cast<size_t>(i)], decimalSeparator);
    text += '\n';
    const long long percent = count > 0 ? (i + 1) * 100 / count : 100;
    if (percent != shownPercent) {
      shownPercent = percent;
      progress.setPosition(i + 1);
      progress.setText(std::to_string(percent) + "%");
    }
  }
  // Written beside the target and renamed over it; a device path such as /dev/full is never replaced.
  if (const std::optional<std::string> reason = WriteFileAtomically(path, text))
    return WaveletError{"Cannot write the file " + path + " (" + *reason + ")"};
  progress.setPosition(0);
  return std::nullopt;
}

}  // namespace kelvora
