#pragma once
// The commands of kelvora-cli and the table that dispatches to them.
//
// A command is a function over its own arguments (the words after its name) and a context holding the output
// streams and the locale's decimal rules, so tests run it in-process. A new command is one file
// (cli/cmd_<name>.cpp) defining its Run function, declared here and listed in CommandTable().
#include <ostream>
#include <string>
#include <vector>

#include "formats/signal_file.h"

namespace kelvora::cli {

// Exit statuses.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitUsage = 2;

struct CliContext {
  std::ostream& out;     // results (standard output)
  std::ostream& err;     // messages and the progress bar (standard error)
  DecimalFormat format;  // the locale's decimal separator, for reading and writing signal files
};

using CommandFunction = int (*)(const std::vector<std::string>& args, CliContext& context);

struct Command {
  const char* name;
  const char* summary;
  CommandFunction run;
};

int RunConvert(const std::vector<std::string>& args, CliContext& context);
int RunSpectrum(const std::vector<std::string>& args, CliContext& context);
int RunFilter(const std::vector<std::string>& args, CliContext& context);
int RunPpg(const std::vector<std::string>& args, CliContext& context);
int RunAnalyze(const std::vector<std::string>& args, CliContext& context);
int RunCoherence(const std::vector<std::string>& args, CliContext& context);
int RunExport(const std::vector<std::string>& args, CliContext& context);
int RunMarkers(const std::vector<std::string>& args, CliContext& context);
int RunPorh(const std::vector<std::string>& args, CliContext& context);
int RunHeating(const std::vector<std::string>& args, CliContext& context);
int RunStudy(const std::vector<std::string>& args, CliContext& context);

// Every command, in the order the global help lists them.
const std::vector<Command>& CommandTable();

// Runs kelvora-cli with its arguments (without the program name): "--help", "--version" or a command.
// Returns the exit status.
int RunCli(const std::vector<std::string>& args, CliContext& context);

// The locale's decimal rules: the LC_NUMERIC decimal point after setlocale(LC_NUMERIC, ""), "." when it is not
// a single character.
DecimalFormat DecimalFormatFromLocale();

}  // namespace kelvora::cli
