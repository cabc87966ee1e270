#pragma once
// The response measures of a flux record: post-occlusive reactive hyperaemia (PORH) for each occlusion and the
// local thermal hyperaemia of a heating phase. Sample n is at n / fs seconds; an interval [a, b) holds the
// samples with a <= n / fs < b (SamplesInInterval); s is the centred moving mean of the flux over
// 2 floor(fs / 2) + 1 samples (fewer at the record's ends, where the window is cut to the record).
//
// For an occlusion [o1, o2):
// - baseline B: mean flux over [o1 - 60 s, o1), or over the given baseline interval;
// - biological zero BZ: mean flux over [max(o1, o2 - 60 s), o2);
// - the response window: [o2, o2 + 300 s) cut at the next occlusion's start and at the record's end;
// - peak P: the maximum of s over the window (its first sample n_p); time to peak: n_p / fs - o2;
//   peak as % of baseline: 100 P / B; peak minus BZ: P - BZ;
// - the return r: the first sample after n_p with s <= B, else the window's end; hyperaemic area: the sum of
//   max(x - B, 0) / fs over the samples from o2 up to (not including) r, in flux units times seconds;
// - debt: the sum of max(B - x, 0) / fs over the occlusion's samples; repayment: area / debt;
// - t50: (n - n_p) / fs for the first sample n >= n_p in the window with s <= B + (P - B) / 2.
// For a heating phase [h1, h2):
// - baseline: as above before h1; initial peak: the maximum of s over [h1, min(h1 + 300 s, h2));
// - nadir: the minimum of s over the samples after the initial peak up to h2;
// - plateau: mean flux over [max(h1, h2 - 300 s), h2);
// - with a maximum interval (heating to 44 °C, a drug): its mean flux M, and 100 * value / M.
#include <optional>
#include <span>
#include <vector>

#include "formats/marker.h"

namespace kelvora {

inline constexpr double kBaselineSeconds = 60.0;
inline constexpr double kBiologicalZeroSeconds = 60.0;
inline constexpr double kResponseWindowSeconds = 300.0;
inline constexpr double kHeatingPeakSeconds = 300.0;
inline constexpr double kPlateauSeconds = 300.0;

struct TimeInterval {
  double startS = 0.0;
  double endS = 0.0;  // > startS
};

// Why a measure is empty, or what to know of it.
enum class MeasureNote {
  kOutsideRecord,       // the interval does not lie inside the record: nothing measured
  kNoBaseline,          // the baseline interval is not inside the record (an occlusion near the start)
  kBaselineNotPositive, // the baseline is 0 or below: no % of baseline, no repayment
  kNoResponseWindow,    // the occlusion ends at the record's end or at the next occlusion: no peak
  kNoHyperaemia,        // the peak is not above the baseline: no t50 (the area is 0)
  kNoReturn,            // s does not fall to the baseline inside the window: the area runs to the window's end
  kNoHalfRecovery,      // s does not fall halfway back to the baseline inside the window: no t50
  kNoDebt,              // the flux never fell below the baseline during the occlusion: no repayment
  kNoNadir,             // the initial peak is at the heating's end: no nadir
  kShortPlateau,        // the heating is shorter than 5 min: the plateau is its whole mean
  kNoMaximum,           // the maximum interval is not inside the record or its mean is not above 0
};

struct PorhMeasures {
  TimeInterval occlusion;
  std::optional<double> baseline;
  std::optional<double> biologicalZero;
  std::optional<double> peak;
  std::optional<double> timeToPeakS;
  std::optional<double> peakPercentBaseline;
  std::optional<double> peakMinusBiologicalZero;
  std::optional<double> hyperaemicArea;
  std::optional<double> repayment;
  std::optional<double> t50S;
  std::vector<MeasureNote> notes;
};

struct HeatingMeasures {
  TimeInterval heating;
  std::optional<double> baseline;
  std::optional<double> initialPeak;
  std::optional<double> nadir;
  std::optional<double> plateau;
  std::optional<double> initialPeakPercentMax;
  std::optional<double> plateauPercentMax;
  std::vector<MeasureNote> notes;
};

enum class MeasureErrorKind {
  kBadSampleRate,    // fs not positive and finite
  kNoSamples,
  kNonFiniteSample,  // `sample`
  kBadInterval,      // interval `index` (0-based) is not finite with start < end, or starts below 0
};

struct MeasureError {
  MeasureErrorKind kind = MeasureErrorKind::kNoSamples;
  long long sample = -1;
  int index = -1;
};

struct PorhOutcome {
  std::vector<PorhMeasures> rows;  // one per occlusion, sorted by start
  std::optional<MeasureError> error;
  bool ok() const { return !error.has_value(); }
};

struct HeatingOutcome {
  HeatingMeasures row;
  std::optional<MeasureError> error;
  bool ok() const { return !error.has_value(); }
};

// The centred moving mean s of the definitions above. Cost: one pass. Pure.
std::vector<double> CentredMovingMean(std::span<const double> flux, double sampleRateHz);

// The PORH measures of each occlusion (any order; measured in time order, each window cut at the next one).
// `baseline`, when given, is used for every occlusion. Cost: linear in the record per occlusion. Pure; any
// thread.
PorhOutcome MeasurePorh(std::span<const double> flux, double sampleRateHz, const std::vector<TimeInterval>& occlusions,
                        const std::optional<TimeInterval>& baseline = std::nullopt);

// The heating measures of [h1, h2) (interval index 0), with the baseline (index 1) and the maximum interval
// (index 2) when given. Pure; any thread.
HeatingOutcome MeasureHeating(std::span<const double> flux, double sampleRateHz, const TimeInterval& heating,
                              const std::optional<TimeInterval>& baseline = std::nullopt,
                              const std::optional<TimeInterval>& maximum = std::nullopt);

}  // namespace kelvora
