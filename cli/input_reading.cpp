// LoadInput: how every command reads its records, through the library's one way in (ReadRecordFile).
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "cli/command_support.h"
#include "core/text_helpers.h"
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

// The message of a failed read: the one of its kind, or the list of signals to choose from.
std::string ReadFailure(const std::string& path, const RecordFileResult& read) {
  const RecordFileError& error = *read.error;
  if (error.kind == RecordFileErrorKind::kColumnNeeded && error.count > 1)
    return EscapeBytes(path, true) + ": " + std::to_string(error.count) + " signal columns (" +
           ChannelList(read.channels) + "); choose one with --column";
  if (error.kind == RecordFileErrorKind::kChannelNeeded)
    return EscapeBytes(path, true) + ": " + std::to_string(error.count) + " channels (" + ChannelList(read.channels) +
           "); choose one with --channel";
  if (error.kind == RecordFileErrorKind::kVariableNeeded) {
    const std::string list = VariableList(read.variables);
    return EscapeBytes(path, true) + ": " + std::to_string(error.count) + " numeric variables" +
           (list.empty() ? "" : " (" + list + ")") + "; choose one with --variable";
  }
  return DescribeRecordFileError(error);
}


}  // namespace

std::string BigFileText(int maxSamples, bool trailingBlank) {
  return "Big file - points > " + std::to_string(maxSamples) +
         (trailingBlank && maxSamples == kMaxRecordSamples ? " " : "");
}

std::optional<SignalRecord> LoadInput(CliContext& context, CommonOptions& options, const std::string& path,
                                      bool temperature, int& exitStatus, InputDetails* details) {
  const int index = options.recordsRead++;
  const ReadingOptions& reading = options.reading;
  std::string usage;
  const std::optional<std::string> column = ForRecord(reading.columns, index, "column", usage);
  const std::optional<std::string> time = ForRecord(reading.timeColumns, index, "time-column", usage);
  const std::optional<int> skip = ForRecord(reading.skipLines, index, "skip-lines", usage);
  const std::optional<std::string> channel = ForRecord(reading.channels, index, "channel", usage);
  const std::optional<std::string> variable = ForRecord(reading.variables, index, "variable", usage);
  const std::optional<int> block = ForRecord(reading.blocks, index, "block", usage);
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
  read.variable = variable;
  read.block = block;
  read.joinBlocks = reading.joinBlocks;
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
  found.acquisition = record.format == FileFormat::kLabChartText || record.format == FileFormat::kMat;
  found.markers = std::move(record.markers);
  if (details) *details = found;
  return std::move(record.record);
}

}  // namespace kelvora::cli
