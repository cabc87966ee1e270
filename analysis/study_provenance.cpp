#include "analysis/study_provenance.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/file_digest.h"

namespace kelvora {

std::string StudyJsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned char>(c));
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string StudyProvenanceJson(const std::string& program, const std::string& command,
                                const std::string& settingsJson,
                                const std::vector<std::pair<std::string, std::string>>& fields,
                                const std::vector<StudyProvenanceInput>& inputs) {
  std::string json = "{\n  \"program\": " + StudyJsonString(program) + ",\n  \"version\": \"" KELVORA_VERSION
                     "\",\n  \"command\": " + StudyJsonString(command) + ",\n";
  for (const auto& [key, value] : fields) json += "  " + StudyJsonString(key) + ": " + value + ",\n";
  json += "  \"settings\": " + settingsJson + ",\n  \"inputs\": [";
  for (std::size_t i = 0; i < inputs.size(); ++i)
    json += std::string(i ? "," : "") + "\n    {\"line\": " + std::to_string(inputs[i].line) +
            ", \"role\": " + StudyJsonString(inputs[i].role) + ", \"path\": " + StudyJsonString(inputs[i].path) +
            ", \"sha256\": " + StudyJsonString(inputs[i].digest) + "}";
  json += "\n  ]\n}\n";
  return json;
}

StudyCollected CollectStudyResults(const std::vector<StudyEntry>& entries, const StudyRunOptions& run,
                                   const StudyRunOutcome& outcome, const std::string& settingsJson,
                                   const std::string& manifestText) {
  StudyCollected collected;
  StudyIndex& index = collected.index;
  index.settingsDigest = Sha256Hex(settingsJson);
  index.manifestDigest = Sha256Hex(manifestText);
  index.entryCount = static_cast<int>(entries.size());
  const std::filesystem::path results = std::filesystem::path(run.directory) / "results";
  for (std::size_t s = 0; s < run.selection.size() && s < outcome.outcomes.size(); ++s) {
    const StudyEntry& entry = entries[run.selection[s]];
    const StudyRecordingOutcome& state = outcome.outcomes[s];
    bool ok = state.state == StudyRecordingState::kComputed || state.state == StudyRecordingState::kReused;
    std::optional<StudyResultFile> result;
    if (ok) {
      // Read back rather than kept from the run: a reused result is only on disk.
      std::ifstream in(results / (state.key + ".csv"), std::ios::binary);
      std::ostringstream text;
      if (in) text << in.rdbuf();
      result = in ? ParseStudyResult(text.str()) : std::nullopt;
      ok = result.has_value();
    }
    if (!ok) {
      collected.failed.push_back(s);
    } else {
      (state.state == StudyRecordingState::kComputed ? collected.computed : collected.reused) += 1;
      for (const auto& [digest, file] : result->inputs) collected.inputs.push_back({entry.line, "input", file, digest});
      collected.results.push_back(std::move(*result));
    }
    index.lines.push_back({entry.line, state.key, ok});
  }
  return collected;
}

}  // namespace kelvora
