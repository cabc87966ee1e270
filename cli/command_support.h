#pragma once
// What the commands share: loading the input record, writing results, and the error lines.
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "signals/signal_file.h"
#include "signals/signal_record.h"

namespace kelvora::cli {

// Prints "kelvora-cli COMMAND: message" and a pointer to the command's help; returns kExitUsage.
int UsageError(CliContext& context, const std::string& command, const std::string& message);
// Prints "kelvora-cli: message"; returns kExitBadInput.
int InputError(CliContext& context, const std::string& message);

// Reads INPUT as a signal file with the locale's decimal rules (`temperature`: with the kelvin check). Prints the
// "Big file" warning (the load goes on) or the error; a file without samples is an error ("no samples"), with
// or without the kelvin check. On failure sets exitStatus and gives nothing. Every command reads its inputs here.
std::optional<SignalRecord> LoadInput(CliContext& context, const std::string& path, bool temperature, int& exitStatus);

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

// Parses `args` against the command's own options and the common ones. Gives an exit status when the command ends
// here (a usage error, or --help printed with `synopsis` and `description`), or nothing when exactly one INPUT
// file was given and the command goes on.
std::optional<int> ParseCommandLine(const std::vector<std::string>& args, CliContext& context,
                                    const std::string& command, const std::vector<OptionDef>& ownOptions,
                                    const std::string& synopsis, const std::string& description, CommandLine& line);

// The usage text of a command: synopsis, its own options, the common options.
std::string CommandHelp(const std::string& synopsis, const std::string& description,
                        const std::vector<OptionDef>& ownOptions);

}  // namespace kelvora::cli
