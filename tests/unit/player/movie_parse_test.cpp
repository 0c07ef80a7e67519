// Reading movies into plain data: the container, each definition and control tag, and the
// refusal of damaged files.
#include <gtest/gtest.h>

#include <optional>
#include <variant>

#include "player/bitmap_parser.h"
#include "player/movie.h"
#include "tests/unit/player/jpeg_encode.h"
#include "tools/swf_builder.h"

namespace {

using swf::ErrorKind;
using swf::TagCode;

swf::MovieError Parse(const std::vector<uint8_t>& file, swf::Movie& movie) {
  return swf::ParseMovie(file, movie);
}

swfb::Shape Square(swf::Rgba color) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid(color)));
  s.Rectangle({0, 200, 0, 200});
  return s;
}

TEST(MovieParse, ReadsHeaderOfPlainAndCompressedFiles) {
  for (bool compressed : {false, true}) {
    swfb::MovieHeader h;
    h.version = 7;
    h.stage = {0, 5500, 0, 4000};
    h.frameRate = 12.5;
    h.compressed = compressed;
    swfb::Movie m(h);
    m.SetBackgroundColor({10, 20, 30, 255});
    m.ShowFrame().FrameLabel("two").ShowFrame();
    swf::Movie movie;
    ASSERT_TRUE(Parse(m.Build(), movie).Ok()) << compressed;
    EXPECT_EQ(movie.header.version, 7);
    EXPECT_EQ(movie.header.stage, (swf::TwipsRect{0, 5500, 0, 4000}));
    EXPECT_EQ(movie.header.frameRate.raw, 12 * 256 + 128);
    EXPECT_EQ(movie.header.frameCount, 2);
    EXPECT_EQ(movie.background, (swf::Rgba{10, 20, 30, 255}));
    ASSERT_EQ(movie.timeline.frames.size(), 2u);
    EXPECT_EQ(movie.timeline.FindLabel("TWO"), 1u);
    EXPECT_FALSE(movie.timeline.FindLabel("three"));
  }
}

TEST(MovieParse, RefusesDamagedFilesWithKindAndTag) {
  auto build = [](auto edit, swfb::MovieHeader h = {}) {
    swfb::Movie m(h);
    edit(m);
    m.ShowFrame();
    return m.Build();
  };
  const auto good = build([](swfb::Movie&) {});
  auto cut = [](std::vector<uint8_t> v, size_t n) {
    v.resize(v.size() - n);
    return v;
  };
  swfb::MovieHeader compressed;
  compressed.compressed = true;
  auto corrupt = build([](swfb::Movie& m) { m.ShowFrame(); }, compressed);
  corrupt[8] = 0;  // zlib header: no such compression method
  swfb::MovieHeader huge;
  huge.fileLength = 0x7FFFFFFF;
  swfb::MovieHeader tiny;
  tiny.fileLength = 4;

  const std::vector<uint8_t> lossless32k = [] {
    swfb::Writer w;
    w.U16(1);
    w.U8(5);
    w.U16(0xFFFF);
    w.U16(0xFFFF);
    return w.Take();
  }();
  const std::vector<uint8_t> losslessShort = [] {
    swfb::Writer w;
    w.U16(1);
    w.U8(5);
    w.U16(4);
    w.U16(4);
    const std::vector<uint8_t> few(20, 0x55);  // 64 bytes are needed
    w.Bytes(swfb::Deflate(few));
    return w.Take();
  }();

  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    ErrorKind kind;
    uint16_t tag;
  };
  const uint8_t shapeCut[] = {1, 0, 0x50};
  const uint8_t badFill[] = {1, 0, 0, 1, 0x77};  // empty bounds, one fill of unknown type
  const uint8_t place2Cut[] = {0x02, 1};
  const std::vector<Case> cases = {
      {"empty", {}, ErrorKind::NotSwf, swf::kNoTag},
      {"short", {'F', 'W', 'S', 8}, ErrorKind::NotSwf, swf::kNoTag},
      {"signature", {'X', 'W', 'S', 8, 30, 0, 0, 0, 0}, ErrorKind::NotSwf, swf::kNoTag},
      {"lzma",
       {'Z', 'W', 'S', 13, 30, 0, 0, 0, 0, 0, 0, 0},
       ErrorKind::UnsupportedCompression,
       swf::kNoTag},
      {"length below prefix", build([](swfb::Movie&) {}, tiny), ErrorKind::Malformed, swf::kNoTag},
      {"length beyond limit", build([](swfb::Movie&) {}, huge), ErrorKind::TooLarge, swf::kNoTag},
      {"cut plain file", cut(good, 1), ErrorKind::Truncated, swf::kNoTag},
      {"cut compressed file", cut(build([](swfb::Movie&) {}, compressed), 6), ErrorKind::Truncated,
       swf::kNoTag},
      {"corrupt compressed file", corrupt, ErrorKind::CorruptCompressedData, swf::kNoTag},
      {"tag longer than file", build([](swfb::Movie& m) {
         m.AppendRaw(std::vector<uint8_t>{0xBF, 0x00, 0xFF, 0, 0, 0});
       }),
       ErrorKind::Truncated, 2},
      {"cut shape", build([&](swfb::Movie& m) { m.Tag(swfb::TagCode::DefineShape, shapeCut); }),
       ErrorKind::Truncated, 2},
      {"unknown fill type",
       build([&](swfb::Movie& m) { m.Tag(swfb::TagCode::DefineShape, badFill); }),
       ErrorKind::Malformed, 2},
      {"cut PlaceObject2",
       build([&](swfb::Movie& m) { m.Tag(swfb::TagCode::PlaceObject2, place2Cut); }),
       ErrorKind::Truncated, 26},
      {"bitmap beyond pixel limit",
       build([&](swfb::Movie& m) { m.Tag(swfb::TagCode::DefineBitsLossless, lossless32k); }),
       ErrorKind::TooLarge, 20},
      {"bitmap data short",
       build([&](swfb::Movie& m) { m.Tag(swfb::TagCode::DefineBitsLossless, losslessShort); }),
       ErrorKind::Truncated, 20},
  };
  for (const Case& c : cases) {
    swf::Movie movie;
    const swf::MovieError e = Parse(c.file, movie);
    EXPECT_EQ(e.kind, c.kind) << c.name << ": " << swf::ErrorKindName(e.kind);
    EXPECT_EQ(e.tag, c.tag) << c.name;
  }
}

