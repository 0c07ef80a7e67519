// Definitions read into the shared shape and bitmap types, and control tags into timelines.
#include <gtest/gtest.h>

#include <functional>
#include <variant>

#include "player/movie.h"
#include "tools/swf_builder.h"
#include "tests/unit/pixel_support.h"
#include "tests/unit/player/jpeg_encode.h"

namespace {

swf::Movie ParseOk(const swfb::Movie& m) {
  swf::Movie movie;
  const swf::MovieError e = swf::ParseMovie(m.Build(), movie);
  EXPECT_TRUE(e.Ok()) << swf::ErrorKindName(e.kind) << " in tag " << e.tag;
  return movie;
}

template <typename T>
const T& Get(const swf::Movie& movie, uint16_t id) {
  static const T kNone{};
  const T* p = std::get_if<T>(movie.Find(id));
  EXPECT_TRUE(p) << "character " << id;
  return p ? *p : kNone;
}

TEST(ShapeParse, ReadsStylesOfEveryKind) {
  swfb::Gradient g;
  g.spread = swfb::Spread::Reflect;
  g.interpolation = swfb::Interpolation::Linear;
  g.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 128}}};
  swfb::Shape s;
  const swfb::Matrix box = swfb::Matrix::Scale(0.5, 0.25, 100, 200);
  s.AddFill(swfb::Fill::Solid({1, 2, 3, 4}));
  s.AddFill(swfb::Fill::Linear(box, g));
  s.AddFill(swfb::Fill::Radial(box, g));
  s.AddFill(swfb::Fill::Focal(box, g, -0.5));
  s.AddFill(swfb::Fill::Bitmap(9, swfb::Matrix::Scale(20, 20), swfb::FillType::RepeatingBitmap));
  swfb::Line miter = swfb::Line::Solid(40, {9, 8, 7, 6});
  miter.startCap = swfb::Cap::None;
  miter.endCap = swfb::Cap::Square;
  miter.join = swfb::Join::Miter;
  miter.miterLimit = 2.5;
  miter.noClose = true;
  s.AddLine(miter);
  swfb::Line filled = swfb::Line::Solid(60, {});
  filled.fill = swfb::Fill::Linear(box, g);
  s.AddLine(filled);
  s.SetFill1(1).SetLine(1).Rectangle({0, 400, 0, 400});

  swfb::Movie m;
  m.DefineShape(s, 4, 1);
  const swf::Movie movie = ParseOk(m);
  const swf::Shape& shape = Get<swf::Shape>(movie, 1);
  ASSERT_EQ(shape.fills.size(), 5u);
  EXPECT_EQ(shape.fills[0].color, (swf::Rgba{1, 2, 3, 4}));
  const swf::FillKind kinds[] = {swf::FillKind::LinearGradient, swf::FillKind::RadialGradient,
                                 swf::FillKind::FocalGradient};
  for (int i = 0; i < 3; ++i) {
    const swf::FillStyle& f = shape.fills[1 + i];
    EXPECT_EQ(f.kind, kinds[i]);
    const swf::Matrix& x = f.matrix;
    EXPECT_EQ(std::vector<double>({x.a, x.d, x.tx, x.ty}),
              std::vector<double>({0.5, 0.25, 100, 200}));
    EXPECT_EQ(f.gradient.spread, swf::SpreadMode::Reflect);
    EXPECT_EQ(f.gradient.interpolation, swf::InterpolationMode::Linear);
    ASSERT_EQ(f.gradient.stops.size(), 2u);
    EXPECT_EQ(f.gradient.stops[1].ratio, 255);
    EXPECT_EQ(f.gradient.stops[1].color, (swf::Rgba{0, 0, 255, 128}));
  }
  EXPECT_DOUBLE_EQ(shape.fills[3].gradient.focalPoint, -0.5);
  EXPECT_EQ(shape.fills[4].kind, swf::FillKind::RepeatingBitmap);
  EXPECT_EQ(shape.fills[4].bitmapId, 9);
  EXPECT_DOUBLE_EQ(shape.fills[4].matrix.a, 20);

  ASSERT_EQ(shape.lines.size(), 2u);
  const swf::LineStyle& l = shape.lines[0];
  EXPECT_EQ(l.width, 40);
  EXPECT_EQ(l.color, (swf::Rgba{9, 8, 7, 6}));
  EXPECT_EQ(l.startCap, swf::CapStyle::None);
  EXPECT_EQ(l.endCap, swf::CapStyle::Square);
  EXPECT_EQ(l.join, swf::JoinStyle::Miter);
  EXPECT_DOUBLE_EQ(l.miterLimit, 2.5);
  EXPECT_TRUE(l.noClose);
  EXPECT_TRUE(shape.lines[1].hasFill);
  EXPECT_EQ(shape.lines[1].fill.kind, swf::FillKind::LinearGradient);
}

