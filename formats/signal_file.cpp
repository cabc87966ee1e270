#include "formats/signal_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "core/atomic_file.h"
#include "core/text_helpers.h"
#include "formats/record_file_error.h"

namespace kelvora {
namespace {

SignalFileError MakeError(SignalFileErrorKind kind, const std::string& path, int line = 0,
                          const std::string& text = {}) {
  SignalFileError error;
  error.kind = kind;
  error.path = path;
  error.line = line;
  error.text = text;
  switch (kind) {
    case SignalFileErrorKind::kMissingFile:
      error.message = "File does not exist";
      break;
    case SignalFileErrorKind::kCannotOpen:
      error.message = "Cannot open file";
      break;
    case SignalFileErrorKind::kInvalidNumber:
      error.message = "is not a valid number";
      break;
    case SignalFileErrorKind::kCannotWrite:
      error.message = "Cannot write file";
      break;
    case SignalFileErrorKind::kInvalidValue:
      error.message = "Value is not a finite number";
      break;
  }
  return error;
}

constexpr const char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t kReadChunk = 1 << 16;

// The system's text for an errno value ("No space left on device").
std::string SystemReason(int error) { return error != 0 ? std::generic_category().message(error) : std::string(); }

int ClampedLine(long long line) { return static_cast<int>(std::min<long long>(line, std::numeric_limits<int>::max())); }

}  // namespace

void NormalizeRecord(SignalRecord& record) {
  const int count = std::clamp(record.lastIndex + 1, 0, static_cast<int>(record.values.size()));
  record.normalized.assign(static_cast<std::size_t>(count), 0.0);
  if (count == 0) {
    record.minimum = record.maximum = 0.0;
    return;
  }
  const auto [lo, hi] = std::minmax_element(record.values.begin(), record.values.begin() + count);
  record.minimum = *lo;
  record.maximum = *hi;
  if (!(record.maximum > record.minimum)) return;
  // Extremes far apart (-1e308 and 1e308) overflow maximum - minimum; halves of everything give the same
  // ratios without an infinity (inf / inf would be NaN).
  const bool halve = !std::isfinite(record.maximum - record.minimum);
  const double scale = halve ? 0.5 : 1.0;
  const double minimum = record.minimum * scale;
  const double range = record.maximum * scale - minimum;
  for (int i = 0; i < count; ++i) {
    const double v = record.values[static_cast<std::size_t>(i)] * scale;
    record.normalized[static_cast<std::size_t>(i)] = std::min(1.0, (v - minimum) / range);
  }
}

SignalTextReader::SignalTextReader(std::string path, bool temperature, DecimalFormat format, int maxSamples)
    : m_path(std::move(path)), m_temperature(temperature), m_format(format), m_maxSamples(std::max(1, maxSamples)) {}

bool SignalTextReader::feed(std::string_view piece) {
  if (m_done) return false;
  // A UTF-8 byte-order mark before the first line is not part of the text; it may arrive split over pieces.
  while (m_bomState >= 0 && !piece.empty()) {
    if (piece.front() != kByteOrderMark[m_bomState]) {
      const std::string_view seen(kByteOrderMark, static_cast<std::size_t>(m_bomState));
      m_bomState = -1;
      takeText(seen);
      break;
    }
    piece.remove_prefix(1);
    if (++m_bomState == 3) m_bomState = -1;
  }
  takeText(piece);
  return !m_done;
}

void SignalTextReader::takeText(std::string_view text) {
  while (!text.empty() && !m_done) {
    if (m_afterCr) {
      m_afterCr = false;
      if (text.front() == '\n') {
        text.remove_prefix(1);
        continue;
      }
    }
    const std::size_t end = text.find_first_of("\r\n");
    appendToLine(text.substr(0, end));
    if (end == std::string_view::npos) {
      // A value already longer than any number makes the line bad whatever follows: decided now, so a source
      // without line ends (/dev/zero) is not read on.
      if (valueCannotFit()) endLine();
      return;
    }
    m_afterCr = text[end] == '\r';
    text.remove_prefix(end + 1);
    endLine();
  }
}

bool SignalTextReader::valueCannotFit() const {
  if (m_lineBytes <= kMaxLineKept) return false;
  const bool tabInKeptPart = m_firstTab != std::string::npos && m_firstTab <= kMaxLineKept;
  const bool tabLayout = m_lineNumber == 0 ? tabInKeptPart : m_result.tabLayout;  // the first line decides
  return !(tabLayout && tabInKeptPart);
}

void SignalTextReader::appendToLine(std::string_view part) {
  if (m_firstTab == std::string::npos) {
    const std::size_t tab = part.find('\t');
    if (tab != std::string_view::npos) m_firstTab = m_lineBytes + tab;
  }
  if (m_line.size() < kMaxLineKept) m_line.append(part.substr(0, kMaxLineKept - m_line.size()));
  m_lineBytes += part.size();
  m_lineOpen = true;
}

void SignalTextReader::endLine() {
  ++m_lineNumber;
  takeLine();
  m_line.clear();
  m_lineBytes = 0;
  m_firstTab = std::string::npos;
  m_lineOpen = false;
}

void SignalTextReader::fail(const std::string& text) {
  m_result.record = SignalRecord{};
  m_result.error = MakeError(SignalFileErrorKind::kInvalidNumber, m_path, ClampedLine(m_lineNumber), ShortenedErrorText(text));
  m_done = true;
}

void SignalTextReader::takeLine() {
  if (m_lineNumber == 1) m_result.tabLayout = m_firstTab != std::string::npos;
  // The value text; `whole` is false when it runs past the part of the line that is kept (it is then far too
  // long to be a number).
  bool whole = true;
  std::string_view value = m_line;
  if (m_result.tabLayout && m_firstTab != std::string::npos) {
    if (m_firstTab <= m_line.size())
      value = value.substr(0, m_firstTab);
    else
      whole = false;
  } else if (m_lineBytes > m_line.size()) {
    whole = false;
  }
  const bool blank = whole && IsBlankText(value);

  auto parse = [&](std::string_view raw) -> std::optional<double> {
    if (!whole) return std::nullopt;
    const std::string text(raw);
    return ParseDecimalNumber(m_format.normalizeSeparators ? NormalizeDecimalSeparator(text, m_format.separator) : text,
                              m_format.separator);
  };

  if (m_lineNumber == 1 && m_temperature) {
    const std::optional<double> first = parse(value);
    if (!first) return fail(std::string(value));
    if (*first > kKelvinThreshold) {
      m_offset = kKelvinOffset;
      m_result.kelvin = true;
    }
  }
  if (blank) return;  // a blank line keeps its index; it is filled when a later value arrives

  std::vector<double>& values = m_result.record.values;
  const long long index = m_lineNumber - 1;
  if (index >= m_maxSamples) {
    m_result.truncated = true;
    if (m_maxSamples == kMaxRecordSamples) {
      m_result.warning = m_result.tabLayout ? kBigFileTabMessage : kBigFileMessage;
    } else {
      m_result.warning = "Big file - points > " + std::to_string(m_maxSamples);
    }
    m_done = true;
    return;
  }
  const std::optional<double> number = parse(value);
  if (!number) return fail(std::string(value));
  const double sample = *number - m_offset;
  // Blank lines before this one take the previous sample, or this one when they come first.
  values.resize(static_cast<std::size_t>(index), values.empty() ? sample : values.back());
  values.push_back(sample);
}

SignalReadResult SignalTextReader::finish() {
  if (!m_done) {
    if (m_bomState > 0) takeText(std::string_view(kByteOrderMark, static_cast<std::size_t>(m_bomState)));
    m_bomState = -1;
    if (m_lineOpen && !m_done) endLine();
    // An empty first line of a temperature file fails the kelvin check, as an empty file does.
    if (m_lineNumber == 0 && m_temperature) {
      m_lineNumber = 1;
      fail(std::string());
    }
  }
  m_done = true;
  SignalRecord& record = m_result.record;
  if (m_result.ok()) {
    // A truncated record keeps exactly the first m_maxSamples indices; blank lines just before the cut take the
    // previous sample.
    if (m_result.truncated && !record.values.empty())
      record.values.resize(static_cast<std::size_t>(m_maxSamples), record.values.back());
    record.lastIndex = static_cast<int>(record.values.size()) - 1;
    NormalizeRecord(record);
  }
  return std::move(m_result);
}

SignalReadResult ReadSignalFile(const std::string& path, bool temperature, DecimalFormat format, int maxSamples) {
  SignalReadResult result;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    result.error = MakeError(SignalFileErrorKind::kMissingFile, path);
    return result;
  }
  if (std::filesystem::is_directory(status)) {
    result.error = MakeError(SignalFileErrorKind::kCannotOpen, path);
    result.error->reason = std::make_error_code(std::errc::is_a_directory).message();
    return result;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    result.error = MakeError(SignalFileErrorKind::kCannotOpen, path);
    result.error->reason = SystemReason(errno);
    return result;
  }
  SignalTextReader reader(path, temperature, format, maxSamples);
  std::vector<char> buffer(kReadChunk);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (!reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) break;
  }
  if (in.bad()) {
    result.error = MakeError(SignalFileErrorKind::kCannotOpen, path);
    result.error->reason = SystemReason(errno);
    return result;
  }
  return reader.finish();
}

