#include "analysis/morlet_transform.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace kelvora {

namespace {

// exp(-x^2 / 2) < 1e-12 for x beyond this: the reach of the largest kernel that the padding must hold.
const double kPaddingReach = std::sqrt(2.0 * std::log(1e12));
// exp(-u^2 / 2) < 1e-18 beyond this: kernel spectrum terms left out of a row.
const double kSpectrumReach = std::sqrt(2.0 * std::log(1e18));
// 2^27 samples: 1 GB for the record's spectrum and 2 GB for each thread's row, far beyond any recording.
constexpr std::size_t kMaxPaddedLength = static_cast<std::size_t>(1) << 27;

// The kernel spectrum of the row of frequency f over a padded length L: its terms at the unfolded bins
// lowBin .. highBin (bin k' at omega = 2 pi k' / L), each weight(k').
struct KernelSpectrum {
  double w0;
  double scaleSamples;
  double radiansPerBin;
  double gain;
  long long lowBin;
  long long highBin;

  KernelSpectrum(std::size_t length, double sampleRateHz, double centreFrequency, double frequencyHz)
      : w0(2.0 * std::numbers::pi * centreFrequency),
        scaleSamples(centreFrequency * sampleRateHz / frequencyHz) {
    const double binsPerRadian = static_cast<double>(length) / (2.0 * std::numbers::pi);
    radiansPerBin = 1.0 / binsPerRadian;
    // sqrt(2 / pi) / a from the transform times a sqrt(2 pi) from the kernel's spectrum, and 1 / L of the inverse.
    gain = 2.0 / static_cast<double>(length);
    lowBin = static_cast<long long>(std::ceil((w0 - kSpectrumReach) / scaleSamples * binsPerRadian));
    highBin = static_cast<long long>(std::floor((w0 + kSpectrumReach) / scaleSamples * binsPerRadian));
  }

  double weight(long long unfolded) const {
    const double u = scaleSamples * (static_cast<double>(unfolded) * radiansPerBin) - w0;
    return gain * std::exp(-0.5 * u * u);
  }
};

void CheckParameters(long long sampleCount, double sampleRateHz, double centreFrequency,
                     const std::vector<double>& frequencies) {
  if (sampleCount <= 0 || !(sampleRateHz > 0.0) || !(centreFrequency > 0.0) || frequencies.empty())
    throw std::invalid_argument("MorletTransform: parameters");
  for (const double f : frequencies)
    if (!(f > 0.0) || !(f <= sampleRateHz / 2.0)) throw std::invalid_argument("MorletTransform: frequencyHz");
}

}  // namespace

MorletKernels::MorletKernels(long long sampleCount, double sampleRateHz, double centreFrequency,
                             std::vector<double> frequenciesHz)
    : m_sampleCount(sampleCount),
      m_sampleRateHz(sampleRateHz),
      m_centreFrequency(centreFrequency),
      m_frequencies(std::move(frequenciesHz)) {
  CheckParameters(sampleCount, sampleRateHz, centreFrequency, m_frequencies);
  const double lowest = *std::min_element(m_frequencies.begin(), m_frequencies.end());
  m_paddedLength = MorletTransform::PaddedLength(sampleCount, sampleRateHz, centreFrequency, lowest);
  m_valid.reserve(m_frequencies.size());
  m_rows.resize(m_frequencies.size());
  for (std::size_t j = 0; j < m_frequencies.size(); ++j) {
    m_valid.push_back(ValidSamples(m_frequencies[j], centreFrequency, sampleRateHz, sampleCount));
    const KernelSpectrum kernel(m_paddedLength, sampleRateHz, centreFrequency, m_frequencies[j]);
    Row& row = m_rows[j];
    row.lowBin = kernel.lowBin;
    row.weights.reserve(static_cast<std::size_t>(std::max(0LL, kernel.highBin - kernel.lowBin + 1)));
    for (long long unfolded = kernel.lowBin; unfolded <= kernel.highBin; ++unfolded)
      row.weights.push_back(kernel.weight(unfolded));
  }
}

std::size_t MorletTransform::PaddedLength(long long sampleCount, double sampleRateHz, double centreFrequency,
                                          double lowestFrequencyHz) {
  const double largestScaleSamples = centreFrequency * sampleRateHz / lowestFrequencyHz;
  const double padding = std::ceil(kPaddingReach * largestScaleSamples);
  const double needed = static_cast<double>(sampleCount) + padding;
  if (!(needed <= static_cast<double>(kMaxPaddedLength))) throw std::length_error("MorletTransform: length");
  const std::size_t length = fft::FastLength(static_cast<std::size_t>(needed));
  if (length > kMaxPaddedLength) throw std::length_error("MorletTransform: length");
  return length;
}

