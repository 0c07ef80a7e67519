#pragma once
// Bitmap characters: DefineBitsLossless 1 and 2 and the JPEG family, into premultiplied
// swf::Bitmap.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "player/bitmap.h"
#include "player/movie_error.h"
#include "player/tag_codes.h"

namespace swf {

inline constexpr size_t kMaxBitmapPixels = 16u << 20;  // one bitmap

// `pixelBudget` is how many bitmap pixels the movie may still hold; a bitmap within it is
// charged to it.
ErrorKind ParseLossless(TagCode code, std::span<const uint8_t> body, size_t& pixelBudget,
                        uint16_t& id, Bitmap& out);

// DefineBits (with the movie's JPEGTables) and DefineBitsJPEG2 to 4. An image the decoder
// cannot read gives a 0 by 0 bitmap without an error: the movie still plays, the object placed
// from it is there for scripts, and fills of that bitmap draw nothing.
ErrorKind ParseJpeg(TagCode code, std::span<const uint8_t> body,
                    std::span<const uint8_t> jpegTables, size_t& pixelBudget, uint16_t& id,
                    std::optional<Bitmap>& out);

// One well-formed JPEG stream from what movies store: drops the stray EOI+SOI pair some
// encoders put before the data or between tables and image, and merges separate tables.
std::vector<uint8_t> NormalizeJpeg(std::span<const uint8_t> tables, std::span<const uint8_t> image);

}  // namespace swf
