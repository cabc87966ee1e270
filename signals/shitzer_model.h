#pragma once
// Shitzer's lumped heat-balance model of a skin volume and the thermal-wave tissue parameters that share its
// parameter grid (signals/parameter_grid.h).
//
// The skin volume gains heat from blood perfused at arterial temperature (37 °C) and loses heat to the air.
// `ShitzerT` inverts the balance (temperature -> perfusion), `ShitzerBF` integrates it forward (perfusion ->
// temperature). All functions are pure: they take their inputs and return a result; any thread may call them.
#include <string>
#include <vector>

#include "core/conversion_result.h"
#include "core/progress.h"
#include "core/thermal_wave.h"

namespace kelvora {

// Fixed constants of the model.
inline constexpr double kShitzerSkinVolumeM3 = 1.072e-6;
inline constexpr double kShitzerExchangeAreaM2 = 4.02e-4;
inline constexpr double kArterialTemperatureC = 37.0;
inline constexpr int kShitzerSmoothingWidth = 11;  // seconds
inline constexpr double kDefaultStartTemperatureC = 36.24;

// The six integer parameters of the model; the defaults are those of the "Skin", "Blood" and "Air" buttons.
struct ShitzerParameters {
  int rhoSkin = 1057;   // skin density, kg/m^3
  int cSkin = 3780;     // skin heat capacity, J/(kg*K)
  int rhoBlood = 1069;  // blood density, kg/m^3
  int cBlood = 3650;    // blood heat capacity, J/(kg*K)
  int hAir = 6;         // heat-transfer coefficient to air, W*K/m^2
  int tAir = 24;        // air temperature, °C
  bool operator==(const ShitzerParameters&) const = default;
};

// Everything the parameter grid edits: Shitzer's six numbers and the thermal wave's tissue of the Fourier and
// wavelet methods (core/thermal_wave.h). The grid's one skin density is both shitzer.rhoSkin and wave.rho:
// whatever sets it sets both; the heat capacity C (wave.heatCapacity, a whole number in the grid) is the
// wave's own (the "Skin" button sets it with cSkin).
struct TissueParameters {
  ShitzerParameters shitzer;
  ThermalWaveTissue wave;
};

// Derivative of T used as the temperature rate (per-sample slope times 2, no division by the sample rate):
// five-point central differences inside, the one-sided formulas at both ends. Needs at least 4 samples;
// fewer give an error. Cost O(n).
ConversionResult TemperatureDerivative(const std::vector<double>& temperature);

// Gaussian smoothing in place: for k = 0 .. n in order, v[k] := sum_j Gauss((t[k]-t[j])/w) v[j] /
// sum_j Gauss((t[k]-t[j])/w), both sums over j = 1 .. n (sample 0 never contributes), later k seeing the
// smoothed earlier samples. `times` are in seconds, `width` > 0. Terms whose weight is below 2^-64 of the peak
// weight are left out (they cannot change the sums by a unit in the last place), so the result is that of the
// full sums to within double rounding; cost O(n * 7 * width * rate).
// Reports progress (position k, "NN%") and returns false without finishing when the sink asks to stop.
bool GaussianSmoothing(std::vector<double>& values, const std::vector<double>& times, int width,
                       ProgressSink& progress);

// Temperature (°C, samples 0 .. n, n >= 3) and its derivative (`TemperatureDerivative`) -> BF* (perfusion
// minus its minimum after Gaussian smoothing of width 11 s; never negative, smallest sample 0).
// Errors: fewer than 4 samples, a derivative of another length, a sample of exactly 37 °C, a zero blood
// product cb*rhob, a sample rate below 1 Hz, a non-finite result, or a stop request. Cost: see the smoothing.
ConversionResult ShitzerT(const std::vector<double>& temperature, const std::vector<double>& derivative,
                          const ShitzerParameters& parameters, int sampleRateHz, ProgressSink& progress);

// Blood flow (samples 0 .. m with their minimum and maximum) -> T* by forward Euler, one step per sample,
// starting at `startTemperatureC`; the BF range is mapped onto a perfusion of 8e-9 .. 15e-9. A one-sample
// record gives [T0]. Errors: an empty record, a constant record of more than one sample, a zero skin product
// rhos*cs, a sample rate below 1 Hz, a non-finite result, a stop request. Cost O(m).
ConversionResult ShitzerBF(const std::vector<double>& bloodFlow, double minimum, double maximum,
                           double startTemperatureC, const ShitzerParameters& parameters, int sampleRateHz,
                           ProgressSink& progress);

// Running mean: T*[i] = (sum_{j<=i} BF[j] / rate) / (i + 1). Errors: a sample rate below 1 Hz. Cost O(m).
ConversionResult IntegrBF(const std::vector<double>& bloodFlow, int sampleRateHz, ProgressSink& progress);

}  // namespace kelvora
