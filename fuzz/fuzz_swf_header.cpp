// SWF headers are read from any file the user or a movie points the program at.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "app/swf_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks how much header to ask for, so that larger requests get exercised too.
  const size_t want = size == 0 ? brim::kSwfHeaderBytes : brim::kSwfHeaderBytes + data[0] * 16;
  std::span<const uint8_t> file(data, size);
  uint8_t small[brim::kSwfHeaderBytes];
  if (brim::ReadSwfHeaderFromBytes(file, small, sizeof small) == 1) {
    int width = 0, height = 0;
    if (brim::StageSizeFromHeader(small, &width, &height) != 0) __builtin_trap();
  }
  std::vector<uint8_t> large(want);
  brim::ReadSwfHeaderFromBytes(file, large.data(), large.size());
  // Any 25 bytes at all make a header to size, including nonsense ones.
  if (size >= brim::kSwfHeaderBytes) {
    int width = 0, height = 0;
    brim::StageSizeFromHeader(std::span<const uint8_t, brim::kSwfHeaderBytes>(data, 25), &width,
                              &height);
  }
  return 0;
}
