#pragma once
// Wavelet temperature-to-blood-flow conversion of the Transform page (`WaveLetT`).
#include <span>
#include <string>
#include <vector>

#include "core/conversion_scaling.h"
#include "core/progress.h"
#include "wavelet/wavelet_engine.h"

namespace kelvora {

// The output scaling radio group of the Transform page.
struct WaveLetTInput {
  std::span<const double> normalizedT;  // T's normalised samples, (T - Tmin) / (Tmax - Tmin), at most 3601
  double tMinimum = 0.0;                // T's minimum and maximum, for the de-normalisation
  double tMaximum = 0.0;
  FrequencyBand tBand;                  // the T band (slot 1), Hz
  ConversionModel model = ConversionModel::ThermalWave;
  ThermalWaveTissue tissue;             // the depth is used by the corrected delays only
  WaveletDelayRule delays = WaveletDelayRule::Corrected;
  WaveletType type = WaveletType::Morlet;  // the Transform page's own wavelet type choice
  bool nonlinear = false;               // "Nonlinear Relationship"
  ScalingMode scaling = ScalingMode::Normalized;
  double scaleA = 1.0;                  // a and b of "Scaled values:"
  double scaleB = 0.0;
  int threads = 1;
};

struct WaveLetTResult {
  WaveletRunStatus status = WaveletRunStatus::Refused;
  std::vector<double> bfStar;           // BF*[0 .. T's last index] when Completed
  FrequencyBand workingBand;            // slot 4 as derived from the T band
  WaveletRunStats stats;
  std::optional<WaveletError> error;
  bool completed() const { return status == WaveletRunStatus::Completed; }
};

// Slot 4 of the band table from the T band: a low edge below 0.005 Hz becomes 0.005, a high edge below 0.1 Hz
// becomes 0.1.
FrequencyBand WaveLetTBand(FrequencyBand tBand);

// Delay (in units of the kernel argument, samples) and gain of scale index k for the conversion reconstruction.
// Corrected rule: the thermal wave (or the derivative) of the scale's own centre frequency F = 0.79 / (2000
// k^-1.48) Hz at the tissue's depth, as the Fourier method moves a component of that frequency (TransferOfComponent),
// the delay converted from seconds to samples with params.sampleRateHz. Legacy rule, to the letter of the earlier
// version: F = gerc 0.79 / (2000 k^-1.48) with gerc = params.sampleRateHz, thermal wave tau = 0.002 /
// (2 sqrt(pi F lambda / rhoC)), G = exp(0.002 sqrt(pi F rhoC / lambda)) (depth fixed), derivative tau = 1 / (4F),
// G = 2 pi F, tau taken as it is (seconds) as the shift of the sample argument.
struct ThermalShift {
  long double delay = 0.0L;
  long double gain = 1.0L;
};
ThermalShift ThermalShiftOfScale(int k, const ThermalReconstruction& params);

// The reconstruction half of `WaveLetT`: loads the normalised T (at most 3601 samples; the corrected rule first
// takes its mean off) into the engine, clearing every row flag, and runs the forward transform (`TWavMorle1`) and
// the thermal reconstruction (`TWavMorle3`) over the slot-4 band of `tBand` at 2 Hz. The output is on the
// normalised scale, one value per T sample. Refusals and stops as WaveLetT. Blocks the caller.
WaveletRunResult WaveLetTReconstruction(WaveletEngine& engine, std::span<const double> normalizedT,
                                        FrequencyBand tBand, const ThermalReconstruction& tissue, WaveletType type,
                                        int threads, ProgressSink& progress = NullProgress());

// `WaveLetT`: loads T's normalised copy into the engine (clearing every row flag), runs the forward transform
// (`TWavMorle1`) and the thermal reconstruction (`TWavMorle3`) over the slot-4 band, de-normalises by T's
// range, applies the power 1.5 when `nonlinear` (sign-preserving for non-positive values) and the scaling
// ("Normalized values" divides by max - min + 1e-8), all through FinishConversion. Always runs the transform.
// The Transform session's wavelet method is this function. A T longer than 3601 samples,
// an empty T or non-positive tissue parameters are refused with a message; a stop gives no result. Blocks the
// caller (any thread); stop with engine.requestStop() or progress.stopRequested().
WaveLetTResult WaveLetT(WaveletEngine& engine, const WaveLetTInput& input, ProgressSink& progress = NullProgress());

// The finishing step of `WaveLetT` for `input`: de-normalisation by T's range, the power 1.5 of "Nonlinear
// Relationship", the scaling with the 1e-8 the wavelet method adds to the range of "Normalized values".
ConversionFinish WaveLetTFinish(const WaveLetTInput& input);

}  // namespace kelvora
