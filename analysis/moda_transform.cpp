#include "analysis/moda_transform.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "analysis/sinusoid_forecast.h"

namespace kelvora {

namespace {

constexpr std::size_t kMaxPaddedLength = static_cast<std::size_t>(1) << 27;
// exp(-u^2 / 2) < 1e-18 beyond this: kernel terms left out.
const double kSpectrumReach = std::sqrt(2.0 * std::log(1e18));
// The width of the middle half of a Gaussian of unit deviation, 2 x 0.6745: the 50 % time support of the Morlet.
constexpr double kHalfSupportWidth = 2.0 * 0.6744897501960817;
// The forecast leaves out the samples whose root weight is below this share of the largest.
constexpr double kForecastWeightCut = 1e-8;

// Zeroes the bins k of a half spectrum of length n whose frequency k fs / n lies at or below `low` or at or
// above `high`.
void BandPassBins(std::span<fft::ComplexD> half, std::size_t n, double sampleRateHz, double low, double high) {
  for (std::size_t k = 0; k < half.size(); ++k) {
    const double nu = static_cast<double>(k) * sampleRateHz / static_cast<double>(n);
    if (nu <= low || nu >= high) half[k] = 0.0;
  }
}

}  // namespace

bool TransformForm::isAnalysisDefault() const {
  return wavelet == WaveletForm::kSampled && preprocessing == PreprocessingForm::kDetrend &&
         padding == PaddingForm::kZero && amplitude == AmplitudeScale::kFull;
}

TransformForm ModaTransformForm() {
  return {WaveletForm::kBandLimited, PreprocessingForm::kCubicAndBandPass, PaddingForm::kPredictive,
          AmplitudeScale::kHalf};
}

double BandLimitedMorlet(double xi, double centreFrequency) {
  const double w0 = 2.0 * std::numbers::pi * centreFrequency;
  return std::exp(-0.5 * (w0 - xi) * (w0 - xi)) - std::exp(-0.5 * (w0 * w0 + xi * xi));
}

double BandLimitedMorletPeak(double centreFrequency) {
  // Newton's method on the derivative, from w0.
  const double w0 = 2.0 * std::numbers::pi * centreFrequency;
  double xi = w0;
  for (int i = 0; i < 50; ++i) {
    const double a = std::exp(-0.5 * (w0 - xi) * (w0 - xi));
    const double b = std::exp(-0.5 * (w0 * w0 + xi * xi));
    const double d1 = (w0 - xi) * a + xi * b;
    const double d2 = ((w0 - xi) * (w0 - xi) - 1.0) * a + (1.0 - xi * xi) * b;
    if (d2 == 0.0) break;
    const double next = xi - d1 / d2;
    if (std::fabs(next - xi) <= 1e-16 * w0) {
      xi = next;
      break;
    }
    xi = next;
  }
  return xi;
}

ModaStyleTransform::ModaStyleTransform(std::span<const double> record, const ModaTransformParameters& p)
    : m_sampleCount(static_cast<long long>(record.size())),
      m_sampleRateHz(p.sampleRateHz),
      m_centreFrequency(p.centreFrequency),
      m_frequencies(p.frequenciesHz),
      m_form(p.form) {
  if (record.empty() || !(p.sampleRateHz > 0.0) || !(p.centreFrequency > 0.0) || m_frequencies.empty())
    throw std::invalid_argument("ModaStyleTransform: parameters");
  for (const double f : m_frequencies)
    if (!(f > 0.0) || !(f <= p.sampleRateHz / 2.0)) throw std::invalid_argument("ModaStyleTransform: frequencyHz");
  const double fs = p.sampleRateHz;
  const auto n = static_cast<std::size_t>(m_sampleCount);
  const double lowest = *std::min_element(m_frequencies.begin(), m_frequencies.end());
  for (const double f : m_frequencies) m_valid.push_back(ValidSamples(f, p.centreFrequency, fs, m_sampleCount));
  m_peak = BandLimitedMorletPeak(p.centreFrequency);

  const double cone = std::ceil(kConeFactor * fs * p.centreFrequency / lowest);
  const double needed = static_cast<double>(n) + 2.0 * cone;
  if (!(needed <= static_cast<double>(kMaxPaddedLength))) throw std::length_error("ModaStyleTransform: length");
  std::size_t length = 1;
  while (static_cast<double>(length) < needed) length <<= 1;
  m_paddedLength = length;
  m_left = static_cast<long long>((length - n) / 2);
  const std::size_t right = length - n - static_cast<std::size_t>(m_left);

  const bool modaPreprocessing = p.form.preprocessing == PreprocessingForm::kCubicAndBandPass;
  const bool predictive = p.form.padding == PaddingForm::kPredictive;
  const double passLow = std::max(p.minFrequencyHz, fs / static_cast<double>(n));
  const double passHigh = p.maxFrequencyHz;
  // With the forecast of a record short against the lowest frequency, the cubic comes off the padded record.
  const bool afterPadding = predictive && p.minFrequencyHz < 5.0 * fs / static_cast<double>(n);

  std::vector<double> values(record.begin(), record.end());
  if (!modaPreprocessing) {
    RemovePolynomialTrend(values, DetrendDegree(p.detrend));
  } else if (!afterPadding) {
    RemovePolynomialTrend(values, 3);
    fft::AlignedVector<double> buffer(values.begin(), values.end());
    fft::AlignedVector<fft::ComplexD> half(n / 2 + 1);
    fft::ForwardReal(buffer, half);
    BandPassBins(half, n, fs, passLow, passHigh);
    fft::BackwardReal(half, buffer);
    for (std::size_t i = 0; i < n; ++i) values[i] = buffer[i] / static_cast<double>(n);
  }

  fft::AlignedVector<double> padded(length, 0.0);
  std::copy(values.begin(), values.end(), padded.begin() + m_left);
  if (predictive) {
    SinusoidForecastOptions forecast;
    forecast.sampleRateHz = fs;
    forecast.lowHz = passLow;
    forecast.highHz = passHigh;
    forecast.maxOrder = static_cast<int>(std::max<long long>(
        1, std::min<long long>(static_cast<long long>((m_frequencies.size() + 1) / 2) + 5,
                               std::llround(static_cast<double>(n) / 3.0))));
    // MODA's weights: halved every t2h - t1h = 1.349 s (the wavelet's 50 % support, taken in seconds, as wt.m
    // does) back from the padded end; as its forecast does, the samples whose root weight is below 1e-8 of the
    // largest are left out, and at most a third of the samples kept become tones.
    std::vector<double> weights(n);
    const double duration = static_cast<double>(n) / fs;
    for (std::size_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(i + 1) / fs;
      weights[i] = std::exp2(-(duration - t) / kHalfSupportWidth);
    }
    std::size_t first = 0;
    while (first + 1 < n && std::sqrt(weights[first]) < kForecastWeightCut * std::sqrt(weights[n - 1])) ++first;
    const std::size_t kept = n - first;
    forecast.maxOrder = std::max(1, std::min(forecast.maxOrder, static_cast<int>(kept / 3)));
    const std::span<const double> keptWeights = std::span<const double>(weights).subspan(first);
    forecast.stop = p.stop;
    m_spectrum.assign(length / 2 + 1, fft::ComplexD(0.0, 0.0));
    const std::optional<std::vector<double>> after = ForecastSinusoids(
        std::span<const double>(values).subspan(first), keptWeights, static_cast<long long>(right), forecast);
    if (!after) {
      m_stopped = true;
      return;
    }
    std::vector<double> reversed(values.rbegin(), values.rend());
    const std::optional<std::vector<double>> before =
        ForecastSinusoids(std::span<const double>(reversed).subspan(first), keptWeights, m_left, forecast);
    if (!before) {
      m_stopped = true;
      return;
    }
    for (long long i = 0; i < m_left; ++i)
      padded[static_cast<std::size_t>(m_left - 1 - i)] = (*before)[static_cast<std::size_t>(i)];
    std::copy(after->begin(), after->end(), padded.begin() + m_left + static_cast<long long>(n));
    if (modaPreprocessing) RemovePolynomialTrend(padded, 3);
  }

  m_spectrum.resize(length / 2 + 1);
  fft::ForwardReal(padded, m_spectrum);
  if (modaPreprocessing) BandPassBins(m_spectrum, length, fs, passLow, passHigh);
}

std::span<const fft::ComplexD> ModaStyleTransform::row(std::size_t j, fft::AlignedVector<fft::ComplexD>& buffer) const {
  const std::size_t length = m_paddedLength;
  buffer.assign(length, fft::ComplexD(0.0, 0.0));
  const double f = m_frequencies[j];
  const double gain = (m_form.amplitude == AmplitudeScale::kHalf ? 1.0 : 2.0) / static_cast<double>(length);
  const double binHz = m_sampleRateHz / static_cast<double>(length);
  const double w0 = 2.0 * std::numbers::pi * m_centreFrequency;
  if (m_form.wavelet == WaveletForm::kBandLimited) {
    // Positive bins only, up to and with the Nyquist bin; below the peak every bin down to the first counts (the
    // admissibility term decays there only as fast as the Gaussian's tail rises).
    const double xiPerBin = m_peak * binHz / f;
    const auto highest = static_cast<std::size_t>(
        std::min<double>(static_cast<double>(length / 2), std::floor((w0 + kSpectrumReach) / xiPerBin)));
    for (std::size_t k = 1; k <= highest; ++k)
      buffer[k] = gain * BandLimitedMorlet(static_cast<double>(k) * xiPerBin, m_centreFrequency) * m_spectrum[k];
  } else {
    // The sampled kernel on the unfolded axis, folded onto the bins, both signs (morlet_transform.h).
    const double a = m_centreFrequency * m_sampleRateHz / f;
    const double binsPerRadian = static_cast<double>(length) / (2.0 * std::numbers::pi);
    const auto lowBin = static_cast<long long>(std::ceil((w0 - kSpectrumReach) / a * binsPerRadian));
    const auto highBin = static_cast<long long>(std::floor((w0 + kSpectrumReach) / a * binsPerRadian));
    const auto n = static_cast<long long>(length);
    for (long long unfolded = lowBin; unfolded <= highBin; ++unfolded) {
      const double u = a * (static_cast<double>(unfolded) / binsPerRadian) - w0;
      const double weight = gain * std::exp(-0.5 * u * u);
      const auto bin = static_cast<std::size_t>(((unfolded % n) + n) % n);
      const fft::ComplexD value = bin <= length / 2 ? m_spectrum[bin] : std::conj(m_spectrum[length - bin]);
      buffer[bin] += weight * value;
    }
  }
  fft::Backward(buffer, buffer);
  return std::span<const fft::ComplexD>(buffer.data() + m_left, static_cast<std::size_t>(m_sampleCount));
}

}  // namespace kelvora
