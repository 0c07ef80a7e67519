#include "player/shape_parser.h"

#include "player/byte_reader.h"

namespace swf {
namespace {

struct ShapeVersion {
  int number = 1;  // 1 to 4
  bool Alpha() const { return number >= 3; }
  bool ExtendedCounts() const { return number >= 2; }
};

FillKind ToFillKind(uint8_t type, bool& known) {
  known = true;
  switch (type) {
    case 0x00:
      return FillKind::Solid;
    case 0x10:
      return FillKind::LinearGradient;
    case 0x12:
      return FillKind::RadialGradient;
    case 0x13:
      return FillKind::FocalGradient;
    case 0x40:
      return FillKind::RepeatingBitmap;
    case 0x41:
      return FillKind::ClippedBitmap;
    case 0x42:
      return FillKind::NonSmoothedRepeatingBitmap;
    case 0x43:
      return FillKind::NonSmoothedClippedBitmap;
    default:
      known = false;
      return FillKind::Solid;
  }
}

bool ReadFillStyle(ByteReader& r, ShapeVersion v, FillStyle& fill) {
  bool known = false;
  fill.kind = ToFillKind(r.U8(), known);
  if (!known) return false;
  switch (fill.kind) {
    case FillKind::Solid:
      fill.color = v.Alpha() ? r.RgbaColor() : r.Rgb();
      break;
    case FillKind::LinearGradient:
    case FillKind::RadialGradient:
    case FillKind::FocalGradient: {
      fill.matrix = r.MatrixRecord();
      const uint32_t spread = r.UBits(2);
      const uint32_t interpolation = r.UBits(2);
      const uint32_t count = r.UBits(4);
      // Reserved values draw as the defaults.
      fill.gradient.spread = spread <= 2 ? static_cast<SpreadMode>(spread) : SpreadMode::Pad;
      fill.gradient.interpolation =
          interpolation == 1 ? InterpolationMode::Linear : InterpolationMode::Normal;
      for (uint32_t i = 0; i < count && r.Ok(); ++i) {
        GradientStop stop;
        stop.ratio = r.U8();
        stop.color = v.Alpha() ? r.RgbaColor() : r.Rgb();
        fill.gradient.stops.push_back(stop);
      }
      if (fill.kind == FillKind::FocalGradient) {
        const double focal = Fixed8{r.S16()}.Value();
        fill.gradient.focalPoint = focal < -1 ? -1 : (focal > 1 ? 1 : focal);
      }
      break;
    }
    default:
      fill.bitmapId = r.U16();
      fill.matrix = r.MatrixRecord();
      break;
  }
  return true;
}

uint16_t ReadCount(ByteReader& r, bool extended) {
  uint16_t count = r.U8();
  if (count == 0xFF && extended) count = r.U16();
  return count;
}

ErrorKind ReadFillStyles(ByteReader& r, ShapeVersion v, std::vector<FillStyle>& fills,
                         size_t& budget) {
  const uint16_t count = ReadCount(r, v.ExtendedCounts());
  for (uint16_t i = 0; i < count && r.Ok(); ++i) {
    if (budget == 0) return ErrorKind::TooLarge;
    --budget;
    FillStyle fill;
    if (!ReadFillStyle(r, v, fill)) return ErrorKind::Malformed;
    fills.push_back(std::move(fill));
  }
  return r.Ok() ? ErrorKind::None : ErrorKind::Truncated;
}

ErrorKind ReadLineStyles(ByteReader& r, ShapeVersion v, std::vector<LineStyle>& lines,
                         size_t& budget) {
  const uint16_t count = ReadCount(r, true);
  for (uint16_t i = 0; i < count && r.Ok(); ++i) {
    if (budget == 0) return ErrorKind::TooLarge;
    --budget;
    LineStyle line;
    line.width = r.U16();
    if (v.number < 4) {
      line.color = v.Alpha() ? r.RgbaColor() : r.Rgb();
    } else {
      const uint32_t startCap = r.UBits(2);
      const uint32_t join = r.UBits(2);
      line.hasFill = r.UBits(1);
      line.noHScale = r.UBits(1);
      line.noVScale = r.UBits(1);
      line.pixelHinting = r.UBits(1);
      r.UBits(5);
      line.noClose = r.UBits(1);
      const uint32_t endCap = r.UBits(2);
      if (startCap > 2 || endCap > 2 || join > 2) return ErrorKind::Malformed;
      line.startCap = static_cast<CapStyle>(startCap);
      line.endCap = static_cast<CapStyle>(endCap);
      line.join = static_cast<JoinStyle>(join);
      if (line.join == JoinStyle::Miter) line.miterLimit = Fixed8{r.S16()}.Value();
      if (line.hasFill) {
        if (!ReadFillStyle(r, v, line.fill)) return ErrorKind::Malformed;
      } else {
        line.color = r.RgbaColor();
      }
    }
    lines.push_back(std::move(line));
  }
  return r.Ok() ? ErrorKind::None : ErrorKind::Truncated;
}

}  // namespace

ErrorKind ParseShape(TagCode code, std::span<const uint8_t> body, uint16_t& id, Shape& out,
                     size_t& budget) {
  ShapeVersion v;
  switch (code) {
    case TagCode::DefineShape:
      v.number = 1;
      break;
    case TagCode::DefineShape2:
      v.number = 2;
      break;
    case TagCode::DefineShape3:
      v.number = 3;
      break;
    case TagCode::DefineShape4:
      v.number = 4;
      break;
    default:
      return ErrorKind::Malformed;
  }
  ByteReader r(body);
  out = {};
  id = r.U16();
  out.bounds = r.Rect();
  out.edgeBounds = out.bounds;
  if (v.number == 4) {
    out.edgeBounds = r.Rect();
    out.nonZero = r.U8() & 0x04;  // the other bits are scaling-stroke hints
  }
  if (ErrorKind e = ReadFillStyles(r, v, out.fills, budget); e != ErrorKind::None) return e;
  if (ErrorKind e = ReadLineStyles(r, v, out.lines, budget); e != ErrorKind::None) return e;
  unsigned fillBits = r.UBits(4);
  unsigned lineBits = r.UBits(4);

  // Indices in the records are relative to the style arrays in force; the shape's paths use
  // absolute ones, so later arrays are appended with these bases.
  size_t fillBase = 0, lineBase = 0;
  size_t fillCount = out.fills.size(), lineCount = out.lines.size();
  auto absoluteFill = [&](uint32_t index) -> uint32_t {
    // An index beyond the array draws nothing rather than refusing the movie.
    return index == 0 || index > fillCount ? 0 : static_cast<uint32_t>(fillBase + index);
  };
  auto absoluteLine = [&](uint32_t index) -> uint32_t {
    return index == 0 || index > lineCount ? 0 : static_cast<uint32_t>(lineBase + index);
  };

  Path path;
  Point pen;
  size_t edges = 0;
  auto flush = [&] {
    if (!path.edges.empty()) out.paths.push_back(path);
    path.edges.clear();
  };
  while (true) {
    if (!r.Ok()) return ErrorKind::Truncated;
    if (r.UBits(1) == 0) {
      const bool newStyles = r.UBits(1);
      const bool lineChange = r.UBits(1);
      const bool fill1Change = r.UBits(1);
      const bool fill0Change = r.UBits(1);
      const bool moveTo = r.UBits(1);
      if (!newStyles && !lineChange && !fill1Change && !fill0Change && !moveTo) break;
      flush();
      if (moveTo) {
        const unsigned bits = r.UBits(5);
        pen.x = r.SBits(bits);
        pen.y = r.SBits(bits);
      }
      const uint32_t fill0 = fill0Change ? r.UBits(fillBits) : 0;
      const uint32_t fill1 = fill1Change ? r.UBits(fillBits) : 0;
      const uint32_t line = lineChange ? r.UBits(lineBits) : 0;
      if (newStyles) {
        fillBase = out.fills.size();
        lineBase = out.lines.size();
        if (ErrorKind e = ReadFillStyles(r, v, out.fills, budget); e != ErrorKind::None) return e;
        if (ErrorKind e = ReadLineStyles(r, v, out.lines, budget); e != ErrorKind::None) return e;
        fillCount = out.fills.size() - fillBase;
        lineCount = out.lines.size() - lineBase;
        fillBits = r.UBits(4);
        lineBits = r.UBits(4);
        // New arrays end the styles in force; indices in this same record already name
        // entries of the new arrays.
        path.fill0 = path.fill1 = path.line = 0;
      }
      if (fill0Change) path.fill0 = absoluteFill(fill0);
      if (fill1Change) path.fill1 = absoluteFill(fill1);
      if (lineChange) path.line = absoluteLine(line);
      continue;
    }
    if (++edges > kMaxShapeEdges || budget == 0) return ErrorKind::TooLarge;
    --budget;
    path.edges.push_back(ReadEdge(r, pen));
  }
  flush();
  return ErrorKind::None;
}

Edge ReadEdge(ByteReader& r, Point& pen) {
  Edge edge;
  edge.from = pen;
  const bool straight = r.UBits(1);
  const unsigned bits = r.UBits(4) + 2;
  if (straight) {
    int32_t dx = 0, dy = 0;
    if (r.UBits(1)) {
      dx = r.SBits(bits);
      dy = r.SBits(bits);
    } else if (r.UBits(1)) {
      dy = r.SBits(bits);
    } else {
      dx = r.SBits(bits);
    }
    pen.x += dx;
    pen.y += dy;
  } else {
    edge.curved = true;
    edge.control = {pen.x + r.SBits(bits), pen.y + r.SBits(bits)};
    pen = {edge.control.x + r.SBits(bits), edge.control.y + r.SBits(bits)};
  }
  edge.to = pen;
  return edge;
}

}  // namespace swf
