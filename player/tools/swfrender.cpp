// swfrender: draws one frame of a movie into a PNG file.
//   swfrender movie.swf --frame N --out frame.png [--width W --height H --scale MODE]
//             [--quality Q]
// Frames count from 1 (the first frame is 1). MODE is 0 show all, 1 no border, 2 exact fit,
// 3 no scale; the size defaults to the stage's. Q is 0 low, 1 medium, 2 high (the default), 3 best.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/player.h"
#include "player/text/device_fonts_native.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: swfrender movie.swf --frame N --out frame.png "
               "[--width W --height H --scale 0|1|2|3] [--quality 0|1|2|3] [--transparent]\n");
  return 2;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& bgra) {
  // Premultiplied BGRA words to straight RGBA bytes.
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < bgra.size(); ++i) {
    const uint32_t p = bgra[i];
    const uint32_t a = p >> 24;
    auto un = [a](uint32_t c) {
      return static_cast<uint8_t>(a ? std::min(255u, (c * 255 + a / 2) / a) : 0);
    };
    rgba[i * 4] = un((p >> 16) & 0xFF);
    rgba[i * 4 + 1] = un((p >> 8) & 0xFF);
    rgba[i * 4 + 2] = un(p & 0xFF);
    rgba[i * 4 + 3] = static_cast<uint8_t>(a);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), width * 4, nullptr) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string input = argv[1], output;
  long frame = 1, width = 0, height = 0, scale = 0, quality = 2;
  bool transparent = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--transparent") {
      transparent = true;
    } else if (arg == "--out" && hasValue) {
      output = argv[++i];
    } else if (hasValue && (arg == "--frame" || arg == "--width" || arg == "--height" ||
                            arg == "--scale" || arg == "--quality")) {
      const long v = std::strtol(argv[++i], nullptr, 10);
      (arg == "--frame"     ? frame
       : arg == "--width"   ? width
       : arg == "--height"  ? height
       : arg == "--quality" ? quality
                            : scale) = v;
    } else {
      return Usage();
    }
  }
  if (output.empty() || frame < 1 || frame > 65535 || width < 0 || height < 0 || width > 16384 ||
      height > 16384 || scale < 0 || scale > 3 || quality < 0 || quality > 3) {
    return Usage();
  }

  std::ifstream file(input, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "swfrender: cannot read %s\n", input.c_str());
    return 1;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  swf::NativeDeviceFonts fonts;
  swf::Player player;
  player.SetDeviceFonts(&fonts);
  if (const swf::MovieError e = player.Load(bytes); !e.Ok()) {
    std::fprintf(stderr, "swfrender: %s: %s (tag %u at offset %zu)\n", input.c_str(),
                 swf::ErrorKindName(e.kind), e.tag, e.offset);
    return 1;
  }
  player.SetQuality(static_cast<swf::Quality>(quality));
  if (width == 0) width = std::max(1, player.StageWidth());
  if (height == 0) height = std::max(1, player.StageHeight());
  for (long f = 1; f < frame; ++f) player.Tick();

  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
  const swf::Canvas canvas{reinterpret_cast<uint8_t*>(pixels.data()),
                           static_cast<int32_t>(width * 4),
                           static_cast<int>(width),
                           static_cast<int>(height),
                           {0, 0, static_cast<int>(width), static_cast<int>(height)}};
  player.Render(canvas, transparent ? swf::RenderMode::Transparent : swf::RenderMode::Opaque,
                static_cast<swf::ScaleMode>(scale), static_cast<int>(width),
                static_cast<int>(height));
  if (!WritePng(output, static_cast<int>(width), static_cast<int>(height), pixels)) {
    std::fprintf(stderr, "swfrender: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
