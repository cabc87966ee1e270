#include "core/text_helpers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <system_error>

namespace kelvora {

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

bool IsBlankText(std::string_view text) { return std::all_of(text.begin(), text.end(), IsBlankChar); }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return text;
}

std::string EscapeBytes(std::string_view bytes, bool keepNonAscii) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F && (byte < 0x80 || keepNonAscii)) {
      text += c;
    } else {
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 15];
    }
  }
  return text;
}

std::string NormalizeDecimalSeparator(const std::string& line, char separator) {
  std::string out = line;
  for (char& c : out)
    if (c == ',' || c == '.') c = separator;
  return out;
}

std::string EnsureExtension(const std::string& fileName, const std::string& extension) {
  if (fileName.size() >= extension.size() && !extension.empty()) {
    const std::string tail = fileName.substr(fileName.size() - extension.size());
    std::string upper = extension;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (tail == extension || tail == upper) return fileName;
  }
  return fileName + extension;
}

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

std::optional<double> ParseDecimalNumber(const std::string& text, char separator) {
  std::string body(TrimBlanks(text));
  if (body.empty()) return std::nullopt;
  if (separator != '.') {
    if (body.find('.') != std::string::npos) return std::nullopt;
    for (char& c : body)
      if (c == separator) c = '.';
  }
  // Only digits, one sign at the start or after the exponent mark, the decimal mark and the exponent mark.
  for (char c : body)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E')
      return std::nullopt;
  const char* first = body.data();
  const char* last = body.data() + body.size();
  if (*first == '+') {
    ++first;
    if (first == last || *first == '+' || *first == '-') return std::nullopt;
  }
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
  return value == 0.0 ? 0.0 : value;  // "-0" is plain zero
}

bool ParseIntegerText(const std::string& text, int& value) {
  const std::string t(TrimBlanks(text));
  if (t.empty()) return false;
  const char* begin = t.data();
  if (*begin == '+') ++begin;
  int parsed = 0;
  const auto [end, error] = std::from_chars(begin, t.data() + t.size(), parsed);
  if (error != std::errc() || end != t.data() + t.size()) return false;
  value = parsed;
  return true;
}

bool ParseRealText(const std::string& text, char decimalSeparator, double& value) {
  const std::optional<double> parsed = ParseDecimalNumber(text, decimalSeparator);
  if (!parsed) return false;
  value = *parsed;
  return true;
}

std::string FormatRealText(double value, char decimalSeparator) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  std::replace(text.begin(), text.end(), '.', decimalSeparator);
  return text;
}

}  // namespace kelvora
