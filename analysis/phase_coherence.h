#pragma once
// Wavelet phase coherence of a temperature record and a blood-flow record of one rate, its significance against
// IAAFT surrogates, the mean lag of T behind BF, and the depth of the heat source the thermal wave implies.
//
// Both records go through the analysis transform with the same settings (MakeAnalysisTransform). For each grid
// frequency f, over the samples n inside the cone of influence:
//   Pi(f)   = |mean_n exp(i (phi_BF(f, n) - phi_T(f, n)))|, phi = arg W;
//   dphi(f) = the angle of that mean, in (-pi, pi]: the phase by which T lags BF;
//   dt(f)   = dphi(f) / (2 pi f) seconds (positive: T after BF).
// threshold(f) is the 95th percentile of Pi(f) over the surrogate pairs (each record's own IAAFT surrogates; the
// percentile at the Weibull position 0.95 (m + 1) of m values, interpolated);
// Pi(f) is significant above it. Where it is significant and 0 < dt(f) < 1 / (2 f), the thermal wave gives the
// depth x(f) = 2 dt(f) sqrt(pi f lambda / (rho c)) (the delay of a thermal wave of frequency f at depth x is
// x / (2 sqrt(pi f lambda / (rho c))), core/thermal_wave.h).
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "analysis/band_set.h"
#include "analysis/coherence_rows.h"
#include "analysis/record_analysis.h"
#include "core/progress.h"
#include "core/thermal_wave.h"

