#include "formats/file_layout.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "formats/delimited_reader.h"
#include "formats/edf_header_check.h"

namespace kelvora {
std::string LowerExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

namespace {

// The head without its last line when the head may have cut it.
std::string_view WholeLines(const std::string& head) {
  if (head.size() < kLayoutDetectionBytes) return head;
  const std::size_t end = head.find_last_of("\r\n");
  return end == std::string::npos ? std::string_view{} : std::string_view(head).substr(0, end + 1);
}

FileLayoutResult EdfLayout(const std::string& path) {
  FileLayoutResult result;
  FileLayout& layout = result.layout;
  layout.format = FileFormat::kEdf;
  EdfReadResult read = ReadEdfFile(path);
  if (!read.ok()) {
    result.error = std::move(read.error);
    return result;
  }
  layout.edf = std::move(read.info);
  double common = 0.0;
  bool oneRate = !layout.edf.channels.empty();
  for (std::size_t i = 0; i < layout.edf.channels.size(); ++i) {
    const EdfChannelInfo& c = layout.edf.channels[i];
    layout.channels.push_back(FileChannel{static_cast<int>(i) + 1, c.label, c.unit, c.sampleRateHz});
    if (i == 0) common = c.sampleRateHz;
    else if (c.sampleRateHz != common) oneRate = false;
  }
  if (oneRate) layout.fileRateHz = common;
  return result;
}

}  // namespace

FileLayoutResult ReadFileLayout(const std::string& path) {
  FileLayoutResult result;
  if (auto error = CheckReadableFile(path)) {
    result.error = std::move(error);
    return result;
  }
  const std::string head = ReadFileStart(path, kLayoutDetectionBytes);
  if (LooksLikeEdf(head)) return EdfLayout(path);

  FileLayout& layout = result.layout;
  const std::string extension = LowerExtension(path);
  const DelimitedLayoutDetection found = DetectDelimitedLayout(head, {}, path);
  layout.preview = found.preview;
  const bool delimitedName = extension == ".csv" || extension == ".tsv";
  const bool table = found.ok() && found.layout.columnCount > 1;
  const bool programsTab = table && found.layout.headerLines == 0 && found.layout.separator == '\t' &&
                           found.layout.timeColumn == 0;
  if (!delimitedName && (!table || programsTab)) {
    layout.format = FileFormat::kSignalText;
    if (found.ok()) layout.delimited = found.layout;
    layout.channels.push_back(FileChannel{1, {}, {}, 0.0});
    return result;
  }
  if (!found.ok()) {
    result.error = found.error;
    return result;
  }
  layout.format = FileFormat::kDelimited;
  layout.delimited = found.layout;
  for (int c = 1; c <= found.layout.columnCount; ++c) {
    if (c == found.layout.timeColumn) continue;
    const std::size_t i = static_cast<std::size_t>(c - 1);
    layout.channels.push_back(FileChannel{c, i < found.layout.names.size() ? found.layout.names[i] : std::string(),
                                          i < found.layout.units.size() ? found.layout.units[i] : std::string(),
                                          0.0});
  }
  if (found.layout.timeColumn > 0) {
    // The rate over the rows of the head: every column read, none wanted but the first signal one.
    DelimitedReadOptions read;
    read.layout.separator = found.layout.separator;
    read.layout.decimalMark = found.layout.decimalMark;
    read.layout.headerLines = found.layout.headerLines;
    if (!layout.channels.empty()) read.columns.push_back(ChannelRef{layout.channels.front().number, {}});
    const DelimitedReadResult rows = ReadDelimitedText(WholeLines(head), read, path);
    if (rows.ok() && rows.rateFromTimeColumn) {
      layout.fileRateHz = rows.sampleRateHz;
      for (FileChannel& c : layout.channels) c.sampleRateHz = rows.sampleRateHz;
    } else if (!rows.ok() && (rows.error->kind == RecordFileErrorKind::kTimeNotUniform ||
                              rows.error->kind == RecordFileErrorKind::kTooFewSamples)) {
      layout.rateProblem = rows.error;
    }
  }
  return result;
}

}  // namespace kelvora
