#include "wavelet/scale_table.h"

#include <cmath>

#include "core/math_utils.h"

namespace kelvora {

namespace {

// sign(b) |b|^a in extended precision.
long double SignedPowerExtended(long double a, long double b) {
  if (b == 0.0L) return 0.0L;
  const long double magnitude = std::exp(a * std::log(std::fabs(b)));
  return b < 0.0L ? -magnitude : magnitude;
}

int RoundToInt(double value) {
  if (!std::isfinite(value) || value > 1e9) return 1000000000;
  return static_cast<int>(std::lround(value));
}

}  // namespace

long double WaveletScale(int k, int sampleRateHz) {
  return 2000.0L * static_cast<long double>(sampleRateHz) *
         SignedPowerExtended(-1.48L, static_cast<long double>(k));
}

double ScaleIndexFrequencyHz(int k) { return 0.79 / (2000.0 * SignedPower(-1.48, k)); }

int FrequencyToScaleIndex(double frequencyHz) {
  if (!(frequencyHz > 0.0)) return 0;
  return RoundToInt(std::pow(0.79 / (2000.0 * frequencyHz), -0.6756756756756757));
}

ScaleRange BandToScaleRange(FrequencyBand band) {
  ScaleRange range;
  range.first = FrequencyToScaleIndex(band.low);
  if (range.first == 0) range.first = 1;
  range.last = FrequencyToScaleIndex(band.high);
  if (range.last > kWaveletScaleCount) range.last = kWaveletScaleCount - 1;
  return range;
}

ScaleRange PreviousRangeFromBand(FrequencyBand band) {
  auto index = [](double f) {
    if (!(f > 0.0)) return 1000000000;
    return RoundToInt(std::pow(0.79 / (f * 0.65), 0.826));
  };
  ScaleRange range;
  range.first = index(band.high);
  if (range.first < 1) range.first = 1;
  range.last = index(band.low);
  if (range.last > kWaveletScaleCount) range.last = 200;
  return range;
}

FrequencyBand ApplyWaveletLowEdgeRule(FrequencyBand band) {
  if (band.low <= 0.0) band.low = 0.0001;
  return band;
}

ScaleTable::ScaleTable() {
  m_scales[0] = 0.0L;
  for (int k = 1; k <= kWaveletScaleCount; ++k) m_scales[k] = WaveletScale(k);
}

}  // namespace kelvora
