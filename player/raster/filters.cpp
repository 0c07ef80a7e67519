#include "player/raster/filters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/raster/pixel.h"

namespace swf::raster {
namespace {

// The original's box for a blur of `blur` stage pixels: the size in pixels, whole taps in the
// middle and a part-weight tap at each end for what is left over (an even size of 30 takes 29
// taps and two half taps). Sizes that are powers of two take a faster path there, one tap short
// of the size and no part taps: 2 leaves an object sharp, 4 takes three taps.
struct Box {
  int radius = 0;    // whole taps on each side of the centre
  uint32_t end = 0;  // weight of each end tap, in 256ths
};

Box BoxFor(double blur, double scale) {
  const double pixels =
      std::min(std::clamp(blur * scale, 0.0, kMaxBlur * std::max(scale, 1.0)), 4096.0);
  const int whole = static_cast<int>(pixels);
  if (whole >= 2 && pixels == whole && (whole & (whole - 1)) == 0) return {whole / 2 - 1, 0};
  Box box;
  box.radius = std::max(0, static_cast<int>(std::floor((pixels - 1) / 2)));
  const double left = (pixels - (2 * box.radius + 1)) / 2;
  box.end = static_cast<uint32_t>(std::clamp(std::lround(left * 256), 0L, 255L));
  return box;
}

// Quality 0 asks for no blurring at all.
int Passes(const Filter& f) { return std::clamp(f.passes, 0, kMaxPasses); }

// One box-blur pass over `count` values `stride` apart, with a running sum: the same work
// whatever the box's width. Values beyond the ends count as zero; the average is cut down to a
// whole value, as the original's is.
void BoxLine(uint32_t* values, int count, int stride, const Box& box, std::vector<uint32_t>& line) {
  const int r = box.radius;
  if (r <= 0 && box.end == 0) return;
  const int reach = r + (box.end ? 1 : 0);
  line.assign(static_cast<size_t>(count) + 2 * static_cast<size_t>(reach) + 1, 0);
  for (int i = 0; i < count; ++i) line[i + reach] = values[static_cast<size_t>(i) * stride];
  const uint32_t total = 256 * static_cast<uint32_t>(2 * r + 1) + 2 * box.end;
  // In `line`, pixel i's whole taps run from i + reach - r to i + reach + r.
  const int lo = reach - r;
  uint32_t sum = 0;
  for (int k = lo; k < lo + 2 * r; ++k) sum += line[k];
  for (int i = 0; i < count; ++i) {
    sum += line[i + lo + 2 * r];
    uint32_t weighted = 256 * sum;
    if (box.end) weighted += box.end * (line[i] + line[i + 2 * reach]);
    values[static_cast<size_t>(i) * stride] = weighted / total;
    sum -= line[i + lo];
  }
}

// Blurs one 8-bit plane (values 0..255 held in 32-bit words).
void BlurPlane(std::vector<uint32_t>& plane, int width, int height, const Box& boxX,
               const Box& boxY, int passes) {
  std::vector<uint32_t> line;
  for (int p = 0; p < passes; ++p) {
    for (int y = 0; y < height; ++y) {
      BoxLine(plane.data() + static_cast<size_t>(y) * width, width, 1, boxX, line);
    }
    for (int x = 0; x < width; ++x) BoxLine(plane.data() + x, height, width, boxY, line);
  }
}

void BlurPixels(std::vector<uint32_t>& pixels, int width, int height, const Box& boxX,
                const Box& boxY, int passes) {
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

// The object's alpha, blurred and moved by (dx, dy); the inverted alpha for inner effects.
std::vector<uint32_t> BlurredAlpha(const Filter& f, double scale, const std::vector<uint32_t>& src,
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
  BlurPlane(plane, width, height, BoxFor(f.blurX, scale), BoxFor(f.blurY, scale), Passes(f));
  return plane;
}

// The blurred alpha scaled by the filter's strength.
std::vector<uint32_t> ShadowPlane(const Filter& f, double scale, const std::vector<uint32_t>& src,
                                  int width, int height, int dx, int dy, bool inverted) {
  std::vector<uint32_t> plane = BlurredAlpha(f, scale, src, width, height, dx, dy, inverted);
  const double strength = std::clamp(f.strength, 0.0, 255.0);
  for (uint32_t& a : plane) a = static_cast<uint32_t>(std::min(255.0, a * strength + 0.5));
  return plane;
}

// The filter's offset in whole pixels.
void Offset(const Filter& f, double scale, int& dx, int& dy) {
  const double distance = std::clamp(f.distance * scale, -4096.0, 4096.0);
  dx = static_cast<int>(std::lround(std::cos(f.angle) * distance));
  dy = static_cast<int>(std::lround(std::sin(f.angle) * distance));
}

// Glows and shadows: the coloured shadow plane under the object, or inside it.
void ApplyShadow(const Filter& f, double scale, std::vector<uint32_t>& pixels, int width,
                 int height) {
  int dx = 0, dy = 0;
  if (f.kind == FilterKind::DropShadow) Offset(f, scale, dx, dy);
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

// A gradient filter's colours: 256 premultiplied entries, one per ratio.
std::vector<uint32_t> GradientTable(const std::vector<FilterStop>& stops) {
  std::vector<uint32_t> table(256, 0);
  if (stops.empty()) return table;
  for (int i = 0; i < 256; ++i) {
    size_t k = 0;
    while (k < stops.size() && stops[k].ratio < i) ++k;
    Rgba c;
    if (k == 0) {
      c = stops.front().color;
    } else if (k == stops.size()) {
      c = stops.back().color;
    } else {
      const FilterStop& a = stops[k - 1];
      const FilterStop& b = stops[k];
      const int span = b.ratio - a.ratio;
      const int t = span > 0 ? (i - a.ratio) * 256 / span : 256;
      auto mix = [t](uint8_t x, uint8_t y) {
        return static_cast<uint8_t>((x * (256 - t) + y * t) >> 8);
      };
      c = {mix(a.color.r, b.color.r), mix(a.color.g, b.color.g), mix(a.color.b, b.color.b),
           mix(a.color.a, b.color.a)};
    }
    table[i] = Premultiply(c);
  }
  return table;
}

// Puts `effect` (premultiplied, one word per pixel) with the object as the filter's type asks:
// inner effects show only on the object and over it, outer ones only off it and beneath it,
// full ones everywhere over it; knocked out, the object itself is left out.
void Combine(const Filter& f, std::vector<uint32_t>& pixels, const std::vector<uint32_t>& effect) {
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint32_t s = pixels[i];
    const uint32_t sa = s >> 24;
    uint32_t e = effect[i];
    if (f.onTop) {
      pixels[i] = f.knockout ? e : BlendOver(s, e, 256);
    } else if (f.inner) {
      e = Scale255(e, sa);
      pixels[i] = f.knockout ? e : BlendOver(s, e, 256);
    } else {
      e = Scale255(e, 255 - sa);
      pixels[i] = f.knockout ? e : BlendOver(e, s, 256);
    }
  }
}

// Bevels: the blurred alpha seen from two sides. Where it is higher towards the light than away
// from it the highlight shows, in the opposite case the shadow, each as strong as the
// difference times the filter's strength; a gradient bevel looks the difference up in its
// colours, ratio 128 for none.
void ApplyBevel(const Filter& f, double scale, std::vector<uint32_t>& pixels, int width,
                int height) {
  int dx, dy;
  Offset(f, scale, dx, dy);
  const std::vector<uint32_t> lit = BlurredAlpha(f, scale, pixels, width, height, -dx, -dy, false);
  const std::vector<uint32_t> dark = BlurredAlpha(f, scale, pixels, width, height, dx, dy, false);
  const double strength = std::clamp(f.strength, 0.0, 255.0);
  const bool gradient = f.kind == FilterKind::GradientBevel;
  const std::vector<uint32_t> table = gradient ? GradientTable(f.stops) : std::vector<uint32_t>{};
  const uint32_t highlight = Premultiply(f.highlight), shadow = Premultiply(f.color);
  std::vector<uint32_t> effect(pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) {
    const double v =
        std::clamp((static_cast<double>(lit[i]) - static_cast<double>(dark[i])) * strength,
                   -255.0, 255.0);
    if (gradient) {
      effect[i] = table[static_cast<size_t>(std::lround(127.5 - v / 2))];
    } else if (v > 0) {
      effect[i] = Scale255(highlight, static_cast<uint32_t>(std::lround(v)));
    } else {
      effect[i] = Scale255(shadow, static_cast<uint32_t>(std::lround(-v)));
    }
  }
  Combine(f, pixels, effect);
}

// A gradient glow looks its (strength-scaled) blurred alpha up in its colours.
void ApplyGradientGlow(const Filter& f, double scale, std::vector<uint32_t>& pixels, int width,
                       int height) {
  int dx, dy;
  Offset(f, scale, dx, dy);
  const std::vector<uint32_t> plane =
      ShadowPlane(f, scale, pixels, width, height, dx, dy, f.inner && !f.onTop);
  const std::vector<uint32_t> table = GradientTable(f.stops);
  std::vector<uint32_t> effect(pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) effect[i] = table[std::min<uint32_t>(plane[i], 255)];
  Combine(f, pixels, effect);
}

// Each pixel from its neighbours weighted by the kernel, in unpremultiplied colour, divided and
// biased; outside the layer the edge pixel repeats (clamp) or the filter's colour stands in.
void ApplyConvolution(const Filter& f, std::vector<uint32_t>& pixels, int width, int height) {
  const int cols = f.columns, rows = f.rows;
  if (cols <= 0 || rows <= 0 || cols > kMaxConvolutionSide || rows > kMaxConvolutionSide ||
      f.kernel.size() < static_cast<size_t>(cols) * rows) {
    return;
  }
  const double divisor = f.divisor != 0 && std::isfinite(f.divisor) ? f.divisor : 1;
  const double bias = std::isfinite(f.bias) ? f.bias : 0;
  const std::vector<uint32_t> src = pixels;
  const Rgba outside = f.defaultColor;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double sum[4] = {0, 0, 0, 0};
      for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
          const double k = f.kernel[static_cast<size_t>(j) * cols + i];
          if (k == 0 || !std::isfinite(k)) continue;
          int sx = x + i - cols / 2, sy = y + j - rows / 2;
          Rgba c = outside;
          if (f.clamp || (sx >= 0 && sy >= 0 && sx < width && sy < height)) {
            sx = std::clamp(sx, 0, width - 1);
            sy = std::clamp(sy, 0, height - 1);
            c = Unpremultiply(src[static_cast<size_t>(sy) * width + sx]);
          }
          sum[0] += k * c.r;
          sum[1] += k * c.g;
          sum[2] += k * c.b;
          sum[3] += k * c.a;
        }
      }
      auto channel = [&](double v) {
        return static_cast<uint8_t>(std::clamp(v / divisor + bias, 0.0, 255.0));
      };
      const size_t at = static_cast<size_t>(y) * width + x;
      const uint8_t alpha = f.preserveAlpha ? static_cast<uint8_t>(src[at] >> 24) : channel(sum[3]);
      pixels[at] = Premultiply({channel(sum[0]), channel(sum[1]), channel(sum[2]), alpha});
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
  if (f.kind == FilterKind::Convolution) {
    return (std::clamp(std::max(f.columns, f.rows), 0, kMaxConvolutionSide) + 1) / 2;
  }
  const int passes = Passes(f);
  const Box x = BoxFor(f.blurX, scale), y = BoxFor(f.blurY, scale);
  int margin = passes * (std::max(x.radius + (x.end ? 1 : 0), y.radius + (y.end ? 1 : 0)) + 1);
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
      BlurPixels(pixels, width, height, BoxFor(f.blurX, scale), BoxFor(f.blurY, scale), Passes(f));
      break;
    case FilterKind::Glow:
    case FilterKind::DropShadow:
      ApplyShadow(f, scale, pixels, width, height);
      break;
    case FilterKind::ColorMatrix:
      ApplyColorMatrix(f, pixels);
      break;
    case FilterKind::Bevel:
    case FilterKind::GradientBevel:
      ApplyBevel(f, scale, pixels, width, height);
      break;
    case FilterKind::GradientGlow:
      ApplyGradientGlow(f, scale, pixels, width, height);
      break;
    case FilterKind::Convolution:
      ApplyConvolution(f, pixels, width, height);
      break;
  }
}

}  // namespace swf::raster
