#include "analysis/study_manifest.h"

#include <charconv>
#include <map>

namespace kelvora {
namespace {

const char* const kColumns[] = {"subject", "group", "condition", "file", "bf_file", "column", "channel", "fs",
                                "markers"};

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return std::string(text);
}

ManifestError Error(ManifestErrorKind kind, int line, std::string column = {}, std::string text = {}) {
  ManifestError error;
  error.kind = kind;
  error.line = line;
  error.column = std::move(column);
  error.text = std::move(text);
  return error;
}

std::string Resolve(const std::string& path, const std::filesystem::path& folder) {
  if (path.empty()) return path;
  const std::filesystem::path given(path);
  return given.is_absolute() ? path : (folder / given).lexically_normal().string();
}

}  // namespace

std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (true) {
    std::string field;
    std::size_t start = i;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
    if (start < line.size() && line[start] == '"') {
      i = start + 1;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        field += line[i++];
      }
      if (!closed) return std::nullopt;
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i < line.size() && line[i] != ',') return std::nullopt;
    } else {
      const std::size_t comma = line.find(',', i);
      const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
      field = Trimmed(line.substr(i, end - i));
      i = end;
    }
    fields.push_back(std::move(field));
    if (i >= line.size()) break;
    ++i;  // the comma
  }
  return fields;
}

ManifestParse ParseStudyManifest(std::string_view text, const std::filesystem::path& folder) {
  ManifestParse parse;
  auto fail = [&](ManifestError error) {
    parse.entries.clear();
    parse.error = std::move(error);
    return parse;
  };
  std::map<std::string, int> index;  // column name -> field position
  std::map<std::string, std::pair<std::string, int>> groupOf;           // subject -> group, line
  std::map<std::pair<std::string, std::string>, int> recordingLine;    // subject, condition -> line
  bool header = false;
  int lineNumber = 0;
  std::size_t position = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") position = 3;  // a byte-order mark
  while (position < text.size()) {
    const std::size_t end = text.find('\n', position);
    const std::string_view line =
        text.substr(position, end == std::string_view::npos ? std::string_view::npos : end - position);
    position = end == std::string_view::npos ? text.size() : end + 1;
    ++lineNumber;
    if (Trimmed(line).empty()) continue;
    const auto fields = SplitCsvLine(line);
    if (!fields) return fail(Error(ManifestErrorKind::kBadQuotes, lineNumber));
    if (!header) {
      header = true;
      for (std::size_t f = 0; f < fields->size(); ++f) {
        const std::string& name = (*fields)[f];
        bool known = false;
        for (const char* column : kColumns) known = known || name == column;
        if (!known) return fail(Error(ManifestErrorKind::kUnknownColumn, lineNumber, name));
        if (index.count(name)) return fail(Error(ManifestErrorKind::kDuplicateColumn, lineNumber, name));
        index[name] = static_cast<int>(f);
      }
      for (const char* required : {"subject", "file"})
        if (!index.count(required)) return fail(Error(ManifestErrorKind::kMissingColumn, lineNumber, required));
      continue;
    }
    if (fields->size() != index.size()) {
      ManifestError error = Error(ManifestErrorKind::kFieldCount, lineNumber);
      error.count = static_cast<int>(fields->size());
      return fail(error);
    }
    auto field = [&](const char* name) -> std::string {
      const auto it = index.find(name);
      return it == index.end() ? std::string() : (*fields)[static_cast<std::size_t>(it->second)];
    };
    StudyEntry entry;
    entry.line = lineNumber;
    entry.subject = field("subject");
    entry.group = field("group");
    entry.condition = field("condition");
    entry.file = field("file");
    entry.bfFile = field("bf_file");
    entry.column = field("column");
    entry.channel = field("channel");
    entry.markers = field("markers");
    for (const char* required : {"subject", "file"})
      if (field(required).empty()) return fail(Error(ManifestErrorKind::kEmptyField, lineNumber, required));
    if (const std::string fs = field("fs"); !fs.empty()) {
      int rate = 0;
      const auto r = std::from_chars(fs.data(), fs.data() + fs.size(), rate);
      if (r.ec != std::errc() || r.ptr != fs.data() + fs.size() || rate < 1 || rate > 1000000)
        return fail(Error(ManifestErrorKind::kBadRate, lineNumber, "fs", fs));
      entry.fs = rate;
    }
    if (const auto it = groupOf.find(entry.subject); it != groupOf.end() && it->second.first != entry.group) {
      ManifestError error = Error(ManifestErrorKind::kSubjectInTwoGroups, lineNumber, "group", entry.group);
      error.otherLine = it->second.second;
      return fail(error);
    }
    groupOf.emplace(entry.subject, std::make_pair(entry.group, lineNumber));
    if (const auto it = recordingLine.find({entry.subject, entry.condition}); it != recordingLine.end()) {
      ManifestError error = Error(ManifestErrorKind::kDuplicateRecording, lineNumber, "condition", entry.condition);
      error.otherLine = it->second;
      return fail(error);
    }
    recordingLine.emplace(std::make_pair(entry.subject, entry.condition), lineNumber);
    entry.file = Resolve(entry.file, folder);
    entry.bfFile = Resolve(entry.bfFile, folder);
    entry.markers = Resolve(entry.markers, folder);
    parse.entries.push_back(std::move(entry));
  }
  if (!header) return fail(Error(ManifestErrorKind::kEmpty, 1));
  if (parse.entries.empty()) return fail(Error(ManifestErrorKind::kNoRecordings, lineNumber));
  return parse;
}

}  // namespace kelvora