TEST(MovieParse, SkipsUnknownTagsAndKeepsFirstDefinition) {
  swfb::Movie m;
  const uint8_t junk[] = {1, 2, 3, 4, 5};
  m.Tag(777, junk);
  m.Tag(777, std::vector<uint8_t>(100, 9), true);
  m.DefineShape(Square({255, 0, 0, 255}), 3, 5);
  m.DefineShape(Square({0, 255, 0, 255}), 3, 5);
  m.ShowFrame();
  swf::Movie movie;
  ASSERT_TRUE(Parse(m.Build(), movie).Ok());
  const auto* shape = std::get_if<swf::Shape>(movie.Find(5));
  ASSERT_TRUE(shape);
  ASSERT_EQ(shape->fills.size(), 1u);
  EXPECT_EQ(shape->fills[0].color, (swf::Rgba{255, 0, 0, 255}));
}

}  // namespace

// A download that stopped early: what arrived whole plays, and a file with nothing to show
// or run before the cut is still refused as truncated.
TEST(MovieParse, PlaysWhatArrivedOfACutFile) {
  auto build = [](bool compressed, std::optional<uint32_t> declared = {}) {
    swfb::MovieHeader h;
    h.compressed = compressed;
    h.fileLength = declared;
    swfb::Movie m(h);
    m.PlaceObject(m.DefineShape(Square({255, 0, 0, 255})), 1, {});
    m.ShowFrame();
    // A tag long enough to cut inside, of bytes that do not compress: cutting the end of the
    // compressed stream then cuts this tag.
    std::vector<uint8_t> noise(40);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 151 + 17);
    m.DoAction(noise);
    m.ShowFrame();
    return m.Build();
  };
  auto cut = [](std::vector<uint8_t> v, size_t n) {
    v.resize(v.size() - n);
    return v;
  };
  const size_t whole = build(false).size();
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    size_t frames;  // 0: refused as truncated
  } cases[] = {
      {"plain, cut inside the last action tag", cut(build(false), 20), 1},
      {"compressed, stream cut short", cut(build(true), 12), 1},
      {"declared longer than the file", build(false, static_cast<uint32_t>(whole + 100)), 2},
      {"cut inside the header", cut(build(false), whole - 12), 0},
      {"cut before anything to show", cut(build(false), whole - 30), 0},
  };
  for (const auto& c : cases) {
    swf::Movie movie;
    const swf::MovieError e = Parse(c.file, movie);
    if (c.frames == 0) {
      EXPECT_EQ(e.kind, ErrorKind::Truncated) << c.name;
      EXPECT_TRUE(movie.timeline.frames.empty()) << c.name;
      continue;
    }
    ASSERT_TRUE(e.Ok()) << c.name << ": " << swf::ErrorKindName(e.kind);
    ASSERT_EQ(movie.timeline.frames.size(), c.frames) << c.name;
    EXPECT_EQ(movie.timeline.frames[0].commands.size(), 1u) << c.name;
    EXPECT_TRUE(std::get_if<swf::Shape>(movie.Find(1))) << c.name;
  }
}
