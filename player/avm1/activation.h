#pragma once
// The state one running piece of bytecode keeps: a frame script or one call of a function.
#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "player/avm1/object.h"
#include "player/avm1/value.h"

namespace swf::avm1 {

// A scope chain, outermost first. Most are a few objects long, and a call makes one each time,
// so the first few live inside the chain rather than in memory of their own.
class ScopeChain {
 public:
  ScopeChain() = default;
  ScopeChain(std::initializer_list<Object*> objects) { Assign(objects.begin(), objects.size()); }
  ScopeChain(const ScopeChain& other) { Assign(other.data(), other.size_); }
  ScopeChain& operator=(const ScopeChain& other) {
    if (this != &other) Assign(other.data(), other.size_);
    return *this;
  }
  ScopeChain& operator=(const std::vector<Object*>& objects) {
    Assign(objects.data(), objects.size());
    return *this;
  }
  std::vector<Object*> ToVector() const { return std::vector<Object*>(begin(), end()); }

  void push_back(Object* o) {
    if (size_ < kInline) {
      inline_[size_++] = o;
      return;
    }
    if (size_ == kInline) spill_.assign(inline_, inline_ + kInline);
    spill_.push_back(o);
    ++size_;
  }
  size_t size() const { return size_; }
  Object*& operator[](size_t i) { return data()[i]; }
  Object* const* begin() const { return data(); }
  Object* const* end() const { return data() + size_; }
  std::reverse_iterator<Object* const*> rbegin() const {
    return std::reverse_iterator<Object* const*>(end());
  }
  std::reverse_iterator<Object* const*> rend() const {
    return std::reverse_iterator<Object* const*>(begin());
  }

 private:
  static constexpr size_t kInline = 6;
  Object** data() { return size_ <= kInline ? inline_ : spill_.data(); }
  Object* const* data() const { return size_ <= kInline ? inline_ : spill_.data(); }
  void Assign(Object* const* from, size_t count) {
    if (count <= kInline) {
      std::copy(from, from + count, inline_);
    } else {
      spill_.assign(from, from + count);
    }
    size_ = count;
  }
  Object* inline_[kInline] = {};
  std::vector<Object*> spill_;
  size_t size_ = 0;
};

struct Activation {
  ScopeChain scope;          // outermost first; the global object is looked at after it
  Object* target = nullptr;  // the clip goto, play and unqualified variables act on
  Object* base = nullptr;    // the clip the code belongs to (SetTarget "" returns to it)
  // A function's own variables. A call makes the object only once something is put in it (a
  // local, a parameter kept by name, or a closure that could see later locals): until then
  // an empty object at the end of the scope chain would change no lookup.
  Object* locals = nullptr;
  bool function = false;  // a call of a function, rather than a frame script
  Value thisValue;
  // A DefineFunction2 function that keeps `this` in a register (or drops it) has no variable of
  // that name.
  bool thisByName = true;
  std::vector<Value> registers;
  // Registers past a function's own count are the timeline's four, shared by every script.
  std::vector<Value>* outerRegisters = nullptr;
  Value* Register(uint8_t index) {
    if (index < registers.size()) return &registers[index];
    if (outerRegisters && index < outerRegisters->size()) return &(*outerRegisters)[index];
    return nullptr;
  }
  // The constants the code reads, held by what outlives the activation (the function being
  // called, the ConstantPool record, the interpreter): taking them costs no count per call.
  const std::shared_ptr<const ConstantPool>* constants = nullptr;
  const std::shared_ptr<const ConstantPool>& Constants() const {
    static const std::shared_ptr<const ConstantPool> none;
    return constants ? *constants : none;
  }
  const ConstantPool* Pool() const { return constants ? constants->get() : nullptr; }
};

}  // namespace swf::avm1
