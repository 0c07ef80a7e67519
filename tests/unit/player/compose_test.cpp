// Frames drawn through the whole player: transforms, colour transforms, masks, sprites, the
// scale modes and the two render modes, checked pixel by pixel.
#include <gtest/gtest.h>

#include <memory>

#include "player/player.h"
#include "tools/swf_builder.h"
#include "tests/unit/pixel_support.h"

namespace {

using pixeltest::kMarker;
using pixeltest::PixelNear;
using pixeltest::Surface;

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00;
constexpr uint32_t kWhite = 0xFFFFFFFF;

// A rectangle in pixels as a shape in twips.
swfb::Shape Rect(double x0, double y0, double x1, double y1, swf::Rgba color) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid(color)));
  s.Rectangle({swfb::ToTwips(x0), swfb::ToTwips(x1), swfb::ToTwips(y0), swfb::ToTwips(y1)});
  return s;
}

swfb::Movie Stage(double w, double h) {
  swfb::MovieHeader header;
  header.stage = {0, swfb::ToTwips(w), 0, swfb::ToTwips(h)};
  swfb::Movie m(header);
  m.SetBackgroundColor({255, 255, 255, 255});
  return m;
}

swfb::Place Place(uint16_t depth, uint16_t id, swfb::Matrix matrix = {}) {
  swfb::Place p;
  p.depth = depth;
  p.characterId = id;
  p.matrix = matrix;
  return p;
}

// A player with `m` loaded; a failed load fails the test.
std::unique_ptr<swf::Player> Loaded(const swfb::Movie& m) {
  auto p = std::make_unique<swf::Player>();
  const swf::MovieError e = p->Load(m.Build());
  EXPECT_TRUE(e.Ok()) << swf::ErrorKindName(e.kind) << " in tag " << e.tag;
  return p;
}

Surface Render(const swfb::Movie& m, swf::RenderMode mode,
               swf::ScaleMode scale = swf::ScaleMode::ShowAll, int w = 100, int h = 100) {
  Surface s(w, h);
  Loaded(m)->Render(s.canvas, mode, scale, w, h);
  return s;
}

// A red circle at alpha 200, in pixels, its edges anti-aliased.
swfb::Shape Circle(double cx, double cy, double r) {
  swfb::Shape circle;
  circle.SetFill1(circle.AddFill(swfb::Fill::Solid({255, 0, 0, 200})));
  circle.Circle(swfb::ToTwips(cx), swfb::ToTwips(cy), swfb::ToTwips(r));
  return circle;
}

struct Probe {
  int x, y;
  uint32_t expected;
  int tolerance = 0;
};

void ExpectPixels(const Surface& s, const std::vector<Probe>& probes, const char* what) {
  for (const Probe& p : probes) {
    EXPECT_TRUE(PixelNear(s.At(p.x, p.y), p.expected, p.tolerance))
        << what << " at " << p.x << "," << p.y;
  }
}

TEST(Compose, AppliesMatricesAndColourTransforms) {
  struct Case {
    const char* name;
    swfb::Matrix matrix;
    std::optional<swfb::ColorTransform> colors;
    std::vector<Probe> probes;
  };
  const std::vector<Case> cases = {
      {"translate",
       swfb::Matrix::Translate(swfb::ToTwips(20), swfb::ToTwips(30)),
       {},
       {{25, 35, kRed}, {15, 35, kWhite}, {25, 25, kWhite}, {31, 35, kWhite}}},
      {"scale",
       swfb::Matrix::Scale(3, 2, swfb::ToTwips(10), 0),
       {},
       {{38, 18, kRed}, {42, 18, kWhite}, {38, 22, kWhite}}},
      {"rotate 90",
       swfb::Matrix::Transform(1, 1, 3.14159265358979 / 2, swfb::ToTwips(50), 0),
       {},
       {{45, 5, kRed}, {55, 5, kWhite}}},
      {"colour transform",
       swfb::Matrix::Translate(0, 0),
       swfb::ColorTransform{0, 256, 256, 256, 0, 0, 255, 0},
       {{5, 5, 0xFF0000FF}}},
      {"half alpha over white",
       swfb::Matrix::Translate(0, 0),
       swfb::ColorTransform{256, 256, 256, 128, 0, 0, 0, 0},
       {{5, 5, 0xFFFF7F7F, 1}}},
  };
  for (const Case& c : cases) {
    swfb::Movie m = Stage(100, 100);
    swfb::Place p = Place(1, m.DefineShape(Rect(0, 0, 10, 10, {255, 0, 0, 255})), c.matrix);
    p.colorTransform = c.colors;
    m.PlaceObject2(p).ShowFrame();
    ExpectPixels(Render(m, swf::RenderMode::Opaque), c.probes, c.name);
  }
}

