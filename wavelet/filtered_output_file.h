#pragma once
// Saving the wavelet page's filtered signal.
#include <optional>
#include <span>
#include <string>

#include "core/progress.h"
#include "wavelet/wavelet_types.h"

namespace kelvora {

// Writes filtered values to `path`, one per line, in the texts of every other save (FormatSignalValue with three
// decimals) and `decimalSeparator`; progress runs over the points with the percentage as text. The file is
// written beside the target under a temporary name and renamed, so a failed save leaves an existing file
// intact. Returns the error (kCannotWriteFile with the path and the reason) on failure. Non-finite values are refused before anything
// is written. The caller ensures the ".txt" extension.
std::optional<WaveletError> SaveFilteredOutput(const std::string& path, std::span<const double> values,
                                               char decimalSeparator = '.',
                                               ProgressSink& progress = NullProgress());

}  // namespace kelvora
