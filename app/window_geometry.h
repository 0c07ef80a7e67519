#pragma once
// Placing a box (a dialog) over another, kept inside the work area. Portable.
#include <algorithm>
#include <cstdint>

namespace brim {

struct Box {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

// Where `box` goes centred over `over`, moved back inside `work` where it would stick out (its
// top-left corner wins when it is larger than the work area).
inline Box CentreWithin(const Box& box, const Box& over, const Box& work) {
  const int64_t w = box.Width(), h = box.Height();
  int64_t left = over.left + (int64_t{over.Width()} - w) / 2;
  int64_t top = over.top + (int64_t{over.Height()} - h) / 2;
  left = std::max<int64_t>(std::min<int64_t>(left, work.right - w), work.left);
  top = std::max<int64_t>(std::min<int64_t>(top, work.bottom - h), work.top);
  return {static_cast<int32_t>(left), static_cast<int32_t>(top),
          static_cast<int32_t>(left + w), static_cast<int32_t>(top + h)};
}

}  // namespace brim
