#include "player/bitmap_draw.h"

#include <functional>
#include <vector>

#include "player/raster/blend.h"
#include "player/render.h"

namespace swf {
namespace {

// Hands the renderer the one bitmap a drawing uses.
class OneBitmap : public BitmapSource {
 public:
  explicit OneBitmap(const Bitmap& image) : image_(image) {}
  const Bitmap* FindBitmap(uint16_t id) const override { return id == 1 ? &image_ : nullptr; }

 private:
  const Bitmap& image_;
};

// Runs `paint` onto `target` through a canvas over its pixels, inside `how.clip`; a blend
// mode other than normal paints into a layer first and blends that on.
void PaintInto(BitmapData& target, const DrawInto& how,
               const std::function<void(const Canvas&)>& paint) {
  if (target.disposed()) return;
  PixelRect area = target.Bounds();
  if (how.clip) area = Intersect(area, *how.clip);
  if (area.Empty()) return;
  const int w = target.width(), h = target.height();
  if (how.blend == BlendMode::Normal || how.blend == BlendMode::Layer) {
    paint({reinterpret_cast<uint8_t*>(target.image().pixels.data()), w * 4, w, h, area});
  } else {
    // A layer the size of the bitmap, so that it lines up with it pixel for pixel.
    std::vector<uint32_t> layer(static_cast<size_t>(w) * h, 0);
    paint({reinterpret_cast<uint8_t*>(layer.data()), w * 4, w, h, area});
    const Canvas canvas{reinterpret_cast<uint8_t*>(target.image().pixels.data()), w * 4, w, h,
                        area};
    raster::CompositeLayer(canvas, {target.Bounds(), layer.data()}, how.blend, nullptr);
  }
  if (!target.transparent()) {
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x) target.Row(y)[x] |= 0xFF000000u;
    }
  }
  target.Touch();
}

}  // namespace

void DrawImage(const Canvas& canvas, const Bitmap& image, const Matrix& toPixels,
               const ColorTransform& colors, bool smooth, const CoverageMask* clip, bool aliased) {
  if (image.width <= 0 || image.height <= 0) return;
  Shape shape;
  FillStyle fill;
  fill.kind = smooth ? FillKind::ClippedBitmap : FillKind::NonSmoothedClippedBitmap;
  fill.bitmapId = 1;
  shape.fills.push_back(fill);
  const double w = image.width, h = image.height;
  Path path;
  path.fill1 = 1;
  const Point corners[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
  for (int i = 0; i < 4; ++i) path.edges.push_back({corners[i], {}, corners[(i + 1) % 4], false});
  shape.paths.push_back(std::move(path));
  shape.bounds = shape.edgeBounds = {0, static_cast<int32_t>(image.width), 0,
                                     static_cast<int32_t>(image.height)};
  const OneBitmap source(image);
  DrawShape(canvas, shape, {toPixels, colors, &source, clip, aliased});
}

void DrawImageInto(BitmapData& target, const Bitmap& image, const DrawInto& how) {
  // Drawing a bitmap into itself reads what it was before.
  const Bitmap* from = &image;
  Bitmap copy;
  if (&image == &target.image()) {
    copy = image;
    from = &copy;
  }
  PaintInto(target, how, [&](const Canvas& canvas) {
    DrawImage(canvas, *from, how.matrix, how.colors, how.smooth, nullptr, false);
  });
}

void DrawObjectInto(BitmapData& target, const Movie& movie, const DisplayObject& object,
                    const DrawInto& how, DeviceFonts* fonts) {
  PaintInto(target, how, [&](const Canvas& canvas) {
    // Stage pixels are twentieths of the object's twips.
    const Matrix toPixels = how.matrix * Matrix{1.0 / 20, 0, 0, 1.0 / 20, 0, 0};
    ComposeObject(canvas, movie, object, toPixels, how.colors, how.quality, fonts);
  });
}

}  // namespace swf
