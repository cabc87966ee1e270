#include "formats/file_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "formats/delimited_reader.h"
#include "formats/edf_header_check.h"
#include "formats/labchart_text.h"

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

// The rate every channel of `channels` shares; 0 when they differ or have none.
double CommonRate(const std::vector<FileChannel>& channels) {
  if (channels.empty()) return 0.0;
  for (const FileChannel& c : channels)
    if (c.sampleRateHz != channels.front().sampleRateHz) return 0.0;
  return channels.front().sampleRateHz;
}

// The blocks of a LabChart export (text or .mat) as the layout lists them; channels: the first block's.
void ListBlocks(std::vector<RecordBlock>& read, FileLayout& layout) {
  for (RecordBlock& b : read) {
    FileBlock block;
    block.startDays = b.startDays;
    block.markers = MarkersFromComments(b.markers);
    for (std::size_t i = 0; i < b.channels.size(); ++i) {
      const ImportedChannel& c = b.channels[i];
      FileChannel channel{b.channelNumbers[i], c.name, c.unit, c.sampleRateHz};
      channel.samples = static_cast<long long>(c.values.size());
      block.channels.push_back(std::move(channel));
    }
    layout.blocks.push_back(std::move(block));
  }
  if (!layout.blocks.empty()) layout.channels = layout.blocks.front().channels;
  layout.fileRateHz = CommonRate(layout.channels);
}

FileLayoutResult LabChartLayout(const std::string& path) {
  FileLayoutResult result;
  result.layout.format = FileFormat::kLabChartText;
  LabChartTextOptions options;
  options.forLayout = true;
  LabChartTextResult read = ReadLabChartTextFile(path, options);
  if (!read.ok()) {
    result.error = std::move(read.error);
    return result;
  }
  ListBlocks(read.blocks, result.layout);
  return result;
}

FileLayoutResult MatLayout(const std::string& path) {
  FileLayoutResult result;
  FileLayout& layout = result.layout;
  layout.format = FileFormat::kMat;
  MatReadOptions options;
  options.variablesOnly = true;
  MatReadResult read = ReadMatFile(path, options);
  layout.variables = read.variables;
  layout.matVersion = read.version;
  if (!read.ok()) {
    result.error = std::move(read.error);
    return result;
  }
  if (read.layout == MatFileLayout::kAcquisitionExport) {
    layout.matExport = true;
    ListBlocks(read.blocks, layout);
    return result;
  }
  // A plain file: every signal its variables hold, one per row when a matrix has fewer rows than columns (as
  // the reader takes them), at fs.
  const double rate = read.fsHz.value_or(0.0);
  for (const MatVariableInfo& v : read.variables) {
    if (!v.signal || v.dims.size() != 2) continue;
    const bool byRow = v.dims[0] < v.dims[1];
    const std::size_t signals = byRow ? v.dims[0] : v.dims[1], length = byRow ? v.dims[1] : v.dims[0];
    for (std::size_t k = 0; k < signals; ++k) {
      FileChannel channel{static_cast<int>(k) + 1,
                          signals == 1 ? v.name : v.name + "(" + std::to_string(k + 1) + ")", {}, rate};
      channel.variable = v.name;
      channel.samples = static_cast<long long>(length);
      layout.channels.push_back(std::move(channel));
    }
  }
  layout.fileRateHz = rate;
  return result;
}

}  // namespace

std::optional<FileFormat> BlockFileFormat(const std::string& path, bool matWanted) {
  const std::string extension = LowerExtension(path);
  if (extension == ".edf" || extension == ".bdf" || extension == ".rec") return std::nullopt;
  const std::string start = ReadFileStart(path, 1024);
  if (extension == ".mat" || LooksLikeMatFile(start)) return FileFormat::kMat;
  if (LooksLikeLabChartText(start)) return FileFormat::kLabChartText;
  if (matWanted) return FileFormat::kMat;
  return std::nullopt;
}

std::vector<Marker> MarkersFromComments(const std::vector<RecordMarker>& comments) {
  std::vector<Marker> markers;
  for (const RecordMarker& c : comments) {
    if (c.label.empty() || !std::isfinite(c.timeS)) continue;
    markers.push_back(Marker{std::max(0.0, c.timeS), std::isfinite(c.durationS) ? std::max(0.0, c.durationS) : 0.0,
                             c.label, MarkerSource::kLabChart});
  }
  return SortedByTime(std::move(markers));
}

FileLayoutResult ReadFileLayout(const std::string& path) {
  FileLayoutResult result;
  if (auto error = CheckReadableFile(path)) {
    result.error = std::move(error);
    return result;
  }
  const std::string head = ReadFileStart(path, kLayoutDetectionBytes);
  if (LooksLikeEdf(head)) return EdfLayout(path);
  if (const std::optional<FileFormat> block = BlockFileFormat(path))
    return *block == FileFormat::kMat ? MatLayout(path) : LabChartLayout(path);

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
