// BitmapData where the script corpus does not reach: the size limits of older movies, the
// bound on all live pixels, and bitmaps drawn by the rasterizer (draw and attachBitmap).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "player/avm1/interpreter.h"
#include "player/bitmap_data.h"
#include "player/bitmap_draw.h"
#include "player/compose.h"
#include "player/display_list.h"
#include "tests/unit/pixel_support.h"

namespace {

using swf::BitmapData;
using swf::avm1::Interpreter;
using swf::avm1::Value;

TEST(BitmapData, ConstructorRefusesSizesBeyondTheMoviesVersion) {
  const struct {
    int version;
    double width, height;
    bool made;
  } cases[] = {
      {8, 2880, 1, true}, {8, 2881, 1, false}, {9, 1, 2881, false},     {10, 2881, 1, true},
      {10, 0, 5, false},  {10, -5, 5, false},  {10, 8191, 2049, false}, {10, 1.5, 2.9, true},
  };
  for (const auto& c : cases) {
    Interpreter vm(c.version, nullptr);
    const Value ctor =
        vm.GetMember(vm.GetMember(vm.GetMember(vm.Global(), "flash"), "display"), "BitmapData");
    const Value args[2] = {c.width, c.height};
    EXPECT_EQ(vm.Construct(ctor, args).IsObject(), c.made)
        << "v" << c.version << " " << c.width << "x" << c.height;
  }
}

TEST(BitmapData, LivePixelsAreBoundedAndComeBackWhenFreed) {
  std::vector<std::shared_ptr<BitmapData>> held;
  const size_t each = 4095 * 4096;
  for (size_t total = 0; total + each <= swf::kMaxLiveBitmapPixels; total += each) {
    held.push_back(BitmapData::Create(4095, 4096, false, 0));
    ASSERT_TRUE(held.back());
  }
  EXPECT_FALSE(BitmapData::Create(4095, 4096, false, 0));
  held.back()->Dispose();
  EXPECT_TRUE(BitmapData::Create(4095, 4096, false, 0));
  held.clear();
  EXPECT_TRUE(BitmapData::Create(4095, 4096, false, 0));
}

// A 2 x 2 bitmap, red, green / blue, half-transparent white, drawn scaled up 4 times.
std::shared_ptr<BitmapData> Checker() {
  auto b = BitmapData::Create(2, 2, true, 0);
  b->SetPixel32(0, 0, 0xFFFF0000);
  b->SetPixel32(1, 0, 0xFF00FF00);
  b->SetPixel32(0, 1, 0xFF0000FF);
  b->SetPixel32(1, 1, 0x80FFFFFF);
  return b;
}

TEST(BitmapData, DrawAndAttachedBitmapsGoThroughTheRasterizer) {
  const struct {
    const char* name;
    bool attached;  // shown by a clip rather than drawn into a bitmap
    swf::BlendMode blend;
    int x, y;
    uint32_t expected;
  } cases[] = {
      {"draw: top left", false, swf::BlendMode::Normal, 1, 1, 0xFFFF0000},
      {"draw: top right", false, swf::BlendMode::Normal, 6, 1, 0xFF00FF00},
      {"draw: over black", false, swf::BlendMode::Normal, 6, 6, 0xFF808080},
      {"draw: outside", false, swf::BlendMode::Normal, 9, 9, 0xFF000000},
      // Drawn onto white: difference turns the blue pixel yellow.
      {"draw: difference", false, swf::BlendMode::Difference, 1, 6, 0xFFFFFF00},
      {"attached: top left", true, swf::BlendMode::Normal, 3, 12, 0xFFFF0000},
      {"attached: bottom right", true, swf::BlendMode::Normal, 7, 16, 0x80808080},
      {"attached: outside", true, swf::BlendMode::Normal, 9, 9, pixeltest::kMarker},
  };
  for (const auto& c : cases) {
    uint32_t got = 0;
    if (c.attached) {
      // Placed at (0, 10) and scaled 4 times, as a clip's matrix in twips does.
      swf::DisplayObject root;
      root.kind = swf::DisplayKind::Root;
      auto shown = std::make_unique<swf::DisplayObject>();
      shown->kind = swf::DisplayKind::Bitmap;
      shown->bitmap = Checker();
      shown->matrix = {4, 0, 0, 4, 0, 200};
      shown->parent = &root;
      root.children[1] = std::move(shown);
      pixeltest::Surface s(20, 20);
      swf::ComposeFrame(s.canvas, swf::Movie{}, root, {1.0 / 20, 0, 0, 1.0 / 20, 0, 0});
      got = s.At(c.x, c.y);
    } else {
      const bool onWhite = c.blend != swf::BlendMode::Normal;
      auto target = BitmapData::Create(10, 10, false, onWhite ? 0xFFFFFFFF : 0xFF000000);
      swf::DrawInto how;
      how.matrix = {4, 0, 0, 4, 0, 0};
      how.blend = c.blend;
      swf::DrawImageInto(*target, Checker()->image(), how);
      got = target->GetPixel32(c.x, c.y);
    }
    EXPECT_TRUE(pixeltest::PixelNear(got, c.expected, 1)) << c.name;
  }
}

}  // namespace

// The corpus only dissolves a 2x2 area; every register width must still reach every pixel of
// an area once the count covers it, and a large seed, or one that shifts down to nothing, must
// not stall the walk.
TEST(BitmapData, DissolveReachesEveryPixelOfAnyArea) {
  const struct {
    int width, height;
    int32_t seed;
  } cases[] = {{3, 1, 0}, {3, 3, 7}, {5, 7, -1}, {17, 9, 100}, {64, 33, 0x7FFFFFFF},
               {181, 181, 12345}, {300, 301, -2}, {255, 1, 0x171}};
  for (const auto& c : cases) {
    auto src = BitmapData::Create(c.width, c.height, true, 0xFF00FF00u);
    auto dst = BitmapData::Create(c.width, c.height, true, 0);
    ASSERT_TRUE(src && dst);
    auto untouched = [&] {
      int n = 0;
      for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) n += dst->GetPixel32(x, y) == 0;
      }
      return n;
    };
    const uint32_t total = static_cast<uint32_t>(c.width * c.height);
    const swf::PixelRect all{0, 0, c.width, c.height};
    swf::PixelDissolve(*dst, *src, all, 0, 0, c.seed, total - 2, 0);
    EXPECT_EQ(untouched(), 1) << c.width << "x" << c.height;
    swf::PixelDissolve(*dst, *src, all, 0, 0, c.seed, total - 1, 0);
    EXPECT_EQ(untouched(), 0) << c.width << "x" << c.height;
  }
}
