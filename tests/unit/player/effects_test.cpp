// Blend modes, filters and morph shapes: what PlaceObject3 and DefineMorphShape carry, and
// what the composited frame looks like.
#include <gtest/gtest.h>

#include <memory>

#include "player/player.h"
#include "player/raster/blend.h"
#include "player/raster/filters.h"
#include "tests/unit/pixel_support.h"
#include "tools/swf_builder.h"

namespace {

using pixeltest::Surface;
using swf::BlendMode;

swfb::Movie Stage() {
  swfb::MovieHeader header;
  header.stage = {0, 2000, 0, 2000};  // 100 x 100 pixels
  swfb::Movie m(header);
  m.SetBackgroundColor({255, 255, 255, 255});
  return m;
}

uint16_t Square(swfb::Movie& m, swf::Rgba color, int32_t x0, int32_t x1) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid(color)));
  s.Rectangle({x0, x1, 400, 1600});
  return m.DefineShape(s, 3);
}

std::unique_ptr<swf::Player> Loaded(const swfb::Movie& m) {
  auto p = std::make_unique<swf::Player>();
  const swf::MovieError e = p->Load(m.Build());
  EXPECT_TRUE(e.Ok()) << swf::ErrorKindName(e.kind) << " in tag " << e.tag;
  return p;
}

Surface Render(const swf::Player& player) {
  Surface s(100, 100);
  player.Render(s.canvas, swf::RenderMode::Opaque, swf::ScaleMode::ShowAll, 100, 100);
  return s;
}

TEST(Effects, PlaceObject3CarriesFiltersBlendModeAndCaching) {
  swfb::Movie m = Stage();
  swfb::Place p;
  p.characterId = Square(m, {255, 0, 0, 255}, 400, 1600);
  p.blendMode = 3;
  p.cacheAsBitmap = 1;
  p.filters = swfb::EncodeEveryFilter();
  m.PlaceObject3(p).ShowFrame();
  // A damaged filter list (an unknown kind) keeps the placement and drops the effects.
  p.depth = 2;
  p.filters = std::vector<uint8_t>{1, 9};
  m.PlaceObject3(p).ShowFrame();
  auto player = Loaded(m);
  player->Tick();
  const auto& children = player->displayList().Root().children;
  ASSERT_EQ(children.size(), 2u);
  const swf::DisplayObject& first = *children.at(1);
  EXPECT_EQ(first.blendMode, BlendMode::Multiply);
  EXPECT_TRUE(first.cacheAsBitmap);
  ASSERT_EQ(first.filters.size(), 8u);
  const int kinds[] = {0, 1, 2, 3, 4, 7, 5, 6};  // as EncodeEveryFilter writes them
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(static_cast<int>(first.filters[i].kind), kinds[i]);
  const auto& f = first.filters;
  EXPECT_NEAR(f[0].distance, 5, 1e-6);
  EXPECT_EQ(f[0].passes, 2);
  EXPECT_EQ(f[1].passes, 3);
  EXPECT_NEAR(f[1].blurX, 6, 1e-6);
  EXPECT_NEAR(f[2].strength, 2, 1e-6);
  EXPECT_EQ(f[3].highlight.g, 255);
  EXPECT_TRUE(f[3].onTop);
  EXPECT_EQ(f[4].stops.size(), 2u);
  EXPECT_EQ(f[5].stops.size(), 2u);
  EXPECT_EQ(f[6].kernel.size(), 9u);
  EXPECT_NEAR(f[6].divisor, 9, 1e-6);
  EXPECT_EQ(f[7].matrix[18], 1);
  EXPECT_TRUE(children.at(2)->filters.empty());
}

