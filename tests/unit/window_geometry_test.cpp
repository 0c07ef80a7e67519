// A dialog centred over its window, kept inside the work area.
#include "app/window_geometry.h"

#include <gtest/gtest.h>

namespace brim {
namespace {

TEST(WindowGeometry, CentresOverTheOwnerWithinTheWorkArea) {
  const Box work{0, 0, 1024, 738};
  const struct {
    Box over;
    Box expected;  // for a 200 x 100 box
  } cases[] = {
      {{100, 100, 500, 400}, {200, 200, 400, 300}},
      {{-300, -300, -100, -200}, {0, 0, 200, 100}},          // owner off the top-left
      {{900, 700, 1100, 800}, {824, 638, 1024, 738}},        // owner off the bottom-right
      {{0, 0, 1024, 738}, {412, 319, 612, 419}},             // over the work area itself
  };
  for (const auto& c : cases) {
    const Box got = CentreWithin({0, 0, 200, 100}, c.over, work);
    EXPECT_EQ(got.left, c.expected.left);
    EXPECT_EQ(got.top, c.expected.top);
    EXPECT_EQ(got.right, c.expected.right);
    EXPECT_EQ(got.bottom, c.expected.bottom);
  }
  // Larger than the work area: its top-left corner stays on screen.
  const Box big = CentreWithin({0, 0, 2000, 1000}, {0, 0, 100, 100}, work);
  EXPECT_EQ(big.left, 0);
  EXPECT_EQ(big.top, 0);
}

}  // namespace
}  // namespace brim
