#pragma once
// Text helpers for signal files and file names.
#include <optional>
#include <string>

namespace kelvora {

// The line with every "," and every "." replaced by `separator`; all other characters unchanged.
std::string NormalizeDecimalSeparator(const std::string& line, char separator);

// `fileName` unchanged when its last four characters equal `extension` (a four-character text such as ".txt")
// exactly or in upper case; otherwise `fileName` followed by `extension`. Names shorter than four characters get
// the extension appended. ".TXT" and ".txt" are accepted, ".Txt" gets ".txt" appended.
std::string EnsureExtension(const std::string& fileName, const std::string& extension);

}  // namespace kelvora

namespace kelvora {

// Parses a decimal real written with `separator` as its decimal mark (after any NormalizeDecimalSeparator):
// optional sign, digits, at most one decimal mark, optional exponent; blanks around it are ignored. A "." is
// refused when the separator is another character. Gives nothing for anything else, including infinities, NaN
// and values outside the double range. "-0" gives +0.
std::optional<double> ParseDecimalNumber(const std::string& text, char separator);

}  // namespace kelvora
