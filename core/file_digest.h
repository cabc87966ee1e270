#pragma once
// SHA-256 digests of texts and files (Nettle), in lower-case hexadecimal.
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

// The 64 hex digits of the SHA-256 of `bytes`. Pure; any thread.
std::string Sha256Hex(std::string_view bytes);

// The SHA-256 of the file's bytes, read in blocks; empty when the file cannot be read. Any thread.
std::optional<std::string> FileSha256Hex(const std::string& path);

}  // namespace kelvora
