// JPEG bitmaps of movies, decoded by the system's imaging component in the Windows build.
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <vector>

#include "player/image_decoder.h"

using Microsoft::WRL::ComPtr;

namespace swf {
namespace {

// A 16 x 8 picture, red on the left half and blue on the right, as a JPEG made by the system's
// own encoder.
std::vector<uint8_t> EncodeTestJpeg() {
  std::vector<uint8_t> jpeg;
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory,
                              reinterpret_cast<void**>(factory.GetAddressOf())))) {
    return jpeg;
  }
  ComPtr<IStream> memory;
  CreateStreamOnHGlobal(nullptr, TRUE, &memory);
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder);
  encoder->Initialize(memory.Get(), WICBitmapEncoderNoCache);
  encoder->CreateNewFrame(&frame, nullptr);
  frame->Initialize(nullptr);
  frame->SetSize(16, 8);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  frame->SetPixelFormat(&format);
  std::vector<uint8_t> bgr(16 * 8 * 3);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = &bgr[(y * 16 + x) * 3];
      p[0] = x < 8 ? 0 : 255;  // blue
      p[2] = x < 8 ? 255 : 0;  // red
    }
  frame->WritePixels(8, 16 * 3, static_cast<UINT>(bgr.size()), bgr.data());
  frame->Commit();
  encoder->Commit();
  HGLOBAL global = nullptr;
  GetHGlobalFromStream(memory.Get(), &global);
  STATSTG stat{};
  memory->Stat(&stat, STATFLAG_NONAME);
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(global));
  jpeg.assign(bytes, bytes + stat.cbSize.LowPart);
  GlobalUnlock(global);
  return jpeg;
}

TEST(JpegDecoder, DecodesWithTheSystemImagingComponent) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::vector<uint8_t> jpeg = EncodeTestJpeg();
  ASSERT_GT(jpeg.size(), 100u);

  DecodedImage image;
  ASSERT_EQ(DecodeJpeg(jpeg, 1 << 20, image), DecodeStatus::Ok);
  EXPECT_EQ(image.width, 16);
  EXPECT_EQ(image.height, 8);
  ASSERT_EQ(image.rgba.size(), 16u * 8 * 4);
  const uint8_t* left = &image.rgba[(4 * 16 + 2) * 4];
  const uint8_t* right = &image.rgba[(4 * 16 + 13) * 4];
  EXPECT_GT(left[0], 200);  // red, in red-green-blue-alpha order
  EXPECT_LT(left[2], 60);
  EXPECT_LT(right[0], 60);
  EXPECT_GT(right[2], 200);
  EXPECT_EQ(left[3], 255);

  const struct {
    std::vector<uint8_t> bytes;
    size_t maxPixels;
    DecodeStatus status;
  } refused[] = {
      {jpeg, 100, DecodeStatus::TooLarge},
      {std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 20), 1 << 20, DecodeStatus::Malformed},
      {{0xFF, 0xD8, 0x00, 0x01, 0x02}, 1 << 20, DecodeStatus::Malformed},
      {{}, 1 << 20, DecodeStatus::Malformed},
  };
  for (const auto& r : refused) {
    DecodedImage none;
    EXPECT_EQ(DecodeJpeg(r.bytes, r.maxPixels, none), r.status) << r.bytes.size();
    EXPECT_TRUE(none.rgba.empty());
  }
  CoUninitialize();
}

}  // namespace
}  // namespace swf
