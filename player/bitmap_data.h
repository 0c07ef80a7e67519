#pragma once
// A bitmap that scripts make and paint into (BitmapData): premultiplied pixels like a decoded
// bitmap character, so that the renderer draws it the same way. Colours go in and come out as
// straight 0xAARRGGBB words; storing premultiplied loses precision at low alpha exactly as the
// original does, and scripts can see that.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "player/bitmap.h"
#include "player/canvas.h"
#include "player/geometry.h"

namespace swf {

// The largest bitmap a movie may make: 2880 pixels a side before SWF 10; from SWF 10 on, 8191
// a side and fewer than 2^24 pixels in all.
bool BitmapSizeAllowed(int width, int height, int swfVersion);

// Pixels all live bitmaps may hold together (a quarter of a gigabyte): a movie that keeps
// making bitmaps gets no more once they add up to this.
inline constexpr size_t kMaxLiveBitmapPixels = size_t{64} << 20;

// Straight to premultiplied and back, rounded as the original rounds.
uint32_t PremultiplyArgb(uint32_t argb);
uint32_t UnpremultiplyArgb(uint32_t premultiplied);

class BitmapData {
 public:
  // Null when the size is not allowed or the pixels would pass kMaxLiveBitmapPixels.
  static std::shared_ptr<BitmapData> Create(int width, int height, bool transparent,
                                            uint32_t fillArgb);
  ~BitmapData();
  BitmapData(const BitmapData&) = delete;
  BitmapData& operator=(const BitmapData&) = delete;

  int width() const { return image_.width; }
  int height() const { return image_.height; }
  bool transparent() const { return transparent_; }
  bool disposed() const { return disposed_; }
  PixelRect Bounds() const { return {0, 0, image_.width, image_.height}; }
  // Frees the pixels; the bitmap is then 0 x 0 and every operation on it does nothing.
  void Dispose();
  // The pixels as the renderer draws them.
  const Bitmap& image() const { return image_; }
  Bitmap& image() { return image_; }
  uint32_t* Row(int y) { return image_.pixels.data() + static_cast<size_t>(y) * image_.width; }
  const uint32_t* Row(int y) const {
    return image_.pixels.data() + static_cast<size_t>(y) * image_.width;
  }
  bool Contains(int x, int y) const {
    return x >= 0 && y >= 0 && x < image_.width && y < image_.height;
  }
  // Bumped by every change, so that a cached rendering knows when it is stale.
  uint64_t version() const { return version_; }
  void Touch() { ++version_; }

  // Straight colour of a pixel (0 outside).
  uint32_t GetPixel32(int x, int y) const;
  // Stores a straight colour (an opaque bitmap keeps its alpha at 255); outside does nothing.
  void SetPixel32(int x, int y, uint32_t argb);
  // Stores a colour, keeping the premultiplied word as given when the bitmap is opaque.
  uint32_t Store(uint32_t argb) const {
    return PremultiplyArgb(transparent_ ? argb : argb | 0xFF000000u);
  }

  void FillRect(PixelRect rect, uint32_t argb);

