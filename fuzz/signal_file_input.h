#pragma once
// Fuzzes the signal-file reader. The first byte chooses the temperature flag (bit 0), the separator setting
// (bit 1: ',' with only ',' as the decimal mark, else '.' with both marks) and the size of the pieces the rest
// is fed in (bits 2-7); the rest is the file's text. The same text fed whole must give the same result.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "formats/signal_file.h"

namespace kelvora::fuzz {

inline kelvora::SignalReadResult ReadInPieces(std::string_view text, bool temperature, kelvora::DecimalFormat format,
                                              std::size_t piece) {
  kelvora::SignalTextReader reader("fuzz.txt", temperature, format);
  while (!text.empty()) {
    const std::size_t n = std::min(piece, text.size());
    if (!reader.feed(text.substr(0, n))) break;
    text.remove_prefix(n);
  }
  return reader.finish();
}

// Runs one input; gives the failed check, or an empty text when every check held.
inline std::string RunSignalFileInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  const bool temperature = (data[0] & 1) != 0;
  const kelvora::DecimalFormat format = kelvora::DecimalFormat::ForSeparator((data[0] & 2) != 0 ? ',' : '.');
  const std::size_t piece = 1 + static_cast<std::size_t>(data[0] >> 2) * 5;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const kelvora::SignalReadResult pieces = ReadInPieces(text, temperature, format, piece);
  const kelvora::SignalReadResult whole = ReadInPieces(text, temperature, format, text.size() + 1);

  Check(pieces.ok() == whole.ok());
  Check(pieces.truncated == whole.truncated && pieces.kelvin == whole.kelvin && pieces.warning == whole.warning);
  if (!whole.ok()) {
    Check(whole.record.empty() && whole.record.values.empty());
    Check(whole.error->line == pieces.error->line && whole.error->text == pieces.error->text);
    Check(whole.error->line >= 1);
    Check(whole.error->text.size() <= 43);
    return {};
  }
  const kelvora::SignalRecord& r = whole.record;
  Check(r.values == pieces.record.values);
  Check(r.lastIndex + 1 == static_cast<int>(r.values.size()));
  Check(r.count() <= kelvora::kMaxRecordSamples);
  Check(!whole.truncated || r.count() == kelvora::kMaxRecordSamples);
  Check(r.normalized.size() == r.values.size());
  for (std::size_t i = 0; i < r.values.size(); ++i) {
    Check(std::isfinite(r.values[i]) && std::isfinite(r.normalized[i]));
    Check(r.values[i] >= r.minimum && r.values[i] <= r.maximum);
    Check(r.normalized[i] >= 0.0 && r.normalized[i] <= 1.0);
  }
  return {};
}

}  // namespace kelvora::fuzz
