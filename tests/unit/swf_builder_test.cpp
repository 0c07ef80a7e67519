// The builder's encodings checked against bytes worked out by hand from the SWF record layouts.
// Expected bit fields are written out field by field, most significant bit first, so that each
// case reads like the record it checks.
#include "tests/support/swf_builder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Packs a string of '0' and '1' (spaces ignored) into bytes, padding the last byte with zeros.
Bytes FromBits(const std::string& bits) {
  Bytes out;
  int used = 8;
  for (char c : bits) {
    if (c == ' ') continue;
    if (used == 8) {
      out.push_back(0);
      used = 0;
    }
    if (c == '1') out.back() |= static_cast<uint8_t>(0x80 >> used);
    ++used;
  }
  return out;
}

template <typename F>
Bytes Encoded(F write) {
  swfb::Writer w;
  write(w);
  w.Align();
  return w.Data();
}

Bytes Inflate(const Bytes& z, size_t size) {
  Bytes out(size);
  uLongf got = static_cast<uLongf>(size);
  if (uncompress(out.data(), &got, z.data(), static_cast<uLong>(z.size())) != Z_OK) return {};
  out.resize(got);
  return out;
}

uint32_t U32At(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(SwfBuilderRecords, RectUsesTheFewestBitsThatHoldEveryCoordinate) {
  struct Case {
    swfb::Rect rect;
    Bytes expected;
  } cases[] = {
      // The classic 550 x 400 stage: 15-bit fields.
      {{0, 11000, 0, 8000}, {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}},
      // An empty rectangle needs no bits at all.
      {{0, 0, 0, 0}, {0x00}},
      // Negative values: -1 needs one bit, 1 needs two.
      {{-1, 0, -1, 0}, FromBits("00001 1 0 1 0")},
      {{-1, 1, 0, 0}, FromBits("00010 11 01 00 00")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Encoded([&](swfb::Writer& w) { swfb::WriteRect(w, c.rect); }), c.expected)
        << c.rect.xMin << ".." << c.rect.xMax;
  }
}

TEST(SwfBuilderRecords, MatrixWritesOptionalPartsOnlyWhenNeeded) {
  swfb::Matrix translateOnly = swfb::Matrix::Translate(100, -40);
  swfb::Matrix full;
  full.scaleX = 0x18000;  // 1.5
  full.scaleY = -0x10000;
  full.rotateSkew0 = 0x4000;
  full.rotateSkew1 = -0x4000;
  swfb::Matrix forcedIdentity;
  forcedIdentity.forceScale = true;
  struct Case {
    const char* what;
    swfb::Matrix matrix;
    Bytes expected;
  } cases[] = {
      {"translation", translateOnly, FromBits("0 0 01000 01100100 11011000")},
      {"identity", {}, FromBits("0 0 00000")},
      {"scale and rotate", full,
       FromBits("1 10010 011000000000000000 110000000000000000"
                "1 10000 0100000000000000 1100000000000000"
                "00000")},
      {"forced scale of 1.0", forcedIdentity,
       FromBits("1 10010 010000000000000000 010000000000000000 0 00000")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Encoded([&](swfb::Writer& w) { swfb::WriteMatrix(w, c.matrix); }), c.expected)
        << c.what;
  }
}

TEST(SwfBuilderRecords, ColorTransformWritesPresentTermsWithOneWidth) {
  swfb::ColorTransform both;
  both.gMul = 128;
  both.bMul = 64;
  both.aMul = 128;
  both.rAdd = -16;
  both.bAdd = 32;
  swfb::ColorTransform fadeOnly;
  fadeOnly.aAdd = -128;
  struct Case {
    const char* what;
    swfb::ColorTransform cx;
    bool withAlpha;
    Bytes expected;
  } cases[] = {
      {"mul and add with alpha", both, true,
       FromBits("1 1 1010 0100000000 0010000000 0001000000 0010000000"
                "1111110000 0000000000 0000100000 0000000000")},
      {"mul and add without alpha", both, false,
       FromBits("1 1 1010 0100000000 0010000000 0001000000 1111110000 0000000000 0000100000")},
      {"alpha add only", fadeOnly, true, FromBits("1 0 1000 00000000 00000000 00000000 10000000")},
      // Without alpha the same transform is the identity: only the empty header remains.
      {"alpha add dropped", fadeOnly, false, FromBits("0 0 0000")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Encoded([&](swfb::Writer& w) { swfb::WriteColorTransform(w, c.cx, c.withAlpha); }),
              c.expected)
        << c.what;
  }
}

TEST(SwfBuilderRecords, TagHeaderTurnsLongAtSixtyThreeBytes) {
  struct Case {
    size_t length;
    bool forceLong;
    Bytes header;
  } cases[] = {
      {0, false, {0x00, 0x03}},
      {62, false, {0x3E, 0x03}},
      {63, false, {0x3F, 0x03, 0x3F, 0x00, 0x00, 0x00}},
      {300, false, {0x3F, 0x03, 0x2C, 0x01, 0x00, 0x00}},
      {0, true, {0x3F, 0x03, 0x00, 0x00, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    swfb::Sprite t;
    const Bytes body(c.length, 0x07);
    t.Tag(swfb::TagCode::DoAction, body, c.forceLong);
    Bytes expected = c.header;
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(t.Tags(), expected) << c.length << (c.forceLong ? " forced" : "");
  }
}

TEST(SwfBuilderRecords, EdgesPickTheShortestForm) {
  struct Case {
    int32_t dx, dy;
    Bytes expected;
  } cases[] = {
      {10, -5, FromBits("1 1 0011 1 01010 11011")},
      {0, 100, FromBits("1 1 0110 0 1 01100100")},
      {-3, 0, FromBits("1 1 0001 0 0 101")},
      {1, 0, FromBits("1 1 0000 0 0 01")},  // never fewer than two bits
      {0, -65536, FromBits("1 1 1111 0 1 10000000000000000")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Encoded([&](swfb::Writer& w) { swfb::WriteStraightEdge(w, c.dx, c.dy); }), c.expected)
        << c.dx << "," << c.dy;
  }
  EXPECT_EQ(Encoded([](swfb::Writer& w) { swfb::WriteCurvedEdge(w, 4, 0, 0, -4); }),
            FromBits("1 0 0010 0100 0000 0000 1100"));
}

TEST(SwfBuilderShape, TriangleEncodesStylesMoveAndEdges) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid({0xFF, 0x00, 0x00, 0xFF})));
  s.MoveTo(20, 20);
  s.LineTo(120, 20);
  s.LineTo(120, 70);
  s.LineTo(20, 20);

  Bytes expected = {0x01, 0x00, 0xFF, 0x00, 0x00,  // one solid RGB fill
                    0x00};                         // no lines
  const Bytes records = FromBits(
      "0001 0000"                          // 1 fill bit, 0 line bits
      "0 0 0 1 0 1 00110 010100 010100 1"  // style change: move to (20,20), fill1 = 1
      "1 1 0110 0 0 01100100"              // horizontal +100
      "1 1 0101 0 1 0110010"               // vertical +50
      "1 1 0110 1 10011100 11001110"       // general -100,-50
      "000000");                           // end of shape
  expected.insert(expected.end(), records.begin(), records.end());
  EXPECT_EQ(s.Encode(1), expected);
  EXPECT_EQ(s.Bounds(), (swfb::Rect{20, 120, 20, 70}));
}

