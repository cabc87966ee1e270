#include "bench/old/core/band_reconstruction.h"

#include <algorithm>

#include "bench/old/core/parallel_for.h"
#include "core/percent_progress.h"
#include "bench/old/core/phasor_table.h"

namespace kelvora::old {

std::vector<Complex> ReconstructBand(const std::vector<Complex>& d, const std::vector<std::uint8_t>& excluded,
                                     int lowBin, int highBin, Complex c0, int paddedLastIndex, ProgressSink& progress,
                                     SumMethod method) {
  if (paddedLastIndex < 1) return std::vector<Complex>(paddedLastIndex == 0 ? 1 : 0, c0);
  const int period = paddedLastIndex;
  const int count = paddedLastIndex + 1;
  std::vector<Complex> y(static_cast<std::size_t>(count), c0);

  lowBin = std::max(1, lowBin);
  highBin = std::min(highBin, static_cast<int>(d.size()) - 1);
  if (!excluded.empty()) highBin = std::min(highBin, static_cast<int>(excluded.size()) - 1);

  PercentProgress reporter(progress, 0, paddedLastIndex);
  const long long bins = highBin >= lowBin ? highBin - lowBin + 1LL : 0;
  const bool useFft =
      bins > 0 && (method == SumMethod::kChirpFft || (method == SumMethod::kAutomatic &&
                                                      ChirpDftIsCheaper(period, bins * static_cast<long long>(count))));
  if (useFft) {
    // y[n] = c0 + 2 Re sum_k d[k] e^{+i 2 pi k n / N'}: one inverse transform of the kept coefficients; sample N'
    // has the phases of sample 0.
    std::vector<Complex> spectrum(static_cast<std::size_t>(period));
    for (int k = lowBin; k <= highBin; ++k) {
      if (!excluded.empty() && excluded[static_cast<std::size_t>(k)] != 0) continue;
      Complex& slot = spectrum[static_cast<std::size_t>(k % period)];
      slot = Sum(slot, d[static_cast<std::size_t>(k)]);
    }
    const std::vector<Complex> sums = ChirpDft(spectrum, +1);
    for (int n = 0; n < count; ++n)
      y[static_cast<std::size_t>(n)].re = c0.re + 2.0L * sums[static_cast<std::size_t>(n % period)].re;
  } else if (bins > 0) {
    // Kept coefficients as plain arrays; an excluded bin contributes an exact zero.
    const int binCount = static_cast<int>(bins);
    std::vector<long double> dre(static_cast<std::size_t>(binCount)), dim(static_cast<std::size_t>(binCount));
    for (int j = 0; j < binCount; ++j) {
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
            for (; j + 1 < binCount; j += 2) {
              sum0 += dre[j] * cosines[index] - dim[j] * sines[index];
              index += step;
              if (index >= wrap) index -= wrap;
              sum1 += dre[j + 1] * cosines[index] - dim[j + 1] * sines[index];
              index += step;
              if (index >= wrap) index -= wrap;
            }
            if (j < binCount) sum0 += dre[j] * cosines[index] - dim[j] * sines[index];
            y[static_cast<std::size_t>(n)].re = c0.re + 2.0L * (sum0 + sum1);
          }
        },
        [&](long long done) { reporter.update(done - 1); });
  }
  reporter.update(paddedLastIndex);
  reporter.finish();
  return y;
}

}  // namespace kelvora::old
