#include "core/fourier_conversion.h"

#include <algorithm>
#include <cmath>

#include "core/band_reconstruction.h"
#include "core/complex.h"
#include "core/parallel_tasks.h"

namespace kelvora {
namespace {

// The reconstruction of `input` in `slot`, moved component by component: |y[600 + i]| - 2 for i = 0 .. N.
ConversionResult ConvertInSlot(BandTransform& transform, int slot, const std::vector<double>& input,
                               int sampleRateHz, ConversionDirection direction,
                               const FourierConversionOptions& options, ProgressSink& progress) {
  if (input.empty()) return ConversionResult::Failure("The record to convert is empty");
  if (sampleRateHz < 1) return ConversionResult::Failure("The signal frequency must be at least 1 Hz");
  if (options.model == ConversionModel::ThermalWave &&
      !(options.tissue.lambda > 0.0 && options.tissue.rhoC() > 0 && std::isfinite(options.tissue.depthM)))
    return ConversionResult::Failure("The thermal-wave parameters must be positive (Lambda, Rho, C)");
  if (!std::all_of(input.begin(), input.end(), [](double v) { return std::isfinite(v); }))
    return ConversionResult::Failure("The record to convert holds a value that is not a number");

  const BandSpectrum spectrum = transform.transform(slot, input, sampleRateHz, progress);
  if (progress.stopRequested()) return ConversionResult::Failure(kConversionStoppedMessage);

  // Moving a component costs a few extended-precision functions, which for a full band of 10,000 bins is as much
  // as both FFTs: large bands are moved in blocks spread over the cores, each block writing only its own bins.
  std::vector<Complex> moved(spectrum.coefficients.size());
  auto moveBins = [&](int first, int last) {
    for (int k = first; k <= last; ++k) {
      const long double f = spectrum.frequencies[static_cast<std::size_t>(k)];
      const ComponentTransfer transfer = TransferOfComponent(options.model, direction, options.tissue, f);
      const long double angle = kTwoPi * f * transfer.shiftSeconds;
      const Complex rotation{transfer.gain * std::cos(angle), transfer.gain * std::sin(angle)};
      moved[static_cast<std::size_t>(k)] = spectrum.coefficients[static_cast<std::size_t>(k)] * rotation;
    }
  };
  constexpr int kBinsPerBlock = 1024;
  const int bins = std::max(0, spectrum.highBin - spectrum.lowBin + 1);
  if (bins < 4 * kBinsPerBlock || HardwareThreadCount() == 1) {
    moveBins(spectrum.lowBin, spectrum.highBin);
  } else {
    ParallelTaskControl control;
    control.threads = HardwareThreadCount();
    RunParallelTasks((bins + kBinsPerBlock - 1) / kBinsPerBlock, control, [&](long long block, int) {
      const int first = spectrum.lowBin + static_cast<int>(block) * kBinsPerBlock;
      moveBins(first, std::min(spectrum.highBin, first + kBinsPerBlock - 1));
    });
  }
  const std::vector<Complex> y = ReconstructBand(moved, {}, spectrum.lowBin, spectrum.highBin,
                                                 spectrum.coefficients[0], spectrum.paddedLastIndex, progress);
  if (progress.stopRequested()) return ConversionResult::Failure(kConversionStoppedMessage);

  std::vector<double> out(input.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<double>(Modulus(y[kEdgeSampleCount + i]) - static_cast<long double>(kSignalRaise));
    if (!std::isfinite(out[i]))
      return ConversionResult::Failure("The conversion gave a value that is not a number (the gain is too large)");
  }
  return ConversionResult::Success(std::move(out));
}

}  // namespace

FrequencyBand FurieTBand(FrequencyBand temperatureBand) {
  if (temperatureBand.high == 2.0) return FrequencyBand{0.0, 0.05};
  return temperatureBand;
}

ConversionResult FurieT(BandTransform& transform, const std::vector<double>& normalizedT, double tMin, double tMax,
                        int sampleRateHz, const FourierConversionOptions& options, ProgressSink& progress) {
  transform.setBand(kFurieTSlot, FurieTBand(transform.band(kTemperatureBandSlot)));
  ConversionResult result = ConvertInSlot(transform, kFurieTSlot, normalizedT, sampleRateHz,
                                          ConversionDirection::TemperatureToBloodFlow, options, progress);
  if (!result.ok()) return result;
  ConversionFinish finish{true, tMin, tMax, std::nullopt, options.scaling, options.a, options.b};
  if (options.nonlinear) finish.powerExponent = 1.5;
  return FinishConversion(std::move(result.values), finish);
}

ConversionResult FurieBF(BandTransform& transform, const std::vector<double>& normalizedBF, int sampleRateHz,
                         const FourierConversionOptions& options, ProgressSink& progress) {
  transform.setBand(kFurieBFSlot, transform.band(kBloodFlowBandSlot));
  ConversionResult result = ConvertInSlot(transform, kFurieBFSlot, normalizedBF, sampleRateHz,
                                          ConversionDirection::BloodFlowToTemperature, options, progress);
  if (!result.ok()) return result;
  ConversionFinish finish{false, 0.0, 0.0, std::nullopt, options.scaling, options.a, options.b};
  if (options.nonlinear) finish.powerExponent = 2.0 / 3.0;
  return FinishConversion(std::move(result.values), finish);
}

}  // namespace kelvora
