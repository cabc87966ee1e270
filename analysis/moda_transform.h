#pragma once
// The Morlet transform as the MODA toolbox (Lancaster University; its wavelet transform wt.m by D. Iatsenko)
// computes it, with each of its four choices available on its own beside the analysis transform's:
//
// - wavelet: kSampled is the analysis transform's kernel (morlet_transform.h: the spectrum of the sampled
//   Morlet, periodised, at every bin of either sign); kBandLimited is the frequency-domain Morlet with the
//   admissibility term, psi^(xi) = exp(-(w0 - xi)^2 / 2) - exp(-(w0^2 + xi^2) / 2), evaluated at
//   xi = omega_peak * nu / f for the positive bins nu only (none at 0 Hz or below), omega_peak its maximum
//   (D. Iatsenko, P. V. E. McClintock, A. Stefanovska, "Linear and synchrosqueezed time-frequency
//   representations revisited", Digital Signal Processing 42 (2015) 1-26, appendix E);
// - preprocessing: kDetrend is the analysis transform's (the polynomial of the detrend option removed);
//   kCubicAndBandPass removes the least-squares cubic and then zeroes the DFT bins with |nu| <= max(fmin, fs/N)
//   or |nu| >= fmax, and after padding zeroes them again in the padded spectrum;
// - padding: to the power of two NL >= N + 2 ceil(2.576 fs f0 / f_lowest) (the cone of influence of the lowest
//   frequency on both sides), the record placed at floor((NL - N) / 2); kZero fills with zeros, kPredictive
//   with the forecast of sinusoid_forecast.h on either side (weights 2^(-(T - t) / 1.349), t in seconds, favour
//   the samples next to the padded end, those of root weight below 1e-8 left out, as wt.m and its fcast do;
//   at most ceil(J / 2) + 5 tones, at most N / 3 and a third of the samples kept) and, with
//   kCubicAndBandPass, removes the cubic of the padded record once more;
// - amplitude: kFull gives A for A cos(2 pi f t) as the analysis transform does; kHalf gives A / 2 as MODA does.
//
// W(f, n) is then the inverse DFT of the padded spectrum times the kernel, at the record's own samples.
#include <atomic>
#include <complex>
#include <optional>
#include <span>
#include <vector>

#include "analysis/cone_of_influence.h"
#include "analysis/detrend.h"
#include "core/fft.h"

namespace kelvora {

enum class WaveletForm { kSampled, kBandLimited };
enum class PreprocessingForm { kDetrend, kCubicAndBandPass };
enum class PaddingForm { kZero, kPredictive };
enum class AmplitudeScale { kFull, kHalf };

struct TransformForm {
  WaveletForm wavelet = WaveletForm::kSampled;
  PreprocessingForm preprocessing = PreprocessingForm::kDetrend;
  PaddingForm padding = PaddingForm::kZero;
  AmplitudeScale amplitude = AmplitudeScale::kFull;

  // The analysis transform's own choices: every field at its default.
  bool isAnalysisDefault() const;
};

// All four of MODA's choices.
TransformForm ModaTransformForm();

struct ModaTransformParameters {
  double sampleRateHz = 2.0;
  double centreFrequency = 1.0;        // f0
  std::vector<double> frequenciesHz;   // the grid, increasing, each in (0, fs / 2]
  double minFrequencyHz = 0.005;       // fmin and fmax of the band-pass and the forecast
  double maxFrequencyHz = 0.6;
  DetrendMode detrend = DetrendMode::kCubic;  // for PreprocessingForm::kDetrend
  TransformForm form;
  // Read by the predictive padding's forecast between its fits: once true, the construction ends early and the
  // transform is stopped() (its rows are not to be used). Null: never.
  const std::atomic<bool>* stop = nullptr;
};

// The largest value of the band-limited Morlet's spectrum lies at xi = omega_peak (slightly above w0 = 2 pi f0
// where the admissibility term matters). Pure.
double BandLimitedMorletPeak(double centreFrequency);
// psi^(xi) of the band-limited Morlet. Pure.
double BandLimitedMorlet(double xi, double centreFrequency);

class ModaStyleTransform {
 public:
  // Throws std::invalid_argument for an empty record or bad parameters, std::length_error when the padded
  // length would exceed 2^27, std::bad_alloc. Cost: two or three real FFTs of length NL (plus the forecast).
  ModaStyleTransform(std::span<const double> record, const ModaTransformParameters& parameters);

  long long sampleCount() const { return m_sampleCount; }
  // parameters.stop ended the forecast: the rows hold nothing of the record.
  bool stopped() const { return m_stopped; }
  std::size_t paddedLength() const { return m_paddedLength; }
  long long leftPadding() const { return m_left; }
  const std::vector<SampleRange>& validRanges() const { return m_valid; }
  std::size_t frequencyCount() const { return m_frequencies.size(); }

  // W(f_j, n) for n = 0 .. N-1 in `buffer` (resized to NL); the span stays valid until its next use. Any thread.
  std::span<const fft::ComplexD> row(std::size_t j, fft::AlignedVector<fft::ComplexD>& buffer) const;

 private:
  long long m_sampleCount = 0;
  double m_sampleRateHz = 0.0;
  double m_centreFrequency = 0.0;
  std::vector<double> m_frequencies;
  std::vector<SampleRange> m_valid;
  TransformForm m_form;
  std::size_t m_paddedLength = 0;
  long long m_left = 0;
  double m_peak = 0.0;
  bool m_stopped = false;
  fft::AlignedVector<fft::ComplexD> m_spectrum;  // bins 0 .. NL/2 of the padded record
};

}  // namespace kelvora
