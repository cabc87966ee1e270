#pragma once
// The "Fourier filtration" conversions of the Transform page: FurieT (T -> BF*) and FurieBF (BF -> T*).
//
// The normalised input goes through the band-limited transform of its slot; every component C[k] of the band
// is moved through the thermal wave (or differentiated / integrated), D_k = g_k C[k] e^{i w_k tau_k} with the
// shift and gain of `TransferOfComponent`; the components are summed back in time by `ReconstructBand`, the
// +2 raise is undone, and the power law and scaling of the page are applied (FinishConversion).
#include <string>
#include <vector>

#include "core/band_transform.h"
#include "core/conversion_result.h"
#include "core/conversion_scaling.h"
#include "core/frequency_band.h"
#include "core/progress.h"
#include "core/thermal_wave.h"

namespace kelvora {

struct FourierConversionOptions {
  ConversionModel model = ConversionModel::ThermalWave;
  ThermalWaveTissue tissue;
  bool nonlinear = false;  // "Nonlinear Relationship": BF*^1.5 for FurieT, T*^(2/3) for FurieBF (sign kept)
  ScalingMode scaling = ScalingMode::Normalized;
  double a = 1.0;  // "Scaled values:" a * x + b
  double b = 0.0;
};

// The working band of FurieT (slot 4) from the T band (slot 1): the T band itself, except that a high edge of
// exactly 2.0 Hz (the selector's full range) gives 0 .. 0.05 Hz.
FrequencyBand FurieTBand(FrequencyBand temperatureBand);

// T -> BF*. `normalizedT` = (T - tMin) / (tMax - tMin), samples 0 .. N. Sets slot 4's band from slot 1's band of
// `transform` by `FurieTBand` and transforms in slot 4 (its cache is extended). BF*[i] = (|y[600 + i]| - 2) *
// (tMax - tMin) + tMin, then the power law and scaling. Errors: an empty input, non-positive lambda or rhoC
// in the thermal-wave model, a non-finite result (the gain overflowed), a stop request (checked between the
// transform and the reconstruction). Cost: one long-double FFT of length N' for the transform (none when every
// bin is cached), one for the reconstruction, and a few extended-precision functions per bin of the band, those
// spread over the cores (RunParallelTasks). One thread at a time per transform.
ConversionResult FurieT(BandTransform& transform, const std::vector<double>& normalizedT, double tMin, double tMax,
                        int sampleRateHz, const FourierConversionOptions& options,
                        ProgressSink& progress = NullProgress());

// BF -> T*. `normalizedBF` samples 0 .. N; slot 7 takes slot 2's band. T*[i] = |y[600 + i]| - 2 (the units of the
// normalised input), then the power law and scaling. Errors and cost as FurieT.
ConversionResult FurieBF(BandTransform& transform, const std::vector<double>& normalizedBF, int sampleRateHz,
                         const FourierConversionOptions& options, ProgressSink& progress = NullProgress());

}  // namespace kelvora
