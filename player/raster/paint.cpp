#include "player/raster/paint.h"

#include <algorithm>
#include <cmath>

#include "player/raster/pixel.h"

namespace swf::raster {
namespace {

// 16384 twips is the gradient square's half width.
constexpr double kGradientHalf = 16384.0;

double SrgbToLinear(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double v) {
  return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

Rgba Mix(Rgba p, Rgba q, double f, bool linearRgb) {
  auto lerp = [f](double a, double b) { return a + (b - a) * f; };
  auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0) + 0.5); };
  Rgba out;
  out.a = byte(lerp(p.a, q.a));
  if (linearRgb) {
    // Translucent stops come out darker than a plain blend of the colours: the original
    // scales the blended colour by the blended alpha while still in linear light, and then
    // applies that alpha once more when it draws. Opaque stops are unaffected.
    const double alpha = lerp(p.a, q.a) / 255;
    auto channel = [&](uint8_t a, uint8_t b) {
      auto linear8 = [](uint8_t v) { return std::floor(255 * SrgbToLinear(v / 255.0)); };
      return byte(255 * LinearToSrgb(lerp(linear8(a), linear8(b)) * alpha / 255));
    };
    out.r = channel(p.r, q.r);
    out.g = channel(p.g, q.g);
    out.b = channel(p.b, q.b);
  } else {
    out.r = byte(lerp(p.r, q.r));
    out.g = byte(lerp(p.g, q.g));
    out.b = byte(lerp(p.b, q.b));
  }
  return out;
}

// Maps a gradient parameter to 0..1 by the spread mode; NaN (a degenerate matrix) lands on 0.
inline double Spread(double t, SpreadMode mode) {
  if (!(t == t)) return 0;
  switch (mode) {
    case SpreadMode::Repeat:
      return t - std::floor(t);
    case SpreadMode::Reflect: {
      const double u = t - 2 * std::floor(t / 2);
      return u > 1 ? 2 - u : u;
    }
    case SpreadMode::Pad:
    default:
      return t < 0 ? 0 : (t > 1 ? 1 : t);
  }
}

inline int TableIndex(double t) {
  const double scaled = t * 256;
  if (!(scaled > 0)) return 0;
  return scaled >= 255 ? 255 : static_cast<int>(scaled);
}

inline int Wrap(int v, int size) {
  v %= size;
  return v < 0 ? v + size : v;
}

}  // namespace

void BuildGradientTable(const Gradient& gradient, const ColorTransform& colors,
                        GradientTable& table) {
  const auto& stops = gradient.stops;
  const size_t n = stops.size();
  if (n == 0) {
    table.fill(0);
    return;
  }
  const bool linear = gradient.interpolation == InterpolationMode::Linear;
  const bool identity = colors.IsIdentity();
  // Stops are taken in the order stored, and each table entry moves past at most one of them:
  // stops sharing a ratio then each still show on an entry of their own, and out-of-order
  // ratios interpolate between neighbours as stored. That is how movies have always looked.
  size_t next = 0;
  for (int t = 0; t < 256; ++t) {
    if (next < n && stops[next].ratio <= t) ++next;
    Rgba c;
    if (next == 0) {
      c = Mix(stops[0].color, stops[0].color, 0, linear);
    } else if (next == n) {
      c = Mix(stops[n - 1].color, stops[n - 1].color, 0, linear);
    } else {
      const GradientStop& p = stops[next - 1];
      const GradientStop& q = stops[next];
      const int span = q.ratio - p.ratio;
      const double f = span == 0 ? 0.0 : std::clamp(double(t - p.ratio) / span, 0.0, 1.0);
      c = Mix(p.color, q.color, f, linear);
    }
    if (!identity) c = colors.Apply(c);
    table[t] = Premultiply(c);
  }
}

void Paint::SetSolid(Rgba color, const ColorTransform& colors) {
  const Rgba c = colors.IsIdentity() ? color : colors.Apply(color);
  solid_ = Premultiply(c);
  kind_ = c.a == 0 ? Kind::None : Kind::Solid;
}

void Paint::Set(const FillStyle& style, const Matrix& toPixels, const ColorTransform& colors,
                const BitmapSource* bitmaps) {
  kind_ = Kind::None;
  switch (style.kind) {
    case FillKind::Solid:
      SetSolid(style.color, colors);
      return;
    case FillKind::LinearGradient:
    case FillKind::RadialGradient:
    case FillKind::FocalGradient: {
      if (style.gradient.stops.empty()) return;
      BuildGradientTable(style.gradient, colors, table_);
      inverse_ = (toPixels * style.matrix).Inverse();
      if (!inverse_.IsFinite()) return;
      spread_ = style.gradient.spread;
      focal_ = 0;
      if (style.kind == FillKind::LinearGradient) {
        kind_ = Kind::Linear;
      } else if (style.kind == FillKind::RadialGradient) {
        kind_ = Kind::Radial;
      } else {
        kind_ = Kind::Focal;
        // A focal point on the rim would divide by zero; just inside it looks the same.
        const double f = style.gradient.focalPoint;
        focal_ = f == f ? std::clamp(f, -0.998, 0.998) : 0;
      }
      return;
    }
    case FillKind::RepeatingBitmap:
    case FillKind::ClippedBitmap:
    case FillKind::NonSmoothedRepeatingBitmap:
    case FillKind::NonSmoothedClippedBitmap: {
      if (!bitmaps) return;
      const Bitmap* bitmap = bitmaps->FindBitmap(style.bitmapId);
      if (!bitmap || bitmap->width <= 0 || bitmap->height <= 0 ||
          bitmap->pixels.size() < static_cast<size_t>(bitmap->width) * bitmap->height) {
        return;
      }
      inverse_ = (toPixels * style.matrix).Inverse();
      if (!inverse_.IsFinite()) return;
      bitmap_ = bitmap;
      repeat_ = style.kind == FillKind::RepeatingBitmap ||
                style.kind == FillKind::NonSmoothedRepeatingBitmap;
      smooth_ = style.kind == FillKind::RepeatingBitmap || style.kind == FillKind::ClippedBitmap;
      colors_ = colors;
      transformBitmap_ = !colors.IsIdentity();
      kind_ = Kind::Bitmap;
      return;
    }
  }
}