TEST(Compose, NestsSpritesWithTheirTransforms) {
  swfb::Movie m = Stage(100, 100);
  const uint16_t box = m.DefineShape(Rect(0, 0, 10, 10, {255, 0, 0, 255}));
  swfb::Sprite inner;
  inner.PlaceObject2(Place(1, box, swfb::Matrix::Translate(swfb::ToTwips(10), 0))).ShowFrame();
  swfb::Sprite outer;
  swfb::Place innerPlace = Place(1, m.DefineSprite(inner), swfb::Matrix::Scale(2, 2));
  innerPlace.colorTransform = swfb::ColorTransform{0, 256, 256, 256, 0, 0, 255, 0};
  outer.PlaceObject2(innerPlace).ShowFrame();
  swfb::Place outerPlace =
      Place(1, m.DefineSprite(outer), swfb::Matrix::Translate(swfb::ToTwips(5), swfb::ToTwips(5)));
  outerPlace.colorTransform = swfb::ColorTransform{256, 256, 256, 128, 0, 0, 0, 0};
  m.PlaceObject2(outerPlace).ShowFrame();
  // The box spans 10..20 in the inner sprite, 20..40 after the scale, 25..45 on stage; it is
  // blue, at half alpha over white.
  ExpectPixels(Render(m, swf::RenderMode::Opaque),
               {{30, 10, 0xFF7F7FFF, 1},
                {44, 24, 0xFF7F7FFF, 1},
                {23, 10, kWhite},
                {46, 10, kWhite},
                {30, 26, kWhite}},
               "nested");
}

TEST(Compose, ClipsWithMasksAndNestedMasks) {
  swfb::Movie m = Stage(100, 100);
  const uint16_t leftHalf = m.DefineShape(Rect(0, 0, 50, 100, {0, 0, 0, 255}));
  const uint16_t topHalf = m.DefineShape(Rect(0, 0, 100, 50, {0, 0, 0, 255}));
  const uint16_t blue = m.DefineShape(Rect(0, 0, 100, 100, {0, 0, 255, 255}));
  const uint16_t red = m.DefineShape(Rect(0, 0, 100, 100, {255, 0, 0, 255}));
  const uint16_t green = m.DefineShape(Rect(60, 60, 70, 70, {0, 255, 0, 255}));
  swfb::Sprite masked;  // a mask of its own inside the sprite, under the main one
  swfb::Place inner = Place(1, topHalf);
  inner.clipDepth = 2;
  masked.PlaceObject2(inner).PlaceObject2(Place(2, red)).ShowFrame();
  swfb::Place mask = Place(1, leftHalf);
  mask.clipDepth = 3;
  m.PlaceObject2(mask).PlaceObject2(Place(2, blue)).PlaceObject2(Place(3, m.DefineSprite(masked)));
  m.PlaceObject2(Place(4, green)).ShowFrame();
  ExpectPixels(Render(m, swf::RenderMode::Opaque),
               {{25, 25, kRed},
                {25, 75, kBlue},
                {75, 25, kWhite},
                {75, 75, kWhite},
                {65, 65, kGreen},
                {48, 25, kRed},
                {52, 25, kWhite}},
               "masks");
}