TEST(Effects, BlendModesMixWithWhatLiesBeneath) {
  const uint32_t grey = 0xFF808080, red = 0xFFFF0000, halfRed = 0x80800000;
  const struct {
    BlendMode mode;
    uint32_t dst, src, want;
  } cases[] = {
      {BlendMode::Normal, grey, halfRed, 0xFFC04040},
      {BlendMode::Multiply, grey, red, 0xFF800000},
      {BlendMode::Screen, grey, red, 0xFFFF8080},
      {BlendMode::Lighten, grey, red, 0xFFFF8080},
      {BlendMode::Darken, grey, red, 0xFF800000},
      {BlendMode::Difference, grey, red, 0xFF7F8080},
      {BlendMode::Add, grey, red, 0xFFFF8080},
      {BlendMode::Subtract, grey, red, 0xFF008080},
      {BlendMode::Invert, grey, halfRed, 0xFF808080},  // mid-grey is its own inverse
      {BlendMode::Alpha, grey, halfRed, 0x80404040},
      {BlendMode::Erase, grey, halfRed, 0x7F404040},
      {BlendMode::Hardlight, grey, red, 0xFFFF0000},
      {BlendMode::Overlay, 0xFF000000, red, 0xFF000000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(swf::raster::BlendPixel(c.dst, c.src, c.mode), c.want)
        << "mode " << static_cast<int>(c.mode);
  }
}

TEST(Effects, BlendModeAppliesToTheWholeObjectOverTheStage) {
  swfb::Movie m = Stage();
  swfb::Place under;
  under.characterId = Square(m, {0, 0, 255, 255}, 0, 1000);
  m.PlaceObject2(under);
  swfb::Place over;
  over.depth = 2;
  over.characterId = Square(m, {255, 0, 0, 255}, 600, 1400);
  over.blendMode = static_cast<uint8_t>(BlendMode::Difference);
  m.PlaceObject3(over).ShowFrame();
  const Surface s = Render(*Loaded(m));
  EXPECT_EQ(s.At(40, 50), 0xFFFF00FFu);  // red against blue
  EXPECT_EQ(s.At(60, 50), 0xFF00FFFFu);  // red against white
  EXPECT_EQ(s.At(10, 50), 0xFF0000FFu);  // blue alone
}

TEST(Effects, BlurSpreadsAnEdgeAndHostileSizesStayCheap) {
  for (const double blur : {1.0, 4.0, 1e6}) {
    std::vector<uint32_t> pixels(64 * 64, 0);
    for (int y = 0; y < 64; ++y) {
      for (int x = 32; x < 64; ++x) pixels[y * 64 + x] = 0xFFFF0000;
    }
    swf::Filter f;
    f.kind = swf::FilterKind::Blur;
    f.blurX = blur;
    f.blurY = blur;
    f.passes = 15;
    swf::raster::ApplyFilter(f, 1, pixels, 64, 64);
    const uint32_t edge = pixels[32 * 64 + 31];
    if (blur == 1) {
      EXPECT_EQ(edge, 0u) << "a 1-pixel blur leaves the edge sharp";
    } else if (blur == 4) {
      EXPECT_GT(edge >> 24, 0u) << "blur " << blur;
      EXPECT_LT(edge >> 24, 255u) << "blur " << blur;
    }
    EXPECT_LE(swf::raster::FilterMargin(f, 1), 15 * 256 / 2 + 15) << "blur " << blur;
  }
}

// Filters without blurring on a layer whose right half is opaque red, each compared with what
// its definition gives at the columns either side of the edge (x = 4).
TEST(Effects, BevelGradientGlowAndConvolutionFollowTheirDefinitions) {
  const uint32_t red = 0xFFFF0000, blue = 0xFF0000FF, white = 0xFFFFFFFF;
  swf::Filter bevel;  // lit from the left, drawn everywhere, the object knocked out
  bevel.kind = swf::FilterKind::Bevel;
  bevel.blurX = bevel.blurY = 0;
  bevel.angle = 0;
  bevel.distance = 1;
  bevel.onTop = bevel.knockout = true;
  bevel.highlight = {255, 255, 255, 255};
  swf::Filter glow;  // stops from nothing to blue, over the object
  glow.kind = swf::FilterKind::GradientGlow;
  glow.blurX = glow.blurY = 0;
  glow.distance = 0;
  glow.onTop = true;
  glow.stops = {{{0, 0, 0, 0}, 0}, {{0, 0, 255, 255}, 255}};
  swf::Filter shift;  // each pixel takes its right neighbour's colour
  shift.kind = swf::FilterKind::Convolution;
  shift.columns = shift.rows = 3;
  shift.kernel = {0, 0, 0, 0, 0, 1, 0, 0, 0};
  shift.preserveAlpha = false;
  swf::Filter halve = shift;  // the centre, halved: red 127 at alpha 127, premultiplied 63
  halve.kernel = {0, 0, 0, 0, 2, 0, 0, 0, 0};
  halve.divisor = 4;
  const struct {
    const char* name;
    const swf::Filter* filter;
    uint32_t want[4];  // at x = 2, 3, 4, 5
  } cases[] = {
      // Only pixels whose left neighbour is clear and right neighbour opaque are lit.
      {"bevel", &bevel, {0, white, white, 0}},
      {"gradient glow", &glow, {0, 0, blue, blue}},
      {"convolution", &shift, {0, red, red, red}},
      {"convolution divided", &halve, {0, 0, 0x7F3F0000, 0x7F3F0000}},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> pixels(9 * 9, 0);
    for (int y = 0; y < 9; ++y) {
      for (int x = 4; x < 9; ++x) pixels[y * 9 + x] = red;
    }
    swf::raster::ApplyFilter(*c.filter, 1, pixels, 9, 9);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(pixels[4 * 9 + 2 + i], c.want[i]) << c.name << " at x=" << 2 + i;
    }
  }
}

