#pragma once
// What the commands share: loading the input record, writing results, and the error lines.
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "formats/marker.h"
#include "formats/record_file_error.h"
#include "formats/signal_file.h"
#include "core/signal_record.h"

namespace kelvora::cli {

// Prints "kelvora-cli COMMAND: message" and a pointer to the command's help; returns kExitUsage.
int UsageError(CliContext& context, const std::string& command, const std::string& message);
// Prints "kelvora-cli: message"; returns kExitBadInput.
int InputError(CliContext& context, const std::string& message);

// What LoadInput tells of the record it read, beyond its samples.
struct InputDetails {
  std::string name;           // the column name or EDF label; for a one-column file its name without extension
  std::string unit;           // the column's or channel's unit; may be empty
  double sourceRateHz = 0.0;  // the file's rate before resampling
  long long ratio = 1;        // file samples per record sample
  bool imported = false;      // read by the delimited-text or EDF reader, not as a one-column signal file
  bool edf = false;           // read by the EDF reader
  bool acquisition = false;   // read by the LabChart text or the MATLAB reader
  std::vector<Marker> markers;  // a LabChart text or .mat export: the comments of the block read (kLabChart)
};

// The one way a command reads a record: INPUT, --compare FILE, T_INPUT, BF_INPUT alike, through ReadRecordFile
// (formats/record_file.h), which tells the format by ReadFileLayout. `temperature` applies the kelvin rule (a
// first sample above 250 is kelvin). The reading options choose the reader as there: --column, --time-column,
// --skip-lines or --resample-to read a signal text as delimited text; --channel alone reads a file as EDF
// unless it is ".csv" or ".tsv"; ".edf", ".bdf" and ".rec" files are EDF. There too (BlockFileFormat), a ".mat"
// file or one that begins as a MATLAB file (its text header or an HDF5 signature), or any other file with
// --variable, is read by the MATLAB reader (--variable; --channel for a matrix's row or column or an export's channel; --block
// or --join-blocks for an export's blocks; a plain file's rate is its fs, else --fs), and a file whose first
// line is a header line of an acquisition-system text export ("Interval=", ...) by that reader (--channel; a
// file of several blocks needs --block N or --join-blocks).
// Records are counted in the order of the calls: the k-th call takes the k-th --column, --time-column,
// --skip-lines, --channel, --variable and --block when an option is given several times, else its single value. A record's rate is
// --resample-to when given (block means), else the file's own (the time column, the EDF header; a file that
// states none is at --fs, or at the rate the records before it have): it must be a whole number of hertz, and a
// --fs that disagrees with the file's own rate, or a time column that is not uniform, is refused. The first
// record read fixes options.sampleRateHz; a later record at another rate is an error. A delimited file with
// several signal columns, or an EDF file with several channels, needs --column / --channel.
// Prints the "Big file" warning (the load goes on) or the error ("FILE:LINE: ..."); an empty record is an error
// ("no samples"). On failure sets exitStatus (1 bad input, 2 a reading option given more often than records are
// read) and gives nothing.
std::optional<SignalRecord> LoadInput(CliContext& context, CommonOptions& options, const std::string& path,
                                      bool temperature, int& exitStatus, InputDetails* details = nullptr);

// The "Big file" warning of a record cut at `maxSamples` samples; the one-number layout of the program's signal
// files has a trailing blank at the usual limit.
std::string BigFileText(int maxSamples, bool trailingBlank);

// The one-line message of an import or export error: "FILE:LINE: column 2: 'x' is not a valid number", ...
std::string DescribeRecordFileError(const RecordFileError& error);

// Writes the signal values to --output (whole or not at all) or to standard output, one per line, with the
// locale's decimal separator, 3 decimals or full precision. Returns the exit status.
int EmitSignal(CliContext& context, const CommonOptions& options, const std::vector<double>& values);
// Writes `text` to --output (whole or not at all) or to standard output. Returns the exit status.
int EmitText(CliContext& context, const CommonOptions& options, const std::string& text);

// A command's parsed arguments and common options.
struct CommandLine {
  ParsedArgs parsed;
  CommonOptions options;
};

// How many INPUT files a command takes.
enum class InputCount { kExactlyOne, kOneOrMore, kExactlyTwo };

// Parses `args` against the command's own options and the common ones. Gives an exit status when the command ends
// here (a usage error, or --help printed with `synopsis` and `description`), or nothing when the INPUT files
// (line.parsed.positionals) are as many as `inputs` asks and the command goes on.
std::optional<int> ParseCommandLine(const std::vector<std::string>& args, CliContext& context,
                                    const std::string& command, const std::vector<OptionDef>& ownOptions,
                                    const std::string& synopsis, const std::string& description, CommandLine& line,
                                    InputCount inputs = InputCount::kExactlyOne);

// The usage text of a command: synopsis, its own options, the common options, the reading options.
std::string CommandHelp(const std::string& synopsis, const std::string& description,
                        const std::vector<OptionDef>& ownOptions);

}  // namespace kelvora::cli
