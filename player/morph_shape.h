#pragma once
// DefineMorphShape and DefineMorphShape2: two versions of one shape whose edges and styles
// correspond one to one; a placement's ratio picks a shape between them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "player/movie_error.h"
#include "player/shape.h"
#include "player/tag_codes.h"

namespace swf {

struct MorphShape {
  // The start: paths with their (absolute) style indices, the start styles and bounds.
  Shape start;
  // The end: the same styles and edges, in the same order, as they are at ratio 1.
  TwipsRect endBounds;
  std::vector<FillStyle> endFills;
  std::vector<LineStyle> endLines;
  std::vector<Edge> endEdges;  // one per edge of start.paths, in order
};

// `budget` as for ParseShape.
ErrorKind ParseMorphShape(TagCode code, std::span<const uint8_t> body, uint16_t& id,
                          MorphShape& out, size_t& budget);

// The shape at `ratio` (0 the start, 65535 the end).
void MorphAt(const MorphShape& morph, uint16_t ratio, Shape& out);

}  // namespace swf
