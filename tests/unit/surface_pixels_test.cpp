// The pixel logic the window's transparency and shape rest on.
#include "render/surface_pixels.h"

#include <gtest/gtest.h>

#include <vector>

#include "render/sprite_bound.h"

namespace brim {
namespace {

struct TestBitmap {
  TestBitmap(int w, int h) : pixels(static_cast<size_t>(w) * h, 0xDEADBEEF) {
    view = {reinterpret_cast<uint8_t*>(pixels.data()), w, h, w * 4, 32};
  }
  // Top-down coordinates, stored bottom-up.
  uint32_t& At(int x, int y) {
    return pixels[static_cast<size_t>(view.height - 1 - y) * view.width + x];
  }
  std::vector<uint32_t> pixels;
  BottomUpBitmap view;
};

TEST(SurfacePixels, PrefillAndFixUpLeaveOnlyWhatWasDrawn) {
  TestBitmap b(8, 6);
  const PixelRect rect{2, 1, 6, 5};
  PrefillUndrawn(b.view, rect);
  EXPECT_EQ(b.At(2, 1), kUndrawnMarker);
  EXPECT_EQ(b.At(5, 4), kUndrawnMarker);
  EXPECT_EQ(b.At(1, 1), 0xDEADBEEFu) << "outside the rectangle nothing changes";
  EXPECT_EQ(b.At(2, 5), 0xDEADBEEFu);

  // What a control might write: opaque without alpha, half alpha, and a drawn alpha 1.
  b.At(3, 2) = 0x00112233;
  b.At(4, 2) = 0x80402010;
  b.At(5, 2) = 0xFF0000FF;
  FixUpDrawn(b.view, rect);
  EXPECT_EQ(b.At(2, 1), 0u) << "undrawn becomes fully transparent";
  EXPECT_EQ(b.At(3, 2), 0xFF112233u) << "alpha 0 becomes opaque, colour kept";
  EXPECT_EQ(b.At(4, 2), 0x80402010u);
  EXPECT_EQ(b.At(5, 2), 0xFF0000FFu);
  EXPECT_EQ(b.At(6, 2), 0xDEADBEEFu);
}

TEST(SurfacePixels, RectanglesAreCutToTheBitmap) {
  TestBitmap b(4, 4);
  for (const PixelRect r : {PixelRect{-5, -5, 100, 100}, PixelRect{3, 3, 3, 9},
                            PixelRect{10, 10, 20, 20}, PixelRect{2, 2, 1, 1}}) {
    PrefillUndrawn(b.view, r);
    FixUpDrawn(b.view, r);
  }
  for (uint32_t p : b.pixels) EXPECT_EQ(p, 0u);  // only the first, clipped, covered anything
  BottomUpBitmap wrongDepth = b.view;
  wrongDepth.bitsPerPixel = 24;
  b.At(0, 0) = 7;
  PrefillUndrawn(wrongDepth, {0, 0, 4, 4});
  EXPECT_EQ(b.At(0, 0), 7u) << "a bitmap that is not 32-bit is left alone";
}

TEST(SurfacePixels, LockedAddressPointsAtTheTopLeftPixelOfABottomUpRectangle) {
  std::vector<uint8_t> memory(50 * 4 * 100);
  BottomUpBitmap b{memory.data(), 50, 100, 200, 32};
  EXPECT_EQ(LockedAddress(b, {10, 20, 30, 40}), memory.data() + 200 * 79 + 40);
}

class CollectRuns : public RunSink {
 public:
  void AddRun(const PixelRect& r) override { runs.push_back(r); }
  std::vector<PixelRect> runs;
};

TEST(SurfacePixels, OpaqueRunsFollowTheThresholdAndStraightenColour) {
  TestBitmap b(6, 2);
  const uint32_t row0[6] = {0xFF000000, 0x80000000, 0x7F000000, 0xC8000000 | (50 << 8) | 100,
                            0,          0xFFFFFFFF};
  for (int x = 0; x < 6; ++x) {
    b.At(x, 0) = row0[x];
    b.At(x, 1) = 0x7F7F7F7F;
  }
  CollectRuns runs;
  ScanOpaqueRuns(b.view, {0, 0, 6, 2}, runs);
  const std::vector<PixelRect> expected = {{0, 0, 2, 1}, {3, 0, 4, 1}, {5, 0, 6, 1}};
  EXPECT_EQ(runs.runs, expected);
  EXPECT_EQ(b.At(3, 0), 0xC8000000u | (63 << 8) | 127) << "alpha 200: (100, 50, 0) -> (127, 63, 0)";
  EXPECT_EQ(b.At(5, 0), 0xFFFFFFFFu);
  EXPECT_EQ(b.At(2, 0), 0x7F000000u) << "pixels outside the shape are untouched";
}

class CountBatches : public RunBatcher::BatchSink {
 public:
  void Flush(const RunBatcher::Batch& batch) override {
    sizes.push_back(batch.rects.size());
    bounds.push_back(batch.bound);
  }
  std::vector<size_t> sizes;
  std::vector<PixelRect> bounds;
};

TEST(SurfacePixels, RunsAreBatchedInTwoThousands) {
  const struct {
    int width, height;
    bool alternate;
    std::vector<size_t> batches;
  } cases[] = {
      {30, 300, true, {2000, 2000, 500}},  // 15 runs a row
      {40, 25, false, {25}},               // one run per row of a full rectangle
      {0, 0, false, {0}},                  // nothing at all still makes one (empty) piece
  };
  for (const auto& c : cases) {
    TestBitmap b(std::max(c.width, 1), std::max(c.height, 1));
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) b.At(x, y) = (!c.alternate || x % 2 == 0) ? 0xFF000000 : 0;
    CountBatches batches;
    RunBatcher batcher(batches);
    ScanOpaqueRuns(b.view, {0, 0, c.width, c.height}, batcher);
    batcher.Finish();
    EXPECT_EQ(batches.sizes, c.batches);
  }
}

TEST(SpriteBound, MapsMovieValuesIntoTheClientArea) {
  const struct {
    SpriteBoundValues v;
    int cw, ch, mw, mh, mode;
    PixelRect expected;
  } cases[] = {
      {{10, 20, 5, 15}, 200, 200, 100, 100, 2, {20, 10, 41, 31}},     // exact fit
      {{0, 100, 0, 50}, 200, 200, 100, 50, 0, {0, 50, 201, 151}},     // show all: moved down 50
      {{0, 100, 0, 50}, 200, 200, 100, 50, 1, {-100, 0, 301, 201}},   // no border
      {{10, 20, 10, 20}, 300, 200, 100, 100, 3, {110, 60, 121, 71}},  // no scale, centred
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MapSpriteBound(c.v, c.cw, c.ch, c.mw, c.mh, c.mode), c.expected) << c.mode;
  }
}

TEST(SpriteBound, ParsesNumbersAsMovieVariablesDo) {
  const struct {
    const wchar_t* text;
    int value;
  } cases[] = {{L"42", 42}, {L"  -17px", -17}, {L"+8", 8},  {L"abc", 0},
               {L"", 0},    {nullptr, 0},      {L"3.9", 3}, {L"99999999999", INT32_MAX}};
  for (const auto& c : cases) EXPECT_EQ(ParseMovieInteger(c.text), c.value);
}

}  // namespace
}  // namespace brim
