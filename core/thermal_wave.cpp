#include "core/thermal_wave.h"

#include <cmath>

#include "core/complex.h"

namespace kelvora {

ComponentTransfer TransferOfComponent(ConversionModel model, ConversionDirection direction,
                                      const ThermalWaveTissue& tissue, long double f) {
  const bool forward = direction == ConversionDirection::TemperatureToBloodFlow;
  ComponentTransfer transfer;
  if (model == ConversionModel::ThermalWave) {
    const long double x = tissue.depthM;
    const long double lambda = tissue.lambda;
    const long double rhoC = tissue.rhoC();
    const long double shift = x / (2.0L * std::sqrt(kPi * (lambda / rhoC) * f));
    const long double exponent = x * std::sqrt(kPi * rhoC * f / lambda);
    transfer.shiftSeconds = forward ? shift : -shift;
    transfer.gain = std::exp(forward ? exponent : -exponent);
  } else {
    const long double omega = kTwoPi * f;
    transfer.shiftSeconds = forward ? 1.0L / (4.0L * f) : -1.0L / (4.0L * f);
    transfer.gain = forward ? omega : 1.0L / omega;
  }
  return transfer;
}

}  // namespace kelvora