void Paint::Shade(int x, int y, int count, uint32_t* out) const {
  switch (kind_) {
    case Kind::Solid:
      std::fill(out, out + count, solid_);
      return;
    case Kind::Linear:
    case Kind::Radial:
    case Kind::Focal:
      ShadeGradient(x, y, count, out);
      return;
    case Kind::Bitmap:
      ShadeBitmap(x, y, count, out);
      return;
    case Kind::None:
      std::fill(out, out + count, 0u);
      return;
  }
}

void Paint::ShadeGradient(int x, int y, int count, uint32_t* out) const {
  // Gradient space is affine in pixel space: step along the row instead of mapping each pixel.
  const Point start = inverse_.Apply({x + 0.5, y + 0.5});
  const double gx0 = start.x / kGradientHalf, gy0 = start.y / kGradientHalf;
  const double dx = inverse_.a / kGradientHalf, dy = inverse_.b / kGradientHalf;
  if (kind_ == Kind::Linear) {
    for (int i = 0; i < count; ++i) {
      const double t = (gx0 + dx * i + 1) * 0.5;
      out[i] = table_[TableIndex(Spread(t, spread_))];
    }
  } else if (kind_ == Kind::Radial) {
    for (int i = 0; i < count; ++i) {
      const double gx = gx0 + dx * i, gy = gy0 + dy * i;
      out[i] = table_[TableIndex(Spread(std::sqrt(gx * gx + gy * gy), spread_))];
    }
  } else {
    // The parameter is how far along the ray from the focal point to the rim the pixel lies.
    const double f = focal_, k = 1 - f * f;
    for (int i = 0; i < count; ++i) {
      const double px = gx0 + dx * i - f, py = gy0 + dy * i;
      const double dd = px * px + py * py;
      double t = 0;
      if (dd > 0) t = dd / (std::sqrt(f * f * px * px + dd * k) - f * px);
      out[i] = table_[TableIndex(Spread(t, spread_))];
    }
  }
}

void Paint::ShadeBitmap(int x, int y, int count, uint32_t* out) const {
  const Bitmap& bm = *bitmap_;
  const int w = bm.width, h = bm.height;
  const uint32_t* px = bm.pixels.data();
  const Point start = inverse_.Apply({x + 0.5, y + 0.5});
  const double du = inverse_.a, dv = inverse_.b;
  // Coordinates far outside the bitmap only need to keep their place modulo its size (when
  // repeating) or to clamp; keeping them in a sane range avoids overflowing the int casts.
  constexpr double kLimit = 1 << 30;
  auto fetch = [&](int ix, int iy) {
    if (repeat_) {
      ix = Wrap(ix, w);
      iy = Wrap(iy, h);
    } else {
      ix = std::clamp(ix, 0, w - 1);
      iy = std::clamp(iy, 0, h - 1);
    }
    return px[static_cast<size_t>(iy) * w + ix];
  };
  for (int i = 0; i < count; ++i) {
    double u = start.x + du * i, v = start.y + dv * i;
    if (!(u == u) || !(v == v)) u = v = 0;
    if (repeat_) {
      u -= std::floor(u / w) * w;
      v -= std::floor(v / h) * h;
    }
    u = std::clamp(u, -kLimit, kLimit);
    v = std::clamp(v, -kLimit, kLimit);
    uint32_t c;
    if (smooth_) {
      const double su = u - 0.5, sv = v - 0.5;
      const double fu = std::floor(su), fv = std::floor(sv);
      const int ix = static_cast<int>(fu), iy = static_cast<int>(fv);
      const uint32_t wx = static_cast<uint32_t>((su - fu) * 256),
                     wy = static_cast<uint32_t>((sv - fv) * 256);
      const uint32_t top =
          AddSaturate(Scale256(fetch(ix, iy), 256 - wx), Scale256(fetch(ix + 1, iy), wx));
      const uint32_t bottom =
          AddSaturate(Scale256(fetch(ix, iy + 1), 256 - wx), Scale256(fetch(ix + 1, iy + 1), wx));
      c = AddSaturate(Scale256(top, 256 - wy), Scale256(bottom, wy));
    } else {
      c = fetch(static_cast<int>(std::floor(u)), static_cast<int>(std::floor(v)));
    }
    out[i] = transformBitmap_ ? TransformPremultiplied(colors_, c) : c;
  }
}

}  // namespace swf::raster
