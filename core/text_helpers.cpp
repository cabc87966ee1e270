#include "core/text_helpers.h"

#include <charconv>
#include <cmath>

namespace kelvora {

std::string FormatSignalValue(double value, char separator, ValuePrecision precision) {
  char buffer[400];
  std::to_chars_result r{};
  if (precision == ValuePrecision::kFull)
    r = std::to_chars(buffer, buffer + sizeof buffer, value);
  else
    r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  std::string text(buffer, r.ptr);
  if (precision == ValuePrecision::kThreeDecimals && std::isfinite(value)) {
    const std::size_t point = text.find('.');
    if (point != std::string::npos) {
      while (text.back() == '0') text.pop_back();
      if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
  }
  for (char& c : text)
    if (c == '.') c = separator;
  return text;
}

}  // namespace kelvora
