#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "core/text_helpers.h"

namespace kelvora::cli {

std::optional<std::string> ParsedArgs::value(const std::string& name) const {
  const auto it = values.find(name);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> ParseArguments(const std::vector<std::string>& args, const std::vector<OptionDef>& optionDefs,
                                          ParsedArgs& parsed) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' ||
        (arg[1] != '-' && std::isdigit(static_cast<unsigned char>(arg[1])))) {
      parsed.positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionDef* option = nullptr;
    std::optional<std::string> inlineValue;
    std::string shown = arg;
    if (arg[1] == '-') {
      std::string name = arg.substr(2);
      const std::size_t eq = name.find('=');
      if (eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name = name.substr(0, eq);
        shown = "--" + name;
      }
      for (const OptionDef& s : optionDefs)
        if (s.name == name) option = &s;
    } else if (arg.size() == 2) {
      for (const OptionDef& s : optionDefs)
        if (s.shortName != 0 && s.shortName == arg[1]) option = &s;
    }
    if (option == nullptr) return "unknown option " + shown;
    if (option->valueName.empty()) {
      if (inlineValue) return "option " + shown + " takes no value";
      parsed.switches[option->name] = true;
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) return "option " + shown + " needs a value " + option->valueName;
      inlineValue = args[++i];
    }
    parsed.values[option->name] = *inlineValue;
    parsed.allValues[option->name].push_back(*inlineValue);
  }
  return std::nullopt;
}

std::vector<OptionDef> CommonOptionDefs() {
  return {
      {"fs", 0, "HZ", "integer sample rate of INPUT (default 2)"},
      {"output", 'o', "FILE", "write the result here (default: standard output)"},
      {"full-precision", 0, "", "write values in shortest round-trip form instead of 3 decimals"},
      {"progress", 0, "", "show a progress bar on standard error"},
      {"help", 'h', "", "show this help"},
  };
}

std::vector<OptionDef> ReadingOptionDefs() {
  return {
      {"column", 0, "NAME|N", "signal column of delimited text (by name or number from 1)"},
      {"time-column", 0, "NAME|N", "time column of delimited text, or 'none' (default: detected)"},
      {"skip-lines", 0, "K", "header lines before the data of delimited text (default: detected)"},
      {"channel", 0, "LABEL|N", "channel of an EDF, EDF+ or BDF file, an acquisition export or a MATLAB matrix"},
      {"variable", 0, "NAME", "variable of a MATLAB file (default: its only numeric vector or matrix)"},
      {"block", 0, "N", "block of an acquisition-system export (by number from 1)"},
      {"join-blocks", 0, "", "join the blocks of an acquisition-system export when they follow without a gap"},
      {"resample-to", 0, "HZ", "block means down to HZ (a whole-number ratio of the file's rate)"},
  };
}

namespace {

// A whole number from `minimum` to `maximum` given to option `name`, or the usage error text.
std::optional<std::string> ReadWhole(const std::string& name, const std::string& text, long long minimum,
                                     long long maximum, int& target) {
  const std::optional<long long> value = ParseIntegerValue(text);
  if (!value || *value < minimum || *value > maximum)
    return "--" + name + " needs a whole number from " + std::to_string(minimum) + " to " + std::to_string(maximum) +
           ", not '" + text + "'";
  target = static_cast<int>(*value);
  return std::nullopt;
}

std::vector<std::string> AllValues(const ParsedArgs& parsed, const std::string& name) {
  const auto it = parsed.allValues.find(name);
  return it == parsed.allValues.end() ? std::vector<std::string>() : it->second;
}

}  // namespace

std::optional<std::string> ReadCommonOptions(const ParsedArgs& parsed, CommonOptions& options) {
  constexpr long long kMaxRateHz = 1000000;
  if (const auto fs = parsed.value("fs")) {
    const std::optional<long long> rate = ParseIntegerValue(*fs);
    if (!rate || *rate < 1 || *rate > kMaxRateHz)
      return "--fs needs a whole number of hertz from 1 to 1000000, not '" + *fs + "'";
    options.sampleRateHz = static_cast<int>(*rate);
    options.givenRateHz = options.sampleRateHz;
  }
  ReadingOptions& reading = options.reading;
  reading.columns = AllValues(parsed, "column");
  reading.timeColumns = AllValues(parsed, "time-column");
  reading.channels = AllValues(parsed, "channel");
  reading.variables = AllValues(parsed, "variable");
  for (const std::string& text : AllValues(parsed, "block")) {
    int block = 0;
    if (const auto error = ReadWhole("block", text, 1, 1000000, block)) return error;
    reading.blocks.push_back(block);
  }
  reading.joinBlocks = parsed.has("join-blocks");
  if (reading.joinBlocks && !reading.blocks.empty()) return "--block and --join-blocks cannot be given together";
  for (const std::string& text : AllValues(parsed, "skip-lines")) {
    int lines = 0;
    if (const auto error = ReadWhole("skip-lines", text, 0, 1000000, lines)) return error;
    reading.skipLines.push_back(lines);
  }
  if (const auto text = parsed.value("resample-to")) {
    int rate = 0;
    if (const auto error = ReadWhole("resample-to", *text, 1, kMaxRateHz, rate)) return error;
    reading.resampleToHz = rate;
  }
  for (const auto* list : {&reading.columns, &reading.timeColumns, &reading.channels})
    for (const std::string& text : *list)
      if (text.empty()) return "--column, --time-column and --channel need a name or a number";
  for (const std::string& text : reading.variables)
    if (text.empty()) return "--variable needs a name";
  if (const auto output = parsed.value("output")) {
    if (output->empty()) return "--output needs a file name";
    options.output = *output;
  }
  options.fullPrecision = parsed.has("full-precision");
  options.progress = parsed.has("progress");
  options.help = parsed.has("help");
  return std::nullopt;
}

std::string FormatOptionHelp(const std::vector<OptionDef>& optionDefs) {
  std::vector<std::string> heads;
  std::size_t width = 0;
  for (const OptionDef& s : optionDefs) {
    std::string head = s.shortName ? std::string("-") + s.shortName + ", --" + s.name : "    --" + s.name;
    if (!s.valueName.empty()) head += " " + s.valueName;
    width = std::max(width, head.size());
    heads.push_back(head);
  }
  std::string text;
  for (std::size_t i = 0; i < optionDefs.size(); ++i)
    text += "  " + heads[i] + std::string(width - heads[i].size() + 2, ' ') + optionDefs[i].help + "\n";
  return text;
}

std::optional<long long> ParseIntegerValue(const std::string& text) {
  long long value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || first == last) return std::nullopt;
  return value;
}

std::optional<double> ParseRealValue(const std::string& text) { return ParseDecimalNumber(text, '.'); }

std::optional<FrequencyBand> ParseRangeValue(const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::optional<double> low = ParseRealValue(text.substr(0, colon));
  const std::optional<double> high = ParseRealValue(text.substr(colon + 1));
  if (!low || !high) return std::nullopt;
  return FrequencyBand{*low, *high};
}

}  // namespace kelvora::cli
