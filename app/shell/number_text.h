#pragma once
// Numbers shown in and read from the window's edits, with the locale's decimal separator.
#include <QChar>
#include <QString>
#include <optional>

namespace kelvora {

// The locale's decimal separator, recorded once at start.
QChar DecimalSeparator();

// The separator as one byte, for the library's readers and writers; '.' when the locale's is not Latin-1.
char DecimalSeparatorByte();

// Shortest decimal text of `value` (up to `significant` digits) with the locale's separator: 0.1 -> "0.1" or "0,1".
QString FormatDecimal(double value, int significant = 10);

// FormatDecimal of a value that may be missing: an empty text (a cell left empty) when it is, or not finite.
QString FormatOptional(const std::optional<double>& value, int significant = 6);

// Reads a real written with the locale's separator (a "." is accepted too when the separator is not ".").
// Sets *ok to false and returns 0 for text that is not a finite number.
double ParseDecimal(const QString& text, bool* ok);

}  // namespace kelvora