TEST(SwfBuilderShape, LongEdgesAreSplitIntoRecordsThatFit) {
  swfb::Shape s;
  s.MoveTo(0, 0);
  s.LineTo(131070, 0);
  Bytes expected = {0x00, 0x00};  // no fills, no lines
  const Bytes records = FromBits(
      "0000 0000"                       // no index bits
      "0 0 0 0 0 1 00000"               // move to (0,0)
      "1 1 1111 0 0 01111111111111111"  // +65535
      "1 1 1111 0 0 01111111111111111"  // +65535
      "000000");
  expected.insert(expected.end(), records.begin(), records.end());
  EXPECT_EQ(s.Encode(1), expected);
}

TEST(SwfBuilderShape, LineStylesFollowTheShapeVersion) {
  swfb::Line l = swfb::Line::Solid(40, {1, 2, 3, 4});
  l.startCap = swfb::Cap::Square;
  l.endCap = swfb::Cap::None;
  l.join = swfb::Join::Miter;
  l.miterLimit = 2.5;
  l.noHScale = l.pixelHinting = l.noClose = true;
  swfb::Shape s;
  s.AddLine(l);
  struct Case {
    int version;
    Bytes expected;  // fill count, line count, the style, index widths, end record
  } cases[] = {
      {1, {0x00, 0x01, 0x28, 0x00, 0x01, 0x02, 0x03, 0x01, 0x00}},
      {3, {0x00, 0x01, 0x28, 0x00, 0x01, 0x02, 0x03, 0x04, 0x01, 0x00}},
      // Caps, join and flags as bit fields, then the 8.8 miter limit before the colour.
      {4, {0x00, 0x01, 0x28, 0x00, 0xA5, 0x05, 0x80, 0x02, 0x01, 0x02, 0x03, 0x04, 0x01, 0x00}},
  };
  for (const Case& c : cases) EXPECT_EQ(s.Encode(c.version), c.expected) << c.version;
}

