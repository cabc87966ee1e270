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
    : m_path(std::move(path)),
      m_temperature(temperature),
      m_format(format),
      m_maxSamples(std::max(1, maxSamples)),
      m_lines(kMaxLineKept + 1, [this](std::string_view line, long long number, std::size_t fullLength) {
        return takeLine(line, number, fullLength);
      }) {}

bool SignalTextReader::feed(std::string_view piece) {
  if (m_done) return false;
  m_lines.feed(piece);
  // A value already longer than any number makes the line bad whatever follows: decided now, so a source
  // without line ends (/dev/zero) is not read on.
  if (!m_done && pendingValueCannotFit())
    takeLine(m_lines.pendingLine(), m_lines.lines() + 1, m_lines.pendingLength());
  return !m_done;
}

bool SignalTextReader::pendingValueCannotFit() const {
  if (m_lines.pendingLength() <= kMaxLineKept) return false;
  const bool tabInKeptPart = m_lines.pendingLine().find('\t') != std::string_view::npos;
  const bool tabLayout = m_lines.lines() == 0 ? tabInKeptPart : m_result.tabLayout;  // the first line decides
  return !(tabLayout && tabInKeptPart);
}

void SignalTextReader::fail(const std::string& text) {
  m_result.record = SignalRecord{};
  m_result.error = MakeError(SignalFileErrorKind::kInvalidNumber, m_path, ClampedLine(m_lineNumber), ShortenedErrorText(text));
  m_done = true;
}

bool SignalTextReader::takeLine(std::string_view line, long long number, std::size_t fullLength) {
  m_lineNumber = number;
  const std::size_t firstTab = line.find('\t');
  if (m_lineNumber == 1) m_result.tabLayout = firstTab != std::string_view::npos;
  // The value text; `whole` is false when it runs past the part of the line that is kept (it is then far too
  // long to be a number).
  bool whole = true;
  std::string_view value = line;
  if (m_result.tabLayout && firstTab != std::string_view::npos) {
    value = value.substr(0, firstTab);
  } else if (fullLength > kMaxLineKept) {
    whole = false;
    value = value.substr(0, kMaxLineKept);
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
    if (!first) {
      fail(std::string(value));
      return false;
    }
    if (*first > kKelvinThreshold) {
      m_offset = kKelvinOffset;
      m_result.kelvin = true;
    }
  }
  if (blank) return true;  // a blank line keeps its index; it is filled when a later value arrives

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
    return false;
  }
  const std::optional<double> parsed = parse(value);
  if (!parsed) {
    fail(std::string(value));
    return false;
  }
  const double sample = *parsed - m_offset;
  // Blank lines before this one take the previous sample, or this one when they come first.
  values.resize(static_cast<std::size_t>(index), values.empty() ? sample : values.back());
  values.push_back(sample);
  return true;
}

SignalReadResult SignalTextReader::finish() {
  if (!m_done) {
    m_lines.finish();
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

RecordFileError RecordErrorOf(const SignalFileError& error) {
  RecordFileError record;
  record.path = error.path;
  record.line = error.line;
  record.text = error.text;
  record.reason = error.reason;
  switch (error.kind) {
    case SignalFileErrorKind::kMissingFile:
      record.kind = RecordFileErrorKind::kMissingFile;
      break;
    case SignalFileErrorKind::kCannotOpen:
      record.kind = RecordFileErrorKind::kCannotOpen;
      break;
    case SignalFileErrorKind::kInvalidNumber:
      record.kind = RecordFileErrorKind::kBadNumber;
      break;
    case SignalFileErrorKind::kCannotWrite:
      record.kind = RecordFileErrorKind::kCannotWrite;
      break;
    case SignalFileErrorKind::kInvalidValue:
      record.kind = RecordFileErrorKind::kNonFiniteValue;
      record.count = std::max(0, error.line - 1);
      break;
  }
  return record;
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
