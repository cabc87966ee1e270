#pragma once
// Resampling a record to a lower whole rate by block means.
#include <cstddef>
#include <optional>
#include <vector>

#include "formats/record_file_error.h"

namespace kelvora {

// How far from a whole number the ratio of two rates may be, relative to it: 0.01 %, so that a rate measured
// from a time column printed to milliseconds still counts as 32 Hz, while 32 Hz to 3 Hz is refused.
inline constexpr double kWholeRatioTolerance = 1e-4;

// fromRateHz / toRateHz as a whole number >= 1 when it is one within kWholeRatioTolerance; nothing otherwise
// (and for rates that are not positive and finite).
std::optional<long long> WholeRatio(double fromRateHz, double toRateHz);

struct BlockResampleResult {
  std::vector<double> values;
  long long ratio = 0;
  std::optional<RecordFileError> error;  // kRatioNotWhole with both rates

  bool ok() const { return !error.has_value(); }
};

// Output sample i is the mean of input samples i * ratio .. (i + 1) * ratio - 1, summed in extended precision;
// a last block with fewer than `ratio` samples is dropped, as it covers no whole output sample. At most
// `maxOutput` samples are made. A ratio of 1 gives the input unchanged. Cost: one pass. Pure; any thread.
BlockResampleResult ResampleByBlockMeans(const std::vector<double>& values, double fromRateHz, int toRateHz,
                                         std::size_t maxOutput = static_cast<std::size_t>(-1));

}  // namespace kelvora
