#pragma once
// One signal as an instrument file holds it: a column of delimited text or a channel of an EDF file, at the
// file's own rate, before it becomes a record of the program.
#include <string>
#include <vector>

namespace kelvora {

struct ImportedChannel {
  std::string name;  // the column name or EDF label as the file has it (blanks around it removed); may be empty
  std::string unit;  // a units row, "(unit)" or "[unit]" after the name, or the EDF physical dimension; may be empty
  double sampleRateHz = 0.0;  // samples per second (from the time column, as given, or the EDF header)
  double startTimeS = 0.0;    // time of the first sample: the time column's first value, else 0
  std::vector<double> values;  // finite samples in file order
  bool truncated = false;      // the reader stopped at the caller's limit of rows or samples
};

// A column or channel chosen by the caller: a 1-based number, or a name.
struct ChannelRef {
  int number = 0;    // 1-based; 0 when chosen by name
  std::string name;  // used when number is 0

  // "3" (digits only) is column 3; anything else is a name. Blanks around the text are dropped.
  static ChannelRef Parse(const std::string& text);
  // The reference as the caller gave it ("3", "BF").
  std::string text() const;
};

// The name with a trailing unit in parentheses or brackets, and blanks, removed: "T (°C)" gives "T".
std::string NameWithoutUnit(const std::string& name);
// The unit in parentheses or brackets at the end of `name` ("T (°C)" gives "°C"), or an empty text.
std::string UnitInName(const std::string& name);

// Chooses among `names` (0-based position i holds the name of number i + 1) the one `ref` asks for: by number;
// or by name, exactly, then ignoring case, then by NameWithoutUnit ignoring case. Gives the 1-based number, 0
// when no name matches or the number is out of range, -1 when a name matches several entries at the first
// level that matches any.
int FindByRef(const std::vector<std::string>& names, const ChannelRef& ref);

}  // namespace kelvora
