#pragma once
// The fields of an EDF, EDF+, BDF or BDF+ header checked one by one, so that a malformed file is refused with the
// name of the field at fault (the library that reads the samples says only that the file has format errors).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/record_file_error.h"

namespace kelvora {

// What a sound header says.
struct EdfHeaderSummary {
  bool bdf = false;            // 24-bit samples
  bool plus = false;           // EDF+ or BDF+
  bool discontinuous = false;  // EDF+D or BDF+D
  int signals = 0;             // every signal, annotation signals included
  long long dataRecords = 0;
  double recordDurationS = 0.0;
  std::vector<bool> annotation;         // per signal: an "EDF Annotations" / "BDF Annotations" signal of a + file
  std::vector<long long> samplesPerRecord;
  long long headerBytes = 0;  // 256 * (signals + 1)
  long long recordBytes = 0;  // bytes of one data record
};

struct EdfHeaderCheck {
  EdfHeaderSummary summary;
  std::optional<RecordFileError> error;  // kEdfHeader with `field`, `signal` (1-based, 0 for the main header)
                                         // and the field's bytes in `text`; kEdfDiscontinuous

  bool ok() const { return !error.has_value(); }
};

// The bytes of the header a check needs: the first 256, then 256 per signal (at most 640 signals).
inline constexpr std::size_t kEdfMaxHeaderBytes = 256 * 641;

// Checks `header` (the file's first bytes, at least the whole header when the file has it) and `fileSize` in the
// order the fields stand: version, patient and recording (printable ASCII; for EDF+ and BDF+ also their
// subfields: patient code, sex, birth date, name; "Startdate dd-MMM-yyyy", matching the start date), start date
// dd.mm.yy, start time hh.mm.ss, signal count 1..640, header bytes 256 * (count + 1), reserved, data records >= 1,
// record duration (a number > 0 unless every signal is an annotation signal), then per signal: label (a + file
// needs an annotation signal), transducer (blank for annotation signals), physical dimension, physical minimum
// and maximum (numbers, different), digital minimum and maximum (whole numbers within the sample range, maximum
// above minimum, an annotation signal's the full range), prefilter, samples per record (>= 1, a record at most
// 10 MiB, 15 MiB for BDF), reserved; finally the file size, header plus records exactly. Numbers are written as
// the format allows: an optional sign, digits (a decimal point and exponent for reals), blanks only after them.
// Cost: linear in the header. Pure; any thread. `path` only names the file in errors.
EdfHeaderCheck CheckEdfHeader(std::string_view header, long long fileSize, const std::string& path = {});

// True when `start` (the first bytes of a file) begins as an EDF ("0" and seven blanks) or BDF (0xFF "BIOSEMI")
// header does.
bool LooksLikeEdf(std::string_view start);

}  // namespace kelvora
