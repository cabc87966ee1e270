#include "formats/delimited_reader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <system_error>

#include "formats/line_splitter.h"
#include "core/text_helpers.h"

namespace kelvora {
namespace {

constexpr std::size_t kReadChunk = 1 << 16;

bool IsCommentOrBlank(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos || line[first] == '#';
}

// The rows of a delimited text under a fixed layout, one line at a time.
class RowReader {
 public:
  RowReader(const DelimitedReadOptions& options, DelimitedReadResult& result, const std::string& path)
      : m_options(options), m_result(result), m_path(path) {}

  // Resolves the wanted columns; false (with the error set) when one is not there.
  bool prepare();
  // One line of the file; false once reading should stop (an error, or the row limit).
  bool takeLine(std::string_view line, long long number, std::size_t fullLength);
  // Works out the rate and fills the channels.
  void finish();

 private:
  struct Column {
    int number = 0;  // 1-based
    std::vector<double> values;
    long long firstEmptyLine = 0;  // the line of its first empty cell; 0 while it has none
  };

  bool fail(RecordFileErrorKind kind, long long line, int column = 0, const std::string& text = {});
  bool takeCell(Column& column, const std::string& cell, long long line, bool required);
  void measureRate();

  const DelimitedReadOptions& m_options;
  DelimitedReadResult& m_result;
  const std::string& m_path;
  std::vector<Column> m_columns;  // the wanted ones
  Column m_time;
  std::vector<long long> m_timeLines;  // the line of each time value
  int m_timeDecimals = 0;
};

bool RowReader::fail(RecordFileErrorKind kind, long long line, int column, const std::string& text) {
  RecordFileError error;
  error.kind = kind;
  error.path = m_path;
  error.line = line;
  error.column = column;
  error.text = ShortenedErrorText(text);
  m_result.error = error;
  return false;
}

bool RowReader::prepare() {
  const DelimitedLayout& layout = m_result.layout;
  std::vector<ChannelRef> wanted = m_options.columns;
  if (wanted.empty()) {
    for (int c = 1; c <= layout.columnCount; ++c)
      if (c != layout.timeColumn) wanted.push_back(ChannelRef{c, {}});
    if (wanted.empty()) {
      fail(RecordFileErrorKind::kColumnNeeded, 0);
      return false;
    }
  }
  for (const ChannelRef& ref : wanted) {
    const int found = FindByRef(layout.names, ref);
    if (found <= 0) {
      fail(found < 0 ? RecordFileErrorKind::kAmbiguousColumn : RecordFileErrorKind::kNoSuchColumn, 0, 0, ref.text());
      m_result.error->count = layout.columnCount;
      return false;
    }
    m_columns.push_back(Column{found, {}, 0});
  }
  m_time.number = layout.timeColumn;
  return true;
}

bool RowReader::takeCell(Column& column, const std::string& cell, long long line, bool required) {
  if (cell.empty()) {
    if (required) return fail(RecordFileErrorKind::kMissingValue, line, column.number);
    if (column.firstEmptyLine == 0) column.firstEmptyLine = line;
    return true;
  }
  // A value after the column had ended: the empty cell was a gap, not the end.
  if (column.firstEmptyLine != 0) return fail(RecordFileErrorKind::kMissingValue, column.firstEmptyLine, column.number);
  const std::optional<double> value = ParseDecimalNumber(cell, m_result.layout.decimalMark);
  if (!value) return fail(RecordFileErrorKind::kBadNumber, line, column.number, cell);
  column.values.push_back(*value);
  return true;
}

bool RowReader::takeLine(std::string_view line, long long number, std::size_t fullLength) {
  const DelimitedLayout& layout = m_result.layout;
  if (number <= layout.headerLines) return true;
  if (fullLength > kMaxDelimitedLineBytes) {
    fail(RecordFileErrorKind::kLineTooLong, number);
    m_result.error->count = static_cast<long long>(fullLength);
    m_result.error->expected = static_cast<long long>(kMaxDelimitedLineBytes);
    return false;
  }
  if (IsCommentOrBlank(line)) return true;
  if (m_result.rows >= m_options.maxRows) {
    m_result.truncated = true;
    return false;
  }
  const std::vector<std::string> cells = SplitDelimitedLine(line, layout.separator);
  if (static_cast<int>(cells.size()) != layout.columnCount) {
    fail(RecordFileErrorKind::kRaggedRow, number);
    m_result.error->count = static_cast<long long>(cells.size());
    m_result.error->expected = layout.columnCount;
    return false;
  }
  if (m_time.number > 0) {
    const std::string& cell = cells[static_cast<std::size_t>(m_time.number - 1)];
    if (!takeCell(m_time, cell, number, true)) return false;
    m_timeLines.push_back(number);
    const std::size_t mark = cell.find(layout.decimalMark);
    if (mark != std::string::npos) {
      const std::size_t end = cell.find_first_of("eE", mark);
      const std::size_t digits = (end == std::string::npos ? cell.size() : end) - mark - 1;
      m_timeDecimals = std::max(m_timeDecimals, static_cast<int>(digits));
    }
  }
  for (Column& column : m_columns)
    if (!takeCell(column, cells[static_cast<std::size_t>(column.number - 1)], number, false)) return false;
  ++m_result.rows;
  return true;
}

void RowReader::measureRate() {
  const std::vector<double>& t = m_time.values;
  if (t.size() < 2) {
    fail(RecordFileErrorKind::kTooFewSamples, 0, m_time.number);
    m_result.error->count = static_cast<long long>(t.size());
    return;
  }
  const double unit = m_result.layout.timeUnitS;
  const double mean = (t.back() - t.front()) / static_cast<double>(t.size() - 1);
  // Steps are compared with the usual (median) step, so that a gap is found where it is and not at the first
  // regular step that a mean pulled by the gap would no longer match.
  std::vector<double> steps(t.size() - 1);
  for (std::size_t i = 1; i < t.size(); ++i) steps[i - 1] = t[i] - t[i - 1];
  std::vector<double> sorted = steps;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
  const double usual = sorted[sorted.size() / 2];
  // The mean tells whether the printed times can hold the step exactly (1/32 s to milliseconds cannot).
  const double tolerance = UniformStepTolerance(mean, m_timeDecimals);
  for (std::size_t i = 1; i < t.size(); ++i) {
    const double step = steps[i - 1];
    if (usual > 0 && std::isfinite(usual * unit) && std::fabs(step - usual) <= tolerance) continue;
    fail(RecordFileErrorKind::kTimeNotUniform, m_timeLines[i], m_time.number);
    m_result.error->timeS = t[i] * unit;
    m_result.error->stepS = step * unit;
    m_result.error->expectedStepS = usual * unit;
    return;
  }
  if (!(mean > 0) || !std::isfinite(1.0 / (mean * unit))) {
    fail(RecordFileErrorKind::kTimeNotUniform, m_timeLines[1], m_time.number);
    return;
  }
  m_result.sampleRateHz = 1.0 / (mean * unit);
  m_result.rateFromTimeColumn = true;
  m_result.timeStepLine = m_timeLines[1];
}

void RowReader::finish() {
  const DelimitedLayout& layout = m_result.layout;
  if (m_result.rows == 0) {
    fail(RecordFileErrorKind::kNoData, layout.headerLines);
    return;
  }
  if (m_options.sampleRateHz) {
    if (!(*m_options.sampleRateHz > 0) || !std::isfinite(*m_options.sampleRateHz)) {
      fail(RecordFileErrorKind::kNoSampleRate, 0);
      return;
    }
    m_result.sampleRateHz = *m_options.sampleRateHz;
  } else if (m_time.number > 0) {
    measureRate();
    if (!m_result.ok()) return;
  } else if (m_options.untimedRateHz && *m_options.untimedRateHz > 0 && std::isfinite(*m_options.untimedRateHz)) {
    m_result.sampleRateHz = *m_options.untimedRateHz;
  } else {
    fail(RecordFileErrorKind::kNoSampleRate, 0);
    return;
  }
  const double start = m_time.number > 0 ? m_time.values.front() * layout.timeUnitS : 0.0;
  for (const Column& column : m_columns) {
    if (column.values.empty()) {
      fail(RecordFileErrorKind::kMissingValue, column.firstEmptyLine, column.number);
      return;
    }
  }
  for (Column& column : m_columns) {
    ImportedChannel channel;
    const std::size_t c = static_cast<std::size_t>(column.number - 1);
    channel.name = layout.names[c];
    channel.unit = layout.units[c];
    channel.sampleRateHz = m_result.sampleRateHz;
    channel.startTimeS = start;
    channel.values = std::move(column.values);
    channel.truncated = m_result.truncated;
    m_result.channels.push_back(std::move(channel));
    m_result.columnNumbers.push_back(column.number);
  }
}

// Reads the rows fed through `feedAll` under the layout detected from `head`.
template <typename FeedAll>
DelimitedReadResult ReadRows(std::string_view head, const DelimitedReadOptions& options, const std::string& path,
                             FeedAll feedAll) {
  DelimitedReadResult result;
  DelimitedLayoutDetection detection = DetectDelimitedLayout(head, options.layout, path);
  result.layout = std::move(detection.layout);
  result.preview = std::move(detection.preview);
  if (!detection.ok()) {
    result.error = std::move(detection.error);
    return result;
  }
  RowReader reader(options, result, path);
  if (!reader.prepare()) return result;
  LineSplitter splitter(kMaxDelimitedLineBytes, [&](std::string_view line, long long number, std::size_t length) {
    return reader.takeLine(line, number, length);
  });
  if (!feedAll(splitter)) return result;
  splitter.finish();
  if (result.ok()) reader.finish();
  if (!result.ok()) {
    result.channels.clear();
    result.columnNumbers.clear();
  }
  return result;
}

}  // namespace

DelimitedReadResult ReadDelimitedText(std::string_view text, const DelimitedReadOptions& options,
                                      const std::string& path) {
  return ReadRows(text.substr(0, kLayoutDetectionBytes), options, path, [&](LineSplitter& splitter) {
    splitter.feed(text);
    return true;
  });
}

DelimitedReadResult ReadDelimitedFile(const std::string& path, const DelimitedReadOptions& options) {
  DelimitedReadResult result;
  if (auto error = CheckReadableFile(path)) {
    result.error = std::move(error);
    return result;
  }
  std::ifstream in(path, std::ios::binary);
  std::string head(kLayoutDetectionBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  bool readFailed = false;
  result = ReadRows(head, options, path, [&](LineSplitter& splitter) {
    if (!splitter.feed(head)) return true;
    std::vector<char> buffer(kReadChunk);
    while (in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      const std::streamsize got = in.gcount();
      if (got <= 0) break;
      if (!splitter.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) break;
    }
    readFailed = in.bad();
    return !readFailed;
  });
  if (readFailed) {
    result = DelimitedReadResult{};
    RecordFileError error;
    error.kind = RecordFileErrorKind::kCannotOpen;
    error.path = path;
    error.reason = std::generic_category().message(errno != 0 ? errno : EIO);
    result.error = error;
  }
  return result;
}

}  // namespace kelvora