 private:
  BitmapData() = default;
  Bitmap image_;
  bool transparent_ = true;
  bool disposed_ = false;
  uint64_t version_ = 0;
};

// Colour channels as scripts number them.
enum BitmapChannel : uint32_t {
  kRedChannel = 1,
  kGreenChannel = 2,
  kBlueChannel = 4,
  kAlphaChannel = 8
};

// The part of `src`'s `rect` that lands inside `dst` when its corner goes to (dx, dy): the
// source rectangle clipped to both bitmaps, and where it lands. Empty when nothing does.
struct CopyArea {
  PixelRect from;
  int dx = 0, dy = 0;
};
CopyArea ClipCopy(const BitmapData& src, PixelRect rect, const BitmapData& dst, int dx, int dy);

// copyPixels: `alpha` (when given) supplies the alpha, read from `alphaAt` onwards; with
// `mergeAlpha` the source is laid over what is there, otherwise it replaces it.
void CopyPixels(BitmapData& dst, const BitmapData& src, PixelRect rect, int dx, int dy,
                const BitmapData* alpha, int alphaX, int alphaY, bool mergeAlpha);
// copyChannel: one channel of `src` written into the channels `dstChannels` of `dst`.
void CopyChannel(BitmapData& dst, const BitmapData& src, PixelRect rect, int dx, int dy,
                 uint32_t srcChannel, uint32_t dstChannels);

// A colour transform with the script's own numbers: multipliers as fractions, offsets in
// colour steps.
struct ScriptColorTransform {
  double rMul = 1, gMul = 1, bMul = 1, aMul = 1;
  double rAdd = 0, gAdd = 0, bAdd = 0, aAdd = 0;
};
void ApplyColorTransform(BitmapData& bmp, PixelRect rect, const ScriptColorTransform& ct);

enum class ThresholdOp { Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };
// threshold: pixels of `src` that pass `op` against `threshold` (both masked) become `color`
// in `dst`; the others are copied from `src` when `copySource`. Gives how many passed.
uint32_t Threshold(BitmapData& dst, const BitmapData& src, PixelRect rect, int dx, int dy,
                   ThresholdOp op, uint32_t threshold, uint32_t color, uint32_t mask,
                   bool copySource);

// compare: 0 when equal, a negative code for a mismatch of size, otherwise a new bitmap of the
// differences (null when it could not be made).
struct CompareResult {
  int code = 0;  // 0 equal, -3 widths differ, -4 heights differ, 1 a bitmap of differences
  std::shared_ptr<BitmapData> difference;
};
CompareResult Compare(const BitmapData& a, const BitmapData& b);

// getColorBoundsRect: the smallest rectangle holding every pixel whose masked colour is (or,
// with `find` false, is not) `color`.
PixelRect ColorBounds(const BitmapData& bmp, uint32_t mask, uint32_t color, bool find);

// floodFill: the 4-connected area of (x, y)'s colour becomes `argb`.
void FloodFill(BitmapData& bmp, int x, int y, uint32_t argb);

// scroll: the pixels move by (dx, dy); what they uncover keeps its old pixels.
void Scroll(BitmapData& bmp, int dx, int dy);

// merge: each channel of `src` blended into `dst` by its multiplier (0..256).
void Merge(BitmapData& dst, const BitmapData& src, PixelRect rect, int dx, int dy,
           const uint32_t (&multipliers)[4]);

// paletteMap: each channel looked up in its table (a null table passes the channel through)
// and the results added up.
void PaletteMap(BitmapData& dst, const BitmapData& src, PixelRect rect, int dx, int dy,
                const std::vector<uint32_t>* const (&tables)[4]);

// pixelDissolve: the rectangle's first pixel and `count` more (all of it once `count` reaches
// its size), in an order `seed` picks, take `src`'s (or, when `src` is `dst`, `fill`). Gives
// the seed that continues the dissolve.
int32_t PixelDissolve(BitmapData& dst, const BitmapData& src, PixelRect rect, int dx, int dy,
                      int32_t seed, uint32_t count, uint32_t fill);

// hitTest against a point or a rectangle of the bitmap at `at`: whether an alpha there
// reaches `threshold`.
bool HitTestPoint(const BitmapData& bmp, int threshold, int x, int y);
bool HitTestRect(const BitmapData& bmp, int threshold, PixelRect rect);
bool HitTestBitmap(const BitmapData& a, int aThreshold, int ax, int ay, const BitmapData& b,
                   int bThreshold, int bx, int by);

// noise: every pixel of `rect` gets random channels in low..high from the player's
// generator, the colour channels equal when `gray`.
void Noise(BitmapData& bmp, int32_t seed, int low, int high, uint32_t channels, bool gray);

// perlinNoise: fractal (or turbulent) gradient noise of `octaves` layers.
struct PerlinParams {
  double baseX = 1, baseY = 1;
  int octaves = 1;
  int32_t seed = 0;
  bool stitch = false, fractal = true;
  uint32_t channels = kRedChannel | kGreenChannel | kBlueChannel;
  bool gray = false;
  std::vector<Point> offsets;  // per octave; missing ones are 0
};
void PerlinNoise(BitmapData& bmp, const PerlinParams& p);

}  // namespace swf
