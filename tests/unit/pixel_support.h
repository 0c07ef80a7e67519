#pragma once
// A marker-filled drawing surface and a per-channel pixel comparison, shared by the raster and
// compose tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "player/canvas.h"

namespace pixeltest {

// What the host pre-fills its surface with; no movie pixel is ever this (alpha 1, colour 0), so
// untouched pixels must keep it bit for bit.
constexpr uint32_t kMarker = 0x01000000;

struct Surface {
  Surface(int w, int h, bool bottomUp = false) : pixels(static_cast<size_t>(w) * h, kMarker) {
    canvas.width = w;
    canvas.height = h;
    canvas.clip = {0, 0, w, h};
    canvas.base = reinterpret_cast<uint8_t*>(pixels.data() + (bottomUp ? size_t(h - 1) * w : 0));
    canvas.pitch = bottomUp ? -w * 4 : w * 4;
  }
  uint32_t At(int x, int y) const { return canvas.Row(y)[x]; }

  std::vector<uint32_t> pixels;
  swf::Canvas canvas;
};

inline int A(uint32_t p) { return p >> 24; }
inline int R(uint32_t p) { return (p >> 16) & 255; }

// Every channel of `actual` within `tolerance` of `expected`.
inline testing::AssertionResult PixelNear(uint32_t actual, uint32_t expected, int tolerance = 0) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (std::abs(int((actual >> shift) & 255) - int((expected >> shift) & 255)) > tolerance) {
      return testing::AssertionFailure()
             << std::hex << actual << " is not " << expected << " +-" << std::dec << tolerance;
    }
  }
  return testing::AssertionSuccess();
}

}  // namespace pixeltest
