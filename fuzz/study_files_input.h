#pragma once
// Fuzzes the readers of a study's files: the manifest, a recording's result file and the shard index. The input
// is the file's text, read as each of the three. A manifest read is checked for its rules (subject and file
// present, lines increasing, one recording per subject and condition, one group per subject) and a refusal for
// a line inside the text; a result or index read is written again, read again and compared.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "analysis/analysis_csv.h"
#include "analysis/study.h"
#include "analysis/study_manifest.h"
#include "fuzz/fuzz_check.h"

namespace kelvora::fuzz {

inline std::string RunStudyFilesInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ManifestParse manifest = ParseStudyManifest(text, "/study");
  if (manifest.ok()) {
    Check(!manifest.entries.empty());
    int last = 0;
    std::set<std::pair<std::string, std::string>> recordings;
    std::map<std::string, std::string> groups;
    for (const StudyEntry& entry : manifest.entries) {
      Check(!entry.subject.empty() && !entry.file.empty());
      Check(entry.line > last);
      last = entry.line;
      Check(recordings.insert({entry.subject, entry.condition}).second);
      Check(groups.emplace(entry.subject, entry.group).first->second == entry.group);
      Check(!entry.fs || (*entry.fs >= 1 && *entry.fs <= 1000000));
    }
  } else {
    const long long lines = static_cast<long long>(std::count(text.begin(), text.end(), '\n')) + 1;
    Check(manifest.error->line >= 1 && manifest.error->line <= lines);
  }
  if (const auto result = ParseStudyResult(text)) {
    std::string again = result->header + "\n";
    for (const auto& [digest, path] : result->inputs) again += "# input " + digest + " " + path + "\n";
    again += kStudyRowsCsvHeader;
    for (const StudyRow& row : result->rows) again += StudyRowCsvLine(row);
    const auto reread = ParseStudyResult(again);
    Check(reread.has_value());
    Check(reread->rows.size() == result->rows.size());
    for (std::size_t i = 0; i < result->rows.size(); ++i) {
      Check(reread->rows[i].value == result->rows[i].value);
      Check(reread->rows[i].hasValue == result->rows[i].hasValue && reread->rows[i].note == result->rows[i].note);
      Check(reread->rows[i].startS == result->rows[i].startS && reread->rows[i].endS == result->rows[i].endS);
      Check(result->rows[i].hasValue || !result->rows[i].note.empty());
      Check(reread->rows[i].subject == result->rows[i].subject && reread->rows[i].band == result->rows[i].band);
    }
  }
  if (const auto index = ParseStudyIndex(text)) {
    const auto reread = ParseStudyIndex(FormatStudyIndex(*index));
    Check(reread.has_value());
    Check(reread->lines.size() == index->lines.size() && reread->entryCount == index->entryCount);
  }
  return {};
}

}  // namespace kelvora::fuzz
