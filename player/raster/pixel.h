#pragma once
// Pixel arithmetic on premultiplied 32-bit words (alpha in the top byte, then red, green,
// blue: memory order blue, green, red, alpha on the little-endian machines we run on).
#include <algorithm>
#include <cstdint>

#include "player/geometry.h"

namespace swf::raster {

// Scales every channel by k/256 (k in 0..256).
inline uint32_t Scale256(uint32_t c, uint32_t k) {
  const uint32_t rb = ((c & 0x00FF00FFu) * k >> 8) & 0x00FF00FFu;
  const uint32_t ag = (((c >> 8) & 0x00FF00FFu) * k) & 0xFF00FF00u;
  return rb | ag;
}

// Scales every channel by k/255 (k in 0..255), rounded.
inline uint32_t Scale255(uint32_t c, uint32_t k) {
  uint32_t rb = (c & 0x00FF00FFu) * k + 0x00800080u;
  rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  uint32_t ag = ((c >> 8) & 0x00FF00FFu) * k + 0x00800080u;
  ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
  return rb | ag;
}

// Channel-wise sum, saturating: a decoder or a destination that is not quite premultiplied
// must not carry one channel into the next.
inline uint32_t AddSaturate(uint32_t x, uint32_t y) {
  uint32_t rb = (x & 0x00FF00FFu) + (y & 0x00FF00FFu);
  rb |= 0x01000100u - ((rb >> 8) & 0x00010001u);
  uint32_t ag = ((x >> 8) & 0x00FF00FFu) + ((y >> 8) & 0x00FF00FFu);
  ag |= 0x01000100u - ((ag >> 8) & 0x00010001u);
  return (rb & 0x00FF00FFu) | ((ag & 0x00FF00FFu) << 8);
}

// Source-over of premultiplied `src` at `coverage` (0..256) onto `dst`.
inline uint32_t BlendOver(uint32_t dst, uint32_t src, uint32_t coverage) {
  if (coverage < 256) src = Scale256(src, coverage);
  const uint32_t alpha = src >> 24;
  if (alpha == 255) return src;
  return AddSaturate(src, Scale255(dst, 255 - alpha));
}

inline uint32_t Premultiply(Rgba c) {
  const uint32_t a = c.a;
  const uint32_t r = (c.r * a + 127) / 255, g = (c.g * a + 127) / 255, b = (c.b * a + 127) / 255;
  return a << 24 | r << 16 | g << 8 | b;
}

inline Rgba Unpremultiply(uint32_t p) {
  const uint32_t a = p >> 24;
  if (a == 0) return {0, 0, 0, 0};
  auto channel = [a](uint32_t v) {
    return static_cast<uint8_t>(std::min<uint32_t>(255, (v * 255 + a / 2) / a));
  };
  return {channel((p >> 16) & 255), channel((p >> 8) & 255), channel(p & 255),
          static_cast<uint8_t>(a)};
}

// Applies a colour transform to a premultiplied pixel, by way of its straight colour.
inline uint32_t TransformPremultiplied(const ColorTransform& ct, uint32_t p) {
  if (ct.rMul == 256 && ct.gMul == 256 && ct.bMul == 256 && ct.rAdd == 0 && ct.gAdd == 0 &&
      ct.bAdd == 0 && ct.aAdd == 0 && ct.aMul >= 0 && ct.aMul <= 256) {
    // Alpha only, the usual fade: rounded, as the original fades (15% of 255 is 38).
    const uint32_t k = static_cast<uint32_t>(ct.aMul);
    const uint32_t rb = (((p & 0x00FF00FFu) * k + 0x00800080u) >> 8) & 0x00FF00FFu;
    const uint32_t ag = (((p >> 8) & 0x00FF00FFu) * k + 0x00800080u) & 0xFF00FF00u;
    return rb | ag;
  }
  return Premultiply(ct.Apply(Unpremultiply(p)));
}

}  // namespace swf::raster
