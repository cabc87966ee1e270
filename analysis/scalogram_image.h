#pragma once
// The scalogram picture as colour pixels: a perceptually even colour map, the cone of influence dimmed.
#include <cstdint>
#include <vector>

#include "analysis/scalogram_picture.h"

namespace kelvora {

// 8-bit RGB pixels, rows from the top, three bytes per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

struct RgbColour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

enum class ScalogramQuantity { kAmplitude, kPower };
enum class ColourScale { kLinear, kLogarithmic };

// Decades below the maximum that a logarithmic colour scale spans.
inline constexpr double kLogColourDecades = 3.0;

// The colour of t in [0, 1] (clamped) on a dark-blue to green to yellow map whose lightness rises evenly.
RgbColour ColourMapValue(double t);

// The colour-map position of `value` against the picture's maximum `maximum` (> 0): value / maximum on the linear
// scale, 1 + log10(value / maximum) / kLogColourDecades on the logarithmic one; clamped to [0, 1]; 0 when the
// maximum is not positive.
double ColourPosition(double value, double maximum, ColourScale scale);

// The largest cell value of the quantity inside the cone of influence (over every cell when none is inside).
double PictureMaximum(const ScalogramPicture& picture, ScalogramQuantity quantity);

// The picture as an image: one pixel column per picture column, rowHeight (>= 1) pixel rows per frequency row,
// the highest frequency at the top. Cells outside the cone of influence are drawn dimmed (their colour mixed
// with light grey). Cost: one pass over the pixels. Pure; any thread.
RgbImage RenderScalogram(const ScalogramPicture& picture, ScalogramQuantity quantity, ColourScale scale,
                         int rowHeight);

}  // namespace kelvora
