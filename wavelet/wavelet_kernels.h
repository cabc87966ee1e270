#pragma once
// The wavelet kernels term by term, exactly as the workers define them, and a per-row table of them.
//
// Within one scale row every kernel value depends only on the offset d = s - b between the summed sample s and
// the time point b, so a row's kernel is tabulated once for d = -(N-1) .. N-1 and the workers look it up.
#include <vector>

#include "core/complex.h"
#include "wavelet/wavelet_types.h"

namespace kelvora {

// `TWavMorle1` term factor for sample s and time point b at scale a (samples), the factor that multiplies
// x[s]. Morlet: conj(exp(i 5 (b - s) / a) * exp(-((s - b) / a)^2 / 2) * 0.751) (the 1/a after the sum is not
// included); Paul: conj(120 / (1 + i (b - s) / a)^5).
Complex ForwardKernel(WaveletType type, long double scale, long double b, long double s);

// `TWavMorle2` kernel: Morlet 0.751 exp(i 5 (s - b) / a) exp(-((b - s) / a)^2 / 2); Paul 120 i^4 / (1 + i (s - b) / a)^5.
Complex ReconstructionKernel(WaveletType type, long double scale, long double b, long double s);

// `TWavMorle3` kernel with the delay tau (samples), u = b - s: Morlet 0.751 exp(-5i (u + tau) / a)
// exp(-((u + tau) / a)^2 / 2); Paul 120 / (1 + i (u - tau) / a)^5.
Complex ThermalKernel(WaveletType type, long double scale, long double delay, long double b, long double s);

// One row's kernel over the offsets d = s - b of a signal of n samples. Offsets whose kernel modulus is below
// 1e-30 of the row's peak are left out of the support (their terms change no result at double precision).
class KernelTable {
 public:
  KernelTable() = default;
  // Tabulates kernel(d) for d = -(n-1) .. n-1 (n >= 1).
  template <typename Kernel>
  static KernelTable tabulate(int n, Kernel kernel);

  // Support of the kernel: offsets outside minOffset .. maxOffset contribute nothing.
  int minOffset() const { return m_minOffset; }
  int maxOffset() const { return m_maxOffset; }
  // Kernel at offset d, minOffset <= d <= maxOffset.
  const Complex& at(int d) const { return m_values[static_cast<size_t>(d - m_minOffset)]; }

 private:
  void trim(std::vector<Complex> full, int n);

  int m_minOffset = 0;
  int m_maxOffset = -1;
  std::vector<Complex> m_values;
};

template <typename Kernel>
KernelTable KernelTable::tabulate(int n, Kernel kernel) {
  std::vector<Complex> full(static_cast<size_t>(2 * n - 1));
  for (int d = -(n - 1); d <= n - 1; ++d) full[static_cast<size_t>(d + n - 1)] = kernel(d);
  KernelTable table;
  table.trim(std::move(full), n);
  return table;
}

}  // namespace kelvora
