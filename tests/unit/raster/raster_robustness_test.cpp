// Shapes from untrusted files: whatever they hold, drawing stays inside the clip rectangle,
// finishes promptly and does not crash.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tests/unit/raster/raster_test_support.h"

namespace {

using namespace rastertest;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

swf::Shape Filled(std::vector<swf::Edge> edges) {
  swf::Shape s;
  s.fills = {Solid(kRed)};
  s.lines = {Pen(40, kBlue)};
  s.paths = {swf::Path{1, 0, 1, std::move(edges)}};
  return s;
}

swf::Shape ManyLongEdges(int count) {
  // Long zig-zag edges spanning the whole canvas many times over: the worst case for a
  // scanline converter, since every edge is active on every row.
  std::vector<swf::Edge> edges;
  edges.reserve(count);
  for (int i = 0; i < count; ++i) {
    const double x = (i % 97) * 0.1;
    edges.push_back(i % 2 ? Line({x, 40}, {x + 1, -20}) : Line({x + 1, -20}, {x, 40}));
  }
  swf::Shape s;
  s.fills = {Solid(kRed)};
  s.paths = {swf::Path{1, 0, 0, std::move(edges)}};
  return s;
}

// The ordinary square with one thing about it changed.
swf::Shape Square(void (*change)(swf::Shape&)) {
  swf::Shape s = Filled(Rect(-5, -5, 30, 30, 1).edges);
  change(s);
  return s;
}

struct Case {
  std::string name;
  swf::Shape shape;
  swf::Matrix toPixels = kTwipsToPixels;
  bool drawsInside = true;  // whether some pixel inside the clip must be painted
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const auto square = Rect(-5, -5, 30, 30, 1).edges;
  cases.push_back({"ordinary square", Filled(square)});
  cases.push_back({"NaN point", Filled({Line({-5, -5}, {kNaN, 3}), Line({kNaN, 3}, {30, 30}),
                                        Line({30, 30}, {-5, 30}), Line({-5, 30}, {-5, -5})})});
  cases.push_back(
      {"infinite point", Filled({Line({-5, -5}, {kInf, -kInf}), Line({kInf, -kInf}, {30, 30}),
                                 Line({30, 30}, {-5, -5})})});
  cases.push_back({"huge coordinates", Filled({Line({-1e300, -1e300}, {1e300, -1e300}),
                                               Line({1e300, -1e300}, {1e300, 1e300}),
                                               Line({1e300, 1e300}, {-1e300, -1e300})})});
  cases.push_back({"huge curve control point",
                   Filled({Curve({-5, -5}, {1e15, -3e14}, {30, 30}), Line({30, 30}, {-5, -5})})});
  cases.push_back({"nearly horizontal long edge",
                   Filled({Line({-1e9, 5}, {1e9, 5.0000001}), Line({1e9, 5.0000001}, {0, 12}),
                           Line({0, 12}, {-1e9, 5})})});
  cases.push_back({"zero matrix", Filled(square), {0, 0, 0, 0, 0, 0}, false});
  cases.push_back({"NaN matrix", Filled(square), {kNaN, 0, 0, 0.05, 0, 0}, false});
  cases.push_back({"huge matrix", Filled(square), {1e200, 0, 0, 1e200, -1e10, -1e10}});
  cases.push_back({"flat matrix", Filled(square), {0.05, 0, 0, 0, 0, 5}});
  cases.push_back({"widest stroke",
                   Square([](swf::Shape& s) { s.lines[0].width = 65535; }),
                   {100, 0, 0, 100, 0, 0}});
  cases.push_back({"gradient with singular matrix", Square([](swf::Shape& s) {
                     s.fills[0].kind = swf::FillKind::FocalGradient;
                     s.fills[0].gradient.focalPoint = kNaN;
                     s.fills[0].matrix = {0, 0, 0, 0, 0, 0};
                     s.fills[0].gradient.stops = {{0, kRed}, {255, kBlue}};
                   })});
  cases.push_back({"gradient without stops",
                   Square([](swf::Shape& s) { s.fills[0].kind = swf::FillKind::RadialGradient; }),
                   kTwipsToPixels, false});
  cases.push_back({"bitmap fill without bitmaps", Square([](swf::Shape& s) {
                     s.fills[0].kind = swf::FillKind::RepeatingBitmap;
                     s.fills[0].bitmapId = 0xFFFF;
                   }),
                   kTwipsToPixels, false});
  cases.push_back({"style indices out of range", Square([](swf::Shape& s) {
                     s.paths[0].fill0 = 0xFFFFFFFF;
                     s.paths[0].line = 0xFFFFFFFF;
                   }),
                   kTwipsToPixels, false});
  cases.push_back({"many long edges", ManyLongEdges(30000)});
  return cases;
}

TEST(RasterRobustness, HostileShapesStayInsideTheClip) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    for (bool bottomUp : {false, true}) {
      Surface surface(24, 24, bottomUp);
      surface.canvas.clip = {4, 5, 20, 18};
      const swf::DrawParams params = Params(c.toPixels);
      swf::DrawShape(surface.canvas, c.shape, params);
      swf::CoverageMask mask;
      mask.area = {4, 5, 20, 18};
      mask.coverage.assign(16 * 13, 0);
      swf::DrawShapeCoverage(mask, c.shape, params);
      (void)swf::ShapeContains(c.shape, c.toPixels, {10, 10});
      bool paintedInside = false;
      for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
          const bool inside = x >= 4 && x < 20 && y >= 5 && y < 18;
          if (!inside) {
            EXPECT_EQ(surface.At(x, y), kMarker) << x << "," << y;
          } else if (surface.At(x, y) != kMarker) {
            paintedInside = true;
          }
        }
      }
      EXPECT_EQ(paintedInside, c.drawsInside);
    }
  }
}

TEST(RasterRobustness, BadCanvasesAndMasksAreRefused) {
  const swf::Shape s = Filled(Rect(0, 0, 10, 10, 1).edges);
  swf::DrawParams params = Params();
  Surface surface(8, 8);
  // A clip reaching past the canvas is cut to it.
  surface.canvas.clip = {-100, -100, 100, 100};
  swf::DrawShape(surface.canvas, s, params);
  EXPECT_EQ(surface.At(7, 7), kRedPixel);
  // An inverted clip, a null base, or a mask whose buffer is too small draw nothing.
  Surface other(8, 8);
  other.canvas.clip = {6, 6, 2, 2};
  swf::DrawShape(other.canvas, s, params);
  other.canvas.clip = {0, 0, 8, 8};
  swf::Canvas nullCanvas = other.canvas;
  nullCanvas.base = nullptr;
  swf::DrawShape(nullCanvas, s, params);
  swf::CoverageMask shortMask;
  shortMask.area = {0, 0, 8, 8};
  shortMask.coverage.assign(10, 255);
  params.clip = &shortMask;
  swf::DrawShape(other.canvas, s, params);
  swf::DrawShapeCoverage(shortMask, s, params);
  for (uint32_t p : other.pixels) EXPECT_EQ(p, kMarker);
}

}  // namespace
