// The Windows build decodes JPEG through the system's imaging component; until that lands,
// movies' JPEG bitmaps are reported as unsupported and draw nothing.
#include "player/image_decoder.h"

namespace swf {

DecodeStatus DecodeJpeg(std::span<const uint8_t>, size_t, DecodedImage& out) {
  out = {};
  return DecodeStatus::Unsupported;
}

}  // namespace swf
