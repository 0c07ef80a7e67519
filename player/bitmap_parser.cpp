#include "player/bitmap_parser.h"

#include <zlib.h>

#include <algorithm>

#include "player/byte_reader.h"
#include "player/image_decoder.h"

namespace swf {
namespace {

constexpr uint8_t kMarkerPrefix = 0xFF;
constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA;

uint32_t PackPremultiplied(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  // Stored premultiplied data may claim a colour brighter than its alpha; clamp so the
  // renderer's blending never overflows.
  r = std::min(r, a);
  g = std::min(g, a);
  b = std::min(b, a);
  return static_cast<uint32_t>(b) | (static_cast<uint32_t>(g) << 8) |
         (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(a) << 24);
}

uint32_t PackStraight(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  auto mul = [a](uint8_t c) { return static_cast<uint8_t>((c * a + 127) / 255); };
  return PackPremultiplied(mul(r), mul(g), mul(b), a);
}

// Inflates exactly `size` bytes; false when the stream is corrupt or holds fewer.
bool InflateExactly(std::span<const uint8_t> in, size_t size, std::vector<uint8_t>& out) {
  out.assign(size, 0);
  if (size == 0) return true;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(size);
  int rc = Z_OK;
  while (z.avail_out > 0 && rc == Z_OK) rc = inflate(&z, Z_NO_FLUSH);
  const bool complete = z.avail_out == 0;
  inflateEnd(&z);
  return complete;
}

bool Charge(size_t& budget, size_t pixels) {
  if (pixels > kMaxBitmapPixels || pixels > budget) return false;
  budget -= pixels;
  return true;
}

// Copies marker segments (everything but SOI and EOI) up to and including the scan data.
void AppendSegments(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  size_t pos = 0;
  while (pos + 2 <= in.size()) {
    if (in[pos] != kMarkerPrefix) return;
    const uint8_t marker = in[pos + 1];
    if (marker == kMarkerPrefix) {
      ++pos;  // fill byte
      continue;
    }
    if (marker == kSoi || marker == kEoi || (marker >= 0xD0 && marker <= 0xD7) || marker == 1) {
      pos += 2;
      continue;
    }
    if (marker == kSos) {
      // Entropy-coded data (and any later scans) is copied as it stands.
      out.insert(out.end(), in.begin() + pos, in.end());
      return;
    }
    if (pos + 4 > in.size()) return;
    const size_t length = (static_cast<size_t>(in[pos + 2]) << 8) | in[pos + 3];
    if (length < 2 || pos + 2 + length > in.size()) return;
    out.insert(out.end(), in.begin() + pos, in.begin() + pos + 2 + length);
    pos += 2 + length;
  }
}

bool StartsWith(std::span<const uint8_t> data, std::initializer_list<uint8_t> prefix) {
  return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

}  // namespace

std::vector<uint8_t> NormalizeJpeg(std::span<const uint8_t> tables,
                                   std::span<const uint8_t> image) {
  std::vector<uint8_t> out{kMarkerPrefix, kSoi};
  AppendSegments(tables, out);
  AppendSegments(image, out);
  if (out.size() < 2 || out[out.size() - 2] != kMarkerPrefix || out.back() != kEoi) {
    out.push_back(kMarkerPrefix);
    out.push_back(kEoi);
  }
  return out;
}

// The pixel formats of DefineBitsLossless(2).
enum LosslessFormat : uint8_t {
  kColormapped8 = 3,  // palette indices, rows padded to 4 bytes
  kRgb15 = 4,         // 15-bit colour, only without alpha
  kRgb32 = 5,         // one 32-bit pixel each
};

ErrorKind ParseLossless(TagCode code, std::span<const uint8_t> body, size_t& pixelBudget,
                        uint16_t& id, Bitmap& out) {
  const bool withAlpha = code == TagCode::DefineBitsLossless2;
  ByteReader r(body);
  id = r.U16();
  const uint8_t format = r.U8();
  const int width = r.U16();
  const int height = r.U16();
  const size_t tableSize = format == kColormapped8 ? r.U8() + 1u : 0;
  if (!r.Ok()) return ErrorKind::Truncated;
  if (format != kColormapped8 && format != kRgb32 && !(format == kRgb15 && !withAlpha)) {
    return ErrorKind::Malformed;
  }
  const size_t pixels = static_cast<size_t>(width) * height;
  if (!Charge(pixelBudget, pixels)) return ErrorKind::TooLarge;

  const size_t entryBytes = withAlpha ? 4 : 3;
  size_t rowBytes = 0, headBytes = 0;
  switch (format) {
    case kColormapped8:
      rowBytes = (width + 3u) & ~3u, headBytes = tableSize * entryBytes;
      break;
    case kRgb15:
      rowBytes = (width * 2u + 3u) & ~3u;
      break;
    default:
      rowBytes = width * 4u;
      break;
  }
  std::vector<uint8_t> data;
  if (!InflateExactly(r.Rest(), headBytes + rowBytes * height, data)) return ErrorKind::Truncated;

  out.width = width;
  out.height = height;
  out.pixels.assign(pixels, 0);
  std::vector<uint32_t> palette(256, 0);
  for (size_t i = 0; i < tableSize; ++i) {
    const uint8_t* e = data.data() + i * entryBytes;
    // Lossless2 stores its colours premultiplied already.
    palette[i] = withAlpha ? PackPremultiplied(e[0], e[1], e[2], e[3])
                           : PackPremultiplied(e[0], e[1], e[2], 255);
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = data.data() + headBytes + rowBytes * y;
    uint32_t* dst = out.pixels.data() + static_cast<size_t>(width) * y;
    for (int x = 0; x < width; ++x) {
      switch (format) {
        case kColormapped8:
          dst[x] = palette[row[x]];
          break;
        case kRgb15: {
          const unsigned v = (row[x * 2] << 8) | row[x * 2 + 1];
          auto expand = [](unsigned c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
          dst[x] =
              PackPremultiplied(expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31), 255);
          break;
        }
        default: {
          const uint8_t* p = row + x * 4;
          dst[x] = PackPremultiplied(p[1], p[2], p[3], withAlpha ? p[0] : 255);
          break;
        }
      }
    }
  }
  return ErrorKind::None;
}

ErrorKind ParseJpeg(TagCode code, std::span<const uint8_t> body,
                    std::span<const uint8_t> jpegTables, size_t& pixelBudget, uint16_t& id,
                    std::optional<Bitmap>& out) {
  out.reset();
  ByteReader r(body);
  id = r.U16();
  std::span<const uint8_t> image, alpha;
  if (code == TagCode::DefineBitsJpeg3 || code == TagCode::DefineBitsJpeg4) {
    const uint32_t alphaOffset = r.U32();
    if (code == TagCode::DefineBitsJpeg4) r.U16();  // deblocking strength, not applied
    image = r.Bytes(alphaOffset);
    alpha = r.Rest();
  } else {
    image = r.Rest();
  }
  if (!r.Ok()) return ErrorKind::Truncated;
  if (code != TagCode::DefineBits) jpegTables = {};

  // An image that cannot be decoded (later movies may embed PNG or GIF here, which the engine
  // does not decode yet) still defines its character: placed, it is an object scripts find,
  // only one that shows nothing.
  out = Bitmap{};
  if (StartsWith(image, {0x89, 'P', 'N', 'G'}) || StartsWith(image, {'G', 'I', 'F', '8'})) {
    return ErrorKind::None;
  }
  DecodedImage decoded;
  const std::vector<uint8_t> jpeg = NormalizeJpeg(jpegTables, image);
  if (DecodeJpeg(jpeg, std::min(kMaxBitmapPixels, pixelBudget), decoded) != DecodeStatus::Ok) {
    return ErrorKind::None;
  }
  const size_t pixels = static_cast<size_t>(decoded.width) * decoded.height;
  if (!Charge(pixelBudget, pixels)) return ErrorKind::None;

  std::vector<uint8_t> alphaPlane;
  // A missing or damaged alpha plane leaves the image opaque, as players have always shown it.
  const bool hasAlpha = !alpha.empty() && InflateExactly(alpha, pixels, alphaPlane);
  Bitmap bitmap;
  bitmap.width = decoded.width;
  bitmap.height = decoded.height;
  bitmap.pixels.resize(pixels);
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* p = decoded.rgba.data() + i * 4;
    bitmap.pixels[i] = PackStraight(p[0], p[1], p[2], hasAlpha ? alphaPlane[i] : 255);
  }
  out = std::move(bitmap);
  return ErrorKind::None;
}

}  // namespace swf
