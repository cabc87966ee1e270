#include "formats/edf_reader.h"

#include <edflib.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>

#include "formats/edf_header_check.h"
#include "formats/edflib_lock.h"

namespace kelvora {
namespace {

constexpr long long kReadChunk = 1 << 16;

std::string WithoutTrailingBlanks(const char* text) {
  std::string s(text);
  const std::size_t last = s.find_last_not_of(' ');
  s.erase(last == std::string::npos ? 0 : last + 1);
  return s;
}

RecordFileError MakeError(RecordFileErrorKind kind, const std::string& path) {
  RecordFileError error;
  error.kind = kind;
  error.path = path;
  return error;
}

// An EDFlib open that failed after the header passed our own check.
RecordFileError OpenError(int code, const std::string& path, bool annotations) {
  switch (code) {
    case EDFLIB_NO_SUCH_FILE_OR_DIRECTORY:
      return MakeError(RecordFileErrorKind::kMissingFile, path);
    case EDFLIB_FILE_IS_DISCONTINUOUS: {
      RecordFileError error = MakeError(RecordFileErrorKind::kEdfDiscontinuous, path);
      error.field = EdfHeaderField::kReserved;
      return error;
    }
    case EDFLIB_FILE_CONTAINS_FORMAT_ERRORS: {
      RecordFileError error = MakeError(RecordFileErrorKind::kEdfHeader, path);
      error.field = annotations ? EdfHeaderField::kAnnotations : EdfHeaderField::kNone;
      error.count = code;
      return error;
    }
    case EDFLIB_MALLOC_ERROR: {
      RecordFileError error = MakeError(RecordFileErrorKind::kCannotOpen, path);
      error.reason = std::make_error_code(std::errc::not_enough_memory).message();
      return error;
    }
    case EDFLIB_MAXFILES_REACHED: {
      RecordFileError error = MakeError(RecordFileErrorKind::kCannotOpen, path);
      error.reason = std::make_error_code(std::errc::too_many_files_open).message();
      return error;
    }
    default: {
      RecordFileError error = MakeError(RecordFileErrorKind::kCannotOpen, path);
      error.reason = std::make_error_code(std::errc::io_error).message();
      error.count = code;
      return error;
    }
  }
}

// An open EDFlib file, closed when it goes out of scope; the caller holds the EDFlib lock.
class OpenEdf {
 public:
  OpenEdf() : m_header(std::make_unique<edf_hdr_struct>()) {}
  ~OpenEdf() { close(); }
  OpenEdf(const OpenEdf&) = delete;
  OpenEdf& operator=(const OpenEdf&) = delete;

  // Gives the EDFlib error code, 0 on success.
  int open(const std::string& path, int annotations) {
    close();
    if (edfopen_file_readonly(path.c_str(), m_header.get(), annotations) != 0) return m_header->filetype;
    m_open = true;
    return 0;
  }
  void close() {
    if (m_open) edfclose_file(m_header->handle);
    m_open = false;
  }
  const edf_hdr_struct& header() const { return *m_header; }
  int handle() const { return m_header->handle; }

