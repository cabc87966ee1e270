#include "core/math_utils.h"

#include <cmath>

namespace kelvora {

double SignedPower(double a, double b) {
  if (b == 0.0) return 0.0;
  const long double magnitude = std::exp(static_cast<long double>(a) * std::log(std::fabs(static_cast<long double>(b))));
  return static_cast<double>(b < 0.0 ? -magnitude : magnitude);
}

double Gauss(double x) {
  return static_cast<double>(1.0782L * std::exp(-static_cast<long double>(x) * x / 0.2738L));
}

}  // namespace kelvora
