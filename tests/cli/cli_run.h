#pragma once
// Runs kelvora-cli in-process for a test, with its standard output and error caught.
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace kelvora::cli::testing {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// RunCli over `args` with the decimal rules of `separator` (as the locale would give them).
inline CliRun Cli(const std::vector<std::string>& args, char separator = '.') {
  std::ostringstream out, err;
  CliContext context{out, err, DecimalFormat::ForSeparator(separator)};
  CliRun run;
  run.status = RunCli(args, context);
  run.out = out.str();
  run.err = err.str();
  return run;
}

}  // namespace kelvora::cli::testing