TEST(SwfBuilderShape, MoreThan254StylesUseTheExtendedCount) {
  struct Case {
    int fills;
    Bytes start;
  } cases[] = {{254, {0xFE}}, {255, {0xFF, 0xFF, 0x00}}, {300, {0xFF, 0x2C, 0x01}}};
  for (const Case& c : cases) {
    swfb::Shape s;
    for (int i = 0; i < c.fills; ++i) s.AddFill(swfb::Fill::Solid({}));
    const Bytes encoded = s.Encode(3);
    ASSERT_GE(encoded.size(), c.start.size());
    EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + c.start.size()), c.start) << c.fills;
  }
}

TEST(SwfBuilderTimeline, PlaceTagsSetAFlagForEachPresentField) {
  swfb::Place named;
  named.depth = 2;
  named.characterId = 5;
  named.matrix = swfb::Matrix{};
  named.name = "a";
  swfb::Place moved;
  moved.depth = 3;
  moved.move = true;
  moved.ratio = 0x102;
  moved.clipDepth = 7;
  swfb::Place faded;
  faded.colorTransform = swfb::ColorTransform{};
  faded.colorTransform->aMul = 128;
  swfb::Place styled;
  styled.characterId = 2;
  styled.className = "C";
  styled.blendMode = 5;
  styled.cacheAsBitmap = 1;
  const Bytes fadedCx = FromBits("0 1 1010 0100000000 0100000000 0100000000 0010000000");
  Bytes fadedTag = {0x89, 0x06, 0x08, 0x01, 0x00};
  fadedTag.insert(fadedTag.end(), fadedCx.begin(), fadedCx.end());
  struct Case {
    const char* what;
    swfb::Place place;
    bool third;
    Bytes expected;
  } cases[] = {
      {"character, matrix, name",
       named,
       false,
       {0x88, 0x06, 0x26, 0x02, 0x00, 0x05, 0x00, 0x00, 'a', 0x00}},
      {"move, ratio, clip depth",
       moved,
       false,
       {0x87, 0x06, 0x51, 0x03, 0x00, 0x02, 0x01, 0x07, 0x00}},
      {"colour transform with alpha", faded, false, fadedTag},
      // Class name right after the depth; blend mode and bitmap caching at the end.
      {"PlaceObject3 extras",
       styled,
       true,
       {0x8A, 0x11, 0x02, 0x0E, 0x01, 0x00, 'C', 0x00, 0x02, 0x00, 0x05, 0x01}},
  };
  for (const Case& c : cases) {
    swfb::Sprite t;
    if (c.third) {
      t.PlaceObject3(c.place);
    } else {
      t.PlaceObject2(c.place);
    }
    EXPECT_EQ(t.Tags(), c.expected) << c.what;
  }
}

swfb::Movie SmallMovie(bool compressed) {
  swfb::MovieHeader h;
  h.version = 10;
  h.compressed = compressed;
  swfb::Movie m(h);
  m.SetBackgroundColor({0x10, 0x20, 0x30, 0xFF});
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid({0, 0x80, 0xFF, 0xC0})));
  s.Circle(2000, 2000, 1000);
  swfb::Place p;
  p.characterId = m.DefineShape(s);
  m.PlaceObject2(p);
  m.ShowFrame();
  m.ShowFrame();
  m.FrameLabel("end");
  m.ShowFrame();
  return m;
}

TEST(SwfBuilderMovie, HeaderCarriesLengthRateAndFrameCount) {
  const Bytes file = SmallMovie(false).Build();
  ASSERT_GE(file.size(), 21u);
  EXPECT_EQ((Bytes{file.begin(), file.begin() + 4}), (Bytes{'F', 'W', 'S', 10}));
  EXPECT_EQ(U32At(file, 4), file.size());
  // After the 9-byte stage rectangle: 24 fps as 8.8, then three frames.
  EXPECT_EQ((Bytes{file.begin() + 17, file.begin() + 21}), (Bytes{0x00, 0x18, 0x03, 0x00}));
  // The movie ends with the End tag.
  EXPECT_EQ((Bytes{file.end() - 2, file.end()}), (Bytes{0x00, 0x00}));
}

