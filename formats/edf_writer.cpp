#include "formats/edf_writer.h"

#include <edflib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <system_error>

#include "core/atomic_file.h"
#include "formats/edflib_lock.h"

namespace kelvora {
namespace {

constexpr int kMaxChannels = 64;
constexpr std::size_t kLimitChars = 8;
constexpr std::size_t kLabelChars = 16;
constexpr std::size_t kUnitChars = 8;
// What EDFlib keeps of the recording's additional text (the header's recording field holds 80 characters with
// the start date and the other subfields).
constexpr std::size_t kRecordingChars = 40;

// The shortest fixed text of value with `decimals` decimals, or an empty text when it is longer than 8.
std::string FixedText(double value, int decimals) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, r.ptr);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text.size() <= kLimitChars ? text : std::string();
}

// The 8-character text nearest to `value` on the side `down` (not above) or up (not below).
std::optional<std::string> LimitText(double value, bool down) {
  for (int decimals = 6; decimals >= 0; --decimals) {
    const double scale = std::pow(10.0, decimals);
    double scaled = down ? std::floor(value * scale) : std::ceil(value * scale);
    for (int attempt = 0; attempt < 3; ++attempt) {
      const std::string text = FixedText(scaled / scale, decimals);
      if (text.empty()) break;
      const double back = std::strtod(text.c_str(), nullptr);
      if (down ? back <= value : back >= value) return text;
      // value * scale was rounded across a whole number: one step further out.
      scaled += down ? -1.0 : 1.0;
    }
  }
  return std::nullopt;
}

// The value to hand to EDFlib for a limit text: EDFlib prints it with six decimals and cuts the text to 8
// characters, so a double just below "30.70083" would come out as "30.70082". Moved away from zero by far less
// than a quantisation step, the value prints as the text.
double ForEdflib(const std::string& text) {
  const double value = std::strtod(text.c_str(), nullptr);
  return value + std::copysign(std::max(std::fabs(value) * 1e-12, 1e-300), value);
}

RecordFileError MakeError(RecordFileErrorKind kind, const std::string& path, int column = 0) {
  RecordFileError error;
  error.kind = kind;
  error.path = path;
  error.column = column;
  return error;
}

// The reason of a failed EDFlib write: the system's, when it left one.
std::string WriteReason(int error) {
  return std::generic_category().message(error != 0 ? error : EIO);
}

// EDFlib's unit of time (10 microseconds) per second, and the data-record durations it accepts.
constexpr long long kUnitsPerSecond = 100000;
constexpr long long kShortestRecordUnits = 100;      // 0.001 s
constexpr long long kLongestRecordUnits = 6000000;   // 60 s

}  // namespace

std::optional<EdfRecordLayout> ChooseEdfRecordLayout(const std::vector<EdfWriteChannel>& channels) {
  if (channels.empty()) return std::nullopt;
  long long common = 0;
  for (const EdfWriteChannel& c : channels) {
    if (c.values.empty() || c.sampleRateHz < 1) return std::nullopt;
    const long long n = static_cast<long long>(c.values.size());
    // Every channel must last the same time: n_c / rate_c = n_0 / rate_0.
    if (n * channels.front().sampleRateHz != static_cast<long long>(channels.front().values.size()) * c.sampleRateHz)
      return std::nullopt;
    common = std::gcd(common, n);
  }
  const long long n0 = static_cast<long long>(channels.front().values.size());
  const long long rate0 = channels.front().sampleRateHz;
  // Records R dividing every length; the duration n0 / (R rate0) s must be a whole number of EDFlib's units
  // within its range. The longest duration up to 1 s wins, else the shortest above it.
  std::optional<EdfRecordLayout> best;
  auto consider = [&](long long records) {
    const long long numerator = n0 * kUnitsPerSecond;
    const long long denominator = records * rate0;
    if (numerator % denominator != 0) return;
    const long long units = numerator / denominator;
    if (units < kShortestRecordUnits || units > kLongestRecordUnits) return;
    const bool better = !best || (units <= kUnitsPerSecond ? (best->durationUnits > kUnitsPerSecond ||
                                                               units > best->durationUnits)
                                                           : (best->durationUnits > kUnitsPerSecond &&
                                                              units < best->durationUnits));
    if (better) best = EdfRecordLayout{records, units};
  };
  for (long long d = 1; d * d <= common; ++d) {
    if (common % d != 0) continue;
    consider(d);
    consider(common / d);
  }
  return best;
}

