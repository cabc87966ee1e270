#pragma once
// Command-line options: declaration, parsing and the options every command shares.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/frequency_band.h"
#include "core/signal_record.h"

namespace kelvora::cli {

struct OptionDef {
  std::string name;       // long name without dashes: "fs"
  char shortName = 0;     // 'o' for -o, 0 for none
  std::string valueName;  // "HZ"; empty for a switch
  std::string help;
};

struct ParsedArgs {
  std::map<std::string, std::string> values;  // options with a value (the last one given wins)
  std::map<std::string, std::vector<std::string>> allValues;  // every value of each option, in the order given
  std::map<std::string, bool> switches;       // switches given
  std::vector<std::string> positionals;

  bool has(const std::string& name) const { return values.count(name) != 0 || switches.count(name) != 0; }
  std::optional<std::string> value(const std::string& name) const;
};

// Parses "--name VALUE", "--name=VALUE", "-x VALUE", switches and positionals ("--" ends the options). Gives an
// error text for an unknown option or a missing value.
std::optional<std::string> ParseArguments(const std::vector<std::string>& args, const std::vector<OptionDef>& optionDefs,
                                          ParsedArgs& parsed);

// The options every command takes: --fs, -o/--output, --full-precision, --progress, --help.
std::vector<OptionDef> CommonOptionDefs();
// The options of every command that reads a record: --column, --time-column, --skip-lines, --channel,
// --variable, --block, --join-blocks, --resample-to.
std::vector<OptionDef> ReadingOptionDefs();

// How the records a command reads are read (see LoadInput in cli/command_support.h). --column, --time-column,
// --skip-lines and --channel may be given once for every record or once per record, in the order the command
// reads them.
struct ReadingOptions {
  std::vector<std::string> columns;      // --column NAME|N
  std::vector<std::string> timeColumns;  // --time-column NAME|N|none
  std::vector<int> skipLines;            // --skip-lines K
  std::vector<std::string> channels;     // --channel LABEL|N
  std::vector<std::string> variables;    // --variable NAME (MATLAB files)
  std::vector<int> blocks;               // --block N (acquisition-system exports)
  bool joinBlocks = false;               // --join-blocks
  std::optional<int> resampleToHz;       // --resample-to HZ

  bool any() const {
    return !columns.empty() || !timeColumns.empty() || !skipLines.empty() || !channels.empty() || resampleToHz;
  }
};

struct CommonOptions {
  int sampleRateHz = 2;  // the rate of the records the command works on; LoadInput sets it for imported records
  std::optional<int> givenRateHz;  // --fs as given
  std::string output;  // empty: standard output
  bool fullPrecision = false;
  bool progress = false;
  bool help = false;
  ReadingOptions reading;
  int maxRecordSamples = kMaxRecordSamples;  // the samples LoadInput keeps of a record (a command may raise it)
  int recordsRead = 0;       // records LoadInput has read so far
  bool rateSettled = false;  // a record was read: every later one must have sampleRateHz
};

// Reads the common and the reading options; gives a usage error text for a malformed value.
std::optional<std::string> ReadCommonOptions(const ParsedArgs& parsed, CommonOptions& options);

// "--name VALUE" help lines for the optionDefs, aligned.
std::string FormatOptionHelp(const std::vector<OptionDef>& optionDefs);

// Option values (always with "." as the decimal mark). Each gives nothing for a malformed value.
std::optional<long long> ParseIntegerValue(const std::string& text);
std::optional<double> ParseRealValue(const std::string& text);
// "LO:HI" with two finite reals.
std::optional<FrequencyBand> ParseRangeValue(const std::string& text);

}  // namespace kelvora::cli
