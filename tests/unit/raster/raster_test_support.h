#pragma once
// Small helpers for building shapes in pixel units.
#include <initializer_list>
#include <vector>

#include "player/canvas.h"
#include "player/geometry.h"
#include "player/render.h"
#include "player/shape.h"
#include "tests/unit/pixel_support.h"

namespace rastertest {

using namespace pixeltest;

// Shapes here are written in pixels; this maps their twips back to pixels.
inline const swf::Matrix kTwipsToPixels{0.05, 0, 0, 0.05, 0, 0};

inline swf::Point Tw(double x, double y) { return {x * 20, y * 20}; }

inline swf::Edge Line(swf::Point from, swf::Point to) {
  return {Tw(from.x, from.y), {}, Tw(to.x, to.y), false};
}
inline swf::Edge Curve(swf::Point from, swf::Point control, swf::Point to) {
  return {Tw(from.x, from.y), Tw(control.x, control.y), Tw(to.x, to.y), true};
}

// A polygon (pixel units) as one path, closed unless it is a stroke-only polyline.
inline swf::Path Path(std::initializer_list<swf::Point> pts, bool closed, uint32_t fill0,
                      uint32_t fill1 = 0, uint32_t line = 0) {
  swf::Path path{fill0, fill1, line, {}};
  std::vector<swf::Point> v(pts);
  for (size_t i = 0; i + (closed ? 0 : 1) < v.size(); ++i)
    path.edges.push_back(Line(v[i], v[(i + 1) % v.size()]));
  return path;
}
inline swf::Path Polygon(std::initializer_list<swf::Point> pts, uint32_t fill0) {
  return Path(pts, true, fill0);
}
inline swf::Path Polyline(std::initializer_list<swf::Point> pts, uint32_t line) {
  return Path(pts, false, 0, 0, line);
}

inline swf::Path Rect(double x0, double y0, double x1, double y1, uint32_t fill0) {
  return Polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, fill0);
}

inline swf::FillStyle Solid(swf::Rgba c) {
  swf::FillStyle f;
  f.kind = swf::FillKind::Solid;
  f.color = c;
  return f;
}

inline swf::LineStyle Pen(uint16_t widthTwips, swf::Rgba color) {
  swf::LineStyle l;
  l.width = widthTwips;
  l.color = color;
  return l;
}

constexpr swf::Rgba kRed{255, 0, 0, 255};
constexpr swf::Rgba kBlue{0, 0, 255, 255};
constexpr uint32_t kRedPixel = 0xFFFF0000;
constexpr uint32_t kBluePixel = 0xFF0000FF;

inline swf::DrawParams Params(const swf::Matrix& toPixels = kTwipsToPixels) {
  swf::DrawParams p;
  p.toPixels = toPixels;
  return p;
}

// A w x h marker-filled surface with `shape` drawn on it.
inline Surface Drawn(const swf::Shape& shape, int w, int h,
                     const swf::DrawParams& params = Params(), bool bottomUp = false) {
  Surface surface(w, h, bottomUp);
  swf::DrawShape(surface.canvas, shape, params);
  return surface;
}

}  // namespace rastertest
