#include "player/raster/blend.h"

#include <algorithm>

#include "player/raster/pixel.h"

namespace swf::raster {
namespace {

struct Channels {
  int a, r, g, b;
};

Channels Split(uint32_t p) {
  return {static_cast<int>(p >> 24), static_cast<int>((p >> 16) & 255),
          static_cast<int>((p >> 8) & 255), static_cast<int>(p & 255)};
}

uint32_t Join(int a, int r, int g, int b) {
  auto c = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
  const uint32_t alpha = c(a);
  // Colour never exceeds alpha in a premultiplied pixel.
  return alpha << 24 | std::min(c(r), alpha) << 16 | std::min(c(g), alpha) << 8 |
         std::min(c(b), alpha);
}

int Mul(int x, int y) { return (x * y + 127) / 255; }

// The separable modes: `f` gives the blended colour of a pixel covered by both, in
// premultiplied terms (sc, sa, dc, da); the parts covered by only one keep their own colour.
template <typename F>
uint32_t Separable(uint32_t dst, uint32_t src, F f) {
  const Channels s = Split(src), d = Split(dst);
  auto channel = [&](int sc, int dc) {
    return f(sc, s.a, dc, d.a) + Mul(sc, 255 - d.a) + Mul(dc, 255 - s.a);
  };
  return Join(s.a + d.a - Mul(s.a, d.a), channel(s.r, d.r), channel(s.g, d.g), channel(s.b, d.b));
}

int HardLight(int sc, int sa, int dc, int da) {
  // Decided by the top colour: multiply its dark half, screen its light half.
  if (2 * sc <= sa) return 2 * sc * dc / 255;
  return Mul(sa, da) - 2 * (da - dc) * (sa - sc) / 255;
}

}  // namespace

uint32_t BlendPixel(uint32_t d, uint32_t s, BlendMode mode) {
  switch (mode) {
    case BlendMode::Normal:
    case BlendMode::Layer:
      return BlendOver(d, s, 256);
    case BlendMode::Multiply:
      return Separable(d, s, [](int sc, int, int dc, int) { return Mul(sc, dc); });
    case BlendMode::Screen:
      return Separable(d, s, [](int sc, int sa, int dc, int da) {
        return Mul(sc, da) + Mul(dc, sa) - Mul(sc, dc);
      });
    case BlendMode::Lighten:
      return Separable(
          d, s, [](int sc, int sa, int dc, int da) { return std::max(Mul(sc, da), Mul(dc, sa)); });
    case BlendMode::Darken:
      return Separable(
          d, s, [](int sc, int sa, int dc, int da) { return std::min(Mul(sc, da), Mul(dc, sa)); });
    case BlendMode::Difference:
      return Separable(
          d, s, [](int sc, int sa, int dc, int da) { return std::abs(Mul(sc, da) - Mul(dc, sa)); });
    case BlendMode::Overlay:
      return Separable(d, s,
                       [](int sc, int sa, int dc, int da) { return HardLight(dc, da, sc, sa); });
    case BlendMode::Hardlight:
      return Separable(d, s, HardLight);
    case BlendMode::Add: {
      const Channels x = Split(s), y = Split(d);
      return Join(x.a + y.a, x.r + y.r, x.g + y.g, x.b + y.b);
    }
    case BlendMode::Subtract: {
      // The destination loses the source's colour; its coverage grows as with normal.
      const Channels x = Split(s), y = Split(d);
      const int a = x.a + y.a - Mul(x.a, y.a);
      return Join(a, y.r - x.r, y.g - x.g, y.b - x.b);
    }
    case BlendMode::Invert: {
      const Channels x = Split(s), y = Split(d);
      const int keep = 255 - x.a;
      return Join(y.a, Mul(y.r, keep) + Mul(y.a - y.r, x.a), Mul(y.g, keep) + Mul(y.a - y.g, x.a),
                  Mul(y.b, keep) + Mul(y.a - y.b, x.a));
    }
    case BlendMode::Alpha:
      return Scale255(d, s >> 24);
    case BlendMode::Erase:
      return Scale255(d, 255 - (s >> 24));
  }
  return BlendOver(d, s, 256);
}

void CompositeLayer(const Canvas& canvas, const LayerPixels& layer, BlendMode mode,
                    const CoverageMask* mask) {
  if (!canvas.base || !layer.pixels) return;
  const int left = std::max({layer.area.left, canvas.clip.left, 0});
  const int right = std::min({layer.area.right, canvas.clip.right, canvas.width});
  const int top = std::max({layer.area.top, canvas.clip.top, 0});
  const int bottom = std::min({layer.area.bottom, canvas.clip.bottom, canvas.height});
  const int stride = layer.area.right - layer.area.left;
  for (int y = top; y < bottom; ++y) {
    const uint32_t* from = layer.pixels + static_cast<size_t>(y - layer.area.top) * stride;
    uint32_t* row = canvas.Row(y);
    for (int x = left; x < right; ++x) {
      uint32_t s = from[x - layer.area.left];
      if (mask) {
        const uint32_t k = mask->At(x, y);
        if (k == 0) continue;
        if (k < 255) s = Scale255(s, k);
      }
      if (s == 0) continue;
      row[x] = BlendPixel(row[x], s, mode);
    }
  }
}

}  // namespace swf::raster
