#include "core/file_digest.h"

#include <nettle/sha2.h>

#include <array>
#include <fstream>

namespace kelvora {
namespace {

std::string Hex(const std::array<std::uint8_t, SHA256_DIGEST_SIZE>& digest) {
  static const char* kDigits = "0123456789abcdef";
  std::string text;
  text.reserve(2 * digest.size());
  for (std::uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&context, digest.size(), digest.data());
  return Hex(digest);
}

std::optional<std::string> FileSha256Hex(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  sha256_ctx context;
  sha256_init(&context);
  std::array<char, 1 << 16> block{};
  while (in) {
    in.read(block.data(), block.size());
    const std::streamsize got = in.gcount();
    if (got > 0) sha256_update(&context, static_cast<std::size_t>(got), reinterpret_cast<const std::uint8_t*>(block.data()));
  }
  if (in.bad()) return std::nullopt;
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&context, digest.size(), digest.data());
  return Hex(digest);
}

}  // namespace kelvora
