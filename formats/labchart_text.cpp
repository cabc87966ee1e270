// Reading acquisition-system text exports: header lines, then tab-separated rows in blocks.
#include "formats/labchart_text.h"

#include <charconv>
#include <cmath>
#include <fstream>

#include "core/text_helpers.h"
#include "formats/line_splitter.h"

namespace kelvora {
namespace {

const char* const kHeaderKeys[] = {"Interval",     "ExcelDateTime", "TimeFormat", "DateFormat", "ChannelTitle",
                                   "Range",        "UnitName",      "TopValue",   "BottomValue"};

// A number filling the whole of `text` (blanks around it allowed), finite.
bool ParseFinite(std::string_view text, double& value) {
  text = TrimBlanks(text);
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

// Seconds, or h:mm:ss.sss / mm:ss.sss.
bool ParseTime(std::string_view text, double& seconds) {
  text = TrimBlanks(text);
  if (text.find(':') == std::string_view::npos) return ParseFinite(text, seconds);
  double total = 0.0;
  int parts = 0;
  while (true) {
    const std::size_t colon = text.find(':');
    const std::string_view part = text.substr(0, colon);
    double value = 0.0;
    if (!ParseFinite(part, value) || value < 0) return false;
    if (++parts > 3) return false;
    total = total * 60.0 + value;
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
  }
  seconds = total;
  return parts >= 2 && std::isfinite(total);
}

// "0.025 s", "25 ms", "0.025".
bool ParseInterval(std::string_view text, double& seconds) {
  text = TrimBlanks(text);
  std::size_t split = text.size();
  while (split > 0 && !(text[split - 1] >= '0' && text[split - 1] <= '9') && text[split - 1] != '.') --split;
  double value = 0.0;
  if (!ParseFinite(text.substr(0, split), value)) return false;
  const std::string_view unit = TrimBlanks(text.substr(split));
  double scale = 0.0;
  if (unit.empty() || unit == "s" || unit == "sec") scale = 1.0;
  else if (unit == "ms") scale = 1e-3;
  else if (unit == "us" || unit == "\xC2\xB5s") scale = 1e-6;
  else if (unit == "min") scale = 60.0;
  else return false;
  seconds = value * scale;
  return std::isfinite(seconds) && seconds > 0 && std::isfinite(1.0 / seconds);
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return fields;
}

// The key of a header line ("Interval" of "Interval=\t0.01 s"), or an empty view for a line that is not one:
// a letter first and an '=' before any tab.
std::string_view HeaderKey(std::string_view line) {
  if (line.empty() || !((line[0] >= 'A' && line[0] <= 'Z') || (line[0] >= 'a' && line[0] <= 'z'))) return {};
  const std::size_t equals = line.find('=');
  const std::size_t tab = line.find('\t');
  if (equals == std::string_view::npos || (tab != std::string_view::npos && tab < equals)) return {};
  return TrimBlanks(line.substr(0, equals));
}

// The fields of a header line after its key: "ChannelTitle=\tT\tBF" gives {"T", "BF"}.
std::vector<std::string_view> HeaderFields(std::string_view line) {
  std::string_view rest = line.substr(line.find('=') + 1);
  if (!rest.empty() && rest.front() == '\t') rest.remove_prefix(1);
  if (rest.empty()) return {};
  return SplitTabs(rest);
}

struct Header {
  double intervalS = 0.0;
  std::vector<std::string> titles;
  std::vector<std::string> units;
  std::optional<double> startDays;
};

struct BlockBuilder {
  bool open = false;
  long long firstLine = 0;
  long long sampleRows = 0;
  double firstTime = 0.0, lastTime = 0.0, lastSampleTime = 0.0;
  bool anyRow = false;
  int channelCount = 0;
  std::vector<int> wanted;  // 0-based channel of each channel read
  std::vector<std::string> names;
  std::vector<std::vector<double>> values;
  std::vector<bool> truncated;
  std::vector<RecordMarker> markers;  // times as the file has them until the block ends
  Header header;
};

class Reader {
 public:
  Reader(const LabChartTextOptions& options, const std::string& path) : m_options(options), m_path(path) {}

  bool line(std::string_view text, long long number, std::size_t fullLength) {
    if (fullLength > kMaxLabChartLineBytes) {
      fail(RecordFileErrorKind::kLineTooLong, number);
      m_error->count = static_cast<long long>(fullLength);
      m_error->expected = static_cast<long long>(kMaxLabChartLineBytes);
      return false;
    }
    if (IsBlankText(text)) return true;
    const std::string_view key = HeaderKey(text);
    if (!key.empty()) return headerLine(key, text, number);
    return dataRow(text, number);
  }

  LabChartTextResult finish() {
    if (!m_error) closeBlock();
    LabChartTextResult result;
    if (!m_error && m_result.empty()) {
      fail(RecordFileErrorKind::kNoData, 0);
    }
    if (m_error) {
      result.error = m_error;
      return result;
    }
    result.blocks = std::move(m_result);
    return result;
  }

 private:
  void fail(RecordFileErrorKind kind, long long line) {
    RecordFileError e;
    e.kind = kind;
    e.path = m_path;
    e.line = line;
    m_error = e;
  }

  bool headerLine(std::string_view key, std::string_view text, long long number) {
    if (m_block.sampleRows > 0 || m_block.anyRow) closeBlock();
    const std::vector<std::string_view> fields = HeaderFields(text);
    const std::string_view first = fields.empty() ? std::string_view{} : fields.front();
    auto bad = [&]() {
      fail(RecordFileErrorKind::kBadHeaderValue, number);
      m_error->text = ShortenedErrorText(std::string(key) + "=");
      m_error->reason = ShortenedErrorText(std::string(TrimBlanks(first)));
      return false;
    };
    if (key == "Interval") {
      double interval = 0.0;
      if (!ParseInterval(first, interval)) return bad();
      m_header.intervalS = interval;
    } else if (key == "ExcelDateTime") {
      double days = 0.0;
      if (!ParseFinite(first, days)) return bad();
      m_header.startDays = days + kExcelToMatlabDays;
    } else if (key == "ChannelTitle") {
      m_header.titles.clear();
      for (const std::string_view f : fields) m_header.titles.emplace_back(TrimBlanks(f));
    } else if (key == "UnitName") {
      m_header.units.clear();
      for (const std::string_view f : fields) {
        const std::string_view unit = TrimBlanks(f);
        m_header.units.emplace_back(unit == "*" ? std::string_view{} : unit);
      }
    }
    return true;
  }

  bool startBlock(const std::vector<std::string_view>& fields, std::size_t valueFields, long long number) {
    m_block = BlockBuilder{};
    m_block.open = true;
    m_block.firstLine = number;
    m_block.header = m_header;
    if (m_header.intervalS <= 0) {
      fail(RecordFileErrorKind::kNoSampleRate, number);
      return false;
    }
    m_block.channelCount = m_header.titles.empty() ? static_cast<int>(valueFields)
                                                   : static_cast<int>(m_header.titles.size());
    for (int c = 0; c < m_block.channelCount; ++c)
      m_block.names.push_back(c < static_cast<int>(m_header.titles.size()) ? m_header.titles[static_cast<std::size_t>(c)]
                                                                           : std::string{});
    if (m_options.channels.empty()) {
      for (int c = 0; c < m_block.channelCount; ++c) m_block.wanted.push_back(c);
    } else {
      for (const ChannelRef& ref : m_options.channels) {
        const int found = FindByRef(m_block.names, ref);
        if (found <= 0) {
          fail(found < 0 ? RecordFileErrorKind::kAmbiguousChannel : RecordFileErrorKind::kNoSuchChannel, 0);
          m_error->text = ShortenedErrorText(ref.text());
          m_error->count = m_block.channelCount;
          return false;
        }
        m_block.wanted.push_back(found - 1);
      }
    }
    m_block.values.assign(m_block.wanted.size(), {});
    m_block.truncated.assign(m_block.wanted.size(), false);
    (void)fields;
    return true;
  }

  bool dataRow(std::string_view text, long long number) {
    const std::vector<std::string_view> fields = SplitTabs(text);
    double time = 0.0;
    if (!ParseTime(fields.front(), time)) {
      fail(RecordFileErrorKind::kBadNumber, number);
      m_error->column = 1;
      m_error->text = ShortenedErrorText(std::string(fields.front()));
      return false;
    }
    std::size_t commentAt = fields.size();
    for (std::size_t i = 1; i < fields.size(); ++i) {
      const std::string_view f = TrimBlanks(fields[i]);
      if (!f.empty() && f.front() == '#') {
        commentAt = i;
        break;
      }
    }
    const std::size_t valueFields = commentAt - 1;
    const bool commentOnly = valueFields == 0 && commentAt < fields.size();
    if (m_block.open && m_block.anyRow && time < m_block.lastTime) closeBlock();
    if (!m_block.open && !startBlock(fields, valueFields, number)) return false;
    if (!commentOnly) {
      if (static_cast<int>(valueFields) != m_block.channelCount) {
        fail(RecordFileErrorKind::kRaggedRow, number);
        m_error->count = static_cast<long long>(fields.size());
        m_error->expected = m_block.channelCount + 1;
        return false;
      }
      if (m_block.sampleRows > 0) {
        const double step = time - m_block.lastSampleTime;
        const double interval = m_block.header.intervalS;
        if (!(std::fabs(step - interval) <= interval / 2)) {
          fail(RecordFileErrorKind::kTimeNotUniform, number);
          m_error->column = 1;
          m_error->timeS = time;
          m_error->stepS = step;
          m_error->expectedStepS = interval;
          return false;
        }
      } else {
        m_block.firstTime = time;
      }
      for (std::size_t w = 0; w < m_block.wanted.size(); ++w) {
        const int channel = m_block.wanted[w];
        const std::string_view cell = TrimBlanks(fields[static_cast<std::size_t>(channel) + 1]);
        if (cell == "*" && m_options.forLayout) {
          std::vector<double>& column = m_block.values[w];
          if (m_options.maxSamples < 0 || static_cast<long long>(column.size()) < m_options.maxSamples) column.push_back(0.0);
          continue;
        }
        if (cell == "*") {
          fail(RecordFileErrorKind::kMissingSample, number);
          m_error->column = channel + 1;
          m_error->text.assign(1, '*');
          return false;
        }
        double value = 0.0;
        if (!ParseFinite(cell, value)) {
          fail(RecordFileErrorKind::kBadNumber, number);
          m_error->column = channel + 2;
          m_error->text = ShortenedErrorText(std::string(cell));
          return false;
        }
        std::vector<double>& column = m_block.values[w];
        if (m_options.maxSamples >= 0 && static_cast<long long>(column.size()) >= m_options.maxSamples) {
          m_block.truncated[w] = true;
        } else {
          column.push_back(value);
        }
      }
      ++m_block.sampleRows;
      m_block.lastSampleTime = time;
    }
    m_block.anyRow = true;
    m_block.lastTime = time;
    // Comments: each field starting with '#' begins one; the fields after it belong to it.
    RecordMarker* current = nullptr;
    for (std::size_t i = commentAt; i < fields.size(); ++i) {
      std::string_view f = TrimBlanks(fields[i]);
      if (!f.empty() && f.front() == '#') {
        f.remove_prefix(1);
        RecordMarker marker;
        marker.timeS = time;
        marker.source = "labchart";
        if (!f.empty() && f.front() == '*') {
          f.remove_prefix(1);
        } else {
          int channel = 0;
          std::size_t digits = 0;
          while (digits < f.size() && f[digits] >= '0' && f[digits] <= '9' && channel < 100000) {
            channel = channel * 10 + (f[digits] - '0');
            ++digits;
          }
          marker.channel = channel;
          f.remove_prefix(digits);
        }
        marker.label = std::string(TrimBlanks(f));
        m_block.markers.push_back(std::move(marker));
        current = &m_block.markers.back();
      } else if (current && !f.empty()) {
        if (!current->label.empty()) current->label += ' ';
        current->label += std::string(f);
      }
    }
    return true;
  }

  void closeBlock() {
    if (!m_block.open) return;
    // A block of times alone (no channel in its header or rows) holds no signal.
    if (m_block.sampleRows > 0 && m_block.channelCount > 0) {
      RecordBlock block;
      block.firstLine = m_block.firstLine;
      block.startDays = m_block.header.startDays;
      block.channelNames = m_block.names;
      const double rate = 1.0 / m_block.header.intervalS;
      for (std::size_t w = 0; w < m_block.wanted.size(); ++w) {
        const int c = m_block.wanted[w];
        ImportedChannel channel;
        channel.name = m_block.names[static_cast<std::size_t>(c)];
        if (c < static_cast<int>(m_block.header.units.size())) channel.unit = m_block.header.units[static_cast<std::size_t>(c)];
        channel.sampleRateHz = rate;
        channel.startTimeS = m_block.firstTime;
        channel.values = std::move(m_block.values[w]);
        channel.truncated = m_block.truncated[w];
        block.channels.push_back(std::move(channel));
        block.channelNumbers.push_back(c + 1);
      }
      for (RecordMarker& m : m_block.markers) {
        m.timeS -= m_block.firstTime;
        block.markers.push_back(std::move(m));
      }
      m_result.push_back(std::move(block));
    }
    m_block = BlockBuilder{};
  }

  const LabChartTextOptions& m_options;
  std::string m_path;
  Header m_header;
  BlockBuilder m_block;
  std::vector<RecordBlock> m_result;
  std::optional<RecordFileError> m_error;
};

}  // namespace

bool LooksLikeLabChartText(std::string_view start) {
  if (start.substr(0, 3) == "\xEF\xBB\xBF") start.remove_prefix(3);
  while (!start.empty()) {
    const std::size_t end = start.find_first_of("\r\n");
    const std::string_view line = start.substr(0, end);
    if (!IsBlankText(line)) {
      const std::string_view key = HeaderKey(line);
      for (const char* k : kHeaderKeys)
        if (key == k) return true;
      return false;
    }
    if (end == std::string_view::npos) break;
    start.remove_prefix(end + 1);
  }
  return false;
}

LabChartTextResult ReadLabChartText(std::string_view text, const LabChartTextOptions& options,
                                    const std::string& path) {
  Reader reader(options, path);
  LineSplitter splitter(kMaxLabChartLineBytes + 1, [&](std::string_view line, long long number, std::size_t length) {
    return reader.line(line, number, length);
  });
  splitter.feed(text);
  splitter.finish();
  return reader.finish();
}

LabChartTextResult ReadLabChartTextFile(const std::string& path, const LabChartTextOptions& options) {
  if (auto error = CheckReadableFile(path)) {
    LabChartTextResult result;
    result.error = error;
    return result;
  }
  std::ifstream in(path, std::ios::binary);
  Reader reader(options, path);
  LineSplitter splitter(kMaxLabChartLineBytes + 1, [&](std::string_view line, long long number, std::size_t length) {
    return reader.line(line, number, length);
  });
  std::string piece(1 << 16, '\0');
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (!splitter.feed(std::string_view(piece.data(), static_cast<std::size_t>(got)))) break;
  }
  splitter.finish();
  return reader.finish();
}

}  // namespace kelvora
