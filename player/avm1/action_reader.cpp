#include "player/avm1/action_reader.h"

#include <cstring>

#include "player/avm1/action_codes.h"

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

namespace swf::avm1 {
namespace {

void DecodePush(DecodedAction& d) {
  PayloadReader r(d.action.payload);
  while (!r.AtEnd()) {
    uint8_t type;
    PushOperand op;
    bool ok = r.U8(type);
    switch (ok ? type : 0xFF) {
      case 0: {
        std::string s;
        ok = r.String(s);
        op.value = Value(std::move(s));
        break;
      }
      case 1: {
        float f;
        ok = r.F32(f);
        op.value = static_cast<double>(f);
        break;
      }
      case 2:
        op.value = Null{};
        break;
      case 3:
        break;
      case 4: {
        uint8_t reg;
        ok = r.U8(reg);
        op.kind = PushOperand::Kind::Register;
        op.index = reg;
        break;
      }
      case 5: {
        uint8_t b;
        ok = r.U8(b);
        op.value = b != 0;
        break;
      }
      case 6: {
        double v;
        ok = r.F64(v);
        op.value = v;
        break;
      }
      case 7: {
        uint32_t i;
        ok = r.U32(i);
        op.value = static_cast<double>(static_cast<int32_t>(i));
        break;
      }
      case 8:
      case 9: {
        uint8_t small = 0;
        ok = type == 8 ? r.U8(small) : r.U16(op.index);
        if (type == 8) op.index = small;
        op.kind = PushOperand::Kind::Constant;
        break;
      }
      default:
        ok = false;
        break;
    }
    if (!ok) {
      d.broken = true;
      return;
    }
    d.operands.push_back(std::move(op));
  }
}

bool DecodeFunction(DecodedAction& d, const std::shared_ptr<const std::vector<uint8_t>>& bytes) {
  const bool function2 = d.action.code == static_cast<uint8_t>(ActionCode::DefineFunction2);
  PayloadReader r(d.action.payload);
  auto fn = std::make_shared<FunctionCode>();
  uint16_t count = 0, size = 0;
  if (!r.String(fn->name) || !r.U16(count)) return false;
  fn->function2 = function2;
  if (function2 && (!r.U8(fn->registerCount) || !r.U16(fn->flags))) return false;
  for (uint16_t i = 0; i < count; ++i) {
    uint8_t reg = 0;
    std::string name;
    if (function2 && !r.U8(reg)) return false;
    if (!r.String(name)) return false;
    fn->params.push_back(std::move(name));
    fn->paramRegisters.push_back(reg);
  }
  if (!r.U16(size)) return false;
  fn->bytes = bytes;
  fn->start = d.action.next;
  fn->size = size;
  d.function = std::move(fn);
  return true;
}

}  // namespace

DecodedCode::DecodedCode(std::shared_ptr<const std::vector<uint8_t>> bytes)
    : bytes_(std::move(bytes)), index_(bytes_->size(), 0) {}

const DecodedAction* DecodedCode::Decode(size_t offset) {
  const std::optional<Action> a = ReadAction(*bytes_, offset);
  if (!a) {
    index_[offset] = kNoRecord;
    return nullptr;
  }
  DecodedAction& d = actions_.emplace_back();
  d.action = *a;
  index_[offset] = static_cast<uint32_t>(actions_.size());
  switch (static_cast<ActionCode>(a->code)) {
    case ActionCode::Push:
      DecodePush(d);
      break;
    case ActionCode::Jump:
    case ActionCode::If: {
      PayloadReader r(a->payload);
      uint16_t raw;
      d.broken = !r.U16(raw);
      if (!d.broken) d.target = static_cast<int64_t>(a->next) + static_cast<int16_t>(raw);
      break;
    }
    case ActionCode::StoreRegister: {
      PayloadReader r(a->payload);
      d.broken = !r.U8(d.reg);
      break;
    }
    case ActionCode::ConstantPool: {
      PayloadReader r(a->payload);
      uint16_t count;
      auto pool = std::make_shared<ConstantPool>();
      d.broken = !r.U16(count);
      for (uint16_t i = 0; i < count && !d.broken; ++i) {
        std::string s;
        d.broken = !r.String(s);
        pool->emplace_back(std::move(s));
      }
      d.pool = std::move(pool);
      break;
    }
    case ActionCode::DefineFunction:
    case ActionCode::DefineFunction2:
      d.broken = !DecodeFunction(d, bytes_);
      break;
    default:
      break;
  }
  return &d;
}

}  // namespace swf::avm1
