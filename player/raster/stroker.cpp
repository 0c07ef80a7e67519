#include "player/raster/stroker.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace swf::raster {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxArcSteps = 64;

// Where stroke pieces go: straight into the list, or first through the pen's transform when
// the stroke was built where the pen is round.
class PieceSink {
 public:
  PieceSink(SegmentList& list, const Matrix* map) : list_(list), map_(map) {}
  void Polygon(const Point* pts, size_t n) {
    if (!map_) {
      list_.Polygon(pts, n);
      return;
    }
    Point mapped[2 * kMaxArcSteps + 2];
    n = std::min(n, std::size(mapped));
    for (size_t i = 0; i < n; ++i) mapped[i] = map_->Apply(pts[i]);
    list_.Polygon(mapped, n);
  }

 private:
  SegmentList& list_;
  const Matrix* map_;
};

Point Add(Point p, Point q) { return {p.x + q.x, p.y + q.y}; }
Point Sub(Point p, Point q) { return {p.x - q.x, p.y - q.y}; }
Point Mul(Point p, double k) { return {p.x * k, p.y * k}; }
double Dot(Point p, Point q) { return p.x * q.x + p.y * q.y; }
double Cross(Point p, Point q) { return p.x * q.y - p.y * q.x; }

Point Direction(Point from, Point to) {
  const Point d = Sub(to, from);
  const double len = std::sqrt(Dot(d, d));
  if (!(len > 0)) return {1, 0};
  return Mul(d, 1 / len);
}

// Angle step that keeps an arc of radius r within the flattening tolerance of the true arc.
double ArcStep(double r) {
  if (r <= SegmentList::kTolerance) return kPi / 2;
  return 2 * std::acos(1 - SegmentList::kTolerance / r);
}

void Circle(Point centre, double r, PieceSink& out) {
  int n = static_cast<int>(std::ceil(2 * kPi / ArcStep(r)));
  n = std::clamp(n, 8, 2 * kMaxArcSteps);
  Point pts[2 * kMaxArcSteps];
  for (int i = 0; i < n; ++i) {
    const double angle = 2 * kPi * i / n;
    pts[i] = {centre.x + r * std::cos(angle), centre.y + r * std::sin(angle)};
  }
  out.Polygon(pts, static_cast<size_t>(n));
}

// A cap at `p`, `d` pointing away from the stroke.
void Cap(Point p, Point d, CapStyle cap, double h, PieceSink& out) {
  if (cap == CapStyle::Round) {
    Circle(p, h, out);
  } else if (cap == CapStyle::Square) {
    const Point n = {-d.y * h, d.x * h};
    const Point ahead = Add(p, Mul(d, h));
    const Point pts[4] = {Add(p, n), Add(ahead, n), Sub(ahead, n), Sub(p, n)};
    out.Polygon(pts, 4);
  }
}

// The join at `v` between a segment arriving along `d1` and one leaving along `d2`. Only the
// outer side needs filling; the segments' own rectangles overlap on the inner side.
void Join(Point v, Point d1, Point d2, const StrokeStyle& style, PieceSink& out) {
  const double h = style.halfWidth;
  const double cross = Cross(d1, d2), dot = Dot(d1, d2);
  const double turn = std::atan2(std::fabs(cross), dot);  // 0 straight on, pi reversing
  if (turn * h < 1.0 / 128) return;  // a wedge thinner than any pixel could show
  const double side = cross > 0 ? -h : h;
  const Point o1 = {-d1.y * side, d1.x * side}, o2 = {-d2.y * side, d2.x * side};
  const Point a = Add(v, o1), b = Add(v, o2);
  switch (style.join) {
    case JoinStyle::Bevel: {
      const Point pts[3] = {v, a, b};
      out.Polygon(pts, 3);
      return;
    }
    case JoinStyle::Miter: {
      const Point bisector = Add(o1, o2);
      const double blen = std::sqrt(Dot(bisector, bisector));
      const double halfTurnCos = std::cos(turn / 2);
      if (blen < 1e-9 * h || halfTurnCos < 1e-9) {
        const Point pts[3] = {v, a, b};
        out.Polygon(pts, 3);
        return;
      }
      const Point u = Mul(bisector, 1 / blen);
      const double limit = std::max(1.0, style.miterLimit);
      if (1 / halfTurnCos <= limit) {
        const Point pts[4] = {v, a, Add(v, Mul(u, h / halfTurnCos)), b};
        out.Polygon(pts, 4);
      } else {
        // Past the limit the point is cut off square to the bisector at limit * half width.
        const double reach = limit * h;
        const double s1 = (reach - Dot(o1, u)) / Dot(d1, u);
        const Point back = Mul(d2, -1);
        const double s2 = (reach - Dot(o2, u)) / Dot(back, u);
        const Point pts[5] = {v, a, Add(a, Mul(d1, s1)), Add(b, Mul(back, s2)), b};
        out.Polygon(pts, 5);
      }
      return;
    }
    case JoinStyle::Round:
    default: {
      int steps = static_cast<int>(std::ceil(turn / ArcStep(h)));
      steps = std::clamp(steps, 1, kMaxArcSteps);
      Point pts[kMaxArcSteps + 2];
      pts[0] = v;
      const double start = std::atan2(o1.y, o1.x);
      const double sweep = Cross(o1, o2) >= 0 ? turn : -turn;
      for (int i = 0; i <= steps; ++i) {
        const double angle = start + sweep * i / steps;
        pts[i + 1] = {v.x + h * std::cos(angle), v.y + h * std::sin(angle)};
      }
      out.Polygon(pts, static_cast<size_t>(steps) + 2);
      return;
    }
  }
}

}  // namespace

void StrokePolyline(const Point* points, size_t count, bool closed, const StrokeStyle& style,
                    SegmentList& list, const Matrix* penToPixels) {
  PieceSink out(list, penToPixels);
  const double h = style.halfWidth;
  if (count == 0 || !(h > 0)) return;
  if (count == 1) {
    // A dot: what a zero-length line shows with its caps.
    if (style.startCap == CapStyle::Round) {
      Circle(points[0], h, out);
    } else if (style.startCap == CapStyle::Square) {
      const Point p = points[0];
      const Point pts[4] = {
          {p.x - h, p.y - h}, {p.x + h, p.y - h}, {p.x + h, p.y + h}, {p.x - h, p.y + h}};
      out.Polygon(pts, 4);
    }
    return;
  }
  Point previous{};
  for (size_t i = 0; i + 1 < count; ++i) {
    const Point p = points[i], q = points[i + 1];
    const Point d = Direction(p, q);
    const Point n = {-d.y * h, d.x * h};
    const Point quad[4] = {Add(p, n), Add(q, n), Sub(q, n), Sub(p, n)};
    out.Polygon(quad, 4);
    if (i > 0) Join(p, previous, d, style, out);
    previous = d;
  }
  if (closed && count > 2) {
    Join(points[0], previous, Direction(points[0], points[1]), style, out);
  } else {
    Cap(points[0], Mul(Direction(points[0], points[1]), -1), style.startCap, h, out);
    Cap(points[count - 1], Direction(points[count - 2], points[count - 1]), style.endCap, h, out);
  }
}

}  // namespace swf::raster
