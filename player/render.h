#pragma once
// The rasterizer's entry points. Coordinates: `toPixels` maps the shape's twips to pixel
// coordinates of the canvas (it already contains the 1/20 and the view's scale). Drawing
// blends source-over in premultiplied space; pixels the shape does not cover are not touched.
#include "player/bitmap.h"
#include "player/canvas.h"
#include "player/geometry.h"
#include "player/shape.h"

namespace swf {

struct DrawParams {
  Matrix toPixels;
  ColorTransform colors;
  const BitmapSource* bitmaps = nullptr;  // may be null: bitmap fills then draw nothing
  const CoverageMask* clip = nullptr;     // may be null: no mask
  bool aliased = false;                   // whole pixels only: a pixel is in when its centre is
};

// Fills and strokes `shape` onto `canvas` within canvas.clip.
void DrawShape(const Canvas& canvas, const Shape& shape, const DrawParams& params);

// Renders the coverage of the shape's fills (strokes and colours ignored) into `mask` over mask.area,
// intersected with params.clip when given. Used for clip-depth masks.
void DrawShapeCoverage(CoverageMask& mask, const Shape& shape, const DrawParams& params);

// Whether pixel point (x, y) lies on a filled or stroked part of the shape (hit testing).
bool ShapeContains(const Shape& shape, const Matrix& toPixels, Point pixel);

}  // namespace swf
