#include "render/offscreen_surface.h"

#include <cstring>
#include <utility>

namespace brim {

bool OffscreenSurface::Ensure(int width, int height) {
  if (bitmap_ && header_.info.biWidth == width && header_.info.biHeight == height &&
      header_.info.biBitCount == 32) {
    return true;
  }
  Release();
  header_.info.biSize = sizeof(BITMAPINFOHEADER);
  header_.info.biWidth = width;
  header_.info.biHeight = height;  // positive: bottom-up rows
  header_.info.biPlanes = 1;
  header_.info.biBitCount = 32;
  header_.info.biCompression = BI_RGB;
  bitmap_.reset(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header_), DIB_RGB_COLORS,
                                 &bits_, nullptr, 0));
  if (!bitmap_) {
    std::memset(&header_, 0, sizeof header_);
    bits_ = nullptr;
  }
  return static_cast<bool>(bitmap_);
}

void OffscreenSurface::Release() {
  bitmap_.reset();
  bits_ = nullptr;
  std::memset(&header_, 0, sizeof header_);
}

BottomUpBitmap OffscreenSurface::Pixels() const {
  BottomUpBitmap b;
  if (!bitmap_) return b;
  b.bits = static_cast<uint8_t*>(bits_);
  b.width = header_.info.biWidth;
  b.height = header_.info.biHeight;
  b.stride = header_.info.biWidth * 4;
  b.bitsPerPixel = 32;
  return b;
}

namespace {

// Makes region pieces from batches of runs and merges them into one region.
class RegionMaker : public RunBatcher::BatchSink {
 public:
  void Flush(const RunBatcher::Batch& batch) override {
    if (failed_) return;
    const size_t count = batch.rects.size();
    const DWORD bytes = static_cast<DWORD>(sizeof(RGNDATAHEADER) + count * sizeof(RECT));
    const UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, bytes));
    auto* data = block ? static_cast<RGNDATA*>(GlobalLock(block.get())) : nullptr;
    if (!data) {
      failed_ = true;
      return;
    }
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(count);
    data->rdh.nRgnSize = 0;
    data->rdh.rcBound = {batch.bound.left, batch.bound.top, batch.bound.right, batch.bound.bottom};
    auto* rects = reinterpret_cast<RECT*>(data->Buffer);
    for (size_t i = 0; i < count; ++i) {
      const PixelRect& r = batch.rects[i];
      rects[i] = {r.left, r.top, r.right, r.bottom};
    }
    UniqueRegion piece(ExtCreateRegion(nullptr, bytes, data));
    GlobalUnlock(block.get());
    if (!piece) {
      failed_ = true;
      return;
    }
    if (!result_) {
      result_ = std::move(piece);
    } else if (CombineRgn(result_.get(), result_.get(), piece.get(), RGN_OR) == ERROR) {
      failed_ = true;
    }
  }
  HRGN Take() { return failed_ ? nullptr : result_.release(); }

 private:
  UniqueRegion result_;
  bool failed_ = false;
};

}  // namespace

HRGN BuildShapeRegion(const OffscreenSurface& surface, const RECT& rect) {
  RegionMaker maker;
  RunBatcher batcher(maker);
  if (rect.left < rect.right && rect.top < rect.bottom) {
    ScanOpaqueRuns(surface.Pixels(), {rect.left, rect.top, rect.right, rect.bottom}, batcher);
  }
  batcher.Finish();
  return maker.Take();
}

}  // namespace brim
