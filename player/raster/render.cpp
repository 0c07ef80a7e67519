// DrawShape, DrawShapeCoverage and ShapeContains: SWF's edge model turned into outlines for
// the scan converter, painted onto the caller's canvas or into a mask.
#include "player/render.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "player/raster/paint.h"
#include "player/raster/pixel.h"
#include "player/raster/scan_converter.h"
#include "player/raster/segments.h"
#include "player/raster/stroker.h"

namespace swf {
namespace {

using raster::CoverageSink;
using raster::Paint;
using raster::ScanConverter;
using raster::SegmentList;

// Scratch space reused from one shape to the next, so that drawing allocates only while the
// buffers grow.
struct Scratch {
  SegmentList segments;
  ScanConverter converter;
  std::vector<uint32_t> colors;
  std::vector<uint16_t> masked;
  std::vector<Point> polyline;
  std::vector<Point> flat;
  // Per fill style: the paths that border it, and whether the path runs against it.
  std::vector<std::vector<std::pair<uint32_t, bool>>> fillPaths;
};

// Kept for the thread's life and never destroyed: a thread-local object with a destructor makes
// the runtime pin the module that holds it until the thread ends, and the player control built
// from this code must be unloadable (a projector deletes its private copy at exit).
Scratch& ThreadScratch() {
  thread_local Scratch* scratch = nullptr;
  if (!scratch) scratch = new Scratch;
  return *scratch;
}

void AddEdge(const Edge& e, const Matrix& m, bool reversed, SegmentList& out) {
  const Point from = m.Apply(reversed ? e.to : e.from);
  const Point to = m.Apply(reversed ? e.from : e.to);
  if (e.curved) {
    out.Quad(from, m.Apply(e.control), to);
  } else {
    out.Line(from, to);
  }
}

// Files the shape's paths under each fill style they border. A path with the same style on both
// sides borders nothing: its edges would cancel anyway.
void SortPathsByFill(const Shape& shape, Scratch& s) {
  const size_t fills = shape.fills.size();
  if (s.fillPaths.size() < fills) s.fillPaths.resize(fills);
  for (size_t i = 0; i < fills; ++i) s.fillPaths[i].clear();
  for (uint32_t p = 0; p < shape.paths.size(); ++p) {
    const Path& path = shape.paths[p];
    if (path.fill0 == path.fill1) continue;
    if (path.fill0 >= 1 && path.fill0 <= fills) s.fillPaths[path.fill0 - 1].push_back({p, false});
    if (path.fill1 >= 1 && path.fill1 <= fills) s.fillPaths[path.fill1 - 1].push_back({p, true});
  }
}

// The boundary of every filled region at once: each fill's edges in their own direction. Edges
// between two fills cancel, so the non-zero rule gives the union of all fills, seam-free.
void AddAllFills(const Shape& shape, const Matrix& m, SegmentList& out) {
  const size_t fills = shape.fills.size();
  for (const Path& path : shape.paths) {
    const bool left = path.fill0 >= 1 && path.fill0 <= fills;
    const bool right = path.fill1 >= 1 && path.fill1 <= fills;
    if (left == right) continue;  // both (cancelling) or neither
    for (const Edge& e : path.edges) AddEdge(e, m, right, out);
  }
}

// How a line style's pen meets the pixels. Lines scale with their shape: under a non-uniform
// scale the pen becomes an ellipse, so the stroke is built where the pen is round (`toPen`)
// and mapped back (`toPixels`). Lines that keep their width in one or both directions, and
// hairlines, stay round on screen.
struct Pen {
  double halfWidth = 0.5;  // pixels, or units of the pen's space when mapped
  bool mapped = false;
  Matrix toPen, toPixels;
};

Pen PenFor(const LineStyle& line, const Matrix& m) {
  Pen pen;
  const double sx = std::hypot(m.a, m.b), sy = std::hypot(m.c, m.d);
  const double det = std::fabs(m.a * m.d - m.b * m.c);
  double width;
  if (line.width == 0) {
    width = 1;  // a hairline: one pixel whatever the scale
  } else if (line.noHScale && line.noVScale) {
    width = line.width / 20.0;
  } else if (line.noHScale) {
    width = line.width * sy;
  } else if (line.noVScale) {
    width = line.width * sx;
  } else {
    // The transform's stretch along its widest and narrowest directions.
    const double t = m.a * m.a + m.b * m.b + m.c * m.c + m.d * m.d;
    const double wide = std::sqrt((t + std::sqrt(std::max(0.0, t * t - 4 * det * det))) / 2);
    const double narrow = wide > 0 ? det / wide : 0;
    const double mean = std::sqrt(det);
    if (narrow > 1e-9 && wide / narrow > 1.001 && wide / narrow < 1e4) {
      // Nothing is drawn thinner than a pixel across its narrowest direction.
      pen.mapped = true;
      pen.toPixels = {m.a / mean, m.b / mean, m.c / mean, m.d / mean, 0, 0};
      pen.toPen = pen.toPixels.Inverse();
      const double h = std::max(line.width * narrow, 1.0) / 2 * mean / narrow;
      pen.halfWidth = std::min(h, 1e7);
      return pen;
    }
    width = line.width * (mean > 0 ? mean : std::sqrt(t / 2));
  }
  // Nothing is drawn thinner than a pixel: a line scaled down stays visible.
  if (!(width >= 1)) width = 1;
  pen.halfWidth = std::min(width, 1e7) / 2;
  return pen;
}

// Pixel hinting puts a line's centre where its width fills whole pixels: on pixel centres for
// odd widths, on pixel edges for even ones.
Point Hinted(Point p, double halfWidth) {
  const bool odd = static_cast<long long>(std::lround(2 * halfWidth)) % 2 != 0;
  const double offset = odd ? 0.5 : 0;
  return {std::floor(p.x - offset + 0.5) + offset, std::floor(p.y - offset + 0.5) + offset};
}

// Calls `emit(firstPath, endPath)` for each run of consecutive paths with the same line style,
// in record order.
template <typename Emit>
void ForEachStrokeRun(const Shape& shape, Emit emit) {
  const size_t n = shape.paths.size();
  size_t i = 0;
  while (i < n) {
    const uint32_t line = shape.paths[i].line;
    size_t j = i + 1;
    while (j < n && shape.paths[j].line == line) ++j;
    if (line >= 1 && line <= shape.lines.size()) emit(i, j);
    i = j;
  }
}

// Outlines of the strokes of paths [first, end), which share one line style.
void AddStrokes(const Shape& shape, size_t first, size_t end, const Matrix& m, Scratch& s) {
  const LineStyle& line = shape.lines[shape.paths[first].line - 1];
  const Pen pen = PenFor(line, m);
  const bool hinted = line.pixelHinting && !pen.mapped;
  raster::StrokeStyle style;
  style.halfWidth = pen.halfWidth;
  style.startCap = line.startCap;
  style.endCap = line.endCap;
  style.join = line.join;
  style.miterLimit = line.miterLimit;
  std::vector<Point>& pts = s.polyline;
  pts.clear();
  bool open = false;
  Point lastTwips{};
  auto flush = [&] {
    if (!pts.empty()) {
      const Point& a = pts.front();
      const Point& b = pts.back();
      const bool closed = !line.noClose && pts.size() > 2 && std::fabs(a.x - b.x) < 1e-9 &&
                          std::fabs(a.y - b.y) < 1e-9;
      raster::StrokePolyline(pts.data(), pts.size(), closed, style, s.segments,
                             pen.mapped ? &pen.toPixels : nullptr);
    }
    pts.clear();
    open = false;
  };
  auto push = [&](Point p) {
    if (pen.mapped) p = pen.toPen.Apply(p);
    if (!raster::IsFinite(p)) return;
    if (pts.empty() || p.x != pts.back().x || p.y != pts.back().y) pts.push_back(p);
  };
  for (size_t i = first; i < end; ++i) {
    for (const Edge& e : shape.paths[i].edges) {
      Point from = m.Apply(e.from), to = m.Apply(e.to);
      if (hinted) {
        from = Hinted(from, pen.halfWidth);
        to = Hinted(to, pen.halfWidth);
      }
      if (!open || e.from.x != lastTwips.x || e.from.y != lastTwips.y) {
        flush();
        push(from);
        open = true;
      }
      if (e.curved) {
        s.flat.clear();
        raster::FlattenQuad(from, m.Apply(e.control), to, s.flat);
        for (const Point& p : s.flat) push(p);
      } else {
        push(to);
      }
      lastTwips = e.to;
    }
  }
  flush();
}

class CanvasSink final : public CoverageSink {
 public:
  CanvasSink(const Canvas& canvas, const Paint& paint, const CoverageMask* mask, Scratch& s)
      : canvas_(canvas), paint_(paint), mask_(mask), s_(s) {}

