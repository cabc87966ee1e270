#pragma once
// The phase coherence of a T and a BF record with the choices beyond the analysis transform's, its course over
// time, and the depth of the heat source from the amplitudes.
//
// Coherence over time (time-localised phase coherence). For a grid frequency f, the window is
// w = round(cycles fs / f) samples, made odd (w + 1 - w mod 2), h = floor(w / 2), and
//   TPC(f, n) = |sum_{m = n - h .. n + h} exp(i (phi_BF(f, m) - phi_T(f, m)))| / w
// for the n whose whole window lies inside the valid (cone) samples of f; a sample where either transform is
// exactly 0 adds nothing. Its threshold at f is the 95th percentile of the surrogates' TPC(f, n) pooled over n
// and over the pairs (read off a histogram of 4096 bins over 0 .. 1, interpolated within the bin).
//
// Depth from the amplitudes. A thermal wave of frequency f that reaches the surface from the depth x is
// attenuated by exp(-x sqrt(pi f rho c / lambda)) and delayed by the lag the phase depth uses. With A_T(f) and
// A_BF(f) the means of |W| over the valid samples, the least-squares slope s of ln(A_T / A_BF) against sqrt(f)
// over a band's significant frequencies gives x_amp = -s / sqrt(pi rho c / lambda); the gain between the two
// records' units goes into the intercept.
//
// The surrogates: those of each record (both, as AnalyzeCoherence), or of one record only, the other kept as
// measured. The threshold rule: Weibull (phase_coherence.h), or the rank rule of MODA, the K-th largest of the
// N surrogate values, K = floor((N + 1) alpha) with alpha = 0.05 (no threshold when K < 1).
//
// With the analysis transform, both surrogates and the Weibull rule, the points and bands are those of
// AnalyzeCoherence to rounding (the same seeds give the same surrogates).
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/moda_transform.h"
#include "analysis/phase_coherence.h"
#include "analysis/scalogram_picture.h"

namespace kelvora {

enum class SurrogatesOf { kBoth, kBloodFlow, kTemperature };
enum class ThresholdRule { kWeibull, kRank };

inline constexpr double kDefaultWindowCycles = 10.0;
inline constexpr double kMaxWindowCycles = 1000.0;
inline constexpr double kRankAlpha = 0.05;

struct CoherenceModeOptions {
  CoherenceOptions coherence;  // the analysis, tissue, pairs and seed
  TransformForm transform;     // the analysis transform's choices by default
  SurrogatesOf surrogatesOf = SurrogatesOf::kBoth;
  ThresholdRule thresholdRule = ThresholdRule::kWeibull;
  bool overTime = false;                          // compute the coherence over time
  double windowCycles = kDefaultWindowCycles;     // > 0, at most kMaxWindowCycles
  int overTimeColumns = kDefaultPictureColumns;   // its columns (block means); 0 keeps every sample
};

// The coherence over time at display resolution.
struct CoherenceOverTime {
  double sampleRateHz = 0.0;
  long long sampleCount = 0;
  int columns = 0;
  std::vector<double> frequenciesHz;
  std::vector<long long> windowSamples;          // w of each row
  std::vector<SampleRange> defined;              // the n of each row where TPC is defined
  std::vector<double> values;                    // row j, column c at j * columns + c; NaN where none is defined
  std::vector<std::optional<double>> threshold;  // per row; empty without surrogates or values

  // floor(c N / columns).
  long long columnBegin(int c) const;
  double value(std::size_t j, int c) const { return values[j * static_cast<std::size_t>(columns) + static_cast<std::size_t>(c)]; }
  bool significant(std::size_t j, int c) const;
};

struct CoherenceModeResult {
  CoherenceResult coherence;                     // points and bands; bands[].depthAmpMm filled
  std::vector<std::optional<double>> amplitudeT;   // A_T(f_j), as the transform scales it
  std::vector<std::optional<double>> amplitudeBF;  // A_BF(f_j)
  std::optional<CoherenceOverTime> overTime;
};

struct CoherenceModeOutcome {
  CoherenceModeResult result;
  std::optional<CoherenceError> error;
  bool ok() const { return !error.has_value(); }
};

// w = round(cycles fs / f), made odd. Pure.
long long CoherenceWindowSamples(double windowCycles, double sampleRateHz, double frequencyHz);

// TPC(f, n) of one row pair into out (out.size() == t.size() == bf.size()), NaN where it is not defined. Cost:
// one pass (running sums in extended precision). Pure; any thread.
SampleRange TimeLocalisedCoherence(std::span<const fft::ComplexD> t, std::span<const fft::ComplexD> bf,
                                   const SampleRange& valid, long long window, std::span<double> out);

// x_amp in mm from the frequencies and the amplitudes (equal lengths); empty with fewer than two distinct
// frequencies, a non-positive amplitude, or a slope that gives no positive depth. Pure.
std::optional<double> AmplitudeDepthMm(std::span<const double> frequenciesHz, std::span<const double> amplitudeT,
                                       std::span<const double> amplitudeBF, const ThermalWaveTissue& tissue);

// Fills bands[].depthAmpMm of a coherence result from the amplitudes of its rows. Pure.
void AddAmplitudeDepths(CoherenceResult& result, std::span<const std::optional<double>> amplitudeT,
                        std::span<const std::optional<double>> amplitudeBF, const ThermalWaveTissue& tissue);

// A_T and A_BF under the analysis transform of the options, for a result of AnalyzeCoherence (the longer
// record cut as there). Empty vectors when the transform is refused. Cost: one transform of each record.
void AnalysisAmplitudes(std::span<const double> temperature, std::span<const double> bloodFlow,
                        const AnalysisOptions& options, std::vector<std::optional<double>>& amplitudeT,
                        std::vector<std::optional<double>>& amplitudeBF);

// The coherence under the modes. Progress and stop as AnalyzeCoherence (the surrogates counted are those made).
// The segments of options.coherence get their points and band rows as there, from the same rows and surrogates
// (no transform of their own; the coherence over time and the amplitudes stay those of the whole records).
// Blocking; call it from a worker thread.
CoherenceModeOutcome AnalyzeCoherenceModes(std::span<const double> temperature, std::span<const double> bloodFlow,
                                           const CoherenceModeOptions& options, ProgressSink& progress = NullProgress());

}  // namespace kelvora
