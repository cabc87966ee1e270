#include "analysis/png_encoder.h"

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace kelvora {

namespace {

void AppendBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFFu);
}

// A chunk: length, type, data, and the CRC-32 of type and data.
void AppendChunk(std::string& out, const char type[4], const std::string& data) {
  AppendBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  const auto crc = crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  AppendBigEndian(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::string EncodePng(const RgbImage& image) {
  if (image.width < 1 || image.height < 1) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
  if (image.rgb.size() != rowBytes * static_cast<std::size_t>(image.height)) return {};
  // Each row is preceded by its filter type byte, 0 ("none").
  std::vector<Bytef> raw;
  raw.reserve((rowBytes + 1) * static_cast<std::size_t>(image.height));
  for (int y = 0; y < image.height; ++y) {
    raw.push_back(0);
    const std::uint8_t* row = image.rgb.data() + static_cast<std::size_t>(y) * rowBytes;
    raw.insert(raw.end(), row, row + rowBytes);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK)
    return {};
  packed.resize(packedSize);

  std::string header;
  AppendBigEndian(header, static_cast<std::uint32_t>(image.width));
  AppendBigEndian(header, static_cast<std::uint32_t>(image.height));
  header += static_cast<char>(8);  // bits per channel
  header += static_cast<char>(2);  // colour type: RGB
  header += std::string(3, '\0');  // deflate compression, adaptive filtering, no interlace

  std::string png = "\x89PNG\r\n\x1a\n";
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", packed);
  AppendChunk(png, "IEND", {});
  return png;
}

}  // namespace kelvora
