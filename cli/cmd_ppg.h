#pragma once
// kelvora-cli ppg: the blood-flow envelope of a photoplethysmogram.
#include <iosfwd>
#include <string>
#include <vector>

namespace kelvora::cli {

// Runs `kelvora-cli ppg` with the arguments that follow the command name. Reads INPUT (one header line, the
// decimal separator of LC_NUMERIC), computes the envelope and writes its round(duration * out-rate) samples
// to --output (through a temporary file, so nothing is left on failure) or to `out`. Messages go to `err`.
// Returns 0 on success, 1 for bad input, 2 for bad usage.
int RunPpgCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kelvora::cli
