// Solid fills through SWF's edge model: exact colours inside, anti-aliased edges, and the
// pixels a shape must never touch.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/raster/raster_test_support.h"

namespace {

using namespace rastertest;
using swf::Shape;

struct Probe {
  int x, y;
  uint32_t expected;
};

Shape Fills(std::vector<swf::Path> paths,
            std::vector<swf::FillStyle> fills = {Solid(kRed), Solid(kBlue)}) {
  Shape s;
  s.fills = std::move(fills);
  s.paths = std::move(paths);
  return s;
}

// A 10 px square split at x: fill 1 on the left, fill 2 on the right, the middle edge
// carrying both.
Shape SplitSquare(double x) {
  return Fills(
      {swf::Path{1, 2, 0, {Line({x, 0}, {x, 10})}},
       swf::Path{1, 0, 0, {Line({x, 10}, {0, 10}), Line({0, 10}, {0, 0}), Line({0, 0}, {x, 0})}},
       swf::Path{
           0, 2, 0, {Line({x, 10}, {10, 10}), Line({10, 10}, {10, 0}), Line({10, 0}, {x, 0})}}});
}

swf::CoverageMask EmptyMask() {
  swf::CoverageMask mask;
  mask.area = {0, 0, 10, 10};
  mask.coverage.assign(100, 0);
  return mask;
}

Shape NonZero(Shape shape) {
  shape.nonZero = true;
  return shape;
}

TEST(RasterFill, EdgeModelRegionsGetTheirFills) {
  const struct {
    std::string name;
    Shape shape;
    std::vector<Probe> probes;
  } cases[] = {
      {"rectangle",
       Fills({Rect(2, 2, 8, 8, 1)}),
       {{2, 2, kRedPixel}, {7, 7, kRedPixel}, {1, 5, kMarker}, {8, 5, kMarker}, {5, 8, kMarker}}},
      {"reversed direction fills the same",
       Fills({Polygon({{2, 2}, {2, 8}, {8, 8}, {8, 2}}, 1)}),
       {{2, 2, kRedPixel}, {7, 7, kRedPixel}, {1, 1, kMarker}}},
      {"fill on the right side",
       Fills({Path({{2, 2}, {8, 2}, {8, 8}, {2, 8}}, true, 0, 2)}),
       {{4, 4, kBluePixel}, {9, 9, kMarker}}},
      {"two fills share an edge",
       SplitSquare(5),
       {{0, 0, kRedPixel}, {4, 9, kRedPixel}, {5, 0, kBluePixel}, {9, 9, kBluePixel}}},
      // The inner square carries the fill on its other side: a hole.
      {"hole through fill1",
       Fills({Rect(0, 0, 10, 10, 1), swf::Path{0, 1, 0, Rect(3, 3, 7, 7, 0).edges}}),
       {{1, 1, kRedPixel}, {4, 4, kMarker}, {6, 6, kMarker}, {7, 7, kRedPixel}}},
      {"overlap with opposite windings cancels",
       Fills({Rect(0, 0, 6, 6, 1), Polygon({{3, 3}, {3, 9}, {9, 9}, {9, 3}}, 1)}),
       {{1, 1, kRedPixel}, {4, 4, kMarker}, {8, 8, kRedPixel}}},
      {"overlap with equal windings is a hole by the even-odd rule",
       Fills({Rect(0, 0, 6, 6, 1), Rect(3, 3, 9, 9, 1)}),
       {{1, 1, kRedPixel}, {4, 4, kMarker}, {8, 8, kRedPixel}, {1, 8, kMarker}}},
      {"overlap with equal windings stays filled when the shape asks for non-zero",
       NonZero(Fills({Rect(0, 0, 6, 6, 1), Rect(3, 3, 9, 9, 1)})),
       {{1, 1, kRedPixel}, {4, 4, kRedPixel}, {8, 8, kRedPixel}, {1, 8, kMarker}}},
      {"same fill on both sides draws nothing",
       Fills({swf::Path{1, 1, 0, Rect(1, 1, 9, 9, 0).edges}}),
       {{5, 5, kMarker}}},
      {"style index past the table draws nothing", Fills({Rect(1, 1, 9, 9, 7)}), {{5, 5, kMarker}}},
      {"curved edge bulges out",
       Fills({swf::Path{1, 0, 0, {Line({1, 8}, {9, 8}), Curve({9, 8}, {5, 0}, {1, 8})}}}),
       {{5, 6, kRedPixel}, {5, 2, kMarker}, {1, 2, kMarker}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Surface surface = Drawn(c.shape, 10, 10);
    for (const Probe& p : c.probes) {
      EXPECT_EQ(surface.At(p.x, p.y), p.expected) << "pixel " << p.x << "," << p.y;
    }
  }
}

TEST(RasterFill, PartlyCoveredPixelsGetProportionalCoverage) {
  const struct {
    swf::Path path;
    int px, py;
    int alpha;  // expected alpha (and red: opaque red over nothing), +-4
  } cases[] = {
      {Rect(2.5, 0, 8, 10, 1), 2, 5, 128},   // half a pixel horizontally
      {Rect(0, 2.25, 10, 8, 1), 5, 2, 191},  // three quarters vertically
      {Rect(2.5, 2.5, 8, 8, 1), 2, 2, 64},   // a quarter in a corner
      // Coverage is counted on a 4x4 grid of samples: a sliver holding one column of them
      // counts a quarter, a thinner one that holds none nothing at all.
      {Rect(2, 2, 2.3, 8, 1), 2, 5, 64},
      {Rect(2, 2, 2.1, 8, 1), 2, 5, 0},
      // A diagonal edge through pixel centres holds 6 of the 16 samples below it (samples on
      // the edge itself count for the side to its right).
      {Polygon({{0, 0}, {10, 10}, {0, 10}}, 1), 3, 3, 96},
      {Polygon({{0, 0}, {10, 10}, {0, 10}}, 1), 8, 8, 96},
  };
  for (const auto& c : cases) {
    const uint32_t p = Drawn(Fills({c.path}), 10, 10).At(c.px, c.py);
    EXPECT_TRUE(PixelNear(p, uint32_t(c.alpha) * 0x01010000u, 4)) << c.px << "," << c.py;
  }
}

TEST(RasterFill, ColorsAlphaAndColorTransforms) {
  const struct {
    std::string name;
    swf::Rgba color;
    swf::ColorTransform ct;
    uint32_t background;
    uint32_t expected;
  } cases[] = {
      {"opaque", {10, 20, 30, 255}, {}, kMarker, 0xFF0A141E},
      {"half alpha over nothing", {255, 0, 0, 128}, {}, 0, 0x80800000},
      {"half alpha over opaque blue", {255, 0, 0, 128}, {}, 0xFF0000FF, 0xFF80007F},
      {"multiply and add", {200, 100, 50, 255}, {128, 256, 256, 256, 0, 10, 0, 0}, 0, 0xFF646E32},
      {"alpha multiplier", {255, 255, 255, 255}, {256, 256, 256, 128, 0, 0, 0, 0}, 0, 0x80808080},
      {"add saturates", {250, 0, 0, 255}, {256, 256, 256, 256, 100, -50, 0, 0}, 0, 0xFFFF0000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Surface surface(4, 4);
    std::fill(surface.pixels.begin(), surface.pixels.end(), c.background);
    swf::DrawParams params = Params();
    params.colors = c.ct;
    swf::DrawShape(surface.canvas, Fills({Rect(0, 0, 4, 4, 1)}, {Solid(c.color)}), params);
    EXPECT_TRUE(PixelNear(surface.At(1, 1), c.expected, 1));
  }
}

// Top-down and bottom-up memory alike; the clip is not symmetric, so rows drawn in the wrong
// order land outside it.
TEST(RasterFill, StaysInsideClipAndLeavesOtherPixelsAlone) {
  Shape s = Fills({swf::Path{1,
                             0,
                             1,
                             {Line({-50, -50}, {60, -40}), Curve({60, -40}, {90, 20}, {60, 60}),
                              Line({60, 60}, {-50, -50})}}});
  s.lines = {Pen(200, kBlue)};  // much larger than the canvas, curved, and a wide stroke
  for (bool bottomUp : {false, true}) {
    SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
    Surface surface(12, 12, bottomUp);
    surface.canvas.clip = {3, 2, 9, 7};
    swf::DrawShape(surface.canvas, s, Params());
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 12; ++x) {
        const bool inside = x >= 3 && x < 9 && y >= 2 && y < 7;
        EXPECT_EQ(surface.At(x, y) != kMarker, inside) << x << "," << y;
      }
    }
  }
}

TEST(RasterFill, MasksLimitDrawingAndRecordCoverage) {
  // A mask covering the left 5.5 columns of a 10x10 canvas.
  swf::CoverageMask mask = EmptyMask();
  swf::DrawShapeCoverage(mask, Fills({Rect(0, 0, 5.5, 10, 1)}), Params());
  EXPECT_EQ(mask.At(2, 2), 255);
  EXPECT_NEAR(mask.At(5, 2), 128, 2);
  EXPECT_EQ(mask.At(7, 2), 0);

  // Two fills sharing an edge leave no seam in the mask.
  swf::CoverageMask seam = EmptyMask();
  swf::DrawShapeCoverage(seam, SplitSquare(5.5), Params());
  EXPECT_EQ(seam.At(5, 5), 255);

  swf::DrawParams params = Params();
  params.clip = &mask;
  const Surface surface = Drawn(Fills({Rect(0, 0, 10, 10, 1)}), 10, 10, params);
  EXPECT_EQ(surface.At(2, 2), kRedPixel);
  EXPECT_NEAR(A(surface.At(5, 2)), 128, 3);
  EXPECT_EQ(surface.At(7, 2), kMarker);

  // A mask nested in another one: coverage only where both are.
  swf::CoverageMask inner = EmptyMask();
  swf::DrawShapeCoverage(inner, Fills({Rect(0, 5, 10, 10, 1)}), params);
  EXPECT_EQ(inner.At(2, 7), 255);
  EXPECT_EQ(inner.At(2, 2), 0);
  EXPECT_EQ(inner.At(7, 7), 0);

  // A mask takes its fills only: a 2 px line round the square and one beside it add nothing.
  Shape outlined = Fills({Rect(2, 2, 6, 6, 1), Polyline({{8, 0}, {8, 10}}, 1)});
  outlined.paths[0].line = 1;
  outlined.lines = {Pen(40, kBlue)};
  swf::CoverageMask filled = EmptyMask();
  swf::DrawShapeCoverage(filled, outlined, Params());
  EXPECT_EQ(filled.At(3, 3), 255);
  EXPECT_EQ(filled.At(1, 3), 0);
  EXPECT_EQ(filled.At(6, 3), 0);
  EXPECT_EQ(filled.At(8, 5), 0);
}

TEST(RasterFill, HitTestsFollowFillsAndStrokes) {
  Shape s = Fills({Rect(0, 0, 20, 20, 1), swf::Path{0, 1, 0, Rect(5, 5, 15, 15, 0).edges},
                   Polyline({{30, 0}, {30, 20}}, 1)});
  s.lines = {Pen(40, kBlue)};  // 2 px
  const struct {
    double x, y;
    bool hit;
  } cases[] = {{2, 2, true},     {10, 10, false},   {16, 10, true}, {25, 10, false},
               {30.8, 10, true}, {31.3, 10, false}, {-1, 5, false}, {30, -0.8, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(swf::ShapeContains(s, kTwipsToPixels, {c.x, c.y}), c.hit) << c.x << "," << c.y;
  }
}

}  // namespace
