#pragma once
// Bounds-checked reading of SWF's little-endian fields and bit fields. Reading past the end
// never touches memory outside the span: it yields zeros and marks the reader failed, and the
// failure sticks, so a parser checks Ok() once after a record instead of after every field.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "player/geometry.h"

namespace swf {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  bool Ok() const { return ok_; }
  void Fail() { ok_ = false; }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return ok_ ? data_.size() - pos_ : 0; }
  bool AtEnd() const { return Remaining() == 0; }

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  int16_t S16() { return static_cast<int16_t>(U16()); }
  // `count` bytes as a view into the data; empty and failed when fewer remain.
  std::span<const uint8_t> Bytes(size_t count);
  std::span<const uint8_t> Rest() { return Bytes(Remaining()); }
  void Skip(size_t count) { Bytes(count); }
  // Zero-terminated string; a missing terminator fails the reader.
  std::string String();

  // Bit fields, most significant bit first. Byte-aligned reads above drop any partial byte.
  uint32_t UBits(unsigned count);
  int32_t SBits(unsigned count);
  void AlignToByte() { bitCount_ = 0; }

  Rgba Rgb();
  Rgba RgbaColor();
  TwipsRect Rect();
  Matrix MatrixRecord();
  // CXFORM, or CXFORMWITHALPHA when `withAlpha`.
  ColorTransform ColorTransformRecord(bool withAlpha);

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool ok_ = true;
  uint8_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;
};

}  // namespace swf