std::string EdfSampleCountMark(int channel, long long count) {
  return "channel " + std::to_string(channel) + " has " + std::to_string(count) + " samples";
}

std::string ToEdfText(const std::string& text, std::size_t maxLength) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      out += byte < 0x20 || byte == 0x7F ? '_' : static_cast<char>(byte);
      ++i;
      continue;
    }
    std::size_t length = (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3 : (byte & 0xF8) == 0xF0 ? 4 : 1;
    length = std::min(length, text.size() - i);
    const std::string character = text.substr(i, length);
    if (character == "\xC2\xB0")
      out += "deg";
    else if (character == "\xC2\xB5" || character == "\xCE\xBC")
      out += "u";
    else if (character == "\xC2\xB2")
      out += "2";
    else if (character == "\xC2\xB3")
      out += "3";
    else
      out += '_';
    i += length;
  }
  return out.substr(0, maxLength);
}

std::optional<std::pair<std::string, std::string>> EdfPhysicalLimits(double minimum, double maximum) {
  if (!std::isfinite(minimum) || !std::isfinite(maximum) || minimum > maximum) return std::nullopt;
  if (minimum == maximum) {
    minimum -= 1.0;
    maximum += 1.0;
  }
  const std::optional<std::string> low = LimitText(minimum, true);
  const std::optional<std::string> high = LimitText(maximum, false);
  if (!low || !high) return std::nullopt;
  if (*low == *high) return std::nullopt;
  return std::make_pair(*low, *high);
}

