// Strokes: widths in twips scaled by the matrix, caps and joins, sampled at pixels whose
// coverage tells the styles apart.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/unit/raster/raster_test_support.h"

namespace {

using namespace rastertest;

enum class Seen { Untouched, Partial, Full };

Seen Classify(uint32_t p) {
  if (p == kMarker) return Seen::Untouched;
  return A(p) >= 250 ? Seen::Full : Seen::Partial;
}

struct Sample {
  int x, y;
  Seen seen;
};

struct StrokeCase {
  std::string name;
  swf::LineStyle line;
  swf::Path path;
  std::vector<Sample> samples;
  swf::Matrix toPixels = kTwipsToPixels;
};

swf::LineStyle Styled(uint16_t width, swf::CapStyle cap, swf::JoinStyle join, double miter = 3) {
  swf::LineStyle l = Pen(width, kBlue);
  l.startCap = l.endCap = cap;
  l.join = join;
  l.miterLimit = miter;
  return l;
}

swf::LineStyle Unscaled(swf::LineStyle l, bool noHScale, bool noVScale, bool hinted = false) {
  l.noHScale = noHScale;
  l.noVScale = noVScale;
  l.pixelHinting = hinted;
  return l;
}

const swf::Matrix kStretchedX{0.15, 0, 0, 0.05, 0, 0};

TEST(RasterStroke, WidthsCapsAndJoins) {
  using swf::CapStyle;
  using swf::JoinStyle;
  const swf::Path bar = Polyline({{10, 20}, {30, 20}}, 1);
  // A sharp peak at (20, 10): the outer corner of a 4 px line points straight up. A full miter
  // reaches y = 5.5, a miter cut at 1.5 half widths y = 7, a round join y = 8, a bevel y = 9.1.
  const swf::Path peak = Polyline({{10, 30}, {20, 10}, {30, 30}}, 1);
  const StrokeCase cases[] = {
      {"6 px wide, no cap",
       Styled(120, CapStyle::None, JoinStyle::Round),
       bar,
       {{20, 17, Seen::Full},
        {20, 22, Seen::Full},
        {20, 16, Seen::Untouched},
        {20, 23, Seen::Untouched},
        {10, 20, Seen::Full},
        {9, 20, Seen::Untouched},
        {30, 20, Seen::Untouched}}},
      {"scaled by the matrix",
       Styled(60, CapStyle::None, JoinStyle::Round),
       bar,
       {{20, 17, Seen::Full}, {20, 22, Seen::Full}, {20, 16, Seen::Untouched}},
       {0.1, 0, 0, 0.1, -20, -20}},
      {"hairline is one pixel",
       Styled(0, CapStyle::None, JoinStyle::Round),
       Polyline({{10, 20.5}, {30, 20.5}}, 1),
       {{20, 20, Seen::Full}, {20, 19, Seen::Untouched}, {20, 21, Seen::Untouched}}},
      {"hairline stays one pixel when scaled up",
       Styled(0, CapStyle::None, JoinStyle::Round),
       Polyline({{5, 10.25}, {15, 10.25}}, 1),
       {{20, 20, Seen::Full}, {20, 19, Seen::Untouched}, {20, 21, Seen::Untouched}},
       {0.1, 0, 0, 0.1, 0, 0}},  // twips to pixels at 2x
      // Stretched three times across: lines scale with the shape, so a line across the
      // stretch grows three times thicker and one along it does not.
      {"stretched across a vertical line", Styled(40, CapStyle::None, JoinStyle::Round),
       Polyline({{5, 5}, {5, 35}}, 1),
       {{12, 20, Seen::Full}, {17, 20, Seen::Full}, {11, 20, Seen::Untouched},
        {18, 20, Seen::Untouched}},
       kStretchedX},
      {"stretched along a horizontal line", Styled(40, CapStyle::None, JoinStyle::Round),
       Polyline({{2, 20}, {10, 20}}, 1),
       {{20, 19, Seen::Full}, {20, 20, Seen::Full}, {20, 18, Seen::Untouched},
        {20, 21, Seen::Untouched}},
       kStretchedX},
      {"scaled only vertically keeps its width across a horizontal stretch",
       Unscaled(Styled(40, CapStyle::None, JoinStyle::Round), true, false),
       Polyline({{5, 5}, {5, 35}}, 1),
       {{14, 20, Seen::Full}, {15, 20, Seen::Full}, {13, 20, Seen::Untouched},
        {16, 20, Seen::Untouched}},
       kStretchedX},
      {"pixel hinting centres a one-pixel line on a pixel row",
       Unscaled(Styled(20, CapStyle::None, JoinStyle::Round), false, false, true),
       Polyline({{10, 20.3}, {30, 20.3}}, 1),
       {{20, 20, Seen::Full}, {20, 19, Seen::Untouched}, {20, 21, Seen::Untouched}}},
      {"square cap",
       Styled(120, CapStyle::Square, JoinStyle::Round),
       bar,
       {{7, 17, Seen::Full}, {32, 22, Seen::Full}, {6, 20, Seen::Untouched}}},
      {"round cap",
       Styled(120, CapStyle::Round, JoinStyle::Round),
       bar,
       {{8, 20, Seen::Full},
        {7, 20, Seen::Partial},
        {7, 18, Seen::Partial},
        {7, 17, Seen::Untouched},  // the cap only grazes its corner, between the samples
        {6, 20, Seen::Untouched}}},
      {"miter join",
       Styled(80, CapStyle::None, JoinStyle::Miter, 3),
       peak,
       {{20, 6, Seen::Partial}, {20, 8, Seen::Full}, {20, 4, Seen::Untouched}}},
      {"miter cut at its limit",
       Styled(80, CapStyle::None, JoinStyle::Miter, 1.5),
       peak,
       {{20, 6, Seen::Untouched}, {20, 7, Seen::Partial}, {20, 8, Seen::Full}}},
      {"round join",
       Styled(80, CapStyle::None, JoinStyle::Round),
       peak,
       {{20, 7, Seen::Untouched}, {20, 8, Seen::Partial}, {20, 9, Seen::Full}}},
      {"bevel join",
       Styled(80, CapStyle::None, JoinStyle::Bevel),
       peak,
       {{20, 8, Seen::Untouched}, {20, 9, Seen::Full}, {20, 10, Seen::Full}}},
      {"closed outline joins its ends instead of capping",
       Styled(80, CapStyle::None, JoinStyle::Miter, 3),
       swf::Path{0, 0, 1, Rect(10, 10, 30, 30, 0).edges},
       {{8, 8, Seen::Full}, {31, 31, Seen::Full}, {20, 20, Seen::Untouched}}},
      {"zero-length line with round caps is a dot",
       Styled(120, CapStyle::Round, JoinStyle::Round),
       swf::Path{0, 0, 1, {Line({20, 20}, {20, 20})}},
       {{20, 20, Seen::Full}, {19, 19, Seen::Full}, {20, 24, Seen::Untouched}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    swf::Shape s;
    s.lines = {c.line};
    s.paths = {c.path};
    const Surface surface = Drawn(s, 40, 40, Params(c.toPixels));
    for (const Sample& sample : c.samples) {
      EXPECT_EQ(Classify(surface.At(sample.x, sample.y)), sample.seen)
          << "pixel " << sample.x << "," << sample.y << " = " << std::hex
          << surface.At(sample.x, sample.y);
    }
  }
}

TEST(RasterStroke, StrokesPaintOverFillsInRecordOrder) {
  swf::Shape s;
  s.fills = {Solid(kRed)};
  s.lines = {Pen(40, kBlue), Pen(40, {0, 255, 0, 255})};
  s.paths = {swf::Path{1, 0, 1, Rect(5, 5, 15, 15, 0).edges}, Polyline({{0, 10}, {20, 10}}, 2)};
  const Surface surface = Drawn(s, 20, 20);
  EXPECT_EQ(surface.At(8, 8), kRedPixel);    // fill inside
  EXPECT_EQ(surface.At(5, 8), kBluePixel);   // the outline over the fill's edge
  EXPECT_EQ(surface.At(5, 9), 0xFF00FF00u);  // the later path over the outline
  EXPECT_EQ(surface.At(2, 2), kMarker);
}

TEST(RasterStroke, CurvedStrokeKeepsItsWidth) {
  // One curve from (5, 35) to (35, 5) bending towards (5, 5): pixels on it are covered, pixels
  // 4 px off it along the normal are not, all along its length.
  swf::Shape s;
  s.lines = {Pen(60, kBlue)};  // 3 px
  s.paths = {swf::Path{0, 0, 1, {Curve({5, 35}, {5, 5}, {35, 5})}}};
  const Surface surface = Drawn(s, 40, 40);
  for (int i = 0; i <= 10; ++i) {
    const double t = i / 10.0, u = 1 - t, x = 5 + 30 * t * t, y = 5 + 30 * u * u;
    EXPECT_EQ(Classify(surface.At(int(x), int(y))), Seen::Full) << t;
    const double n = std::hypot(t, u);
    EXPECT_EQ(surface.At(int(x - 4 * u / n), int(y - 4 * t / n)), kMarker) << t;
  }
}

}  // namespace
