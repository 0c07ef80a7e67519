#pragma once
// Small helpers for building shapes in pixel units and reading back premultiplied pixels.
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "player/canvas.h"
#include "player/geometry.h"
#include "player/shape.h"

namespace rastertest {

// What the host pre-fills its surface with; untouched pixels must keep it bit for bit.
constexpr uint32_t kMarker = 0x01000000;

// Shapes here are written in pixels; this maps their twips back to pixels.
inline const swf::Matrix kTwipsToPixels{0.05, 0, 0, 0.05, 0, 0};

struct Surface {
  Surface(int w, int h, bool bottomUp = false) : pixels(static_cast<size_t>(w) * h, kMarker) {
    canvas.width = w;
    canvas.height = h;
    canvas.clip = {0, 0, w, h};
    if (bottomUp) {
      canvas.base = reinterpret_cast<uint8_t*>(pixels.data() + static_cast<size_t>(h - 1) * w);
      canvas.pitch = -w * 4;
    } else {
      canvas.base = reinterpret_cast<uint8_t*>(pixels.data());
      canvas.pitch = w * 4;
    }
  }
  uint32_t At(int x, int y) const { return canvas.Row(y)[x]; }

  std::vector<uint32_t> pixels;
  swf::Canvas canvas;
};

inline int A(uint32_t p) { return p >> 24; }
inline int R(uint32_t p) { return (p >> 16) & 255; }
inline int G(uint32_t p) { return (p >> 8) & 255; }
inline int B(uint32_t p) { return p & 255; }

inline swf::Point Tw(double x, double y) { return {x * 20, y * 20}; }

inline swf::Edge Line(swf::Point from, swf::Point to) {
  return {Tw(from.x, from.y), {}, Tw(to.x, to.y), false};
}
inline swf::Edge Curve(swf::Point from, swf::Point control, swf::Point to) {
  return {Tw(from.x, from.y), Tw(control.x, control.y), Tw(to.x, to.y), true};
}

// A closed polygon (pixel units) as one path.
inline swf::Path Polygon(std::initializer_list<swf::Point> pts, uint32_t fill0, uint32_t fill1 = 0,
                         uint32_t line = 0) {
  swf::Path path{fill0, fill1, line, {}};
  std::vector<swf::Point> v(pts);
  for (size_t i = 0; i < v.size(); ++i) path.edges.push_back(Line(v[i], v[(i + 1) % v.size()]));
  return path;
}

// An open polyline (pixel units) as one path.
inline swf::Path Polyline(std::initializer_list<swf::Point> pts, uint32_t line) {
  swf::Path path{0, 0, line, {}};
  std::vector<swf::Point> v(pts);
  for (size_t i = 0; i + 1 < v.size(); ++i) path.edges.push_back(Line(v[i], v[i + 1]));
  return path;
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

}  // namespace rastertest
