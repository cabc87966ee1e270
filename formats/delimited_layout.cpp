#include "formats/delimited_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "formats/line_splitter.h"
#include "core/text_helpers.h"

namespace kelvora {
namespace {

constexpr int kMaxDetectionLines = 200;
constexpr std::size_t kPreviewLines = 20;
// Every line of the head is kept whole: a names line cut short would no longer have the data's cell count and
// its names (the time column's among them) would be lost.
constexpr std::size_t kMaxDetectionLineBytes = kLayoutDetectionBytes;

struct Candidate {
  char separator;
  char decimalMark;
};

// In the order that wins a tie.
constexpr Candidate kCandidates[] = {{'\t', '.'}, {'\t', ','}, {';', '.'}, {';', ','},
                                     {',', '.'},  {kWhitespaceSeparator, '.'}, {kWhitespaceSeparator, ','}};

bool IsCommentOrBlank(std::string_view line) {
  const std::size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos || line[first] == '#';
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A line as a candidate reads it.
struct LineCells {
  bool comment = false;
  std::vector<std::string> cells;
  bool numeric = false;      // a row of data: a number first, and more numbers than other texts
  bool wholeNumbers = false; // numeric, and every number without a decimal mark or exponent
};

LineCells ReadCells(std::string_view line, Candidate candidate) {
  LineCells result;
  result.comment = IsCommentOrBlank(line);
  if (result.comment) return result;
  result.cells = SplitDelimitedLine(line, candidate.separator);
  // A row of data starts with a number and holds more numbers than other texts (a marker column may hold words).
  int numbers = 0;
  int texts = 0;
  bool whole = true;
  for (const std::string& cell : result.cells) {
    if (cell.empty()) continue;
    if (!ParseDecimalNumber(cell, candidate.decimalMark)) {
      if (numbers == 0) return result;
      ++texts;
      continue;
    }
    ++numbers;
    if (cell.find_first_of(".,eE") != std::string::npos) whole = false;
  }
  result.numeric = numbers > texts;
  result.wholeNumbers = result.numeric && whole;
  return result;
}

// How a candidate reads the sampled lines: the data run it finds.
struct Reading {
  Candidate candidate{};
  std::vector<LineCells> lines;
  int start = -1;  // 0-based line of the first data row; -1 when there is none
  int cellCount = 0;
  int rows = 0;
  bool wholeNumbers = true;
};

// The rows of numbers with the cell count of line `start` that follow it (comments skipped).
void CountRun(Reading& r, int start) {
  r.start = start;
  r.cellCount = static_cast<int>(r.lines[static_cast<std::size_t>(start)].cells.size());
  r.rows = 0;
  r.wholeNumbers = true;
  for (std::size_t i = static_cast<std::size_t>(start); i < r.lines.size(); ++i) {
    const LineCells& line = r.lines[i];
    if (line.comment) continue;
    if (!line.numeric || static_cast<int>(line.cells.size()) != r.cellCount) break;
    ++r.rows;
    r.wholeNumbers = r.wholeNumbers && line.wholeNumbers;
  }
}

Reading Evaluate(const std::vector<std::string>& lines, Candidate candidate, std::optional<int> headerLines) {
  Reading r;
  r.candidate = candidate;
  for (const std::string& line : lines) r.lines.push_back(ReadCells(line, candidate));
  const int count = static_cast<int>(r.lines.size());
  if (headerLines) {
    for (int i = *headerLines; i < count; ++i) {
      if (r.lines[static_cast<std::size_t>(i)].comment) continue;
      if (r.lines[static_cast<std::size_t>(i)].numeric) CountRun(r, i);
      break;
    }
    return r;
  }
  // The longest run of rows of numbers, the first of equal ones.
  Reading best = r;
  for (int i = 0; i < count; ++i) {
    if (!r.lines[static_cast<std::size_t>(i)].numeric) continue;
    CountRun(r, i);
    if (r.rows > best.rows) best = r;
    i += std::max(0, r.rows - 1);
  }
  return best;
}

bool Better(const Reading& a, const Reading& b) {
  if (a.rows != b.rows) return a.rows > b.rows;
  return a.cellCount > b.cellCount;
}

const std::vector<std::string>* NonCommentLine(const Reading& r, int index) {
  return r.lines[static_cast<std::size_t>(index)].comment ? nullptr : &r.lines[static_cast<std::size_t>(index)].cells;
}

// True when the line before the data run (comments aside) has the run's cell count and is not numbers.
bool HasNamesLine(const Reading& r) {
  for (int i = r.start - 1; i >= 0; --i) {
    const LineCells& line = r.lines[static_cast<std::size_t>(i)];
    if (line.comment) continue;
    return static_cast<int>(line.cells.size()) == r.cellCount && !line.numeric && r.cellCount > 1;
  }
  return false;
}

bool IsTimeName(const std::string& name) {
  static const char* const kNames[] = {"t",    "time",   "t_s",   "ts",      "time_s",  "t_ms", "time_ms",
                                       "temps", "zeit",  "tijd",  "tiempo",  "tempo",   "sec",  "secs",
                                       "seconds", "timestamp", "elapsed", "elapsed time", "t(s)", "time(s)"};
  const std::string lower = Lower(NameWithoutUnit(name));
  if (lower.empty()) return false;
  for (const char* known : kNames)
    if (lower == known) return true;
  return lower.rfind("time", 0) == 0 && (lower.size() == 4 || !std::isalpha(static_cast<unsigned char>(lower[4])));
}

// The unit of a time column from its unit text or a "_ms"-like end of its name.
std::optional<double> TimeUnitOf(const std::string& name, const std::string& unit) {
  if (const auto seconds = TimeUnitSeconds(unit)) return seconds;
  const std::string lower = Lower(NameWithoutUnit(name));
  const std::size_t underscore = lower.rfind('_');
  if (underscore != std::string::npos) return TimeUnitSeconds(lower.substr(underscore + 1));
  return std::nullopt;
}

// True when the first column rises in steps within 1 % of their mean (plus the printing resolution).
bool RisesUniformly(const Reading& r) {
  std::vector<double> times;
  int decimals = 0;
  for (std::size_t i = static_cast<std::size_t>(r.start); i < r.lines.size() && times.size() < 200; ++i) {
    const LineCells& line = r.lines[i];
    if (line.comment) continue;
    if (!line.numeric || static_cast<int>(line.cells.size()) != r.cellCount) break;
    const std::optional<double> t = ParseDecimalNumber(line.cells[0], r.candidate.decimalMark);
    if (!t) return false;
    const std::size_t mark = line.cells[0].find(r.candidate.decimalMark);
    if (mark != std::string::npos) decimals = std::max(decimals, static_cast<int>(line.cells[0].size() - mark - 1));
    times.push_back(*t);
  }
  if (times.size() < 3) return false;
  const double mean = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
  if (!(mean > 0)) return false;
  const double tolerance = UniformStepTolerance(mean, decimals);
  for (std::size_t i = 1; i < times.size(); ++i)
    if (std::fabs(times[i] - times[i - 1] - mean) > tolerance) return false;
  return true;
}

}  // namespace

std::vector<std::string> SplitDelimitedLine(std::string_view line, char separator) {
  std::vector<std::string> cells;
  if (separator == kWhitespaceSeparator) {
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i == line.size()) break;
      const std::size_t end = line.find_first_of(" \t", i);
      cells.emplace_back(line.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
      i = end == std::string_view::npos ? line.size() : end;
    }
    return cells;
  }
  if (line.empty()) return cells;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::string cell;
    if (i < line.size() && line[i] == '"') {
      // A quoted cell runs to the closing quote; "" inside stands for one quote.
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            cell += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        cell += line[i++];
      }
      while (i < line.size() && line[i] != separator) ++i;
    } else {
      const std::size_t end = line.find(separator, i);
      cell.assign(line.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
      i = end == std::string_view::npos ? line.size() : end;
      const std::size_t last = cell.find_last_not_of(' ');
      cell.erase(last == std::string::npos ? 0 : last + 1);
    }
    cells.push_back(std::move(cell));
    if (i >= line.size()) break;
    ++i;  // the separator
    if (i == line.size()) {
      cells.emplace_back();
      break;
    }
  }
  return cells;
}

