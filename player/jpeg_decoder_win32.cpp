// The Windows build decodes JPEG with the system's imaging component, so that the player
// control carries no JPEG library of its own.
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <utility>

#include "player/image_decoder.h"

using Microsoft::WRL::ComPtr;

namespace swf {
namespace {

// Spelled out here rather than taken from import libraries that may not carry them.
constexpr CLSID kClsidImagingFactory = {
    0xCACAF262, 0x9370, 0x4615, {0xA1, 0x3B, 0x9F, 0x55, 0x39, 0xDA, 0x4C, 0x0A}};
constexpr IID kIidImagingFactory = {
    0xEC5EC8A9, 0xC395, 0x4314, {0x9C, 0x77, 0x54, 0xD7, 0xA9, 0x35, 0xFF, 0x70}};
constexpr GUID kContainerJpeg = {
    0x19E4A5AA, 0x5662, 0x4FC5, {0xA0, 0xC0, 0x17, 0x58, 0x02, 0x8E, 0x10, 0x57}};
constexpr GUID kFormat32bppBgra = {
    0x6FDDC324, 0x4E03, 0x4BFE, {0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9, 0x0F}};

// COM for the duration of one decode when the calling thread has none yet.
class ComScope {
 public:
  ComScope() : owned_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (owned_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool owned_;
};

}  // namespace

DecodeStatus DecodeJpeg(std::span<const uint8_t> jpeg, size_t maxPixels, DecodedImage& out) {
  out = {};
  if (jpeg.empty() || jpeg.size() > MAXDWORD) return DecodeStatus::Malformed;
  ComScope com;
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(kClsidImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              kIidImagingFactory,
                              reinterpret_cast<void**>(factory.GetAddressOf())))) {
    return DecodeStatus::Unsupported;
  }
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(jpeg.data()),
                                          static_cast<DWORD>(jpeg.size())))) {
    return DecodeStatus::Unsupported;
  }
  if (FAILED(factory->CreateDecoder(kContainerJpeg, nullptr, &decoder))) {
    return DecodeStatus::Unsupported;
  }
  if (FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)) ||
      FAILED(decoder->GetFrame(0, &frame))) {
    return DecodeStatus::Malformed;
  }
  UINT width = 0, height = 0;
  if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0) {
    return DecodeStatus::Malformed;
  }
  if (static_cast<uint64_t>(width) * height > maxPixels) return DecodeStatus::TooLarge;

  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), kFormat32bppBgra, WICBitmapDitherTypeNone, nullptr,
                                   0.0, WICBitmapPaletteTypeCustom))) {
    return DecodeStatus::Unsupported;
  }
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size()),
                                   pixels.data()))) {
    return DecodeStatus::Malformed;
  }
  for (size_t i = 0; i < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.rgba = std::move(pixels);
  return DecodeStatus::Ok;
}

}  // namespace swf
