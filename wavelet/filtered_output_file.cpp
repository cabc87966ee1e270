#include "wavelet/filtered_output_file.h"

#include <cmath>
#include <string>

#include "core/atomic_file.h"
#include "core/percent_progress.h"
#include "core/text_helpers.h"

namespace kelvora {

std::optional<WaveletError> SaveFilteredOutput(const std::string& path, std::span<const double> values,
                                               char decimalSeparator, ProgressSink& progress) {
  for (double v : values) {
    if (!std::isfinite(v)) return WaveletError{ProblemKind::kFilteredNotFinite};
  }
  std::string text;
  const long long count = static_cast<long long>(values.size());
  PercentProgress shown(progress, 0, count - 1);
  for (long long i = 0; i < count; ++i) {
    text += FormatSignalValue(values[static_cast<size_t>(i)], decimalSeparator, ValuePrecision::kThreeDecimals);
    text += '\n';
    shown.update(i);
  }
  // Written beside the target and renamed over it; a device path such as /dev/full is never replaced.
  if (const std::optional<std::string> reason = WriteFileAtomically(path, text))
    return PathProblem(ProblemKind::kCannotWriteFile, path, *reason);
  shown.finish();
  return std::nullopt;
}

}  // namespace kelvora
