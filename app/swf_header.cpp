#include "app/swf_header.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace brim {
namespace {

constexpr size_t kSignatureAndLength = 8;
constexpr size_t kInflateChunk = 1024;

// Fills up to `size` bytes and says how many it gave; 0 means the input is exhausted.
using ReadInput = std::function<size_t(uint8_t* out, size_t size)>;

// Takes 64 bits so that the check means the same with a 32-bit size_t.
bool FitsInflateCounter(uint64_t size) { return size <= 0xFFFFFFFFu; }

// Inflates what follows the first 8 bytes into buffer[8..size-1]. Only the bytes needed are
// inflated, so a large compressed movie costs no more than its header.
bool InflateRest(const ReadInput& read, uint8_t* buffer, size_t size) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  uint8_t input[kInflateChunk];
  stream.next_out = buffer + kSignatureAndLength;
  stream.avail_out = static_cast<uInt>(size - kSignatureAndLength);
  while (stream.avail_out > 0) {
    if (stream.avail_in == 0) {
      const size_t got = read(input, sizeof input);
      if (got == 0) break;
      stream.next_in = input;
      stream.avail_in = static_cast<uInt>(got);
    }
    // Anything but progress (end of stream, corrupt data, no way forward) ends the loop, so it
    // cannot spin on bad input.
    if (inflate(&stream, Z_SYNC_FLUSH) != Z_OK) break;
  }
  const bool filled = stream.avail_out == 0;
  inflateEnd(&stream);
  return filled;
}

int ReadHeader(const ReadInput& read, uint8_t* buffer, size_t size) {
  if (buffer == nullptr || size < kSwfHeaderBytes) return 0;
  // The inflate counters are 32-bit; no caller needs a header anywhere near that size.
  if (!FitsInflateCounter(size - kSignatureAndLength)) return 0;
  if (read(buffer, kSignatureAndLength) != kSignatureAndLength) return 0;
  if (buffer[1] != 'W' || buffer[2] != 'S') return 0;
  if (buffer[0] == 'F') {
    const size_t rest = size - kSignatureAndLength;
    return read(buffer + kSignatureAndLength, rest) == rest ? 1 : 0;
  }
  if (buffer[0] == 'C') {
    const bool filled = InflateRest(read, buffer, size);
    buffer[0] = 'F';
    return filled ? 1 : 0;
  }
  return 0;
}

}  // namespace

int ReadSwfHeader(const char* path, uint8_t* buffer, size_t size) {
  if (path == nullptr || buffer == nullptr || size < kSwfHeaderBytes) return 0;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return 0;
  const int result = ReadHeader(
      [file](uint8_t* out, size_t want) { return std::fread(out, 1, want, file); }, buffer, size);
  std::fclose(file);
  return result;
}

int ReadSwfHeaderFromBytes(std::span<const uint8_t> file, uint8_t* buffer, size_t size) {
  size_t position = 0;
  return ReadHeader(
      [&](uint8_t* out, size_t want) {
        const size_t got = std::min(want, file.size() - position);
        if (got != 0) std::memcpy(out, file.data() + position, got);
        position += got;
        return got;
      },
      buffer, size);
}

int StageSizeFromHeader(std::span<const uint8_t, kSwfHeaderBytes> header, int* width, int* height) {
  if (width == nullptr || height == nullptr) return -1;
  if (header[0] != 'F' || header[1] != 'W' || header[2] != 'S') return -1;

  // The stage RECT: 5 bits of field width, then four signed fields, most significant bit first.
  // 5 + 4 * 31 bits always fit in the 17 bytes from offset 8.
  size_t bit = kSignatureAndLength * 8;
  auto readBits = [&](unsigned count) {
    uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i, ++bit) {
      value = value << 1 | ((header[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    return value;
  };
  const unsigned fieldBits = readBits(5);
  auto readSigned = [&]() -> int64_t {
    if (fieldBits == 0) return 0;
    const int64_t raw = readBits(fieldBits);
    const int64_t sign = int64_t{1} << (fieldBits - 1);
    return raw >= sign ? raw - 2 * sign : raw;
  };
  const int64_t xMin = readSigned();
  const int64_t xMax = readSigned();
  const int64_t yMin = readSigned();
  const int64_t yMax = readSigned();

  // Twips to pixels, rounded half away from zero: a 550.5-pixel stage gets a 551-pixel window.
  auto toPixels = [](int64_t twips) {
    const double pixels = static_cast<double>(twips) * 0.05;
    return static_cast<int>(pixels >= 0 ? pixels + 0.5 : pixels - 0.5);
  };
  *width = toPixels(xMax - xMin);
  *height = toPixels(yMax - yMin);
  return 0;
}

void FitStageToWindowLimit(int* width, int* height) {
  const int64_t w = *width, h = *height;
  const int64_t longest = w > h ? w : h;
  if (longest <= kMaxWindowSide) return;
  // Rounded to the nearest pixel, and never below one pixel for a side the stage has.
  auto scaled = [&](int64_t side) -> int {
    if (side <= 0) return 0;
    const int64_t v = (side * kMaxWindowSide + longest / 2) / longest;
    return static_cast<int>(v < 1 ? 1 : v);
  };
  *width = scaled(w);
  *height = scaled(h);
}

int ReadStageSize(const char* path, int* width, int* height) {
  if (width == nullptr || height == nullptr) return -1;
  uint8_t header[kSwfHeaderBytes];
  if (ReadSwfHeader(path, header, sizeof header) == 0) return -1;
  return StageSizeFromHeader(header, width, height);
}

}  // namespace brim
