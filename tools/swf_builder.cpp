#include "tools/swf_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

namespace swfb {
namespace {

// Largest edge delta one edge record holds: NumBits is 4 bits plus 2, so 17 signed bits.
constexpr int32_t kMaxEdgeDelta = 65535;
constexpr int32_t kMinEdgeDelta = -65536;
// Colour-transform terms share one 4-bit width field.
constexpr int kMaxCxformBits = 15;
// Matrix and shape widths share 5-bit fields.
constexpr int kMaxFieldBits = 31;

int16_t ClampCxform(int16_t v) { return std::clamp<int16_t>(v, -16384, 16383); }

uint8_t Premultiply(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }

int32_t Round(double v) { return static_cast<int32_t>(std::lround(v)); }

bool FitsEdge(int64_t d) { return d >= kMinEdgeDelta && d <= kMaxEdgeDelta; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Value types.

Matrix Matrix::Translate(int32_t xTwips, int32_t yTwips) {
  Matrix m;
  m.translateX = xTwips;
  m.translateY = yTwips;
  return m;
}

Matrix Matrix::Scale(double sx, double sy, int32_t xTwips, int32_t yTwips) {
  Matrix m = Translate(xTwips, yTwips);
  m.scaleX = ToFixed16(sx);
  m.scaleY = ToFixed16(sy);
  return m;
}

Matrix Matrix::Transform(double sx, double sy, double radians, int32_t xTwips, int32_t yTwips) {
  const double c = std::cos(radians), s = std::sin(radians);
  return FromAffine(
      {sx * c, sx * s, -sy * s, sy * c, static_cast<double>(xTwips), static_cast<double>(yTwips)});
}

Matrix Matrix::FromAffine(const swf::Matrix& a) {
  Matrix m;
  m.scaleX = ToFixed16(a.a);
  m.rotateSkew0 = ToFixed16(a.b);
  m.rotateSkew1 = ToFixed16(a.c);
  m.scaleY = ToFixed16(a.d);
  m.translateX = Round(a.tx);
  m.translateY = Round(a.ty);
  return m;
}

bool ColorTransform::HasMul(bool withAlpha) const {
  return forceMul || rMul != 256 || gMul != 256 || bMul != 256 || (withAlpha && aMul != 256);
}

bool ColorTransform::HasAdd(bool withAlpha) const {
  return forceAdd || rAdd != 0 || gAdd != 0 || bAdd != 0 || (withAlpha && aAdd != 0);
}

// ---------------------------------------------------------------------------------------------
// Writer and records.

void Writer::U8(uint8_t v) {
  Align();
  bytes_.push_back(v);
}

void Writer::U16(uint16_t v) {
  U8(static_cast<uint8_t>(v));
  U8(static_cast<uint8_t>(v >> 8));
}

void Writer::U32(uint32_t v) {
  U16(static_cast<uint16_t>(v));
  U16(static_cast<uint16_t>(v >> 16));
}

void Writer::Bytes(std::span<const uint8_t> b) {
  Align();
  bytes_.insert(bytes_.end(), b.begin(), b.end());
}

void Writer::String(std::string_view s) {
  Align();
  bytes_.insert(bytes_.end(), s.begin(), s.end());
  bytes_.push_back(0);
}

void Writer::Rgb(Rgba c) {
  U8(c.r);
  U8(c.g);
  U8(c.b);
}

void Writer::RgbaColor(Rgba c) {
  Rgb(c);
  U8(c.a);
}

void Writer::UB(uint32_t v, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    if (freeBits_ == 0) {
      bytes_.push_back(0);
      freeBits_ = 8;
    }
    --freeBits_;
    if ((v >> i) & 1u) bytes_.back() |= static_cast<uint8_t>(1u << freeBits_);
  }
}

void Writer::SB(int32_t v, int bits) { UB(static_cast<uint32_t>(v), bits); }

void Writer::Align() { freeBits_ = 0; }

std::vector<uint8_t> Writer::Take() {
  freeBits_ = 0;
  return std::move(bytes_);
}

int UnsignedBits(uint32_t v) {
  int n = 0;
  while (v != 0) {
    ++n;
    v >>= 1;
  }
  return n;
}

int SignedBits(int32_t v) {
  if (v == 0) return 0;
  return UnsignedBits(static_cast<uint32_t>(v < 0 ? ~v : v)) + 1;
}

void WriteRect(Writer& w, const Rect& r) {
  const int n = std::min(kMaxFieldBits, std::max({SignedBits(r.xMin), SignedBits(r.xMax),
                                                  SignedBits(r.yMin), SignedBits(r.yMax)}));
  w.UB(static_cast<uint32_t>(n), 5);
  w.SB(r.xMin, n);
  w.SB(r.xMax, n);
  w.SB(r.yMin, n);
  w.SB(r.yMax, n);
  w.Align();
}

void WriteMatrix(Writer& w, const Matrix& m) {
  const bool scale = m.HasScale();
  w.UB(scale, 1);
  if (scale) {
    const int n = std::min(kMaxFieldBits, std::max(SignedBits(m.scaleX), SignedBits(m.scaleY)));
    w.UB(static_cast<uint32_t>(n), 5);
    w.SB(m.scaleX, n);
    w.SB(m.scaleY, n);
  }
  const bool rotate = m.HasRotate();
  w.UB(rotate, 1);
  if (rotate) {
    const int n =
        std::min(kMaxFieldBits, std::max(SignedBits(m.rotateSkew0), SignedBits(m.rotateSkew1)));
    w.UB(static_cast<uint32_t>(n), 5);
    w.SB(m.rotateSkew0, n);
    w.SB(m.rotateSkew1, n);
  }
  const int n =
      std::min(kMaxFieldBits, std::max(SignedBits(m.translateX), SignedBits(m.translateY)));
  w.UB(static_cast<uint32_t>(n), 5);
  w.SB(m.translateX, n);
  w.SB(m.translateY, n);
  w.Align();
}

void WriteColorTransform(Writer& w, const ColorTransform& cx, bool withAlpha) {
  const bool mul = cx.HasMul(withAlpha), add = cx.HasAdd(withAlpha);
  const int channels = withAlpha ? 4 : 3;
  const int16_t muls[4] = {ClampCxform(cx.rMul), ClampCxform(cx.gMul), ClampCxform(cx.bMul),
                           ClampCxform(cx.aMul)};
  const int16_t adds[4] = {ClampCxform(cx.rAdd), ClampCxform(cx.gAdd), ClampCxform(cx.bAdd),
                           ClampCxform(cx.aAdd)};
  int n = 0;
  for (int i = 0; i < channels; ++i) {
    if (mul) n = std::max(n, SignedBits(muls[i]));
    if (add) n = std::max(n, SignedBits(adds[i]));
  }
  n = std::min(n, kMaxCxformBits);
  w.UB(add, 1);
  w.UB(mul, 1);
  w.UB(static_cast<uint32_t>(n), 4);
  if (mul) {
    for (int i = 0; i < channels; ++i) w.SB(muls[i], n);
  }
  if (add) {
    for (int i = 0; i < channels; ++i) w.SB(adds[i], n);
  }
  w.Align();
}

void WriteTagHeader(Writer& w, uint16_t code, uint32_t length, bool forceLong) {
  if (length < 0x3F && !forceLong) {
    w.U16(static_cast<uint16_t>(code << 6 | length));
    return;
  }
  w.U16(static_cast<uint16_t>(code << 6 | 0x3F));
  w.U32(length);
}

void WriteStraightEdge(Writer& w, int32_t dx, int32_t dy) {
  const bool general = dx != 0 && dy != 0;
  const int n = std::max({2, SignedBits(dx), SignedBits(dy)});
  w.UB(1, 1);  // edge
  w.UB(1, 1);  // straight
  w.UB(static_cast<uint32_t>(n - 2), 4);
  w.UB(general, 1);
  if (general) {
    w.SB(dx, n);
    w.SB(dy, n);
  } else if (dx == 0) {
    w.UB(1, 1);  // vertical
    w.SB(dy, n);
  } else {
    w.UB(0, 1);
    w.SB(dx, n);
  }
}

void WriteCurvedEdge(Writer& w, int32_t controlDx, int32_t controlDy, int32_t anchorDx,
                     int32_t anchorDy) {
  const int n = std::max({2, SignedBits(controlDx), SignedBits(controlDy), SignedBits(anchorDx),
                          SignedBits(anchorDy)});
  w.UB(1, 1);
  w.UB(0, 1);
  w.UB(static_cast<uint32_t>(n - 2), 4);
  w.SB(controlDx, n);
  w.SB(controlDy, n);
  w.SB(anchorDx, n);
  w.SB(anchorDy, n);
}

std::vector<uint8_t> Deflate(std::span<const uint8_t> data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Styles.

Fill Fill::Solid(Rgba c) {
  Fill f;
  f.color = c;
  return f;
}

Fill Fill::Linear(const Matrix& m, Gradient g) {
  Fill f;
  f.type = FillType::LinearGradient;
  f.matrix = m;
  f.gradient = std::move(g);
  return f;
}

Fill Fill::Radial(const Matrix& m, Gradient g) {
  Fill f = Linear(m, std::move(g));
  f.type = FillType::RadialGradient;
  return f;
}

Fill Fill::Focal(const Matrix& m, Gradient g, double focalPoint) {
  Fill f = Linear(m, std::move(g));
  f.type = FillType::FocalGradient;
  f.gradient.focalPoint = focalPoint;
  return f;
}

Fill Fill::Bitmap(uint16_t id, const Matrix& m, FillType type) {
  Fill f;
  f.type = type;
  f.bitmapId = id;
  f.matrix = m;
  return f;
}

Matrix Fill::GradientBox(const Rect& box, double radians) {
  const double w = box.xMax - box.xMin, h = box.yMax - box.yMin;
  return Matrix::Transform(w / 32768.0, h / 32768.0, radians, Round((box.xMin + box.xMax) / 2.0),
                           Round((box.yMin + box.yMax) / 2.0));
}

Line Line::Solid(uint16_t widthTwips, Rgba c) {
  Line l;
  l.width = widthTwips;
  l.color = c;
  return l;
}

namespace {

bool IsGradient(FillType t) {
  return t == FillType::LinearGradient || t == FillType::RadialGradient ||
         t == FillType::FocalGradient;
}

bool IsBitmap(FillType t) {
  return t == FillType::RepeatingBitmap || t == FillType::ClippedBitmap ||
         t == FillType::NonSmoothedRepeatingBitmap || t == FillType::NonSmoothedClippedBitmap;
}

void WriteStyleCount(Writer& w, size_t count) {
  if (count < 0xFF) {
    w.U8(static_cast<uint8_t>(count));
  } else {
    w.U8(0xFF);
    w.U16(static_cast<uint16_t>(count));
  }
}

void WriteFill(Writer& w, const Fill& f, int version) {
  w.U8(static_cast<uint8_t>(f.type));
  if (IsGradient(f.type)) {
    WriteMatrix(w, f.matrix);
    const size_t stops = std::min<size_t>(f.gradient.stops.size(), 15);
    w.UB(static_cast<uint32_t>(f.gradient.spread), 2);
    w.UB(static_cast<uint32_t>(f.gradient.interpolation), 2);
    w.UB(static_cast<uint32_t>(stops), 4);
    for (size_t i = 0; i < stops; ++i) {
      w.U8(f.gradient.stops[i].ratio);
      if (version >= 3) {
        w.RgbaColor(f.gradient.stops[i].color);
      } else {
        w.Rgb(f.gradient.stops[i].color);
      }
    }
    if (f.type == FillType::FocalGradient) w.S16(ToFixed8(f.gradient.focalPoint));
  } else if (IsBitmap(f.type)) {
    w.U16(f.bitmapId);
    WriteMatrix(w, f.matrix);
  } else if (version >= 3) {
    w.RgbaColor(f.color);
  } else {
    w.Rgb(f.color);
  }
}

void WriteLine(Writer& w, const Line& l, int version) {
  w.U16(l.width);
  if (version < 4) {
    if (version == 3) {
      w.RgbaColor(l.color);
    } else {
      w.Rgb(l.color);
    }
    return;
  }
  w.UB(static_cast<uint32_t>(l.startCap), 2);
  w.UB(static_cast<uint32_t>(l.join), 2);
  w.UB(l.fill.has_value(), 1);
  w.UB(l.noHScale, 1);
  w.UB(l.noVScale, 1);
  w.UB(l.pixelHinting, 1);
  w.UB(0, 5);
  w.UB(l.noClose, 1);
  w.UB(static_cast<uint32_t>(l.endCap), 2);
  if (l.join == Join::Miter) w.U16(static_cast<uint16_t>(ToFixed8(l.miterLimit)));
  if (l.fill) {
    WriteFill(w, *l.fill, version);
  } else {
    w.RgbaColor(l.color);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shape.

uint32_t Shape::AddFill(const Fill& f) {
  styles_.back().fills.push_back(f);
  return static_cast<uint32_t>(styles_.back().fills.size());
}

uint32_t Shape::AddLine(const Line& l) {
  styles_.back().lines.push_back(l);
  return static_cast<uint32_t>(styles_.back().lines.size());
}

Shape& Shape::NewStyles() {
  // Alone in its record: indices set in the same record would have to be written with the
  // widths of the arrays being replaced, which readers disagree about.
  styles_.emplace_back();
  Record r;
  r.newStyles = true;
  r.stylesIndex = styles_.size() - 1;
  records_.push_back(r);
  changeOpen_ = false;
  return *this;
}

Shape::Record& Shape::PendingChange() {
  if (!changeOpen_) {
    records_.emplace_back();
    changeOpen_ = true;
  }
  return records_.back();
}

Shape& Shape::SetFill0(uint32_t index) {
  Record& r = PendingChange();
  r.hasFill0 = true;
  r.fill0 = index;
  return *this;
}

Shape& Shape::SetFill1(uint32_t index) {
  Record& r = PendingChange();
  r.hasFill1 = true;
  r.fill1 = index;
  return *this;
}

Shape& Shape::SetLine(uint32_t index) {
  Record& r = PendingChange();
  r.hasLine = true;
  r.line = index;
  return *this;
}

Shape& Shape::MoveTo(int32_t x, int32_t y) {
  Record& r = PendingChange();
  r.hasMove = true;
  r.x = x;
  r.y = y;
  penX_ = x;
  penY_ = y;
  return *this;
}

void Shape::AddPoint(int32_t x, int32_t y) {
  if (!anyPoint_) {
    pointBounds_ = {x, x, y, y};
    anyPoint_ = true;
    return;
  }
  pointBounds_.xMin = std::min(pointBounds_.xMin, x);
  pointBounds_.xMax = std::max(pointBounds_.xMax, x);
  pointBounds_.yMin = std::min(pointBounds_.yMin, y);
  pointBounds_.yMax = std::max(pointBounds_.yMax, y);
}

void Shape::StraightTo(int32_t x, int32_t y) {
  Record r;
  r.kind = Record::Straight;
  r.x = x - penX_;
  r.y = y - penY_;
  records_.push_back(r);
  changeOpen_ = false;
  AddPoint(penX_, penY_);
  AddPoint(x, y);
  penX_ = x;
  penY_ = y;
}

Shape& Shape::LineTo(int32_t x, int32_t y) {
  const int64_t dx = int64_t{x} - penX_, dy = int64_t{y} - penY_;
  const int64_t longest = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
  const int64_t pieces = std::max<int64_t>(1, (longest + kMaxEdgeDelta - 1) / kMaxEdgeDelta);
  const int32_t x0 = penX_, y0 = penY_;
  for (int64_t i = 1; i <= pieces; ++i) {
    StraightTo(static_cast<int32_t>(x0 + dx * i / pieces),
               static_cast<int32_t>(y0 + dy * i / pieces));
  }
  return *this;
}

Shape& Shape::CurveTo(int32_t controlX, int32_t controlY, int32_t x, int32_t y) {
  const int64_t cdx = int64_t{controlX} - penX_, cdy = int64_t{controlY} - penY_;
  const int64_t adx = int64_t{x} - controlX, ady = int64_t{y} - controlY;
  if (!FitsEdge(cdx) || !FitsEdge(cdy) || !FitsEdge(adx) || !FitsEdge(ady)) {
    // Too long for one record: split the curve in halves.
    const double ax = penX_, ay = penY_;
    const double m1x = (ax + controlX) / 2, m1y = (ay + controlY) / 2;
    const double m2x = (static_cast<double>(controlX) + x) / 2;
    const double m2y = (static_cast<double>(controlY) + y) / 2;
    CurveTo(Round(m1x), Round(m1y), Round((m1x + m2x) / 2), Round((m1y + m2y) / 2));
    return CurveTo(Round(m2x), Round(m2y), x, y);
  }
  Record r;
  r.kind = Record::Curved;
  r.cx = static_cast<int32_t>(cdx);
  r.cy = static_cast<int32_t>(cdy);
  r.x = static_cast<int32_t>(adx);
  r.y = static_cast<int32_t>(ady);
  records_.push_back(r);
  changeOpen_ = false;
  AddPoint(penX_, penY_);
  AddPoint(controlX, controlY);
  AddPoint(x, y);
  penX_ = x;
  penY_ = y;
  return *this;
}

Shape& Shape::Contour(std::span<const ContourPoint> points, bool reverse) {
  if (points.empty()) return *this;
  const size_t n = points.size();
  // Reversed, the contour still starts at its first point and then walks the rest backwards.
  auto at = [&](size_t i) -> const ContourPoint& {
    return reverse ? points[(n - i) % n] : points[i % n];
  };
  MoveTo(at(0).x, at(0).y);
  size_t i = 1;
  while (i < n) {
    const ContourPoint& p = at(i);
    if (p.control) {
      const ContourPoint& anchor = at(i + 1);
      CurveTo(p.x, p.y, anchor.x, anchor.y);
      i += 2;
    } else {
      if (p.x != penX_ || p.y != penY_) LineTo(p.x, p.y);
      ++i;
    }
  }
  if (penX_ != at(0).x || penY_ != at(0).y) LineTo(at(0).x, at(0).y);
  return *this;
}

Shape& Shape::Polygon(std::span<const ContourPoint> corners, bool reverse) {
  std::vector<ContourPoint> straight(corners.begin(), corners.end());
  for (ContourPoint& p : straight) p.control = false;
  return Contour(straight, reverse);
}

Shape& Shape::Rectangle(const Rect& r, bool reverse) {
  const ContourPoint corners[] = {
      {r.xMin, r.yMin}, {r.xMax, r.yMin}, {r.xMax, r.yMax}, {r.xMin, r.yMax}};
  return Contour(corners, reverse);
}

Shape& Shape::RoundedRectangle(const Rect& r, int32_t radius, bool reverse) {
  const int32_t k = std::clamp(radius, 0, std::min(r.xMax - r.xMin, r.yMax - r.yMin) / 2);
  const ContourPoint points[] = {
      {r.xMin + k, r.yMin}, {r.xMax - k, r.yMin}, {r.xMax, r.yMin, true},
      {r.xMax, r.yMin + k}, {r.xMax, r.yMax - k}, {r.xMax, r.yMax, true},
      {r.xMax - k, r.yMax}, {r.xMin + k, r.yMax}, {r.xMin, r.yMax, true},
      {r.xMin, r.yMax - k}, {r.xMin, r.yMin + k}, {r.xMin, r.yMin, true},
  };
  return Contour(points, reverse);
}

Shape& Shape::Ellipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry, bool reverse) {
  // Each eighth of the ellipse is one quadratic whose control point lies on the bisecting ray,
  // far enough out that the curve touches the ellipse halfway.
  const double step = std::numbers::pi / 4;
  const double reach = 1 / std::cos(step / 2);
  std::vector<ContourPoint> points;
  for (int i = 0; i < 8; ++i) {
    const double a = i * step, m = a + step / 2;
    points.push_back({Round(cx + rx * std::cos(a)), Round(cy + ry * std::sin(a))});
    points.push_back(
        {Round(cx + rx * reach * std::cos(m)), Round(cy + ry * reach * std::sin(m)), true});
  }
  return Contour(points, reverse);
}

Rect Shape::EdgeBounds() const {
  if (edgeBounds_) return *edgeBounds_;
  return anyPoint_ ? pointBounds_ : Rect{};
}

Rect Shape::Bounds() const {
  if (bounds_) return *bounds_;
  Rect r = EdgeBounds();
  if (!anyPoint_) return r;
  int32_t widest = 0;
  for (const Styles& s : styles_) {
    for (const Line& l : s.lines) widest = std::max<int32_t>(widest, l.width);
  }
  const int32_t half = (widest + 1) / 2;
  return {r.xMin - half, r.xMax + half, r.yMin - half, r.yMax + half};
}

std::vector<uint8_t> Shape::Encode(int version) const {
  // Index widths of each style-array set: wide enough for the array and for every index
  // chosen while it is current (tests may pick indices past the end on purpose).
  std::vector<uint32_t> fillMax(styles_.size()), lineMax(styles_.size());
  for (size_t i = 0; i < styles_.size(); ++i) {
    fillMax[i] = static_cast<uint32_t>(styles_[i].fills.size());
    lineMax[i] = static_cast<uint32_t>(styles_[i].lines.size());
  }
  size_t current = 0;
  for (const Record& r : records_) {
    if (r.kind != Record::StyleChange) continue;
    if (r.hasFill0) fillMax[current] = std::max(fillMax[current], r.fill0);
    if (r.hasFill1) fillMax[current] = std::max(fillMax[current], r.fill1);
    if (r.hasLine) lineMax[current] = std::max(lineMax[current], r.line);
    if (r.newStyles) current = r.stylesIndex;
  }

  Writer w;
  auto writeStyles = [&](size_t set) {
    WriteStyleCount(w, styles_[set].fills.size());
    for (const Fill& f : styles_[set].fills) WriteFill(w, f, version);
    WriteStyleCount(w, styles_[set].lines.size());
    for (const Line& l : styles_[set].lines) WriteLine(w, l, version);
    w.UB(static_cast<uint32_t>(std::min(15, UnsignedBits(fillMax[set]))), 4);
    w.UB(static_cast<uint32_t>(std::min(15, UnsignedBits(lineMax[set]))), 4);
  };
  writeStyles(0);
  current = 0;
  for (const Record& r : records_) {
    switch (r.kind) {
      case Record::Straight:
        WriteStraightEdge(w, r.x, r.y);
        break;
      case Record::Curved:
        WriteCurvedEdge(w, r.cx, r.cy, r.x, r.y);
        break;
      case Record::StyleChange: {
        const int fillBits = std::min(15, UnsignedBits(fillMax[current]));
        const int lineBits = std::min(15, UnsignedBits(lineMax[current]));
        w.UB(0, 1);
        w.UB(r.newStyles, 1);
        w.UB(r.hasLine, 1);
        w.UB(r.hasFill1, 1);
        w.UB(r.hasFill0, 1);
        w.UB(r.hasMove, 1);
        if (r.hasMove) {
          const int n = std::min(kMaxFieldBits, std::max(SignedBits(r.x), SignedBits(r.y)));
          w.UB(static_cast<uint32_t>(n), 5);
          w.SB(r.x, n);
          w.SB(r.y, n);
        }
        if (r.hasFill0) w.UB(r.fill0, fillBits);
        if (r.hasFill1) w.UB(r.fill1, fillBits);
        if (r.hasLine) w.UB(r.line, lineBits);
        if (r.newStyles) {
          current = r.stylesIndex;
          writeStyles(current);
        }
        break;
      }
    }
  }
  w.UB(0, 6);  // end of shape
  w.Align();
  return w.Take();
}

std::vector<uint8_t> Shape::EncodeDefinition(int version) const {
  Writer w;
  WriteRect(w, Bounds());
  if (version >= 4) {
    WriteRect(w, EdgeBounds());
    bool scaling = false, nonScaling = false;
    for (const Styles& s : styles_) {
      for (const Line& l : s.lines) {
        (l.noHScale || l.noVScale ? nonScaling : scaling) = true;
      }
    }
    w.UB(0, 5);
    w.UB(nonZero_, 1);
    w.UB(nonScaling, 1);
    w.UB(scaling, 1);
  }
  w.Bytes(Encode(version));
  return w.Take();
}

// ---------------------------------------------------------------------------------------------
// Bitmaps.

std::vector<uint8_t> EncodeLossless(const Image& image, LosslessFormat format, bool alpha) {
  const size_t count = size_t{image.width} * image.height;
  if (image.pixels.size() != count) return {};
  if (format == LosslessFormat::Rgb15 && alpha) return {};

  auto stored = [&](Rgba c) {
    if (alpha)
      return Rgba{Premultiply(c.r, c.a), Premultiply(c.g, c.a), Premultiply(c.b, c.a), c.a};
    return Rgba{c.r, c.g, c.b, 255};
  };

  Writer pixels;
  std::vector<Rgba> palette;
  if (format == LosslessFormat::Palette) {
    std::vector<uint8_t> indices;
    indices.reserve(count);
    for (Rgba c : image.pixels) {
      const Rgba s = stored(c);
      auto it = std::find(palette.begin(), palette.end(), s);
      if (it == palette.end()) {
        if (palette.size() == 256) return {};
        palette.push_back(s);
        it = palette.end() - 1;
      }
      indices.push_back(static_cast<uint8_t>(it - palette.begin()));
    }
    for (Rgba c : palette) {
      if (alpha) {
        pixels.RgbaColor(c);
      } else {
        pixels.Rgb(c);
      }
    }
    const size_t stride = (size_t{image.width} + 3) / 4 * 4;
    for (size_t y = 0; y < image.height; ++y) {
      for (size_t x = 0; x < stride; ++x) {
        pixels.U8(x < image.width ? indices[y * image.width + x] : 0);
      }
    }
  } else if (format == LosslessFormat::Rgb15) {
    const size_t padding = (image.width % 2) * 2;
    for (size_t y = 0; y < image.height; ++y) {
      for (size_t x = 0; x < image.width; ++x) {
        const Rgba c = image.pixels[y * image.width + x];
        // One reserved bit, then five bits each of red, green and blue, high byte first.
        pixels.UB(0, 1);
        pixels.UB(c.r >> 3, 5);
        pixels.UB(c.g >> 3, 5);
        pixels.UB(c.b >> 3, 5);
      }
      for (size_t i = 0; i < padding; ++i) pixels.U8(0);
    }
  } else {
    for (Rgba c : image.pixels) {
      const Rgba s = stored(c);
      pixels.U8(alpha ? s.a : 0);  // without alpha the first byte is reserved and zero
      pixels.Rgb(s);
    }
  }

  Writer body;
  body.U8(static_cast<uint8_t>(format));
  body.U16(image.width);
  body.U16(image.height);
  if (format == LosslessFormat::Palette) {
    if (palette.empty()) palette.push_back({});  // the size field cannot say "none"
    body.U8(static_cast<uint8_t>(palette.size() - 1));
  }
  body.Bytes(Deflate(pixels.Data()));
  return body.Take();
}

// ---------------------------------------------------------------------------------------------
// Timelines.

void Timeline::Put(uint16_t code, const std::vector<uint8_t>& body, bool forceLong) {
  Writer w;
  WriteTagHeader(w, code, static_cast<uint32_t>(body.size()), forceLong);
  w.Bytes(body);
  const std::vector<uint8_t>& bytes = w.Data();
  tags_.insert(tags_.end(), bytes.begin(), bytes.end());
}

Timeline& Timeline::Tag(uint16_t code, std::span<const uint8_t> body, bool forceLongHeader) {
  Put(code, std::vector<uint8_t>(body.begin(), body.end()), forceLongHeader);
  if (code == static_cast<uint16_t>(TagCode::ShowFrame)) ++frames_;
  return *this;
}

Timeline& Timeline::AppendRaw(std::span<const uint8_t> bytes) {
  tags_.insert(tags_.end(), bytes.begin(), bytes.end());
  return *this;
}

Timeline& Timeline::ShowFrame() { return Tag(TagCode::ShowFrame, {}); }

Timeline& Timeline::FrameLabel(std::string_view name, bool namedAnchor) {
  Writer w;
  w.String(name);
  if (namedAnchor) w.U8(1);
  Put(static_cast<uint16_t>(TagCode::FrameLabel), w.Data());
  return *this;
}

Timeline& Timeline::DoAction(std::span<const uint8_t> actions) {
  return Tag(TagCode::DoAction, actions);
}

Timeline& Timeline::PlaceObject(uint16_t characterId, uint16_t depth, const Matrix& m,
                                std::optional<ColorTransform> cx) {
  Writer w;
  w.U16(characterId);
  w.U16(depth);
  WriteMatrix(w, m);
  if (cx) WriteColorTransform(w, *cx, false);
  Put(static_cast<uint16_t>(TagCode::PlaceObject), w.Data());
  return *this;
}

namespace {

// The body shared by PlaceObject2 and PlaceObject3 after their flag bytes and depth.
void WritePlaceFields(Writer& w, const Place& p) {
  if (p.characterId) w.U16(*p.characterId);
  if (p.matrix) WriteMatrix(w, *p.matrix);
  if (p.colorTransform) WriteColorTransform(w, *p.colorTransform, true);
  if (p.ratio) w.U16(*p.ratio);
  if (p.name) w.String(*p.name);
  if (p.clipDepth) w.U16(*p.clipDepth);
}

uint8_t PlaceFlags(const Place& p) {
  return static_cast<uint8_t>((p.clipDepth ? 0x40 : 0) | (p.name ? 0x20 : 0) |
                              (p.ratio ? 0x10 : 0) | (p.colorTransform ? 0x08 : 0) |
                              (p.matrix ? 0x04 : 0) | (p.characterId ? 0x02 : 0) |
                              (p.move ? 0x01 : 0));
}

}  // namespace

Timeline& Timeline::PlaceObject2(const Place& p) {
  Writer w;
  w.U8(PlaceFlags(p));
  w.U16(p.depth);
  WritePlaceFields(w, p);
  Put(static_cast<uint16_t>(TagCode::PlaceObject2), w.Data());
  return *this;
}

Timeline& Timeline::PlaceObject3(const Place& p) {
  Writer w;
  w.U8(PlaceFlags(p));
  w.U8(static_cast<uint8_t>((p.className ? 0x08 : 0) | (p.cacheAsBitmap ? 0x04 : 0) |
                            (p.blendMode ? 0x02 : 0) | (p.filters ? 0x01 : 0)));
  w.U16(p.depth);
  if (p.className) w.String(*p.className);
  WritePlaceFields(w, p);
  if (p.filters) w.Bytes(*p.filters);
  if (p.blendMode) w.U8(*p.blendMode);
  if (p.cacheAsBitmap) w.U8(*p.cacheAsBitmap);
  Put(static_cast<uint16_t>(TagCode::PlaceObject3), w.Data());
  return *this;
}

std::vector<uint8_t> EncodeEveryFilter() {
  Writer w;
  auto fixed = [&](double v) { w.U32(static_cast<uint32_t>(static_cast<int32_t>(v * 65536))); };
  auto blurs = [&] {
    fixed(6);
    fixed(4);
  };
  const Rgba red{255, 0, 0, 255}, white{255, 255, 255, 255};
  w.U8(8);
  w.U8(0);  // drop shadow: colour, blur, angle, distance, strength, flags
  w.RgbaColor({0, 0, 0, 128});
  blurs();
  fixed(0.785);
  fixed(5);
  w.U16(256);
  w.U8(0x20 | 2);
  w.U8(1);  // blur
  blurs();
  w.U8(3 << 3);
  w.U8(2);  // glow
  w.RgbaColor(red);
  blurs();
  w.U16(512);
  w.U8(0x20 | 1);
  w.U8(3);  // bevel: highlight, shadow, ...
  w.RgbaColor(white);
  w.RgbaColor(red);
  blurs();
  fixed(0.785);
  fixed(4);
  w.U16(256);
  w.U8(0x20 | 0x10 | 1);
  for (uint8_t kind : {4, 7}) {  // gradient glow, gradient bevel
    w.U8(kind);
    w.U8(2);
    w.RgbaColor(white);
    w.RgbaColor(red);
    w.U8(0);
    w.U8(255);
    blurs();
    fixed(0.785);
    fixed(4);
    w.U16(256);
    w.U8(0x20 | 1);
  }
  w.U8(5);  // convolution, 3 x 3
  w.U8(3);
  w.U8(3);
  const float one = 1, nine = 9;
  auto f32 = [&](float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    w.U32(bits);
  };
  f32(nine);
  f32(0);
  for (int i = 0; i < 9; ++i) f32(one);
  w.RgbaColor({0, 0, 0, 0});
  w.U8(0x03);
  w.U8(6);  // colour matrix: identity
  for (int i = 0; i < 20; ++i) f32(i % 6 == 0 ? one : 0);
  return w.Take();
}

std::vector<uint8_t> EncodeMorphRectangle(uint16_t id, const Rect& from, const Rect& to, Rgba a,
                                          Rgba b, int version) {
  auto edges = [](const Rect& r, bool styles) {
    Writer e;
    e.UB(1, 4);  // fill bits
    e.UB(styles ? 1 : 0, 4);
    e.UB(0, 1);  // style change: move, and the styles on the start edges
    e.UB(0, 1);
    e.UB(styles ? 1 : 0, 1);  // line
    e.UB(0, 1);
    e.UB(styles ? 1 : 0, 1);  // fill0
    e.UB(1, 1);               // move
    e.UB(20, 5);
    e.SB(r.xMin, 20);
    e.SB(r.yMin, 20);
    if (styles) {
      e.UB(1, 1);
      e.UB(1, 1);
    }
    WriteStraightEdge(e, r.xMax - r.xMin, 0);
    WriteStraightEdge(e, 0, r.yMax - r.yMin);
    WriteStraightEdge(e, r.xMin - r.xMax, 0);
    WriteStraightEdge(e, 0, r.yMin - r.yMax);
    e.UB(0, 6);
    e.Align();
    return e.Take();
  };
  Writer w;
  w.U16(id);
  WriteRect(w, from);
  WriteRect(w, to);
  if (version == 2) {
    WriteRect(w, from);
    WriteRect(w, to);
    w.U8(0);
  }
  Writer styles;
  styles.U8(1);
  styles.U8(0);
  styles.RgbaColor(a);
  styles.RgbaColor(b);
  styles.U8(1);
  styles.U16(20);
  styles.U16(60);
  if (version == 2) styles.U16(0);  // round caps and joins, no fill, scaled
  styles.RgbaColor({0, 0, 0, 255});
  styles.RgbaColor({0, 0, 0, 128});
  const std::vector<uint8_t> start = edges(from, true);
  w.U32(static_cast<uint32_t>(styles.Size() + start.size()));
  w.Bytes(styles.Data());
  w.Bytes(start);
  w.Bytes(edges(to, false));
  return w.Take();
}

Timeline& Timeline::RemoveObject(uint16_t characterId, uint16_t depth) {
  Writer w;
  w.U16(characterId);
  w.U16(depth);
  Put(static_cast<uint16_t>(TagCode::RemoveObject), w.Data());
  return *this;
}

Timeline& Timeline::RemoveObject2(uint16_t depth) {
  Writer w;
  w.U16(depth);
  Put(static_cast<uint16_t>(TagCode::RemoveObject2), w.Data());
  return *this;
}

// ---------------------------------------------------------------------------------------------
// Movie.

uint16_t Movie::TakeId(uint16_t id) {
  if (id == 0) id = nextId_;
  if (id >= nextId_) nextId_ = static_cast<uint16_t>(id + 1);
  return id;
}

Movie& Movie::SetBackgroundColor(Rgba c) {
  Writer w;
  w.Rgb(c);
  Put(static_cast<uint16_t>(TagCode::SetBackgroundColor), w.Data());
  return *this;
}

uint16_t Movie::DefineShape(const Shape& shape, int version, uint16_t id) {
  static constexpr TagCode kCodes[] = {TagCode::DefineShape, TagCode::DefineShape2,
                                       TagCode::DefineShape3, TagCode::DefineShape4};
  version = std::clamp(version, 1, 4);
  id = TakeId(id);
  Writer w;
  w.U16(id);
  w.Bytes(shape.EncodeDefinition(version));
  Put(static_cast<uint16_t>(kCodes[version - 1]), w.Data());
  return id;
}

uint16_t Movie::DefineLossless(const Image& image, LosslessFormat format, bool alpha, uint16_t id) {
  std::vector<uint8_t> body = EncodeLossless(image, format, alpha);
  if (body.empty()) return 0;
  id = TakeId(id);
  Writer w;
  w.U16(id);
  w.Bytes(body);
  Put(static_cast<uint16_t>(alpha ? TagCode::DefineBitsLossless2 : TagCode::DefineBitsLossless),
      w.Data());
  return id;
}

Movie& Movie::JpegTables(std::span<const uint8_t> tables) {
  Tag(TagCode::JPEGTables, tables);
  return *this;
}

uint16_t Movie::DefineBits(std::span<const uint8_t> jpeg, uint16_t id) {
  id = TakeId(id);
  Writer w;
  w.U16(id);
  w.Bytes(jpeg);
  Put(static_cast<uint16_t>(TagCode::DefineBits), w.Data());
  return id;
}

uint16_t Movie::DefineBitsJpeg2(std::span<const uint8_t> jpeg, uint16_t id) {
  id = TakeId(id);
  Writer w;
  w.U16(id);
  w.Bytes(jpeg);
  Put(static_cast<uint16_t>(TagCode::DefineBitsJPEG2), w.Data());
  return id;
}

uint16_t Movie::DefineBitsJpeg3(std::span<const uint8_t> jpeg, std::span<const uint8_t> alpha,
                                uint16_t id) {
  id = TakeId(id);
  Writer w;
  w.U16(id);
  w.U32(static_cast<uint32_t>(jpeg.size()));
  w.Bytes(jpeg);
  w.Bytes(Deflate(alpha));
  Put(static_cast<uint16_t>(TagCode::DefineBitsJPEG3), w.Data());
  return id;
}

uint16_t Movie::DefineDeviceFont(std::string_view name, bool bold, bool italic, uint16_t id) {
  id = TakeId(id);
  Writer w;
  w.U16(id);
  w.U8(static_cast<uint8_t>((italic ? 0x02 : 0) | (bold ? 0x01 : 0)));
  w.U8(0);  // language
  const std::string_view cut = name.substr(0, 255);
  w.U8(static_cast<uint8_t>(cut.size()));
  w.Bytes({reinterpret_cast<const uint8_t*>(cut.data()), cut.size()});
  w.U16(0);  // no glyphs
  Put(static_cast<uint16_t>(TagCode::DefineFont2), w.Data());
  return id;
}

uint16_t Movie::DefineEditText(const EditText& field, uint16_t id) {
  uint16_t fontId = field.fontId;
  if (!fontId && !field.font.empty()) fontId = DefineDeviceFont(field.font);
  id = TakeId(id);
  Writer w;
  w.U16(id);
  WriteRect(w, field.bounds);
  w.U8(static_cast<uint8_t>((field.text.empty() ? 0 : 0x80) | (field.wordWrap ? 0x40 : 0) |
                            (field.multiline ? 0x20 : 0) | (field.password ? 0x10 : 0) |
                            (field.readOnly ? 0x08 : 0) | 0x04 | (field.maxLength ? 0x02 : 0) |
                            (fontId ? 0x01 : 0)));
  w.U8(static_cast<uint8_t>((field.autoSize ? 0x40 : 0) | (field.align ? 0x20 : 0) |
                            (field.noSelect ? 0x10 : 0) | (field.border ? 0x08 : 0) |
                            (field.html ? 0x02 : 0) | (field.useOutlines ? 0x01 : 0)));
  if (fontId) {
    w.U16(fontId);
    w.U16(field.height);
  }
  w.RgbaColor(field.color);
  if (field.maxLength) w.U16(*field.maxLength);
  if (field.align) {
    w.U8(*field.align);
    w.U16(field.leftMargin);
    w.U16(field.rightMargin);
    w.U16(field.indent);
    w.S16(field.leading);
  }
  w.String(field.variable);
  if (!field.text.empty()) w.String(field.text);
  Put(static_cast<uint16_t>(TagCode::DefineEditText), w.Data());
  return id;
}

uint16_t Movie::DefineFont2(std::string_view name, std::span<const FontGlyph> glyphs,
                            int16_t ascent, int16_t descent, int16_t leading, uint16_t id) {
  id = TakeId(id);
  // A glyph is a shape's records without its style arrays: a DefineShape encoding with one
  // solid fill (count, type, RGB) and no lines (count) leaves them after its first 6 bytes.
  std::vector<std::vector<uint8_t>> shapes;
  for (const FontGlyph& g : glyphs) {
    std::vector<uint8_t> encoded = g.shape.Encode(1);
    shapes.emplace_back(encoded.begin() + std::min<size_t>(6, encoded.size()), encoded.end());
  }
  Writer w;
  w.U16(id);
  w.U8(0x80 | 0x08 | 0x04);  // layout, wide offsets, wide codes
  w.U8(0);
  const std::string_view cut = name.substr(0, 255);
  w.U8(static_cast<uint8_t>(cut.size()));
  w.Bytes({reinterpret_cast<const uint8_t*>(cut.data()), cut.size()});
  w.U16(static_cast<uint16_t>(glyphs.size()));
  uint32_t offset = static_cast<uint32_t>(4 * (glyphs.size() + 1));
  for (const std::vector<uint8_t>& shape : shapes) {
    w.U32(offset);
    offset += static_cast<uint32_t>(shape.size());
  }
  w.U32(offset);  // the code table
  for (const std::vector<uint8_t>& shape : shapes) w.Bytes(shape);
  for (const FontGlyph& g : glyphs) w.U16(g.code);
  w.S16(ascent);
  w.S16(descent);
  w.S16(leading);
  for (const FontGlyph& g : glyphs) w.S16(g.advance);
  for (const FontGlyph& g : glyphs) WriteRect(w, g.shape.Bounds());
  w.U16(0);  // no kerning pairs
  Put(static_cast<uint16_t>(TagCode::DefineFont2), w.Data());
  return id;
}

uint16_t Movie::DefineText(const Rect& bounds, const Matrix& matrix, std::span<const TextRun> runs,
                           bool alpha, uint16_t id) {
  id = TakeId(id);
  uint32_t maxIndex = 0;
  int32_t maxAdvance = 0;
  for (const TextRun& run : runs) {
    for (const auto& [index, advance] : run.glyphs) {
      maxIndex = std::max<uint32_t>(maxIndex, index);
      maxAdvance = std::max(maxAdvance, std::abs(advance));
    }
  }
  const int glyphBits = std::max(1, UnsignedBits(maxIndex));
  const int advanceBits = std::max(2, SignedBits(maxAdvance));
  Writer w;
  w.U16(id);
  WriteRect(w, bounds);
  WriteMatrix(w, matrix);
  w.U8(static_cast<uint8_t>(glyphBits));
  w.U8(static_cast<uint8_t>(advanceBits));
  for (const TextRun& run : runs) {
    w.U8(0x80 | 0x08 | 0x04 | 0x02 | 0x01);  // font, colour, both offsets
    w.U16(run.fontId);
    if (alpha) {
      w.RgbaColor(run.color);
    } else {
      w.Rgb(run.color);
    }
    w.S16(run.x);
    w.S16(run.y);
    w.U16(run.height);
    w.U8(static_cast<uint8_t>(std::min<size_t>(run.glyphs.size(), 255)));
    for (size_t i = 0; i < run.glyphs.size() && i < 255; ++i) {
      w.UB(run.glyphs[i].first, glyphBits);
      w.SB(run.glyphs[i].second, advanceBits);
    }
    w.Align();
  }
  w.U8(0);
  Put(static_cast<uint16_t>(alpha ? TagCode::DefineText2 : TagCode::DefineText), w.Data());
  return id;
}

uint16_t Movie::DefineSprite(const Sprite& sprite, uint16_t id) {
  id = TakeId(id);
  Writer w;
  w.U16(id);
  w.U16(sprite.FrameCount());
  w.Bytes(sprite.Tags());
  w.U16(0);  // End
  Put(static_cast<uint16_t>(TagCode::DefineSprite), w.Data());
  return id;
}

uint16_t Movie::DefineButton2(std::span<const ButtonRecord> records,
                              std::span<const ButtonAction> actions, bool trackAsMenu,
                              uint16_t id) {
  id = TakeId(id);
  Writer w;
  w.U16(id);
  w.U8(trackAsMenu ? 1 : 0);
  Writer body;
  for (const ButtonRecord& r : records) {
    body.U8(r.states & 0x0F);
    body.U16(r.characterId);
    body.U16(r.depth);
    WriteMatrix(body, r.matrix);
    WriteColorTransform(body, r.colors, true);
  }
  body.U8(0);
  // The offset counts from its own field to the first action; 0 when there is none.
  w.U16(actions.empty() ? 0 : static_cast<uint16_t>(body.Size() + 2));
  w.Bytes(body.Data());
  for (size_t i = 0; i < actions.size(); ++i) {
    const bool last = i + 1 == actions.size();
    w.U16(last ? 0 : static_cast<uint16_t>(actions[i].actions.size() + 4));
    w.U16(actions[i].conditions);
    w.Bytes(actions[i].actions);
  }
  Put(static_cast<uint16_t>(TagCode::DefineButton2), w.Data());
  return id;
}

Movie& Movie::DoInitAction(uint16_t spriteId, std::span<const uint8_t> actions) {
  Writer w;
  w.U16(spriteId);
  w.Bytes(actions);
  Put(static_cast<uint16_t>(TagCode::DoInitAction), w.Data());
  return *this;
}

Movie& Movie::ExportAssets(uint16_t characterId, std::string_view name) {
  Writer w;
  w.U16(1);
  w.U16(characterId);
  w.String(name);
  Put(static_cast<uint16_t>(TagCode::ExportAssets), w.Data());
  return *this;
}

std::vector<uint8_t> Movie::Build() const {
  Writer body;
  WriteRect(body, header_.stage);
  body.U16(static_cast<uint16_t>(std::lround(std::clamp(header_.frameRate, 0.0, 255.99) * 256)));
  body.U16(header_.frameCount.value_or(FrameCount()));
  body.Bytes(Tags());
  body.U16(0);  // End

  const uint32_t length = static_cast<uint32_t>(8 + body.Size());
  Writer file;
  file.U8(header_.compressed ? 'C' : 'F');
  file.U8('W');
  file.U8('S');
  file.U8(header_.version);
  file.U32(header_.fileLength.value_or(length));
  if (header_.compressed) {
    file.Bytes(Deflate(body.Data()));
  } else {
    file.Bytes(body.Data());
  }
  return file.Take();
}

bool Movie::Save(const std::string& path) const {
  const std::vector<uint8_t> bytes = Build();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace swfb
