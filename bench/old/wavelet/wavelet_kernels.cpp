#include "bench/old/wavelet/wavelet_kernels.h"

#include <cmath>

namespace kelvora::old {

namespace {

// 120 / (1 + i y)^5 with the integer power of the complex type.
Complex PaulTerm(Complex numerator, long double y) {
  return Quotient(numerator, Power(MakeComplex(1.0L, y), 5));
}

// Below this Gaussian factor a Morlet value lies far under the table's cut (1e-30 of the peak, where the factor
// is about 1), so it is not worked out.
constexpr long double kNegligibleGaussian = 1e-40L;

Complex MorletTerm(long double phase, long double t) {
  const Complex gaussian = Exp(MakeComplex(-t * t / 2.0L, 0.0L));
  if (gaussian.re < kNegligibleGaussian) return Complex{};
  return Product(Product(Exp(MakeComplex(0.0L, phase)), gaussian), MakeComplex(0.751L, 0.0L));
}

}  // namespace

Complex ForwardKernel(WaveletType type, long double scale, long double b, long double s) {
  if (type == WaveletType::Morlet) {
    return Conjugate(MorletTerm(5.0L * (b - s) / scale, (s - b) / scale));
  }
  return Conjugate(PaulTerm(MakeComplex(120.0L, 0.0L), (b - s) / scale));
}

Complex ReconstructionKernel(WaveletType type, long double scale, long double b, long double s) {
  if (type == WaveletType::Morlet) return MorletTerm(5.0L * (s - b) / scale, (b - s) / scale);
  const Complex numerator = Product(MakeComplex(120.0L, 0.0L), Power(MakeComplex(0.0L, 1.0L), 4));
  return PaulTerm(numerator, (s - b) / scale);
}

Complex ThermalKernel(WaveletType type, long double scale, long double delay, long double b, long double s) {
  const long double u = b - s;
  if (type == WaveletType::Morlet) return MorletTerm(-5.0L * (u + delay) / scale, (u + delay) / scale);
  // The reconstruction kernel of the same wavelet, moved by the same delay as the Morlet one, so that both
  // wavelets advance a component by its thermal-wave delay.
  return PaulTerm(MakeComplex(120.0L, 0.0L), -(u + delay) / scale);
}

void KernelTable::trim(const std::vector<Complex>& full, int n) {
  long double peak = 0.0L;
  for (const Complex& z : full) peak = std::fmax(peak, Modulus(z));
  const long double threshold = peak * 1e-30L;
  int first = 0;
  int last = static_cast<int>(full.size()) - 1;
  while (first <= last && !(Modulus(full[static_cast<size_t>(first)]) >= threshold)) ++first;
  while (last >= first && !(Modulus(full[static_cast<size_t>(last)]) >= threshold)) --last;
  m_re.clear();
  m_im.clear();
  if (first > last) {
    m_minOffset = 0;
    m_maxOffset = -1;
    return;
  }
  m_minOffset = first - (n - 1);
  m_maxOffset = last - (n - 1);
  m_re.reserve(static_cast<size_t>(last - first + 1));
  m_im.reserve(static_cast<size_t>(last - first + 1));
  for (int i = first; i <= last; ++i) {
    m_re.push_back(static_cast<double>(full[static_cast<size_t>(i)].re));
    m_im.push_back(static_cast<double>(full[static_cast<size_t>(i)].im));
  }
}

}  // namespace kelvora::old
