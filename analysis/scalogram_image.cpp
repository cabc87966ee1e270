#include "analysis/scalogram_image.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kelvora {

namespace {

// Nine evenly spaced samples of the map; colours between them are interpolated linearly.
constexpr std::array<RgbColour, 9> kAnchors = {{{68, 1, 84},
                                                {71, 44, 122},
                                                {59, 81, 139},
                                                {44, 113, 142},
                                                {33, 144, 141},
                                                {39, 173, 129},
                                                {92, 200, 99},
                                                {170, 220, 50},
                                                {253, 231, 37}}};

// Dimmed cells: this share of the colour, the rest light grey, so the cone reads as a veil over the values.
constexpr double kDimmedShare = 0.4;
constexpr double kDimGrey = 235.0;

double CellValue(const ScalogramPicture& picture, std::size_t j, int c, ScalogramQuantity quantity) {
  return quantity == ScalogramQuantity::kAmplitude ? picture.amplitude(j, c) : picture.power(j, c);
}

std::uint8_t Channel(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

RgbColour ColourMapValue(double t) {
  if (!(t > 0.0)) return kAnchors.front();
  if (t >= 1.0) return kAnchors.back();
  const double position = t * static_cast<double>(kAnchors.size() - 1);
  const auto index = static_cast<std::size_t>(position);
  const double fraction = position - static_cast<double>(index);
  const RgbColour& a = kAnchors[index];
  const RgbColour& b = kAnchors[index + 1];
  auto mix = [&](std::uint8_t x, std::uint8_t y) { return Channel(x + (y - x) * fraction); };
  return RgbColour{mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue)};
}

double ColourPosition(double value, double maximum, ColourScale scale) {
  if (!(maximum > 0.0) || !(value > 0.0)) return 0.0;
  const double ratio = value / maximum;
  const double t = scale == ColourScale::kLinear ? ratio : 1.0 + std::log10(ratio) / kLogColourDecades;
  return std::clamp(t, 0.0, 1.0);
}

double PictureMaximum(const ScalogramPicture& picture, ScalogramQuantity quantity) {
  double inside = 0.0;
  double everywhere = 0.0;
  bool anyInside = false;
  for (std::size_t j = 0; j < picture.rows(); ++j) {
    for (int c = 0; c < picture.columns(); ++c) {
      const double value = CellValue(picture, j, c, quantity);
      everywhere = std::max(everywhere, value);
      if (picture.valid(j, c)) {
        inside = std::max(inside, value);
        anyInside = true;
      }
    }
  }
  return anyInside ? inside : everywhere;
}

RgbImage RenderScalogram(const ScalogramPicture& picture, ScalogramQuantity quantity, ColourScale scale,
                         int rowHeight) {
  RgbImage image;
  rowHeight = std::max(1, rowHeight);
  image.width = picture.columns();
  image.height = static_cast<int>(picture.rows()) * rowHeight;
  image.rgb.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
  const double maximum = PictureMaximum(picture, quantity);
  for (int y = 0; y < image.height; ++y) {
    const std::size_t j = picture.rows() - 1 - static_cast<std::size_t>(y / rowHeight);
    std::uint8_t* pixel = image.rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) * 3;
    for (int c = 0; c < image.width; ++c, pixel += 3) {
      RgbColour colour = ColourMapValue(ColourPosition(CellValue(picture, j, c, quantity), maximum, scale));
      if (!picture.valid(j, c)) {
        auto dim = [](std::uint8_t v) { return Channel(kDimmedShare * v + (1.0 - kDimmedShare) * kDimGrey); };
        colour = RgbColour{dim(colour.red), dim(colour.green), dim(colour.blue)};
      }
      pixel[0] = colour.red;
      pixel[1] = colour.green;
      pixel[2] = colour.blue;
    }
  }
  return image;
}

}  // namespace kelvora
