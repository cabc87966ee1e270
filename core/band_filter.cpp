#include "core/band_filter.h"

#include <algorithm>
#include <cmath>

#include "core/band_reconstruction.h"

namespace kelvora {
namespace {

class RunningGuard {
 public:
  explicit RunningGuard(std::atomic<bool>& flag) : m_flag(flag) {}
  ~RunningGuard() { m_flag.store(false); }
  RunningGuard(const RunningGuard&) = delete;
  RunningGuard& operator=(const RunningGuard&) = delete;

 private:
  std::atomic<bool>& m_flag;
};

}  // namespace

BandFilter::BandFilter(BandTransform& transform) : m_transform(transform) {}

BandFilterResult BandFilter::run(const BandFilterRequest& request, ProgressSink& progress) {
  BandFilterResult result;
  const int slot = request.slot;
  if (slot != kTemperatureBandSlot && slot != kBloodFlowBandSlot && slot != kFourierFrequencySlot &&
      slot != kFourierAmplitudeSlot) {
    result.status = BandFilterStatus::kInvalidSlot;
    return result;
  }
  if (request.signal.empty()) {
    result.status = BandFilterStatus::kEmptySignal;
    return result;
  }
  if (!std::all_of(request.signal.begin(), request.signal.end(), [](double v) { return std::isfinite(v); })) {
    result.status = BandFilterStatus::kInvalidSignal;
    return result;
  }
  bool idle = false;
  if (!m_running.compare_exchange_strong(idle, true)) {
    result.status = BandFilterStatus::kBusy;
    return result;
  }
  RunningGuard guard(m_running);

  const BandSpectrum spectrum = m_transform.transform(slot, request.signal, request.sampleRateHz, progress);
  result.lowBin = spectrum.lowBin;
  result.highBin = spectrum.highBin;
  result.paddedLastIndex = spectrum.paddedLastIndex;
  result.computedBins = spectrum.computedBins;

  const std::size_t bins = spectrum.coefficients.size();
  result.excluded.assign(bins, 0);
  result.conjugateSpectrum.resize(bins);
  for (std::size_t k = 0; k < bins; ++k) result.conjugateSpectrum[k] = Conjugate(spectrum.coefficients[k]);

  if (slot == kFourierAmplitudeSlot && spectrum.lowBin <= 1 && spectrum.highBin >= 1) {
    const long double reference = Modulus(spectrum.coefficients[1]);
    const long double low = reference * request.amplitudeLowPercent / 100.0L;
    const long double high = reference * request.amplitudeHighPercent / 100.0L;
    for (int k = spectrum.lowBin; k <= spectrum.highBin; ++k) {
      const long double m = Modulus(spectrum.coefficients[static_cast<std::size_t>(k)]);
      if (m < low || m > high) result.excluded[static_cast<std::size_t>(k)] = 1;
    }
  }
  if (slot == kFourierFrequencySlot || slot == kFourierAmplitudeSlot) {
    for (int k = std::max(1, spectrum.lowBin); k <= spectrum.highBin; ++k) {
      const std::size_t i = static_cast<std::size_t>(k);
      const double height = result.excluded[i] ? 0.0 : static_cast<double>(Modulus(spectrum.coefficients[i]));
      result.bars.push_back(SpectrumBar{spectrum.frequencies[i], height});
    }
  }

  result.reconstruction = ReconstructBand(spectrum.coefficients, result.excluded, spectrum.lowBin, spectrum.highBin,
                                          spectrum.coefficients[0], spectrum.paddedLastIndex, progress);

  const std::size_t count = request.signal.size();
  const double range = request.maximum - request.minimum;
  const bool keepsRaise = slot == kFourierFrequencySlot || slot == kFourierAmplitudeSlot;
  result.filtered.resize(count);
  result.signalUnits.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double v = static_cast<double>(Modulus(result.reconstruction[kEdgeSampleCount + i]));
    result.filtered[i] = keepsRaise ? v : v - kSignalRaise;
    result.signalUnits[i] = (v - kSignalRaise) * range + request.minimum;
  }
  return result;
}

}  // namespace kelvora
