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
};

// `text` as an EDF header keeps it: "°" becomes "deg", "µ" "u", "²" "2", "³" "3", other non-ASCII characters
// and control bytes "_", then cut to `maxLength` characters.
std::string ToEdfText(const std::string& text, std::size_t maxLength);

// The 8-character header texts of the physical minimum and maximum for samples in [minimum, maximum]: the
// largest text not above the minimum and the smallest not below the maximum, at the finest decimals that fit;
// a constant channel gets value - 1 .. value + 1. Nothing when a limit needs more than 8 characters
// (|value| >= 10^7 roughly) or is not finite.
std::optional<std::pair<std::string, std::string>> EdfPhysicalLimits(double minimum, double maximum);

// Writes the channels as an EDF+ file of 1-second data records through EDFlib: each channel's label and unit,
// its own rate, physical limits from EdfPhysicalLimits (so no sample is clipped; the quantisation step is
// (maximum - minimum) / 65535), digital range -32768 .. 32767. The file lasts as long as the longest channel,
// rounded up to whole seconds; a channel that ends earlier repeats its last sample to the end. The annotations
// follow. The file is written to a temporary file beside `path` that then replaces it (core/atomic_file.h
// WriteFileAtomicallyThrough): on any failure the target is as it was and no temporary file is left.
// Errors: kBadChannel (`column`: no samples, rate < 1, or no channels / more than 64), kNonFiniteValue, kValueTooLarge,
// kCannotWrite (with the reason). Cost: linear in the samples. Thread-safe: calls into EDFlib are serialised.
std::optional<RecordFileError> WriteEdfFile(const std::string& path, const EdfWriteRequest& request);

}  // namespace kelvora
