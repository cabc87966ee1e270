#include "wavelet/wavelet_kernels.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

// |t| beyond which a kernel is left out: e^{-t^2/2} = 1e-18 at 9.1 for Morlet; for Paul the terms beyond 1000
// add up to below 120 / (4 * 1000^4) of the peak per unit of a.
constexpr double kMorletReach = 9.1;
constexpr double kPaulReach = 1000.0;

}  // namespace

WaveletComplex WaveletKernel::operator()(double d) const {
  const double t = (d - centre) / scale;
  WaveletComplex value;
  if (type == WaveletType::Morlet) {
    const double gaussian = 0.751 * std::exp(-t * t / 2.0);
    value = WaveletComplex(gaussian * std::cos(5.0 * t), gaussian * std::sin(5.0 * t));
  } else {
    // 120 / (1 + i t)^5 = 120 conj((1 + i t)^5) / (1 + t^2)^5.
    const WaveletComplex z(1.0, t);
    const WaveletComplex z2 = z * z;
    const WaveletComplex z5 = z2 * z2 * z;
    const double m = 1.0 + t * t;
    const double m2 = m * m;
    value = 120.0 * std::conj(z5) / (m2 * m2 * m);
  }
  return conjugated ? std::conj(value) : value;
}

KernelSupport SupportOf(const WaveletKernel& kernel, int n) {
  const double reach = (kernel.type == WaveletType::Morlet ? kMorletReach : kPaulReach) * kernel.scale;
  const double low = std::max(kernel.centre - reach, -(n - 1.0));
  const double high = std::min(kernel.centre + reach, n - 1.0);
  KernelSupport support;
  if (!(low <= high)) return support;
  support.first = static_cast<int>(std::ceil(low));
  support.last = static_cast<int>(std::floor(high));
  return support;
}

WaveletKernel RowKernel(WaveletType type, long double scale) {
  return WaveletKernel{type, static_cast<double>(scale), 0.0, false};
}

WaveletKernel ThermalRowKernel(WaveletType type, long double scale, long double delay, WaveletDelayRule rule) {
  if (type == WaveletType::Paul && rule == WaveletDelayRule::Legacy)
    return WaveletKernel{type, static_cast<double>(scale), static_cast<double>(-delay), true};
  return WaveletKernel{type, static_cast<double>(scale), static_cast<double>(delay), false};
}

}  // namespace kelvora
