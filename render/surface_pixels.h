#pragma once
// Pixel logic of the off-screen surface, kept free of Win32 so that it can be tested and
// measured on its own: the marker pre-fill before the control draws, the alpha fix-up after it,
// and the opaque runs (with their colour conversion) that shape the window.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brim {

// Before the control draws, every pixel of a locked rectangle holds this: colour 0, alpha 1.
// Whatever still holds alpha 1 afterwards was not drawn.
constexpr uint32_t kUndrawnMarker = 0x01000000;
// A pixel with at least this alpha belongs to the window's shape.
constexpr uint8_t kOpaqueThreshold = 128;
// Rectangles per region piece: the region is made and merged in batches of this many.
constexpr size_t kRegionBatch = 2000;

struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return left >= right || top >= bottom; }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A 32-bit bottom-up bitmap as a DIB section describes it: row y (counted from the top) starts
// at bits + stride * (height - 1 - y).
struct BottomUpBitmap {
  uint8_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // bytes per row, positive
  int32_t bitsPerPixel = 32;

  bool Usable() const {
    return bits && width > 0 && height > 0 && bitsPerPixel == 32 && stride >= width * 4;
  }
  uint32_t* Row(int32_t y) const {
    return reinterpret_cast<uint32_t*>(bits + static_cast<ptrdiff_t>(stride) * (height - 1 - y));
  }
  // The rectangle cut to the bitmap.
  PixelRect Clip(const PixelRect& r) const;
};

// Sets every pixel of `rect` (cut to the bitmap) to the marker.
void PrefillUndrawn(const BottomUpBitmap& bitmap, const PixelRect& rect);
// After drawing: alpha 1 becomes fully transparent 0, alpha 0 becomes opaque 255 with the
// colour kept, everything else stays as the control wrote it.
void FixUpDrawn(const BottomUpBitmap& bitmap, const PixelRect& rect);

// Address of the top-left pixel of `rect` in a bottom-up bitmap, the way a locked surface
// reports it together with a negative pitch.
uint8_t* LockedAddress(const BottomUpBitmap& bitmap, const PixelRect& rect);

// Receives the one-pixel-high opaque runs of a scan, in rows top to bottom and left to right.
class RunSink {
 public:
  virtual ~RunSink() = default;
  virtual void AddRun(const PixelRect& run) = 0;
};

// Walks `rect` (cut to the bitmap) and reports every run of pixels with alpha of at least 128.
// Half-transparent pixels inside the shape are turned from premultiplied into straight colour
// on the way, so that copying them to the screen shows their full colour.
void ScanOpaqueRuns(const BottomUpBitmap& bitmap, const PixelRect& rect, RunSink& sink);

// Collects runs into batches of at most kRegionBatch rectangles with their bounding box, the
// shape a region is made from.
class RunBatcher : public RunSink {
 public:
  struct Batch {
    std::vector<PixelRect> rects;
    PixelRect bound;  // empty value: left = top = INT32_MAX, right = bottom = 0
  };
  class BatchSink {
   public:
    virtual ~BatchSink() = default;
    virtual void Flush(const Batch& batch) = 0;
  };

  explicit RunBatcher(BatchSink& out);
  void AddRun(const PixelRect& run) override;
  // Hands over what is left, even when that is nothing (an empty region is still a region).
  void Finish();

 private:
  void Reset();
  BatchSink& out_;
  Batch batch_;
};

}  // namespace brim
