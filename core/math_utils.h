#pragma once
// Small numeric functions shared by the strips, the models and the PPG envelope.

namespace kelvora {

// sign(b) * |b|^a, computed as exp(a * ln|b|), negated when b < 0. b = 0 gives 0.
double SignedPower(double a, double b);

// 1.0782 * exp(-x*x / 0.2738): the Gaussian smoothing weight.
double Gauss(double x);

}  // namespace kelvora
