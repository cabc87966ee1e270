// The scalogram's pixels (orientation, colour scale, dimmed cone) and the PNG bytes, decoded again with zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/png_encoder.h"
#include "analysis/scalogram_image.h"

namespace kelvora {
namespace {

// Two frequency rows of three one-sample columns: |W| row 0 = 1, 2, 4 (valid 1 .. 2), row 1 = 0.5, 8, 3 (all
// valid). The largest valid value is 8; the 4 outside the cone does not count.
ScalogramPicture SmallPicture() {
  ScalogramPicture picture(2, 3, 10);
  const std::vector<std::complex<double>> low = {{1, 0}, {0, 2}, {-4, 0}};
  const std::vector<std::complex<double>> high = {{0.3, 0.4}, {8, 0}, {0, -3}};
  picture.setRow(0, low, SampleRange{1, 2});
  picture.setRow(1, high, SampleRange{0, 2});
  return picture;
}

RgbColour Pixel(const RgbImage& image, int x, int y) {
  const std::uint8_t* p = image.rgb.data() + (static_cast<std::size_t>(y) * image.width + x) * 3;
  return RgbColour{p[0], p[1], p[2]};
}

void ExpectColour(RgbColour actual, RgbColour expected, const std::string& where) {
  EXPECT_EQ(actual.red, expected.red) << where;
  EXPECT_EQ(actual.green, expected.green) << where;
  EXPECT_EQ(actual.blue, expected.blue) << where;
}

RgbColour Dimmed(RgbColour c) {
  auto dim = [](std::uint8_t v) { return static_cast<std::uint8_t>(std::lround(0.4 * v + 0.6 * 235.0)); };
  return RgbColour{dim(c.red), dim(c.green), dim(c.blue)};
}

TEST(ScalogramImage, HighestFrequencyOnTopLinearAndLogScalesConeDimmed) {
  const ScalogramPicture picture = SmallPicture();
  EXPECT_DOUBLE_EQ(PictureMaximum(picture, ScalogramQuantity::kAmplitude), 8.0);
  EXPECT_DOUBLE_EQ(PictureMaximum(picture, ScalogramQuantity::kPower), 64.0);
  const RgbImage image = RenderScalogram(picture, ScalogramQuantity::kAmplitude, ColourScale::kLinear, 2);
  ASSERT_EQ(image.width, 3);
  ASSERT_EQ(image.height, 4);
  ExpectColour(Pixel(image, 1, 0), RgbColour{253, 231, 37}, "row 1's maximum, top");
  ExpectColour(Pixel(image, 1, 1), RgbColour{253, 231, 37}, "its second pixel row");
  ExpectColour(Pixel(image, 0, 2), Dimmed(ColourMapValue(1.0 / 8.0)), "row 0 outside the cone");
  ExpectColour(Pixel(image, 2, 3), ColourMapValue(4.0 / 8.0), "row 0 inside, beyond the maximum's colour");
  ExpectColour(ColourMapValue(0.5), RgbColour{33, 144, 141}, "the map's middle");

  const RgbImage log = RenderScalogram(picture, ScalogramQuantity::kPower, ColourScale::kLogarithmic, 1);
  ExpectColour(Pixel(log, 2, 0), ColourMapValue(1.0 + std::log10(9.0 / 64.0) / 3.0), "log power");
  EXPECT_DOUBLE_EQ(ColourPosition(1e-4, 1.0, ColourScale::kLogarithmic), 0.0);
  EXPECT_DOUBLE_EQ(ColourPosition(5.0, 0.0, ColourScale::kLinear), 0.0);
}

std::uint32_t BigEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The file has the signature, IHDR / IDAT / IEND chunks with correct CRCs, and its pixel data inflate to the
// image's rows, each after a filter byte 0.
TEST(PngEncoder, ChunksCheckAndPixelsInflateToTheImage) {
  RgbImage image;
  image.width = 5;
  image.height = 3;
  for (int i = 0; i < 45; ++i) image.rgb.push_back(static_cast<std::uint8_t>(i * 37 % 256));
  const std::string png = EncodePng(image);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  std::vector<std::string> types;
  std::string idat;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = BigEndian(png, at);
    const std::string type = png.substr(at + 4, 4);
    const std::string body = png.substr(at + 4, 4 + length);
    const auto crc = crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    EXPECT_EQ(BigEndian(png, at + 8 + length), static_cast<std::uint32_t>(crc)) << type;
    if (type == "IHDR") {
      EXPECT_EQ(BigEndian(png, at + 8), 5u);
      EXPECT_EQ(BigEndian(png, at + 12), 3u);
      EXPECT_EQ(png[at + 16], 8);
      EXPECT_EQ(png[at + 17], 2);
    }
    if (type == "IDAT") idat += png.substr(at + 8, length);
    types.push_back(type);
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  std::vector<Bytef> raw(3 * 16);
  uLongf rawSize = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()), idat.size()), Z_OK);
  ASSERT_EQ(rawSize, 48u);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(raw[static_cast<std::size_t>(y) * 16], 0);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(raw[static_cast<std::size_t>(y) * 16 + 1 + i], image.rgb[y * 15 + i]);
  }
  image.rgb.pop_back();
  EXPECT_TRUE(EncodePng(image).empty());
  EXPECT_TRUE(EncodePng(RgbImage{}).empty());
}

}  // namespace
}  // namespace kelvora
