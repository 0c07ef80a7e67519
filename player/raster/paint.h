#pragma once
// What a fill or a stroke is painted with: a solid colour, a gradient or a bitmap, already
// resolved against the drawing's matrix and colour transform, producing premultiplied pixels.
#include <array>
#include <cstdint>
#include <vector>

#include "player/bitmap.h"
#include "player/geometry.h"
#include "player/shape.h"

namespace swf::raster {

// 256 premultiplied colours, one per gradient ratio, colour transform applied.
using GradientTable = std::array<uint32_t, 256>;
void BuildGradientTable(const Gradient& gradient, const ColorTransform& colors,
                        GradientTable& table);

class Paint {
 public:
  enum class Kind { None, Solid, Linear, Radial, Focal, Bitmap };

  // `toPixels` maps shape twips to pixels. A style that cannot draw anything (unknown bitmap,
  // gradient without stops, fully transparent colour) gives Kind::None.
  void Set(const FillStyle& style, const Matrix& toPixels, const ColorTransform& colors,
           const BitmapSource* bitmaps);
  void SetSolid(Rgba color, const ColorTransform& colors);

  Kind kind() const { return kind_; }
  uint32_t solid() const { return solid_; }
  // Premultiplied colours of pixels (x .. x+count-1, y) into out[0..count-1].
  void Shade(int x, int y, int count, uint32_t* out) const;

 private:
  void ShadeGradient(int x, int y, int count, uint32_t* out) const;
  void ShadeBitmap(int x, int y, int count, uint32_t* out) const;

  Kind kind_ = Kind::None;
  uint32_t solid_ = 0;
  Matrix inverse_;  // pixel space to gradient or bitmap space
  GradientTable table_{};
  SpreadMode spread_ = SpreadMode::Pad;
  double focal_ = 0;
  const Bitmap* bitmap_ = nullptr;
  bool repeat_ = false, smooth_ = false;
  ColorTransform colors_;
  bool transformBitmap_ = false;
};

}  // namespace swf::raster
