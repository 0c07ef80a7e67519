#include "player/raster/segments.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace swf::raster {
namespace {

// Coordinates beyond this many pixels are pulled in: no screen is that large, and keeping
// every value far from the limits of double keeps products and differences exact enough.
constexpr double kCoordinateLimit = 1e9;

Point Bounded(Point p) {
  return {std::clamp(p.x, -kCoordinateLimit, kCoordinateLimit),
          std::clamp(p.y, -kCoordinateLimit, kCoordinateLimit)};
}

int CurvePieces(Point a, Point c, Point b) {
  const double dx = a.x - 2 * c.x + b.x, dy = a.y - 2 * c.y + b.y;
  const double deviation = std::sqrt(dx * dx + dy * dy);
  // Uniform steps of a quadratic stray at most |a - 2c + b| / (8 n^2) from the curve.
  const double n = std::ceil(std::sqrt(deviation / (8 * SegmentList::kTolerance)));
  if (!(n >= 1)) return 1;
  return n > SegmentList::kMaxCurvePieces ? SegmentList::kMaxCurvePieces : static_cast<int>(n);
}

Point Snapped(Point p, double steps) {
  return {std::floor(p.x * steps + 0.5) / steps, std::floor(p.y * steps + 0.5) / steps};
}

Point QuadAt(Point a, Point c, Point b, double t) {
  const double u = 1 - t;
  return {u * u * a.x + 2 * u * t * c.x + t * t * b.x, u * u * a.y + 2 * u * t * c.y + t * t * b.y};
}

}  // namespace

void SegmentList::Reset(const PixelRect& clip, bool snapped) {
  clip_ = clip;
  snapped_ = snapped;
  left_ = clip.left;
  right_ = clip.right;
  top_ = clip.top;
  bottom_ = clip.bottom;
  minX_ = right_;
  maxX_ = left_;
  maxY_ = top_;
  segments_.clear();
}

void SegmentList::Line(Point a, Point b) {
  if (!IsFinite(a) || !IsFinite(b)) return;
  a = Bounded(a);
  b = Bounded(b);
  if (snapped_) {
    a = Snapped(a, 256);
    b = Snapped(b, 256);
  }
  if (a.y == b.y) return;  // horizontal edges cross no scanline
  int winding = 1;
  if (a.y > b.y) {
    std::swap(a, b);
    winding = -1;
  }
  if (b.y <= top_ || a.y >= bottom_) return;
  const double loX = std::min(a.x, b.x), hiX = std::max(a.x, b.x);
  Segment s;
  s.winding = winding;
  s.yTop = std::max(a.y, top_);
  s.yBottom = std::min(b.y, bottom_);
  if (hiX <= left_ || loX >= right_) {
    // Wholly beside the clip: only its winding matters, so a vertical stand-in on the clip's
    // edge gives exactly the same coverage inside.
    s.xTop = hiX <= left_ ? left_ : right_;
    s.slope = 0;
  } else {
    s.slope = (b.x - a.x) / (b.y - a.y);
    if (!(std::fabs(s.slope) < 1e12)) {
      s.slope = 0;
      s.xTop = (a.x + b.x) / 2;
    } else {
      s.xTop = std::clamp(a.x + (s.yTop - a.y) * s.slope, loX, hiX);
    }
  }
  const double xBottom = s.xTop + (s.yBottom - s.yTop) * s.slope;
  minX_ = std::max(left_, std::min({minX_, s.xTop, xBottom}));
  maxX_ = std::min(right_, std::max({maxX_, s.xTop, xBottom}));
  maxY_ = std::max(maxY_, s.yBottom);
  segments_.push_back(s);
}

void SegmentList::Quad(Point a, Point c, Point b) {
  if (!IsFinite(a) || !IsFinite(b) || !IsFinite(c)) return;
  a = Bounded(a);
  b = Bounded(b);
  c = Bounded(c);
  const double loX = std::min({a.x, b.x, c.x}), hiX = std::max({a.x, b.x, c.x});
  const double loY = std::min({a.y, b.y, c.y}), hiY = std::max({a.y, b.y, c.y});
  // A curve that stays above, below, left or right of the clip adds the same winding inside
  // it as the straight chord between its ends.
  if (hiY <= top_ || loY >= bottom_ || hiX <= left_ || loX >= right_) {
    Line(a, b);
    return;
  }
  const int n = CurvePieces(a, c, b);
  Point prev = a;
  for (int i = 1; i < n; ++i) {
    Point p = QuadAt(a, c, b, static_cast<double>(i) / n);
    if (snapped_) p = Snapped(p, 20);
    Line(prev, p);
    prev = p;
  }
  Line(prev, b);
}

void SegmentList::Polygon(const Point* points, size_t count) {
  if (count < 3) return;
  double area = 0;
  double loX = points[0].x, hiX = loX, loY = points[0].y, hiY = loY;
  for (size_t i = 0; i < count; ++i) {
    const Point& p = points[i];
    const Point& q = points[(i + 1) % count];
    area += p.x * q.y - q.x * p.y;
    loX = std::min(loX, p.x);
    hiX = std::max(hiX, p.x);
    loY = std::min(loY, p.y);
    hiY = std::max(hiY, p.y);
  }
  // A closed piece wholly outside the clip adds no net winding anywhere inside it.
  if (!(hiY > top_ && loY < bottom_ && loX < right_ && hiX > left_)) return;
  if (area >= 0) {
    for (size_t i = 0; i < count; ++i) Line(points[i], points[(i + 1) % count]);
  } else {
    for (size_t i = count; i-- > 0;) Line(points[(i + 1) % count], points[i]);
  }
}

void FlattenQuad(Point a, Point c, Point b, std::vector<Point>& out) {
  if (!IsFinite(a) || !IsFinite(b) || !IsFinite(c)) {
    out.push_back(b);
    return;
  }
  const int n = CurvePieces(Bounded(a), Bounded(c), Bounded(b));
  for (int i = 1; i < n; ++i) out.push_back(QuadAt(a, c, b, static_cast<double>(i) / n));
  out.push_back(b);
}

}  // namespace swf::raster
