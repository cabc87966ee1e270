#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// `TWavMorle2`: the band reconstruction of one time point.
#include "bench/old/wavelet/wavelet_worker.h"

namespace kelvora::old {

class TWavMorle2 {
 public:
  static constexpr const char* kThreadName = "TWavMorle2";

  TWavMorle2(const WaveletWorkerFields& fields, const WaveletPassData& data) : m_fields(fields), m_data(data) {}

  // output[b] = sum over the band's rows of `RowSign`[k] x contribution(k, b). A row marked computed gives its
  // cached contribution; any other row's contribution is computed, sum over s = 1 .. N-1 of
  // Re(W[k][s] * kernel(s - b)), times the row factor (a^-m / D), and stored in cache cell (k, b).
  // Writes only column b of the cache and output cell b.
  void Execute() const;

 private:
  WaveletWorkerFields m_fields;
  const WaveletPassData& m_data;
};

// Re of the reconstruction sum of row k at time point b (s = 1 .. N-1 within the kernel's support), shared by
// the filter and the conversion reconstructions.
long double ReconstructionSum(const WaveletPassData& data, int k, int b, int n);

}  // namespace kelvora::old
