#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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

// What the temporary file is filled with: `fd` is open on `temporaryPath`. Gives the reason of a failure.
using Filler = std::function<std::optional<std::string>(int fd, const std::string& temporaryPath)>;

// Creates "<prefix>.kelvora-tmp-XXXXXX" with `mode`, fills it, flushes it to the disk and, with a `target`,
// renames it over the target; without one, hands the finished file to `use` and removes it. On any failure the
// temporary file is removed.
std::optional<std::string> ThroughTemporary(const std::string& prefix, mode_t mode, const Filler& fill,
                                            const std::string* target,
                                            const std::function<std::optional<std::string>(const std::string&)>& use) {
  std::string temporary = prefix + ".kelvora-tmp-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return Reason(errno);
  const auto discard = [&](std::optional<std::string> reason) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return reason;
  };
  if (::fchmod(fd, mode) != 0) return discard(Reason(errno));
  if (auto reason = fill(fd, temporary)) return discard(std::move(reason));
  // A full disk or a failing device may report only at fsync or close: the rename waits for both.
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) return discard(Reason(errno));
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return Reason(error);
  }
  if (target == nullptr) {
    std::optional<std::string> reason = use(temporary);
    ::unlink(temporary.c_str());
    return reason;
  }
  if (::rename(temporary.c_str(), target->c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return Reason(error);
  }
  return std::nullopt;
}

// The file a save replaces (a link resolved to the file it names) and its state.
struct SaveTarget {
  std::filesystem::path path;
  std::filesystem::file_status status;
};

SaveTarget ResolveTarget(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  return {target, fs::status(target, ec)};
}

// A replaced file keeps its permissions, a new one gets 0666 less the umask.
mode_t ModeFor(const SaveTarget& target) {
  namespace fs = std::filesystem;
  return fs::exists(target.status) ? static_cast<mode_t>(target.status.permissions() & fs::perms::all)
                                   : static_cast<mode_t>(0666 & ~CurrentUmask());
}

bool IsDeviceOrPipe(const SaveTarget& target) {
  return std::filesystem::exists(target.status) && !std::filesystem::is_regular_file(target.status);
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Reason(errno != 0 ? errno : EIO);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return Reason(EIO);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view text) {
  if (path.empty()) return Reason(ENOENT);
  const SaveTarget target = ResolveTarget(path);
  if (std::filesystem::is_directory(target.status)) return Reason(EISDIR);
  if (IsDeviceOrPipe(target)) return WriteInPlace(target.path.string(), text);
  const std::string targetPath = target.path.string();
  return ThroughTemporary(
      targetPath, ModeFor(target),
      [&](int fd, const std::string&) -> std::optional<std::string> {
        if (!WriteAll(fd, text)) return Reason(errno);
        return std::nullopt;
      },
      &targetPath, {});
}

std::optional<std::string> WriteFileAtomicallyThrough(const std::string& path, const PathWriter& write) {
  if (path.empty()) return Reason(ENOENT);
  const SaveTarget target = ResolveTarget(path);
  if (std::filesystem::is_directory(target.status)) return Reason(EISDIR);
  const auto fill = [&](int, const std::string& temporary) { return write(temporary); };
  if (IsDeviceOrPipe(target)) {
    // Nothing can be renamed over a device: the finished file's bytes are written to it.
    const std::string prefix = (std::filesystem::temp_directory_path() / "kelvora-device-write").string();
    return ThroughTemporary(prefix, 0600, fill, nullptr, [&](const std::string& temporary) {
      std::string bytes;
      if (auto reason = ReadWholeFile(temporary, bytes)) return reason;
      return WriteInPlace(target.path.string(), bytes);
    });
  }
  const std::string targetPath = target.path.string();
  return ThroughTemporary(targetPath, ModeFor(target), fill, &targetPath, {});
}

}  // namespace kelvora
