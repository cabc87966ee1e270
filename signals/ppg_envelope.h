#pragma once
// The blood-flow curve of a PPG: the envelope through its pulse maxima, resampled at a low output rate and
// smoothed.
#include <string>
#include <vector>

#include "core/progress.h"
#include "formats/ppg_file.h"

namespace kelvora {

// The edits of the PPG page.
struct PpgEnvelopeParams {
  double inRateHz = 50.0;     // input rate of the PPG, Hz (> 0)
  double outRateHz = 2.0;     // output rate of the envelope, Hz (> 0)
  int durationS = 1501;       // duration of the record, s (the reader sets it); output count round(T * outRate)
  int lowestPulseBpm = 69;    // lowest pulse rate, beats per minute (> 0)
  int highestPulseBpm = 120;  // highest pulse rate, beats per minute (> 0)
};

// The scan geometry in input samples.
struct PpgWindows {
  int window = 0;  // W = round(60 / lowest pulse * inRate): one slowest beat
  int step = 0;    // W div 3
  int dMax = 0;    // round(60 / highest pulse * inRate): least distance between two accepted maxima
  int dMin = 0;    // round(58 / highest pulse * inRate): least distance between two accepted minima
};

// Works out W, step, Dmax and Dmin. With the defaults (50 Hz, 69..120 beats per minute): 43, 14, 25, 24.
PpgWindows PpgEnvelopeWindows(const PpgEnvelopeParams& params);

// One accepted pulse extreme: its value on the scaled 0 .. 10 copy and its input sample index.
struct PpgPeak {
  double value = 0.0;
  int position = 0;
};

// The envelope and what the chart shows beside it.
struct PpgEnvelope {
  std::vector<PpgPeak> maxima;  // accepted maxima in scan order (input sample positions)
  std::vector<PpgPeak> minima;  // accepted minima in scan order
  // The envelope buffer read by saving and by the hand-over to the Transform page: round(T * outRate)
  // smoothed samples on the 0 .. 10 scale; sample k lies at k / outRateHz seconds.
  std::vector<double> values;
  double outRateHz = 2.0;
  PpgWindows windows;
  int scannedLength = 0;  // S: input index of the last scanned sample (end of the last scanned window)

  bool empty() const { return values.empty(); }
  // Time of sample k in minutes, as the chart plots it.
  double minutesAt(int k) const { return k / outRateHz / 60.0; }
};

enum class PpgEnvelopeStatus {
  kOk,
  kNoSamples,       // the PPG holds no sample
  kConstantSignal,  // maximum = minimum: the PPG cannot be scaled
  kTooShort,        // fewer samples than one scan window needs
  kNoOutput,        // round(T * outRate) is 0
  kBadParameters,   // a rate, pulse rate or duration out of range
  kStopped,         // the progress sink asked to stop
};

// The outcome of an envelope run. When !ok(), `envelope.values` is empty and `message` is a fixed English
// text for the user; nothing else was computed.
struct PpgEnvelopeResult {
  PpgEnvelope envelope;
  PpgEnvelopeStatus status = PpgEnvelopeStatus::kOk;
  std::string message;

  bool ok() const { return status == PpgEnvelopeStatus::kOk; }
};

// Computes the envelope of `ppg` (its scaled copy) with `params`:
//  1. maxima and minima scans over windows [0, step], then [a, a + W] for a = step, 2 step, ... while the
//     window's end is below the last index; a maximum closer than Dmax to the last accepted one replaces it
//     only when larger, a minimum closer than Dmin only when smaller;
//  2. the maxima positions rescaled onto the output grid, with a leading point at 0 and a trailing point at
//     T * inRate; linear interpolation at k * inRate / outRate for k = 0 .. round(T * outRate) - 1;
//  3. the Gaussian smoothing of width 2 s (times k / outRate s).
// The peak tables grow with the signal: no beat is dropped. Progress: range 0 .. N - 1 over the smoothing,
// reported when the percentage changes, with the percentage text; a stop request ends the run with
// kStopped. Cost: linear in the PPG and in N (about 15 ms for 2,000,000 samples at the defaults; the
// smoothing grows with outRate^2 * T). Pure; any thread.
PpgEnvelopeResult ComputePpgEnvelope(const PpgSignal& ppg, const PpgEnvelopeParams& params,
                                     ProgressSink& progress = NullProgress());

// The samples that saving and the "<--" hand-over take: the first round(durationS * outRateHz) envelope samples
// (the duration and output-rate edits as they stand), never more than the envelope holds, so edits changed
// after the run cannot read past its end. Empty for a non-positive count.
std::vector<double> PpgEnvelopeSamples(const PpgEnvelope& envelope, int durationS, double outRateHz);

}  // namespace kelvora