  void Row(int y, int x0, int x1, const uint16_t* coverage) override {
    const int count = x1 - x0;
    if (mask_) {
      // The mask's area contains the clip, so every pixel here has a mask value.
      const uint8_t* m =
          mask_->coverage.data() +
          static_cast<size_t>(y - mask_->area.top) * (mask_->area.right - mask_->area.left) +
          (x0 - mask_->area.left);
      if (s_.masked.size() < static_cast<size_t>(count)) s_.masked.resize(count);
      for (int i = 0; i < count; ++i) {
        s_.masked[i] = static_cast<uint16_t>((coverage[i] * m[i] + 127) / 255);
      }
      coverage = s_.masked.data();
    }
    uint32_t* row = canvas_.Row(y) + x0;
    const bool solid = paint_.kind() == Paint::Kind::Solid;
    int i = 0;
    while (i < count) {
      while (i < count && coverage[i] == 0) ++i;
      int j = i;
      while (j < count && coverage[j] != 0) ++j;
      if (j == i) break;
      if (solid) {
        const uint32_t c = paint_.solid();
        for (int k = i; k < j; ++k) row[k] = raster::BlendOver(row[k], c, coverage[k]);
      } else {
        if (s_.colors.size() < static_cast<size_t>(j - i)) s_.colors.resize(j - i);
        paint_.Shade(x0 + i, y, j - i, s_.colors.data());
        for (int k = i; k < j; ++k) {
          row[k] = raster::BlendOver(row[k], s_.colors[k - i], coverage[k]);
        }
      }
      i = j;
    }
  }

