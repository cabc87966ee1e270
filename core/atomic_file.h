#pragma once
// Saving a file so that a failure never leaves it half-written.
#include <functional>
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

// Writes `path` through `write`, for writers that need a path of their own (a library that opens the file
// itself). `write` gets the path of a fresh empty temporary file beside the target (for a device or a pipe: in
// the system's temporary folder) and fills it, giving nothing on success or the reason of its failure. The
// temporary file then replaces the target as WriteFileAtomically does (a device or a pipe gets its bytes
// copied); on any failure, of `write` or after it, the target is as it was and no temporary file is left.
// `write` must write only to the path it gets and must not remove it. Returns nothing on success, else the
// reason. Cost: the writer's work, one fsync, and for a device one copy. Any thread.
using PathWriter = std::function<std::optional<std::string>(const std::string& temporaryPath)>;
std::optional<std::string> WriteFileAtomicallyThrough(const std::string& path, const PathWriter& write);

}  // namespace kelvora
