#include "signals/text_utils.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <system_error>

namespace kelvora {

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

}  // namespace kelvora

namespace kelvora {

std::optional<double> ParseDecimalNumber(const std::string& text, char separator) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t' || text[begin] == '\r')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
  std::string body = text.substr(begin, end - begin);
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

}  // namespace kelvora
