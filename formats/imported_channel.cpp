#include "formats/imported_channel.h"

#include <algorithm>
#include <cctype>

namespace kelvora {
namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Position of the opening bracket of a unit at the end of `name`, or npos.
std::size_t UnitStart(const std::string& name) {
  if (name.size() < 3) return std::string::npos;
  const char close = name.back();
  const char open = close == ')' ? '(' : close == ']' ? '[' : 0;
  if (open == 0) return std::string::npos;
  const std::size_t start = name.rfind(open);
  if (start == std::string::npos || start == 0 || start + 2 > name.size() - 1) return std::string::npos;
  return start;
}

}  // namespace

ChannelRef ChannelRef::Parse(const std::string& text) {
  ChannelRef ref;
  const std::string trimmed = Trimmed(text);
  const bool digits = !trimmed.empty() && trimmed.size() <= 9 &&
                      std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits && std::stoi(trimmed) > 0)
    ref.number = std::stoi(trimmed);
  else
    ref.name = trimmed;
  return ref;
}

std::string ChannelRef::text() const { return number > 0 ? std::to_string(number) : name; }

std::string NameWithoutUnit(const std::string& name) {
  const std::string trimmed = Trimmed(name);
  const std::size_t start = UnitStart(trimmed);
  return start == std::string::npos ? trimmed : Trimmed(trimmed.substr(0, start));
}

std::string UnitInName(const std::string& name) {
  const std::string trimmed = Trimmed(name);
  const std::size_t start = UnitStart(trimmed);
  return start == std::string::npos ? std::string() : Trimmed(trimmed.substr(start + 1, trimmed.size() - start - 2));
}

int FindByRef(const std::vector<std::string>& names, const ChannelRef& ref) {
  if (ref.number > 0) return ref.number <= static_cast<int>(names.size()) ? ref.number : 0;
  const std::string wanted = Trimmed(ref.name);
  if (wanted.empty()) return 0;
  const std::string lower = Lower(wanted);
  // Exact, then ignoring case, then the name without its unit: the first level with a match decides.
  for (int level = 0; level < 3; ++level) {
    int found = 0;
    int matches = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string name = Trimmed(names[i]);
      const bool match = level == 0   ? name == wanted
                         : level == 1 ? Lower(name) == lower
                                      : Lower(NameWithoutUnit(name)) == Lower(NameWithoutUnit(wanted));
      if (match) {
        found = static_cast<int>(i) + 1;
        ++matches;
      }
    }
    if (matches == 1) return found;
    if (matches > 1) return -1;
  }
  return 0;
}

}  // namespace kelvora
