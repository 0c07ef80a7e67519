#pragma once
// Decoding compressed image data that a movie embeds. Each platform build provides it: the
// native build with libjpeg-turbo, the Windows build with the system's imaging component.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace swf {

enum class DecodeStatus : uint8_t { Ok, Unsupported, Malformed, TooLarge };

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // straight alpha, 4 bytes a pixel, rows top to bottom
};

// Decodes a complete JPEG stream (SOI to EOI). Images of more than `maxPixels` pixels are
// refused with TooLarge before any pixel memory is taken.
DecodeStatus DecodeJpeg(std::span<const uint8_t> jpeg, size_t maxPixels, DecodedImage& out);

}  // namespace swf
