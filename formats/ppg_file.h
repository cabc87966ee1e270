#pragma once
// Photoplethysmogram (PPG) files: one header line, then one sample per line.
#include <string>
#include <string_view>
#include <optional>
#include <vector>

#include "formats/signal_file.h"

namespace kelvora {

// The most samples a PPG keeps from a file; a file with more gives the "Big file" message.
inline constexpr int kMaxPpgSamples = 2000000;

// A PPG as read from a file, with what the reader derives from it.
struct PpgSignal {
  std::vector<double> values;  // samples 0 .. lastIndex(), in file order (blank lines take no index)
  double minimum = 0.0;        // smallest sample (0 for an empty signal)
  double maximum = 0.0;        // largest sample (0 for an empty signal)
  // (value - minimum) / (maximum - minimum) * 10, range 0 .. 10. Empty when the signal cannot be scaled
  // (no samples, or maximum = minimum).
  std::vector<double> scaled;
  double inRateHz = 50.0;  // input rate the duration was worked out with
  int durationS = 0;       // round(lastIndex / inRateHz) seconds, what the reader puts into the duration edit

  int count() const { return static_cast<int>(values.size()); }
  int lastIndex() const { return count() - 1; }
  bool empty() const { return values.empty(); }
  // True when the scaled copy exists (at least one sample and maximum > minimum).
  bool scalable() const { return !scaled.empty(); }
  // Time of sample i on the PPG chart, in minutes: (i + 1) / inRate / 60. The accepted maxima and minima of the
  // envelope are plotted at the time of their sample.
  double minutesAt(int i) const { return (i + 1) / inRateHz / 60.0; }
};

enum class PpgReadStatus {
  kOk,           // every sample read
  kBigFile,      // more than kMaxPpgSamples samples: the first kMaxPpgSamples are kept, the read still succeeds
  kMissingFile,  // the file does not exist
  kCannotOpen,   // the file could not be opened or read
  kBadNumber,    // a line is not a number: nothing is returned
};

// The outcome of reading a PPG. `signal` is valid when ok(); `message` is a fixed English text for the
// user: the error, "Big file", or, with kOk, the note that a constant signal (read fine, no scaled copy)
// cannot be scaled; empty otherwise.
struct PpgReadResult {
  PpgSignal signal;
  PpgReadStatus status = PpgReadStatus::kOk;
  std::string message;
  int line = 0;      // 1-based file line of a bad number (the header is line 1); 0 otherwise
  std::string text;  // the bad number's text as it stands in the file (trimmed; beyond 40 bytes cut, with "...")

  bool ok() const { return status == PpgReadStatus::kOk || status == PpgReadStatus::kBigFile; }
};

// The text of a "Big file" read.
inline constexpr const char* kPpgBigFileMessage = "Big file";

// Parses PPG text. The first line is a header and is discarded; an empty (or all-blank) line is skipped
// without taking an index; every other line is one number as a whole (no TAB columns). `decimalSeparator`
// is the locale's mark: when it is not ',', both ',' and '.' are accepted as the decimal mark; when it is
// ',', only ',' is. Lines end at LF, CR LF or a lone CR; blanks around a number and a leading "+" are
// allowed; "-0" reads as 0; "nan", "inf", values beyond the double range (1e400) and texts of 128 bytes or
// more are bad numbers. A bad number's message quotes at most 40 bytes of the line, control and non-ASCII
// bytes as \xNN. The scaled copy and the duration round(lastIndex / inRateHz) are filled in; `inRateHz` must be
// positive and finite. Cost: linear in the text, about 50 ns a line. Pure; any thread.
PpgReadResult ParsePpgText(std::string_view text, double inRateHz = 50.0, char decimalSeparator = '.');

// Reads the PPG file at `path` as ParsePpgText does. A missing file gives kMissingFile with
// "File <path> does not exist", one that cannot be read kCannotOpen with "Cannot open file <path>". Any thread.
PpgReadResult ReadPpgFile(const std::string& path, double inRateHz = 50.0, char decimalSeparator = '.');

// The failure of a PPG read as a file error of `path` (missing, cannot open, or a bad number with its line and
// text), for DescribeFileError; nothing when the read succeeded.
std::optional<SignalFileError> PpgFileError(const PpgReadResult& read, const std::string& path);

// Fills signal.minimum, maximum, scaled and durationS from signal.values and signal.inRateHz (what the
// reader does after reading; useful for generated signals).
void FinishPpgSignal(PpgSignal& signal);

}  // namespace kelvora
