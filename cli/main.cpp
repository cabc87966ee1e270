#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"

int main(int argc, char** argv) {
  // Signal files follow the locale's decimal separator; only LC_NUMERIC is taken from the environment.
  std::setlocale(LC_NUMERIC, "");
  kelvora::cli::CliContext context{std::cout, std::cerr, kelvora::cli::DecimalFormatFromLocale()};
  const std::vector<std::string> args(argv + 1, argv + argc);
  return kelvora::cli::RunCli(args, context);
}