TEST(Compose, ScaleModesFitTheStageCentred) {
  // A 100x50 stage filled red, shown in a 200x200 viewport in transparent mode: exactly the
  // scaled stage is drawn, every other pixel keeps the marker.
  swfb::Movie m = Stage(100, 50);
  m.PlaceObject2(Place(1, m.DefineShape(Rect(0, 0, 100, 50, {255, 0, 0, 255})))).ShowFrame();
  struct Case {
    swf::ScaleMode mode;
    int left, top, right, bottom;  // where red is expected
  };
  const Case cases[] = {
      {swf::ScaleMode::ShowAll, 0, 50, 200, 150},
      {swf::ScaleMode::NoBorder, 0, 0, 200, 200},
      {swf::ScaleMode::ExactFit, 0, 0, 200, 200},
      {swf::ScaleMode::NoScale, 50, 75, 150, 125},
  };
  for (const Case& c : cases) {
    const Surface s = Render(m, swf::RenderMode::Transparent, c.mode, 200, 200);
    int wrong = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 200; ++x) {
        const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
        if (s.At(x, y) != (inside ? kRed : kMarker)) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << "scale mode " << static_cast<int>(c.mode);
  }
}

TEST(Compose, RenderModesAndHitTesting) {
  swfb::Movie m = Stage(100, 100);
  m.SetBackgroundColor({0, 128, 255, 255});
  const uint16_t mask = m.DefineShape(Rect(0, 0, 30, 100, {0, 0, 0, 255}));
  swfb::Place maskPlace = Place(1, mask);
  maskPlace.clipDepth = 2;
  // Half of the circle lies under the mask.
  m.PlaceObject2(maskPlace).PlaceObject2(Place(2, m.DefineShape(Circle(30, 30, 15))));
  m.PlaceObject2(Place(3, m.DefineShape(Rect(60, 60, 80, 80, {0, 255, 0, 255})))).ShowFrame();

  const Surface opaque = Render(m, swf::RenderMode::Opaque);
  for (uint32_t p : opaque.pixels) ASSERT_EQ(p >> 24, 0xFFu);
  ExpectPixels(opaque, {{90, 10, 0xFF0080FF}, {70, 70, kGreen}, {40, 30, 0xFF0080FF}}, "opaque");

  const Surface clear = Render(m, swf::RenderMode::Transparent);
  EXPECT_EQ(clear.At(25, 30), 0xC8C80000u) << "premultiplied red at alpha 200";
  int drawn = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) {
      const bool maybe =
          (x >= 14 && x <= 30 && y >= 14 && y <= 46) || (x >= 60 && x < 80 && y >= 60 && y < 80);
      if (!maybe) ASSERT_EQ(clear.At(x, y), kMarker) << x << "," << y;
      drawn += clear.At(x, y) != kMarker;
    }
  }
  EXPECT_GT(drawn, 400 + 200);

  const auto p = Loaded(m);
  const struct {
    double x, y;
    bool hit;
  } hits[] = {{25, 30, true}, {35, 30, false}, {70, 70, true}, {90, 90, false}, {5, 90, false}};
  for (const auto& h : hits) {
    EXPECT_EQ(p->HitTest({h.x, h.y}, swf::ScaleMode::ShowAll, 100, 100), h.hit)
        << h.x << "," << h.y;
  }
  // Twice the viewport: the same movie point is twice as far.
  EXPECT_TRUE(p->HitTest({140, 140}, swf::ScaleMode::ShowAll, 200, 200));
}

TEST(Compose, APieceOfTheViewMatchesTheWholeView) {
  // How the control draws one locked piece of its view: the piece is the canvas and the view's
  // top-left lies outside it.
  swfb::Movie m = Stage(100, 100);
  m.PlaceObject2(Place(1, m.DefineShape(Circle(50, 50, 30)))).ShowFrame();
  const Surface whole = Render(m, swf::RenderMode::Transparent, swf::ScaleMode::ShowAll, 120, 100);
  Surface piece(40, 30);
  Loaded(m)->Render(piece.canvas, swf::RenderMode::Transparent, swf::ScaleMode::ShowAll, 120, 100,
                    {-50, -35});
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(piece.At(x, y), whole.At(x + 50, y + 35)) << x << "," << y;
}

}  // namespace
