#pragma once
// The Morlet wavelet transform of one record, frequency row by frequency row.
//
// For the record y[0 .. N-1] at fs Hz, centre frequency f0 (w0 = 2 pi f0) and a frequency f (scale s = f0 / f
// seconds, a = s fs samples), with y zero outside the record,
//
//   W(f, n) = sqrt(2 / pi) / a * sum_{m=0}^{N-1} y[m] exp(-i w0 (m - n) / a) exp(-((m - n) / a)^2 / 2),
//
// so that A cos(2 pi f t) well inside the record gives |W(f, n)| = A. It is computed as a convolution: the FFT
// of the record, zero-padded to L >= N + P samples where the Gaussian has fallen below 1e-12 beyond P (at the
// largest scale), times the discrete-time Fourier transform of the sampled kernel, which has the closed form
//   sum_p a sqrt(2 pi) exp(-(a (omega + 2 pi p) - w0)^2 / 2)
// (no kernel FFT), then one inverse FFT of length L per frequency. The kernel's terms below 1e-18 of its peak
// are left out, so a row costs one zeroed buffer, a few products and one complex FFT of length L. The result
// agrees with the sum above to about 1e-12 of max |W|.
//
// The object holds the FFT of the padded record and nothing per frequency: rows are made on demand into the
// caller's workspace, so a record of any length is analysed without the N x J matrix. The same object serves
// every row of the record (and every surrogate built from it needs one object of its own).
#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "analysis/cone_of_influence.h"
#include "core/fft.h"

namespace kelvora {

// The scratch memory of one row: L complex values. One per thread; reused for every row.
class MorletWorkspace {
 public:
  MorletWorkspace() = default;

 private:
  friend class MorletTransform;
  fft::AlignedVector<fft::ComplexD> m_buffer;
};

class MorletTransform {
 public:
  // Takes the record (already preprocessed; copied into the padded FFT), its rate sampleRateHz > 0, f0 > 0 and
  // the frequencies (each > 0 and at most sampleRateHz / 2). Cost: one real FFT of length L; memory about
  // 8 L bytes kept (a workspace takes 16 L). Throws std::invalid_argument for an empty record or bad parameters,
  // std::length_error when L would exceed 2^27, std::bad_alloc when memory runs out.
  MorletTransform(std::span<const double> record, double sampleRateHz, double centreFrequency,
                  std::vector<double> frequenciesHz);

  long long sampleCount() const { return m_sampleCount; }
  double sampleRateHz() const { return m_sampleRateHz; }
  double centreFrequency() const { return m_centreFrequency; }
  const std::vector<double>& frequencies() const { return m_frequencies; }
  std::size_t frequencyCount() const { return m_frequencies.size(); }
  // L, the padded length of the FFTs.
  std::size_t paddedLength() const { return m_paddedLength; }
  // The valid samples of row j (the cone of influence).
  const SampleRange& validRange(std::size_t j) const { return m_valid[j]; }
  const std::vector<SampleRange>& validRanges() const { return m_valid; }

  // W(f_j, n) for n = 0 .. N-1, in the workspace (allocated on first use); the span stays valid until the
  // workspace's next row. j < frequencyCount(). Cost: one complex inverse FFT of length L. Any number of
  // threads may call it at once, each with its own workspace.
  std::span<const fft::ComplexD> row(std::size_t j, MorletWorkspace& workspace) const;

  // The same row written into out (out.size() == sampleCount()).
  void row(std::size_t j, MorletWorkspace& workspace, std::span<fft::ComplexD> out) const;

  // The padded length L used for a record of sampleCount samples whose lowest frequency is lowestFrequencyHz.
  static std::size_t PaddedLength(long long sampleCount, double sampleRateHz, double centreFrequency,
                                  double lowestFrequencyHz);

 private:
  long long m_sampleCount = 0;
  double m_sampleRateHz = 0.0;
  double m_centreFrequency = 0.0;
  std::vector<double> m_frequencies;
  std::vector<SampleRange> m_valid;
  std::size_t m_paddedLength = 0;
  fft::AlignedVector<fft::ComplexD> m_spectrum;  // bins 0 .. L/2 of the padded record
};

}  // namespace kelvora
