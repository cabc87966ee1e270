#include "core/band_reconstruction.h"

#include <algorithm>

#include "core/fft.h"
#include "core/percent_progress.h"

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
    // The inverse real transform gives x[n] = sum over its Hermitian spectrum, in which bin j (0 < j < N'/2)
    // stands for 2 Re(H[j] e^{+i 2 pi j n / N'}), and bins 0 and N'/2 (N' even) for their real parts once. So
    // H[j] = d[k] for k = j, conj(d[k]) for k = N' - j (whose phases run backwards), and 2 Re d[k] at 0 and N'/2.
    using fft::ComplexL;
    fft::AlignedVector<ComplexL> half(static_cast<std::size_t>(period / 2 + 1));
    for (int k = lowBin; k <= highBin; ++k) {
      if (!excluded.empty() && excluded[static_cast<std::size_t>(k)] != 0) continue;
      const Complex dk = d[static_cast<std::size_t>(k)];
      const int j = k % period;
      if (j == 0 || 2 * j == period) {
        half[static_cast<std::size_t>(j)] += ComplexL(2.0L * dk.re, 0.0L);
      } else if (2 * j < period) {
        half[static_cast<std::size_t>(j)] += ComplexL(dk.re, dk.im);
      } else {
        half[static_cast<std::size_t>(period - j)] += ComplexL(dk.re, -dk.im);
      }
    }
    fft::AlignedVector<long double> sums(static_cast<std::size_t>(period));
    fft::BackwardReal(half, sums);
    for (int n = 0; n < count; ++n)
      y[static_cast<std::size_t>(n)].re = c0.re + sums[static_cast<std::size_t>(n % period)];
  }
  reporter.update(paddedLastIndex);
  reporter.finish();
  return y;
}

}  // namespace kelvora