TEST(ShapeParse, ReadsEdgesAndMakesStyleIndicesAbsolute) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid({255, 0, 0, 255})));
  s.MoveTo(100, 100).LineTo(300, 100).CurveTo(400, 200, 300, 300).LineTo(100, 100);
  s.NewStyles();
  s.AddFill(swfb::Fill::Solid({0, 0, 255, 255}));
  s.SetFill0(1).SetLine(s.AddLine(swfb::Line::Solid(20, {0, 0, 0, 255})));
  s.MoveTo(-50, -60).LineTo(-50, 0);

  swfb::Movie m;
  m.DefineShape(s, 2, 3);
  const swf::Movie movie = ParseOk(m);
  const swf::Shape& shape = Get<swf::Shape>(movie, 3);
  ASSERT_EQ(shape.fills.size(), 2u);
  ASSERT_EQ(shape.paths.size(), 2u);
  const swf::Path& first = shape.paths[0];
  EXPECT_EQ(first.fill1, 1u);
  EXPECT_EQ(first.fill0, 0u);
  ASSERT_EQ(first.edges.size(), 3u);
  const swf::Edge& curve = first.edges[1];
  EXPECT_TRUE(curve.curved);
  EXPECT_EQ(std::vector<double>({first.edges[0].from.x, first.edges[0].to.x, curve.control.x,
                                 curve.control.y, curve.to.y, first.edges[2].to.y}),
            std::vector<double>({100, 300, 400, 200, 300, 100}));
  // The second array's fill 1 is the shape's fill 2.
  const swf::Path& second = shape.paths[1];
  EXPECT_EQ(second.fill0, 2u);
  EXPECT_EQ(second.fill1, 0u);
  EXPECT_EQ(second.line, 1u);
  EXPECT_EQ(second.edges[0].from.y, -60);
  EXPECT_EQ(second.edges[0].to.y, 0);
}

uint32_t Bgra(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return b | (g << 8) | (r << 16) | (static_cast<uint32_t>(a) << 24);
}

TEST(BitmapParse, DecodesLosslessFormatsToPremultipliedWords) {
  // Lossless2 data is already premultiplied; the 15-bit form keeps 5 bits a channel.
  const swfb::Image image{3,
                          2,
                          {{255, 0, 0, 255},
                           {0, 128, 0, 128},
                           {0, 0, 255, 255},
                           {8, 16, 24, 255},
                           {0, 0, 0, 0},
                           {255, 255, 255, 255}}};
  // With alpha, premultiplied; without, every pixel opaque and unscaled.
  const std::vector<uint32_t> withAlpha = {
      Bgra(255, 0, 0, 255),    Bgra(0, 64, 0, 128), Bgra(0, 0, 255, 255), Bgra(8, 16, 24, 255), 0,
      Bgra(255, 255, 255, 255)};
  std::vector<uint32_t> opaque = withAlpha;
  opaque[1] = Bgra(0, 128, 0, 255);
  opaque[4] = Bgra(0, 0, 0, 255);
  std::vector<uint32_t> fifteenBit = opaque;
  fifteenBit[1] = Bgra(0, 132, 0, 255);
  struct Case {
    swfb::LosslessFormat format;
    bool alpha;
    std::vector<uint32_t> expected;
  };
  const std::vector<Case> cases = {{swfb::LosslessFormat::Rgb24, true, withAlpha},
                                   {swfb::LosslessFormat::Palette, true, withAlpha},
                                   {swfb::LosslessFormat::Rgb24, false, opaque},
                                   {swfb::LosslessFormat::Palette, false, opaque},
                                   {swfb::LosslessFormat::Rgb15, false, fifteenBit}};
  for (const Case& c : cases) {
    swfb::Movie m;
    const uint16_t id =
        c.alpha ? m.DefineBitsLossless2(image, c.format) : m.DefineBitsLossless(image, c.format);
    const swf::Movie movie = ParseOk(m);
    const swf::Bitmap& bitmap = Get<swf::Bitmap>(movie, id);
    EXPECT_EQ(bitmap.width, 3);
    EXPECT_EQ(bitmap.height, 2);
    EXPECT_EQ(bitmap.pixels, c.expected) << static_cast<int>(c.format) << " alpha " << c.alpha;
  }
}

