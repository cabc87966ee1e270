#pragma once
// provenance.json of a study: the program, its version, the command, every setting and the SHA-256 of every
// input file, written alike by the CLI and the window.
#include <string>
#include <utility>
#include <vector>

#include "analysis/study.h"

namespace kelvora {

struct StudyProvenanceInput {
  int line = 0;      // the manifest line (0 for the manifest itself)
  std::string role;  // "manifest", "input"
  std::string path, digest;
};

// `text` as a JSON string literal, quotes included. Pure.
std::string StudyJsonString(const std::string& text);

// The provenance object: "program", "version", "command", then each of `fields` (key, JSON value as written),
// "settings" (StudySettingsJson's object) and "inputs". Pure.
std::string StudyProvenanceJson(const std::string& program, const std::string& command,
                                const std::string& settingsJson,
                                const std::vector<std::pair<std::string, std::string>>& fields,
                                const std::vector<StudyProvenanceInput>& inputs);

// What a finished run leaves for the tables, alike for the CLI and the window: each selected recording's result
// read back from DIR/results (in selection order), the run's index, the inputs for the provenance (of the
// results, without the manifest), and which recordings have no result.
struct StudyCollected {
  std::vector<StudyResultFile> results;
  StudyIndex index;
  std::vector<StudyProvenanceInput> inputs;
  std::vector<std::size_t> failed;  // positions in run.selection, increasing
  int computed = 0, reused = 0;
};
StudyCollected CollectStudyResults(const std::vector<StudyEntry>& entries, const StudyRunOptions& run,
                                   const StudyRunOutcome& outcome, const std::string& settingsJson,
                                   const std::string& manifestText);

}  // namespace kelvora
