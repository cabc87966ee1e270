#pragma once
// Writing an RGB image as a PNG file's bytes, without any GUI library.
#include <string>

#include "analysis/scalogram_image.h"

namespace kelvora {

// The bytes of a PNG file holding `image` (8-bit RGB, no interlace, every row with filter "none", the pixel data
// compressed by zlib at its default level). image.rgb must hold width * height * 3 bytes, width and height
// >= 1. Returns an empty text when zlib fails or the image is malformed. Pure; any thread.
std::string EncodePng(const RgbImage& image);

}  // namespace kelvora
