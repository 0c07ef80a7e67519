// Device-font text drawn into a 32-bit surface: without the hook GDI leaves alpha 0 where it
// draws; with it the drawn pixels are opaque and every other pixel is exactly as it was. The
// hook is put on this test program's own imports of ExtTextOutW, which the calls below use.
#include "render/text_output_hook.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "base/handles.h"

namespace brim {
namespace {

constexpr int kWidth = 160, kHeight = 48;
constexpr uint32_t kUntouched = 0x00123456;  // a pixel no drawing reaches keeps this

struct Counts {
  int changed = 0;      // pixels the drawing reached
  int transparent = 0;  // of those, left with alpha 0
  int opaqueRed = 0;    // full text colour, opaque (edges may be smoothed into other colours)
  int opaqueBlue = 0;   // background-box colour, opaque
  int untouched = 0;
};

Counts Draw(UINT options, const RECT* box) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int i = 0; i < kWidth * kHeight; ++i) pixels[i] = kUntouched;
  const SelectGuard selected(dc.get(), bitmap.get());
  const SelectGuard font(dc.get(), GetStockObject(SYSTEM_FONT));
  SetBkMode(dc.get(), TRANSPARENT);
  SetTextColor(dc.get(), RGB(255, 0, 0));
  SetBkColor(dc.get(), RGB(0, 0, 255));
  ExtTextOutW(dc.get(), 8, 8, options, box, L"Hello", 5, nullptr);
  GdiFlush();
  Counts counts;
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const uint32_t p = pixels[i];
    if (p == kUntouched) {
      ++counts.untouched;
      continue;
    }
    ++counts.changed;
    counts.transparent += (p >> 24) == 0;
    counts.opaqueRed += p == 0xFFFF0000;
    counts.opaqueBlue += p == 0xFF0000FF;
  }
  return counts;
}

void AnchorInThisProgram() {}

TEST(TextOutHook, MakesWhatGdiDrawsOpaqueAndLeavesTheRest) {
  const RECT box{100, 4, 150, 40};
  const Counts plain = Draw(0, nullptr);
  ASSERT_GT(plain.transparent, 20) << "GDI draws text with alpha 0 on a 32-bit surface";
  ASSERT_EQ(plain.transparent, plain.changed);

  TextOutHook hook;
  ASSERT_TRUE(hook.Install(reinterpret_cast<const void*>(&AnchorInThisProgram)));
  const Counts text = Draw(0, nullptr);
  EXPECT_EQ(text.transparent, 0);
  EXPECT_EQ(text.changed, plain.changed);  // the same pixels, now opaque
  EXPECT_GT(text.opaqueRed, 0);

  // A background box alone, and text with its box: the box is opaque in its own colour.
  const Counts fill = Draw(ETO_OPAQUE, &box);
  EXPECT_EQ(fill.opaqueBlue, 50 * 36);
  EXPECT_EQ(fill.untouched, kWidth * kHeight - 50 * 36);
  const RECT around{4, 4, 80, 40};
  const Counts both = Draw(ETO_OPAQUE | ETO_CLIPPED, &around);
  EXPECT_EQ(both.transparent, 0);
  EXPECT_GT(both.opaqueRed, 0);
  EXPECT_GT(both.opaqueBlue, 0);
  EXPECT_EQ(both.changed, 76 * 36);
  EXPECT_EQ(Draw(ETO_OPAQUE, nullptr).untouched, kWidth * kHeight);  // nothing to fill

  hook.Remove();
  EXPECT_EQ(Draw(0, nullptr).transparent, plain.transparent);
}

}  // namespace
}  // namespace brim
