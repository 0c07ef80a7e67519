// Gradients and bitmap fills, sampled at pixels where the expected colour is known.
#include <gtest/gtest.h>

#include <string>

#include "player/raster/paint.h"
#include "tests/unit/raster/raster_test_support.h"

namespace {

using namespace rastertest;
using swf::FillKind;
using swf::SpreadMode;

constexpr double kSquare = 32768;  // the gradient square's width in gradient units

// Maps the gradient square onto a `size`-pixel square whose centre is (cx, cy) in pixels.
swf::Matrix GradientOnto(double size, double cx, double cy) {
  const double k = size * 20 / kSquare;
  return {k, 0, 0, k, cx * 20, cy * 20};
}

swf::FillStyle GradientFill(FillKind kind, SpreadMode spread, swf::Matrix m, double focal = 0,
                            std::vector<swf::GradientStop> stops = {{0, {0, 0, 0, 255}},
                                                                    {255, {255, 255, 255, 255}}}) {
  swf::FillStyle f;
  f.kind = kind;
  f.matrix = m;
  f.gradient.spread = spread;
  f.gradient.focalPoint = focal;
  f.gradient.stops = std::move(stops);
  return f;
}

uint32_t DrawAndRead(const swf::FillStyle& fill, int w, int h, int x, int y,
                     const swf::BitmapSource* bitmaps = nullptr, swf::ColorTransform ct = {}) {
  swf::Shape s;
  s.fills = {fill};
  s.paths = {Rect(0, 0, w, h, 1)};
  swf::DrawParams params = Params();
  params.bitmaps = bitmaps;
  params.colors = ct;
  return Drawn(s, w, h, params).At(x, y);
}

TEST(RasterGradient, KindsAndSpreadsAtSampledPoints) {
  const swf::Matrix whole = GradientOnto(64, 32, 32);  // the square over the 64 px canvas
  const swf::Matrix left = GradientOnto(32, 16, 16);   // the square over x = 0..32
  const double r = 64 * 20 / kSquare;
  const struct {
    std::string name;
    swf::FillStyle fill;
    int x, y;
    int grey;  // expected red = green = blue, +-3, opaque
  } cases[] = {
      {"linear start", GradientFill(FillKind::LinearGradient, SpreadMode::Pad, whole), 0, 5, 2},
      {"linear middle", GradientFill(FillKind::LinearGradient, SpreadMode::Pad, whole), 32, 5, 130},
      {"linear end", GradientFill(FillKind::LinearGradient, SpreadMode::Pad, whole), 63, 5, 254},
      {"pad beyond the end", GradientFill(FillKind::LinearGradient, SpreadMode::Pad, left), 48, 5,
       255},
      {"repeat beyond the end", GradientFill(FillKind::LinearGradient, SpreadMode::Repeat, left),
       40, 5, 68},
      {"reflect beyond the end", GradientFill(FillKind::LinearGradient, SpreadMode::Reflect, left),
       40, 5, 187},
      {"rotated linear runs along y",
       GradientFill(FillKind::LinearGradient, SpreadMode::Pad, {0, r, -r, 0, 640, 640}), 5, 48,
       194},
      {"radial centre", GradientFill(FillKind::RadialGradient, SpreadMode::Pad, whole), 32, 32, 5},
      {"radial half way", GradientFill(FillKind::RadialGradient, SpreadMode::Pad, whole), 48, 32,
       130},
      {"radial outside pads", GradientFill(FillKind::RadialGradient, SpreadMode::Pad, whole), 1, 1,
       255},
      {"radial repeat",
       GradientFill(FillKind::RadialGradient, SpreadMode::Repeat, GradientOnto(32, 32, 32)), 56, 32,
       136},
      {"focal point is the start",
       GradientFill(FillKind::FocalGradient, SpreadMode::Pad, whole, 0.5), 47, 32, 5},
      {"focal: centre a third of the way",
       GradientFill(FillKind::FocalGradient, SpreadMode::Pad, whole, 0.5), 32, 32, 82},
      {"focal: rim reached", GradientFill(FillKind::FocalGradient, SpreadMode::Pad, whole, 0.5), 63,
       32, 250},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t p = DrawAndRead(c.fill, 64, 64, c.x, c.y);
    EXPECT_EQ(A(p), 255);
    EXPECT_TRUE(PixelNear(p, 0xFF000000u | uint32_t(c.grey) * 0x010101u, 3));
  }
}

TEST(RasterGradient, TableFollowsStoredStops) {
  const swf::Rgba red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255},
      black{0, 0, 0, 255}, cyan{0, 255, 255, 255}, magenta{255, 0, 255, 255},
      yellow{255, 255, 0, 255};
  auto px = [](swf::Rgba c) { return uint32_t(c.a) << 24 | c.r << 16 | c.g << 8 | c.b; };
  struct Entry {
    int index;
    swf::Rgba color;
    int tolerance;
  };
  const struct {
    std::string name;
    swf::InterpolationMode mode;
    std::vector<swf::GradientStop> stops;
    std::vector<Entry> entries;
  } cases[] = {
      {"ordinary",
       swf::InterpolationMode::Normal,
       {{0, red}, {255, blue}},
       {{0, red, 0}, {255, blue, 0}, {128, {127, 0, 128, 255}, 1}}},
      {"single stop is a solid colour",
       swf::InterpolationMode::Normal,
       {{100, green}},
       {{0, green, 0}, {255, green, 0}}},
      {"linear RGB mixes brighter",
       swf::InterpolationMode::Linear,
       {{0, red}, {255, blue}},
       {{128, {187, 0, 188, 255}, 2}}},
      // Dark channels lose precision in the 8-bit linear table, stops included.
      {"linear RGB through 8-bit linear light",
       swf::InterpolationMode::Linear,
       {{0, {255, 19, 25, 255}}, {255, {14, 20, 255, 255}}},
       {{0, {255, 13, 22, 255}, 0}, {255, {13, 13, 255, 255}, 0}}},
      // A translucent stop is scaled by its alpha in linear light before it is drawn.
      {"linear RGB darkens translucent stops",
       swf::InterpolationMode::Linear,
       {{0, red}, {255, {0, 0, 255, 102}}},
       {{0, red, 0}, {255, {0, 0, 68, 102}, 1}}},
      // Stored out of order; every entry moves past at most one stop, in stored order.
      {"unordered ratios",
       swf::InterpolationMode::Normal,
       {{31, red}, {80, green}, {50, cyan}, {100, magenta}, {200, blue}, {150, yellow}},
       {{20, red, 0},
        {80, green, 0},
        {81, {158, 97, 255, 255}, 2},
        {100, magenta, 0},
        {200, blue, 0},
        {201, yellow, 0},
        {255, yellow, 0}}},
      // Stops sharing a ratio each get an entry of their own.
      {"equal ratios",
       swf::InterpolationMode::Normal,
       {{6, red}, {6, green}, {6, blue}, {6, black}, {150, red}},
       {{6, red, 0}, {7, green, 0}, {8, blue, 0}, {9, {5, 0, 0, 255}, 1}, {150, red, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    swf::raster::GradientTable table;
    swf::raster::BuildGradientTable({SpreadMode::Pad, c.mode, 0, c.stops}, {}, table);
    for (const Entry& e : c.entries) {
      EXPECT_TRUE(PixelNear(table[e.index], px(e.color), e.tolerance)) << e.index;
    }
  }
}

TEST(RasterGradient, TransparentStopsAndColorTransform) {
  // Alpha is interpolated straight and premultiplied afterwards; the transform applies first.
  const auto fill =
      GradientFill(FillKind::LinearGradient, SpreadMode::Pad, GradientOnto(64, 32, 32), 0,
                   {{0, {255, 255, 255, 0}}, {255, {255, 255, 255, 255}}});
  EXPECT_TRUE(PixelNear(DrawAndRead(fill, 64, 4, 32, 1), 0x82828282, 3));
  EXPECT_TRUE(PixelNear(DrawAndRead(fill, 64, 4, 63, 1, nullptr, {256, 0, 0, 256, 0, 0, 0, 0}),
                        0xFEFE0000, 2));
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

TEST(RasterBitmap, RepeatClampSmoothingAndColorTransform) {
  const Bitmaps bitmaps;
  auto fill = [](FillKind kind, uint16_t id = 7) {
    swf::FillStyle f;
    f.kind = kind;
    f.bitmapId = id;
    f.matrix = {80, 0, 0, 80, 0, 0};  // each bitmap pixel 4 screen pixels wide
    return f;
  };
  const swf::FillStyle nearest = fill(FillKind::NonSmoothedRepeatingBitmap);
  const struct {
    std::string name;
    swf::FillStyle fill;
    int x, y;
    uint32_t expected;
    swf::ColorTransform ct = {};
  } cases[] = {
      {"nearest, first texel", nearest, 1, 1, 0xFFFF0000},
      {"nearest, second texel", nearest, 5, 1, 0xFF00FF00},
      {"nearest, second row", nearest, 1, 5, 0xFF0000FF},
      {"nearest at a texel edge stays pure", nearest, 3, 1, 0xFFFF0000},
      {"repeat wraps", nearest, 9, 1, 0xFFFF0000},
      {"repeat wraps both ways", nearest, 13, 13, 0xFFFFFFFF},
      {"clipped clamps to the edge", fill(FillKind::NonSmoothedClippedBitmap), 9, 1, 0xFF00FF00},
      {"clipped clamps the corner", fill(FillKind::NonSmoothedClippedBitmap), 13, 13, 0xFFFFFFFF},
      {"smoothed centre of a texel", fill(FillKind::ClippedBitmap), 1, 1, 0xFFFF0000},
      {"smoothed texel edge blends", fill(FillKind::ClippedBitmap), 3, 1, 0xFF9F6000},
      // Wraps both ways: red from the left column, the blue-white row from above.
      {"smoothed repeat blends across the wrap", fill(FillKind::RepeatingBitmap), 7, 1, 0xFF689F20},
      {"unknown bitmap draws nothing", fill(FillKind::RepeatingBitmap, 9), 1, 1, kMarker},
      {"faded", nearest, 1, 1, 0x7F7F0000, {256, 256, 256, 128, 0, 0, 0, 0}},
      {"tinted: green plus full red",
       nearest,
       5,
       1,
       0xFFFFFF00,
       {256, 256, 256, 256, 255, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(PixelNear(DrawAndRead(c.fill, 16, 16, c.x, c.y, &bitmaps, c.ct), c.expected, 2));
  }
  // Without a bitmap source nothing is drawn either.
  EXPECT_EQ(DrawAndRead(fill(FillKind::RepeatingBitmap), 16, 16, 1, 1), kMarker);
}

}  // namespace
