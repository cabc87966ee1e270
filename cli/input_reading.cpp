// LoadInput: how every command reads its records, one-column signal files and instrument files alike.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "cli/command_support.h"
#include "core/text_helpers.h"
#include "formats/block_resample.h"
#include "formats/delimited_reader.h"
#include "formats/edf_header_check.h"
#include "formats/edf_reader.h"
#include "formats/labchart_text.h"
#include "formats/mat_file.h"
#include "formats/record_import.h"

namespace kelvora::cli {
namespace {

enum class InputKind { kSignalText, kDelimited, kEdf, kLabChartText, kMat };

std::string LowerExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

bool StartsAsEdf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char start[8] = {};
  in.read(start, sizeof start);
  return in.gcount() == static_cast<std::streamsize>(sizeof start) && LooksLikeEdf(std::string_view(start, 8));
}

InputKind KindOf(const std::string& path, const ReadingOptions& reading) {
  const std::string extension = LowerExtension(path);
  if (extension == ".edf" || extension == ".bdf" || extension == ".rec") return InputKind::kEdf;
  // MATLAB files and acquisition-system text exports by what they hold, whatever their names.
  const std::string start = ReadFileStart(path, 1024);
  if (extension == ".mat" || LooksLikeMatFile(start)) return InputKind::kMat;
  if (LooksLikeLabChartText(start)) return InputKind::kLabChartText;
  if (!reading.variables.empty()) return InputKind::kMat;
  if (extension == ".csv" || extension == ".tsv") return InputKind::kDelimited;
  if (extension != ".txt" && StartsAsEdf(path)) return InputKind::kEdf;
  const bool columnOptions = !reading.columns.empty() || !reading.timeColumns.empty() || !reading.skipLines.empty();
  if (!reading.channels.empty() && !columnOptions) return InputKind::kEdf;
  if (reading.any()) return InputKind::kDelimited;
  return InputKind::kSignalText;
}

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

// Reads the wanted column of a delimited file.
std::optional<ImportedChannel> ReadDelimitedChannel(CliContext& context, const CommonOptions& options,
                                                const std::string& path, int index, int& exitStatus) {
  std::string usage;
  const std::optional<std::string> column = ForRecord(options.reading.columns, index, "column", usage);
  const std::optional<std::string> time = ForRecord(options.reading.timeColumns, index, "time-column", usage);
  const std::optional<int> skip = ForRecord(options.reading.skipLines, index, "skip-lines", usage);
  if (!usage.empty()) {
    context.err << "kelvora-cli: " << usage << "\n";
    exitStatus = kExitUsage;
    return std::nullopt;
  }
  DelimitedReadOptions read;
  read.layout.headerLines = skip;
  if (time) read.layout.timeColumn = *time == "none" ? ChannelRef{} : ChannelRef::Parse(*time);
  if (column) read.columns.push_back(ChannelRef::Parse(*column));
  if (options.givenRateHz) read.sampleRateHz = *options.givenRateHz;
  DelimitedReadResult result = ReadDelimitedFile(path, read);
  // Without a time column the file is at --fs, whose default is 2 Hz as for one-column files.
  if (!result.ok() && result.error->kind == RecordFileErrorKind::kNoSampleRate && !read.sampleRateHz) {
    read.sampleRateHz = options.sampleRateHz;
    result = ReadDelimitedFile(path, read);
  }
  if (!result.ok()) {
    exitStatus = InputError(context, DescribeRecordFileError(*result.error));
    return std::nullopt;
  }
  if (result.channels.size() != 1) {
    std::vector<std::string> names;
    for (const ImportedChannel& c : result.channels) names.push_back(c.name);
    exitStatus = InputError(context, EscapeBytes(path, true) + ": " + std::to_string(names.size()) +
                                         " signal columns (" + NameList(names, result.columnNumbers) +
                                         "); choose one with --column");
    return std::nullopt;
  }
  return std::move(result.channels.front());
}

// Reads the wanted channel of an EDF file, no more samples than the record can take.
std::optional<ImportedChannel> ReadEdfChannel(CliContext& context, const CommonOptions& options, const std::string& path,
                                          int index, int& exitStatus) {
  std::string usage;
  const std::optional<std::string> channel = ForRecord(options.reading.channels, index, "channel", usage);
  if (!usage.empty()) {
    context.err << "kelvora-cli: " << usage << "\n";
    exitStatus = kExitUsage;
    return std::nullopt;
  }
  EdfReadResult info = ReadEdfFile(path);
  if (!info.ok()) {
    exitStatus = InputError(context, DescribeRecordFileError(*info.error));
    return std::nullopt;
  }
  ChannelRef ref{1, {}};
  if (channel) {
    ref = ChannelRef::Parse(*channel);
  } else if (info.info.channels.size() != 1) {
    std::vector<std::string> labels;
    for (const EdfChannelInfo& c : info.info.channels) labels.push_back(c.label);
    exitStatus = InputError(context, EscapeBytes(path, true) + ": " + std::to_string(labels.size()) + " channels (" +
                                         NameList(labels) + "); choose one with --channel");
    return std::nullopt;
  }
  int number = 0;
  if (auto error = FindEdfChannel(info.info, ref, number)) {
    error->path = path;
    exitStatus = InputError(context, DescribeRecordFileError(*error));
    return std::nullopt;
  }
  EdfReadOptions read;
  read.channels = {ChannelRef{number, {}}};
  const double rate = info.info.channels[static_cast<std::size_t>(number - 1)].sampleRateHz;
  read.maxSamples = InputSamplesNeeded(rate, options.reading.resampleToHz, options.maxRecordSamples);
  EdfReadResult result = ReadEdfFile(path, read);
  if (!result.ok()) {
    exitStatus = InputError(context, DescribeRecordFileError(*result.error));
    return std::nullopt;
  }
  return std::move(result.channels.front());
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
                                                const std::string& path, int index, InputKind kind, int& exitStatus) {
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
  if (kind == InputKind::kLabChartText) {
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

std::optional<SignalRecord> LoadInput(CliContext& context, CommonOptions& options, const std::string& path,
                                      bool temperature, int& exitStatus, InputDetails* details) {
  const int index = options.recordsRead++;
  const InputKind kind = KindOf(path, options.reading);
  InputDetails found;
  found.name = std::filesystem::path(path).stem().string();
  if (kind == InputKind::kSignalText) {
    SignalReadResult read = ReadSignalFile(path, temperature, context.format, options.maxRecordSamples);
    if (!read.ok()) {
      // A temperature file is checked for kelvin on its first value, which an empty file lacks: such a file holds
      // no samples, as it does for the other commands.
      const SignalFileError& error = *read.error;
      const bool noFirstValue = temperature && error.kind == SignalFileErrorKind::kInvalidNumber &&
                                error.line == 1 && error.text.empty();
      if (noFirstValue) {
        const SignalReadResult plain = ReadSignalFile(path, false, context.format, options.maxRecordSamples);
        if (plain.ok() && plain.record.empty()) {
          exitStatus = InputError(context, path + ": no samples");
          return std::nullopt;
        }
      }
      exitStatus = InputError(context, DescribeFileError(error));
      return std::nullopt;
    }
    if (!read.warning.empty()) context.err << "kelvora-cli: " << path << ": " << read.warning << "\n";
    if (read.record.empty()) {
      exitStatus = InputError(context, path + ": no samples");
      return std::nullopt;
    }
    options.rateSettled = true;
    found.sourceRateHz = options.sampleRateHz;
    if (details) *details = found;
    return std::move(read.record);
  }

  const std::optional<ImportedChannel> read =
      kind == InputKind::kEdf        ? ReadEdfChannel(context, options, path, index, exitStatus)
      : kind == InputKind::kDelimited ? ReadDelimitedChannel(context, options, path, index, exitStatus)
                                      : ReadBlockChannel(context, options, path, index, kind, exitStatus);
  if (!read) return std::nullopt;
  const bool ownRate = kind == InputKind::kEdf || kind == InputKind::kLabChartText || kind == InputKind::kMat;
  if (ownRate && options.givenRateHz && !options.reading.resampleToHz &&
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
  if (record.truncated) {
    context.err << "kelvora-cli: " << path << ": "
                << (options.maxRecordSamples == kMaxRecordSamples
                        ? std::string(kBigFileTabMessage)
                        : "Big file - points > " + std::to_string(options.maxRecordSamples))
                << "\n";
  }
  if (!read->name.empty()) found.name = read->name;
  found.unit = read->unit;
  found.sourceRateHz = record.sourceRateHz;
  found.ratio = record.ratio;
  found.imported = true;
  if (details) *details = found;
  return std::move(record.record);
}

}  // namespace kelvora::cli
