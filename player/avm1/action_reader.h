#pragma once
// Reads action records out of a block of bytecode. Every length and offset is checked against
// the block: a record that does not fit ends the script instead of reading past it.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "player/avm1/object.h"

namespace swf::avm1 {

struct QuickBlock;

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

// A Push operand as read once: a value, or the register or constant to fetch when it runs.
struct PushOperand {
  enum class Kind : uint8_t { Value, Register, Constant };
  Kind kind = Kind::Value;
  uint16_t index = 0;  // the register or the constant
  Value value;
};

// An action record read once, with its payload in the form the loop runs it from. Offsets are
// from the start of the whole block; the code running it (a function body may be part of a
// block) checks them against its own range.
struct DecodedAction {
  Action action;
  // A payload too short for what the action needs, or (Push) a malformed operand after the
  // ones read: the script ends there, as it does when reading the bytes as it goes.
  bool broken = false;
  std::vector<PushOperand> operands;         // Push
  uint8_t reg = 0;                           // StoreRegister
  int64_t target = 0;                        // Jump and If: where they go
  std::shared_ptr<const ConstantPool> pool;  // ConstantPool
  // DefineFunction and DefineFunction2: what the record defines, without the constants it
  // takes from the code defining it; and the last definition made from it, reused while
  // something still holds it and the constants are the same.
  std::shared_ptr<const FunctionCode> function;
  mutable std::weak_ptr<const FunctionCode> made;
  // The records found at `action.next` and at `target` once looked up, so that the loop going
  // on in order or taking a jump need not look again.
  mutable const DecodedAction* following = nullptr;
  mutable const DecodedAction* jumpTo = nullptr;
  // The run of number work starting here, read the first time the loop comes to it (null when
  // there is none worth running as one).
  mutable std::shared_ptr<const QuickBlock> quick;
  mutable bool quickRead = false;
};

// The decoded form of a block of bytecode, read lazily one record at a time as code reaches it
// (a jump may land anywhere, even inside another record, and reads the bytes from there).
// Bytecode never changes once loaded, so what is read once stays right.
class DecodedCode : public std::enable_shared_from_this<DecodedCode> {
 public:
  explicit DecodedCode(std::shared_ptr<const std::vector<uint8_t>> bytes);
  const std::shared_ptr<const std::vector<uint8_t>>& Bytes() const { return bytes_; }
  // The record at `offset` when `from` was the record before it (or null).
  const DecodedAction* After(const DecodedAction* from, size_t offset) {
    if (from && offset == from->action.next) {
      if (!from->following) from->following = At(offset);
      return from->following;
    }
    if (from && offset == static_cast<uint64_t>(from->target)) {
      if (!from->jumpTo) from->jumpTo = At(offset);
      return from->jumpTo;
    }
    return At(offset);
  }
  // The record at `offset`, or null when no whole record starts there.
  const DecodedAction* At(size_t offset) {
    if (offset >= index_.size()) return nullptr;
    const uint32_t i = index_[offset];
    if (i != 0) return i == kNoRecord ? nullptr : &actions_[i - 1];
    return Decode(offset);
  }

 private:
  static constexpr uint32_t kNoRecord = 0xFFFFFFFF;
  const DecodedAction* Decode(size_t offset);
  std::shared_ptr<const std::vector<uint8_t>> bytes_;
  std::vector<uint32_t> index_;  // 1 + where the record at each offset is in actions_; 0: unread
  std::deque<DecodedAction> actions_;  // a deque, so that a record stays put as others are read
};

}  // namespace swf::avm1
