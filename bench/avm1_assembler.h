#pragma once
// A small ActionScript bytecode assembler for the interpreter benchmarks: pushes, plain
// actions, labelled jumps and DefineFunction2 bodies, written the way the authoring tool
// compiles AS2 (locals in registers, captured names as variables).
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace brim {

struct Reg {
  uint8_t index;
};
struct Undef {};
using Operand = std::variant<int, double, std::string, Reg, Undef>;

class Asm {
 public:
  Asm& Op(uint8_t code) {
    bytes_.push_back(code);
    return *this;
  }
  Asm& Push(std::initializer_list<Operand> values) {
    std::vector<uint8_t> p;
    for (const Operand& v : values) {
      if (const int* i = std::get_if<int>(&v)) {
        p.push_back(7);
        for (int s = 0; s < 32; s += 8) p.push_back(static_cast<uint8_t>(static_cast<uint32_t>(*i) >> s));
      } else if (const double* d = std::get_if<double>(&v)) {
        uint64_t bits;
        std::memcpy(&bits, d, sizeof bits);
        p.push_back(6);
        for (int s : {32, 40, 48, 56, 0, 8, 16, 24}) p.push_back(static_cast<uint8_t>(bits >> s));
      } else if (const std::string* str = std::get_if<std::string>(&v)) {
        p.push_back(0);
        p.insert(p.end(), str->begin(), str->end());
        p.push_back(0);
      } else if (const Reg* r = std::get_if<Reg>(&v)) {
        p.push_back(4);
        p.push_back(r->index);
      } else {
        p.push_back(3);
      }
    }
    return Record(0x96, p);
  }
  Asm& Store(uint8_t reg) { return Record(0x87, {reg}).Op(0x17); }  // StoreRegister, Pop
  // Appends `more`, whose labels must not clash with these.
  Asm& Then(const Asm& more) {
    const size_t at = bytes_.size();
    for (const auto& [name, where] : more.labels_) labels_[name] = at + where;
    for (const auto& [where, label] : more.fixups_) fixups_.emplace_back(at + where, label);
    bytes_.insert(bytes_.end(), more.bytes_.begin(), more.bytes_.end());
    return *this;
  }
  Asm& Label(const std::string& name) {
    labels_[name] = bytes_.size();
    return *this;
  }
  Asm& Jump(const std::string& label) { return Branch(0x99, label); }
  Asm& If(const std::string& label) { return Branch(0x9D, label); }
  // DefineFunction2 with parameters in the given registers (0: a named local) and the usual
  // compiled flags (no this, arguments or super).
  Asm& Function(const std::string& name, std::vector<std::pair<std::string, uint8_t>> params,
                uint8_t registers, const Asm& body) {
    const std::vector<uint8_t> code = body.Bytes(false);
    std::vector<uint8_t> p(name.begin(), name.end());
    p.push_back(0);
    p.push_back(static_cast<uint8_t>(params.size()));
    p.push_back(0);
    p.push_back(registers);
    p.push_back(0x2a);
    p.push_back(0);
    for (const auto& [param, reg] : params) {
      p.push_back(reg);
      p.insert(p.end(), param.begin(), param.end());
      p.push_back(0);
    }
    p.push_back(static_cast<uint8_t>(code.size()));
    p.push_back(static_cast<uint8_t>(code.size() >> 8));
    Record(0x8E, p);
    bytes_.insert(bytes_.end(), code.begin(), code.end());
    return *this;
  }
  std::vector<uint8_t> Bytes(bool end = true) const {
    std::vector<uint8_t> out = bytes_;
    for (const auto& [at, label] : fixups_) {
      const int16_t by = static_cast<int16_t>(static_cast<int>(labels_.at(label)) - static_cast<int>(at + 2));
      out[at] = static_cast<uint8_t>(by);
      out[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(by) >> 8);
    }
    if (end) out.push_back(0);
    return out;
  }

 private:
  Asm& Record(uint8_t code, const std::vector<uint8_t>& payload) {
    bytes_.push_back(code);
    bytes_.push_back(static_cast<uint8_t>(payload.size()));
    bytes_.push_back(static_cast<uint8_t>(payload.size() >> 8));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    return *this;
  }
  Asm& Branch(uint8_t code, const std::string& label) {
    Record(code, {0, 0});
    fixups_.emplace_back(bytes_.size() - 2, label);
    return *this;
  }
  std::vector<uint8_t> bytes_;
  std::map<std::string, size_t> labels_;
  std::vector<std::pair<size_t, std::string>> fixups_;
};

}  // namespace brim
