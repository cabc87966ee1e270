#include "formats/ppg_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/text_helpers.h"

namespace kelvora {
namespace {

// A bad line is quoted with at most this many bytes, then "...".
constexpr std::size_t kShownBytes = 40;


// A plain decimal "[-]digits[.digits]" of at most 15 significant digits and 22 decimals, converted exactly as
// std::from_chars does: the digits form an integer below 2^53 and the power of ten is exact, so their quotient
// is the correctly rounded value. False (value untouched) for any other text, which from_chars then takes.
bool ParseShortDecimal(std::string_view text, double& value) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  std::uint64_t digits = 0;
  int count = 0;
  int decimals = -1;
  bool any = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (digits != 0 || c != '0') ++count;
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      if (decimals >= 0) ++decimals;
    } else if (c == '.' && decimals < 0) {
      decimals = 0;
    } else {
      return false;
    }
  }
  // "1." and ".5" are numbers for from_chars too; a lone "." or "-" is not.
  if (!any || count > 15 || decimals > 22) return false;
  const double magnitude = static_cast<double>(digits) / kPowersOfTen[decimals < 0 ? 0 : decimals];
  value = negative ? -magnitude : magnitude;
  return true;
}

// Converts one value text; false when it is not a finite number. The decimal mark is ',' or '.' when the
// locale's separator is not ',', and only ',' when it is.
bool ParseValue(std::string_view text, char decimalSeparator, double& value) {
  if (text.empty() || text.size() >= 128) return false;
  // The common case, a plain number with a '.' mark, is converted where it stands; anything else (a leading
  // '+', a ',' mark, a bad text) takes the general way below, which gives the verdict.
  if (decimalSeparator != ',' && text.front() != '+') {
    if (ParseShortDecimal(text, value)) return true;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec == std::errc() && ptr == end) return std::isfinite(value);
  }
  if (text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) return false;
  }
  if (text.empty()) return false;
  char buffer[128];
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == ',') {
      c = '.';
    } else if (c == '.' && decimalSeparator == ',') {
      return false;
    }
    buffer[i] = c;
  }
  const char* end = buffer + text.size();
  const auto [ptr, ec] = std::from_chars(buffer, end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

// The end of the line that starts at `pos`: the first LF or CR from there, or text.size(). Files without any
// CR (the usual case) are scanned for LF alone, byte by byte, which beats a library call on lines of a few
// bytes.
std::size_t LineEnd(std::string_view text, std::size_t pos, bool hasCarriageReturns) {
  if (!hasCarriageReturns) {
    const char* p = text.data() + pos;
    const char* end = text.data() + text.size();
    while (p != end && *p != '\n') ++p;
    return static_cast<std::size_t>(p - text.data());
  }
  const std::size_t eol = text.find_first_of("\r\n", pos);
  return eol == std::string_view::npos ? text.size() : eol;
}

// A line as a message quotes it: at most 40 bytes, then "...", with control and non-ASCII bytes as \xNN so
// binary junk stays one clean line.
std::string Shortened(std::string_view text) {
  constexpr std::size_t kShown = 40;
  return EscapeBytes(text.substr(0, kShown)) + (text.size() > kShown ? "..." : "");
}

}  // namespace

namespace {

// FinishPpgSignal with the samples' minimum and maximum already known.
void FinishWithRange(PpgSignal& signal, double minimum, double maximum) {
  signal.scaled.clear();
  if (signal.values.empty()) {
    signal.minimum = signal.maximum = 0.0;
    signal.durationS = 0;
    return;
  }
  signal.minimum = minimum;
  signal.maximum = maximum;
  signal.durationS = static_cast<int>(std::max(0L, std::lround(signal.lastIndex() / signal.inRateHz)));
  const double range = signal.maximum - signal.minimum;
  if (!(range > 0.0) || !std::isfinite(range)) return;
  signal.scaled.resize(signal.values.size());

  for (std::size_t k = 0; k < signal.values.size(); ++k)
    signal.scaled[k] = (signal.values[k] - signal.minimum) / range * 10.0;
}

}  // namespace

void FinishPpgSignal(PpgSignal& signal) {
  if (signal.values.empty()) {
    FinishWithRange(signal, 0.0, 0.0);
    return;
  }
  const auto [lo, hi] = std::minmax_element(signal.values.begin(), signal.values.end());
  FinishWithRange(signal, *lo, *hi);
}

namespace {

// The line-by-line parse of PPG text, fed in blocks: each block's complete lines are parsed where they stand
// (no copy, no allocation per line); the caller keeps the unfinished last line and feeds it again with more.
class PpgLineParser {
 public:
  PpgLineParser(PpgReadResult& result, char decimalSeparator, std::size_t capacityHint)
      : m_result(result), m_values(result.signal.values), m_separator(decimalSeparator) {
    // A sample takes at least two bytes (a digit and a line end), so this is enough for every sample.
    m_values.reserve(std::min<std::size_t>(capacityHint / 2 + 1, kMaxPpgSamples));
  }

  // Parses the complete lines of `text` and, when `final`, the unterminated rest as the last line. Returns the
  // bytes used (the start of the unfinished line). A CR at the very end of a block that is not final is left
  // unused, since an LF may follow it in the next block. After done() nothing more is parsed.
  std::size_t feed(std::string_view text, bool final) {
    const bool hasCarriageReturns = std::memchr(text.data(), '\r', text.size()) != nullptr;
    std::size_t pos = 0;
    while (pos < text.size() && !m_done) {
      // A line ends at LF, CR LF or a lone CR (old Mac files).
      const std::size_t eol = LineEnd(text, pos, hasCarriageReturns);
      if (!final && (eol == text.size() || (text[eol] == '\r' && eol + 1 == text.size()))) break;
      std::size_t next = eol + 1;
      if (eol < text.size() && text[eol] == '\r' && next < text.size() && text[next] == '\n') ++next;
      take(TrimBlanks(text.substr(pos, eol - pos)));
      pos = std::min(next, text.size());
    }
    return pos;
  }