 private:
  const Canvas& canvas_;
  const Paint& paint_;
  const CoverageMask* mask_;
  Scratch& s_;
};

class MaskSink final : public CoverageSink {
 public:
  MaskSink(CoverageMask& out, const CoverageMask* clip) : out_(out), clip_(clip) {}

  void Row(int y, int x0, int x1, const uint16_t* coverage) override {
    const int stride = out_.area.right - out_.area.left;
    uint8_t* row = out_.coverage.data() + static_cast<size_t>(y - out_.area.top) * stride +
                   (x0 - out_.area.left);
    for (int i = 0; i < x1 - x0; ++i) {
      uint32_t c = (coverage[i] * 255u + 128) >> 8;
      if (clip_) c = (c * clip_->At(x0 + i, y) + 127) / 255;
      // Union with what earlier shapes of the same mask left there.
      const uint32_t d = row[i];
      row[i] = static_cast<uint8_t>(d + c - (d * c + 127) / 255);
    }
  }

 private:
  CoverageMask& out_;
  const CoverageMask* clip_;
};

bool MaskIsUsable(const CoverageMask& mask) {
  if (mask.area.Empty()) return false;
  const size_t need = static_cast<size_t>(mask.area.right - mask.area.left) *
                      static_cast<size_t>(mask.area.bottom - mask.area.top);
  return mask.coverage.size() >= need;
}

}  // namespace

void DrawShape(const Canvas& canvas, const Shape& shape, const DrawParams& params) {
  if (!canvas.base || canvas.width <= 0 || canvas.height <= 0) return;
  PixelRect clip = Intersect(canvas.clip, {0, 0, canvas.width, canvas.height});
  if (params.clip) {
    if (!MaskIsUsable(*params.clip)) return;
    clip = Intersect(clip, params.clip->area);
  }
  if (clip.Empty() || !params.toPixels.IsFinite()) return;
  const Matrix& m = params.toPixels;
  Scratch& s = ThreadScratch();
  Paint paint;

  SortPathsByFill(shape, s);
  for (size_t f = 0; f < shape.fills.size(); ++f) {
    if (s.fillPaths[f].empty()) continue;
    paint.Set(shape.fills[f], m, params.colors, params.bitmaps);
    if (paint.kind() == Paint::Kind::None) continue;
    s.segments.Reset(clip, params.aliased);
    for (const auto& [index, reversed] : s.fillPaths[f]) {
      for (const Edge& e : shape.paths[index].edges) AddEdge(e, m, reversed, s.segments);
    }
    CanvasSink sink(canvas, paint, params.clip, s);
    s.converter.Run(s.segments, sink, params.aliased, !shape.nonZero);
  }

  ForEachStrokeRun(shape, [&](size_t first, size_t end) {
    const LineStyle& line = shape.lines[shape.paths[first].line - 1];
    if (line.hasFill) {
      paint.Set(line.fill, m, params.colors, params.bitmaps);
    } else {
      paint.SetSolid(line.color, params.colors);
    }
    if (paint.kind() == Paint::Kind::None) return;
    s.segments.Reset(clip, params.aliased);
    AddStrokes(shape, first, end, m, s);
    CanvasSink sink(canvas, paint, params.clip, s);
    s.converter.Run(s.segments, sink, params.aliased);
  });
}

void DrawShapeCoverage(CoverageMask& mask, const Shape& shape, const DrawParams& params) {
  if (!MaskIsUsable(mask)) return;
  PixelRect clip = mask.area;
  if (params.clip) {
    if (!MaskIsUsable(*params.clip)) return;
    clip = Intersect(clip, params.clip->area);
  }
  if (clip.Empty() || !params.toPixels.IsFinite()) return;
  const Matrix& m = params.toPixels;
  Scratch& s = ThreadScratch();
  MaskSink sink(mask, params.clip);

  s.segments.Reset(clip, params.aliased);
  AddAllFills(shape, m, s.segments);
  // Only fills mask: a mask's line styles are ignored, like its colours.
  s.converter.Run(s.segments, sink, params.aliased, !shape.nonZero);
}

bool ShapeContains(const Shape& shape, const Matrix& toPixels, Point pixel) {
  if (!toPixels.IsFinite() || !raster::IsFinite(pixel)) return false;
  if (std::fabs(pixel.x) > 1e8 || std::fabs(pixel.y) > 1e8) return false;
  // A small clip around the point keeps flattening and clipping cheap; only winding to the
  // left of the point matters.
  const int px = static_cast<int>(std::floor(pixel.x)), py = static_cast<int>(std::floor(pixel.y));
  const PixelRect around{px - 1, py - 1, px + 2, py + 2};
  Scratch& s = ThreadScratch();
  // Fills take the point by the rule they are drawn with, strokes by any winding.
  auto Winding = [&]() {
    int winding = 0;
    for (const raster::Segment& seg : s.segments.segments()) {
      if (pixel.y < seg.yTop || pixel.y >= seg.yBottom) continue;
      const double x = seg.xTop + (pixel.y - seg.yTop) * seg.slope;
      if (x < pixel.x) winding += seg.winding;
    }
    return winding;
  };
  // Each fill by itself: fills that overlap (drawn one over another) must not cancel.
  std::map<uint32_t, int> windings;
  const size_t fills = shape.fills.size();
  for (const Path& path : shape.paths) {
    const bool left = path.fill0 >= 1 && path.fill0 <= fills;
    const bool right = path.fill1 >= 1 && path.fill1 <= fills;
    if (!left && !right) continue;
    s.segments.Reset(around);
    for (const Edge& e : path.edges) AddEdge(e, toPixels, true, s.segments);
    const int w = Winding();
    if (right) windings[path.fill1] += w;
    if (left) windings[path.fill0] -= w;
  }
  for (const auto& [fill, w] : windings) {
    if (shape.nonZero ? w != 0 : (w & 1) != 0) return true;
  }
  bool hit = false;
  ForEachStrokeRun(shape, [&](size_t first, size_t end) {
    if (hit) return;
    s.segments.Reset(around);
    AddStrokes(shape, first, end, toPixels, s);
    hit = Winding() != 0;
  });
  return hit;
}

}  // namespace swf
