#pragma once
// A spectral component moved through a plane thermal wave in tissue (or differentiated / integrated): the
// per-frequency time shift and gain used by the Fourier and wavelet conversions.
namespace kelvora {

// The conversion model of the Transform page ("Thermal wave" or "Derivative").
enum class ConversionModel { ThermalWave, Derivative };

// Which way a conversion goes: temperature -> blood flow (T -> BF*) or blood flow -> temperature (BF -> T*).
enum class ConversionDirection { TemperatureToBloodFlow, BloodFlowToTemperature };

// The tissue of every model and analysis that moves heat through skin: the Fourier and wavelet conversions,
// the Transform session and its parameter grid, and the lag-to-depth reading of the coherence.
struct ThermalWaveTissue {
  double lambda = 0.33;         // thermal conductivity, W/(m*K); > 0
  double rho = 1057.0;          // density, kg/m^3; > 0
  double heatCapacity = 3780.0; // specific heat c, J/(kg*K); > 0
  double depthM = 0.002;        // depth x, metres

  // rho * c, J/(m^3*K), in extended precision (exact for the grid's whole numbers).
  long double rhoC() const { return static_cast<long double>(rho) * static_cast<long double>(heatCapacity); }
};

// Time shift tau (seconds) and gain g of a component of frequency f > 0 (Hz):
//   thermal wave, T -> BF:  tau = +x / (2 sqrt(pi (lambda / rhoC) f)),  g = exp(+x sqrt(pi rhoC f / lambda));
//   thermal wave, BF -> T:  tau and the exponent negated;
//   derivative,   T -> BF:  tau = +1 / (4 f), g = 2 pi f;   BF -> T: tau = -1 / (4 f), g = 1 / (2 pi f).
// The component C e^{i w t} becomes g C e^{i w (t + tau)}. Extended precision; any thread.
struct ComponentTransfer {
  long double shiftSeconds = 0.0L;
  long double gain = 1.0L;
};
ComponentTransfer TransferOfComponent(ConversionModel model, ConversionDirection direction,
                                      const ThermalWaveTissue& tissue, long double frequencyHz);

}  // namespace kelvora
