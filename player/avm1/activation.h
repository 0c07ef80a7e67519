#pragma once
// The state one running piece of bytecode keeps: a frame script or one call of a function.
#include <memory>
#include <string>
#include <vector>

#include "player/avm1/object.h"
#include "player/avm1/value.h"

namespace swf::avm1 {

struct Activation {
  std::vector<Object*> scope;  // outermost first; the global object is looked at after it
  Object* target = nullptr;    // the clip goto, play and unqualified variables act on
  Object* base = nullptr;      // the clip the code belongs to (SetTarget "" returns to it)
  Object* locals = nullptr;    // a function's own variables; null in a frame script
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
  std::shared_ptr<const ConstantPool> constants;
};

}  // namespace swf::avm1
