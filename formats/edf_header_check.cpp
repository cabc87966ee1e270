#include "formats/edf_header_check.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kelvora {
namespace {

constexpr int kMaxSignals = 640;
constexpr long long kMaxEdfRecordBytes = 10LL * 1024 * 1024;
constexpr long long kMaxBdfRecordBytes = 15LL * 1024 * 1024;
constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool Printable(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) return false;
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An optional sign, digits, then only blanks.
bool IsWholeNumberField(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t digitsFrom = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i == digitsFrom) return false;
  for (; i < text.size(); ++i)
    if (text[i] != ' ') return false;
  return true;
}

// An optional sign, digits with at most one decimal point, an optional exponent with sign and digits, then blanks.
bool IsNumberField(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  int digits = 0;
  bool dot = false;
  for (; i < text.size() && (IsDigit(text[i]) || text[i] == '.'); ++i) {
    if (text[i] == '.') {
      if (dot) return false;
      dot = true;
    } else {
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t from = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == from) return false;
  }
  for (; i < text.size(); ++i)
    if (text[i] != ' ') return false;
  return true;
}

double NumberOf(std::string_view text) { return std::strtod(std::string(text).c_str(), nullptr); }

long long WholeOf(std::string_view text) {
  // Fields are at most 8 characters: no overflow.
  return std::strtoll(std::string(text).c_str(), nullptr, 10);
}

int TwoDigits(std::string_view text, std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); }

// "dd-MMM-yyyy" at `at`: gives its day, month (1..12) and year, or nothing.
struct PlusDate {
  int day = 0, month = 0, year = 0;
};
std::optional<PlusDate> ReadPlusDate(std::string_view field, std::size_t at) {
  if (at + 11 > field.size()) return std::nullopt;
  const std::string_view d = field.substr(at, 11);
  if (d[2] != '-' || d[6] != '-') return std::nullopt;
  for (const std::size_t i : {0, 1, 7, 8, 9, 10})
    if (!IsDigit(d[i])) return std::nullopt;
  PlusDate date;
  date.day = TwoDigits(d, 0);
  if (date.day < 1 || date.day > 31) return std::nullopt;
  for (int m = 0; m < 12; ++m)
    if (d.substr(3, 3) == kMonths[m]) date.month = m + 1;
  if (date.month == 0) return std::nullopt;
  date.year = TwoDigits(d, 7) * 100 + TwoDigits(d, 9);
  return date;
}

// The EDF+ patient field: code, sex (M, F or X), birth date (dd-MMM-yyyy or X), name, each followed by a blank.
bool PlusPatientIsSound(std::string_view p) {
  const std::size_t space = p.find(' ');
  if (space == std::string_view::npos) return false;
  const std::size_t sex = space + 1;
  if (sex < 2 || sex > 73) return false;
  if (p[sex + 2] != 'X' && sex > 65) return false;
  if (p[sex] != 'M' && p[sex] != 'F' && p[sex] != 'X') return false;
  if (p[sex + 1] != ' ') return false;
  if (p[sex + 2] == 'X') return p[sex + 3] == ' ' && p[sex + 4] != ' ';
  if (p[sex + 13] != ' ' || p[sex + 14] == ' ') return false;
  return ReadPlusDate(p, sex + 2).has_value();
}

// The EDF+ recording field: "Startdate dd-MMM-yyyy" (or "Startdate X"), then admin code, technician and equipment
// each after a single blank; the date matches the header's start date dd.mm.yy and is 1970 or later.
bool PlusRecordingIsSound(std::string_view r, std::string_view startDate) {
  if (r.substr(0, 10) != "Startdate ") return false;
  std::size_t p = 0;
  std::optional<PlusDate> date;
  if (r[10] == 'X') {
    if (r[11] != ' ' || r[12] == ' ') return false;
    p = 12;
  } else {
    if (r[21] != ' ' || r[22] == ' ') return false;
    p = 22;
    date = ReadPlusDate(r, 10);
    if (!date) return false;
  }
  int blanks = 0;
  for (std::size_t i = p; i < 80; ++i) {
    if (i > 78) return false;
    if (r[i] == ' ') {
      ++blanks;
      if (r[i + 1] == ' ') return false;
    }
    if (blanks > 1) break;
  }
  if (date) {
    if (TwoDigits(startDate, 0) != date->day || TwoDigits(startDate, 3) != date->month ||
        TwoDigits(startDate, 6) != date->year % 100 || date->year < 1970)
      return false;
  }
  return true;
}

class Checker {
 public:
  Checker(std::string_view header, const std::string& path, EdfHeaderCheck& result)
      : m_header(header), m_path(path), m_result(result) {}

