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
//
// Many records of one length, rate, f0 and grid (a record's surrogates) can share the kernel spectra of every row
// through MorletKernels: computed once, they leave a row its products and its inverse FFT.
#include <complex>
#include <cstddef>
#include <memory>
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

// The sampled kernel spectrum of every row for records of sampleCount samples at sampleRateHz with f0 and the
// frequencies: the same terms a row of MorletTransform evaluates on the fly, kept. Memory: about 2.7 L / a
// doubles per row of scale a samples (about 42 L doubles, 2 MB for 3,600 samples at 2 Hz over 0.005 .. 0.67 Hz
// with 32 voices). Read-only after construction: any number of threads may use it at once.
class MorletKernels {
 public:
  // Parameters as for MorletTransform; throws as its constructor does.
  MorletKernels(long long sampleCount, double sampleRateHz, double centreFrequency, std::vector<double> frequenciesHz);

  long long sampleCount() const { return m_sampleCount; }
  std::size_t paddedLength() const { return m_paddedLength; }
  const std::vector<double>& frequencies() const { return m_frequencies; }

 private:
  friend class MorletTransform;
  struct Row {
    long long lowBin = 0;          // the first unfolded bin of the kernel's spectrum
    std::vector<double> weights;   // its values at lowBin, lowBin + 1, ... (the row's gain included)
  };
  long long m_sampleCount = 0;
  double m_sampleRateHz = 0.0;
  double m_centreFrequency = 0.0;
  std::vector<double> m_frequencies;
  std::vector<SampleRange> m_valid;
  std::size_t m_paddedLength = 0;
  std::vector<Row> m_rows;
};

class MorletTransform {
 public:
  // Takes the record (already preprocessed; copied into the padded FFT), its rate sampleRateHz > 0, f0 > 0 and
  // the frequencies (each > 0 and at most sampleRateHz / 2). Cost: one real FFT of length L; memory about
  // 8 L bytes kept (a workspace takes 16 L). Throws std::invalid_argument for an empty record or bad parameters,
  // std::length_error when L would exceed 2^27, std::bad_alloc when memory runs out.
  MorletTransform(std::span<const double> record, double sampleRateHz, double centreFrequency,
                  std::vector<double> frequenciesHz);

  // The transform of a record of kernels->sampleCount() samples over the kernels' rate, f0 and frequencies: the
  // same rows as the constructor above gives (to the last bit), without evaluating the kernel again. Cost: one
  // real FFT of length L. Throws std::invalid_argument for a record of another length, std::bad_alloc.
  MorletTransform(std::span<const double> record, std::shared_ptr<const MorletKernels> kernels);

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
  std::shared_ptr<const MorletKernels> m_kernels;  // the rows' kernel spectra when shared, else none

  void transformRecord(std::span<const double> record);
};

}  // namespace kelvora
