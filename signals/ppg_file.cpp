#include "signals/ppg_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/text_helpers.h"

namespace kelvora {
namespace {

// A bad line is quoted with at most this many bytes, then "...".
constexpr std::size_t kShownBytes = 40;


// Converts one value text; false when it is not a finite number. The decimal mark is ',' or '.' when the
// locale's separator is not ',', and only ',' when it is.
bool ParseValue(std::string_view text, char decimalSeparator, double& value) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) return false;
  }
  if (text.empty()) return false;
  char buffer[128];
  if (text.size() >= sizeof buffer) return false;
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

}  // namespace

void FinishPpgSignal(PpgSignal& signal) {
  signal.scaled.clear();
  if (signal.values.empty()) {
    signal.minimum = signal.maximum = 0.0;
    signal.durationS = 0;
    return;
  }
  const auto [lo, hi] = std::minmax_element(signal.values.begin(), signal.values.end());
  signal.minimum = *lo;
  signal.maximum = *hi;
  signal.durationS = static_cast<int>(std::max(0L, std::lround(signal.lastIndex() / signal.inRateHz)));
  const double range = signal.maximum - signal.minimum;
  if (!(range > 0.0) || !std::isfinite(range)) return;
  signal.scaled.resize(signal.values.size());

  for (std::size_t k = 0; k < signal.values.size(); ++k)
    signal.scaled[k] = (signal.values[k] - signal.minimum) / range * 10.0;
}

PpgReadResult ParsePpgText(std::string_view text, double inRateHz, char decimalSeparator) {
  PpgReadResult result;
  result.signal.inRateHz = inRateHz;
  std::vector<double>& values = result.signal.values;
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n') +
                                              std::count(text.begin(), text.end(), '\r')) +
                     1;
  values.reserve(std::min<std::size_t>(lines, kMaxPpgSamples));

  std::size_t pos = 0;
  int lineNumber = 0;
  bool header = true;
  while (pos < text.size()) {
    // A line ends at LF, CR LF or a lone CR (old Mac files).
    std::size_t eol = text.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = text.size();
    const std::string_view line = TrimBlanks(text.substr(pos, eol - pos));
    pos = eol + 1;
    if (eol < text.size() && text[eol] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    ++lineNumber;
    if (header) {
      header = false;
      continue;
    }
    if (line.empty()) continue;
    if (values.size() == static_cast<std::size_t>(kMaxPpgSamples)) {
      result.status = PpgReadStatus::kBigFile;
      result.message = kPpgBigFileMessage;
      break;
    }
    double value = 0.0;
    if (!ParseValue(line, decimalSeparator, value)) {
      PpgReadResult failed;
      failed.status = PpgReadStatus::kBadNumber;
      failed.line = lineNumber;
      failed.text = line.size() > kShownBytes ? std::string(line.substr(0, kShownBytes)) + "..." : std::string(line);
      const std::string shown = EscapeBytes(line.substr(0, kShownBytes)) + (line.size() > kShownBytes ? "..." : "");
      failed.message = "Line " + std::to_string(lineNumber) + ": '" + shown + "' is not a valid number";
      return failed;
    }
    values.push_back(value == 0.0 ? 0.0 : value);  // "-0" is plain zero
  }

  FinishPpgSignal(result.signal);
  if (!result.signal.empty() && !result.signal.scalable() && result.message.empty()) {
    result.message = "All PPG samples are equal (maximum = minimum): the PPG cannot be scaled";
  }
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

  std::string text;
  char chunk[1 << 16];
  std::size_t got = 0;
  // A line longer than kMaxLineBytes can be neither a number nor a sensible header: reading stops there, so a
  // source without line ends (/dev/zero) does not fill the memory. The parse then reports that line.
  constexpr std::size_t kMaxLineBytes = 1 << 20;
  std::size_t lineStart = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    const std::size_t lastEnd = std::string_view(chunk, got).find_last_of("\r\n");
    if (lastEnd != std::string_view::npos) lineStart = text.size() + lastEnd + 1;
    text.append(chunk, got);
    if (text.size() - lineStart > kMaxLineBytes) break;
  }
  if (std::ferror(file.get())) return failed;
  return ParsePpgText(text, inRateHz, decimalSeparator);
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