  // Sets the error of `field` (its bytes at `offset`) and gives the result as it then stands.
  EdfHeaderCheck fail(EdfHeaderField field, std::size_t offset, std::size_t length, int signal = 0) {
    RecordFileError error;
    error.kind = RecordFileErrorKind::kEdfHeader;
    error.path = m_path;
    error.field = field;
    error.signal = signal;
    if (offset < m_header.size()) error.text = ShortenedErrorText(std::string(m_header.substr(offset, length)));
    m_result.error = error;
    return m_result;
  }
  std::string_view at(std::size_t offset, std::size_t length) const { return m_header.substr(offset, length); }

 private:
  std::string_view m_header;
  const std::string& m_path;
  EdfHeaderCheck& m_result;
};

}  // namespace

bool LooksLikeEdf(std::string_view start) {
  return start.substr(0, 8) == std::string_view("0       ", 8) || start.substr(0, 8) == "\xFF" "BIOSEMI";
}

EdfHeaderCheck CheckEdfHeader(std::string_view header, long long fileSize, const std::string& path) {
  EdfHeaderCheck result;
  EdfHeaderSummary& s = result.summary;
  Checker check(header, path, result);
  using F = EdfHeaderField;

  if (header.size() < 8 || !LooksLikeEdf(header)) {
    return check.fail(F::kVersion, 0, 8);
  }
  s.bdf = header[0] == '\xFF';
  if (header.size() < 256) {
    return check.fail(F::kFileSize, 0, 0);
  }
  if (!Printable(check.at(8, 80))) return check.fail(F::kPatient, 8, 80);
  if (!Printable(check.at(88, 80))) return check.fail(F::kRecording, 88, 80);

  const std::string_view date = check.at(168, 8);
  const bool dateShape = date[2] == '.' && date[5] == '.' && IsDigit(date[0]) && IsDigit(date[1]) &&
                         IsDigit(date[3]) && IsDigit(date[4]) && IsDigit(date[6]) && IsDigit(date[7]);
  if (!dateShape || TwoDigits(date, 0) < 1 || TwoDigits(date, 0) > 31 || TwoDigits(date, 3) < 1 ||
      TwoDigits(date, 3) > 12)
    return check.fail(F::kStartDate, 168, 8);
  const std::string_view time = check.at(176, 8);
  const bool timeShape = time[2] == '.' && time[5] == '.' && IsDigit(time[0]) && IsDigit(time[1]) &&
                         IsDigit(time[3]) && IsDigit(time[4]) && IsDigit(time[6]) && IsDigit(time[7]);
  if (!timeShape || TwoDigits(time, 0) > 23 || TwoDigits(time, 3) > 59 || TwoDigits(time, 6) > 59)
    return check.fail(F::kStartTime, 176, 8);

  const std::string_view count = check.at(252, 4);
  if (!IsWholeNumberField(count) || WholeOf(count) < 1 || WholeOf(count) > kMaxSignals)
    return check.fail(F::kSignalCount, 252, 4);
  s.signals = static_cast<int>(WholeOf(count));
  const std::size_t ns = static_cast<std::size_t>(s.signals);
  s.headerBytes = 256LL * (s.signals + 1);

  const std::string_view bytes = check.at(184, 8);
  if (!IsWholeNumberField(bytes) || WholeOf(bytes) != s.headerBytes) return check.fail(F::kHeaderBytes, 184, 8);

  const std::string_view reserved = check.at(192, 44);
  if (!Printable(reserved)) return check.fail(F::kReserved, 192, 44);
  const std::string_view kind = reserved.substr(0, 5);
  if (!s.bdf && (kind == "EDF+C" || kind == "EDF+D")) s.plus = true;
  if (s.bdf && (kind == "BDF+C" || kind == "BDF+D")) s.plus = true;
  s.discontinuous = s.plus && kind[4] == 'D';

  const std::string_view records = check.at(236, 8);
  if (!IsWholeNumberField(records) || WholeOf(records) < 1) return check.fail(F::kDataRecords, 236, 8);
  s.dataRecords = WholeOf(records);
  const std::string_view duration = check.at(244, 8);
  if (!IsNumberField(duration) || NumberOf(duration) < 0) return check.fail(F::kRecordDuration, 244, 8);
  s.recordDurationS = NumberOf(duration);

  if (header.size() < static_cast<std::size_t>(s.headerBytes)) return check.fail(F::kFileSize, 0, 0);
  const auto field = [&](std::size_t columnStart, std::size_t width, std::size_t i) {
    return 256 + ns * columnStart + i * width;
  };
  s.annotation.assign(ns, false);
  const std::string_view annotationLabel = s.bdf ? "BDF Annotations " : "EDF Annotations ";
  int annotationSignals = 0;
  for (std::size_t i = 0; i < ns; ++i) {
    const std::string_view label = check.at(field(0, 16, i), 16);
    if (!Printable(label)) return check.fail(F::kLabel, field(0, 16, i), 16, static_cast<int>(i) + 1);
    if (s.plus && label == annotationLabel) {
      s.annotation[i] = true;
      ++annotationSignals;
    }
  }
  if (s.plus && annotationSignals == 0) return check.fail(F::kLabel, field(0, 16, 0), 16 * ns, 0);
  if (annotationSignals < s.signals && !(s.recordDurationS > 0))
    return check.fail(F::kRecordDuration, 244, 8);

  for (std::size_t i = 0; i < ns; ++i) {
    const std::string_view transducer = check.at(field(16, 80, i), 80);
    const bool blank = transducer.find_first_not_of(' ') == std::string_view::npos;
    if (!Printable(transducer) || (s.annotation[i] && !blank))
      return check.fail(F::kTransducer, field(16, 80, i), 80, static_cast<int>(i) + 1);
  }
  for (std::size_t i = 0; i < ns; ++i)
    if (!Printable(check.at(field(96, 8, i), 8)))
      return check.fail(F::kPhysicalDimension, field(96, 8, i), 8, static_cast<int>(i) + 1);
  std::vector<double> physicalMinimum(ns);
  for (std::size_t i = 0; i < ns; ++i) {
    const std::string_view text = check.at(field(104, 8, i), 8);
    if (!IsNumberField(text) || !std::isfinite(NumberOf(text)))
      return check.fail(F::kPhysicalMinimum, field(104, 8, i), 8, static_cast<int>(i) + 1);
    physicalMinimum[i] = NumberOf(text);
  }
  for (std::size_t i = 0; i < ns; ++i) {
    const std::string_view text = check.at(field(112, 8, i), 8);
    // The scaling divides by the range: it must be a finite number other than zero.
    if (!IsNumberField(text) || NumberOf(text) == physicalMinimum[i] ||
        !std::isfinite(NumberOf(text) - physicalMinimum[i]))
      return check.fail(F::kPhysicalMaximum, field(112, 8, i), 8, static_cast<int>(i) + 1);
  }
  const long long lowest = s.bdf ? -8388608 : -32768;
  const long long highest = s.bdf ? 8388607 : 32767;
  std::vector<long long> digitalMinimum(ns);
  for (std::size_t i = 0; i < ns; ++i) {
    const std::string_view text = check.at(field(120, 8, i), 8);
    const long long value = IsWholeNumberField(text) ? WholeOf(text) : lowest - 1;
    if (value < lowest || value > highest || (s.annotation[i] && value != lowest))
      return check.fail(F::kDigitalMinimum, field(120, 8, i), 8, static_cast<int>(i) + 1);
    digitalMinimum[i] = value;
  }
  for (std::size_t i = 0; i < ns; ++i) {
    const std::string_view text = check.at(field(128, 8, i), 8);
    const long long value = IsWholeNumberField(text) ? WholeOf(text) : lowest - 1;
    if (value < lowest || value > highest || (s.annotation[i] && value != highest) || value <= digitalMinimum[i])
      return check.fail(F::kDigitalMaximum, field(128, 8, i), 8, static_cast<int>(i) + 1);
  }
  for (std::size_t i = 0; i < ns; ++i)
    if (!Printable(check.at(field(136, 80, i), 80)))
      return check.fail(F::kPrefilter, field(136, 80, i), 80, static_cast<int>(i) + 1);
  const long long sampleBytes = s.bdf ? 3 : 2;
  for (std::size_t i = 0; i < ns; ++i) {
    const std::string_view text = check.at(field(216, 8, i), 8);
    if (!IsWholeNumberField(text) || WholeOf(text) < 1)
      return check.fail(F::kSamplesPerRecord, field(216, 8, i), 8, static_cast<int>(i) + 1);
    s.samplesPerRecord.push_back(WholeOf(text));
    s.recordBytes += WholeOf(text) * sampleBytes;
    if (s.recordBytes > (s.bdf ? kMaxBdfRecordBytes : kMaxEdfRecordBytes))
      return check.fail(F::kSamplesPerRecord, field(216, 8, i), 8, static_cast<int>(i) + 1);
  }
  for (std::size_t i = 0; i < ns; ++i)
    if (!Printable(check.at(field(224, 32, i), 32)))
      return check.fail(F::kSignalReserved, field(224, 32, i), 32, static_cast<int>(i) + 1);

  if (s.plus && !PlusPatientIsSound(check.at(8, 80))) return check.fail(F::kPatient, 8, 80);
  if (s.plus && !PlusRecordingIsSound(check.at(88, 80), date)) return check.fail(F::kRecording, 88, 80);

  // The records must fill the file exactly; the product cannot overflow (records < 10^8, a record <= 15 MiB).
  if (fileSize != s.headerBytes + s.dataRecords * s.recordBytes) {
    check.fail(F::kFileSize, 0, 0);
    result.error->count = fileSize;
    result.error->expected = s.headerBytes + s.dataRecords * s.recordBytes;
    return result;
  }
  if (s.discontinuous) {
    RecordFileError error;
    error.kind = RecordFileErrorKind::kEdfDiscontinuous;
    error.path = path;
    error.field = F::kReserved;
    result.error = error;
  }
  return result;
}

}  // namespace kelvora
