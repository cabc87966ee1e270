#pragma once
// provenance.json of a study: the program, its version, the command, every setting and the SHA-256 of every
// input file, written alike by the CLI and the window.
#include <string>
#include <utility>
#include <vector>

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

}  // namespace kelvora
