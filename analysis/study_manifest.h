#pragma once
// The manifest of a study: a CSV file with a header line and one line per recording.
//
// Columns (any order, names as written, each at most once): subject (required), group, condition, file
// (required), bf_file (the blood-flow record that makes `file`, then a temperature record, a pair), and the
// reading columns column, channel, fs and markers. Fields follow RFC 4180 (quotes for commas, doubled quotes);
// blank lines are skipped. Relative paths are taken from the manifest's folder.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

struct StudyEntry {
  int line = 0;           // 1-based line of the manifest
  std::string subject;
  std::string group;      // may be empty
  std::string condition;  // may be empty
  std::string file;       // resolved path
  std::string bfFile;     // resolved path; empty without a pair
  std::string column;     // reading options of both files; empty when not given
  std::string channel;
  std::optional<int> fs;  // the one-column files' rate
  std::string markers;    // resolved path; empty when not given

  bool paired() const { return !bfFile.empty(); }
};

enum class ManifestErrorKind {
  kEmpty,                // no header line
  kUnknownColumn,        // `column` names a column the manifest does not know
  kDuplicateColumn,      // `column` appears twice in the header
  kMissingColumn,        // the header lacks `column` (subject or file)
  kBadQuotes,            // a quoted field is not closed, or text follows its closing quote
  kFieldCount,           // a line has another number of fields than the header (`count` has them)
  kEmptyField,           // `column` (subject or file) is empty
  kBadRate,              // fs is not a whole number from 1 to 1000000 (`text`)
  kSubjectInTwoGroups,   // the subject is in another group on `otherLine`
  kDuplicateRecording,   // the subject has this condition on `otherLine` already
  kNoRecordings,         // a header but no recording
};

struct ManifestError {
  ManifestErrorKind kind = ManifestErrorKind::kEmpty;
  int line = 0;        // 1-based
  std::string column;  // the column concerned
  std::string text;    // the field as given
  int count = 0;       // for kFieldCount: the fields found
  int otherLine = 0;
};

struct ManifestParse {
  std::vector<StudyEntry> entries;  // in the manifest's order; filled only when ok()
  std::optional<ManifestError> error;
  bool ok() const { return !error.has_value(); }
};

// Parses the manifest `text` whose relative paths start at `folder`. Pure.
ManifestParse ParseStudyManifest(std::string_view text, const std::filesystem::path& folder);

// The fields of one CSV line (RFC 4180, "," separator, no line ends inside quotes); empty when the quotes are
// broken. Pure.
std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line);

}  // namespace kelvora
