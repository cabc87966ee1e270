// LoadInput: how every command reads its records, through the library's one way in (ReadRecordFile).
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "cli/command_support.h"
#include "core/text_helpers.h"
#include "formats/block_resample.h"
#include "formats/labchart_text.h"
#include "formats/mat_file.h"
#include "formats/record_file.h"
#include "formats/record_import.h"

namespace kelvora::cli {
namespace {

// The value of a per-record option for record `index`: its single value, or the index-th of several.
template <typename T>
std::optional<T> ForRecord(const std::vector<T>& values, int index, const std::string& name, std::string& error) {
  if (values.empty()) return std::nullopt;
  if (values.size() == 1) return values.front();
  if (index < static_cast<int>(values.size())) return values[static_cast<std::size_t>(index)];
  error = "--" + name + " is given " + std::to_string(values.size()) + " times, once per record, but record " +
          std::to_string(index + 1) + " is read";
  return std::nullopt;
}

// "2 'T', 3 'BF'": each signal with its number.
std::string ChannelList(const std::vector<FileChannel>& channels) {
  std::string text;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(channels[i].number);
    if (!channels[i].name.empty()) text += " '" + EscapeBytes(channels[i].name) + "'";
  }
  return text;
}

// The message of a failed read: the one of its kind, or the list of signals to choose from.
std::string ReadFailure(const std::string& path, const RecordFileResult& read) {
  const RecordFileError& error = *read.error;
  if (error.kind == RecordFileErrorKind::kColumnNeeded && error.count > 1)
    return EscapeBytes(path, true) + ": " + std::to_string(error.count) + " signal columns (" +
           ChannelList(read.channels) + "); choose one with --column";
  if (error.kind == RecordFileErrorKind::kChannelNeeded)
    return EscapeBytes(path, true) + ": " + std::to_string(error.count) + " channels (" + ChannelList(read.channels) +
           "); choose one with --channel";
  return DescribeRecordFileError(error);
}

std::string NumberText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

// "2 'T', 3 'BF'": each name with its number (numbers[i], else i + 1).
std::string NameList(const std::vector<std::string>& names, const std::vector<int>& numbers = {}) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(i < numbers.size() ? numbers[i] : static_cast<int>(i) + 1);
    if (!names[i].empty()) text += " '" + EscapeBytes(names[i]) + "'";
  }
  return text;
}

// "t 100x1, bf 100x3": the variables that can be signals, with their sizes.
std::string VariableList(const std::vector<MatVariableInfo>& variables) {
  std::string text;
  for (const MatVariableInfo& v : variables) {
    if (!v.signal) continue;
    if (!text.empty()) text += ", ";
    text += EscapeBytes(v.name);
    for (std::size_t i = 0; i < v.dims.size(); ++i) {
      text += i == 0 ? ' ' : 'x';
      text += std::to_string(v.dims[i]);
    }
  }
  return text;
}

