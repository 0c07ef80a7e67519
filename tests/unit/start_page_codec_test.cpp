#include "app/start_page_codec.h"

#include <gtest/gtest.h>

#include "tests/unit/byte_support.h"

namespace brim {
namespace {

using namespace bytetest;

// Worked by hand: word 5 is scrambled with stored word 1, not with the key.
TEST(StartPageCodec, MatchesAWorkedExample) {
  const StartPageKey key = {0x10, 0x20, 0x30, 0x40};
  const Bytes movie = Words({1, 2, 3, 4});
  const Bytes resource = Words({0xEA, 0x30, 0x31, 0x42, 0x13, 0x34});
  EXPECT_EQ(ScrambleStartPage(movie, key), resource);
  Bytes out;
  ASSERT_EQ(UnscrambleStartPage(resource, key, out), StartPageStatus::Ok);
  EXPECT_EQ(out, movie);
}

TEST(StartPageCodec, RoundTripsEveryPaddingAndARealSizedMovie) {
  std::vector<size_t> sizes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 48 * 1024 + 3};
  for (size_t size : sizes) {
    SCOPED_TRACE(size);
    const Bytes movie = Noise(size, static_cast<uint32_t>(size));
    const Bytes resource = ScrambleStartPage(movie, kStartPageKey);
    EXPECT_EQ(resource.size(), 8 + (size + 3) / 4 * 4);
    Bytes out;
    ASSERT_EQ(UnscrambleStartPage(resource, kStartPageKey, out), StartPageStatus::Ok);
    EXPECT_EQ(out, movie);
    // Bytes past the last whole word are not part of the resource.
    Bytes padded = resource;
    padded.insert(padded.end(), {0xAB, 0xCD, 0xEF});
    ASSERT_EQ(UnscrambleStartPage(padded, kStartPageKey, out), StartPageStatus::Ok);
    EXPECT_EQ(out, movie);
  }
}

TEST(StartPageCodec, RefusesAResourceWithAnyStoredWordChanged) {
  const Bytes resource = ScrambleStartPage(Noise(37, 1), kStartPageKey);
  for (size_t byte = 0; byte < resource.size(); ++byte) {
    Bytes damaged = resource;
    damaged[byte] ^= 0x10;
    Bytes out = {1, 2, 3};
    EXPECT_EQ(UnscrambleStartPage(damaged, kStartPageKey, out), StartPageStatus::ChecksumMismatch)
        << "byte " << byte;
    EXPECT_TRUE(out.empty());
  }
}

TEST(StartPageCodec, RefusesFewerThanTwoWords) {
  for (size_t size = 0; size < 8; ++size) {
    Bytes out;
    EXPECT_EQ(UnscrambleStartPage(Bytes(size, 0), kStartPageKey, out), StartPageStatus::TooSmall);
  }
}

TEST(StartPageCodec, ClampsALengthBeyondTheResource) {
  const Bytes movie = Noise(8, 2);
  Bytes resource = ScrambleStartPage(movie, kStartPageKey);
  ASSERT_EQ(resource.size(), 16u);
  // Flipping bits of stored word 1 flips the same bits of the length and nothing else here;
  // the checksum is then corrected to match.
  resource[5] ^= 0x01;  // length 8 ^ 0x100
  uint32_t checksum = 0;
  for (size_t i = 4; i < resource.size(); ++i) checksum += uint32_t{resource[i]} << (8 * (i % 4));
  resource = [&] {
    Bytes fixed = Words({checksum});
    fixed.insert(fixed.end(), resource.begin() + 4, resource.end());
    return fixed;
  }();
  Bytes out;
  ASSERT_EQ(UnscrambleStartPage(resource, kStartPageKey, out), StartPageStatus::Ok);
  EXPECT_EQ(out, movie);
}

}  // namespace
}  // namespace brim