namespace kelvora {

inline constexpr int kMaxSurrogatePairs = 10000;

struct CoherenceOptions {
  AnalysisOptions analysis;  // the transform of both records (pictureColumns is not used)
  ThermalWaveTissue tissue;  // lambda, rho and c give the depth of a lag (its depthM is not used)
  int surrogatePairs = 100;  // 0 .. kMaxSurrogatePairs; 0 computes no threshold (nothing is significant)
  std::uint64_t seed = 1;    // the surrogates' random streams (SurrogateSeed(seed, record, pair))
  // Segments of the records, each with points and bands of its own: the averages over its samples inside the
  // cone of influence of the whole records' transforms (the measured ones and the surrogates' alike, so the
  // segments cost no transform of their own); the band notes are a segment table's.
  std::vector<Segment> segments;
};

enum class CoherenceErrorKind {
  kAnalysis,           // the options or a record were refused by the analysis (`analysis` says why)
  kBadTissue,          // lambda, rho or c not positive and finite
  kBadSurrogateCount,  // outside 0 .. kMaxSurrogatePairs
  kOutOfMemory,
  kStopped,            // the progress sink asked to stop
  kBadWindow,          // the coherence over time's window or columns are not valid (coherence_modes.h)
};

struct CoherenceError {
  CoherenceErrorKind kind = CoherenceErrorKind::kAnalysis;
  AnalysisError analysis;  // for kAnalysis
  int record = 0;          // for kAnalysis: 0 the T record, 1 the BF record, -1 the options
};

// One grid frequency.
struct CoherencePoint {
  double frequencyHz = 0.0;
  std::optional<double> coherence;  // Pi(f); empty where no sample is valid
  std::optional<double> threshold;  // empty without surrogates or without a value
  std::optional<double> lagSeconds; // dt(f); empty where coherence is empty
  std::optional<double> depthMm;    // x(f) in mm where significant and 0 < dt < 1 / (2 f)
  bool significant = false;         // coherence > threshold
};

struct CoherenceBandRow {
  AnalysisBand band;
  int frequencyCount = 0;                   // grid frequencies in [low, high)
  std::optional<double> coherence;          // mean of Pi over the band's frequencies that have a value
  std::optional<double> threshold;          // mean of the threshold likewise
  double significantShare = 0.0;            // significant frequencies / frequencies with a value, 0 .. 1
  std::optional<double> lagSeconds;         // mean of dt over the band's frequencies that have a value
  std::optional<double> depthMm;            // median of x(f) over the band; empty where none is significant
  std::optional<double> depthAmpMm;         // the depth from the amplitudes (coherence_modes.h), where computed
  BandNote note = BandNote::kNone;          // as in the band table (record or segment too short)
  double neededMinutes = 0.0;
};

struct CoherenceSegmentResult {
  Segment segment;
  std::vector<CoherencePoint> points;   // as CoherenceResult::points, over the segment's samples
  std::vector<CoherenceBandRow> bands;  // as CoherenceResult::bands
};

struct CoherenceResult {
  long long sampleCount = 0;        // samples used from each record
  bool truncated = false;           // the longer record was cut to the shorter one
  long long droppedSamples = 0;     // samples cut from the longer record
  int longerRecord = -1;            // 0 T, 1 BF, -1 none
  double sampleRateHz = 0.0;
  std::vector<CoherencePoint> points;   // by increasing frequency
  std::vector<CoherenceBandRow> bands;  // the reported bands, in the order of options.analysis.bands
  std::vector<AnalysisBand> omitted;    // bands outside the analysed range
  std::vector<CoherenceSegmentResult> segments;  // one per options.segments, in that order
};

struct CoherenceOutcome {
  CoherenceResult result;
  std::optional<CoherenceError> error;
  bool ok() const { return !error.has_value(); }
};

// The first fault of the options, or nothing. Pure.
std::optional<CoherenceError> CheckCoherenceOptions(const CoherenceOptions& options);

// Depth in mm of a lag of dt seconds at frequency f under the tissue; empty unless 0 < dt < 1 / (2 f). Pure.
std::optional<double> ThermalDepthMm(double lagSeconds, double frequencyHz, const ThermalWaveTissue& tissue);

// The band row of the points (the means, share and median depth above; depthAmpMm left empty). Pure.
CoherenceBandRow CoherenceBandRowOf(const AnalysisBand& band, std::span<const CoherencePoint> points,
                                    double centreFrequency);

// What a coherence engine makes of its phase sums, shared by AnalyzeCoherence and the coherence modes.
// The points of one slice of rows: the coherence and lag of each row's phase sum; the threshold, by `threshold`,
// of the row's surrogate coherence values (`surrogates` pair-major, `pairs` x rows, NaN where a pair's row has
// no value; no threshold without values); significance, and the depth where significant. Pure.
using SurrogateThreshold = std::function<std::optional<double>(std::vector<double>& values)>;
std::vector<CoherencePoint> CoherencePointsOf(std::span<const double> frequencies, std::span<const PhaseSum> measured,
                                              std::span<const double> surrogates, int pairs,
                                              const SurrogateThreshold& threshold, const ThermalWaveTissue& tissue);
// The band rows of the result and of each of its segments from their points (the segment notes of a segment
// table); the bands outside the analysis range go to `omitted`. Pure.
void AddCoherenceBandRows(CoherenceResult& result, const AnalysisOptions& analysis);
// Whether every value of the points, the segments' included, is finite. Pure.
bool CoherenceValuesFinite(const CoherenceResult& result);

// Coherence of T and BF (sample n at n / fs; the longer is cut to the shorter). Progress counts rows in units of
// U = kCoherenceUnitsPerRow (analysis/coherence_progress.h): range 0 .. U (J + pairs (J + 2 S)), S = max(1, J / 2),
// the measured pair's J rows, then per surrogate pair S rows' worth for each of its surrogates (advanced by the
// IAAFT's share, IaaftShare, from inside its rounds) and its J rows; reported when the percentage changes and
// every 0.25 s the position moves between. A stop request is seen between rows, inside a row between its FFTs
// and inside IAAFT rounds between their transforms and sort passes, and ends the run with kStopped and no result
// (the position of the units done is reported last, then put back to the start). The rows and the surrogate pairs are spread over
// options.analysis.threads workers, at most one per core; the result does not depend on the thread count.
// Memory: the two records' spectra and kernels, and per worker one surrogate pair in the making (about 90 N
// bytes) and a few arrays of one row's kernel terms. Blocking; call it from a worker thread.
CoherenceOutcome AnalyzeCoherence(std::span<const double> temperature, std::span<const double> bloodFlow,
                                  const CoherenceOptions& options, ProgressSink& progress = NullProgress());

}  // namespace kelvora
