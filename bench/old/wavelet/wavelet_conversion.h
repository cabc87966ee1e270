#pragma once
// The implementation this program had before its transforms moved to FFTW, kept unchanged (namespace aside)
// only so that the benchmarks can measure old and new code in the same run. Nothing in the program uses it.
// Wavelet temperature-to-blood-flow conversion of the Transform page (`WaveLetT`).
#include <span>
#include <string>
#include <vector>

#include "core/progress.h"
#include "bench/old/wavelet/wavelet_engine.h"

namespace kelvora::old {

// The output scaling radio group of the Transform page.
enum class WaveletOutputScaling { Normalized = 0, Absolute = 1, Scaled = 2 };

struct WaveLetTInput {
  std::span<const double> normalizedT;  // T's normalised samples, (T - Tmin) / (Tmax - Tmin), at most 3601
  double tMinimum = 0.0;                // T's minimum and maximum, for the de-normalisation
  double tMaximum = 0.0;
  FrequencyBand tBand;                  // the T band (slot 1), Hz
  WaveletConversionModel model = WaveletConversionModel::ThermalWave;
  double lambda = 0.33;                 // W/(m K)
  double rhoC = 1057.0 * 3780.0;        // integer product of density and heat capacity
  WaveletType type = WaveletType::Morlet;  // the Transform page's own wavelet type choice
  bool nonlinear = false;               // "Nonlinear Relationship"
  WaveletOutputScaling scaling = WaveletOutputScaling::Normalized;
  double scaleA = 1.0;                  // a and b of "Scaled values:"
  double scaleB = 0.0;
  int threads = 1;
};

struct WaveLetTResult {
  WaveletRunStatus status = WaveletRunStatus::Refused;
  std::vector<double> bfStar;           // BF*[0 .. T's last index] when Completed
  std::string axisTitle;                // "BF, mm^3/sec" or "BF, arb. units"
  FrequencyBand workingBand;            // slot 4 as derived from the T band
  WaveletRunStats stats;
  std::optional<WaveletError> error;
  bool completed() const { return status == WaveletRunStatus::Completed; }
};

// Slot 4 of the band table from the T band: a low edge below 0.005 Hz becomes 0.005, a high edge below 0.1 Hz
// becomes 0.1.
FrequencyBand WaveLetTBand(FrequencyBand tBand);

// Delay (in samples of the kernel argument) and gain of scale index k for the conversion reconstruction.
struct ThermalShift {
  long double delay = 0.0L;
  long double gain = 1.0L;
};
ThermalShift ThermalShiftOfScale(int k, const ThermalReconstruction& params);

// Steps 1 to 6 of `WaveLetT`: loads the normalised T (at most 3601 samples) into the engine, clearing every row
// flag, and runs the forward transform (`TWavMorle1`) and the thermal reconstruction (`TWavMorle3`) over the
// slot-4 band of `tBand` at 2 Hz. The output is on the normalised scale, one value per T sample. Refusals and
// stops as WaveLetT. Blocks the caller.
WaveletRunResult WaveLetTReconstruction(WaveletEngine& engine, std::span<const double> normalizedT,
                                        FrequencyBand tBand, const ThermalReconstruction& tissue, WaveletType type,
                                        int threads, ProgressSink& progress = NullProgress());

// `WaveLetT`: loads T's normalised copy into the engine (clearing every row flag), runs the forward transform
// (`TWavMorle1`) and the thermal reconstruction (`TWavMorle3`) over the slot-4 band, de-normalises by T's
// range, applies the power 1.5 when `nonlinear` (sign-preserving for non-positive values) and the scaling
// ("Normalized values" divides by max - min + 1e-8). Always runs the transform. A T longer than 3601 samples,
// an empty T or non-positive tissue parameters are refused with a message; a stop gives no result. Blocks the
// caller (any thread); stop with engine.requestStop() or progress.stopRequested().
WaveLetTResult WaveLetT(WaveletEngine& engine, const WaveLetTInput& input, ProgressSink& progress = NullProgress());

// Steps 7 .. 10 of the conversion on a computed reconstruction: de-normalisation, power law and scaling.
// Exposed for tests; `axisTitle` receives the left-axis title. Every value stays finite.
std::vector<double> FinishWaveLetT(std::span<const double> reconstruction, const WaveLetTInput& input,
                                   std::string& axisTitle);

}  // namespace kelvora::old
