#include "wavelet/filtered_output_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

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
  const std::string temporary = path + ".part";
  {
    std::ofstream file(temporary, std::ios::out | std::ios::trunc);
    if (!file) return WaveletError{"Cannot write the file " + path};
    const long long count = static_cast<long long>(values.size());
    progress.setRange(0, count);
    long long shownPercent = -1;
    for (long long i = 0; i < count; ++i) {
      file << FormatThreeDecimals(values[static_cast<size_t>(i)], decimalSeparator) << '\n';
      const long long percent = count > 0 ? (i + 1) * 100 / count : 100;
      if (percent != shownPercent) {
        shownPercent = percent;
        progress.setPosition(i + 1);
        progress.setText(std::to_string(percent) + "%");
      }
    }
    file.flush();
    if (!file) {
      file.close();
      std::remove(temporary.c_str());
      return WaveletError{"Cannot write the file " + path};
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return WaveletError{"Cannot write the file " + path};
  }
  progress.setPosition(0);
  return std::nullopt;
}

}  // namespace kelvora
