#include "formats/block_resample.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

std::optional<long long> WholeRatio(double fromRateHz, double toRateHz) {
  if (!(fromRateHz > 0) || !(toRateHz > 0) || !std::isfinite(fromRateHz) || !std::isfinite(toRateHz))
    return std::nullopt;
  const double ratio = fromRateHz / toRateHz;
  const double whole = std::round(ratio);
  if (whole < 1 || whole > 1e9 || std::fabs(ratio - whole) > kWholeRatioTolerance * whole) return std::nullopt;
  return static_cast<long long>(whole);
}

BlockResampleResult ResampleByBlockMeans(const std::vector<double>& values, double fromRateHz, int toRateHz,
                                         std::size_t maxOutput) {
  BlockResampleResult result;
  const std::optional<long long> ratio = WholeRatio(fromRateHz, toRateHz);
  if (!ratio) {
    RecordFileError error;
    error.kind = RecordFileErrorKind::kRatioNotWhole;
    error.fromRateHz = fromRateHz;
    error.toRateHz = toRateHz;
    result.error = error;
    return result;
  }
  result.ratio = *ratio;
  const std::size_t step = static_cast<std::size_t>(*ratio);
  const std::size_t blocks = std::min(values.size() / step, maxOutput);
  result.values.resize(blocks);
  for (std::size_t b = 0; b < blocks; ++b) {
    long double sum = 0.0L;
    for (std::size_t i = b * step; i < (b + 1) * step; ++i) sum += values[i];
    result.values[b] = static_cast<double>(sum / static_cast<long double>(step));
  }
  return result;
}

}  // namespace kelvora
