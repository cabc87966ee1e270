#pragma once
// One scale row of the wavelet transform by FFT linear convolution:
//   out[b] = factor * sum over s = firstSample .. n - 1 of in[s] * kernel(s - b),   b = 0 .. n - 1,
// with the kernel taken over its support only. A transform length L >= n + max(last, -first) for the support
// first .. last (rounded up to one of six lengths per octave) keeps every wanted output free of wrap-around,
// so the result equals the direct sum to within double-precision rounding of the largest term (about 1e-15 of
// the largest output).
#include <span>

#include "core/fft.h"
#include "wavelet/wavelet_kernels.h"

namespace kelvora {

// A row kernel's spectrum at its transform length, kept by a forward pass for the reconstruction pass of the
// same run when both use the same kernel (the filter: forward and reconstruction kernels are both psi(d / a)).
struct KernelSpectrum {
  bool ready = false;       // filled by the first convolution that was given it
  bool nonEmpty = false;    // the kernel's support meets the signal
  std::size_t length = 0;   // L
  int outputOffset = 0;
  fft::AlignedVector<WaveletComplex> values;
};

// Scratch space of one worker thread; it keeps the spectrum of the last real input at the last length, which
// the rows of a forward pass share. Not thread-safe: one per worker.
class RowConvolution {
 public:
  // Real input (the forward pass). `in` must stay unchanged while this object keeps its spectrum for it (the
  // spectrum is reused while in.data(), n and L are the same). Cost: two complex FFTs of length L (three when
  // the length changed) and one kernel evaluation per offset of the support.
  // With `kept`: a ready spectrum is used instead of the kernel (one FFT and the kernel's evaluation less), and
  // one not ready yet is filled for a later call.
  void correlate(std::span<const double> in, const WaveletKernel& kernel, double factor,
                 std::span<WaveletComplex> out, KernelSpectrum* kept = nullptr);
  // Complex input from sample `firstSample` on (the reconstruction passes, which skip sample 0); only the real
  // part of the result is kept. Cost: three complex FFTs of length L.
  void correlateReal(std::span<const WaveletComplex> in, int firstSample, const WaveletKernel& kernel, double factor,
                     std::span<double> out, KernelSpectrum* kept = nullptr);

 private:
  // Sets L for the support and points m_spectrum at the spectrum of the reversed kernel (m_kernel, or the kept
  // one); false when the support is empty (the row is all zero).
  bool prepareKernel(const WaveletKernel& kernel, int n, KernelSpectrum* kept);
  // m_product = IFFT(spectrum * m_kernel) over L (unscaled); output b is at index b + m_outputOffset (mod L).
  void multiplyAndInvert(const fft::AlignedVector<WaveletComplex>& spectrum);

  std::size_t m_length = 0;
  int m_outputOffset = 0;
  const double* m_realSource = nullptr;
  std::size_t m_realSourceLength = 0;
  std::size_t m_realSpectrumLength = 0;
  fft::AlignedVector<double> m_realInput;
  fft::AlignedVector<WaveletComplex> m_realHalf;
  fft::AlignedVector<WaveletComplex> m_realSpectrum;
  fft::AlignedVector<WaveletComplex> m_input;
  fft::AlignedVector<WaveletComplex> m_kernel;
  const fft::AlignedVector<WaveletComplex>* m_spectrum = &m_kernel;
  fft::AlignedVector<WaveletComplex> m_product;
};

}  // namespace kelvora