TEST(Effects, GlowAndShadowSurroundTheObject) {
  swfb::Movie m = Stage();
  swfb::Place p;
  p.characterId = Square(m, {0, 0, 255, 255}, 600, 1400);
  std::vector<uint8_t> glow = {1, 2, 0, 255, 0, 255, 0, 0, 8, 0, 0, 0, 8, 0, 0, 2, 0x21};
  p.filters = glow;
  m.PlaceObject3(p).ShowFrame();
  const Surface s = Render(*Loaded(m));
  EXPECT_EQ(s.At(50, 50), 0xFF0000FFu);  // the object itself
  const uint32_t beside = s.At(28, 50);  // just outside its left edge
  EXPECT_GT((beside >> 8) & 255, (beside >> 16) & 255) << std::hex << beside;
  EXPECT_EQ(s.At(5, 50), 0xFFFFFFFFu);  // beyond the glow's reach
}

TEST(Effects, MorphShapesDrawBetweenTheirEnds) {
  for (int version = 1; version <= 2; ++version) {
    swfb::Movie m = Stage();
    m.Tag(static_cast<uint16_t>(version == 1 ? 46 : 84),
          swfb::EncodeMorphRectangle(1, {200, 600, 200, 600}, {1000, 1800, 1000, 1800},
                                     {255, 0, 0, 255}, {0, 0, 255, 255}, version));
    swfb::Place p;
    p.characterId = 1;
    p.ratio = 0;
    m.PlaceObject2(p).ShowFrame();
    p.characterId.reset();
    p.move = true;
    p.ratio = 65535;
    m.PlaceObject2(p).ShowFrame();
    p.ratio = 32768;
    m.PlaceObject2(p).ShowFrame();
    auto player = Loaded(m);
    Surface start = Render(*player);
    EXPECT_EQ(start.At(20, 20), 0xFFFF0000u) << "version " << version;
    EXPECT_EQ(start.At(70, 70), 0xFFFFFFFFu);
    player->Tick();
    Surface end = Render(*player);
    EXPECT_EQ(end.At(20, 20), 0xFFFFFFFFu);
    EXPECT_EQ(end.At(70, 70), 0xFF0000FFu);
    player->Tick();
    Surface middle = Render(*player);
    EXPECT_EQ(middle.At(45, 45), 0xFF7F007Fu);  // halfway in place and in colour
    EXPECT_EQ(middle.At(20, 20), 0xFFFFFFFFu);
  }
}

}  // namespace
