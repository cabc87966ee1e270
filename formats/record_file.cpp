#include "formats/record_file.h"

#include "formats/record_markers.h"

#include "formats/block_resample.h"
#include "formats/delimited_reader.h"
#include "formats/edf_reader.h"
#include "formats/labchart_text.h"
#include "formats/mat_file.h"
#include "formats/record_import.h"

namespace kelvora {
namespace {

RecordFileResult Failed(RecordFileResult result, RecordFileError error, const std::string& path) {
  if (error.path.empty()) error.path = path;
  result.error = std::move(error);
  result.record = SignalRecord{};
  return result;
}

RecordFileError ErrorOf(RecordFileErrorKind kind) {
  RecordFileError error;
  error.kind = kind;
  return error;
}

// How the file is read: the layout's format, with the options' and the name's say.
FileFormat FormatToRead(const std::string& path, const FileLayout& layout, const RecordReadOptions& options) {
  if (layout.format == FileFormat::kEdf) return FileFormat::kEdf;
  const std::string extension = LowerExtension(path);
  if (extension == ".edf" || extension == ".bdf" || extension == ".rec") return FileFormat::kEdf;
  const bool delimitedOptions = options.column || options.timeColumn || options.headerLines;
  const bool delimitedName = extension == ".csv" || extension == ".tsv";
  if (options.channel && !delimitedOptions && !delimitedName) return FileFormat::kEdf;
  if (layout.format == FileFormat::kSignalText && (delimitedOptions || options.resampleToHz))
    return FileFormat::kDelimited;
  return layout.format;
}

RecordFileResult ReadSignalText(const std::string& path, const RecordReadOptions& options, RecordFileResult result) {
  SignalReadResult read = ReadSignalFile(path, options.temperature, options.decimal, options.maxSamples);
  if (!read.ok()) {
    // A temperature file is checked for kelvin on its first value, which an empty file lacks: such a file holds
    // no samples, as it does without the check.
    const SignalFileError& error = *read.error;
    const bool noFirstValue = options.temperature && error.kind == SignalFileErrorKind::kInvalidNumber &&
                              error.line == 1 && error.text.empty();
    if (noFirstValue) {
      const SignalReadResult plain = ReadSignalFile(path, false, options.decimal, options.maxSamples);
      if (plain.ok() && plain.record.empty()) return Failed(result, ErrorOf(RecordFileErrorKind::kNoSamples), path);
    }
    return Failed(result, RecordErrorOf(error), path);
  }
  if (read.record.empty()) return Failed(result, ErrorOf(RecordFileErrorKind::kNoSamples), path);
  result.sampleRateHz = options.givenRateHz.value_or(options.defaultRateHz);
  result.sourceRateHz = result.sampleRateHz;
  result.truncated = read.truncated;
  result.tabLayout = read.tabLayout;
  result.kelvin = read.kelvin;
  result.record = std::move(read.record);
  result.record.sampleRateHz = result.sampleRateHz;
  result.channels.push_back(FileChannel{1, {}, {}, 0.0});
  return result;
}

// The wanted column of a delimited file, at its rate.
std::optional<ImportedChannel> ReadDelimitedChannel(const std::string& path, const RecordReadOptions& options,
                                                    RecordFileResult& result) {
  DelimitedReadOptions read;
  read.layout.headerLines = options.headerLines;
  read.layout.timeColumn = options.timeColumn;
  if (options.column) read.columns.push_back(*options.column);
  else read.columns = SignalColumnsBesideMarkers(path, read.layout);
  read.untimedRateHz = options.givenRateHz.value_or(options.defaultRateHz);
  DelimitedReadResult rows = ReadDelimitedFile(path, read);
  if (!rows.ok()) {
    result.error = std::move(rows.error);
    return std::nullopt;
  }
  for (std::size_t i = 0; i < rows.channels.size(); ++i) {
    const ImportedChannel& c = rows.channels[i];
    result.channels.push_back(FileChannel{rows.columnNumbers[i], c.name, c.unit, rows.sampleRateHz});
  }
  if (rows.channels.size() != 1) {
    RecordFileError error = ErrorOf(RecordFileErrorKind::kColumnNeeded);
    error.count = static_cast<long long>(rows.channels.size());
    result.error = error;
    return std::nullopt;
  }
  if (rows.rateFromTimeColumn && options.givenRateHz && WholeRatio(rows.sampleRateHz, *options.givenRateHz) != 1) {
    RecordFileError error = ErrorOf(RecordFileErrorKind::kRateDisagrees);
    error.line = rows.timeStepLine;
    error.column = rows.layout.timeColumn;
    error.fromRateHz = rows.sampleRateHz;
    error.toRateHz = *options.givenRateHz;
    result.error = error;
    return std::nullopt;
  }
  result.channelNumber = rows.columnNumbers.front();
  return std::move(rows.channels.front());
}

// The wanted channel of an EDF file, no more samples than the record can take.
std::optional<ImportedChannel> ReadEdfChannel(const std::string& path, const RecordReadOptions& options,
                                              const EdfFileInfo* known, RecordFileResult& result) {
  EdfReadResult header;
  if (known == nullptr) {
    header = ReadEdfFile(path);
    if (!header.ok()) {
      result.error = std::move(header.error);
      return std::nullopt;
    }
    known = &header.info;
  }
  const EdfFileInfo& info = *known;
  for (std::size_t i = 0; i < info.channels.size(); ++i) {
    const EdfChannelInfo& c = info.channels[i];
    result.channels.push_back(FileChannel{static_cast<int>(i) + 1, c.label, c.unit, c.sampleRateHz});
  }
  ChannelRef ref{1, {}};
  if (options.channel) {
    ref = *options.channel;
  } else if (info.channels.size() != 1) {
    RecordFileError error = ErrorOf(RecordFileErrorKind::kChannelNeeded);
    error.count = static_cast<long long>(info.channels.size());
    result.error = error;
    return std::nullopt;
  }
  int number = 0;
  if (auto error = FindEdfChannel(info, ref, number)) {
    result.error = std::move(error);
    return std::nullopt;
  }
  const double rate = info.channels[static_cast<std::size_t>(number - 1)].sampleRateHz;
  if (options.givenRateHz && WholeRatio(rate, *options.givenRateHz) != 1) {
    RecordFileError error = ErrorOf(RecordFileErrorKind::kRateDisagrees);
    error.column = number;
    error.fromRateHz = rate;
    error.toRateHz = *options.givenRateHz;
    result.error = error;
    return std::nullopt;
  }
  EdfReadOptions read;
  read.channels = {ChannelRef{number, {}}};
  read.maxSamples = InputSamplesNeeded(rate, options.resampleToHz, options.maxSamples);
  EdfReadResult samples = ReadEdfFile(path, read);
  if (!samples.ok()) {
    result.error = std::move(samples.error);
    return std::nullopt;
  }
  result.channelNumber = number;
  return std::move(samples.channels.front());
}

RecordFileResult ReadImported(const std::string& path, const RecordReadOptions& options, RecordFileResult result,
                              const std::optional<ImportedChannel>& channel);

// The wanted channel of a LabChart text export or a MATLAB file, of the block chosen (or of the blocks joined),
// with the block's comments. A channel without a rate of its own (a plain MATLAB file without fs) is at the
// given or default rate.
std::optional<ImportedChannel> ReadBlockChannel(const std::string& path, const RecordReadOptions& options,
                                                RecordFileResult& result) {
  std::vector<ChannelRef> refs;
  if (options.channel) refs.push_back(*options.channel);
  std::vector<RecordBlock> blocks;
  if (result.format == FileFormat::kLabChartText) {
    LabChartTextOptions read;
    read.channels = refs;
    LabChartTextResult text = ReadLabChartTextFile(path, read);
    if (!text.ok()) {
      result.error = std::move(text.error);
      return std::nullopt;
    }
    blocks = std::move(text.blocks);
  } else {
    MatReadOptions read;
    read.channels = refs;
    if (options.variable) read.variable = *options.variable;
    MatReadResult mat = ReadMatFile(path, read);
    result.variables = std::move(mat.variables);
    if (!mat.ok()) {
      result.error = std::move(mat.error);
      return std::nullopt;
    }
    blocks = std::move(mat.blocks);
  }
  result.blockCount = static_cast<int>(blocks.size());
  RecordBlock block;
  if (options.joinBlocks) {
    if (auto joinError = JoinBlocks(blocks, block)) {
      result.error = std::move(joinError);
      return std::nullopt;
    }
  } else if (options.block || blocks.size() != 1) {
    if (!options.block || *options.block < 1 || *options.block > static_cast<int>(blocks.size())) {
      RecordFileError error = ErrorOf(options.block ? RecordFileErrorKind::kNoSuchBlock : RecordFileErrorKind::kBlockNeeded);
      error.count = options.block ? *options.block : static_cast<long long>(blocks.size());
      error.expected = static_cast<long long>(blocks.size());
      result.error = error;
      return std::nullopt;
    }
    result.blockNumber = *options.block;
    block = std::move(blocks[static_cast<std::size_t>(*options.block - 1)]);
  } else {
    result.blockNumber = 1;
    block = std::move(blocks.front());
  }
  if (block.channels.size() != 1) {
    for (std::size_t i = 0; i < block.channelNames.size(); ++i)
      result.channels.push_back(FileChannel{static_cast<int>(i) + 1, block.channelNames[i], {}, 0.0});
    RecordFileError error = ErrorOf(RecordFileErrorKind::kChannelNeeded);
    error.count = static_cast<long long>(block.channels.size());
    result.error = error;
    return std::nullopt;
  }
  ImportedChannel read = std::move(block.channels.front());
  if (read.sampleRateHz <= 0) read.sampleRateHz = options.givenRateHz.value_or(options.defaultRateHz);
  if (options.givenRateHz && !options.resampleToHz && WholeRatio(read.sampleRateHz, *options.givenRateHz).value_or(0) != 1) {
    RecordFileError error = ErrorOf(RecordFileErrorKind::kRateDisagrees);
    error.fromRateHz = read.sampleRateHz;
    error.toRateHz = *options.givenRateHz;
    result.error = error;
    return std::nullopt;
  }
  result.channelNumber = block.channelNumbers.empty() ? 1 : block.channelNumbers.front();
  result.channels.push_back(FileChannel{result.channelNumber, read.name, read.unit, read.sampleRateHz});
  result.markers = MarkersFromComments(block.markers);
  return read;
}

}  // namespace

RecordFileResult ReadRecordFile(const std::string& path, const RecordReadOptions& options) {
  RecordFileResult result;
  // A LabChart or MATLAB file is read once, by its reader, without listing its layout first.
  if (const std::optional<FileFormat> block = BlockFileFormat(path, options.variable.has_value())) {
    result.format = *block;
    const std::optional<ImportedChannel> channel = ReadBlockChannel(path, options, result);
    return ReadImported(path, options, std::move(result), channel);
  }
  FileLayoutResult layout = ReadFileLayout(path);
  const bool unreadable = !layout.ok() && (layout.error->kind == RecordFileErrorKind::kMissingFile ||
                                           layout.error->kind == RecordFileErrorKind::kCannotOpen);
  // A malformed EDF header is the file's fault whatever is asked; a layout not found may still be read with
  // the options' overrides, and the reader then names what it finds.
  if (unreadable || (!layout.ok() && layout.layout.format == FileFormat::kEdf))
    return Failed(result, std::move(*layout.error), path);
  result.format = layout.ok() ? FormatToRead(path, layout.layout, options) : FileFormat::kDelimited;
  if (result.format == FileFormat::kSignalText) return ReadSignalText(path, options, std::move(result));

  const bool edfKnown = layout.ok() && layout.layout.format == FileFormat::kEdf;
  const std::optional<ImportedChannel> channel =
      result.format == FileFormat::kEdf
          ? ReadEdfChannel(path, options, edfKnown ? &layout.layout.edf : nullptr, result)
          : ReadDelimitedChannel(path, options, result);
  return ReadImported(path, options, std::move(result), channel);
}

namespace {

RecordFileResult ReadImported(const std::string& path, const RecordReadOptions& options, RecordFileResult result,
                              const std::optional<ImportedChannel>& channel) {
  if (!channel) {
    RecordFileError error = std::move(*result.error);
    return Failed(std::move(result), std::move(error), path);
  }
  RecordImportOptions make;
  make.resampleToHz = options.resampleToHz;
  make.temperature = options.temperature;
  make.maxSamples = options.maxSamples;
  RecordImportResult record = MakeImportedRecord(*channel, make);
  if (!record.ok()) return Failed(std::move(result), std::move(*record.error), path);
  result.sampleRateHz = record.sampleRateHz;
  result.sourceRateHz = record.sourceRateHz;
  result.ratio = record.ratio;
  result.truncated = record.truncated;
  result.kelvin = record.kelvin;
  result.name = channel->name;
  result.unit = channel->unit;
  result.record = std::move(record.record);
  return result;
}

}  // namespace

}  // namespace kelvora
