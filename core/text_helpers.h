#pragma once
// The text helpers of the library: blanks and trimming, the escaped form of raw bytes that a message quotes, the
// decimal separator rules, file extensions, the one formatter of sample values and the parsers of numbers typed
// into edits and files. Pure functions; any thread.
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// Blanks are the space, TAB, CR, form feed and vertical tab (a line end is never inside a line).
bool IsBlankChar(char c);
// True when every character of `text` is blank (also for an empty text).
bool IsBlankText(std::string_view text);
// `text` without its leading and trailing blanks.
std::string_view TrimBlanks(std::string_view text);

// Bytes as a message shows them: control bytes and DEL as \xNN (upper-case hex), and with `keepNonAscii` false
// also every byte beyond ASCII, so binary junk stays one clean line; paths pass `keepNonAscii` to keep UTF-8.
std::string EscapeBytes(std::string_view bytes, bool keepNonAscii = false);

// The line with every "," and every "." replaced by `separator`; all other characters unchanged.
std::string NormalizeDecimalSeparator(const std::string& line, char separator);

// `fileName` unchanged when its last four characters equal `extension` (a four-character text such as ".txt")
// exactly or in upper case; otherwise `fileName` followed by `extension`. Names shorter than four characters get
// the extension appended. ".TXT" and ".txt" are accepted, ".Txt" gets ".txt" appended.
std::string EnsureExtension(const std::string& fileName, const std::string& extension);

enum class ValuePrecision {
  kThreeDecimals,  // the stored double correctly rounded to three decimals (half to even only on an exact binary
                   // tie), in the shortest form: 36.5, 36, 0.125; never "-0"
  kFull,           // shortest text that reads back to the same double (17 significant digits at most)
};

// One sample as every save writes it, with `separator` as its decimal mark. Non-finite values give "nan" or
// "inf" texts; the writers refuse them before formatting.
std::string FormatSignalValue(double value, char separator, ValuePrecision precision);

// Parses a decimal real written with `separator` as its decimal mark (after any NormalizeDecimalSeparator):
// optional sign, digits, at most one decimal mark, optional exponent; blanks around it are ignored. A "." is
// refused when the separator is another character. Gives nothing for anything else, including infinities, NaN
// and values outside the double range. "-0" gives +0.
std::optional<double> ParseDecimalNumber(const std::string& text, char separator);

// The edits' number texts: an integer / a real written with `decimalSeparator` (blanks around allowed, nothing
// else); false when the text is not a number, and `value` is then unchanged.
bool ParseIntegerText(const std::string& text, int& value);
bool ParseRealText(const std::string& text, char decimalSeparator, double& value);
// The shortest decimal text of `value` with `decimalSeparator` ("0.33", "2", "36,24").
std::string FormatRealText(double value, char decimalSeparator);

}  // namespace kelvora
