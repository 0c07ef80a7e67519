#pragma once
// DefineShape 1 to 4 into swf::Shape.
#include <cstddef>
#include <cstdint>
#include <span>

#include "player/movie_error.h"
#include "player/shape.h"
#include "player/tag_codes.h"

namespace swf {

class ByteReader;

inline constexpr size_t kMaxShapeEdges = 500'000;

// `budget` is how many parsed elements (edges and styles) the movie may still hold; it is
// reduced by what the shape uses.
ErrorKind ParseShape(TagCode code, std::span<const uint8_t> body, uint16_t& id, Shape& out,
                     size_t& budget);

// One edge record of a shape, read past its first bit (set for an edge): the edge from `pen`,
// with `pen` moved to its end. A straight edge has no control point.
Edge ReadEdge(ByteReader& r, Point& pen);

}  // namespace swf
