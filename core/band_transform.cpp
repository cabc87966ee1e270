#include "core/band_transform.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "core/fft.h"
#include "core/percent_progress.h"

namespace kelvora {
namespace {

using fft::ComplexL;

// X[j] = sum_{n=0..N'} padded[n] e^{-i 2 pi j n / N'} for j = 0 .. N'/2, N' = padded.size() - 1 >= 1: the N' + 1
// samples folded onto one period (sample N' onto sample 0). Every bin but the zero-frequency one is unchanged by
// a constant, so the level of the samples is taken off first; the small bins of a record far above zero then
// keep their relative precision. X[0] is the plain sum.
fft::AlignedVector<ComplexL> FoldedSpectrum(const std::vector<double>& padded) {
  const std::size_t period = padded.size() - 1;
  long double level = 0.0L;
  for (double v : padded) level += v;
  level /= static_cast<long double>(padded.size());
  fft::AlignedVector<long double> folded(period);
  for (std::size_t n = 0; n < period; ++n) folded[n] = static_cast<long double>(padded[n]) - level;
  folded[0] += padded[period];
  fft::AlignedVector<ComplexL> sums(period / 2 + 1);
  fft::ForwardReal(folded, sums);
  sums[0] = level * static_cast<long double>(padded.size());
  return sums;
}

// Bin k >= 1 of the folded sums: k wraps by the period, and the bins above half the period are the conjugates
// of their mirrors.
ComplexL BinOfFoldedSpectrum(const fft::AlignedVector<ComplexL>& sums, int period, int k) {
  const int j = k % period;
  return 2 * j <= period ? sums[static_cast<std::size_t>(j)] : std::conj(sums[static_cast<std::size_t>(period - j)]);
}

void CheckSlot(int slot) {
  if (slot < 1 || slot > kTransformSlotCount) throw std::out_of_range("BandTransform: slot");
}

}  // namespace

std::vector<double> PadSignal(const std::vector<double>& x) {
  if (x.empty()) return {};
  std::vector<double> padded;
  padded.reserve(x.size() + 2 * kEdgeSampleCount);
  padded.insert(padded.end(), kEdgeSampleCount, x.front() + kSignalRaise);
  for (double v : x) padded.push_back(v + kSignalRaise);
  padded.insert(padded.end(), kEdgeSampleCount, x.back() + kSignalRaise);
  return padded;
}

long long BinIndex(int paddedLastIndex, double frequencyHz, int sampleRateHz) {
  if (!std::isfinite(frequencyHz) || sampleRateHz < 1) return 0;
  const long double exact = static_cast<long double>(paddedLastIndex) * static_cast<long double>(frequencyHz) /
                            static_cast<long double>(sampleRateHz);
  // The default floating-point environment rounds to nearest with ties to even.
  return std::llrint(exact);
}

BandTransform::BandTransform() = default;

BandTransform::SlotCache& BandTransform::slotCache(int slot) {
  CheckSlot(slot);
  return m_slots[slot - 1];
}

const BandTransform::SlotCache& BandTransform::slotCache(int slot) const {
  CheckSlot(slot);
  return m_slots[slot - 1];
}

FrequencyBand BandTransform::band(int slot) const { return slotCache(slot).band; }

void BandTransform::setBand(int slot, FrequencyBand band) { slotCache(slot).band = band; }

void BandTransform::clearSlot(int slot) {
  SlotCache& cache = slotCache(slot);
  std::fill(cache.valid.begin(), cache.valid.end(), std::uint8_t{0});
}

void BandTransform::clearTemperatureSlots() {
  clearSlot(kTemperatureBandSlot);
  clearSlot(kFurieTSlot);
  clearSlot(kTemperatureSpareSlot);
}

void BandTransform::clearBloodFlowSlots() {
  clearSlot(kBloodFlowBandSlot);
  clearSlot(kBloodFlowSpareSlot);
  clearSlot(kFurieBFSlot);
}

void BandTransform::clearFourierPageSlots() {
  clearSlot(kFourierFrequencySlot);
  clearSlot(kFourierAmplitudeSlot);
}

void BandTransform::clearAllSlots() {
  for (int slot = 1; slot <= kTransformSlotCount; ++slot) clearSlot(slot);
}

bool BandTransform::isCached(int slot, int k) const {
  const SlotCache& cache = slotCache(slot);
  return k >= 0 && static_cast<std::size_t>(k) < cache.valid.size() && cache.valid[static_cast<std::size_t>(k)];
}

BandSpectrum BandTransform::transform(int slot, const std::vector<double>& x, int sampleRateHz,
                                      ProgressSink& progress) {
  SlotCache& cache = slotCache(slot);
  BandSpectrum out;
  out.slot = slot;
  if (x.empty()) return out;

  const int fs = std::max(1, sampleRateHz);
  out.sampleRateHz = fs;
  out.padded = PadSignal(x);
  const int paddedLast = static_cast<int>(out.padded.size()) - 1;
  out.paddedLastIndex = paddedLast;

  // The band edge is clamped to the Nyquist frequency; the band table keeps the clamped value.
  const double nyquist = static_cast<double>(fs) / 2.0;
  if (cache.band.high > nyquist) cache.band.high = nyquist;
  const long long highBin = std::max(0LL, BinIndex(paddedLast, cache.band.high, fs));
  const long long lowBin = std::max(1LL, BinIndex(paddedLast, cache.band.low, fs));
  out.highBin = static_cast<int>(std::min<long long>(highBin, paddedLast));
  out.lowBin = static_cast<int>(std::min<long long>(lowBin, paddedLast + 1LL));

  if (cache.paddedLastIndex != paddedLast) {
    std::fill(cache.valid.begin(), cache.valid.end(), std::uint8_t{0});
    cache.paddedLastIndex = paddedLast;
  }
  const std::size_t needed = static_cast<std::size_t>(out.highBin) + 1;
  if (cache.values.size() < needed) {
    cache.values.resize(needed);
    cache.valid.resize(needed, 0);
  }

  out.frequencies.resize(needed);
  out.frequencies[0] = 0.0;
  for (int k = 1; k <= out.highBin; ++k)
    out.frequencies[static_cast<std::size_t>(k)] = static_cast<double>(static_cast<long double>(k) / paddedLast * fs);

  const long double divisor = static_cast<long double>(paddedLast);
  if (!cache.valid[0]) {
    long double sum = 0.0L;
    for (double v : out.padded) sum += v;
    cache.values[0] = Complex{sum / divisor, 0.0L};
    cache.valid[0] = 1;
    ++out.computedBins;
  }

  std::vector<int> missing;
  for (int k = out.lowBin; k <= out.highBin; ++k)
    if (!cache.valid[static_cast<std::size_t>(k)]) missing.push_back(k);

  PercentProgress reporter(progress, 0, out.highBin);
  if (!missing.empty()) {
    const fft::AlignedVector<ComplexL> sums = FoldedSpectrum(out.padded);
    for (int k : missing) {
      const ComplexL sum = BinOfFoldedSpectrum(sums, paddedLast, k);
      cache.values[static_cast<std::size_t>(k)] = Complex{sum.real() / divisor, sum.imag() / divisor};
      cache.valid[static_cast<std::size_t>(k)] = 1;
    }
    out.computedBins += static_cast<long long>(missing.size());
  }
  reporter.update(out.highBin);

  out.coefficients.assign(needed, Complex{});
  out.coefficients[0] = cache.values[0];
  for (int k = out.lowBin; k <= out.highBin; ++k)
    out.coefficients[static_cast<std::size_t>(k)] = cache.values[static_cast<std::size_t>(k)];

  m_computedBins += out.computedBins;
  m_lastSlot = slot;
  reporter.finish();
  return out;
}

}  // namespace kelvora