// Reads the wanted channel of an acquisition-system text export or a MATLAB file, of the block chosen (or of the
// blocks joined). A channel without a rate of its own (a plain MATLAB file without fs) is at --fs.
std::optional<ImportedChannel> ReadBlockChannel(CliContext& context, const CommonOptions& options,
                                                const std::string& path, int index, bool text, int& exitStatus) {
  std::string usage;
  const std::optional<std::string> channel = ForRecord(options.reading.channels, index, "channel", usage);
  const std::optional<std::string> variable = ForRecord(options.reading.variables, index, "variable", usage);
  const std::optional<int> blockNumber = ForRecord(options.reading.blocks, index, "block", usage);
  if (!usage.empty()) {
    context.err << "kelvora-cli: " << usage << "\n";
    exitStatus = kExitUsage;
    return std::nullopt;
  }
  std::vector<ChannelRef> refs;
  if (channel) refs.push_back(ChannelRef::Parse(*channel));
  std::vector<RecordBlock> blocks;
  std::optional<RecordFileError> error;
  if (text) {
    LabChartTextOptions read;
    read.channels = refs;
    LabChartTextResult result = ReadLabChartTextFile(path, read);
    error = result.error;
    blocks = std::move(result.blocks);
  } else {
    MatReadOptions read;
    read.channels = refs;
    if (variable) read.variable = *variable;
    MatReadResult result = ReadMatFile(path, read);
    if (!result.ok() && result.error->kind == RecordFileErrorKind::kVariableNeeded) {
      const std::string list = VariableList(result.variables);
      exitStatus = InputError(context, EscapeBytes(path, true) + ": " + std::to_string(result.error->count) +
                                           " numeric variables" + (list.empty() ? "" : " (" + list + ")") +
                                           "; choose one with --variable");
      return std::nullopt;
    }
    error = result.error;
    blocks = std::move(result.blocks);
  }
  if (error) {
    exitStatus = InputError(context, DescribeRecordFileError(*error));
    return std::nullopt;
  }
  RecordBlock block;
  if (options.reading.joinBlocks) {
    if (auto joinError = JoinBlocks(blocks, block)) {
      joinError->path = path;
      exitStatus = InputError(context, DescribeRecordFileError(*joinError));
      return std::nullopt;
    }
  } else if (blockNumber || blocks.size() != 1) {
    if (!blockNumber || *blockNumber > static_cast<int>(blocks.size())) {
      RecordFileError e;
      e.kind = blockNumber ? RecordFileErrorKind::kNoSuchBlock : RecordFileErrorKind::kBlockNeeded;
      e.path = path;
      e.count = blockNumber ? *blockNumber : static_cast<long long>(blocks.size());
      e.expected = static_cast<long long>(blocks.size());
      exitStatus = InputError(context, DescribeRecordFileError(e));
      return std::nullopt;
    }
    block = std::move(blocks[static_cast<std::size_t>(*blockNumber - 1)]);
  } else {
    block = std::move(blocks.front());
  }
  if (block.channels.size() != 1) {
    exitStatus = InputError(context, EscapeBytes(path, true) + ": " + std::to_string(block.channels.size()) +
                                         " channels (" + NameList(block.channelNames) + "); choose one with --channel");
    return std::nullopt;
  }
  ImportedChannel read = std::move(block.channels.front());
  if (read.sampleRateHz <= 0) read.sampleRateHz = options.givenRateHz.value_or(options.sampleRateHz);
  return read;
}

}  // namespace

std::string BigFileText(int maxSamples, bool trailingBlank) {
  return "Big file - points > " + std::to_string(maxSamples) +
         (trailingBlank && maxSamples == kMaxRecordSamples ? " " : "");
}

namespace {

// A MATLAB file or an acquisition-system text export, found by its extension or its first bytes (with
// --variable, any file other than those is taken as a MATLAB file); nothing for the other formats.
std::optional<bool> BlockFileKind(const std::string& path, const ReadingOptions& reading) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".edf" || extension == ".bdf" || extension == ".rec") return std::nullopt;
  const std::string start = ReadFileStart(path, 1024);
  if (extension == ".mat" || LooksLikeMatFile(start)) return false;
  if (LooksLikeLabChartText(start)) return true;
  if (!reading.variables.empty()) return false;
  return std::nullopt;
}

