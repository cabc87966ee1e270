#include "bench/old/wavelet/wavelet_conversion.h"

#include <cmath>

#include "core/complex.h"
#include "core/math_utils.h"

namespace kelvora::old {

FrequencyBand WaveLetTBand(FrequencyBand tBand) {
  FrequencyBand band = tBand;
  if (band.low < 0.005) band.low = 0.005;
  if (band.high < 0.1) band.high = 0.1;
  return band;
}

ThermalShift ThermalShiftOfScale(int k, const ThermalReconstruction& params) {
  // The scale's own centre frequency: the Morlet kernel exp(-5i u / a_k) turns 5 / (2 pi a_k) cycles per sample,
  // which with a_k = 2000 fs k^-1.48 is 0.79 / (2000 k^-1.48) Hz whatever the sample rate. The thermal wave's
  // delay is a time, and the kernel argument counts samples, so the delay is converted with the sample rate.
  const long double frequency = 0.79L / (2000.0L * static_cast<long double>(SignedPower(-1.48, k)));
  const long double samplesPerSecond = static_cast<long double>(params.sampleRateHz);
  ThermalShift shift;
  if (params.model == WaveletConversionModel::ThermalWave) {
    shift.delay = samplesPerSecond * 0.002L / (2.0L * std::sqrt(kPi * frequency * params.lambda / params.rhoC));
    shift.gain = std::exp(0.002L * std::sqrt(kPi * frequency * params.rhoC / params.lambda));
  } else {
    shift.delay = samplesPerSecond / (4.0L * frequency);
    shift.gain = kTwoPi * frequency;
  }
  return shift;
}

std::vector<double> FinishWaveLetT(std::span<const double> reconstruction, const WaveLetTInput& input,
                                   std::string& axisTitle) {
  std::vector<double> bf(reconstruction.size());
  const double range = input.tMaximum - input.tMinimum;
  for (size_t i = 0; i < reconstruction.size(); ++i) bf[i] = reconstruction[i] * range + input.tMinimum;
  if (input.nonlinear) {
    // exp(1.5 ln v) for v > 0; the sign-preserving power keeps non-positive values finite.
    for (double& v : bf) v = v > 0.0 ? std::exp(1.5 * std::log(v)) : SignedPower(1.5, v);
  }
  axisTitle = "BF, mm^3/sec";
  if (input.scaling == WaveletOutputScaling::Scaled) {
    for (double& v : bf) v = input.scaleA * v + input.scaleB;
  } else if (input.scaling == WaveletOutputScaling::Normalized) {
    double minimum = 99999.0;
    double maximum = -99999.0;
    for (double v : bf) {
      if (v < minimum) minimum = v;
      if (v > maximum) maximum = v;
    }
    for (double& v : bf) v = (v - minimum) / (maximum - minimum + 1e-8);
    axisTitle = "BF, arb. units";
  }
  return bf;
}

WaveletRunResult WaveLetTReconstruction(WaveletEngine& engine, std::span<const double> normalizedT,
                                        FrequencyBand tBand, const ThermalReconstruction& tissue, WaveletType type,
                                        int threads, ProgressSink& progress) {
  if (!(tissue.lambda > 0.0L) || !(tissue.rhoC > 0.0L)) {
    WaveletRunResult refused;
    refused.error = WaveletError{"The tissue parameters must be positive"};
    return refused;
  }
  const FrequencyBand band = WaveLetTBand(tBand);
  // The wavelets carry no zero frequency, so the level of T adds nothing inside the record; near its ends, though,
  // the cut-off kernels let it through, and the gains of the upper scales would lift it into spikes. The level is
  // taken off first.
  std::vector<double> centred(normalizedT.begin(), normalizedT.end());
  double mean = 0.0;
  for (double v : centred) mean += v;
  if (!centred.empty()) mean /= static_cast<double>(centred.size());
  for (double& v : centred) v -= mean;
  if (auto error = engine.loadSignal(centred, band)) {
    WaveletRunResult refused;
    refused.error = std::move(error);
    return refused;
  }
  WaveletRunRequest request;
  request.band = band;
  request.type = type;
  request.threads = threads;
  request.thermal = tissue;
  request.thermal->sampleRateHz = kWaveletSampleRateHz;
  return engine.run(request, progress);
}

WaveLetTResult WaveLetT(WaveletEngine& engine, const WaveLetTInput& input, ProgressSink& progress) {
  WaveLetTResult result;
  result.workingBand = WaveLetTBand(input.tBand);
  if (!std::isfinite(input.tMinimum) || !std::isfinite(input.tMaximum) || !std::isfinite(input.scaleA) ||
      !std::isfinite(input.scaleB)) {
    result.error = WaveletError{"The conversion parameters must be finite numbers"};
    return result;
  }
  if (!(input.lambda > 0.0) || !(input.rhoC > 0.0) || !std::isfinite(input.lambda) || !std::isfinite(input.rhoC)) {
    result.error = WaveletError{"The tissue parameters must be positive"};
    return result;
  }
  const ThermalReconstruction tissue{input.model, static_cast<long double>(input.lambda),
                                     static_cast<long double>(input.rhoC), kWaveletSampleRateHz};
  WaveletRunResult run = WaveLetTReconstruction(engine, input.normalizedT, input.tBand, tissue, input.type,
                                                input.threads, progress);
  result.stats = run.stats;
  result.status = run.status;
  result.error = run.error;
  if (!run.completed()) return result;
  result.bfStar = FinishWaveLetT(run.output, input, result.axisTitle);
  for (double v : result.bfStar) {
    if (!std::isfinite(v)) {
      result.status = WaveletRunStatus::Refused;
      result.bfStar.clear();
      result.error = WaveletError{"The conversion gave a value that is not a finite number"};
      return result;
    }
  }
  return result;
}

}  // namespace kelvora::old
