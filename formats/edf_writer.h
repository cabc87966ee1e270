#pragma once
// Writing records as one EDF+ file (T, BF, T*, BF* together, or a single record) through EDFlib, so that other
// biosignal viewers open them.
#include <optional>
#include <string>
#include <vector>

#include "formats/edf_reader.h"
#include "formats/record_file_error.h"

namespace kelvora {

struct EdfWriteChannel {
  std::string label;     // at most 16 ASCII characters in the file (see ToEdfText)
  std::string unit;      // the physical dimension, at most 8 ASCII characters in the file
  int sampleRateHz = 2;  // >= 1
  std::vector<double> values;  // at least one sample
};

struct EdfStartTime {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;  // 1985..2084, a valid date and time
};

struct EdfWriteRequest {
  std::vector<EdfWriteChannel> channels;   // 1 .. 64
  std::vector<EdfAnnotation> annotations;  // onsets >= 0 s; texts cut to 40 bytes by EDFlib
  std::optional<EdfStartTime> start;       // none: the time of writing
  std::string recording;                   // the recording field's additional text (ASCII, cut to 40)
};

// Data records that hold every channel without padding: `records` of `durationUnits` x 10 us each, every
// channel's length a whole number of samples per record.
struct EdfRecordLayout {
  long long records = 0;
  long long durationUnits = 100000;
};
// The layout for `channels` when they all last the same time (n_c / rate_c equal) and a record count R dividing
// every length gives a duration n_0 / (R rate_0) that is a whole number of 10 us within 0.001 .. 60 s: the
// longest such duration up to 1 s, else the shortest above 1 s. None otherwise (different durations, or a
// length whose divisors give no such duration). Cost O(sqrt(n)).
std::optional<EdfRecordLayout> ChooseEdfRecordLayout(const std::vector<EdfWriteChannel>& channels);
// The annotation text that marks the padded tail of channel `channel` (1-based) after its `count` samples.
std::string EdfSampleCountMark(int channel, long long count);

// `text` as an EDF header keeps it: "°" becomes "deg", "µ" "u", "²" "2", "³" "3", other non-ASCII characters
// and control bytes "_", then cut to `maxLength` characters.
std::string ToEdfText(const std::string& text, std::size_t maxLength);

// The 8-character header texts of the physical minimum and maximum for samples in [minimum, maximum]: the
// largest text not above the minimum and the smallest not below the maximum, at the finest decimals that fit;
// a constant channel gets value - 1 .. value + 1. Nothing when a limit needs more than 8 characters
// (|value| >= 10^7 roughly) or is not finite.
std::optional<std::pair<std::string, std::string>> EdfPhysicalLimits(double minimum, double maximum);

// Writes the channels as an EDF+ file through EDFlib: each channel's label and unit, its own rate, physical
// limits from EdfPhysicalLimits (so no sample is clipped; the quantisation step is (maximum - minimum) / 65535),
// digital range -32768 .. 32767. The data records are those of ChooseEdfRecordLayout, so every channel keeps
// its sample count; without one, 1-second records: the file lasts as long as the longest channel rounded up to
// whole seconds, a channel that ends earlier repeats its last sample to the end and an annotation
// (EdfSampleCountMark, at the end of its samples) marks the padding, which ReadEdfFile drops. The annotations
// follow. The file is written to a temporary file beside `path` that then replaces it (core/atomic_file.h
// WriteFileAtomicallyThrough): on any failure the target is as it was and no temporary file is left.
// Errors: kBadChannel (`column`: no samples, rate < 1, or no channels / more than 64), kNonFiniteValue, kValueTooLarge,
// kCannotWrite (with the reason). Cost: linear in the samples. Thread-safe: calls into EDFlib are serialised.
std::optional<RecordFileError> WriteEdfFile(const std::string& path, const EdfWriteRequest& request);

}  // namespace kelvora
