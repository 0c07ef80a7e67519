#include "player/morph_shape.h"

#include "player/byte_reader.h"
#include "player/shape_parser.h"

namespace swf {
namespace {

bool ReadMorphFill(ByteReader& r, FillStyle& start, FillStyle& end) {
  const uint8_t type = r.U8();
  switch (type) {
    case 0x00:
      start.kind = end.kind = FillKind::Solid;
      start.color = r.RgbaColor();
      end.color = r.RgbaColor();
      return true;
    case 0x10:
    case 0x12:
    case 0x13: {
      start.kind = end.kind = static_cast<FillKind>(type);
      start.matrix = r.MatrixRecord();
      end.matrix = r.MatrixRecord();
      const uint8_t flags = r.U8();
      const uint8_t count = flags & 0x0F;
      const uint8_t spread = (flags >> 6) & 3;
      start.gradient.spread = end.gradient.spread =
          spread <= 2 ? static_cast<SpreadMode>(spread) : SpreadMode::Pad;
      start.gradient.interpolation = end.gradient.interpolation =
          ((flags >> 4) & 3) == 1 ? InterpolationMode::Linear : InterpolationMode::Normal;
      for (uint8_t i = 0; i < count && r.Ok(); ++i) {
        GradientStop a, b;
        a.ratio = r.U8();
        a.color = r.RgbaColor();
        b.ratio = r.U8();
        b.color = r.RgbaColor();
        start.gradient.stops.push_back(a);
        end.gradient.stops.push_back(b);
      }
      if (type == 0x13) {
        const double focal = Fixed8{r.S16()}.Value();
        start.gradient.focalPoint = end.gradient.focalPoint =
            focal < -1 ? -1 : (focal > 1 ? 1 : focal);
      }
      return true;
    }
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
      start.kind = end.kind = static_cast<FillKind>(type);
      start.bitmapId = end.bitmapId = r.U16();
      start.matrix = r.MatrixRecord();
      end.matrix = r.MatrixRecord();
      return true;
    default:
      return false;
  }
}

uint16_t ReadCount(ByteReader& r) {
  uint16_t count = r.U8();
  if (count == 0xFF) count = r.U16();
  return count;
}

ErrorKind ReadStyles(ByteReader& r, bool second, MorphShape& out, size_t& budget) {
  const uint16_t fills = ReadCount(r);
  for (uint16_t i = 0; i < fills && r.Ok(); ++i) {
    if (budget == 0) return ErrorKind::TooLarge;
    --budget;
    FillStyle a, b;
    if (!ReadMorphFill(r, a, b)) return ErrorKind::Malformed;
    out.start.fills.push_back(std::move(a));
    out.endFills.push_back(std::move(b));
  }
  const uint16_t lines = ReadCount(r);
  for (uint16_t i = 0; i < lines && r.Ok(); ++i) {
    if (budget == 0) return ErrorKind::TooLarge;
    --budget;
    LineStyle a, b;
    a.width = r.U16();
    b.width = r.U16();
    if (second) {
      const uint32_t startCap = r.UBits(2);
      const uint32_t join = r.UBits(2);
      a.hasFill = r.UBits(1);
      a.noHScale = r.UBits(1);
      a.noVScale = r.UBits(1);
      a.pixelHinting = r.UBits(1);
      r.UBits(5);
      a.noClose = r.UBits(1);
      const uint32_t endCap = r.UBits(2);
      if (startCap > 2 || endCap > 2 || join > 2) return ErrorKind::Malformed;
      a.startCap = static_cast<CapStyle>(startCap);
      a.endCap = static_cast<CapStyle>(endCap);
      a.join = static_cast<JoinStyle>(join);
      if (a.join == JoinStyle::Miter) a.miterLimit = Fixed8{r.S16()}.Value();
      if (a.hasFill) {
        if (!ReadMorphFill(r, a.fill, b.fill)) return ErrorKind::Malformed;
      } else {
        a.color = r.RgbaColor();
        b.color = r.RgbaColor();
      }
      const uint16_t width = b.width;
      const Rgba color = b.color;
      const FillStyle fill = b.fill;
      b = a;
      b.width = width;
      b.color = color;
      b.fill = fill;
    } else {
      a.color = r.RgbaColor();
      b.color = r.RgbaColor();
    }
    out.start.lines.push_back(std::move(a));
    out.endLines.push_back(std::move(b));
  }
  return r.Ok() ? ErrorKind::None : ErrorKind::Truncated;
}

// SHAPE records without new styles. `paths` receives edges with style indices (when given),
// `edges` receives every edge in order.
ErrorKind ReadEdges(ByteReader& r, size_t fillCount, size_t lineCount, std::vector<Path>* paths,
                    std::vector<Edge>& edges, size_t& budget) {
  const unsigned fillBits = r.UBits(4);
  const unsigned lineBits = r.UBits(4);
  Path path;
  Point pen;
  auto flush = [&] {
    if (paths && !path.edges.empty()) paths->push_back(path);
    path.edges.clear();
  };
  auto style = [](uint32_t index, size_t count) { return index > count ? 0 : index; };
  while (true) {
    if (!r.Ok()) return ErrorKind::Truncated;
    if (r.UBits(1) == 0) {
      const uint32_t flags = r.UBits(5);
      if (flags == 0) break;
      if (flags & 0x10) return ErrorKind::Malformed;  // new styles have no place here
      flush();
      if (flags & 0x01) {
        const unsigned bits = r.UBits(5);
        pen.x = r.SBits(bits);
        pen.y = r.SBits(bits);
      }
      if (flags & 0x02) path.fill0 = style(r.UBits(fillBits), fillCount);
      if (flags & 0x04) path.fill1 = style(r.UBits(fillBits), fillCount);
      if (flags & 0x08) path.line = style(r.UBits(lineBits), lineCount);
      continue;
    }
    if (edges.size() >= kMaxShapeEdges || budget == 0) return ErrorKind::TooLarge;
    --budget;
    Edge edge = ReadEdge(r, pen);
    if (!edge.curved) {
      // Kept as a curve through its middle, so that it can morph into a curved one.
      edge.control = {(edge.from.x + edge.to.x) / 2, (edge.from.y + edge.to.y) / 2};
    }
    edges.push_back(edge);
    if (paths) path.edges.push_back(edge);
  }
  flush();
  return ErrorKind::None;
}

double Mix(double a, double b, double t) { return a + (b - a) * t; }

// In single precision and cut, not rounded, as the original mixes colours: a third of the way
// from 255 to 0 is 84.
uint8_t MixByte(uint8_t a, uint8_t b, double t) {
  const float f = static_cast<float>(t);
  return static_cast<uint8_t>(static_cast<float>(a) * (1 - f) + static_cast<float>(b) * f);
}

Rgba MixColor(Rgba a, Rgba b, double t) {
  return {MixByte(a.r, b.r, t), MixByte(a.g, b.g, t), MixByte(a.b, b.b, t), MixByte(a.a, b.a, t)};
}

Point MixPoint(Point a, Point b, double t) { return {Mix(a.x, b.x, t), Mix(a.y, b.y, t)}; }

void MixFill(const FillStyle& a, const FillStyle& b, double t, FillStyle& out) {
  out = a;
  out.color = MixColor(a.color, b.color, t);
  out.matrix = {Mix(a.matrix.a, b.matrix.a, t),   Mix(a.matrix.b, b.matrix.b, t),
                Mix(a.matrix.c, b.matrix.c, t),   Mix(a.matrix.d, b.matrix.d, t),
                Mix(a.matrix.tx, b.matrix.tx, t), Mix(a.matrix.ty, b.matrix.ty, t)};
  for (size_t i = 0; i < out.gradient.stops.size() && i < b.gradient.stops.size(); ++i) {
    out.gradient.stops[i].ratio = MixByte(a.gradient.stops[i].ratio, b.gradient.stops[i].ratio, t);
    out.gradient.stops[i].color = MixColor(a.gradient.stops[i].color, b.gradient.stops[i].color, t);
  }
}

}  // namespace

ErrorKind ParseMorphShape(TagCode code, std::span<const uint8_t> body, uint16_t& id,
                          MorphShape& out, size_t& budget) {
  if (code != TagCode::DefineMorphShape && code != TagCode::DefineMorphShape2) {
    return ErrorKind::Malformed;
  }
  const bool second = code == TagCode::DefineMorphShape2;
  ByteReader r(body);
  out = {};
  id = r.U16();
  out.start.bounds = r.Rect();
  out.endBounds = r.Rect();
  out.start.edgeBounds = out.start.bounds;
  if (second) {
    out.start.edgeBounds = r.Rect();
    r.Rect();
    r.U8();  // scaling-stroke hints
  }
  const uint32_t offset = r.U32();
  const size_t afterOffset = r.Position();
  if (!r.Ok()) return ErrorKind::Truncated;
  if (ErrorKind e = ReadStyles(r, second, out, budget); e != ErrorKind::None) return e;
  std::vector<Edge> startEdges;
  if (ErrorKind e = ReadEdges(r, out.start.fills.size(), out.start.lines.size(), &out.start.paths,
                              startEdges, budget);
      e != ErrorKind::None) {
    return e;
  }
  if (offset > body.size() - afterOffset) return ErrorKind::Malformed;
  ByteReader end(body.subspan(afterOffset + offset));
  if (ErrorKind e = ReadEdges(end, 0, 0, nullptr, out.endEdges, budget); e != ErrorKind::None) {
    return e;
  }
  // Ends that do not correspond are drawn as far as they do (MorphAt stops there).
  return ErrorKind::None;
}

void MorphAt(const MorphShape& morph, uint16_t ratio, Shape& out) {
  const double t = ratio / 65535.0;
  const Shape& s = morph.start;
  out.bounds = {static_cast<int32_t>(Mix(s.bounds.xMin, morph.endBounds.xMin, t)),
                static_cast<int32_t>(Mix(s.bounds.xMax, morph.endBounds.xMax, t)),
                static_cast<int32_t>(Mix(s.bounds.yMin, morph.endBounds.yMin, t)),
                static_cast<int32_t>(Mix(s.bounds.yMax, morph.endBounds.yMax, t))};
  out.edgeBounds = out.bounds;
  out.nonZero = false;
  out.fills.resize(s.fills.size());
  for (size_t i = 0; i < s.fills.size(); ++i)
    MixFill(s.fills[i], morph.endFills[i], t, out.fills[i]);
  out.lines.resize(s.lines.size());
  for (size_t i = 0; i < s.lines.size(); ++i) {
    const LineStyle& a = s.lines[i];
    const LineStyle& b = morph.endLines[i];
    out.lines[i] = a;
    out.lines[i].width = static_cast<uint16_t>(Mix(a.width, b.width, t) + 0.5);
    out.lines[i].color = MixColor(a.color, b.color, t);
    if (a.hasFill) MixFill(a.fill, b.fill, t, out.lines[i].fill);
  }
  out.paths = s.paths;
  size_t k = 0;
  for (Path& path : out.paths) {
    for (Edge& e : path.edges) {
      if (k >= morph.endEdges.size()) return;
      const Edge& b = morph.endEdges[k++];
      e.from = MixPoint(e.from, b.from, t);
      e.control = MixPoint(e.control, b.control, t);
      e.to = MixPoint(e.to, b.to, t);
      e.curved = true;
    }
  }
}

}  // namespace swf
