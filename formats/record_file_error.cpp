#include "formats/record_file_error.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kelvora {

std::string ShortenedErrorText(const std::string& text) {
  constexpr std::size_t kKeptBytes = 40;
  if (text.size() <= kKeptBytes) return text;
  return text.substr(0, kKeptBytes) + "...";
}

std::string ReadFileStart(const std::string& path, std::size_t bytes) {
  std::ifstream in(path, std::ios::binary);
  std::string start(bytes, '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  start.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  return start;
}

std::optional<RecordFileError> CheckReadableFile(const std::string& path) {
  RecordFileError error;
  error.path = path;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    error.kind = RecordFileErrorKind::kMissingFile;
    return error;
  }
  error.kind = RecordFileErrorKind::kCannotOpen;
  if (std::filesystem::is_directory(status)) {
    error.reason = std::make_error_code(std::errc::is_a_directory).message();
    return error;
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error.reason = errno != 0 ? std::generic_category().message(errno) : std::string();
    return error;
  }
  return std::nullopt;
}

}  // namespace kelvora
