// kelvora-cli porh: the post-occlusive reactive hyperaemia of each occlusion of a flux record.
#include "analysis/analysis_csv.h"
#include "analysis/hyperaemia_measures.h"
#include "cli/command_support.h"
#include "cli/marker_cli.h"
#include "core/text_helpers.h"

namespace kelvora::cli {
namespace {

const char* kName = "porh";

std::vector<OptionDef> PorhOptions() {
  std::vector<OptionDef> options = {
      {"occlusion", 0, "START:END", "an occlusion in seconds from the record's first sample (may be repeated)"},
      {"baseline", 0, "START:END", "the baseline interval of every occlusion (default: the 60 s before each)"}};
  const std::vector<OptionDef> finder = OcclusionFinderOptionDefs();
  options.insert(options.end(), finder.begin(), finder.end());
  return options;
}

}  // namespace

int RunPorh(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, PorhOptions(),
        "porh INPUT [--occlusion START:END ...|--find-occlusions] [--baseline START:END] [-o FILE.csv]",
        "The post-occlusive reactive hyperaemia of a flux record, one CSV line per occlusion:\n"
        "occlusion,start_s,end_s,baseline,biological_zero,peak,time_to_peak_s,peak_pct_baseline,peak_minus_bz,\n"
        "hyperaemic_area,repayment,t50_s,note. With s the centred moving mean of the flux over 2 floor(fs/2) + 1\n"
        "samples and an occlusion [o1, o2): baseline, the mean flux over [o1 - 60 s, o1) or --baseline;\n"
        "biological zero, the mean over the occlusion's last 60 s; peak, the maximum of s over [o2, o2 + 300 s)\n"
        "cut at the next occlusion; time to peak from o2; the area of the flux above the baseline from o2 until s\n"
        "is back at the baseline after the peak (PU*s); repayment, that area over the flux debt of the occlusion;\n"
        "t50, the time from the peak until s is halfway back to the baseline. Occlusions are typed (--occlusion)\n"
        "or found (--find-occlusions, see markers --help). An empty field has its reason in the note.",
        line))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  const std::string& path = parsed.positionals.front();
  std::vector<TimeInterval> occlusions;
  for (const std::string& text : parsed.allValues.count("occlusion") ? parsed.allValues.at("occlusion")
                                                                     : std::vector<std::string>()) {
    const std::optional<TimeInterval> interval = ParseTimeInterval(text);
    if (!interval)
      return UsageError(context, kName, "--occlusion needs START:END seconds, 0 <= START < END, not '" + EscapeBytes(text) + "'");
    occlusions.push_back(*interval);
  }
  std::optional<TimeInterval> baseline;
  if (const auto text = parsed.value("baseline")) {
    baseline = ParseTimeInterval(*text);
    if (!baseline)
      return UsageError(context, kName, "--baseline needs START:END seconds, 0 <= START < END, not '" + EscapeBytes(*text) + "'");
  }
  const bool find = parsed.has("find-occlusions");
  if (occlusions.empty() && !find) return UsageError(context, kName, "give --occlusion START:END or --find-occlusions");
  if (!occlusions.empty() && find) return UsageError(context, kName, "give either --occlusion or --find-occlusions");
  OcclusionFinderOptions finder;
  if (const auto error = ReadOcclusionFinderOptions(parsed, line.options.sampleRateHz, finder))
    return UsageError(context, kName, *error);

  int status = kExitSuccess;
  const std::optional<SignalRecord> record = LoadInput(context, line.options, path, false, status);
  if (!record) return status;
  const double fs = line.options.sampleRateHz;
  if (find) {
    finder.sampleRateHz = fs;
    const auto found = FindRecordOcclusions(context, path, *record, finder, status);
    if (!found) return status;
    for (const FoundOcclusion& o : *found) occlusions.push_back({o.startS, o.endS});
  }
  const PorhOutcome outcome = MeasurePorh(record->values, fs, occlusions, baseline);
  if (!outcome.ok()) {
    if (outcome.error->kind == MeasureErrorKind::kNonFiniteSample)
      return InputError(context, EscapeBytes(path, true) + ": sample " + std::to_string(outcome.error->sample + 1) +
                                     " is not a finite number");
    return InputError(context, EscapeBytes(path, true) + ": the record cannot be measured");
  }
  std::string text =
      "occlusion,start_s,end_s,baseline,biological_zero,peak,time_to_peak_s,peak_pct_baseline,peak_minus_bz,"
      "hyperaemic_area,repayment,t50_s,note\n";
  for (std::size_t i = 0; i < outcome.rows.size(); ++i) {
    const PorhMeasures& m = outcome.rows[i];
    text += std::to_string(i + 1) + ',' + CsvNumber(m.occlusion.startS) + ',' + CsvNumber(m.occlusion.endS) + ',' +
            CsvNumber(m.baseline) + ',' + CsvNumber(m.biologicalZero) + ',' + CsvNumber(m.peak) + ',' +
            CsvNumber(m.timeToPeakS) + ',' + CsvNumber(m.peakPercentBaseline) + ',' +
            CsvNumber(m.peakMinusBiologicalZero) + ',' + CsvNumber(m.hyperaemicArea) + ',' + CsvNumber(m.repayment) +
            ',' + CsvNumber(m.t50S) + ',' + CsvField(MeasureNotesText(m.notes)) + '\n';
  }
  if (outcome.rows.empty()) context.err << "kelvora-cli porh: " << EscapeBytes(path, true) << ": no occlusion found\n";
  return EmitText(context, line.options, text);
}

}  // namespace kelvora::cli
