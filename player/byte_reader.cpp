#include "player/byte_reader.h"

namespace swf {

uint8_t ByteReader::U8() {
  bitCount_ = 0;
  if (!ok_ || pos_ >= data_.size()) {
    ok_ = false;
    return 0;
  }
  return data_[pos_++];
}

uint16_t ByteReader::U16() {
  const uint16_t lo = U8();
  return static_cast<uint16_t>(lo | (U8() << 8));
}

uint32_t ByteReader::U32() {
  const uint32_t lo = U16();
  return lo | (static_cast<uint32_t>(U16()) << 16);
}

std::span<const uint8_t> ByteReader::Bytes(size_t count) {
  bitCount_ = 0;
  if (!ok_ || count > data_.size() - pos_) {
    ok_ = false;
    return {};
  }
  auto out = data_.subspan(pos_, count);
  pos_ += count;
  return out;
}

std::string ByteReader::String() {
  bitCount_ = 0;
  if (!ok_) return {};
  for (size_t i = pos_; i < data_.size(); ++i) {
    if (data_[i] == 0) {
      std::string s(reinterpret_cast<const char*>(data_.data() + pos_), i - pos_);
      pos_ = i + 1;
      return s;
    }
  }
  ok_ = false;
  return {};
}

uint32_t ByteReader::UBits(unsigned count) {
  uint32_t v = 0;
  for (unsigned i = 0; i < count && i < 32; ++i) {
    if (bitCount_ == 0) {
      if (!ok_ || pos_ >= data_.size()) {
        ok_ = false;
        return 0;
      }
      bitBuffer_ = data_[pos_++];
      bitCount_ = 8;
    }
    --bitCount_;
    v = (v << 1) | ((bitBuffer_ >> bitCount_) & 1u);
  }
  return v;
}

int32_t ByteReader::SBits(unsigned count) {
  if (count == 0) return 0;
  if (count > 32) count = 32;
  const uint32_t v = UBits(count);
  if (count < 32 && (v & (1u << (count - 1))))
    return static_cast<int32_t>(v | ~((1u << count) - 1));
  return static_cast<int32_t>(v);
}

Rgba ByteReader::Rgb() {
  Rgba c;
  c.r = U8();
  c.g = U8();
  c.b = U8();
  return c;
}

Rgba ByteReader::RgbaColor() {
  Rgba c = Rgb();
  c.a = U8();
  return c;
}

TwipsRect ByteReader::Rect() {
  const unsigned bits = UBits(5);
  TwipsRect r;
  r.xMin = SBits(bits);
  r.xMax = SBits(bits);
  r.yMin = SBits(bits);
  r.yMax = SBits(bits);
  AlignToByte();
  return r;
}

Matrix ByteReader::MatrixRecord() {
  Matrix m;
  if (UBits(1)) {
    const unsigned bits = UBits(5);
    m.a = Fixed16{SBits(bits)}.Value();
    m.d = Fixed16{SBits(bits)}.Value();
  }
  if (UBits(1)) {
    const unsigned bits = UBits(5);
    m.b = Fixed16{SBits(bits)}.Value();
    m.c = Fixed16{SBits(bits)}.Value();
  }
  const unsigned bits = UBits(5);
  m.tx = SBits(bits);
  m.ty = SBits(bits);
  AlignToByte();
  return m;
}

ColorTransform ByteReader::ColorTransformRecord(bool withAlpha) {
  ColorTransform cx;
  const bool hasAdd = UBits(1);
  const bool hasMul = UBits(1);
  const unsigned bits = UBits(4);
  // Fields hold at most 15 bits, so every value fits the 16-bit members.
  auto field = [&] { return static_cast<int16_t>(SBits(bits)); };
  if (hasMul) {
    cx.rMul = field();
    cx.gMul = field();
    cx.bMul = field();
    if (withAlpha) cx.aMul = field();
  }
  if (hasAdd) {
    cx.rAdd = field();
    cx.gAdd = field();
    cx.bAdd = field();
    if (withAlpha) cx.aAdd = field();
  }
  AlignToByte();
  return cx;
}

}  // namespace swf
