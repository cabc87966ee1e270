#include "wavelet/wavelet_conversion.h"

#include <cmath>

#include "core/complex.h"
#include "core/math_utils.h"
#include "core/thermal_wave.h"

namespace kelvora {

FrequencyBand WaveLetTBand(FrequencyBand tBand) {
  FrequencyBand band = tBand;
  if (band.low < 0.005) band.low = 0.005;
  if (band.high < 0.1) band.high = 0.1;
  return band;
}

ThermalShift ThermalShiftOfScale(int k, const ThermalReconstruction& params) {
  const long double power = static_cast<long double>(SignedPower(-1.48, k));
  ThermalShift shift;
  if (params.delays == WaveletDelayRule::Corrected) {
    // The scale's own centre frequency: the Morlet kernel exp(-5i u / a_k) turns 5 / (2 pi a_k) cycles per
    // sample, which with a_k = 2000 fs k^-1.48 is 0.79 / (2000 k^-1.48) Hz whatever the sample rate. The thermal
    // wave's delay is a time, and the kernel argument counts samples, so the delay is converted with the rate.
    const long double frequency = 0.79L / (2000.0L * power);
    const ComponentTransfer transfer =
        TransferOfComponent(params.model, ConversionDirection::TemperatureToBloodFlow, params.tissue, frequency);
    shift.delay = static_cast<long double>(params.sampleRateHz) * transfer.shiftSeconds;
    shift.gain = transfer.gain;
    return shift;
  }
  const long double frequency = static_cast<long double>(params.sampleRateHz) * 0.79L / (2000.0L * power);
  if (params.model == ConversionModel::ThermalWave) {
    const long double lambda = params.tissue.lambda;
    const long double rhoC = params.tissue.rhoC();
    shift.delay = 0.002L / (2.0L * std::sqrt(kPi * frequency * lambda / rhoC));
    shift.gain = std::exp(0.002L * std::sqrt(kPi * frequency * rhoC / lambda));
  } else {
    shift.delay = 1.0L / (4.0L * frequency);
    shift.gain = kTwoPi * frequency;
  }
  return shift;
}

ConversionFinish WaveLetTFinish(const WaveLetTInput& input) {
  ConversionFinish finish;
  finish.denormalize = true;
  finish.minimum = input.tMinimum;
  finish.maximum = input.tMaximum;
  if (input.nonlinear) finish.powerExponent = 1.5;
  finish.scaling = input.scaling;
  finish.a = input.scaleA;
  finish.b = input.scaleB;
  finish.normalizedRangeGuard = 1e-8;
  return finish;
}

WaveletRunResult WaveLetTReconstruction(WaveletEngine& engine, std::span<const double> normalizedT,
                                        FrequencyBand tBand, const ThermalReconstruction& tissue, WaveletType type,
                                        int threads, ProgressSink& progress) {
  if (!(tissue.tissue.lambda > 0.0) || !(tissue.tissue.rhoC() > 0)) {
    WaveletRunResult refused;
    refused.error = WaveletError{"The tissue parameters must be positive"};
    return refused;
  }
  if (normalizedT.size() > static_cast<std::size_t>(kWaveletMaxSamples)) {
    WaveletRunResult refused;
    refused.error = WaveletError{WaveletLengthLimitMessage(normalizedT.size())};
    return refused;
  }
  const FrequencyBand band = WaveLetTBand(tBand);
  std::vector<double> centred(normalizedT.begin(), normalizedT.end());
  if (tissue.delays == WaveletDelayRule::Corrected) {
    // The wavelets carry no zero frequency, so the level of T adds nothing inside the record; near its ends,
    // though, the cut-off kernels let it through, and the gains of the upper scales would lift it into spikes.
    // The level is taken off first.
    double mean = 0.0;
    for (double v : centred) mean += v;
    if (!centred.empty()) mean /= static_cast<double>(centred.size());
    for (double& v : centred) v -= mean;
  }
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
  if (!(input.tissue.lambda > 0.0) || !std::isfinite(input.tissue.lambda) || !(input.tissue.rhoC() > 0)) {
    result.error = WaveletError{"The tissue parameters must be positive"};
    return result;
  }
  if (!std::isfinite(input.tissue.depthM)) {
    result.error = WaveletError{"The depth must be a finite number"};
    return result;
  }
  const ThermalReconstruction tissue{input.model, input.tissue, kWaveletSampleRateHz, input.delays};
  WaveletRunResult run = WaveLetTReconstruction(engine, input.normalizedT, input.tBand, tissue, input.type,
                                                input.threads, progress);
  result.stats = run.stats;
  result.status = run.status;
  result.error = run.error;
  if (!run.completed()) return result;
  ConversionResult finished = FinishConversion(std::move(run.output), WaveLetTFinish(input));
  if (!finished.ok()) {
    result.status = WaveletRunStatus::Refused;
    result.error = WaveletError{"The conversion gave a value that is not a finite number"};
    return result;
  }
  result.bfStar = std::move(finished.values);
  return result;
}

}  // namespace kelvora