double UniformStepTolerance(double meanStep, int decimals) {
  const double resolution = std::pow(10.0, -std::clamp(decimals, 0, 15));
  const double steps = meanStep / resolution;
  // Times printed exactly (a step of whole resolution units) have no rounding to allow for, and times printed
  // more coarsely than a tenth of the step are not a rounding of uniform times (0, 1, 2, 4 s is a gap).
  const bool exact = std::fabs(steps - std::round(steps)) <= 1e-6 * std::max(1.0, steps);
  const bool coarse = resolution > meanStep / 10;
  return 0.01 * meanStep + (exact || coarse ? 0.0 : resolution * 1.000001);
}

std::optional<double> TimeUnitSeconds(const std::string& unit) {
  const std::string lower = Lower(unit);
  if (lower == "s" || lower == "sec" || lower == "secs" || lower == "seconds") return 1.0;
  if (lower == "ms" || lower == "msec") return 0.001;
  if (lower == "us" || lower == "\xC2\xB5s" || lower == "\xCE\xBCs") return 1e-6;
  if (lower == "min" || lower == "mins" || lower == "minutes") return 60.0;
  if (lower == "h" || lower == "hr" || lower == "hours") return 3600.0;
  return std::nullopt;
}

DelimitedLayoutDetection DetectDelimitedLayout(std::string_view head, const DelimitedLayoutOverrides& overrides,
                                               const std::string& path) {
  DelimitedLayoutDetection result;
  const bool mayBeCut = head.size() >= kLayoutDetectionBytes;
  head = head.substr(0, kLayoutDetectionBytes);
  std::vector<std::string> lines;
  bool lastEnded = head.empty() || head.back() == '\n' || head.back() == '\r';
  LineSplitter splitter(kMaxDetectionLineBytes, [&](std::string_view line, long long, std::size_t) {
    lines.emplace_back(line);
    if (result.preview.size() < kPreviewLines) result.preview.emplace_back(line);
    return lines.size() < static_cast<std::size_t>(kMaxDetectionLines);
  });
  splitter.feed(head);
  const bool stoppedEarly = lines.size() >= static_cast<std::size_t>(kMaxDetectionLines);
  splitter.finish();
  if (mayBeCut && !lastEnded && !stoppedEarly && lines.size() > 1) lines.pop_back();

  std::optional<Reading> best;
  for (const Candidate& candidate : kCandidates) {
    if (overrides.separator && candidate.separator != *overrides.separator) continue;
    if (overrides.decimalMark && candidate.decimalMark != *overrides.decimalMark) continue;
    Reading r = Evaluate(lines, candidate, overrides.headerLines);
    if (r.rows > 0 && (!best || Better(r, *best))) best = std::move(r);
  }
  // A separator or mark outside the candidates (a caller's choice such as '|'): read as given.
  if (!best && overrides.separator && overrides.decimalMark && *overrides.separator != *overrides.decimalMark) {
    Reading r = Evaluate(lines, Candidate{*overrides.separator, *overrides.decimalMark}, overrides.headerLines);
    if (r.rows > 0) best = std::move(r);
  }
  if (!best) {
    RecordFileError error;
    error.kind = RecordFileErrorKind::kNoData;
    error.path = path;
    error.line = overrides.headerLines.value_or(0);
    result.error = error;
    return result;
  }
  // Whole numbers separated by commas are more likely numbers with a decimal comma, unless a header line names
  // the comma-separated columns.
  if (best->candidate.separator == ',' && best->wholeNumbers && !overrides.separator && !HasNamesLine(*best)) {
    for (const Candidate& candidate : kCandidates) {
      if (candidate.decimalMark != ',' || (overrides.decimalMark && *overrides.decimalMark != ',')) continue;
      Reading r = Evaluate(lines, candidate, overrides.headerLines);
      if (r.rows == best->rows && r.start == best->start) {
        best = std::move(r);
        break;
      }
    }
  }

  const Reading& r = *best;
  DelimitedLayout& layout = result.layout;
  layout.separator = r.candidate.separator;
  layout.decimalMark = r.candidate.decimalMark;
  layout.headerLines = r.start;
  layout.columnCount = r.cellCount;
  layout.names.assign(static_cast<std::size_t>(r.cellCount), std::string());
  layout.units.assign(static_cast<std::size_t>(r.cellCount), std::string());

  // The last two header lines (comments aside) with the data's cell count: names, or names then units.
  std::vector<int> headerRows;
  for (int i = r.start - 1; i >= 0 && headerRows.size() < 2; --i) {
    const std::vector<std::string>* cells = NonCommentLine(r, i);
    if (cells == nullptr) continue;
    if (static_cast<int>(cells->size()) != r.cellCount || r.lines[static_cast<std::size_t>(i)].numeric) break;
    headerRows.push_back(i);
  }
  if (!headerRows.empty()) {
    const int names = headerRows.back();
    layout.namesLine = names + 1;
    layout.names = *NonCommentLine(r, names);
    if (headerRows.size() == 2) {
      layout.unitsLine = headerRows.front() + 1;
      layout.units = *NonCommentLine(r, headerRows.front());
    }
  }
  for (int c = 0; c < r.cellCount; ++c) {
    std::string& unit = layout.units[static_cast<std::size_t>(c)];
    if (unit.empty()) unit = UnitInName(layout.names[static_cast<std::size_t>(c)]);
  }

  if (overrides.timeColumn) {
    const ChannelRef& ref = *overrides.timeColumn;
    if (ref.number > 0 || !ref.name.empty()) {
      const int found = FindByRef(layout.names, ref);
      if (found <= 0) {
        RecordFileError error;
        error.kind = found < 0 ? RecordFileErrorKind::kAmbiguousColumn : RecordFileErrorKind::kNoSuchColumn;
        error.path = path;
        error.text = ShortenedErrorText(ref.text());
        error.count = layout.columnCount;
        result.error = error;
        return result;
      }
      layout.timeColumn = found;
    }
  } else {
    for (int c = 0; c < r.cellCount && layout.timeColumn == 0; ++c)
      if (IsTimeName(layout.names[static_cast<std::size_t>(c)])) layout.timeColumn = c + 1;
    if (layout.timeColumn == 0 && r.cellCount >= 2 && RisesUniformly(r)) layout.timeColumn = 1;
  }
  if (overrides.timeUnitS) {
    layout.timeUnitS = *overrides.timeUnitS;
  } else if (layout.timeColumn > 0) {
    const std::size_t c = static_cast<std::size_t>(layout.timeColumn - 1);
    layout.timeUnitS = TimeUnitOf(layout.names[c], layout.units[c]).value_or(1.0);
  }
  return result;
}

}  // namespace kelvora
