#pragma once
// Small pieces every file of built-in objects uses: arguments by position, `this` as a string
// or an array, and a way to hang native methods on an object.
#include <span>
#include <string>

#include "player/avm1/interpreter.h"

namespace swf::avm1 {

inline Value Arg(std::span<const Value> args, size_t i) {
  return i < args.size() ? args[i] : Value();
}

// The string a string method works on: `this` as a string.
inline std::string ThisString(Interpreter& vm, const Value& self) {
  if (Object* o = self.AsObject(); o && o->kind == ObjectKind::Boxed) {
    return vm.ToString(o->primitive);
  }
  return vm.ToString(self);
}

inline Object* ThisArray(const Value& self) {
  Object* o = self.AsObject();
  return o && o->kind == ObjectKind::Array ? o : nullptr;
}

inline bool IsFunction(const Value& v) {
  Object* o = v.AsObject();
  return o && o->IsCallable();
}

// Native methods are hidden from for-in, as the player's own are.
inline Object* AddMethod(Interpreter& vm, Object* on, const char* name, NativeFunction fn) {
  Object* f = vm.NewNative(std::move(fn));
  if (on && f) on->SetOwn(name, f, vm.CaseSensitive(), kDontEnum);
  return f;
}

}  // namespace swf::avm1
