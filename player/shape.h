#pragma once
// A parsed shape: its style tables and its edges, each edge carrying the fill on its left
// (fill0), the fill on its right (fill1) and its line style, as SWF's edge model has it.
// The parser (format side) produces it; the rasterizer consumes it. Nothing here depends on
// how either works.
#include <cstdint>
#include <vector>

#include "player/geometry.h"

namespace swf {

enum class FillKind : uint8_t {
  Solid = 0x00,
  LinearGradient = 0x10,
  RadialGradient = 0x12,
  FocalGradient = 0x13,
  RepeatingBitmap = 0x40,
  ClippedBitmap = 0x41,
  NonSmoothedRepeatingBitmap = 0x42,
  NonSmoothedClippedBitmap = 0x43,
};

enum class SpreadMode : uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };
enum class InterpolationMode : uint8_t { Normal = 0, Linear = 1 };

struct GradientStop {
  uint8_t ratio = 0;
  Rgba color;
};

struct Gradient {
  SpreadMode spread = SpreadMode::Pad;
  InterpolationMode interpolation = InterpolationMode::Normal;
  double focalPoint = 0;            // -1..1, focal gradients only
  std::vector<GradientStop> stops;  // 1 to 15 stops as stored (ratios may be unordered)
};

struct FillStyle {
  FillKind kind = FillKind::Solid;
  Rgba color;         // Solid
  Matrix matrix;      // gradients and bitmaps: maps gradient/bitmap space to shape space (twips)
  Gradient gradient;  // gradients
  uint16_t bitmapId = 0;  // bitmaps; 0xFFFF or an unknown id draws nothing
};

enum class CapStyle : uint8_t { Round = 0, None = 1, Square = 2 };
enum class JoinStyle : uint8_t { Round = 0, Bevel = 1, Miter = 2 };

struct LineStyle {
  uint16_t width = 0;  // twips; 0 is a hairline (one pixel wide whatever the scale)
  Rgba color;
  CapStyle startCap = CapStyle::Round;
  CapStyle endCap = CapStyle::Round;
  JoinStyle join = JoinStyle::Round;
  double miterLimit = 3;  // JoinStyle::Miter only
  bool noClose = false;
  bool noHScale = false, noVScale = false, pixelHinting = false;
  bool hasFill = false;  // DefineShape4: the stroke is painted with `fill` instead of `color`
  FillStyle fill;
};

// One straight or quadratic edge in shape space (twips).
struct Edge {
  Point from;
  Point control;  // curved edges only
  Point to;
  bool curved = false;
};

// A run of connected edges drawn with the same styles. Style indices are 1-based into the
// shape's tables below; 0 means "none". Style arrays that a shape replaces midway
// (StateNewStyles) are appended to the tables, and the indices of later paths are offset, so
// every index here is absolute.
struct Path {
  uint32_t fill0 = 0;
  uint32_t fill1 = 0;
  uint32_t line = 0;
  std::vector<Edge> edges;
};

struct Shape {
  TwipsRect bounds;
  TwipsRect edgeBounds;  // DefineShape4; equal to bounds otherwise
  // Where a fill's own outline crosses itself: filled by the non-zero rule when a DefineShape4
  // asks for it, otherwise even-odd, as the original fills.
  bool nonZero = false;
  std::vector<FillStyle> fills;
  std::vector<LineStyle> lines;
  std::vector<Path> paths;
};

}  // namespace swf