MorletTransform::MorletTransform(std::span<const double> record, double sampleRateHz, double centreFrequency,
                                 std::vector<double> frequenciesHz)
    : m_sampleCount(static_cast<long long>(record.size())),
      m_sampleRateHz(sampleRateHz),
      m_centreFrequency(centreFrequency),
      m_frequencies(std::move(frequenciesHz)) {
  CheckParameters(m_sampleCount, sampleRateHz, centreFrequency, m_frequencies);
  const double lowest = *std::min_element(m_frequencies.begin(), m_frequencies.end());
  m_paddedLength = PaddedLength(m_sampleCount, sampleRateHz, centreFrequency, lowest);
  m_valid.reserve(m_frequencies.size());
  for (const double f : m_frequencies) m_valid.push_back(ValidSamples(f, centreFrequency, sampleRateHz, m_sampleCount));
  transformRecord(record);
}

MorletTransform::MorletTransform(std::span<const double> record, std::shared_ptr<const MorletKernels> kernels)
    : m_kernels(std::move(kernels)) {
  if (!m_kernels || static_cast<long long>(record.size()) != m_kernels->sampleCount())
    throw std::invalid_argument("MorletTransform: kernels length");
  m_sampleCount = m_kernels->m_sampleCount;
  m_sampleRateHz = m_kernels->m_sampleRateHz;
  m_centreFrequency = m_kernels->m_centreFrequency;
  m_frequencies = m_kernels->m_frequencies;
  m_valid = m_kernels->m_valid;
  m_paddedLength = m_kernels->m_paddedLength;
  transformRecord(record);
}

void MorletTransform::transformRecord(std::span<const double> record) {
  fft::AlignedVector<double> padded(m_paddedLength, 0.0);
  std::copy(record.begin(), record.end(), padded.begin());
  m_spectrum.resize(m_paddedLength / 2 + 1);
  fft::ForwardReal(padded, m_spectrum);
}

std::span<const fft::ComplexD> MorletTransform::row(std::size_t j, MorletWorkspace& workspace) const {
  const std::size_t length = m_paddedLength;
  auto& buffer = workspace.m_buffer;
  buffer.resize(length);
  std::fill(buffer.begin(), buffer.end(), fft::ComplexD(0.0, 0.0));

  const long long n = static_cast<long long>(length);
  // The kernel spectrum lives on the whole frequency axis omega' = omega + 2 pi p; bin k' of it folds onto bin
  // k' mod L. Small scales spread it over more than one period, so folded terms add up.
  auto add = [&](long long unfolded, double weight) {
    const long long k = ((unfolded % n) + n) % n;
    const auto bin = static_cast<std::size_t>(k);
    // The record is real: its bins above L/2 are the conjugates of those below.
    const fft::ComplexD value = bin <= length / 2 ? m_spectrum[bin] : std::conj(m_spectrum[length - bin]);
    buffer[bin] += weight * value;
  };
  if (m_kernels) {
    // The same terms in the same order, the bin stepped instead of reduced modulo L for each.
    const MorletKernels::Row& kernel = m_kernels->m_rows[j];
    std::size_t bin = static_cast<std::size_t>(((kernel.lowBin % n) + n) % n);
    const std::size_t half = length / 2;
    for (const double weight : kernel.weights) {
      const fft::ComplexD value = bin <= half ? m_spectrum[bin] : std::conj(m_spectrum[length - bin]);
      buffer[bin] += weight * value;
      if (++bin == length) bin = 0;
    }
  } else {
    const KernelSpectrum kernel(length, m_sampleRateHz, m_centreFrequency, m_frequencies[j]);
    for (long long unfolded = kernel.lowBin; unfolded <= kernel.highBin; ++unfolded)
      add(unfolded, kernel.weight(unfolded));
  }
  fft::Backward(buffer, buffer);
  return std::span<const fft::ComplexD>(buffer.data(), static_cast<std::size_t>(m_sampleCount));
}

void MorletTransform::row(std::size_t j, MorletWorkspace& workspace, std::span<fft::ComplexD> out) const {
  if (out.size() != static_cast<std::size_t>(m_sampleCount))
    throw std::invalid_argument("MorletTransform: row buffer");
  const std::span<const fft::ComplexD> values = row(j, workspace);
  std::copy(values.begin(), values.end(), out.begin());
}

}  // namespace kelvora
