#include "core/band_reconstruction.h"

#include <algorithm>

#include "core/parallel_for.h"
#include "core/percent_progress.h"
#include "core/phasor_table.h"

namespace kelvora {

std::vector<Complex> ReconstructBand(const std::vector<Complex>& d, const std::vector<std::uint8_t>& excluded,
                                     int lowBin, int highBin, Complex c0, int paddedLastIndex,
                                     ProgressSink& progress) {
  if (paddedLastIndex < 1) return std::vector<Complex>(paddedLastIndex == 0 ? 1 : 0, c0);
  const int period = paddedLastIndex;
  const int count = paddedLastIndex + 1;
  std::vector<Complex> y(static_cast<std::size_t>(count), c0);

  lowBin = std::max(1, lowBin);
  highBin = std::min(highBin, static_cast<int>(d.size()) - 1);
  if (!excluded.empty()) highBin = std::min(highBin, static_cast<int>(excluded.size()) - 1);

  PercentProgress reporter(progress, 0, paddedLastIndex);
  if (highBin >= lowBin) {
    // Kept coefficients as plain arrays; an excluded bin contributes an exact zero.
    const int bins = highBin - lowBin + 1;
    std::vector<long double> dre(static_cast<std::size_t>(bins)), dim(static_cast<std::size_t>(bins));
    for (int j = 0; j < bins; ++j) {
      const int k = lowBin + j;
      const bool keep = excluded.empty() || excluded[static_cast<std::size_t>(k)] == 0;
      dre[static_cast<std::size_t>(j)] = keep ? d[static_cast<std::size_t>(k)].re : 0.0L;
      dim[static_cast<std::size_t>(j)] = keep ? d[static_cast<std::size_t>(k)].im : 0.0L;
    }
    const PhasorTable table(period);
    const long double* cosines = table.cosines();
    const long double* sines = table.sines();
    const unsigned wrap = static_cast<unsigned>(period);
    ParallelFor(
        count, 64, SpectralThreadCount(),
        [&](long long begin, long long end) {
          for (long long n = begin; n < end; ++n) {
            const unsigned step = static_cast<unsigned>(n % period);
            unsigned index = static_cast<unsigned>((static_cast<long long>(lowBin) * n) % period);
            long double sum0 = 0.0L, sum1 = 0.0L;
            int j = 0;
            for (; j + 1 < bins; j += 2) {
              sum0 += dre[j] * cosines[index] - dim[j] * sines[index];
              index += step;
              if (index >= wrap) index -= wrap;
              sum1 += dre[j + 1] * cosines[index] - dim[j + 1] * sines[index];
              index += step;
              if (index >= wrap) index -= wrap;
            }
            if (j < bins) sum0 += dre[j] * cosines[index] - dim[j] * sines[index];
            y[static_cast<std::size_t>(n)].re = c0.re + 2.0L * (sum0 + sum1);
          }
        },
        [&](long long done) { reporter.update(done - 1); });
  }
  reporter.update(paddedLastIndex);
  reporter.finish();
  return y;
}

}  // namespace kelvora