  bool done() const { return m_done; }

 private:
  void take(std::string_view line) {
    ++m_lineNumber;
    if (m_header) {
      m_header = false;
      return;
    }
    if (line.empty()) return;
    if (m_values.size() == static_cast<std::size_t>(kMaxPpgSamples)) {
      m_result.status = PpgReadStatus::kBigFile;
      m_result.message = kPpgBigFileMessage;
      m_done = true;
      return;
    }
    double value = 0.0;
    if (!ParseValue(line, m_separator, value)) {
      m_result.signal = PpgSignal{};
      m_result.status = PpgReadStatus::kBadNumber;
      m_result.line = m_lineNumber;
      m_result.text = line.size() > 40 ? std::string(line.substr(0, 40)) + "..." : std::string(line);
      m_result.message = "Line " + std::to_string(m_lineNumber) + ": '" + Shortened(line) + "' is not a valid number";
      m_done = true;
      return;
    }
    if (value == 0.0) value = 0.0;  // "-0" is plain zero
    m_values.push_back(value);
    if (m_values.size() == 1) m_minimum = m_maximum = value;
    if (value < m_minimum) m_minimum = value;
    if (value > m_maximum) m_maximum = value;
  }

 public:
  // The smallest and largest sample taken (0 when none).
  double minimum() const { return m_minimum; }
  double maximum() const { return m_maximum; }

 private:

  PpgReadResult& m_result;
  std::vector<double>& m_values;
  char m_separator;
  int m_lineNumber = 0;
  bool m_header = true;
  bool m_done = false;
  double m_minimum = 0.0;
  double m_maximum = 0.0;
};

// What the reader adds once the samples are in: the derived fields and the note on a constant signal.
void FinishRead(PpgReadResult& result, const PpgLineParser& parser) {
  if (result.status == PpgReadStatus::kBadNumber) return;
  FinishWithRange(result.signal, parser.minimum(), parser.maximum());
  if (!result.signal.empty() && !result.signal.scalable() && result.message.empty()) {
    result.message = "All PPG samples are equal (maximum = minimum): the PPG cannot be scaled";
  }
}

}  // namespace

PpgReadResult ParsePpgText(std::string_view text, double inRateHz, char decimalSeparator) {
  PpgReadResult result;
  result.signal.inRateHz = inRateHz;
  PpgLineParser parser(result, decimalSeparator, text.size());
  parser.feed(text, true);
  FinishRead(result, parser);
  return result;
}

PpgReadResult ReadPpgFile(const std::string& path, double inRateHz, char decimalSeparator) {
  const auto closer = [](std::FILE* f) { std::fclose(f); };
  std::unique_ptr<std::FILE, decltype(closer)> file(std::fopen(path.c_str(), "rb"), closer);
  PpgReadResult failed;
  failed.status = PpgReadStatus::kCannotOpen;
  failed.message = "Cannot open file " + path;
  if (!file) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
      failed.status = PpgReadStatus::kMissingFile;
      failed.message = "File " + path + " does not exist";
    }
    return failed;
  }

  PpgReadResult result;
  result.signal.inRateHz = inRateHz;
  std::error_code sizeError;
  const std::uintmax_t size = std::filesystem::file_size(path, sizeError);
  PpgLineParser parser(result, decimalSeparator,
                       sizeError ? 0 : static_cast<std::size_t>(std::min<std::uintmax_t>(size, 1u << 30)));
  // Blocks of 1 MiB are parsed as they come; the unfinished last line of a block moves to the front of the
  // buffer. A line longer than kMaxLineBytes can be neither a number nor a sensible header: reading stops there,
  // so a source without line ends (/dev/zero) does not fill the memory, and the parse reports that line.
  constexpr std::size_t kBlockBytes = 1 << 20;
  constexpr std::size_t kMaxLineBytes = 1 << 20;
  std::vector<char> buffer(kBlockBytes);
  std::size_t kept = 0;  // bytes of the unfinished line at the front of the buffer
  for (;;) {
    if (buffer.size() - kept < kBlockBytes / 2) buffer.resize(kept + kBlockBytes);
    const std::size_t got = std::fread(buffer.data() + kept, 1, buffer.size() - kept, file.get());
    const std::size_t filled = kept + got;
    const bool atEnd = got == 0;
    if (atEnd && std::ferror(file.get())) return failed;
    const std::size_t used = parser.feed(std::string_view(buffer.data(), filled), atEnd);
    if (atEnd || parser.done()) break;
    kept = filled - used;
    std::memmove(buffer.data(), buffer.data() + used, kept);
    if (kept > kMaxLineBytes) {
      parser.feed(std::string_view(buffer.data(), kept), true);
      break;
    }
  }
  if (std::ferror(file.get())) return failed;
  FinishRead(result, parser);
  return result;
}

std::optional<SignalFileError> PpgFileError(const PpgReadResult& read, const std::string& path) {
  if (read.ok()) return std::nullopt;
  SignalFileError error;
  error.path = path;
  switch (read.status) {
    case PpgReadStatus::kMissingFile:
      error.kind = SignalFileErrorKind::kMissingFile;
      error.message = "File does not exist";
      break;
    case PpgReadStatus::kBadNumber:
      error.kind = SignalFileErrorKind::kInvalidNumber;
      error.message = "is not a valid number";
      error.line = read.line;
      error.text = read.text;
      break;
    default:
      error.kind = SignalFileErrorKind::kCannotOpen;
      error.message = "Cannot open file";
      break;
  }
  return error;
}

}  // namespace kelvora
