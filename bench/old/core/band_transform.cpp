#include "bench/old/core/band_transform.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "bench/old/core/parallel_for.h"
#include "core/percent_progress.h"

namespace kelvora::old {
namespace {

// C[k] * N' = sum_n padded[n] e^{-i 2 pi k n / N'}, with the phase index k n mod N' stepped through the table.
// Two accumulator pairs shorten the dependency chains of the extended-precision adds.
Complex BinSum(const double* padded, int count, int period, int k, const long double* cosines,
               const long double* sines) {
  const unsigned step = static_cast<unsigned>(k % period);
  const unsigned wrap = static_cast<unsigned>(period);
  long double re0 = 0.0L, im0 = 0.0L, re1 = 0.0L, im1 = 0.0L;
  unsigned index0 = 0;
  unsigned index1 = step;
  const unsigned step2 = (2 * step) % wrap;
  int n = 0;
  for (; n + 1 < count; n += 2) {
    const long double p0 = padded[n];
    const long double p1 = padded[n + 1];
    re0 += p0 * cosines[index0];
    im0 -= p0 * sines[index0];
    re1 += p1 * cosines[index1];
    im1 -= p1 * sines[index1];
    index0 += step2;
    if (index0 >= wrap) index0 -= wrap;
    index1 += step2;
    if (index1 >= wrap) index1 -= wrap;
  }
  if (n < count) {
    const long double p0 = padded[n];
    re0 += p0 * cosines[index0];
    im0 -= p0 * sines[index0];
  }
  return Complex{re0 + re1, im0 + im1};
}

void CheckSlot(int slot) {
  if (slot < 1 || slot > kTransformSlotCount) throw std::out_of_range("transform slot must be 1 .. 8");
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

const PhasorTable& BandTransform::phasors(int period) {
  if (m_phasors.period() != period) m_phasors = PhasorTable(period);
  return m_phasors;
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
  const long long binCount = static_cast<long long>(missing.size());
  const bool useFft =
      binCount > 0 &&
      (m_method == SumMethod::kChirpFft ||
       (m_method == SumMethod::kAutomatic && ChirpDftIsCheaper(paddedLast, binCount * (paddedLast + 1LL))));
  if (useFft) {
    // The phase of sample N' equals that of sample 0, so the N' + 1 samples fold onto one period of N'.
    std::vector<Complex> folded(static_cast<std::size_t>(paddedLast));
    for (int n = 0; n < paddedLast; ++n)
      folded[static_cast<std::size_t>(n)].re = out.padded[static_cast<std::size_t>(n)];
    folded[0].re += out.padded[static_cast<std::size_t>(paddedLast)];
    const std::vector<Complex> sums = ChirpDft(folded, -1);
    for (int k : missing) {
      const Complex sum = sums[static_cast<std::size_t>(k % paddedLast)];
      cache.values[static_cast<std::size_t>(k)] = Complex{sum.re / divisor, sum.im / divisor};
      cache.valid[static_cast<std::size_t>(k)] = 1;
    }
    out.computedBins += binCount;
  } else if (binCount > 0) {
    const PhasorTable& table = phasors(paddedLast);
    const double* padded = out.padded.data();
    const int count = paddedLast + 1;
    ParallelFor(
        binCount, 16, SpectralThreadCount(),
        [&](long long begin, long long end) {
          for (long long i = begin; i < end; ++i) {
            const int k = missing[static_cast<std::size_t>(i)];
            const Complex sum = BinSum(padded, count, paddedLast, k, table.cosines(), table.sines());
            cache.values[static_cast<std::size_t>(k)] = Complex{sum.re / divisor, sum.im / divisor};
            cache.valid[static_cast<std::size_t>(k)] = 1;
          }
        },
        [&](long long done) {
          // Bins are handed out in increasing order, so the done count maps to the bin reached.
          const long long reached = missing[static_cast<std::size_t>(std::max(0LL, done - 1))];
          reporter.update(reached);
        });
    out.computedBins += binCount;
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

}  // namespace kelvora::old
