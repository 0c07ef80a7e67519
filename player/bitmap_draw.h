#pragma once
// Drawing bitmaps and display objects into BitmapData, and bitmaps onto any canvas, through
// the same rasterizer that draws the stage.
#include <optional>

#include "player/bitmap_data.h"
#include "player/canvas.h"
#include "player/compose.h"
#include "player/effects.h"
#include "player/geometry.h"

namespace swf {

// Draws `image` with `toPixels` mapping its pixels to the canvas's, over what is there.
void DrawImage(const Canvas& canvas, const Bitmap& image, const Matrix& toPixels,
               const ColorTransform& colors, bool smooth, const CoverageMask* clip, bool aliased);

// How BitmapData.draw puts something into a bitmap.
struct DrawInto {
  Matrix matrix;  // source pixels to the bitmap's
  ColorTransform colors;
  BlendMode blend = BlendMode::Normal;
  std::optional<PixelRect> clip;  // in the bitmap's pixels
  bool smooth = false;
  Quality quality = Quality::High;
};

// Draws `image` into `target`.
void DrawImageInto(BitmapData& target, const Bitmap& image, const DrawInto& how);
// Draws `object` (its own matrix left out, as a script's draw sees it) into `target`.
void DrawObjectInto(BitmapData& target, const Movie& movie, const DisplayObject& object,
                    const DrawInto& how, DeviceFonts* fonts);

}  // namespace swf
