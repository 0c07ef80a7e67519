#pragma once
// Value types shared by the whole engine: SWF's units kept in their own types so that twips,
// pixels and fixed-point numbers never mix by accident.
#include <cstdint>

namespace swf {

// 1/20 of a pixel, the unit of every SWF coordinate.
struct Twips {
  int32_t v = 0;
  constexpr double Pixels() const { return v / 20.0; }
  friend constexpr bool operator==(Twips, Twips) = default;
};

// 16.16 fixed point as stored in matrices (scale and rotate-skew terms).
struct Fixed16 {
  int32_t raw = 0;
  constexpr double Value() const { return raw / 65536.0; }
  friend constexpr bool operator==(Fixed16, Fixed16) = default;
};

// 8.8 fixed point as stored in the header's frame rate and in colour transforms.
struct Fixed8 {
  int16_t raw = 0;
  constexpr double Value() const { return raw / 256.0; }
  friend constexpr bool operator==(Fixed8, Fixed8) = default;
};

// Unsigned 8.8 fixed point: the header's frame rate.
struct UFixed8 {
  uint16_t raw = 0;
  constexpr double Value() const { return raw / 256.0; }
  friend constexpr bool operator==(UFixed8, UFixed8) = default;
};

struct Point {
  double x = 0, y = 0;
};

// Straight (not premultiplied) colour as the file stores it.
struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 255;
  friend constexpr bool operator==(Rgba, Rgba) = default;
};

// Rectangle in twips, as in the header and shape bounds.
struct TwipsRect {
  int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  friend constexpr bool operator==(TwipsRect, TwipsRect) = default;
};

// Affine transform: x' = a*x + c*y + tx, y' = b*x + d*y + ty. Translation is in the unit of the
// space being mapped into (twips while parsing, pixels once composed with the view).
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  constexpr Point Apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  // (*this) after (inner): first inner, then this.
  constexpr Matrix operator*(const Matrix& inner) const {
    return {a * inner.a + c * inner.b,        b * inner.a + d * inner.b,
            a * inner.c + c * inner.d,        b * inner.c + d * inner.d,
            a * inner.tx + c * inner.ty + tx, b * inner.tx + d * inner.ty + ty};
  }
  // Whether every entry is a number (no NaN, no infinity): one sum tells.
  bool IsFinite() const {
    const double sum = a + b + c + d + tx + ty;
    return sum - sum == 0;
  }
  // Inverse; a singular matrix gives the zero matrix, which maps everything to the origin.
  Matrix Inverse() const {
    const double det = a * d - b * c;
    if (det == 0) return {0, 0, 0, 0, 0, 0};
    const double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return {ia, ib, ic, id, -(ia * tx + ic * ty), -(ib * tx + id * ty)};
  }
};

// Colour transform: channel' = clamp(channel * mult / 256 + add), per channel, with alpha.
struct ColorTransform {
  int16_t rMul = 256, gMul = 256, bMul = 256, aMul = 256;
  int16_t rAdd = 0, gAdd = 0, bAdd = 0, aAdd = 0;

  // (*this) after (inner), the way nested display objects combine.
  ColorTransform operator*(const ColorTransform& inner) const;
  Rgba Apply(Rgba c) const;
  bool IsIdentity() const {
    return rMul == 256 && gMul == 256 && bMul == 256 && aMul == 256 && rAdd == 0 && gAdd == 0 &&
           bAdd == 0 && aAdd == 0;
  }
};

}  // namespace swf
