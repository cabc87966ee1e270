#pragma once
// The band table: time-averaged wavelet amplitude and power per frequency band, absolute and relative, with the
// share of the band's transform values that lie inside the cone of influence.
#include <optional>
#include <span>
#include <vector>

#include "analysis/band_set.h"
#include "analysis/time_averaged_spectrum.h"
#include "core/frequency_band.h"

namespace kelvora {

enum class BandNote {
  kNone,
  kRecordTooShort,  // the band's lowest grid frequency has no valid value: the record needs neededMinutes
  kNoFrequency,     // no grid frequency lies in the band (a band narrower than the grid's step)
  kSegmentTooShort, // a segment's table: the segment is shorter than five periods of the band's lower edge
                    // (neededMinutes: NeededSegmentMinutes(low))
  kSegmentOutsideCone,  // a segment's table: none of the segment's samples lies inside the cone of influence
                        // of the band's lowest grid frequency
};

struct BandRow {
  AnalysisBand band;
  int frequencyCount = 0;                   // grid frequencies f_j with low <= f_j < high
  std::optional<double> amplitude;          // mean of A(f_j) over the band's f_j that have a value
  std::optional<double> power;              // mean of P(f_j) likewise
  std::optional<double> relativeAmplitude;  // amplitude / mean of A(f_j) over the table's whole range
  std::optional<double> relativePower;      // power / mean of P(f_j) likewise
  double coverage = 0.0;                    // valid (f_j, n) of the band / (frequencyCount * N), 0 .. 1
  BandNote note = BandNote::kNone;
  double neededMinutes = 0.0;               // for kRecordTooShort: NeededRecordMinutes(low, f0); for
                                            // kSegmentTooShort: NeededSegmentMinutes(low)
};

struct BandTable {
  std::vector<BandRow> rows;           // the reported bands, in the order given
  std::vector<AnalysisBand> omitted;   // bands not inside the analysed range, not reported
  FrequencyBand relativeRange;         // [lowest reported low, highest reported high): the relative values' base
};

// The table of `bands` over the time-averaged spectrum (increasing frequencies) of a record of sampleCount
// samples analysed over analysedRange (f_min .. f_max) with centre frequency f0. A band is reported only when
// f_min <= low and high <= f_max (1e-12 relative tolerance); relative values are empty where their base or the
// band value is empty or zero. Cost: linear in bands x frequencies. Pure; any thread.
BandTable ComputeBandTable(std::span<const SpectrumPoint> spectrum, long long sampleCount,
                           const std::vector<AnalysisBand>& bands, FrequencyBand analysedRange,
                           double centreFrequency);

// The table of a segment of sampleCount samples at sampleRateHz: ComputeBandTable over the segment's spectrum
// (each point averaged over the segment's samples inside the cone), so coverage is the share of the segment's
// (f_j, n) used; a band whose lower edge needs a longer segment (fewer than five periods) gets kSegmentTooShort,
// and a band whose lowest frequency has no valid sample in the segment kSegmentOutsideCone. Pure; any thread.
BandTable ComputeSegmentBandTable(std::span<const SpectrumPoint> segmentSpectrum, long long segmentSampleCount,
                                  double sampleRateHz, const std::vector<AnalysisBand>& bands,
                                  FrequencyBand analysedRange, double centreFrequency);

}  // namespace kelvora
