// kelvora-cli heating: the local thermal hyperaemia of a heating phase of a flux record.
#include "analysis/analysis_csv.h"
#include "analysis/hyperaemia_measures.h"
#include "cli/command_support.h"
#include "cli/marker_cli.h"
#include "core/text_helpers.h"

namespace kelvora::cli {
namespace {

const char* kName = "heating";

std::vector<OptionDef> HeatingOptions() {
  return {{"heating", 0, "START:END", "a heating phase in seconds from the record's first sample (may be repeated)"},
          {"baseline", 0, "START:END", "the baseline interval (default: the 60 s before each heating)"},
          {"max", 0, "START:END", "the maximum interval (heating to 44 degC, a drug): the base of the percentages"}};
}

std::optional<std::string> ReadInterval(const ParsedArgs& parsed, const char* name, std::optional<TimeInterval>& out) {
  const auto text = parsed.value(name);
  if (!text) return std::nullopt;
  out = ParseTimeInterval(*text);
  if (!out) return "--" + std::string(name) + " needs START:END seconds, 0 <= START < END, not '" + EscapeBytes(*text) + "'";
  return std::nullopt;
}

}  // namespace

int RunHeating(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, HeatingOptions(),
        "heating INPUT --heating START:END [--baseline START:END] [--max START:END] [-o FILE.csv]",
        "The local thermal hyperaemia of a flux record, one CSV line per heating phase [h1, h2):\n"
        "phase,start_s,end_s,baseline,initial_peak,nadir,plateau,initial_peak_pct_max,plateau_pct_max,note.\n"
        "With s the centred moving mean of the flux over 2 floor(fs/2) + 1 samples: baseline, the mean flux over\n"
        "[h1 - 60 s, h1) or --baseline; initial peak, the maximum of s over the first 5 min of heating; nadir, the\n"
        "minimum of s after it; plateau, the mean flux over the last 5 min of heating; with --max, the initial peak\n"
        "and the plateau as % of the mean flux over that interval. An empty field has its reason in the note.",
        line))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  const std::string& path = parsed.positionals.front();
  std::vector<TimeInterval> phases;
  for (const std::string& text : parsed.allValues.count("heating") ? parsed.allValues.at("heating")
                                                                   : std::vector<std::string>()) {
    const std::optional<TimeInterval> interval = ParseTimeInterval(text);
    if (!interval)
      return UsageError(context, kName, "--heating needs START:END seconds, 0 <= START < END, not '" + EscapeBytes(text) + "'");
    phases.push_back(*interval);
  }
  if (phases.empty()) return UsageError(context, kName, "--heating START:END is needed");
  std::optional<TimeInterval> baseline, maximum;
  if (const auto error = ReadInterval(parsed, "baseline", baseline)) return UsageError(context, kName, *error);
  if (const auto error = ReadInterval(parsed, "max", maximum)) return UsageError(context, kName, *error);

  int status = kExitSuccess;
  const std::optional<SignalRecord> record = LoadInput(context, line.options, path, false, status);
  if (!record) return status;
  std::string text =
      "phase,start_s,end_s,baseline,initial_peak,nadir,plateau,initial_peak_pct_max,plateau_pct_max,note\n";
  for (std::size_t i = 0; i < phases.size(); ++i) {
    const HeatingOutcome outcome = MeasureHeating(record->values, line.options.sampleRateHz, phases[i], baseline, maximum);
    if (!outcome.ok()) {
      if (outcome.error->kind == MeasureErrorKind::kNonFiniteSample)
        return InputError(context, EscapeBytes(path, true) + ": sample " + std::to_string(outcome.error->sample + 1) +
                                       " is not a finite number");
      return InputError(context, EscapeBytes(path, true) + ": the record cannot be measured");
    }
    const HeatingMeasures& m = outcome.row;
    text += std::to_string(i + 1) + ',' + CsvNumber(m.heating.startS) + ',' + CsvNumber(m.heating.endS) + ',' +
            CsvNumber(m.baseline) + ',' + CsvNumber(m.initialPeak) + ',' + CsvNumber(m.nadir) + ',' +
            CsvNumber(m.plateau) + ',' + CsvNumber(m.initialPeakPercentMax) + ',' + CsvNumber(m.plateauPercentMax) +
            ',' + CsvField(MeasureNotesText(m.notes)) + '\n';
  }
  return EmitText(context, line.options, text);
}

}  // namespace kelvora::cli
