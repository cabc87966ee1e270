#pragma once
// Making a record of the program (SignalRecord at a whole rate, at most kMaxRecordSamples samples) from a
// channel of an instrument file: resampling by block means, the sample limit and the kelvin rule of T records.
#include <optional>

#include "formats/imported_channel.h"
#include "formats/record_file_error.h"
#include "core/signal_record.h"

namespace kelvora {

struct RecordImportOptions {
  std::optional<int> resampleToHz;  // block means down to this rate (>= 1); else the channel's own rate is used
  bool temperature = false;         // a T record: the kelvin rule of ReadSignalFile applies
  int maxSamples = kMaxRecordSamples;  // the samples kept (>= 1)
};

struct RecordImportResult {
  SignalRecord record;       // minimum, maximum and normalized filled; only when ok()
  int sampleRateHz = 0;      // the record's rate
  double sourceRateHz = 0.0; // the channel's rate
  long long ratio = 1;       // input samples per record sample
  bool truncated = false;    // the record was cut at kMaxRecordSamples (or the channel was read only in part)
  bool kelvin = false;       // converted from kelvin to degrees Celsius
  std::optional<RecordFileError> error;  // kRatioNotWhole, kRateNotWhole, kNoSamples

  bool ok() const { return !error.has_value(); }
};

// The record of `channel`: with resampleToHz, block means (ResampleByBlockMeans, kRatioNotWhole with both
// rates when the ratio is not whole); without, the channel's rate must be a whole number within
// kWholeRatioTolerance (kRateNotWhole). The limit applies to the result: the first kMaxRecordSamples samples are
// kept and `truncated` is set, as a "Big file" read does. With `temperature`, a first sample above 250 means
// kelvin: 273.15 is subtracted from every sample. No samples is kNoSamples. Cost: one pass. Pure; any thread.
RecordImportResult MakeImportedRecord(const ImportedChannel& channel, const RecordImportOptions& options);

// The input samples a reader needs for MakeImportedRecord to see the whole record and notice a cut: enough for
// kMaxRecordSamples + 1 record samples at the ratio of `fromRateHz` to the target (1 without resampling or
// when the ratio is not whole, so the error is still found).
long long InputSamplesNeeded(double fromRateHz, std::optional<int> resampleToHz,
                             int maxSamples = kMaxRecordSamples);

}  // namespace kelvora
