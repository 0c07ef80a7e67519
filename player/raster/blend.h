#pragma once
// Compositing an off-screen layer onto what lies beneath it with a blend mode, all in
// premultiplied pixels.
#include <cstdint>

#include "player/canvas.h"
#include "player/effects.h"

namespace swf::raster {

// A layer's pixels: premultiplied words for the pixel rectangle `area` of the canvas it goes
// onto, row after row.
struct LayerPixels {
  PixelRect area;
  const uint32_t* pixels = nullptr;
};

// One premultiplied source pixel `s` blended onto destination `d`.
uint32_t BlendPixel(uint32_t d, uint32_t s, BlendMode mode);

// Blends `layer` onto `canvas` (only inside canvas.clip), weighted by `mask` when given.
void CompositeLayer(const Canvas& canvas, const LayerPixels& layer, BlendMode mode,
                    const CoverageMask* mask);

}  // namespace swf::raster
