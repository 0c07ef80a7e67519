#include "player/drawing.h"

#include <algorithm>
#include <cmath>

namespace swf {
namespace {

// A script can draw without end; past this many edges its drawing stops growing.
constexpr size_t kMaxDrawnEdges = 100'000;

}  // namespace

void Drawing::BeginFill(Rgba color) {
  FillStyle style;
  style.color = color;
  BeginFill(style);
}

void Drawing::BeginFill(const FillStyle& style) {
  EndFill();
  shape_.fills.push_back(style);
  fill_ = static_cast<uint32_t>(shape_.fills.size());
  fillStart_ = pen_;
  newPath_ = true;
}

void Drawing::EndFill() {
  if (!fill_) return;
  // An open fill is closed with a straight edge back to where it began, stroked with the
  // current line like any other edge.
  if (pen_.x != fillStart_.x || pen_.y != fillStart_.y) LineTo(fillStart_);
  fill_ = 0;
  newPath_ = true;
}

void Drawing::SetLine(std::optional<uint16_t> width, Rgba color) {
  if (!width) {
    line_ = 0;
    newPath_ = true;
    return;
  }
  LineStyle style;
  style.width = *width;
  style.color = color;
  SetLine(style);
}

void Drawing::SetLine(const LineStyle& style) {
  shape_.lines.push_back(style);
  line_ = static_cast<uint32_t>(shape_.lines.size());
  newPath_ = true;
}

void Drawing::SetLineFill(const FillStyle& fill) {
  if (!line_) return;
  LineStyle style = shape_.lines[line_ - 1];
  style.hasFill = true;
  style.fill = fill;
  SetLine(style);
}

void Drawing::MoveTo(Point to) {
  // Moving on from an open fill closes it first, with the line the pen draws with now.
  if (fill_ && (pen_.x != fillStart_.x || pen_.y != fillStart_.y)) LineTo(fillStart_);
  pen_ = to;
  if (fill_) fillStart_ = to;
  newPath_ = true;
}

void Drawing::LineTo(Point to) { Add({pen_, {}, to, false}); }

void Drawing::CurveTo(Point control, Point to) { Add({pen_, control, to, true}); }

void Drawing::Clear() { *this = Drawing{}; }

Path& Drawing::Current() {
  if (newPath_ || shape_.paths.empty()) {
    Path path;
    path.fill1 = fill_;
    path.line = line_;
    shape_.paths.push_back(std::move(path));
    newPath_ = false;
  }
  return shape_.paths.back();
}

void Drawing::Add(const Edge& edge) {
  pen_ = edge.to;
  const auto sane = [](Point q) { return std::fabs(q.x) < 1e9 && std::fabs(q.y) < 1e9; };
  if (edges_ >= kMaxDrawnEdges || !sane(edge.from) || !sane(edge.to) || !sane(edge.control)) {
    return;
  }
  if (!fill_ && !line_) {
    // Nothing to show, yet it still moves the pen.
    newPath_ = true;
    return;
  }
  Current().edges.push_back(edge);
  ++edges_;
  const double margin = line_ ? shape_.lines[line_ - 1].width / 2.0 : 0;
  Grow(edge.from, margin);
  Grow(edge.to, margin);
  if (edge.curved) Grow(edge.control, margin);
  shape_.edgeBounds = shape_.bounds;
}

void Drawing::Grow(Point p, double margin) {
  const auto lo = [](double v) { return static_cast<int32_t>(std::floor(v)); };
  const auto hi = [](double v) { return static_cast<int32_t>(std::ceil(v)); };
  TwipsRect& b = shape_.bounds;
  if (!hasBounds_) {
    b = {lo(p.x - margin), hi(p.x + margin), lo(p.y - margin), hi(p.y + margin)};
    hasBounds_ = true;
    return;
  }
  b.xMin = std::min(b.xMin, lo(p.x - margin));
  b.xMax = std::max(b.xMax, hi(p.x + margin));
  b.yMin = std::min(b.yMin, lo(p.y - margin));
  b.yMax = std::max(b.yMax, hi(p.y + margin));
}

}  // namespace swf
