#pragma once
// A tiny JPEG encoder for tests: movies' JPEG bitmaps need real JPEG bytes.
#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace swftest {

// Baseline JPEG of a `width` x `height` image filled with one colour, at top quality.
inline std::vector<uint8_t> EncodeSolidJpeg(int width, int height, uint8_t r, uint8_t g,
                                            uint8_t b) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    row[x * 3] = r;
    row[x * 3 + 1] = g;
    row[x * 3 + 2] = b;
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&info, &p, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

// Splits a baseline JPEG the way DefineBits stores it: the tables (SOI, DQT, DHT ..., EOI) go
// into JPEGTables and the rest (SOI, SOF, SOS, data, EOI) into the DefineBits tag.
inline void SplitJpegTables(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& tables,
                            std::vector<uint8_t>& image) {
  tables = {0xFF, 0xD8};
  image = {0xFF, 0xD8};
  size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const uint8_t marker = jpeg[pos + 1];
    const size_t length = (jpeg[pos + 2] << 8) | jpeg[pos + 3];
    if (marker == 0xDB || marker == 0xC4) {
      tables.insert(tables.end(), jpeg.begin() + pos, jpeg.begin() + pos + 2 + length);
    } else if (marker == 0xDA) {
      image.insert(image.end(), jpeg.begin() + pos, jpeg.end());
      break;
    } else {
      image.insert(image.end(), jpeg.begin() + pos, jpeg.begin() + pos + 2 + length);
    }
    pos += 2 + length;
  }
  tables.push_back(0xFF);
  tables.push_back(0xD9);
}

}  // namespace swftest