TEST(SwfBuilderMovie, CompressedMovieInflatesToTheUncompressedBody) {
  const Bytes plain = SmallMovie(false).Build();
  const Bytes packed = SmallMovie(true).Build();
  ASSERT_GE(packed.size(), 8u);
  EXPECT_EQ((Bytes{packed.begin(), packed.begin() + 4}), (Bytes{'C', 'W', 'S', 10}));
  EXPECT_EQ(U32At(packed, 4), U32At(plain, 4));
  const Bytes body = Inflate(Bytes(packed.begin() + 8, packed.end()), plain.size());
  EXPECT_EQ(body, Bytes(plain.begin() + 8, plain.end()));
}

TEST(SwfBuilderMovie, SpriteKeepsItsOwnFrameCount) {
  swfb::Movie m;
  swfb::Sprite sprite;
  for (int i = 0; i < 5; ++i) sprite.ShowFrame();
  const uint16_t id = m.DefineSprite(sprite, 7);
  EXPECT_EQ(m.NextId(), 8);
  m.ShowFrame();
  const Bytes file = m.Build();
  // DefineSprite right after the header: id 7, five frames, five ShowFrames and End.
  const Bytes expected = {0xD0, 0x09, 0x07, 0x00, 0x05, 0x00, 0x40, 0x00, 0x40,
                          0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x00, 0x00, 0x00};
  ASSERT_GE(file.size(), 21u + expected.size());
  EXPECT_EQ(id, 7);
  EXPECT_EQ((Bytes{file.begin() + 19, file.begin() + 21}), (Bytes{0x01, 0x00}));
  EXPECT_EQ(Bytes(file.begin() + 21, file.begin() + 21 + expected.size()), expected);
}

TEST(SwfBuilderBitmaps, LosslessPixelsArePackedAsStored) {
  // Three pixels in one row: opaque red, half-transparent white, opaque red.
  const swfb::Image image{3, 1, {{255, 0, 0, 255}, {255, 255, 255, 128}, {255, 0, 0, 255}}};
  struct Case {
    const char* what;
    swfb::LosslessFormat format;
    bool alpha;
    Bytes header;  // format, width, height and, for palettes, the colour count minus one
    Bytes pixels;  // after inflating
  } cases[] = {
      {"palette",
       swfb::LosslessFormat::Palette,
       false,
       {3, 3, 0, 1, 0, 1},
       {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 1, 0, 0}},
      {"palette with alpha",
       swfb::LosslessFormat::Palette,
       true,
       {3, 3, 0, 1, 0, 1},
       {0xFF, 0, 0, 0xFF, 0x80, 0x80, 0x80, 0x80, 0, 1, 0, 0}},
      {"15-bit",
       swfb::LosslessFormat::Rgb15,
       false,
       {4, 3, 0, 1, 0},
       {0x7C, 0x00, 0x7F, 0xFF, 0x7C, 0x00, 0, 0}},
      {"24-bit",
       swfb::LosslessFormat::Rgb24,
       false,
       {5, 3, 0, 1, 0},
       {0, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0xFF, 0, 0}},
      {"32-bit premultiplied",
       swfb::LosslessFormat::Rgb24,
       true,
       {5, 3, 0, 1, 0},
       {0xFF, 0xFF, 0, 0, 0x80, 0x80, 0x80, 0x80, 0xFF, 0xFF, 0, 0}},
  };
  for (const Case& c : cases) {
    const Bytes body = swfb::EncodeLossless(image, c.format, c.alpha);
    ASSERT_GT(body.size(), c.header.size()) << c.what;
    EXPECT_EQ(Bytes(body.begin(), body.begin() + c.header.size()), c.header) << c.what;
    EXPECT_EQ(Inflate(Bytes(body.begin() + c.header.size(), body.end()), 64), c.pixels) << c.what;
  }
  // What the formats cannot hold is refused rather than written wrong.
  EXPECT_TRUE(swfb::EncodeLossless(image, swfb::LosslessFormat::Rgb15, true).empty());
  EXPECT_TRUE(swfb::EncodeLossless({2, 2, {{}}}, swfb::LosslessFormat::Rgb24, false).empty());
}

}  // namespace