std::optional<RecordFileError> WriteEdfFile(const std::string& path, const EdfWriteRequest& request) {
  const int channelCount = static_cast<int>(request.channels.size());
  if (channelCount < 1 || channelCount > kMaxChannels) return MakeError(RecordFileErrorKind::kBadChannel, path);
  std::vector<std::pair<std::string, std::string>> limits;
  long long records = 0;
  for (int c = 0; c < channelCount; ++c) {
    const EdfWriteChannel& channel = request.channels[static_cast<std::size_t>(c)];
    if (channel.values.empty() || channel.sampleRateHz < 1)
      return MakeError(RecordFileErrorKind::kBadChannel, path, c + 1);
    for (std::size_t i = 0; i < channel.values.size(); ++i) {
      if (!std::isfinite(channel.values[i])) {
        RecordFileError error = MakeError(RecordFileErrorKind::kNonFiniteValue, path, c + 1);
        error.count = static_cast<long long>(i);
        return error;
      }
    }
    const auto [lo, hi] = std::minmax_element(channel.values.begin(), channel.values.end());
    const auto channelLimits = EdfPhysicalLimits(*lo, *hi);
    if (!channelLimits) return MakeError(RecordFileErrorKind::kValueTooLarge, path, c + 1);
    limits.push_back(*channelLimits);
    const long long rate = channel.sampleRateHz;
    records = std::max(records, (static_cast<long long>(channel.values.size()) + rate - 1) / rate);
  }
  // Data records that divide every channel keep each one's samples exactly; otherwise 1-second records, the
  // tails padded and each padding marked by an annotation that the reader drops it by.
  const std::optional<EdfRecordLayout> layout = ChooseEdfRecordLayout(request.channels);
  if (layout) records = layout->records;
  std::vector<long long> perRecord;
  std::vector<EdfAnnotation> annotations = request.annotations;
  for (int c = 0; c < channelCount; ++c) {
    const EdfWriteChannel& channel = request.channels[static_cast<std::size_t>(c)];
    const long long n = static_cast<long long>(channel.values.size());
    perRecord.push_back(layout ? n / records : channel.sampleRateHz);
    if (!layout && n < records * channel.sampleRateHz) {
      const double end = static_cast<double>(n) / channel.sampleRateHz;
      annotations.push_back(EdfAnnotation{end, static_cast<double>(records) - end, EdfSampleCountMark(c + 1, n)});
    }
  }

  const auto write = [&](const std::string& temporary) -> std::optional<std::string> {
    std::lock_guard<std::mutex> lock(EdflibMutex());
    errno = 0;
    const int handle = edfopen_file_writeonly(temporary.c_str(), EDFLIB_FILETYPE_EDFPLUS, channelCount);
    if (handle < 0) return WriteReason(errno);
    bool ok = true;
    const long long annotationSignals =
        std::clamp((static_cast<long long>(annotations.size()) + records - 1) / records, 1LL, 64LL);
    ok = ok && edf_set_number_of_annotation_signals(handle, static_cast<int>(annotationSignals)) == 0;
    if (ok && layout && layout->durationUnits != kUnitsPerSecond)
      ok = edf_set_datarecord_duration(handle, static_cast<int>(layout->durationUnits)) == 0;
    if (ok && !request.recording.empty())
      ok = edf_set_recording_additional(handle, ToEdfText(request.recording, kRecordingChars).c_str()) == 0;
    for (int c = 0; c < channelCount && ok; ++c) {
      const EdfWriteChannel& channel = request.channels[static_cast<std::size_t>(c)];
      const std::string label = ToEdfText(channel.label, kLabelChars);
      const std::string unit = ToEdfText(channel.unit, kUnitChars);
      ok = edf_set_samplefrequency(handle, c, static_cast<int>(perRecord[static_cast<std::size_t>(c)])) == 0 &&
           edf_set_physical_minimum(handle, c, ForEdflib(limits[c].first)) == 0 &&
           edf_set_physical_maximum(handle, c, ForEdflib(limits[c].second)) == 0 &&
           edf_set_digital_minimum(handle, c, -32768) == 0 && edf_set_digital_maximum(handle, c, 32767) == 0 &&
           edf_set_label(handle, c, label.c_str()) == 0 && edf_set_physical_dimension(handle, c, unit.c_str()) == 0;
    }
    if (ok && request.start) {
      const EdfStartTime& s = *request.start;
      ok = edf_set_startdatetime(handle, s.year, s.month, s.day, s.hour, s.minute, s.second) == 0;
    }
    std::vector<double> block;
    for (long long r = 0; r < records && ok; ++r) {
      for (int c = 0; c < channelCount && ok; ++c) {
        const EdfWriteChannel& channel = request.channels[static_cast<std::size_t>(c)];
        const std::size_t rate = static_cast<std::size_t>(perRecord[static_cast<std::size_t>(c)]);
        block.resize(rate);
        for (std::size_t i = 0; i < rate; ++i) {
          const std::size_t index = static_cast<std::size_t>(r) * rate + i;
          block[i] = channel.values[std::min(index, channel.values.size() - 1)];
        }
        ok = edfwrite_physical_samples(handle, block.data()) == 0;
      }
    }
    for (std::size_t a = 0; a < annotations.size() && ok; ++a) {
      const EdfAnnotation& annotation = annotations[a];
      // EDFlib takes onsets and durations in units of 100 microseconds.
      const long long onset = std::llround(std::max(0.0, annotation.onsetS) * 10000.0);
      const long long duration = annotation.durationS >= 0 ? std::llround(annotation.durationS * 10000.0) : -1;
      ok = edfwrite_annotation_utf8(handle, onset, duration, annotation.text.c_str()) == 0;
    }
    const int error = errno;
    const bool closed = edfclose_file(handle) == 0;
    if (!ok || !closed) return WriteReason(errno != 0 ? errno : error);
    return std::nullopt;
  };
  if (const std::optional<std::string> reason = WriteFileAtomicallyThrough(path, write)) {
    RecordFileError error = MakeError(RecordFileErrorKind::kCannotWrite, path);
    error.reason = *reason;
    return error;
  }
  return std::nullopt;
}

}  // namespace kelvora
