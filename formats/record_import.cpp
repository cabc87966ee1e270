#include "formats/record_import.h"

#include <algorithm>
#include <cmath>

#include "formats/block_resample.h"
#include "formats/signal_file.h"

namespace kelvora {

long long InputSamplesNeeded(double fromRateHz, std::optional<int> resampleToHz, int maxSamples) {
  const long long ratio = resampleToHz ? WholeRatio(fromRateHz, *resampleToHz).value_or(1) : 1;
  return (static_cast<long long>(maxSamples) + 1) * ratio;
}

RecordImportResult MakeImportedRecord(const ImportedChannel& channel, const RecordImportOptions& options) {
  RecordImportResult result;
  result.sourceRateHz = channel.sampleRateHz;
  const auto fail = [&](RecordFileErrorKind kind) {
    RecordFileError error;
    error.kind = kind;
    error.fromRateHz = channel.sampleRateHz;
    error.toRateHz = options.resampleToHz.value_or(0);
    result.error = error;
    return result;
  };
  const std::size_t limit = static_cast<std::size_t>(std::max(1, options.maxSamples));
  std::vector<double> values;
  if (options.resampleToHz) {
    BlockResampleResult resampled = ResampleByBlockMeans(channel.values, channel.sampleRateHz, *options.resampleToHz,
                                                         limit + 1);
    if (!resampled.ok()) return fail(RecordFileErrorKind::kRatioNotWhole);
    values = std::move(resampled.values);
    result.ratio = resampled.ratio;
    result.sampleRateHz = *options.resampleToHz;
  } else {
    const std::optional<long long> whole = WholeRatio(channel.sampleRateHz, 1.0);
    if (!whole || *whole > 1000000) return fail(RecordFileErrorKind::kRateNotWhole);
    result.sampleRateHz = static_cast<int>(*whole);
    values.assign(channel.values.begin(), channel.values.begin() + static_cast<std::ptrdiff_t>(
                                                                       std::min(channel.values.size(), limit + 1)));
  }
  if (values.empty()) return fail(RecordFileErrorKind::kNoSamples);
  if (values.size() > limit) {
    values.resize(limit);
    result.truncated = true;
  }
  result.truncated = result.truncated || channel.truncated;
  if (options.temperature && values.front() > kKelvinThreshold) {
    for (double& v : values) v -= kKelvinOffset;
    result.kelvin = true;
  }
  result.record.values = std::move(values);
  result.record.lastIndex = static_cast<int>(result.record.values.size()) - 1;
  result.record.sampleRateHz = result.sampleRateHz;
  NormalizeRecord(result.record);
  return result;
}

}  // namespace kelvora
