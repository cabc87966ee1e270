#pragma once
// Reading EDF, EDF+ and BDF(+) files through EDFlib: the channel list, the annotations, and the physical values
// of chosen channels.
#include <optional>
#include <string>
#include <vector>

#include "formats/imported_channel.h"
#include "formats/record_file_error.h"

namespace kelvora {

enum class EdfFileType { kEdf, kEdfPlus, kBdf, kBdfPlus };

// One ordinary signal (annotation signals are not listed).
struct EdfChannelInfo {
  std::string label;        // blanks at the end removed
  std::string unit;         // the physical dimension ("degC", "uV"), blanks at the end removed
  double sampleRateHz = 0;  // samples per record / record duration
  long long sampleCount = 0;
  double physicalMinimum = 0, physicalMaximum = 0;
  int digitalMinimum = 0, digitalMaximum = 0;
  std::string transducer;
  std::string prefilter;
};

struct EdfAnnotation {
  double onsetS = 0;       // seconds from the start of the recording
  double durationS = -1;   // seconds; negative when the file gives none
  std::string text;        // UTF-8
};

struct EdfFileInfo {
  EdfFileType type = EdfFileType::kEdf;
  std::vector<EdfChannelInfo> channels;
  std::vector<EdfAnnotation> annotations;  // EDF+ and BDF+ only, in file order
  double durationS = 0;
  long long dataRecords = 0;
  double recordDurationS = 0;
  int startYear = 0, startMonth = 0, startDay = 0, startHour = 0, startMinute = 0, startSecond = 0;
};

struct EdfReadOptions {
  std::vector<ChannelRef> channels;  // the channels to read, in the order wanted; none: only the file's info
  long long maxSamples = -1;         // at most this many samples per channel (the first ones); < 0: all
};

struct EdfReadResult {
  EdfFileInfo info;                        // filled when the header was sound, also when a channel was not found
  std::vector<ImportedChannel> channels;   // one per wanted channel; filled only when ok()
  std::vector<int> channelNumbers;         // the 1-based number of each in info.channels
  std::optional<RecordFileError> error;

  bool ok() const { return !error.has_value(); }
};

// Reads the header, the annotations and the wanted channels of the EDF, EDF+, BDF or BDF+ file at `path`.
// The header is first checked field by field (CheckEdfHeader), so a malformed one gives kEdfHeader naming the
// field and signal; a fault that only EDFlib finds in a + file's annotation signal is kEdfHeader with field
// kAnnotations; EDF+D / BDF+D files are kEdfDiscontinuous. A channel is chosen by 1-based number among the
// ordinary signals or by label (FindByRef: kNoSuchChannel, kAmbiguousChannel). Values are physical
// (EDFlib's scaling of the digital samples); a channel's rate is samples per record / record duration.
// A padding mark of WriteEdfFile ("channel C has N samples") makes channel C's sampleCount N and is not listed
// among the annotations.
// Missing or unreadable files: kMissingFile, kCannotOpen. Cost: the header, the annotation signal and the wanted
// samples are read once. Thread-safe: calls into EDFlib are serialised.
EdfReadResult ReadEdfFile(const std::string& path, const EdfReadOptions& options = {});

// The channel number of `ref` among info.channels (1-based), with the error of a name or number not found.
std::optional<RecordFileError> FindEdfChannel(const EdfFileInfo& info, const ChannelRef& ref, int& number);

}  // namespace kelvora
