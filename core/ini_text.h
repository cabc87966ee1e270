#pragma once
// INI text: "[section]" lines and "key=value" lines, as the settings file option.ini holds them.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// The values of an INI text. Lines end at LF, CR LF or a lone CR; a UTF-8 byte-order mark is skipped; blanks
// around lines, names and values are ignored; lines starting with ';' or '#', lines without '=' and lines
// with nothing before the '=' are skipped; "[name]" starts a section (keys before the first one have the empty
// section). Section and key names compare without regard to ASCII case; a key given twice keeps its last value.
// Cost: linear in the text. Pure; any thread.
class IniText {
 public:
  static IniText Parse(std::string_view text);

  // The value text of section/key, trimmed; nothing when the key is absent.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  // The value as a decimal integer: an optional sign and digits only, within the int range. Nothing when the
  // key is absent or its value is anything else ("", "1.5", "0x10", "99999999999").
  std::optional<int> integer(std::string_view section, std::string_view key) const;

  std::size_t size() const { return m_values.size(); }

 private:
  std::map<std::string, std::string> m_values;  // "section/key" in lower case -> value
};

}  // namespace kelvora
