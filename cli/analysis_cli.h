#pragma once
// What the time-frequency commands (analyze, coherence) share: the analysis options, the texts of the analysis
// errors, the omitted-band notices and the writing of their CSV files.
#include <optional>
#include <string>
#include <vector>

#include "analysis/phase_coherence.h"
#include "analysis/record_analysis.h"
#include "cli/commands.h"
#include "cli/options.h"

namespace kelvora::cli {

// --bands, --f0, --voices, --fmin, --fmax, --detrend, --threads.
std::vector<OptionDef> AnalysisOptionDefs();

// Reads those options into `options` at sampleRateHz and checks them (CheckAnalysisOptions); gives a usage error
// text for a bad value. The options depend on the rate, which an imported file sets when it is read: call it at
// --fs first, so that a usage error needs no file, and again at the rate of the first record read.
std::optional<std::string> ReadAnalysisOptions(const ParsedArgs& parsed, int sampleRateHz, AnalysisOptions& options);

// --surrogates, --seed, --lambda, --rho, --heat-capacity: what coherence and study take beyond the analysis.
std::vector<OptionDef> CoherenceOptionDefs();

// Reads those options into `options` and checks them; gives a usage error text for a bad value.
std::optional<std::string> ReadCoherenceOptions(const ParsedArgs& parsed, CoherenceOptions& options);

// The reason an analysis of a record failed: "sample 3 is not a finite number", ...
std::string AnalysisErrorText(const AnalysisError& error);

// The note of a band table row: "record too short for this band: it needs at least M min" (M rounded up to a
// tenth), ...; empty without a note.
std::string BandNoteText(const BandRow& row);

// "kelvora-cli COMMAND: band NAME (LO .. HI Hz) lies outside the analysed F1 .. F2 Hz and is left out", a line each.
void ReportOmittedBands(CliContext& context, const std::string& command, const std::vector<AnalysisBand>& omitted,
                        FrequencyBand analysed);

// Writes `text` to `path` whole or not at all (the atomic writer); reports a failure and gives its exit status.
int WriteOutputFile(CliContext& context, const std::string& path, const std::string& text);

}  // namespace kelvora::cli
