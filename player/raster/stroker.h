#pragma once
// Strokes as filled outlines: every segment, join and cap becomes a small closed polygon with
// the same orientation, and the non-zero rule unites them. Overlaps cost nothing in quality
// because the scan converter applies the rule per sub-scanline.
#include <cstddef>

#include "player/geometry.h"
#include "player/raster/segments.h"
#include "player/shape.h"

namespace swf::raster {

struct StrokeStyle {
  double halfWidth = 0.5;  // pixels
  CapStyle startCap = CapStyle::Round;
  CapStyle endCap = CapStyle::Round;
  JoinStyle join = JoinStyle::Round;
  double miterLimit = 3;
};

// `points` is a polyline in pixel space without repeated consecutive points. When `closed`, its
// last point equals its first and the two ends meet with a join instead of caps. With
// `penToPixels`, points and half width are in a space where the pen is round, and every piece
// is mapped to pixels through it: a stroke under a non-uniform scale is thicker along the
// stretched direction, as the shape's own lines are.
void StrokePolyline(const Point* points, size_t count, bool closed, const StrokeStyle& style,
                    SegmentList& out, const Matrix* penToPixels = nullptr);

}  // namespace swf::raster
