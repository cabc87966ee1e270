#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// The wavelet kernels term by term, exactly as the workers define them, and a per-row table of them.
//
// Within one scale row every kernel value depends only on the offset d = s - b between the summed sample s and
// the time point b, so a row's kernel is tabulated once for d = -(N-1) .. N-1 and the workers look it up. The
// sums over the tabulated values run in double precision, well inside 1e-9 of the output's largest value.
#include <vector>

#include "core/complex.h"
#include "wavelet/wavelet_types.h"

namespace kelvora::old {

// `TWavMorle1` term factor for sample s and time point b at scale a (samples), the factor that multiplies
// x[s]. Morlet: conj(exp(i 5 (b - s) / a) * exp(-((s - b) / a)^2 / 2) * 0.751) (the 1/a after the sum is not
// included); Paul: conj(120 / (1 + i (b - s) / a)^5).
Complex ForwardKernel(WaveletType type, long double scale, long double b, long double s);

// `TWavMorle2` kernel: Morlet 0.751 exp(i 5 (s - b) / a) exp(-((b - s) / a)^2 / 2);
// Paul 120 i^4 / (1 + i (s - b) / a)^5.
Complex ReconstructionKernel(WaveletType type, long double scale, long double b, long double s);

// `TWavMorle3` kernel with the delay tau (samples), u = b - s: Morlet 0.751 exp(-5i (u + tau) / a)
// exp(-((u + tau) / a)^2 / 2); Paul 120 / (1 - i (u + tau) / a)^5, the reconstruction kernel moved by tau.
Complex ThermalKernel(WaveletType type, long double scale, long double delay, long double b, long double s);

// One row's kernel over the offsets d = s - b of a signal of n samples, each value worked out in extended
// precision by the exact formula and kept as a pair of doubles (real and imaginary parts in two arrays, which
// the workers' sums read in step). Offsets whose kernel modulus is below 1e-30 of the row's peak are left out
// of the support (their terms change no result at double precision).
class KernelTable {
 public:
  KernelTable() = default;
  // Tabulates kernel(d) for d = -(n-1) .. n-1 (n >= 1). Cost: 2n - 1 kernel evaluations.
  template <typename Kernel>
  static KernelTable tabulate(int n, Kernel kernel);

  // Support of the kernel: offsets outside minOffset .. maxOffset contribute nothing.
  int minOffset() const { return m_minOffset; }
  int maxOffset() const { return m_maxOffset; }
  // Parts of the kernel at offset d, minOffset <= d <= maxOffset: real()[d - minOffset()], imag()[...].
  const double* real() const { return m_re.data(); }
  const double* imag() const { return m_im.data(); }

 private:
  void trim(const std::vector<Complex>& full, int n);

  int m_minOffset = 0;
  int m_maxOffset = -1;
  std::vector<double> m_re;
  std::vector<double> m_im;
};

template <typename Kernel>
KernelTable KernelTable::tabulate(int n, Kernel kernel) {
  std::vector<Complex> full(static_cast<size_t>(2 * n - 1));
  for (int d = -(n - 1); d <= n - 1; ++d) full[static_cast<size_t>(d + n - 1)] = kernel(d);
  KernelTable table;
  table.trim(full, n);
  return table;
}

// Sum over j < count of x[j] * y[j], in four interleaved partial sums (which the compiler keeps in vector
// registers), added pairwise at the end.
inline double DotProduct(const double* x, const double* y, int count) {
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  int j = 0;
  for (; j + 4 <= count; j += 4) {
    s0 += x[j] * y[j];
    s1 += x[j + 1] * y[j + 1];
    s2 += x[j + 2] * y[j + 2];
    s3 += x[j + 3] * y[j + 3];
  }
  for (; j < count; ++j) s0 += x[j] * y[j];
  return (s0 + s1) + (s2 + s3);
}

}  // namespace kelvora::old