std::string DescribeFileError(const SignalFileError& error) {
  std::string text = EscapeBytes(error.path, true);
  if (error.line > 0) {
    text += ':';
    text += std::to_string(error.line);
  }
  text += ": ";
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "'" + std::string here.
  if (error.kind == SignalFileErrorKind::kInvalidNumber) {
    text += '\'';
    text += EscapeBytes(error.text);
    text += "' ";
  }
  text += error.message;
  if (!error.reason.empty()) {
    text += " (";
    text += error.reason;
    text += ')';
  }
  return text;
}

std::optional<SignalFileError> WriteSignalFile(const std::vector<double>& values, int lastIndex,
                                               const std::string& path, char separator, ValuePrecision precision) {
  const int count = std::clamp(lastIndex + 1, 0, static_cast<int>(values.size()));
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 8);
  for (int i = 0; i < count; ++i) {
    const double v = values[static_cast<std::size_t>(i)];
    if (!std::isfinite(v)) return MakeError(SignalFileErrorKind::kInvalidValue, path, i + 1);
    text += FormatSignalValue(v, separator, precision);
    text += '\n';
  }

  return WriteTextFileAtomically(path, text);
}

std::optional<SignalFileError> WriteTextFileAtomically(const std::string& path, const std::string& text) {
  if (const std::optional<std::string> reason = WriteFileAtomically(path, text)) {
    SignalFileError error = MakeError(SignalFileErrorKind::kCannotWrite, path);
    error.reason = *reason;
    return error;
  }
  return std::nullopt;
}

}  // namespace kelvora
