#include "player/avm1/action_reader.h"

#include <cstring>

namespace swf::avm1 {

std::optional<Action> ReadAction(std::span<const uint8_t> code, size_t offset) {
  if (offset >= code.size()) return std::nullopt;
  Action a;
  a.code = code[offset];
  a.offset = offset;
  if (a.code < 0x80) {
    a.next = offset + 1;
    return a;
  }
  if (code.size() - offset < 3) return std::nullopt;
  const size_t length = code[offset + 1] | (static_cast<size_t>(code[offset + 2]) << 8);
  if (code.size() - offset - 3 < length) return std::nullopt;
  a.payload = code.subspan(offset + 3, length);
  a.next = offset + 3 + length;
  return a;
}

bool PayloadReader::U8(uint8_t& out) {
  if (bytes_.size() - pos_ < 1) return false;
  out = bytes_[pos_++];
  return true;
}

bool PayloadReader::U16(uint16_t& out) {
  if (bytes_.size() - pos_ < 2) return false;
  out = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
  pos_ += 2;
  return true;
}

bool PayloadReader::U32(uint32_t& out) {
  if (bytes_.size() - pos_ < 4) return false;
  out = 0;
  for (int i = 3; i >= 0; --i) out = (out << 8) | bytes_[pos_ + static_cast<size_t>(i)];
  pos_ += 4;
  return true;
}

bool PayloadReader::F32(float& out) {
  uint32_t bits;
  if (!U32(bits)) return false;
  std::memcpy(&out, &bits, sizeof out);
  return true;
}

bool PayloadReader::F64(double& out) {
  uint32_t high, low;
  if (!U32(high) || !U32(low)) return false;
  const uint64_t bits = (static_cast<uint64_t>(high) << 32) | low;
  std::memcpy(&out, &bits, sizeof out);
  return true;
}

bool PayloadReader::String(std::string& out) {
  for (size_t i = pos_; i < bytes_.size(); ++i) {
    if (bytes_[i] == 0) {
      out.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), i - pos_);
      pos_ = i + 1;
      return true;
    }
  }
  return false;
}

}  // namespace swf::avm1