// The record of such a file: its channel as MakeImportedRecord makes it, at the file's rate (or --fs).
std::optional<SignalRecord> LoadBlockFile(CliContext& context, CommonOptions& options, const std::string& path,
                                          bool text, bool temperature, int index, int& exitStatus,
                                          InputDetails* details) {
  const std::optional<ImportedChannel> read = ReadBlockChannel(context, options, path, index, text, exitStatus);
  if (!read) return std::nullopt;
  if (options.givenRateHz && !options.reading.resampleToHz &&
      WholeRatio(read->sampleRateHz, *options.givenRateHz).value_or(0) != 1) {
    exitStatus = InputError(context, EscapeBytes(path, true) + ": the channel is at " +
                                         NumberText(read->sampleRateHz) + " Hz, not the " +
                                         std::to_string(*options.givenRateHz) + " Hz of --fs");
    return std::nullopt;
  }
  RecordImportOptions make;
  make.resampleToHz = options.reading.resampleToHz;
  make.temperature = temperature;
  make.maxSamples = options.maxRecordSamples;
  RecordImportResult record = MakeImportedRecord(*read, make);
  if (!record.ok()) {
    record.error->path = path;
    exitStatus = InputError(context, DescribeRecordFileError(*record.error));
    return std::nullopt;
  }
  if (options.rateSettled && record.sampleRateHz != options.sampleRateHz) {
    exitStatus = InputError(context, EscapeBytes(path, true) + ": the record is at " +
                                         std::to_string(record.sampleRateHz) + " Hz, the records before it at " +
                                         std::to_string(options.sampleRateHz) + " Hz");
    return std::nullopt;
  }
  options.sampleRateHz = record.sampleRateHz;
  options.rateSettled = true;
  if (record.truncated) context.err << "kelvora-cli: " << path << ": " << BigFileText(options.maxRecordSamples, false) << "\n";
  InputDetails found;
  found.name = read->name.empty() ? std::filesystem::path(path).stem().string() : read->name;
  found.unit = read->unit;
  found.sourceRateHz = record.sourceRateHz;
  found.ratio = record.ratio;
  found.imported = true;
  if (details) *details = found;
  return std::move(record.record);
}

}  // namespace

std::optional<SignalRecord> LoadInput(CliContext& context, CommonOptions& options, const std::string& path,
                                      bool temperature, int& exitStatus, InputDetails* details) {
  const int index = options.recordsRead++;
  if (const std::optional<bool> text = BlockFileKind(path, options.reading))
    return LoadBlockFile(context, options, path, *text, temperature, index, exitStatus, details);
  const ReadingOptions& reading = options.reading;
  std::string usage;
  const std::optional<std::string> column = ForRecord(reading.columns, index, "column", usage);
  const std::optional<std::string> time = ForRecord(reading.timeColumns, index, "time-column", usage);
  const std::optional<int> skip = ForRecord(reading.skipLines, index, "skip-lines", usage);
  const std::optional<std::string> channel = ForRecord(reading.channels, index, "channel", usage);
  if (!usage.empty()) {
    context.err << "kelvora-cli: " << usage << "\n";
    exitStatus = kExitUsage;
    return std::nullopt;
  }
  RecordReadOptions read;
  read.givenRateHz = options.givenRateHz;
  read.defaultRateHz = options.sampleRateHz;
  read.resampleToHz = reading.resampleToHz;
  read.temperature = temperature;
  read.maxSamples = options.maxRecordSamples;
  read.decimal = context.format;
  if (column) read.column = ChannelRef::Parse(*column);
  if (time) read.timeColumn = *time == "none" ? ChannelRef{} : ChannelRef::Parse(*time);
  read.headerLines = skip;
  if (channel) read.channel = ChannelRef::Parse(*channel);
  RecordFileResult record = ReadRecordFile(path, read);
  if (!record.ok()) {
    exitStatus = InputError(context, ReadFailure(path, record));
    return std::nullopt;
  }
  const bool imported = record.format != FileFormat::kSignalText;
  if (imported && options.rateSettled && record.sampleRateHz != options.sampleRateHz) {
    exitStatus = InputError(context, EscapeBytes(path, true) + ": the record is at " +
                                         std::to_string(record.sampleRateHz) + " Hz, the records before it at " +
                                         std::to_string(options.sampleRateHz) + " Hz");
    return std::nullopt;
  }
  options.sampleRateHz = record.sampleRateHz;
  options.rateSettled = true;
  if (record.truncated)
    context.err << "kelvora-cli: " << path << ": "
                << BigFileText(options.maxRecordSamples, !imported && !record.tabLayout) << "\n";
  InputDetails found;
  found.name = record.name.empty() ? std::filesystem::path(path).stem().string() : record.name;
  found.unit = record.unit;
  found.sourceRateHz = record.sourceRateHz;
  found.ratio = record.ratio;
  found.imported = imported;
  found.edf = record.format == FileFormat::kEdf;
  if (details) *details = found;
  return std::move(record.record);
}

}  // namespace kelvora::cli