 private:
  std::unique_ptr<edf_hdr_struct> m_header;  // about 150 KiB: not on the stack
  bool m_open = false;
};

// The channel (1-based) and sample count of a padding mark "channel C has N samples"; none for any other text.
std::optional<std::pair<int, long long>> SampleCountMark(const std::string& text) {
  static const std::string kStart = "channel ", kMiddle = " has ", kEnd = " samples";
  if (text.rfind(kStart, 0) != 0) return std::nullopt;
  const char* p = text.data() + kStart.size();
  const char* end = text.data() + text.size();
  int channel = 0;
  auto r = std::from_chars(p, end, channel);
  if (r.ec != std::errc() || std::string_view(r.ptr, end).rfind(kMiddle, 0) != 0) return std::nullopt;
  p = r.ptr + kMiddle.size();
  long long count = 0;
  r = std::from_chars(p, end, count);
  if (r.ec != std::errc() || std::string_view(r.ptr, end) != kEnd) return std::nullopt;
  return std::make_pair(channel, count);
}

// Padding marks (written by WriteEdfFile when the records could not divide every channel) shorten their
// channel to its own samples and leave the list of annotations.
void DropMarkedPadding(EdfFileInfo& info) {
  std::vector<EdfAnnotation> kept;
  for (EdfAnnotation& a : info.annotations) {
    const auto mark = SampleCountMark(a.text);
    if (mark && mark->first >= 1 && mark->first <= static_cast<int>(info.channels.size()) && mark->second >= 1 &&
        mark->second <= info.channels[static_cast<std::size_t>(mark->first - 1)].sampleCount) {
      info.channels[static_cast<std::size_t>(mark->first - 1)].sampleCount = mark->second;
      continue;
    }
    kept.push_back(std::move(a));
  }
  info.annotations = std::move(kept);
}

EdfFileInfo InfoOf(const edf_hdr_struct& h, int handle) {
  EdfFileInfo info;
  switch (h.filetype) {
    case EDFLIB_FILETYPE_EDFPLUS:
      info.type = EdfFileType::kEdfPlus;
      break;
    case EDFLIB_FILETYPE_BDF:
      info.type = EdfFileType::kBdf;
      break;
    case EDFLIB_FILETYPE_BDFPLUS:
      info.type = EdfFileType::kBdfPlus;
      break;
    default:
      info.type = EdfFileType::kEdf;
  }
  info.dataRecords = h.datarecords_in_file;
  info.recordDurationS = static_cast<double>(h.datarecord_duration) / EDFLIB_TIME_DIMENSION;
  info.durationS = static_cast<double>(h.file_duration) / EDFLIB_TIME_DIMENSION;
  info.startYear = h.startdate_year;
  info.startMonth = h.startdate_month;
  info.startDay = h.startdate_day;
  info.startHour = h.starttime_hour;
  info.startMinute = h.starttime_minute;
  info.startSecond = h.starttime_second;
  for (int i = 0; i < h.edfsignals && i < EDFLIB_MAXSIGNALS; ++i) {
    const edf_param_struct& p = h.signalparam[i];
    EdfChannelInfo channel;
    channel.label = WithoutTrailingBlanks(p.label);
    channel.unit = WithoutTrailingBlanks(p.physdimension);
    channel.sampleCount = p.smp_in_file;
    channel.sampleRateHz = info.recordDurationS > 0 ? p.smp_in_datarecord / info.recordDurationS : 0.0;
    channel.physicalMinimum = p.phys_min;
    channel.physicalMaximum = p.phys_max;
    channel.digitalMinimum = p.dig_min;
    channel.digitalMaximum = p.dig_max;
    channel.transducer = WithoutTrailingBlanks(p.transducer);
    channel.prefilter = WithoutTrailingBlanks(p.prefilter);
    info.channels.push_back(std::move(channel));
  }
  for (long long n = 0; n < h.annotations_in_file; ++n) {
    edf_annotation_struct a{};
    if (edf_get_annotation(handle, static_cast<int>(n), &a) != 0) break;
    EdfAnnotation annotation;
    annotation.onsetS = static_cast<double>(a.onset) / EDFLIB_TIME_DIMENSION;
    annotation.durationS = a.duration_l >= 0 ? static_cast<double>(a.duration_l) / EDFLIB_TIME_DIMENSION : -1.0;
    a.annotation[EDFLIB_MAX_ANNOTATION_LEN] = '\0';
    annotation.text = a.annotation;
    info.annotations.push_back(std::move(annotation));
  }
  return info;
}

// Reads the first `count` physical samples of signal `index`; gives the error of a failed read.
std::optional<RecordFileError> ReadSamples(int handle, int index, long long count, std::vector<double>& values,
                                           const std::string& path) {
  values.resize(static_cast<std::size_t>(count));
  long long done = 0;
  while (done < count) {
    const int n = static_cast<int>(std::min(kReadChunk, count - done));
    const int got = edfread_physical_samples(handle, index, n, values.data() + done);
    if (got != n) {
      RecordFileError error = MakeError(RecordFileErrorKind::kEdfReadFailed, path);
      error.column = index + 1;
      error.reason = std::make_error_code(std::errc::io_error).message();
      return error;
    }
    done += n;
  }
  for (const double v : values) {
    // A scaling that overflows (physical limits near the double range) gives no usable value.
    if (!std::isfinite(v)) {
      RecordFileError error = MakeError(RecordFileErrorKind::kEdfHeader, path);
      error.field = EdfHeaderField::kPhysicalMaximum;
      error.signal = index + 1;
      return error;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<RecordFileError> FindEdfChannel(const EdfFileInfo& info, const ChannelRef& ref, int& number) {
  std::vector<std::string> labels;
  for (const EdfChannelInfo& c : info.channels) labels.push_back(c.label);
  number = FindByRef(labels, ref);
  if (number > 0) return std::nullopt;
  RecordFileError error;
  error.kind = number < 0 ? RecordFileErrorKind::kAmbiguousChannel : RecordFileErrorKind::kNoSuchChannel;
  error.text = ShortenedErrorText(ref.text());
  error.count = static_cast<long long>(info.channels.size());
  return error;
}

EdfReadResult ReadEdfFile(const std::string& path, const EdfReadOptions& options) {
  EdfReadResult result;
  if (auto error = CheckReadableFile(path)) {
    result.error = std::move(error);
    return result;
  }
  const std::string header = ReadFileStart(path, kEdfMaxHeaderBytes);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  EdfHeaderCheck check = CheckEdfHeader(header, ec ? -1 : static_cast<long long>(size), path);
  if (!check.ok()) {
    result.error = std::move(check.error);
    return result;
  }

  std::lock_guard<std::mutex> lock(EdflibMutex());
  OpenEdf file;
  // The header passed the check: what EDFlib still refuses in a + file is its annotation signal (even the
  // time-keeping list of the first record, which it reads whatever it is asked).
  if (const int code = file.open(path, EDFLIB_READ_ALL_ANNOTATIONS)) {
    result.error = OpenError(code, path, check.summary.plus);
    return result;
  }
  result.info = InfoOf(file.header(), file.handle());
  DropMarkedPadding(result.info);

  for (const ChannelRef& ref : options.channels) {
    int number = 0;
    if (auto error = FindEdfChannel(result.info, ref, number)) {
      error->path = path;
      result.error = std::move(error);
      result.channels.clear();
      result.channelNumbers.clear();
      return result;
    }
    const EdfChannelInfo& info = result.info.channels[static_cast<std::size_t>(number - 1)];
    ImportedChannel channel;
    channel.name = info.label;
    channel.unit = info.unit;
    channel.sampleRateHz = info.sampleRateHz;
    long long count = info.sampleCount;
    if (options.maxSamples >= 0 && options.maxSamples < count) {
      count = options.maxSamples;
      channel.truncated = true;
    }
    // The same channel may be wanted twice: each read starts at the beginning.
    edfrewind(file.handle(), number - 1);
    if (auto error = ReadSamples(file.handle(), number - 1, count, channel.values, path)) {
      result.error = std::move(error);
      result.channels.clear();
      result.channelNumbers.clear();
      return result;
    }
    result.channels.push_back(std::move(channel));
    result.channelNumbers.push_back(number);
  }
  return result;
}

}  // namespace kelvora
