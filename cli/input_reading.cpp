// LoadInput: how every command reads its records, through the library's one way in (ReadRecordFile).
#include <filesystem>

#include "cli/command_support.h"
#include "core/text_helpers.h"
#include "formats/record_file.h"

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
  if (details) *details = found;
  return std::move(record.record);
}

}  // namespace kelvora::cli
