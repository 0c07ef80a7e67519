#pragma once
// The 32-bit bottom-up DIB section the control is drawn into, the size of the host window's
// client area. Made on the first paint and remade only when that size changes.
#include <windows.h>

#include "base/handles.h"
#include "render/surface_pixels.h"

namespace brim {

class OffscreenSurface {
 public:
  OffscreenSurface() = default;
  ~OffscreenSurface() { Release(); }
  OffscreenSurface(const OffscreenSurface&) = delete;
  OffscreenSurface& operator=(const OffscreenSurface&) = delete;

  // True when a DIB section of this size exists afterwards.
  bool Ensure(int width, int height);
  void Release();

  HBITMAP Bitmap() const { return bitmap_.get(); }
  BottomUpBitmap Pixels() const;

 private:
  struct Header {
    BITMAPINFOHEADER info;
    DWORD masks[3];
  };
  UniqueBitmap bitmap_;
  Header header_{};
  void* bits_ = nullptr;
};

// Turns the pixels of `rect` with alpha of 128 or more into a region (in surface coordinates),
// converting half-transparent ones to straight colour on the way. Null when no region could be
// made; the caller then leaves the window's shape as it was.
HRGN BuildShapeRegion(const OffscreenSurface& surface, const RECT& rect);

}  // namespace brim
