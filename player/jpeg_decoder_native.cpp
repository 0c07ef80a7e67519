#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "player/image_decoder.h"

namespace swf {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Movies carry many slightly damaged JPEGs that still decode; warnings are not worth printing.
void OnMessage(j_common_ptr, int) {}
void OnOutput(j_common_ptr) {}

// Kept free of objects with destructors between setjmp and longjmp: only `out`, which lives in
// the caller, is touched.
DecodeStatus Decode(std::span<const uint8_t> jpeg, size_t maxPixels, DecodedImage& out) {
  jpeg_decompress_struct info;
  ErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.emit_message = OnMessage;
  errors.base.output_message = OnOutput;
  volatile DecodeStatus status = DecodeStatus::Malformed;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return status;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return DecodeStatus::Malformed;
  }
  if (static_cast<size_t>(info.image_width) * info.image_height > maxPixels ||
      info.image_width == 0 || info.image_height == 0) {
    jpeg_destroy_decompress(&info);
    return DecodeStatus::TooLarge;
  }
  info.out_color_space = JCS_EXT_RGBA;
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.rgba.resize(static_cast<size_t>(out.width) * out.height * 4);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.rgba.data() + static_cast<size_t>(info.output_scanline) * out.width * 4;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return DecodeStatus::Ok;
}

}  // namespace

DecodeStatus DecodeJpeg(std::span<const uint8_t> jpeg, size_t maxPixels, DecodedImage& out) {
  out = {};
  if (jpeg.size() < 4) return DecodeStatus::Malformed;
  const DecodeStatus status = Decode(jpeg, maxPixels, out);
  if (status != DecodeStatus::Ok) out = {};
  return status;
}

}  // namespace swf