TEST(BitmapParse, DecodesJpegFormsAndQuirks) {
  const std::vector<uint8_t> jpeg = swftest::EncodeSolidJpeg(8, 4, 200, 100, 50);
  std::vector<uint8_t> tables, image;
  swftest::SplitJpegTables(jpeg, tables, image);
  std::vector<uint8_t> quirky = {0xFF, 0xD9, 0xFF, 0xD8};
  quirky.insert(quirky.end(), jpeg.begin(), jpeg.end());
  std::vector<uint8_t> quirkyTables = {0xFF, 0xD9, 0xFF, 0xD8};
  quirkyTables.insert(quirkyTables.end(), tables.begin(), tables.end());
  std::vector<uint8_t> alpha(32, 255);
  alpha[0] = 0;
  alpha[2] = 128;
  // Each form defines the same 8x4 image; the last one adds an alpha channel.
  enum Form { Jpeg2, Jpeg2Quirk, Tables, TablesQuirk, Jpeg3 };
  const std::function<uint16_t(swfb::Movie&)> define[] = {
      [&](swfb::Movie& m) { return m.DefineBitsJpeg2(jpeg); },
      [&](swfb::Movie& m) { return m.DefineBitsJpeg2(quirky); },
      [&](swfb::Movie& m) { return m.JpegTables(tables), m.DefineBits(image); },
      [&](swfb::Movie& m) { return m.JpegTables(quirkyTables), m.DefineBits(image); },
      [&](swfb::Movie& m) { return m.DefineBitsJpeg3(jpeg, alpha); },
  };
  for (int form = Jpeg2; form <= Jpeg3; ++form) {
    swfb::Movie m;
    const uint16_t id = define[form](m);
    const swf::Movie movie = ParseOk(m);
    const swf::Bitmap& bitmap = Get<swf::Bitmap>(movie, id);
    ASSERT_EQ(bitmap.width, 8) << form;
    ASSERT_EQ(bitmap.height, 4) << form;
    EXPECT_TRUE(pixeltest::PixelNear(bitmap.pixels[5], Bgra(200, 100, 50, 255), 3)) << form;
    if (form == Jpeg3) {
      EXPECT_EQ(bitmap.pixels[0], 0u);
      EXPECT_TRUE(pixeltest::PixelNear(bitmap.pixels[2], Bgra(100, 50, 25, 128), 3));
    }
  }
}

TEST(TimelineParse, ReadsControlTagsPerFrame) {
  swfb::Sprite sprite;
  sprite.PlaceObject(1, 1, swfb::Matrix::Translate(20, 40)).ShowFrame().ShowFrame();
  swfb::Movie m;
  const uint8_t actions[] = {0x07, 0x00};
  const uint16_t spriteId = m.DefineSprite(sprite);
  m.DoInitAction(spriteId, actions);
  swfb::Place p;
  p.depth = 3;
  p.characterId = spriteId;
  p.matrix = swfb::Matrix::Scale(2, 3, 100, -100);
  p.colorTransform = swfb::ColorTransform{128, 256, 256, 64, 10, 0, 0, -20};
  p.ratio = 7;
  p.name = "clip";
  p.clipDepth = 9;
  m.PlaceObject2(p);
  m.FrameLabel("start").DoAction(actions).ShowFrame();
  swfb::Place move;
  move.depth = 3;
  move.move = true;
  move.blendMode = 3;
  m.PlaceObject3(move).RemoveObject2(3).RemoveObject(1, 4).ShowFrame();

  const swf::Movie movie = ParseOk(m);
  const swf::Sprite& parsedSprite = Get<swf::Sprite>(movie, spriteId);
  EXPECT_EQ(parsedSprite.timeline.frameCount, 2);
  ASSERT_EQ(parsedSprite.timeline.frames.size(), 2u);
  ASSERT_EQ(parsedSprite.timeline.frames[0].commands.size(), 1u);

  ASSERT_EQ(movie.timeline.frames.size(), 2u);
  const swf::Frame& f0 = movie.timeline.frames[0];
  ASSERT_EQ(f0.commands.size(), 1u);
  const auto& place = std::get<swf::PlaceObject>(f0.commands[0]);
  EXPECT_EQ(place.depth, 3);
  EXPECT_FALSE(place.move);
  EXPECT_EQ(place.characterId, spriteId);
  ASSERT_TRUE(place.matrix && place.colorTransform);
  const swf::ColorTransform& ct = *place.colorTransform;
  EXPECT_EQ(std::vector<double>({place.matrix->a, place.matrix->d, place.matrix->ty}),
            std::vector<double>({2, 3, -100}));
  EXPECT_EQ(std::vector<int>({ct.rMul, ct.aMul, ct.rAdd, ct.aAdd}),
            std::vector<int>({128, 64, 10, -20}));
  EXPECT_EQ(place.ratio, 7);
  EXPECT_EQ(place.name, "clip");
  EXPECT_EQ(place.clipDepth, 9);
  EXPECT_EQ(f0.labels, std::vector<std::string>{"start"});
  ASSERT_EQ(f0.actions.size(), 2u);
  EXPECT_TRUE(f0.actions[0].init);
  EXPECT_EQ(f0.actions[0].spriteId, spriteId);
  EXPECT_FALSE(f0.actions[1].init);
  EXPECT_EQ(f0.actions[1].bytes, std::vector<uint8_t>(std::begin(actions), std::end(actions)));

  const swf::Frame& f1 = movie.timeline.frames[1];
  ASSERT_EQ(f1.commands.size(), 3u);
  const auto& moved = std::get<swf::PlaceObject>(f1.commands[0]);
  EXPECT_TRUE(moved.move);
  EXPECT_FALSE(moved.characterId);
  EXPECT_EQ(moved.blendMode, 3);
  EXPECT_EQ(std::get<swf::RemoveObject>(f1.commands[1]).depth, 3);
  EXPECT_EQ(std::get<swf::RemoveObject>(f1.commands[2]).depth, 4);
}

}  // namespace
