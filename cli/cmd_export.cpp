// kelvora-cli export: a record read as the program reads it, written as a one-column signal file, a CSV file or
// an EDF+ file, for converting instrument files in bulk.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "cli/command_support.h"
#include "formats/csv_writer.h"
#include "formats/edf_writer.h"
#include "formats/mat_file.h"

namespace kelvora::cli {
namespace {

const char* kName = "export";

enum class ExportFormat { kText, kCsv, kEdf, kMat };

std::optional<ExportFormat> FormatOf(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".txt") return ExportFormat::kText;
  if (extension == ".csv") return ExportFormat::kCsv;
  if (extension == ".edf") return ExportFormat::kEdf;
  if (extension == ".mat") return ExportFormat::kMat;
  return std::nullopt;
}

int Written(CliContext& context, const std::optional<RecordFileError>& error) {
  return error ? InputError(context, DescribeRecordFileError(*error)) : kExitSuccess;
}

}  // namespace

int RunExport(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, {},
        "export INPUT [reading options] -o FILE.txt|FILE.csv|FILE.edf|FILE.mat",
        "Reads a record as the other commands read it (one-column signal file, delimited text or EDF, with the\n"
        "reading options and --resample-to) and writes it in the format of the output's extension: .txt one\n"
        "value per line (the locale's decimal mark, 3 decimals or --full-precision), .csv a t_s time column in\n"
        "seconds and the values after '#' comment lines naming the source ('.' as decimal mark), .edf EDF+ with\n"
        "the channel's label and unit (16-bit samples over the record's range), .mat a MATLAB file (level 5,\n"
        "compressed) with the values as a column vector named after the channel (or 'signal'), fs, unit and\n"
        "source. The record is not converted\n"
        "from kelvin. Nothing is written unless the whole record was read.", line))
    return *done;
  CommonOptions& options = line.options;
  if (options.output.empty()) return UsageError(context, kName, "-o FILE.txt|FILE.csv|FILE.edf|FILE.mat is required");
  const std::optional<ExportFormat> format = FormatOf(options.output);
  if (!format) return UsageError(context, kName, "the output's extension must be .txt, .csv, .edf or .mat");

  const std::string& input = line.parsed.positionals.front();
  int status = kExitSuccess;
  InputDetails details;
  const std::optional<SignalRecord> record = LoadInput(context, options, input, false, status, &details);
  if (!record) return status;
  const std::vector<double> values(record->values.begin(), record->values.begin() + record->count());

  if (*format == ExportFormat::kText) return EmitSignal(context, options, values);
  if (*format == ExportFormat::kCsv) {
    CsvWriteRequest request;
    request.comments = {{"source", input}, {"column", details.name}, {"sample_rate_hz", std::to_string(options.sampleRateHz)}};
    if (details.ratio > 1) {
      request.comments.emplace_back("method", "block means");
      request.comments.emplace_back("ratio", std::to_string(details.ratio));
    }
    if (!details.unit.empty()) request.comments.emplace_back("unit", details.unit);
    request.sampleRateHz = options.sampleRateHz;
    request.columns = {CsvColumn{details.name.empty() ? "value" : details.name, values}};
    request.precision = options.fullPrecision ? ValuePrecision::kFull : ValuePrecision::kThreeDecimals;
    return Written(context, WriteCsvFile(options.output, request));
  }
  if (*format == ExportFormat::kMat) {
    std::string name = MatVariableName(details.name, "signal");
    if (name == "fs" || name == "unit" || name == "source") name += "_signal";
    return Written(context, WriteMatFile(options.output, {MatValue::Column(name, values),
                                                          MatValue::Scalar("fs", options.sampleRateHz),
                                                          MatValue::Text("unit", details.unit),
                                                          MatValue::Text("source", input)}));
  }
  EdfWriteRequest request;
  request.channels = {EdfWriteChannel{details.name, details.unit, options.sampleRateHz, values}};
  return Written(context, WriteEdfFile(options.output, request));
}

}  // namespace kelvora::cli
