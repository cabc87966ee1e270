#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kelvora {
namespace {

std::string Reason(int error) { return std::generic_category().message(error); }

// The process's umask, read without changing it (umask() would, for a moment, for every thread).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == "Umask:") {
      std::string octal;
      status >> octal;
      return static_cast<mode_t>(std::strtoul(octal.c_str(), nullptr, 8) & 0777);
    }
  }
  return 022;
}

// Writes all of `text` to `fd`; false with errno set on failure.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A device or a pipe: written in place.
std::optional<std::string> WriteInPlace(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return Reason(errno);
  if (!WriteAll(fd, text)) {
    const int error = errno;
    ::close(fd);
    return Reason(error);
  }
  if (::close(fd) != 0) return Reason(errno);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view text) {
  namespace fs = std::filesystem;
  if (path.empty()) return Reason(ENOENT);
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  const fs::file_status status = fs::status(target, ec);
  if (fs::is_directory(status)) return Reason(EISDIR);
  if (fs::exists(status) && !fs::is_regular_file(status)) return WriteInPlace(target.string(), text);
  const mode_t mode = fs::exists(status) ? static_cast<mode_t>(status.permissions() & fs::perms::all)
                                         : static_cast<mode_t>(0666 & ~CurrentUmask());

  std::string temporary = target.string() + ".kelvora-tmp-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return Reason(errno);
  const auto discard = [&](int error) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return Reason(error);
  };
  if (::fchmod(fd, mode) != 0) return discard(errno);
  if (!WriteAll(fd, text)) return discard(errno);
  // A full disk or a failing device may report only at fsync or close: the rename waits for both.
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) return discard(errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return Reason(error);
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return Reason(error);
  }
  return std::nullopt;
}

}  // namespace kelvora
