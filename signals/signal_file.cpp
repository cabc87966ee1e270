#include "signals/signal_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "signals/text_utils.h"

namespace kelvora {
namespace {

constexpr double kKelvinThreshold = 250.0;
constexpr double kKelvinOffset = 273.15;

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

// Reads one line without its line end ("\n" or "\r\n"); false at the end of the stream.
bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

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
  const double range = record.maximum - record.minimum;
  if (range > 0.0)
    for (int i = 0; i < count; ++i)
      record.normalized[static_cast<std::size_t>(i)] =
          (record.values[static_cast<std::size_t>(i)] - record.minimum) / range;
}

SignalReadResult ReadSignalFile(const std::string& path, bool temperature, DecimalFormat format) {
  SignalReadResult result;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    result.error = MakeError(SignalFileErrorKind::kMissingFile, path);
    return result;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_directory(path, ec)) {
    result.error = MakeError(SignalFileErrorKind::kCannotOpen, path);
    return result;
  }
  // Lines up to the record's capacity; past it the file is read only to learn whether more data follows.
  std::vector<std::string> lines;
  std::string line;
  bool moreData = false;
  while (ReadLine(in, line)) {
    if (lines.empty()) result.tabLayout = line.find('\t') != std::string::npos;
    if (static_cast<int>(lines.size()) < kMaxRecordSamples) {
      lines.push_back(line);
      continue;
    }
    if (!IsBlank(result.tabLayout ? line.substr(0, line.find('\t')) : line)) {
      moreData = true;
      break;
    }
  }
  if (in.bad()) {
    result.error = MakeError(SignalFileErrorKind::kCannotOpen, path);
    return result;
  }

  const std::string firstLine = lines.empty() ? std::string() : lines.front();
  auto valueText = [&](const std::string& text) { return result.tabLayout ? text.substr(0, text.find('\t')) : text; };
  auto parse = [&](const std::string& raw) {
    const std::string text = format.normalizeSeparators ? NormalizeDecimalSeparator(raw, format.separator) : raw;
    return ParseDecimalNumber(text, format.separator);
  };

  double offset = 0.0;
  if (temperature) {
    const std::string first = valueText(firstLine);
    const std::optional<double> value = parse(first);
    if (!value) {
      result.error = MakeError(SignalFileErrorKind::kInvalidNumber, path, 1, first);
      return result;
    }
    if (*value > kKelvinThreshold) {
      offset = kKelvinOffset;
      result.kelvin = true;
    }
  }

  // Blank lines after the last value are not data.
  int dataLines = static_cast<int>(lines.size());
  if (moreData) {
    result.truncated = true;
    result.warning = result.tabLayout ? kBigFileTabMessage : kBigFileMessage;
  } else {
    while (dataLines > 0 && IsBlank(valueText(lines[static_cast<std::size_t>(dataLines - 1)]))) --dataLines;
  }

  SignalRecord& record = result.record;
  record.values.assign(static_cast<std::size_t>(dataLines), 0.0);
  int firstValue = -1;
  for (int i = 0; i < dataLines; ++i) {
    const std::string text = valueText(lines[static_cast<std::size_t>(i)]);
    if (IsBlank(text)) {
      if (firstValue >= 0) record.values[static_cast<std::size_t>(i)] = record.values[static_cast<std::size_t>(i - 1)];
      continue;
    }
    const std::optional<double> value = parse(text);
    if (!value) {
      result.record = SignalRecord{};
      result.error = MakeError(SignalFileErrorKind::kInvalidNumber, path, i + 1, text);
      return result;
    }
    record.values[static_cast<std::size_t>(i)] = *value - offset;
    if (firstValue < 0) {
      firstValue = i;
      for (int j = 0; j < i; ++j)
        record.values[static_cast<std::size_t>(j)] = record.values[static_cast<std::size_t>(i)];
    }
  }
  record.lastIndex = dataLines - 1;
  NormalizeRecord(record);
  return result;
}

std::string FormatSignalValue(double value, char separator, ValuePrecision precision) {
  char buffer[400];
  std::to_chars_result r{};
  if (precision == ValuePrecision::kFull)
    r = std::to_chars(buffer, buffer + sizeof buffer, value);
  else
    r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  std::string text(buffer, r.ptr);
  if (precision == ValuePrecision::kThreeDecimals && std::isfinite(value)) {
    const std::size_t point = text.find('.');
    if (point != std::string::npos) {
      while (text.back() == '0') text.pop_back();
      if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
  }
  for (char& c : text)
    if (c == '.') c = separator;
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
  const std::string temporary = path + ".kelvora-tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return MakeError(SignalFileErrorKind::kCannotWrite, path);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return MakeError(SignalFileErrorKind::kCannotWrite, path);
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return MakeError(SignalFileErrorKind::kCannotWrite, path);
  }
  return std::nullopt;
}

}  // namespace kelvora
