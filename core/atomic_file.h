#pragma once
// Saving a file so that a failure never leaves it half-written.
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// Writes `text` to `path`. A regular file (new or existing) is written as a temporary file beside it
// ("<name>.kelvora-tmp-XXXXXX", created afresh, never through a link), flushed to the disk, then renamed over the
// target: afterwards either the whole text is there or the target is as it was and no temporary file is left.
// A link is followed, so the file it names is replaced and the link stays; a replaced file keeps its
// permissions, a new one gets 0666 less the umask. A path that names a device or a pipe (/dev/stdout,
// /dev/full) is written directly, as nothing can be renamed over it; a folder is refused.
// Returns nothing on success, else the system's reason ("No such file or directory", "Permission denied",
// "No space left on device", "Is a directory"). Cost: one write and one fsync. Any thread.
std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view text);

}  // namespace kelvora
