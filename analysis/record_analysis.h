#pragma once
// The time-frequency analysis of one record: detrending, the Morlet transform over a logarithmic frequency grid,
// the time-averaged spectrum, the band table and the scalogram picture, in one run with progress and stop.
//
// Rows are computed frequency by frequency on worker threads and reduced at once to their spectrum point and
// picture row, so memory stays at the record's FFT plus one row per thread plus the picture, whatever the
// number of frequencies (about 110 MB beyond the record for 2,000,000 samples on 2 threads; the picture is 17
// bytes per cell).
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "analysis/band_set.h"
#include "analysis/band_table.h"
#include "analysis/cone_of_influence.h"
#include "analysis/detrend.h"
#include "analysis/morlet_transform.h"
#include "analysis/scalogram_picture.h"
#include "analysis/time_averaged_spectrum.h"
#include "core/frequency_band.h"
#include "formats/marker.h"
#include "core/progress.h"

namespace kelvora {

// Limits of the options.
inline constexpr double kMinCentreFrequency = 0.5;
inline constexpr double kMaxCentreFrequency = 3.0;
inline constexpr int kMaxVoicesPerOctave = 128;
inline constexpr int kMaxAnalysisThreads = 32;

struct AnalysisOptions {
  double sampleRateHz = 2.0;      // fs > 0
  double centreFrequency = 1.0;   // f0, kMinCentreFrequency .. kMaxCentreFrequency
  int voicesPerOctave = 32;       // v, 1 .. kMaxVoicesPerOctave
  double minFrequencyHz = 0.005;  // f_min > 0
  double maxFrequencyHz = 0.0;    // f_max, at most fs / 2; 0 takes DefaultMaxFrequencyHz(fs)
  DetrendMode detrend = DetrendMode::kCubic;
  std::vector<AnalysisBand> bands = DefaultBands();
  int pictureColumns = kDefaultPictureColumns;  // at most this many picture columns; 0 makes no picture
  int threads = 0;  // 1 .. kMaxAnalysisThreads; 0 takes HardwareThreadCount(); never more than the cores are used
  // Segments [startS, endS) of the record (seconds from its first sample) that get a spectrum and a band table
  // of their own, from the same transform of the whole record.
  std::vector<Segment> segments;
};

// The statistics of one segment: its samples (SamplesInInterval), the time-averaged spectrum over the samples
// of the segment that lie inside each row's cone of influence, and the band table of that spectrum
// (ComputeSegmentBandTable).
struct SegmentAnalysis {
  Segment segment;
  SampleRange samples;
  std::vector<SpectrumPoint> spectrum;
  BandTable table;
};

enum class AnalysisErrorKind {
  kNoSamples,          // the record is empty
  kNonFiniteSample,    // a sample is NaN or infinite (`sample` names it)
  kBadSampleRate,      // fs not a positive finite number
  kBadCentreFrequency, // f0 outside 0.5 .. 3
  kBadVoices,          // voices outside 1 .. 128
  kBadFrequencyRange,  // not 0 < f_min <= f_max <= fs / 2
  kNoFrequencies,      // no grid frequency lies in f_min .. f_max
  kBadThreads,         // threads outside 0 .. 32
  kBadPictureColumns,  // picture columns negative
  kTooLong,            // the padded transform would exceed 2^27 samples (f_min far too low for the rate)
  kValuesTooLarge,     // samples so large (beyond about 1e150) that |W|^2 or a mean overflows
  kOutOfMemory,        // memory ran out
  kStopped,            // the progress sink asked to stop
};

struct AnalysisError {
  AnalysisErrorKind kind = AnalysisErrorKind::kNoSamples;
  long long sample = -1;  // for kNonFiniteSample: the 0-based index of the sample
};

struct AnalysisResult {
  long long sampleCount = 0;
  double sampleRateHz = 0.0;
  double centreFrequency = 0.0;
  FrequencyBand frequencyRange;            // f_min .. f_max as used
  std::vector<double> frequenciesHz;       // f_j, increasing
  std::vector<SampleRange> validRanges;    // the cone of influence of each row: its valid samples
  std::vector<SpectrumPoint> spectrum;     // A(f_j), P(f_j)
  BandTable table;
  ScalogramPicture picture;                // empty when pictureColumns was 0
  std::vector<SegmentAnalysis> segments;   // one per options.segments, in that order

  // Time of sample n in seconds.
  double seconds(long long n) const { return static_cast<double>(n) / sampleRateHz; }
  // The cone's edge of row j from either end of the record, seconds (draw it at this time and at T - it).
  double coneEdgeSeconds(std::size_t j) const { return ConeEdgeSeconds(frequenciesHz[j], centreFrequency); }
};

struct AnalysisOutcome {
  AnalysisResult result;                // filled only when ok()
  std::optional<AnalysisError> error;  // set when the analysis was refused, failed or was stopped

  bool ok() const { return !error.has_value(); }
};

// min(2, fs / 3) Hz: the default f_max.
double DefaultMaxFrequencyHz(double sampleRateHz);

// f_min .. f_max of the options (the default f_max resolved). Pure.
FrequencyBand AnalysisFrequencyRange(const AnalysisOptions& options);

// The first fault of the options, or nothing; then AnalysisFrequencies(options) is not empty. Pure.
std::optional<AnalysisError> CheckAnalysisOptions(const AnalysisOptions& options);

// The grid f_j of the options: VoiceFrequencies over AnalysisFrequencyRange(options). Pure.
std::vector<double> AnalysisFrequencies(const AnalysisOptions& options);

// The transform AnalyzeRecord makes: of values detrended as options.detrend says, at AnalysisFrequencies(options),
// with the options' rate and f0. For callers that need the complex rows themselves (phase coherence of two
// records transformed alike). The options must pass CheckAnalysisOptions; throws as the MorletTransform
// constructor does. Cost: the detrending and one real FFT of length L.
MorletTransform MakeAnalysisTransform(std::span<const double> values, const AnalysisOptions& options);
// The same transform over kernel spectra shared with other records transformed alike: `kernels` made by
// MakeAnalysisKernels(values.size(), options). The rows are those of the overload above, to the last bit.
MorletTransform MakeAnalysisTransform(std::span<const double> values, const AnalysisOptions& options,
                                      std::shared_ptr<const MorletKernels> kernels);
// The kernel spectra of the transforms of records of sampleCount samples under the options (CheckAnalysisOptions
// passed). Throws as the MorletTransform constructor does.
std::shared_ptr<const MorletKernels> MakeAnalysisKernels(long long sampleCount, const AnalysisOptions& options);

// Analyses values[0 .. N-1] (sample n at n / fs seconds): detrends a copy, transforms it at every grid frequency
// and returns the spectrum, the band table of options.bands, the picture and each segment's spectrum and table.
// Progress: range 0 .. J (rows done), reported when the percentage changes and every 0.25 s the position moves
// between; a stop request is seen between frequencies and ends the run with
// kStopped. Cost: one real FFT of length L and one complex FFT of length L per frequency, L = about
// N + 7.4 f0 fs / f_min, spread over the threads. Blocking; call it from a worker thread, never the UI thread.
AnalysisOutcome AnalyzeRecord(std::span<const double> values, const AnalysisOptions& options,
                              ProgressSink& progress = NullProgress());

}  // namespace kelvora
