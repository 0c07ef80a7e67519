// SharedObject: a movie's local store. A projector keeps it for the run only, in memory: the
// same name and path give the same object back, and flush always succeeds. Names with
// characters the original refuses give null.
#include <string>

#include "player/avm1/amf0.h"
#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

bool ValidName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (std::string_view("~%&\\;:\"',<>?# ").find(c) != std::string_view::npos) return false;
  }
  return true;
}

}  // namespace

void InstallSharedObject(Interpreter& vm) {
  Object* ctor =
      DefineClass(vm, vm.Global(), "SharedObject",
                  [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  Object* proto = PrototypeOf(vm, ctor);
  Object* store = vm.NewPlainObject();
  if (!proto || !store) return;
  // The stores made so far, by path and name, on the constructor's hidden side.
  ctor->internal.assign(1, store);
  AddMethod(vm, ctor, "getLocal", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    Object* ctor = self.AsObject();
    Object* stores = ctor && ctor->internal.size() == 1 ? ctor->internal[0].AsObject() : nullptr;
    const std::string name = vm.ToString(Arg(a, 0));
    if (!stores || a.empty() || !ValidName(name)) return Value(Null{});
    const std::string path =
        a.size() > 1 && !a[1].IsUndefined() ? vm.ToString(a[1]) : std::string();
    const std::string key = path + "\n" + name;
    if (const Property* p = stores->FindOwn(key, true)) return p->value;
    Object* so = vm.NewObject(PrototypeOf(vm, ctor));
    if (!so) return Value(Null{});
    vm.SetMember(so, "data", vm.NewPlainObject());
    so->internal.assign(1, Value(name));
    stores->SetOwn(key, so, true);
    return Value(so);
  });
  AddMethod(vm, ctor, "getRemote",
            [](Interpreter&, const Value&, std::span<const Value>) { return Value(Null{}); });
  AddMethod(vm, proto, "flush",
            [](Interpreter&, const Value&, std::span<const Value>) { return Value(true); });
  AddMethod(vm, proto, "clear", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    if (Object* data = vm.GetMember(self, "data").AsObject()) data->props.clear();
    return Value();
  });
  // The size of the file the data would be kept in.
  AddMethod(vm, proto, "getSize", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* so = self.AsObject();
    const std::string name = so && so->internal.size() == 1 ? vm.ToString(so->internal[0]) : "";
    return Value(static_cast<double>(
        SharedObjectFile(vm, name, vm.GetMember(self, "data").AsObject()).size()));
  });
  for (const char* name : {"close", "connect", "send", "setFps"}) {
    AddMethod(vm, proto, name,
              [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
}

}  // namespace swf::avm1
