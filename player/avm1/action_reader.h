#pragma once
// Reads action records out of a block of bytecode. Every length and offset is checked against
// the block: a record that does not fit ends the script instead of reading past it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace swf::avm1 {

struct Action {
  uint8_t code = 0;
  std::span<const uint8_t> payload;  // empty for codes below 0x80
  size_t offset = 0;                 // where the record starts
  size_t next = 0;                   // where the following record starts
};

// The record at `offset`, or nothing when it runs past the end of `code`.
std::optional<Action> ReadAction(std::span<const uint8_t> code, size_t offset);

// Little-endian fields of a payload, each refusing to read past its end.
class PayloadReader {
 public:
  explicit PayloadReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool U8(uint8_t& out);
  bool U16(uint16_t& out);
  bool U32(uint32_t& out);
  bool F32(float& out);
  // The SWF's double: two 32-bit halves, high word first.
  bool F64(double& out);
  // A zero-terminated string; fails when the terminator is missing.
  bool String(std::string& out);
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  size_t Position() const { return pos_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace swf::avm1
