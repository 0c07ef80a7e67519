#pragma once
// Bitmap filters on an off-screen layer of premultiplied pixels: blurs, glows, shadows,
// bevels and colour matrices, as the original player applies them after drawing an object.
#include <cstdint>
#include <vector>

#include "player/effects.h"

namespace swf::raster {

// The largest blur the original honours, in pixels, and its most passes.
inline constexpr double kMaxBlur = 255;
inline constexpr int kMaxPasses = 15;
// Convolution kernels wider or taller than the original allows are not drawn.
inline constexpr int kMaxConvolutionSide = 15;

// How far `filter` can spread pixels beyond what was drawn, at `scale` pixels per stage pixel.
int FilterMargin(const Filter& filter, double scale);

// Applies `filter` in place to a width x height layer. Costs a bounded amount of work per
// pixel and pass, whatever the filter's sizes.
void ApplyFilter(const Filter& filter, double scale, std::vector<uint32_t>& pixels, int width,
                 int height);

}  // namespace swf::raster
