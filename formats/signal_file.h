#pragma once
// Signal text files: one sample per line, no header, optional TAB-separated extra columns (only the first is
// used), numbers with the system's decimal separator, at most three decimals when written.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/signal_record.h"
#include "core/text_helpers.h"
#include "formats/line_splitter.h"
#include "formats/record_file_error.h"

namespace kelvora {

// The decimal separator rules of signal files: the system's separator, and whether both "," and "." are
// accepted as the decimal mark (on when the system separator is not ",").
struct DecimalFormat {
  char separator = '.';
  bool normalizeSeparators = true;

  static DecimalFormat ForSeparator(char separator) { return DecimalFormat{separator, separator != ','}; }
};

// The kelvin rule of temperature records: a first sample above kKelvinThreshold means the record is in kelvin,
// and kKelvinOffset is subtracted from every sample.
inline constexpr double kKelvinThreshold = 250.0;
inline constexpr double kKelvinOffset = 273.15;

// The "Big file" texts: the single-number layout has a trailing blank, the TAB layout has none.
inline constexpr const char* kBigFileMessage = "Big file - points > 20000 ";
inline constexpr const char* kBigFileTabMessage = "Big file - points > 20000";

enum class SignalFileErrorKind {
  kMissingFile,    // "File does not exist"
  kCannotOpen,     // "Cannot open file"
  kInvalidNumber,  // "is not a valid number": `line` and `text` name the value (also a value far too long)
  kCannotWrite,    // "Cannot write file"
  kInvalidValue,   // "Value is not a finite number": a sample that cannot be written (`line` is its line)
};

struct SignalFileError {
  SignalFileErrorKind kind = SignalFileErrorKind::kCannotOpen;
  std::string message;  // the fixed English text above
  std::string path;
  int line = 0;        // 1-based line of the fault; 0 when the fault is not about one line
  std::string text;    // the offending value text as it stands in the file; beyond 40 bytes cut, with "..."
  std::string reason;  // the system's explanation of a failed open, read or write ("No space left on device")
};

// The one text of a file error, for every caller: "PATH: message", with ":LINE" after the path when the fault
// is on one line, the offending value quoted before the message ("PATH:3: 'abc' is not a valid number"), and
// the system's reason in parentheses ("PATH: Cannot write file (No space left on device)"). Control bytes of
// the path and control and non-ASCII bytes of the value are shown as \xNN, so a binary file keeps the message
// on one clean line.
std::string DescribeFileError(const SignalFileError& error);

// The error as the one-way-in reader (record_file.h) gives it: kMissingFile, kCannotOpen, kCannotWrite;
// kBadNumber (column 0: a signal text has one) for an invalid number; kNonFiniteValue (`line`) for a value
// that cannot be written.
RecordFileError RecordErrorOf(const SignalFileError& error);

struct SignalReadResult {
  SignalRecord record;                   // filled only when ok()
  std::optional<SignalFileError> error;  // set when the load failed
  std::string warning;                   // kBigFileMessage or kBigFileTabMessage when the file was truncated
  bool truncated = false;                // more than 20,000 samples: the first 20,000 were kept
  bool kelvin = false;                   // a temperature file in kelvin, converted to degrees Celsius
  bool tabLayout = false;                // the first line held a TAB

  bool ok() const { return !error.has_value(); }
};

// Reads a signal text by the rules of ReadSignalFile, fed in pieces that may split lines and line ends anywhere.
// The lines are LineSplitter's, as for delimited text: they end at LF, CR LF or a lone CR (old Mac files); a
// UTF-8 byte-order mark before the first line is skipped. A value text longer than 4096 bytes is an invalid number without being kept whole, so a file of
// one enormous line costs no more memory than a short one. `path` only names the file in errors.
// One reader per text; not thread-safe, but any thread may own one.
class SignalTextReader {
 public:
  // maxSamples >= 1: the samples kept (kMaxRecordSamples, the program's records, unless a caller reads more).
  SignalTextReader(std::string path, bool temperature, DecimalFormat format, int maxSamples = kMaxRecordSamples);
  SignalTextReader(const SignalTextReader&) = delete;  // its line splitter calls back into it
  SignalTextReader& operator=(const SignalTextReader&) = delete;

