#include "wavelet/row_convolution.h"

#include <algorithm>

namespace kelvora {

namespace {

// The smallest length >= n among 2^k times 1, 9/8, 5/4, 3/2, 27/16 and 15/8: products of 2, 3 and 5 only (on
// which FFTW's estimated plans are fast), at most 20% above n, and only six per octave, so that the rows of a
// run, whose kernels reach differently far, share a few plans and the forward pass's input spectrum (every new
// length costs its plans once and a new input spectrum per worker).
std::size_t TransformLength(std::size_t n) {
  if (n <= 16) return fft::FastLength(n);
  std::size_t octave = 16;
  while (octave * 2 < n) octave *= 2;
  for (const std::size_t sixteenths : {18u, 20u, 24u, 27u, 30u}) {
    const std::size_t length = octave / 16 * sixteenths;
    if (length >= n) return length;
  }
  return octave * 2;
}

}  // namespace

bool RowConvolution::prepareKernel(const WaveletKernel& kernel, int n, KernelSpectrum* kept) {
  if (kept != nullptr && kept->ready) {
    m_length = kept->length;
    m_outputOffset = kept->outputOffset;
    m_spectrum = &kept->values;
    return kept->nonEmpty;
  }
  m_spectrum = &m_kernel;
  const KernelSupport support = SupportOf(kernel, n);
  if (support.first > support.last) {
    if (kept != nullptr) *kept = KernelSpectrum{true, false, 0, 0, {}};
    return false;
  }
  // out[b] = sum_s in[s] g[b + last - s] with g[j] = kernel(last - j), j = 0 .. last - first: the linear
  // convolution at index b + last. Outputs b = 0 .. n - 1 are clear of wrap-around when L >= n + last and
  // L >= n - first.
  m_length = TransformLength(static_cast<std::size_t>(n + std::max(support.last, -support.first)));
  m_outputOffset = support.last;
  m_kernel.assign(m_length, WaveletComplex{});
  for (int d = support.first; d <= support.last; ++d)
    m_kernel[static_cast<std::size_t>(support.last - d)] = kernel(static_cast<double>(d));
  fft::Forward(m_kernel, m_kernel);
  if (kept != nullptr) *kept = KernelSpectrum{true, true, m_length, m_outputOffset, m_kernel};
  return true;
}

void RowConvolution::multiplyAndInvert(const fft::AlignedVector<WaveletComplex>& spectrum) {
  m_product.resize(m_length);
  const fft::AlignedVector<WaveletComplex>& kernel = *m_spectrum;
  for (std::size_t j = 0; j < m_length; ++j) m_product[j] = spectrum[j] * kernel[j];
  fft::Backward(m_product, m_product);
}

void RowConvolution::correlate(std::span<const double> in, const WaveletKernel& kernel, double factor,
                               std::span<WaveletComplex> out, KernelSpectrum* kept) {
  const int n = static_cast<int>(in.size());
  if (!prepareKernel(kernel, n, kept)) {
    std::fill(out.begin(), out.end(), WaveletComplex{});
    return;
  }
  if (m_realSource != in.data() || m_realSourceLength != in.size() || m_realSpectrumLength != m_length) {
    // The real input's spectrum, completed from its half by symmetry.
    m_realInput.assign(m_length, 0.0);
    std::copy(in.begin(), in.end(), m_realInput.begin());
    m_realHalf.resize(m_length / 2 + 1);
    fft::ForwardReal(m_realInput, m_realHalf);
    m_realSpectrum.resize(m_length);
    for (std::size_t j = 0; j < m_realHalf.size(); ++j) m_realSpectrum[j] = m_realHalf[j];
    for (std::size_t j = m_realHalf.size(); j < m_length; ++j) m_realSpectrum[j] = std::conj(m_realHalf[m_length - j]);
    m_realSource = in.data();
    m_realSourceLength = in.size();
    m_realSpectrumLength = m_length;
  }
  multiplyAndInvert(m_realSpectrum);
  const double scale = factor / static_cast<double>(m_length);
  for (int b = 0; b < n; ++b) {
    const int index = b + m_outputOffset;
    out[static_cast<std::size_t>(b)] =
        m_product[static_cast<std::size_t>(index < 0 ? index + static_cast<int>(m_length) : index)] * scale;
  }
}

void RowConvolution::correlateReal(std::span<const WaveletComplex> in, int firstSample, const WaveletKernel& kernel,
                                   double factor, std::span<double> out, KernelSpectrum* kept) {
  const int n = static_cast<int>(in.size());
  if (!prepareKernel(kernel, n, kept)) {
    std::fill(out.begin(), out.end(), 0.0);
    return;
  }
  m_input.assign(m_length, WaveletComplex{});
  for (int s = std::max(0, firstSample); s < n; ++s)
    m_input[static_cast<std::size_t>(s)] = in[static_cast<std::size_t>(s)];
  fft::Forward(m_input, m_input);
  multiplyAndInvert(m_input);
  const double scale = factor / static_cast<double>(m_length);
  for (int b = 0; b < n; ++b) {
    const int index = b + m_outputOffset;
    out[static_cast<std::size_t>(b)] =
        m_product[static_cast<std::size_t>(index < 0 ? index + static_cast<int>(m_length) : index)].real() * scale;
  }
}

}  // namespace kelvora
