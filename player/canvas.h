#pragma once
// Where the renderer writes: a caller's pixel buffer exactly as a locked drawing surface
// offers it. Pixels are premultiplied, 32 bits, in memory order blue, green, red, alpha.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace swf {

struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  bool Empty() const { return right <= left || bottom <= top; }
};

inline PixelRect Intersect(PixelRect p, const PixelRect& q) {
  p.left = p.left > q.left ? p.left : q.left;
  p.top = p.top > q.top ? p.top : q.top;
  p.right = p.right < q.right ? p.right : q.right;
  p.bottom = p.bottom < q.bottom ? p.bottom : q.bottom;
  return p;
}

struct Canvas {
  uint8_t* base = nullptr;  // address of pixel (0, 0)
  int32_t pitch = 0;        // bytes from one row to the next; negative for bottom-up memory
  int width = 0;
  int height = 0;
  PixelRect clip;  // only pixels inside it (and inside width x height) are ever touched

  uint32_t* Row(int y) const {
    return reinterpret_cast<uint32_t*>(base + static_cast<intptr_t>(pitch) * y);
  }
};

// Anti-aliased coverage of a clip-depth mask, 0..255 per pixel, over a pixel rectangle.
struct CoverageMask {
  PixelRect area;
  std::vector<uint8_t> coverage;  // (area.right - area.left) * (area.bottom - area.top)

  uint8_t At(int x, int y) const {
    if (x < area.left || x >= area.right || y < area.top || y >= area.bottom) return 0;
    return coverage[static_cast<size_t>(y - area.top) * (area.right - area.left) + (x - area.left)];
  }
};

}  // namespace swf
