#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// `TWavMorle3`: the conversion reconstruction of one time point, each scale moved through the thermal wave.
#include "bench/old/wavelet/wavelet_worker.h"

namespace kelvora::old {

class TWavMorle3 {
 public:
  static constexpr const char* kThreadName = "TWavMorle3";

  TWavMorle3(const WaveletWorkerFields& fields, const WaveletPassData& data) : m_fields(fields), m_data(data) {}

  // output[b] = sum over the band's rows of the row's contribution: cached for a row marked computed, else
  // sum over s = 1 .. N-1 of Re(W[k][s] * delayed kernel(s - b)), times the row factor (G_k a^-m / D), stored
  // in cache cell (k, b). Writes only column b of the cache and output cell b.
  void Execute() const;

 private:
  WaveletWorkerFields m_fields;
  const WaveletPassData& m_data;
};

}  // namespace kelvora::old
