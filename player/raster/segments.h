#pragma once
// Outlines in pixel space, cut down to what can affect a clip rectangle. Everything the scan
// converter sees has already been made finite and bounded here, so that a hostile shape
// (NaN, huge or degenerate coordinates) costs no more than an ordinary one.
#include <cstddef>
#include <vector>

#include "player/canvas.h"
#include "player/geometry.h"

namespace swf::raster {

// A straight piece of outline with yTop < yBottom, both inside the clip rows.
struct Segment {
  double yTop = 0, yBottom = 0;
  double xTop = 0;   // x where the segment meets yTop
  double slope = 0;  // dx/dy
  int winding = 0;   // +1 when the original edge ran downwards, -1 upwards
};

class SegmentList {
 public:
  // Curves are flattened to within this many pixels of the true curve.
  static constexpr double kTolerance = 0.05;
  // No single curve ever turns into more pieces than this, whatever its size.
  static constexpr int kMaxCurvePieces = 256;

  // `snapped` puts every point on a 1/256-pixel grid (and points inside curves on a 1/20-pixel
  // one first), which is where aliased drawing decides which pixel centres an edge leaves out.
  void Reset(const PixelRect& clip, bool snapped = false);
  void Line(Point a, Point b);
  void Quad(Point a, Point control, Point b);
  // A closed polygon, oriented so that it always adds +1 winding: stroke pieces then unite
  // under the non-zero rule instead of cancelling where they overlap.
  void Polygon(const Point* points, size_t count);

  std::vector<Segment>& segments() { return segments_; }
  bool Empty() const { return segments_.empty(); }
  const PixelRect& clip() const { return clip_; }
  double minX() const { return minX_; }
  double maxX() const { return maxX_; }
  double maxY() const { return maxY_; }

 private:
  PixelRect clip_;
  bool snapped_ = false;
  double left_ = 0, right_ = 0, top_ = 0, bottom_ = 0;
  double minX_ = 0, maxX_ = 0, maxY_ = 0;
  std::vector<Segment> segments_;
};

// Flattens a quadratic curve into points after `a` (the end point `b` is the last one), using
// the same tolerance as SegmentList::Quad.
void FlattenQuad(Point a, Point control, Point b, std::vector<Point>& out);

inline bool IsFinite(Point p) {
  // NaN and infinities both fail a range test; this avoids <cmath> classification calls.
  return p.x - p.x == 0 && p.y - p.y == 0;
}

}  // namespace swf::raster
