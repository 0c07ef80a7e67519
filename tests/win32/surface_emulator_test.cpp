// The drawing surface the control writes into, over a real DIB section and device context.
#include "render/surface_emulator.h"

#include <gtest/gtest.h>

#include "control/service_ids.h"
#include "render/offscreen_surface.h"

namespace brim {
namespace {

class SurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(surface_.Ensure(50, 100));
    dc_ = CreateCompatibleDC(nullptr);
    previous_ = SelectObject(dc_, surface_.Bitmap());
    emulator_ = new SurfaceEmulator();
    emulator_->AddRef();
  }
  void TearDown() override {
    emulator_->Release();
    SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  uint32_t& Pixel(int x, int y) { return surface_.Pixels().Row(y)[x]; }
  IDirectDrawSurface3* Surface(HDC dc) {
    IDirectDrawSurface* s = nullptr;
    EXPECT_EQ(emulator_->GetSurfaceFromDC(dc, &s), S_OK);
    return reinterpret_cast<IDirectDrawSurface3*>(s);
  }

  OffscreenSurface surface_;
  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  SurfaceEmulator* emulator_ = nullptr;
};

TEST_F(SurfaceTest, LockDescribesTheBottomUpRectangle) {
  IDirectDrawSurface3* s = Surface(dc_);
  RECT rect{10, 20, 30, 40};
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  ASSERT_EQ(s->Lock(&rect, &desc, 0, nullptr), S_OK);
  EXPECT_EQ(desc.lpSurface, surface_.Pixels().bits + 200 * 79 + 40);
  EXPECT_EQ(desc.lPitch, -200);
  EXPECT_EQ(desc.dwWidth, 50u);
  EXPECT_EQ(desc.dwHeight, 100u);
  EXPECT_EQ(desc.dwFlags, 0x180Fu);
  EXPECT_EQ(desc.ddpfPixelFormat.dwFlags, 0x8041u);
  EXPECT_EQ(desc.ddpfPixelFormat.dwRGBAlphaBitMask, 0xFF000000u);
  EXPECT_EQ(desc.ddsCaps.dwCaps, 0x840u);
  EXPECT_EQ(Pixel(10, 20), 0x01000000u);
  EXPECT_EQ(Pixel(29, 39), 0x01000000u);
  EXPECT_EQ(s->Unlock(nullptr), S_OK);
}

TEST_F(SurfaceTest, UnlockKeepsOnlyWhatTheControlDrew) {
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 50; ++x) Pixel(x, y) = 0x12345678;
  IDirectDrawSurface3* s = Surface(dc_);
  DDSURFACEDESC desc{};
  ASSERT_EQ(s->Lock(nullptr, &desc, 0, nullptr), S_OK);  // no rectangle: the whole bitmap
  auto* top = static_cast<uint8_t*>(desc.lpSurface);
  reinterpret_cast<uint32_t*>(top)[3] = 0x00A0B0C0;                // alpha 0: opaque
  reinterpret_cast<uint32_t*>(top + desc.lPitch)[4] = 0x80402010;  // row 1: kept
  ASSERT_EQ(s->Unlock(nullptr), S_OK);
  EXPECT_EQ(Pixel(3, 0), 0xFFA0B0C0u);
  EXPECT_EQ(Pixel(4, 1), 0x80402010u);
  EXPECT_EQ(Pixel(0, 0), 0u);
  EXPECT_EQ(Pixel(49, 99), 0u);
}

TEST_F(SurfaceTest, EmptyAndOutsideRectanglesTouchNothing) {
  Pixel(5, 5) = 0x77777777;
  IDirectDrawSurface3* s = Surface(dc_);
  for (RECT r : {RECT{5, 5, 9, 5}, RECT{200, 200, 300, 300}, RECT{9, 9, 5, 5}}) {
    DDSURFACEDESC desc{};
    EXPECT_EQ(s->Lock(&r, &desc, 0, nullptr), S_OK);
    EXPECT_EQ(s->Unlock(nullptr), S_OK);
  }
  EXPECT_EQ(Pixel(5, 5), 0x77777777u);
  // Partly outside: cut to the bitmap.
  RECT partly{45, 95, 80, 130};
  DDSURFACEDESC desc{};
  EXPECT_EQ(s->Lock(&partly, &desc, 0, nullptr), S_OK);
  EXPECT_EQ(Pixel(49, 99), 0x01000000u);
  s->Unlock(nullptr);
}

TEST_F(SurfaceTest, RefusesABitmapThatIsNotA32BitSection) {
  HDC other = CreateCompatibleDC(nullptr);
  HBITMAP plain = CreateBitmap(8, 8, 1, 1, nullptr);  // monochrome, not a DIB section
  HGDIOBJ old = SelectObject(other, plain);
  IDirectDrawSurface3* s = Surface(other);
  RECT r{0, 0, 8, 8};
  DDSURFACEDESC desc{};
  desc.lpSurface = nullptr;
  EXPECT_NE(s->Lock(&r, &desc, 0, nullptr), S_OK);
  EXPECT_EQ(desc.lpSurface, nullptr);
  EXPECT_EQ(s->Unlock(nullptr), S_OK);
  SelectObject(other, old);
  DeleteObject(plain);
  DeleteDC(other);
}

TEST_F(SurfaceTest, OneSurfacePerEmulatorBoundToTheLastDC) {
  HDC other = CreateCompatibleDC(nullptr);
  IDirectDrawSurface3* first = Surface(other);
  IDirectDrawSurface3* second = Surface(dc_);
  EXPECT_EQ(first, second);
  HDC bound = nullptr;
  EXPECT_EQ(second->GetDC(&bound), S_OK);
  EXPECT_EQ(bound, dc_);
  DeleteDC(other);

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(emulator_->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(second->IsLost(), E_NOTIMPL);
  EXPECT_EQ(emulator_->Compact(), E_NOTIMPL);
}

TEST(ShapeRegion, FollowsTheOpaquePixelsInBatches) {
  OffscreenSurface surface;
  ASSERT_TRUE(surface.Ensure(30, 300));
  // Alternate opaque and transparent pixels: 15 runs a row, 4500 in all, three batches.
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 30; ++x) surface.Pixels().Row(y)[x] = x % 2 ? 0x7F000000 : 0x80000000;
  HRGN region = BuildShapeRegion(surface, RECT{0, 0, 30, 300});
  ASSERT_NE(region, nullptr);
  for (int y : {0, 150, 299}) {
    EXPECT_TRUE(PtInRegion(region, 0, y));
    EXPECT_FALSE(PtInRegion(region, 1, y)) << "alpha 127 is outside";
    EXPECT_TRUE(PtInRegion(region, 28, y)) << "alpha 128 is inside";
  }
  DeleteObject(region);

  HRGN empty = BuildShapeRegion(surface, RECT{10, 10, 10, 20});
  ASSERT_NE(empty, nullptr);
  RECT box{};
  EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION);
  DeleteObject(empty);
}

}  // namespace
}  // namespace brim
