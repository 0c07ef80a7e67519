// The builder's primitive records against bytes worked out by hand. The engine's parse tests
// read builder movies back, but a builder and parser agreeing on a wrong bit layout would pass
// them; these pin the layout. Bit fields are spelled out field by field, most significant first.
#include "tools/swf_builder.h"

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

TEST(SwfBuilderRecords, RectUsesTheFewestBitsThatHoldEveryCoordinate) {
  const struct {
    swfb::Rect rect;
    Bytes expected;
  } cases[] = {
      // A 550 x 400 stage: 15-bit fields.
      {{0, 11000, 0, 8000}, {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}},
      {{0, 0, 0, 0}, {0x00}},  // an empty rectangle needs no bits at all
      // Negative values: -1 needs one bit, 1 needs two.
      {{-1, 0, -1, 0}, FromBits("00001 1 0 1 0")},
      {{-1, 1, 0, 0}, FromBits("00010 11 01 00 00")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Encoded([&](swfb::Writer& w) { swfb::WriteRect(w, c.rect); }), c.expected)
        << c.rect.xMin << ".." << c.rect.xMax;
  }
}

TEST(SwfBuilderRecords, MatrixWritesScaleAndRotateOnlyWhenNeeded) {
  swfb::Matrix full;
  full.scaleX = 0x18000;  // 1.5
  full.scaleY = -0x10000;
  full.rotateSkew0 = 0x4000;
  full.rotateSkew1 = -0x4000;
  swfb::Matrix forcedIdentity;
  forcedIdentity.forceScale = true;
  const struct {
    const char* what;
    swfb::Matrix matrix;
    Bytes expected;
  } cases[] = {
      {"translation", swfb::Matrix::Translate(100, -40), FromBits("0 0 01000 01100100 11011000")},
      {"identity", {}, FromBits("0 0 00000")},
      {"scale and rotate", full,
       FromBits("1 10010 011000000000000000 110000000000000000"
                "1 10000 0100000000000000 1100000000000000 00000")},
      {"forced scale of 1.0", forcedIdentity,
       FromBits("1 10010 010000000000000000 010000000000000000 0 00000")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Encoded([&](swfb::Writer& w) { swfb::WriteMatrix(w, c.matrix); }), c.expected)
        << c.what;
  }
}

TEST(SwfBuilderRecords, ColorTransformWritesAlphaTermsOnlyWithAlpha) {
  swfb::ColorTransform both;
  both.gMul = 128;
  both.bMul = 64;
  both.aMul = 128;
  both.rAdd = -16;
  both.bAdd = 32;
  swfb::ColorTransform fadeOnly;
  fadeOnly.aAdd = -128;
  const struct {
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
  for (const auto& c : cases) {
    EXPECT_EQ(Encoded([&](swfb::Writer& w) { swfb::WriteColorTransform(w, c.cx, c.withAlpha); }),
              c.expected)
        << c.what;
  }
}

TEST(SwfBuilderRecords, TagHeaderTurnsLongAtSixtyThreeBytes) {
  const struct {
    size_t length;
    bool forceLong;
    Bytes header;  // DoAction, code 12
  } cases[] = {
      {62, false, {0x3E, 0x03}},
      {63, false, {0x3F, 0x03, 0x3F, 0x00, 0x00, 0x00}},
      {300, false, {0x3F, 0x03, 0x2C, 0x01, 0x00, 0x00}},
      {0, true, {0x3F, 0x03, 0x00, 0x00, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    swfb::Sprite t;
    const Bytes body(c.length, 0x07);
    t.Tag(swfb::TagCode::DoAction, body, c.forceLong);
    Bytes expected = c.header;
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(t.Tags(), expected) << c.length << (c.forceLong ? " forced" : "");
  }
}

TEST(SwfBuilderMovie, CompressedMovieInflatesToThePlainBodyWithTheSameLength) {
  auto build = [](bool compressed) {
    swfb::MovieHeader h;
    h.version = 10;
    h.compressed = compressed;
    swfb::Movie m(h);
    m.SetBackgroundColor({0x10, 0x20, 0x30, 0xFF});
    m.ShowFrame();
    return m.Build();
  };
  const Bytes plain = build(false), packed = build(true);
  ASSERT_GE(packed.size(), 8u);
  EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 4), (Bytes{'C', 'W', 'S', 10}));
  // Both forms give the uncompressed file's size.
  auto length = [](const Bytes& b) { return b[4] | b[5] << 8 | b[6] << 16 | uint32_t{b[7]} << 24; };
  EXPECT_EQ(length(packed), plain.size());
  EXPECT_EQ(length(plain), plain.size());

  Bytes body(plain.size());
  uLongf got = static_cast<uLongf>(body.size());
  ASSERT_EQ(uncompress(body.data(), &got, packed.data() + 8, packed.size() - 8), Z_OK);
  body.resize(got);
  EXPECT_EQ(body, Bytes(plain.begin() + 8, plain.end()));
}

}  // namespace
