#pragma once
// The wavelet method of kelvora-cli: the options --wavelet and --threads, and `filter --method wavelet`.
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "signals/wavelet_transform_methods.h"

namespace kelvora::cli {

// Reads --wavelet morlet|paul (default morlet) and --threads N (1 .. 32, default the number of cores, at most
// 32) into `methods` as both its conversion and its filter choice. Gives a usage error text for a bad value.
std::optional<std::string> ReadWaveletOptions(const ParsedArgs& parsed, WaveletMethods& methods);

// `filter --method wavelet INPUT --band LO:HI [--wavelet morlet|paul] [--threads N]`: the wavelet page's
// filtration of the normalised INPUT (at most 3601 samples, run at 2 Hz); writes the reconstruction output as
// computed. --amplitude belongs to the Fourier method. Returns the exit status.
int RunWaveletFilter(CliContext& context, const ParsedArgs& parsed, CommonOptions& options);

}  // namespace kelvora::cli
