#include "app/swf_header.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/swf_builder.h"
#include "tests/unit/byte_support.h"

namespace brim {
namespace {

using namespace bytetest;

struct Stage {
  int32_t xMin, xMax, yMin, yMax;
};

// The stage RECT encoded here bit by bit, so that the reader is checked against an encoding
// of its own rather than against the test builder's.
void PutRect(Bytes& out, const Stage& r) {
  auto bitsFor = [](int64_t v) {
    unsigned n = 1;
    while (v < -(int64_t{1} << (n - 1)) || v >= (int64_t{1} << (n - 1))) ++n;
    return n;
  };
  const unsigned n = std::max({bitsFor(r.xMin), bitsFor(r.xMax), bitsFor(r.yMin), bitsFor(r.yMax)});
  std::vector<bool> bits;
  auto put = [&](uint32_t v, unsigned count) {
    for (unsigned i = count; i-- > 0;) bits.push_back((v >> i) & 1);
  };
  put(n, 5);
  for (int32_t v : {r.xMin, r.xMax, r.yMin, r.yMax}) put(static_cast<uint32_t>(v), n);
  for (size_t i = 0; i < bits.size(); i += 8) {
    uint8_t byte = 0;
    for (size_t j = 0; j < 8; ++j) byte |= (i + j < bits.size() && bits[i + j]) << (7 - j);
    out.push_back(byte);
  }
}

// Header, frame rate and count, `filler` bytes that do not compress, and an End tag.
Bytes MakeSwf(const Stage& stage, bool compressed, size_t filler = 16) {
  Bytes body;
  PutRect(body, stage);
  body.insert(body.end(), {0, 24, 1, 0});
  const Bytes noise = Noise(filler, 12345);
  body.insert(body.end(), noise.begin(), noise.end());
  body.insert(body.end(), {0, 0});
  Bytes file = {compressed ? uint8_t('C') : uint8_t('F'), 'W', 'S', 8};
  Put32(file, static_cast<uint32_t>(8 + body.size()));
  if (compressed) body = swfb::Deflate(body);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

std::string WriteTemp(const std::string& name, const Bytes& bytes) {
  const std::string path = testing::TempDir() + "swf_header_test_" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

TEST(SwfHeader, StageSizeRoundsTwipsToPixelsHalfAwayFromZero) {
  const struct {
    const char* what;
    Stage stage;
    int width, height;
  } cases[] = {
      {"ordinary stage", {0, 11000, 0, 8000}, 550, 400},
      {"half pixel", {0, 11010, 0, 8000}, 551, 400},
      {"origin left of zero", {-200, 10800, 0, 8000}, 550, 400},
      {"inverted rectangle", {0, -11010, 0, -10}, -551, -1},
      {"empty rectangle", {0, 0, 0, 0}, 0, 0},
      {"widest fields", {-(1 << 30), (1 << 30) - 1, 0, 1}, 107374182, 0},
  };
  for (const auto& c : cases) {
    for (bool compressed : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (compressed ? " (CWS)" : " (FWS)"));
      const std::string path = WriteTemp("stage", MakeSwf(c.stage, compressed));
      int width = -7, height = -7;
      ASSERT_EQ(ReadStageSize(path.c_str(), &width, &height), 0);
      EXPECT_EQ(width, c.width);
      EXPECT_EQ(height, c.height);
    }
  }
}

TEST(SwfHeader, ReadsExactlyTheRequestedBytesOrFails) {
  const Stage stage{0, 11000, 0, 8000};
  const Bytes plain = MakeSwf(stage, false, 3000);
  const Bytes packed = MakeSwf(stage, true, 3000);
  ASSERT_GT(packed.size(), 2048u);  // the inflater has to come back for more input
  Bytes cut = packed;
  cut.resize(packed.size() / 2);
  Bytes corrupt = packed;
  for (size_t i = 8; i < corrupt.size(); ++i) corrupt[i] ^= 0x5A;
  Bytes unknown = plain;
  unknown[0] = 'Z';

  const struct {
    const char* what;
    Bytes file;
    size_t size;
    int result;
  } cases[] = {
      {"whole FWS file", plain, plain.size(), 1},
      {"whole CWS file", packed, plain.size(), 1},
      {"smallest request", packed, 25, 1},
      {"request below a stage rectangle", plain, 24, 0},
      {"FWS shorter than asked", plain, plain.size() + 1, 0},
      {"CWS shorter than asked", packed, plain.size() + 1, 0},
      {"CWS cut in half", cut, plain.size(), 0},
      {"CWS with corrupt data", corrupt, plain.size(), 0},
      {"unknown signature", unknown, 25, 0},
      {"signature only", Bytes{'F', 'W', 'S'}, 25, 0},
      {"empty file", Bytes{}, 25, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes fromFile(c.size), fromBytes(c.size);
    const std::string path = WriteTemp("read", c.file);
    EXPECT_EQ(ReadSwfHeader(path.c_str(), fromFile.data(), c.size), c.result);
    EXPECT_EQ(ReadSwfHeaderFromBytes(c.file, fromBytes.data(), c.size), c.result);
    if (c.result == 1) {
      EXPECT_EQ(fromFile, Bytes(plain.begin(), plain.begin() + c.size));
      EXPECT_EQ(fromBytes, fromFile);
    }
  }
}

TEST(SwfHeader, StageSizeFailureLeavesTheOutputsAlone) {
  Bytes truncated = MakeSwf({0, 11000, 0, 8000}, true);
  truncated.resize(12);
  const std::string missing = testing::TempDir() + "swf_header_test_missing.swf";
  std::remove(missing.c_str());
  for (const std::string& path : {missing, WriteTemp("truncated", truncated)}) {
    int width = 17, height = 19;
    EXPECT_EQ(ReadStageSize(path.c_str(), &width, &height), -1);
    EXPECT_EQ(width, 17);
    EXPECT_EQ(height, 19);
  }
  const std::string good = WriteTemp("good", MakeSwf({0, 20, 0, 20}, false));
  int size = 0;
  EXPECT_EQ(ReadStageSize(good.c_str(), nullptr, &size), -1);
  EXPECT_EQ(ReadStageSize(good.c_str(), &size, nullptr), -1);
  EXPECT_EQ(ReadStageSize(nullptr, &size, &size), -1);
}

TEST(SwfHeader, HugeStagesAreFittedIntoTheWindowLimitWithTheirProportions) {
  const struct {
    int width, height;        // the stage
    int fitWidth, fitHeight;  // the window
  } cases[] = {
      {550, 400, 550, 400},         {8192, 8192, 8192, 8192},   {8193, 100, 8192, 100},
      {20000, 20000, 8192, 8192},   {20000, 10000, 8192, 4096}, {10000, 30000, 2731, 8192},
      {1000000, 1, 8192, 1},        {0, 20000, 0, 8192},
  };
  for (const auto& c : cases) {
    int width = c.width, height = c.height;
    FitStageToWindowLimit(&width, &height);
    EXPECT_EQ(width, c.fitWidth) << c.width << "x" << c.height;
    EXPECT_EQ(height, c.fitHeight) << c.width << "x" << c.height;
  }
}

}  // namespace
}  // namespace brim