  // Takes the next piece of the text. Returns false once the rest cannot change the result (a bad line, or
  // more than kMaxRecordSamples samples), so the caller may stop reading.
  bool feed(std::string_view piece);
  // Ends the text and gives the result; call once, after the last feed.
  SignalReadResult finish();

 private:
  static constexpr std::size_t kMaxLineKept = 4096;

  bool takeLine(std::string_view line, long long number, std::size_t fullLength);
  bool pendingValueCannotFit() const;
  void fail(const std::string& text);

  std::string m_path;
  bool m_temperature;
  DecimalFormat m_format;
  int m_maxSamples;
  SignalReadResult m_result;
  double m_offset = 0.0;
  bool m_done = false;
  long long m_lineNumber = 0;  // the line being taken, then the last one taken
  // One byte beyond the longest value kept, so that a TAB right after a value of kMaxLineKept bytes is seen.
  LineSplitter m_lines;
};

// Reads a signal file into a new record; the caller assigns it to its destination only when ok(), so a failed
// load leaves the destination as it was.
// - Layout from the first line: with a TAB, each line's value is the text before its first TAB; otherwise the
//   whole line. With format.normalizeSeparators, "," and "." both read as the decimal mark.
// - temperature: when the first line's value exceeds 250 the file is in kelvin and 273.15 is subtracted from
//   every sample (an empty or non-numeric first line is then an invalid number at line 1).
// - A blank line inside the data keeps its index and takes the previous sample's value (a blank line before the
//   first number takes the first number's value); blank lines at the end are ignored.
// - At most kMaxRecordSamples samples: with more, the first 20,000 are kept and `warning` holds the "Big file"
//   text of the layout.
// - minimum and maximum are the true extremes; `normalized` is filled (all zeros for a constant record). An empty
//   file (or one of blank lines only) read without the temperature flag gives an empty record.
// - Lines end at LF, CR LF or CR; a UTF-8 byte-order mark is skipped; numbers may carry blanks around them and
//   a "+" sign; "-0" reads as 0; "nan", "inf" and values beyond the double range (1e400) are invalid numbers.
// - Reading stops at the first bad line or once the record is full, so a huge file is not read to its end.
// Cost: one pass over the file in 64 KiB pieces; memory for the samples only. Any thread.
// maxSamples replaces the limit of 20,000 (the analysis reads up to kMaxAnalysisRecordSamples); the "Big file"
// warning then names it.
SignalReadResult ReadSignalFile(const std::string& path, bool temperature, DecimalFormat format,
                                int maxSamples = kMaxRecordSamples);

// Sets the record's minimum and maximum to the true extremes of values[0 .. lastIndex] and fills `normalized`
// with (value - minimum) / (maximum - minimum), all zeros when maximum equals minimum. An empty record gets
// minimum = maximum = 0 and no normalized values.
void NormalizeRecord(SignalRecord& record);

// Writes values[0 .. lastIndex] to `path`, one per line ("\n" line ends). The text goes to a temporary file
// beside the target which then replaces it, so an existing file is never left half-written; on any failure the
// target is unchanged and the error is returned. A non-finite sample is refused before anything is written.
// lastIndex beyond the values is taken as the last value. The caller applies EnsureExtension when the name came
// from a save dialog. Any thread.
std::optional<SignalFileError> WriteSignalFile(const std::vector<double>& values, int lastIndex,
                                               const std::string& path, char separator,
                                               ValuePrecision precision = ValuePrecision::kThreeDecimals);

// Writes `text` to `path` with WriteFileAtomically (core/atomic_file.h): either the whole text is there
// afterwards or the target is unchanged and no temporary file is left (kCannotWrite, with the system's `reason`:
// a missing or read-only folder, a full disk, a path that is a folder). Any thread.
std::optional<SignalFileError> WriteTextFileAtomically(const std::string& path, const std::string& text);

}  // namespace kelvora
