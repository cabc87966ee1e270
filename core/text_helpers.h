#pragma once
// Small text helpers shared by the file readers, writers and parameter edits: the one formatter of sample
// values, blank tests and trimming, and the escaped form of raw bytes that a message quotes.
#include <string>
#include <string_view>

namespace kelvora {

enum class ValuePrecision {
  kThreeDecimals,  // the stored double correctly rounded to three decimals (half to even only on an exact binary
                   // tie), in the shortest form: 36.5, 36, 0.125; never "-0"
  kFull,           // shortest text that reads back to the same double (17 significant digits at most)
};

// One sample as every save writes it, with `separator` as its decimal mark. Non-finite values give "nan" or
// "inf" texts; the writers refuse them before formatting. Any thread.
std::string FormatSignalValue(double value, char separator, ValuePrecision precision);

}  // namespace kelvora
