#pragma once
// What a script draws into a clip with the drawing methods (moveTo, lineTo, beginFill, ...):
// a shape built edge by edge, drawn beneath the clip's children.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "player/geometry.h"
#include "player/shape.h"

namespace swf {

class Drawing {
 public:
  // Coordinates are twips in the clip's space.
  void BeginFill(Rgba color);
  // A gradient (or any) fill from here on.
  void BeginFill(const FillStyle& style);
  void EndFill();
  // No width: no line from here on. A width of 0 is a hairline.
  void SetLine(std::optional<uint16_t> width, Rgba color = {});
  void SetLine(const LineStyle& style);
  // Paints the current line with `fill` from here on; nothing when no line is set.
  void SetLineFill(const FillStyle& fill);
  void MoveTo(Point to);
  void LineTo(Point to);
  void CurveTo(Point control, Point to);
  void Clear();

  const Shape& shape() const { return shape_; }
  bool Empty() const { return shape_.paths.empty(); }

 private:
  void Add(const Edge& edge);
  // The path edges go into, started afresh when the styles change.
  Path& Current();
  void Grow(Point p, double margin);

  Shape shape_;
  Point pen_;
  Point fillStart_;
  uint32_t fill_ = 0;
  uint32_t line_ = 0;
  bool newPath_ = true;
  bool hasBounds_ = false;
  size_t edges_ = 0;
};

}  // namespace swf
