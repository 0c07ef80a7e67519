// Strokes: widths in twips scaled by the matrix, caps and joins, sampled at pixels whose
// coverage tells the styles apart.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "player/render.h"
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
  swf::Matrix toPixels;
  std::vector<Sample> samples;
};

swf::LineStyle Styled(uint16_t width, swf::CapStyle cap, swf::JoinStyle join, double miter = 3) {
  swf::LineStyle l = Pen(width, kBlue);
  l.startCap = l.endCap = cap;
  l.join = join;
  l.miterLimit = miter;
  return l;
}

const swf::Matrix kDouble{0.1, 0, 0, 0.1, 0, 0};  // twips to pixels at 2x

TEST(RasterStroke, WidthsCapsAndJoins) {
  using swf::CapStyle;
  using swf::JoinStyle;
  const swf::Path bar = Polyline({{10, 20}, {30, 20}}, 1);
  // A sharp peak at (20, 10): the outer corner of a 4 px line points straight up. A full miter
  // reaches y = 5.5, a miter cut at 1.5 half widths y = 7, a round join y = 8, a bevel y = 9.1.
  const swf::Path peak = Polyline({{10, 30}, {20, 10}, {30, 30}}, 1);
  const StrokeCase cases[] = {
      {"6 px wide",
       Styled(120, CapStyle::None, JoinStyle::Round),
       bar,
       kTwipsToPixels,
       {{20, 17, Seen::Full},
        {20, 22, Seen::Full},
        {20, 16, Seen::Untouched},
        {20, 23, Seen::Untouched}}},
      {"scaled by the matrix",
       Styled(60, CapStyle::None, JoinStyle::Round),
       bar,
       {0.1, 0, 0, 0.1, -20, -20},
       {{20, 17, Seen::Full}, {20, 22, Seen::Full}, {20, 16, Seen::Untouched}}},
      {"hairline is one pixel",
       Styled(0, CapStyle::None, JoinStyle::Round),
       Polyline({{10, 20.5}, {30, 20.5}}, 1),
       kTwipsToPixels,
       {{20, 20, Seen::Full}, {20, 19, Seen::Untouched}, {20, 21, Seen::Untouched}}},
      {"hairline stays one pixel when scaled up",
       Styled(0, CapStyle::None, JoinStyle::Round),
       Polyline({{5, 10.25}, {15, 10.25}}, 1),
       kDouble,
       {{20, 20, Seen::Full}, {20, 19, Seen::Untouched}, {20, 21, Seen::Untouched}}},
      {"no cap",
       Styled(120, CapStyle::None, JoinStyle::Round),
       bar,
       kTwipsToPixels,
       {{10, 20, Seen::Full}, {9, 20, Seen::Untouched}, {30, 20, Seen::Untouched}}},
      {"square cap",
       Styled(120, CapStyle::Square, JoinStyle::Round),
       bar,
       kTwipsToPixels,
       {{7, 17, Seen::Full}, {32, 22, Seen::Full}, {6, 20, Seen::Untouched}}},
      {"round cap",
       Styled(120, CapStyle::Round, JoinStyle::Round),
       bar,
       kTwipsToPixels,
       {{8, 20, Seen::Full},
        {7, 20, Seen::Partial},
        {7, 17, Seen::Partial},
        {6, 20, Seen::Untouched}}},
      {"miter join",
       Styled(80, CapStyle::None, JoinStyle::Miter, 3),
       peak,
       kTwipsToPixels,
       {{20, 6, Seen::Partial}, {20, 8, Seen::Full}, {20, 4, Seen::Untouched}}},
      {"miter cut at its limit",
       Styled(80, CapStyle::None, JoinStyle::Miter, 1.5),
       peak,
       kTwipsToPixels,
       {{20, 6, Seen::Untouched}, {20, 7, Seen::Partial}, {20, 8, Seen::Full}}},
      {"round join",
       Styled(80, CapStyle::None, JoinStyle::Round),
       peak,
       kTwipsToPixels,
       {{20, 7, Seen::Untouched}, {20, 8, Seen::Partial}, {20, 9, Seen::Full}}},
      {"bevel join",
       Styled(80, CapStyle::None, JoinStyle::Bevel),
       peak,
       kTwipsToPixels,
       {{20, 8, Seen::Untouched}, {20, 9, Seen::Partial}, {20, 10, Seen::Full}}},
      {"closed outline joins its ends instead of capping",
       Styled(80, CapStyle::None, JoinStyle::Miter, 3),
       swf::Path{0, 0, 1, Rect(10, 10, 30, 30, 0).edges},
       kTwipsToPixels,
       {{8, 8, Seen::Full}, {31, 31, Seen::Full}, {20, 20, Seen::Untouched}}},
      {"zero-length line with round caps is a dot",
       Styled(120, CapStyle::Round, JoinStyle::Round),
       swf::Path{0, 0, 1, {Line({20, 20}, {20, 20})}},
       kTwipsToPixels,
       {{20, 20, Seen::Full}, {19, 19, Seen::Full}, {20, 24, Seen::Untouched}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    swf::Shape s;
    s.lines = {c.line};
    s.paths = {c.path};
    Surface surface(40, 40);
    swf::DrawParams params;
    params.toPixels = c.toPixels;
    swf::DrawShape(surface.canvas, s, params);
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
  swf::LineStyle green = Pen(40, {0, 255, 0, 255});
  s.lines = {Pen(40, kBlue), green};
  s.paths = {swf::Path{1, 0, 1, Rect(5, 5, 15, 15, 0).edges}, Polyline({{0, 10}, {20, 10}}, 2)};
  Surface surface(20, 20);
  swf::DrawParams params;
  params.toPixels = kTwipsToPixels;
  swf::DrawShape(surface.canvas, s, params);
  EXPECT_EQ(surface.At(8, 8), kRedPixel);    // fill inside
  EXPECT_EQ(surface.At(5, 8), kBluePixel);   // the outline over the fill's edge
  EXPECT_EQ(surface.At(5, 9), 0xFF00FF00u);  // the later path over the outline
  EXPECT_EQ(surface.At(2, 9), 0xFF00FF00u);
  EXPECT_EQ(surface.At(2, 2), kMarker);
}

TEST(RasterStroke, CurvedStrokeKeepsItsWidth) {
  // A quarter-ish arc drawn as one curve; pixels on the curve are covered, pixels a few pixels
  // off it are not, all along its length.
  swf::Shape s;
  s.lines = {Pen(60, kBlue)};  // 3 px
  s.paths = {swf::Path{0, 0, 1, {Curve({5, 35}, {5, 5}, {35, 5})}}};
  Surface surface(40, 40);
  swf::DrawParams params;
  params.toPixels = kTwipsToPixels;
  swf::DrawShape(surface.canvas, s, params);
  for (int i = 0; i <= 10; ++i) {
    const double t = i / 10.0, u = 1 - t;
    const double x = u * u * 5 + 2 * u * t * 5 + t * t * 35;
    const double y = u * u * 35 + 2 * u * t * 5 + t * t * 5;
    EXPECT_EQ(Classify(surface.At(int(x), int(y))), Seen::Full) << t;
    // Off the curve by 4 px along the normal, pointing away from the control point.
    const double dx = 2 * u * (5 - 5) + 2 * t * (35 - 5), dy = 2 * u * (5 - 35) + 2 * t * (5 - 5);
    const double len = std::sqrt(dx * dx + dy * dy);
    const double ox = x + 4 * dy / len, oy = y - 4 * dx / len;
    if (ox >= 0 && oy >= 0 && ox < 40 && oy < 40) {
      EXPECT_EQ(surface.At(int(ox), int(oy)), kMarker) << t;
    }
  }
}

}  // namespace
