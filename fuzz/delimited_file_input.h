#pragma once
// Fuzzes the delimited-text reader with its layout detection. The first byte chooses overrides (bits 0-1: none,
// ';', TAB or whitespace as separator; bit 2: ',' as decimal mark; bit 3: two header lines; bit 4: no time
// column; bit 5: a rate of 4 Hz given); the rest is the file's text. A read that succeeds must give finite
// samples at a positive rate, and the channels written back as CSV must read back to the same values.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "formats/csv_writer.h"
#include "formats/delimited_reader.h"

namespace kelvora::fuzz {

inline std::string RunDelimitedFileInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  const std::uint8_t flags = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  kelvora::DelimitedReadOptions options;
  constexpr char kSeparators[] = {0, ';', '\t', kelvora::kWhitespaceSeparator};
  if ((flags & 3) != 0) options.layout.separator = kSeparators[flags & 3];
  if ((flags & 4) != 0) options.layout.decimalMark = ',';
  if ((flags & 8) != 0) options.layout.headerLines = 2;
  if ((flags & 16) != 0) options.layout.timeColumn = kelvora::ChannelRef{};
  if ((flags & 32) != 0) options.sampleRateHz = 4.0;

  const kelvora::DelimitedReadResult read = kelvora::ReadDelimitedText(text, options, "fuzz.csv");
  const kelvora::DelimitedLayout& layout = read.layout;
  if (!read.ok()) {
    Check(read.channels.empty());
    Check(read.error->text.size() <= 43);
    Check(read.error->line >= 0 && read.error->column >= 0);
    return {};
  }
  Check(layout.columnCount >= 1);
  Check(static_cast<int>(layout.names.size()) == layout.columnCount);
  Check(static_cast<int>(layout.units.size()) == layout.columnCount);
  Check(layout.separator != layout.decimalMark);
  Check(layout.timeColumn >= 0 && layout.timeColumn <= layout.columnCount);
  Check(read.sampleRateHz > 0 && std::isfinite(read.sampleRateHz));
  Check(!read.channels.empty() && read.channels.size() == read.columnNumbers.size());
  Check(read.rows >= 1);
  for (const kelvora::ImportedChannel& channel : read.channels) {
    Check(static_cast<long long>(channel.values.size()) <= read.rows);
    Check(std::isfinite(channel.startTimeS));
    for (const double v : channel.values) Check(std::isfinite(v));
  }

  // Written back with plain names and read again, the values come back exactly.
  kelvora::CsvWriteRequest request;
  request.sampleRateHz = read.sampleRateHz;
  for (std::size_t c = 0; c < read.channels.size(); ++c)
    request.columns.push_back({"c" + std::to_string(c + 1), read.channels[c].values});
  const kelvora::CsvTextResult csv = kelvora::MakeCsvText(request);
  Check(!csv.error);
  // One row has no step to measure a rate from: it is given.
  kelvora::DelimitedReadOptions again;
  std::size_t longest = 0;
  for (const kelvora::ImportedChannel& channel : read.channels) longest = std::max(longest, channel.values.size());
  if (longest < 2) again.sampleRateHz = read.sampleRateHz;
  const kelvora::DelimitedReadResult back = kelvora::ReadDelimitedText(csv.text, again, "back.csv");
  Check(back.ok());
  Check(back.layout.timeColumn == 1 && back.channels.size() == read.channels.size());
  for (std::size_t c = 0; c < read.channels.size(); ++c) Check(back.channels[c].values == read.channels[c].values);
  if (longest >= 2)
    Check(std::fabs(back.sampleRateHz - read.sampleRateHz) <= 1e-6 * read.sampleRateHz);
  return {};
}

}  // namespace kelvora::fuzz
