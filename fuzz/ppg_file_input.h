#pragma once
// Fuzzes the PPG reader and the envelope over what it read. The first byte chooses the decimal separator
// (bit 0: ',' else '.') and the input rate (bits 1-3); the second byte, when present, the output rate and the
// pulse limits of an envelope run over short signals; the rest is the file's text.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/progress.h"
#include "fuzz/fuzz_check.h"
#include "signals/ppg_envelope.h"
#include "formats/ppg_file.h"

namespace kelvora::fuzz {
// Runs one input; gives the failed check, or an empty text when every check held.
inline std::string RunPpgFileInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return {};
  const char separator = (data[0] & 1) != 0 ? ',' : '.';
  static const double kInRates[] = {50.0, 1.0, 2.0, 1000.0, 7.3, 100.0, 10.0, 250.0};
  const double inRate = kInRates[(data[0] >> 1) & 7];
  const std::uint8_t envelopeByte = data[1];
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  const kelvora::PpgReadResult read = kelvora::ParsePpgText(text, inRate, separator);
  if (!read.ok()) {
    Check(read.signal.empty() && read.line >= 1 && !read.message.empty());
    return {};
  }
  const kelvora::PpgSignal& s = read.signal;
  Check(s.count() <= kelvora::kMaxPpgSamples);
  Check(s.scaled.empty() || s.scaled.size() == s.values.size());
  for (std::size_t i = 0; i < s.values.size(); ++i) {
    Check(std::isfinite(s.values[i]));
    if (!s.scaled.empty()) Check(s.scaled[i] >= 0.0 && s.scaled[i] <= 10.0);
  }
  Check(s.durationS >= 0);

  // The envelope over a short signal, with output rate and pulse limits from the second byte.
  if (s.count() > 5000) return {};
  kelvora::PpgEnvelopeParams params;
  params.inRateHz = inRate;
  static const double kOutRates[] = {2.0, 1.0, 0.5, 10.0};
  params.outRateHz = kOutRates[envelopeByte & 3];
  params.lowestPulseBpm = 20 + ((envelopeByte >> 2) & 7) * 10;
  params.highestPulseBpm = params.lowestPulseBpm + ((envelopeByte >> 5) & 7) * 20;
  params.durationS = s.durationS;
  const kelvora::PpgEnvelopeResult envelope = kelvora::ComputePpgEnvelope(s, params, kelvora::NullProgress());
  if (envelope.ok()) {
    for (const double v : envelope.envelope.values) Check(std::isfinite(v));
  } else {
    Check(envelope.envelope.values.empty() && !envelope.message.empty());
  }
  return {};
}

}  // namespace kelvora::fuzz
