// Solid fills through SWF's edge model: exact colours inside, anti-aliased edges, and the
// pixels a shape must never touch.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "player/render.h"
#include "tests/unit/raster/raster_test_support.h"

namespace {

using namespace rastertest;
using swf::Shape;

swf::DrawParams Params() {
  swf::DrawParams p;
  p.toPixels = kTwipsToPixels;
  return p;
}

struct Probe {
  int x, y;
  uint32_t expected;
};

struct EdgeModelCase {
  std::string name;
  Shape shape;
  std::vector<Probe> probes;
};

Shape TwoFills(std::vector<swf::Path> paths) {
  Shape s;
  s.fills = {Solid(kRed), Solid(kBlue)};
  s.paths = std::move(paths);
  return s;
}

TEST(RasterFill, EdgeModelRegionsGetTheirFills) {
  const EdgeModelCase cases[] = {
      {"rectangle",
       TwoFills({Rect(2, 2, 8, 8, 1)}),
       {{2, 2, kRedPixel}, {7, 7, kRedPixel}, {1, 5, kMarker}, {8, 5, kMarker}, {5, 8, kMarker}}},
      {"reversed direction fills the same",
       TwoFills({Polygon({{2, 2}, {2, 8}, {8, 8}, {8, 2}}, 1)}),
       {{2, 2, kRedPixel}, {7, 7, kRedPixel}, {1, 1, kMarker}}},
      {"fill on the right side",
       TwoFills({Polygon({{2, 2}, {8, 2}, {8, 8}, {2, 8}}, 0, 2)}),
       {{4, 4, kBluePixel}, {9, 9, kMarker}}},
      // Left half red, right half blue, the middle edge carrying both fills.
      {"two fills share an edge",
       TwoFills(
           {swf::Path{1, 2, 0, {Line({5, 0}, {5, 10})}},
            swf::Path{
                1, 0, 0, {Line({5, 10}, {0, 10}), Line({0, 10}, {0, 0}), Line({0, 0}, {5, 0})}},
            swf::Path{
                0,
                2,
                0,
                {Line({5, 10}, {10, 10}), Line({10, 10}, {10, 0}), Line({10, 0}, {5, 0})}}}),
       {{0, 0, kRedPixel}, {4, 9, kRedPixel}, {5, 0, kBluePixel}, {9, 9, kBluePixel}}},
      // The inner square carries the fill on its other side: a hole.
      {"hole through fill1",
       TwoFills({Rect(0, 0, 10, 10, 1), swf::Path{0, 1, 0, Rect(3, 3, 7, 7, 0).edges}}),
       {{1, 1, kRedPixel}, {4, 4, kMarker}, {6, 6, kMarker}, {7, 7, kRedPixel}}},
      {"overlap with opposite windings cancels",
       TwoFills({Rect(0, 0, 6, 6, 1), Polygon({{3, 3}, {3, 9}, {9, 9}, {9, 3}}, 1)}),
       {{1, 1, kRedPixel}, {4, 4, kMarker}, {8, 8, kRedPixel}}},
      {"overlap with equal windings stays filled",
       TwoFills({Rect(0, 0, 6, 6, 1), Rect(3, 3, 9, 9, 1)}),
       {{1, 1, kRedPixel}, {4, 4, kRedPixel}, {8, 8, kRedPixel}, {1, 8, kMarker}}},
      {"same fill on both sides draws nothing",
       TwoFills({swf::Path{1, 1, 0, Rect(1, 1, 9, 9, 0).edges}}),
       {{5, 5, kMarker}}},
      {"style index past the table draws nothing",
       TwoFills({Rect(1, 1, 9, 9, 7)}),
       {{5, 5, kMarker}}},
      {"curved edge bulges out",
       TwoFills({swf::Path{1, 0, 0, {Line({1, 8}, {9, 8}), Curve({9, 8}, {5, 0}, {1, 8})}}}),
       {{5, 6, kRedPixel}, {5, 2, kMarker}, {1, 2, kMarker}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Surface surface(10, 10);
    swf::DrawShape(surface.canvas, c.shape, Params());
    for (const Probe& p : c.probes) {
      EXPECT_EQ(surface.At(p.x, p.y), p.expected) << "pixel " << p.x << "," << p.y;
    }
  }
}

TEST(RasterFill, PartlyCoveredPixelsGetProportionalCoverage) {
  struct Case {
    double x0, y0, x1, y1;  // rectangle in pixels
    int px, py;
    int alpha;  // expected alpha, +-3
  } const cases[] = {
      {2.5, 0, 8, 10, 2, 5, 128},   // half a pixel horizontally
      {0, 2.25, 10, 8, 5, 2, 191},  // three quarters vertically
      {2.5, 2.5, 8, 8, 2, 2, 64},   // a quarter in a corner
      {2, 2, 2.1, 8, 2, 5, 26},     // a sliver
  };
  for (const auto& c : cases) {
    Shape s;
    s.fills = {Solid(kRed)};
    s.paths = {Rect(c.x0, c.y0, c.x1, c.y1, 1)};
    Surface surface(10, 10);
    swf::DrawShape(surface.canvas, s, Params());
    const uint32_t p = surface.At(c.px, c.py);
    EXPECT_NEAR(A(p), c.alpha, 3) << c.px << "," << c.py;
    EXPECT_NEAR(R(p), c.alpha, 3);  // opaque red over a transparent background
  }
  // A diagonal edge through pixel centres leaves each edge pixel half covered.
  Shape tri;
  tri.fills = {Solid(kRed)};
  tri.paths = {Polygon({{0, 0}, {10, 10}, {0, 10}}, 1)};
  Surface surface(10, 10);
  swf::DrawShape(surface.canvas, tri, Params());
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(A(surface.At(i, i)), 128, 4) << i;
}

TEST(RasterFill, ColorsAlphaAndColorTransforms) {
  struct Case {
    std::string name;
    swf::Rgba color;
    swf::ColorTransform ct;
    uint32_t background;
    uint32_t expected;
  } const cases[] = {
      {"opaque", {10, 20, 30, 255}, {}, kMarker, 0xFF0A141E},
      {"half alpha over nothing", {255, 0, 0, 128}, {}, 0, 0x80800000},
      {"half alpha over opaque blue", {255, 0, 0, 128}, {}, 0xFF0000FF, 0xFF80007F},
      {"multiply and add", {200, 100, 50, 255}, {128, 256, 256, 256, 0, 10, 0, 0}, 0, 0xFF646E32},
      {"alpha multiplier", {255, 255, 255, 255}, {256, 256, 256, 128, 0, 0, 0, 0}, 0, 0x80808080},
      {"add saturates", {250, 0, 0, 255}, {256, 256, 256, 256, 100, -50, 0, 0}, 0, 0xFFFF0000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Shape s;
    s.fills = {Solid(c.color)};
    s.paths = {Rect(0, 0, 4, 4, 1)};
    Surface surface(4, 4);
    std::fill(surface.pixels.begin(), surface.pixels.end(), c.background);
    swf::DrawParams params = Params();
    params.colors = c.ct;
    swf::DrawShape(surface.canvas, s, params);
    const uint32_t p = surface.At(1, 1);
    EXPECT_NEAR(A(p), A(c.expected), 1);
    EXPECT_NEAR(R(p), R(c.expected), 1);
    EXPECT_NEAR(G(p), G(c.expected), 1);
    EXPECT_NEAR(B(p), B(c.expected), 1);
  }
}

TEST(RasterFill, StaysInsideClipAndLeavesOtherPixelsAlone) {
  for (bool bottomUp : {false, true}) {
    SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
    Shape s;
    s.fills = {Solid(kRed)};
    s.lines = {Pen(200, kBlue)};
    // Much larger than the canvas, curved, and stroked with a wide line.
    s.paths = {swf::Path{1,
                         0,
                         1,
                         {Line({-50, -50}, {60, -40}), Curve({60, -40}, {90, 20}, {60, 60}),
                          Line({60, 60}, {-50, -50})}}};
    Surface surface(12, 12, bottomUp);
    surface.canvas.clip = {3, 2, 9, 7};
    swf::DrawShape(surface.canvas, s, Params());
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 12; ++x) {
        const bool inside = x >= 3 && x < 9 && y >= 2 && y < 7;
        if (inside) {
          EXPECT_NE(surface.At(x, y), kMarker) << x << "," << y;
        } else {
          EXPECT_EQ(surface.At(x, y), kMarker) << x << "," << y;
        }
      }
    }
  }
  // Bottom-up memory: row 0 of the canvas is the last row in memory.
  Shape s;
  s.fills = {Solid(kRed)};
  s.paths = {Rect(0, 0, 4, 1, 1)};
  Surface surface(4, 4, true);
  swf::DrawShape(surface.canvas, s, Params());
  EXPECT_EQ(surface.pixels[3 * 4 + 1], kRedPixel);
  EXPECT_EQ(surface.pixels[0 * 4 + 1], kMarker);
}

TEST(RasterFill, MasksLimitDrawingAndRecordCoverage) {
  // A mask covering the left half of a 10x10 canvas.
  swf::CoverageMask mask;
  mask.area = {0, 0, 10, 10};
  mask.coverage.assign(100, 0);
  Shape maskShape;
  maskShape.fills = {Solid(kBlue)};
  maskShape.paths = {Rect(0, 0, 5.5, 10, 1)};
  swf::DrawShapeCoverage(mask, maskShape, Params());
  EXPECT_EQ(mask.At(2, 2), 255);
  EXPECT_NEAR(mask.At(5, 2), 128, 2);
  EXPECT_EQ(mask.At(7, 2), 0);

  // Two fills sharing an edge leave no seam in the mask.
  swf::CoverageMask seam;
  seam.area = {0, 0, 10, 10};
  seam.coverage.assign(100, 0);
  Shape split = TwoFills(
      {swf::Path{1, 2, 0, {Line({5.5, 0}, {5.5, 10})}},
       swf::Path{
           1, 0, 0, {Line({5.5, 10}, {0, 10}), Line({0, 10}, {0, 0}), Line({0, 0}, {5.5, 0})}},
       swf::Path{0,
                 2,
                 0,
                 {Line({5.5, 10}, {10, 10}), Line({10, 10}, {10, 0}), Line({10, 0}, {5.5, 0})}}});
  swf::DrawShapeCoverage(seam, split, Params());
  EXPECT_EQ(seam.At(5, 5), 255);

  Shape s;
  s.fills = {Solid(kRed)};
  s.paths = {Rect(0, 0, 10, 10, 1)};
  Surface surface(10, 10);
  swf::DrawParams params = Params();
  params.clip = &mask;
  swf::DrawShape(surface.canvas, s, params);
  EXPECT_EQ(surface.At(2, 2), kRedPixel);
  EXPECT_NEAR(A(surface.At(5, 2)), 128, 3);
  EXPECT_EQ(surface.At(7, 2), kMarker);

  // A mask nested in another one: coverage only where both are.
  swf::CoverageMask inner;
  inner.area = {0, 0, 10, 10};
  inner.coverage.assign(100, 0);
  Shape bottom;
  bottom.fills = {Solid(kRed)};
  bottom.paths = {Rect(0, 5, 10, 10, 1)};
  swf::DrawShapeCoverage(inner, bottom, params);
  EXPECT_EQ(inner.At(2, 7), 255);
  EXPECT_EQ(inner.At(2, 2), 0);
  EXPECT_EQ(inner.At(7, 7), 0);
}

TEST(RasterFill, HitTestsFollowFillsAndStrokes) {
  Shape s;
  s.fills = {Solid(kRed)};
  s.lines = {Pen(40, kBlue)};  // 2 px
  s.paths = {Rect(0, 0, 20, 20, 1), swf::Path{0, 1, 0, Rect(5, 5, 15, 15, 0).edges},
             Polyline({{30, 0}, {30, 20}}, 1)};
  struct Case {
    double x, y;
    bool hit;
  } const cases[] = {{2, 2, true},     {10, 10, false},   {16, 10, true}, {25, 10, false},
                     {30.8, 10, true}, {31.3, 10, false}, {-1, 5, false}, {30, -0.8, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(swf::ShapeContains(s, kTwipsToPixels, {c.x, c.y}), c.hit) << c.x << "," << c.y;
  }
}

}  // namespace
