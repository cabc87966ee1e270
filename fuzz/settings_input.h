#pragma once
// Fuzzes the reader of the settings file option.ini (the Qt-free INI parser the desktop program reads it with):
// the input is the file's text. Every key the program reads is looked up; an integer must come from a value of
// sign and digits only and print back to the same number. The keys found are then written in the program's
// layout, read again and compared.
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ini_text.h"
#include "fuzz/fuzz_check.h"

namespace kelvora::fuzz {

// Runs one input; gives the failed check, or an empty text when every check held.
inline std::string RunSettingsInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const IniText ini = IniText::Parse(text);
  static const std::vector<std::pair<const char*, const char*>> kKeys = {
      {"position", "left"},      {"position", "width"}, {"position", "top"},  {"position", "height"},
      {"position", "Maximized"}, {"freq", "gerc"},      {"Options", "sign"},  {"Options", "potoks"},
      {"Options", "ActivTab"},   {"Options", "Anim"},   {"Options", "LogOX"}, {"Options", "Lang"}};

  std::string written;
  std::string section;
  for (const auto& [sectionName, key] : kKeys) {
    const std::optional<std::string> value = ini.value(sectionName, key);
    const std::optional<int> number = ini.integer(sectionName, key);
    Check(!number || value);
    if (!number) continue;
    std::string digits = *value;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.erase(0, 1);
    Check(!digits.empty());
    for (const char c : digits) Check(std::isdigit(static_cast<unsigned char>(c)));
    if (section != sectionName) {
      section = sectionName;
      written += "[" + section + "]\n";
    }
    written += std::string(key) + "=" + std::to_string(*number) + "\n";
  }
  const IniText again = IniText::Parse(written);
  for (const auto& [sectionName, key] : kKeys) Check(again.integer(sectionName, key) == ini.integer(sectionName, key));
  return {};
}

}  // namespace kelvora::fuzz
