#include "render/surface_pixels.h"

#include <algorithm>
#include <climits>

namespace brim {

PixelRect BottomUpBitmap::Clip(const PixelRect& r) const {
  PixelRect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width),
              std::min(r.bottom, height)};
  if (c.Empty()) return {};
  return c;
}

void PrefillUndrawn(const BottomUpBitmap& bitmap, const PixelRect& rect) {
  if (!bitmap.Usable()) return;
  const PixelRect r = bitmap.Clip(rect);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    std::fill(bitmap.Row(y) + r.left, bitmap.Row(y) + r.right, kUndrawnMarker);
  }
}

void FixUpDrawn(const BottomUpBitmap& bitmap, const PixelRect& rect) {
  if (!bitmap.Usable()) return;
  const PixelRect r = bitmap.Clip(rect);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint32_t* row = bitmap.Row(y);
    // Written without branches so that the compiler can do several pixels at a time.
    for (int32_t x = r.left; x < r.right; ++x) {
      const uint32_t p = row[x];
      const uint32_t alpha = p >> 24;
      const uint32_t kept = alpha == 1 ? 0u : p;
      row[x] = alpha == 0 ? (p | 0xFF000000u) : kept;
    }
  }
}

uint8_t* LockedAddress(const BottomUpBitmap& bitmap, const PixelRect& rect) {
  return reinterpret_cast<uint8_t*>(bitmap.Row(rect.top) + rect.left);
}

void ScanOpaqueRuns(const BottomUpBitmap& bitmap, const PixelRect& rect, RunSink& sink) {
  if (!bitmap.Usable()) return;
  static_assert(kOpaqueThreshold == 0x80, "the sign bit of a pixel word is its opacity test");
  const PixelRect r = bitmap.Clip(rect);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint32_t* row = bitmap.Row(y);
    int32_t x = r.left;
    for (;;) {
      // Alpha of 128 or more is exactly the top bit of the pixel word.
      while (x < r.right && static_cast<int32_t>(row[x]) >= 0) ++x;
      if (x >= r.right) break;
      const int32_t start = x;
      for (; x < r.right && static_cast<int32_t>(row[x]) < 0; ++x) {
        const uint32_t p = row[x];
        const uint32_t alpha = p >> 24;
        if (alpha == 255) continue;
        // Premultiplied channels never exceed alpha; the clamp guards against a control
        // that writes out-of-range values.
        uint32_t straight = p & 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
          const uint32_t c = std::min(255u, ((p >> shift) & 0xFF) * 255u / alpha);
          straight |= c << shift;
        }
        row[x] = straight;
      }
      sink.AddRun({start, y, x, y + 1});
    }
  }
}

RunBatcher::RunBatcher(BatchSink& out) : out_(out) {
  batch_.rects.reserve(kRegionBatch);
  Reset();
}

void RunBatcher::Reset() {
  batch_.rects.clear();
  batch_.bound = {INT32_MAX, INT32_MAX, 0, 0};
}

void RunBatcher::AddRun(const PixelRect& run) {
  batch_.rects.push_back(run);
  PixelRect& b = batch_.bound;
  b.left = std::min(b.left, run.left);
  b.top = std::min(b.top, run.top);
  b.right = std::max(b.right, run.right);
  b.bottom = std::max(b.bottom, run.bottom);
  if (batch_.rects.size() == kRegionBatch) {
    out_.Flush(batch_);
    Reset();
  }
}

void RunBatcher::Finish() {
  out_.Flush(batch_);
  Reset();
}

}  // namespace brim
