#pragma once
// A decoded bitmap character, ready for fills: premultiplied pixels, one 32-bit word each,
// in memory order blue, green, red, alpha (the same layout as the output surface).
#include <cstdint>
#include <vector>

namespace swf {

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height, rows top to bottom
};

// How the renderer finds bitmaps by character id; the movie's dictionary implements it.
class BitmapSource {
 public:
  virtual ~BitmapSource() = default;
  virtual const Bitmap* FindBitmap(uint16_t id) const = 0;
};

}  // namespace swf
