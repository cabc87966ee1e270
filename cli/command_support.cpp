#include "cli/command_support.h"

#include <cmath>

#include "core/text_helpers.h"

namespace kelvora::cli {

int UsageError(CliContext& context, const std::string& command, const std::string& message) {
  const std::string who = command.empty() ? "kelvora-cli" : "kelvora-cli " + command;
  context.err << who << ": " << message << "\n"
              << "Try '" << who << " --help' for more information.\n";
  return kExitUsage;
}

int InputError(CliContext& context, const std::string& message) {
  context.err << "kelvora-cli: " << message << "\n";
  return kExitBadInput;
}

int EmitText(CliContext& context, const CommonOptions& options, const std::string& text) {
  if (options.output.empty()) {
    context.out << text << std::flush;
    // A full disk or a closed pipe behind standard output is a failed save, not a success.
    if (!context.out) return InputError(context, "cannot write the result to standard output");
    return kExitSuccess;
  }
  if (const auto error = WriteTextFileAtomically(options.output, text))
    return InputError(context, DescribeRecordFileError(RecordErrorOf(*error)));
  return kExitSuccess;
}

int EmitSignal(CliContext& context, const CommonOptions& options, const std::vector<double>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!std::isfinite(values[i]))
      return InputError(context, "sample " + std::to_string(i) + " of the result is not a finite number");
    text += FormatSignalValue(values[i], context.format.separator,
                              options.fullPrecision ? ValuePrecision::kFull : ValuePrecision::kThreeDecimals);
    text += '\n';
  }
  return EmitText(context, options, text);
}

std::string CommandHelp(const std::string& synopsis, const std::string& description,
                        const std::vector<OptionDef>& ownOptions) {
  std::string text = "usage: kelvora-cli " + synopsis + "\n\n" + description + "\n";
  if (!ownOptions.empty()) text += "\nOptions:\n" + FormatOptionHelp(ownOptions);
  text += "\nCommon options:\n" + FormatOptionHelp(CommonOptionDefs());
  text += "\nReading options:\n" + FormatOptionHelp(ReadingOptionDefs());
  return text;
}

std::optional<int> ParseCommandLine(const std::vector<std::string>& args, CliContext& context,
                                    const std::string& command, const std::vector<OptionDef>& ownOptions,
                                    const std::string& synopsis, const std::string& description, CommandLine& line,
                                    InputCount inputs) {
  std::vector<OptionDef> optionDefs = ownOptions;
  for (const std::vector<OptionDef>& shared : {CommonOptionDefs(), ReadingOptionDefs()})
    optionDefs.insert(optionDefs.end(), shared.begin(), shared.end());
  if (const auto error = ParseArguments(args, optionDefs, line.parsed)) return UsageError(context, command, *error);
  if (const auto error = ReadCommonOptions(line.parsed, line.options)) return UsageError(context, command, *error);
  if (line.options.help) {
    context.out << CommandHelp(synopsis, description, ownOptions);
    return kExitSuccess;
  }
  if (inputs == InputCount::kOneOrMore) {
    if (line.parsed.positionals.empty()) return UsageError(context, command, "at least one INPUT file is needed");
  } else if (inputs == InputCount::kExactlyTwo) {
    if (line.parsed.positionals.size() != 2) return UsageError(context, command, "two INPUT files are needed, T then BF");
  } else if (line.parsed.positionals.size() != 1) {
    return UsageError(context, command, "exactly one INPUT file is needed");
  }
  return std::nullopt;
}

}  // namespace kelvora::cli
