#include "analysis/study_provenance.h"

#include <cstdio>

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

}  // namespace kelvora
