#include "core/ini_text.h"

#include <cctype>
#include <charconv>
#include <system_error>

#include "core/text_helpers.h"

namespace kelvora {
namespace {

std::string KeyOf(std::string_view section, std::string_view key) {
  std::string text;
  text.reserve(section.size() + key.size() + 1);
  for (const char c : section) text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  text += '/';
  for (const char c : key) text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

IniText IniText::Parse(std::string_view text) {
  IniText ini;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::string section;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimBlanks(text.substr(pos, end - pos));
    pos = end + 1;
    if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      section = std::string(TrimBlanks(line.substr(1, line.size() - 2)));
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    const std::string_view key = TrimBlanks(line.substr(0, eq));
    if (key.empty()) continue;
    ini.m_values[KeyOf(section, key)] = std::string(TrimBlanks(line.substr(eq + 1)));
  }
  return ini;
}

std::optional<std::string> IniText::value(std::string_view section, std::string_view key) const {
  const auto it = m_values.find(KeyOf(section, key));
  if (it == m_values.end()) return std::nullopt;
  return it->second;
}

std::optional<int> IniText::integer(std::string_view section, std::string_view key) const {
  const std::optional<std::string> text = value(section, key);
  if (!text || text->empty()) return std::nullopt;
  const char* first = text->data();
  const char* last = text->data() + text->size();
  if (*first == '+') ++first;
  // from_chars takes a '-' itself; after a '+' another sign is refused.
  if (first == last || (first != text->data() && *first == '-')) return std::nullopt;
  int number = 0;
  const auto [ptr, ec] = std::from_chars(first, last, number, 10);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return number;
}

}  // namespace kelvora
