#pragma once
// A sampled signal held by the program: the T and BF records, the converted records and the work signals.
#include <vector>

namespace kelvora {

// Samples at a whole rate; sample i lies at i / sampleRateHz / 60 minutes.
struct SignalRecord {
  std::vector<double> values;      // samples 0 .. lastIndex, in file order
  // The record's own rate in hertz (the `gerc` of the program's records): the rate it was read or made at. 0 only
  // for samples whose rate no one has stated yet (a signal text read by ReadSignalFile, which holds no rate).
  int sampleRateHz = 0;
  int lastIndex = -1;              // index of the last sample; -1 for an empty record
  double minimum = 0.0;            // true minimum of the samples
  double maximum = 0.0;            // true maximum of the samples
  std::vector<double> normalized;  // (value - minimum) / (maximum - minimum); all zeros for a constant record

  int count() const { return lastIndex + 1; }
  bool empty() const { return lastIndex < 0; }
};

// The most samples a T or BF record keeps from a file.
inline constexpr int kMaxRecordSamples = 20000;
// The most samples the time-frequency analysis reads from a file (as many as a PPG record holds).
inline constexpr int kMaxAnalysisRecordSamples = 2000000;

}  // namespace kelvora
