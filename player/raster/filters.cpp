#include "player/raster/filters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/raster/pixel.h"

namespace swf::raster {
namespace {

// The original blurs with whole odd-width boxes: the size in pixels, cut down to an odd count
// of taps (1 and 2 do nothing, 4 takes three taps).
double BoxWidth(double blur, double scale) {
  const double pixels = std::clamp(blur * scale, 0.0, kMaxBlur * std::max(scale, 1.0));
  int taps = static_cast<int>(std::min(pixels, 4096.0));
  if (taps % 2 == 0) --taps;
  return std::max(taps, 1);
}

int Passes(const Filter& f) { return std::clamp(f.passes, 1, kMaxPasses); }

// One box-blur pass over `count` values `stride` apart, with a running sum: the same work
// whatever the box's (odd) width. Values beyond the ends count as zero.
void BoxLine(uint32_t* values, int count, int stride, double width, std::vector<uint32_t>& line) {
  const int radius = static_cast<int>(width) / 2;
  if (radius <= 0) return;
  const int taps = 2 * radius + 1;
  line.assign(static_cast<size_t>(count) + 2 * static_cast<size_t>(radius) + 1, 0);
  for (int i = 0; i < count; ++i) line[i + radius] = values[static_cast<size_t>(i) * stride];
  uint32_t sum = 0;
  for (int i = 0; i < taps - 1; ++i) sum += line[i];
  const uint32_t* in = line.data();
  for (int i = 0; i < count; ++i) {
    sum += in[i + taps - 1];
    values[static_cast<size_t>(i) * stride] = (sum + taps / 2) / taps;
    sum -= in[i];
  }
}

// Blurs one 8-bit plane (values 0..255 held in 32-bit words).
void BlurPlane(std::vector<uint32_t>& plane, int width, int height, double boxX, double boxY,
               int passes) {
  std::vector<uint32_t> line;
  for (int p = 0; p < passes; ++p) {
    for (int y = 0; y < height; ++y) {
      BoxLine(plane.data() + static_cast<size_t>(y) * width, width, 1, boxX, line);
    }
    for (int x = 0; x < width; ++x) BoxLine(plane.data() + x, height, width, boxY, line);
  }
}

void BlurPixels(std::vector<uint32_t>& pixels, int width, int height, double boxX, double boxY,
                int passes) {
  std::vector<uint32_t> plane(pixels.size());
  for (int shift = 0; shift < 32; shift += 8) {
    for (size_t i = 0; i < pixels.size(); ++i) plane[i] = (pixels[i] >> shift) & 255;
    BlurPlane(plane, width, height, boxX, boxY, passes);
    const uint32_t keep = ~(255u << shift);
    for (size_t i = 0; i < pixels.size(); ++i) {
      pixels[i] = (pixels[i] & keep) | (std::min<uint32_t>(plane[i], 255) << shift);
    }
  }
}

// The object's alpha, blurred, moved by (dx, dy) and scaled by the filter's strength; the
// inverted alpha for inner effects.
std::vector<uint32_t> ShadowPlane(const Filter& f, double scale, const std::vector<uint32_t>& src,
                                  int width, int height, int dx, int dy, bool inverted) {
  std::vector<uint32_t> plane(src.size(), 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int sx = x - dx, sy = y - dy;
      uint32_t a = inverted ? 255 : 0;
      if (sx >= 0 && sy >= 0 && sx < width && sy < height) {
        a = src[static_cast<size_t>(sy) * width + sx] >> 24;
        if (inverted) a = 255 - a;
      }
      plane[static_cast<size_t>(y) * width + x] = a;
    }
  }
  BlurPlane(plane, width, height, BoxWidth(f.blurX, scale), BoxWidth(f.blurY, scale), Passes(f));
  const double strength = std::clamp(f.strength, 0.0, 255.0);
  for (uint32_t& a : plane) a = static_cast<uint32_t>(std::min(255.0, a * strength + 0.5));
  return plane;
}

// Glows and shadows: the coloured shadow plane under the object, or inside it.
void ApplyShadow(const Filter& f, double scale, std::vector<uint32_t>& pixels, int width,
                 int height) {
  const double distance = f.kind == FilterKind::DropShadow ? f.distance * scale : 0;
  const int dx = static_cast<int>(std::lround(std::cos(f.angle) * distance));
  const int dy = static_cast<int>(std::lround(std::sin(f.angle) * distance));
  const std::vector<uint32_t> plane = ShadowPlane(f, scale, pixels, width, height, dx, dy, f.inner);
  const uint32_t color = Premultiply(f.color);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint32_t s = pixels[i];
    const uint32_t sa = s >> 24;
    uint32_t shadow = Scale255(color, plane[i]);
    if (f.inner) {
      shadow = Scale255(shadow, sa);  // only where the object is
      if (f.knockout) {
        pixels[i] = shadow;
      } else {
        pixels[i] = f.hideObject ? shadow : BlendOver(s, shadow, 256);
      }
    } else if (f.knockout) {
      pixels[i] = Scale255(shadow, 255 - sa);
    } else {
      pixels[i] = f.hideObject ? shadow : BlendOver(shadow, s, 256);
    }
  }
}

void ApplyColorMatrix(const Filter& f, std::vector<uint32_t>& pixels) {
  for (uint32_t& p : pixels) {
    const Rgba c = Unpremultiply(p);
    const double in[4] = {static_cast<double>(c.r), static_cast<double>(c.g),
                          static_cast<double>(c.b), static_cast<double>(c.a)};
    uint8_t out[4];
    for (int row = 0; row < 4; ++row) {
      const float* m = f.matrix + row * 5;
      double v = m[4];
      for (int k = 0; k < 4; ++k) v += m[k] * in[k];
      out[row] = static_cast<uint8_t>(std::clamp(std::isfinite(v) ? v : 0.0, 0.0, 255.0) + 0.5);
    }
    p = Premultiply({out[0], out[1], out[2], out[3]});
  }
}

}  // namespace

int FilterMargin(const Filter& f, double scale) {
  if (f.kind == FilterKind::ColorMatrix) return 0;
  if (f.kind == FilterKind::Convolution) return (std::max(f.columns, f.rows) + 1) / 2;
  const int passes = Passes(f);
  int margin = static_cast<int>(
      passes * (std::max(BoxWidth(f.blurX, scale), BoxWidth(f.blurY, scale)) + 2) / 2);
  if (f.kind != FilterKind::Blur && f.kind != FilterKind::Glow) {
    margin += static_cast<int>(std::min(std::fabs(f.distance) * scale, 4096.0)) + 1;
  }
  return margin;
}

void ApplyFilter(const Filter& f, double scale, std::vector<uint32_t>& pixels, int width,
                 int height) {
  if (width <= 0 || height <= 0 || pixels.size() < static_cast<size_t>(width) * height) return;
  if (!(scale > 0) || !std::isfinite(scale)) return;
  switch (f.kind) {
    case FilterKind::Blur:
      BlurPixels(pixels, width, height, BoxWidth(f.blurX, scale), BoxWidth(f.blurY, scale),
                 Passes(f));
      break;
    case FilterKind::Glow:
    case FilterKind::DropShadow:
      ApplyShadow(f, scale, pixels, width, height);
      break;
    case FilterKind::ColorMatrix:
      ApplyColorMatrix(f, pixels);
      break;
    default:
      // Bevels, gradient glows and convolutions are not drawn yet: the object shows as is.
      break;
  }
}

}  // namespace swf::raster
