// Gradients and bitmap fills, sampled at pixels where the expected colour is known.
#include <gtest/gtest.h>

#include <string>

#include "player/raster/paint.h"
#include "player/render.h"
#include "tests/unit/raster/raster_test_support.h"

namespace {

using namespace rastertest;

constexpr double kSquare = 32768;  // the gradient square's width in gradient units

// Maps the gradient square onto a `size`-pixel square whose centre is (cx, cy) in pixels.
swf::Matrix GradientOnto(double size, double cx, double cy) {
  const double k = size * 20 / kSquare;
  return {k, 0, 0, k, cx * 20, cy * 20};
}

swf::FillStyle GradientFill(swf::FillKind kind, swf::SpreadMode spread, swf::Matrix m,
                            std::vector<swf::GradientStop> stops, double focal = 0,
                            swf::InterpolationMode mode = swf::InterpolationMode::Normal) {
  swf::FillStyle f;
  f.kind = kind;
  f.matrix = m;
  f.gradient.spread = spread;
  f.gradient.interpolation = mode;
  f.gradient.focalPoint = focal;
  f.gradient.stops = std::move(stops);
  return f;
}

const std::vector<swf::GradientStop> kBlackToWhite = {{0, {0, 0, 0, 255}},
                                                      {255, {255, 255, 255, 255}}};

uint32_t DrawAndRead(const swf::FillStyle& fill, int w, int h, int x, int y,
                     const swf::BitmapSource* bitmaps = nullptr, swf::ColorTransform ct = {}) {
  swf::Shape s;
  s.fills = {fill};
  s.paths = {Rect(0, 0, w, h, 1)};
  Surface surface(w, h);
  swf::DrawParams params;
  params.toPixels = kTwipsToPixels;
  params.bitmaps = bitmaps;
  params.colors = ct;
  swf::DrawShape(surface.canvas, s, params);
  return surface.At(x, y);
}

TEST(RasterGradient, KindsAndSpreadsAtSampledPoints) {
  using swf::FillKind;
  using swf::SpreadMode;
  struct Case {
    std::string name;
    swf::FillStyle fill;
    int x, y;
    int grey;  // expected red = green = blue, +-3
  } const cases[] = {
      {"linear start",
       GradientFill(FillKind::LinearGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite),
       0, 5, 2},
      {"linear middle",
       GradientFill(FillKind::LinearGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite),
       32, 5, 130},
      {"linear end",
       GradientFill(FillKind::LinearGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite),
       63, 5, 254},
      // The gradient square over x = 0..32 of a 64 px wide shape.
      {"pad beyond the end",
       GradientFill(FillKind::LinearGradient, SpreadMode::Pad, GradientOnto(32, 16, 16),
                    kBlackToWhite),
       48, 5, 255},
      {"repeat beyond the end",
       GradientFill(FillKind::LinearGradient, SpreadMode::Repeat, GradientOnto(32, 16, 16),
                    kBlackToWhite),
       40, 5, 68},
      {"reflect beyond the end",
       GradientFill(FillKind::LinearGradient, SpreadMode::Reflect, GradientOnto(32, 16, 16),
                    kBlackToWhite),
       40, 5, 187},
      {"rotated linear runs along y",
       GradientFill(FillKind::LinearGradient, SpreadMode::Pad,
                    {0, 64 * 20 / kSquare, -64 * 20 / kSquare, 0, 640, 640}, kBlackToWhite),
       5, 48, 194},
      {"radial centre",
       GradientFill(FillKind::RadialGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite),
       32, 32, 5},
      {"radial half way",
       GradientFill(FillKind::RadialGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite),
       48, 32, 130},
      {"radial outside pads",
       GradientFill(FillKind::RadialGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite),
       1, 1, 255},
      {"radial repeat",
       GradientFill(FillKind::RadialGradient, SpreadMode::Repeat, GradientOnto(32, 32, 32),
                    kBlackToWhite),
       56, 32, 136},
      {"focal point is the start",
       GradientFill(FillKind::FocalGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite, 0.5),
       47, 32, 5},
      {"focal: centre a third of the way",
       GradientFill(FillKind::FocalGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite, 0.5),
       32, 32, 82},
      {"focal: rim reached",
       GradientFill(FillKind::FocalGradient, SpreadMode::Pad, GradientOnto(64, 32, 32),
                    kBlackToWhite, 0.5),
       63, 32, 250},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t p = DrawAndRead(c.fill, 64, 64, c.x, c.y);
    EXPECT_EQ(A(p), 255);
    EXPECT_NEAR(R(p), c.grey, 3);
    EXPECT_NEAR(G(p), c.grey, 3);
    EXPECT_NEAR(B(p), c.grey, 3);
  }
}

TEST(RasterGradient, TableFollowsStoredStops) {
  const swf::Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255},
      black{0, 0, 0, 255}, cyan{0, 255, 255, 255}, magenta{255, 0, 255, 255},
      yellow{255, 255, 0, 255};
  struct Entry {
    int index;
    swf::Rgba color;
    int tolerance;
  };
  struct Case {
    std::string name;
    swf::Gradient gradient;
    std::vector<Entry> entries;
  } const cases[] = {
      {"ordinary",
       {swf::SpreadMode::Pad, swf::InterpolationMode::Normal, 0, {{0, red}, {255, blue}}},
       {{0, red, 0}, {255, blue, 0}, {128, {127, 0, 128, 255}, 1}}},
      {"single stop is a solid colour",
       {swf::SpreadMode::Pad, swf::InterpolationMode::Normal, 0, {{100, green}}},
       {{0, green, 0}, {255, green, 0}}},
      {"linear RGB mixes brighter",
       {swf::SpreadMode::Pad, swf::InterpolationMode::Linear, 0, {{0, red}, {255, blue}}},
       {{128, {187, 0, 188, 255}, 2}}},
      // Stored out of order; every entry moves past at most one stop, in stored order.
      {"unordered ratios",
       {swf::SpreadMode::Pad,
        swf::InterpolationMode::Normal,
        0,
        {{31, red}, {80, green}, {50, cyan}, {100, magenta}, {200, blue}, {150, yellow}}},
       {{20, red, 0},
        {80, green, 0},
        {81, {158, 97, 255, 255}, 2},
        {100, magenta, 0},
        {200, blue, 0},
        {201, yellow, 0},
        {255, yellow, 0}}},
      // Stops sharing a ratio each get an entry of their own.
      {"equal ratios",
       {swf::SpreadMode::Pad,
        swf::InterpolationMode::Normal,
        0,
        {{6, red}, {6, green}, {6, blue}, {6, black}, {150, red}}},
       {{0, red, 0},
        {6, red, 0},
        {7, green, 0},
        {8, blue, 0},
        {9, {5, 0, 0, 255}, 1},
        {150, red, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    swf::raster::GradientTable table;
    swf::raster::BuildGradientTable(c.gradient, {}, table);
    for (const Entry& e : c.entries) {
      const uint32_t p = table[e.index];
      EXPECT_NEAR(R(p), e.color.r, e.tolerance) << e.index;
      EXPECT_NEAR(G(p), e.color.g, e.tolerance) << e.index;
      EXPECT_NEAR(B(p), e.color.b, e.tolerance) << e.index;
      EXPECT_EQ(A(p), e.color.a) << e.index;
    }
  }
}

TEST(RasterGradient, TransparentStopsAndColorTransform) {
  // Alpha is interpolated straight and premultiplied afterwards; the transform applies first.
  const auto fill =
      GradientFill(swf::FillKind::LinearGradient, swf::SpreadMode::Pad, GradientOnto(64, 32, 32),
                   {{0, {255, 255, 255, 0}}, {255, {255, 255, 255, 255}}});
  const uint32_t mid = DrawAndRead(fill, 64, 4, 32, 1);
  EXPECT_NEAR(A(mid), 130, 3);
  EXPECT_NEAR(R(mid), 130, 3);
  const uint32_t tinted = DrawAndRead(fill, 64, 4, 63, 1, nullptr, {256, 0, 0, 256, 0, 0, 0, 0});
  EXPECT_NEAR(A(tinted), 254, 2);
  EXPECT_NEAR(R(tinted), 254, 2);
  EXPECT_EQ(G(tinted), 0);
  // No stops at all: nothing to paint, nothing touched.
  swf::FillStyle empty = fill;
  empty.gradient.stops.clear();
  EXPECT_EQ(DrawAndRead(empty, 8, 8, 4, 4), kMarker);
}

class Bitmaps : public swf::BitmapSource {
 public:
  const swf::Bitmap* FindBitmap(uint16_t id) const override { return id == 7 ? &checker : nullptr; }
  // Red, green / blue, white: premultiplied, alpha in the top byte.
  swf::Bitmap checker{2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}};
};

TEST(RasterBitmap, RepeatClampAndSmoothing) {
  using swf::FillKind;
  Bitmaps bitmaps;
  auto fill = [](FillKind kind, uint16_t id = 7) {
    swf::FillStyle f;
    f.kind = kind;
    f.bitmapId = id;
    f.matrix = {80, 0, 0, 80, 0, 0};  // each bitmap pixel 4 screen pixels wide
    return f;
  };
  struct Case {
    std::string name;
    swf::FillStyle fill;
    int x, y;
    uint32_t expected;
  } const cases[] = {
      {"nearest, first texel", fill(FillKind::NonSmoothedRepeatingBitmap), 1, 1, 0xFFFF0000},
      {"nearest, second texel", fill(FillKind::NonSmoothedRepeatingBitmap), 5, 1, 0xFF00FF00},
      {"nearest, second row", fill(FillKind::NonSmoothedRepeatingBitmap), 1, 5, 0xFF0000FF},
      {"nearest at a texel edge stays pure", fill(FillKind::NonSmoothedRepeatingBitmap), 3, 1,
       0xFFFF0000},
      {"repeat wraps", fill(FillKind::NonSmoothedRepeatingBitmap), 9, 1, 0xFFFF0000},
      {"repeat wraps both ways", fill(FillKind::NonSmoothedRepeatingBitmap), 13, 13, 0xFFFFFFFF},
      {"clipped clamps to the edge", fill(FillKind::NonSmoothedClippedBitmap), 9, 1, 0xFF00FF00},
      {"clipped clamps the corner", fill(FillKind::NonSmoothedClippedBitmap), 13, 13, 0xFFFFFFFF},
      {"smoothed centre of a texel", fill(FillKind::ClippedBitmap), 1, 1, 0xFFFF0000},
      {"smoothed texel edge blends", fill(FillKind::ClippedBitmap), 3, 1, 0xFF9F6000},
      // Wraps both ways: red from the left column, the blue-white row from above.
      {"smoothed repeat blends across the wrap", fill(FillKind::RepeatingBitmap), 7, 1, 0xFF689F20},
      {"unknown bitmap draws nothing", fill(FillKind::RepeatingBitmap, 9), 1, 1, kMarker},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t p = DrawAndRead(c.fill, 16, 16, c.x, c.y, &bitmaps);
    EXPECT_NEAR(A(p), A(c.expected), 2);
    EXPECT_NEAR(R(p), R(c.expected), 2);
    EXPECT_NEAR(G(p), G(c.expected), 2);
    EXPECT_NEAR(B(p), B(c.expected), 2);
  }
  // Without a bitmap source nothing is drawn either.
  EXPECT_EQ(DrawAndRead(fill(FillKind::RepeatingBitmap), 16, 16, 1, 1), kMarker);
}

TEST(RasterBitmap, ColorTransformAppliesToBitmapPixels) {
  Bitmaps bitmaps;
  swf::FillStyle f;
  f.kind = swf::FillKind::NonSmoothedRepeatingBitmap;
  f.bitmapId = 7;
  f.matrix = {80, 0, 0, 80, 0, 0};
  const uint32_t faded = DrawAndRead(f, 16, 16, 1, 1, &bitmaps, {256, 256, 256, 128, 0, 0, 0, 0});
  EXPECT_NEAR(A(faded), 127, 1);
  EXPECT_NEAR(R(faded), 127, 1);
  const uint32_t tinted =
      DrawAndRead(f, 16, 16, 5, 1, &bitmaps, {256, 256, 256, 256, 255, 0, 0, 0});
  EXPECT_EQ(tinted, 0xFFFFFF00u);  // green plus full red
}

}  // namespace
