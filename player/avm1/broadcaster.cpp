// AsBroadcaster: the listener list that Key, Mouse, Stage and a movie's own objects share.
// A broadcaster keeps its listeners in an ordinary `_listeners` array, so a script may read or
// replace it, and the methods work on whatever is there when they run.
#include "player/avm1/arrays.h"
#include "player/avm1/builtin_support.h"
#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

// Listeners are matched as == matches them: undefined and null are one listener.
bool SameListener(Interpreter& vm, const Value& a, const Value& b) {
  if (a.IsObject() || b.IsObject()) return a.AsObject() == b.AsObject();
  const bool an = a.IsUndefined() || a.IsNull(), bn = b.IsUndefined() || b.IsNull();
  if (an || bn) return an && bn;
  if (a.IsString() && b.IsString()) return a.AsString() == b.AsString();
  return PrimitiveToNumber(a, vm.Version()) == PrimitiveToNumber(b, vm.Version());
}

Object* Listeners(Interpreter& vm, const Value& self, bool create) {
  Object* list = ThisArray(vm.GetMember(self, "_listeners"));
  if (!list && create && self.IsObject()) {
    list = vm.NewArray();
    if (list) self.AsObject()->SetOwn("_listeners", list, vm.CaseSensitive(), kDontEnum);
  }
  return list;
}

bool RemoveListener(Interpreter& vm, Object* list, const Value& listener) {
  const std::vector<Value> listeners = ListItems(vm, list, kMaxArrayElements);
  for (size_t i = 0; i < listeners.size(); ++i) {
    if (SameListener(vm, listeners[i], listener)) {
      ArrayRemoveAt(vm, list, static_cast<int32_t>(i));
      return true;
    }
  }
  return false;
}

}  // namespace

void Interpreter::InstallBroadcaster() {
  const bool cs = CaseSensitive();
  // AsBroadcaster is a class of its own, though its methods hang on the class itself.
  Object* broadcaster = NewNative([](Interpreter&, const Value&, std::span<const Value>) {
    return Value();
  });
  Object* proto = NewPlainObject();
  if (!broadcaster || !proto) return;
  broadcaster->SetOwn("prototype", proto, cs, kDontEnum | kDontDelete);
  proto->SetOwn("constructor", broadcaster, cs, kDontEnum);
  global_->SetOwn("AsBroadcaster", broadcaster, cs, kDontEnum);
  Object* add = AddMethod(*this, broadcaster, "addListener",
                          [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                            Object* list = Listeners(vm, self, true);
                            if (!list) return Value(true);
                            const Value listener = Arg(a, 0);
                            RemoveListener(vm, list, listener);
                            ArrayPush(vm, list, listener);
                            return Value(true);
                          });
  Object* remove = AddMethod(*this, broadcaster, "removeListener",
                             [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                               Object* list = Listeners(vm, self, false);
                               return Value(list && RemoveListener(vm, list, Arg(a, 0)));
                             });
  Object* broadcast = AddMethod(*this, broadcaster, "broadcastMessage",
                                [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                                  if (a.empty()) return Value();
                                  Object* list = Listeners(vm, self, false);
                                  if (!list) return Value();
                                  const std::string name = vm.ToString(a[0]);
                                  // Listeners that add or remove listeners do not change who hears
                                  // this message.
                                  const std::vector<Value> listeners =
                                      ListItems(vm, list, kMaxArrayElements);
                                  for (const Value& listener : listeners) {
                                    const Value method =
                                        name.empty() ? listener : vm.GetMember(listener, name);
                                    vm.Call(method, listener, a.subspan(1));
                                  }
                                  return Value(!listeners.empty());
                                });
  auto initialize = [this, add, remove, broadcast](Object* o) {
    if (!o) return;
    const bool cs = CaseSensitive();
    o->SetOwn("broadcastMessage", broadcast, cs, kDontEnum);
    o->SetOwn("addListener", add, cs, kDontEnum);
    o->SetOwn("removeListener", remove, cs, kDontEnum);
    o->SetOwn("_listeners", NewArray(), cs, kDontEnum);
  };
  AddMethod(*this, broadcaster, "initialize",
            [initialize](Interpreter&, const Value&, std::span<const Value> a) {
              initialize(Arg(a, 0).AsObject());
              return Value();
            });

  // The player's own broadcasters. What they hear about (keys, the mouse, the stage) comes
  // from the host; here they are the objects scripts register with.
  auto global = [&](const char* name) {
    Object* o = NewPlainObject();
    if (o) global_->SetOwn(name, o, cs, kDontEnum);
    return o;
  };
  Object* key = global("Key");
  initialize(key);
  Object* mouse = global("Mouse");
  initialize(mouse);
  initialize(global("Stage"));
  if (Object* system = global("System")) {
    Object* ime = NewPlainObject();
    system->SetOwn("IME", ime, cs, kDontEnum);
    initialize(ime);
  }
  if (key) {
    const std::pair<const char*, int> codes[] = {
        {"BACKSPACE", 8}, {"TAB", 9},       {"ENTER", 13},  {"SHIFT", 16},    {"CONTROL", 17},
        {"ALT", 18},      {"CAPSLOCK", 20}, {"ESCAPE", 27}, {"SPACE", 32},    {"PGUP", 33},
        {"PGDN", 34},     {"END", 35},      {"HOME", 36},   {"LEFT", 37},     {"UP", 38},
        {"RIGHT", 39},    {"DOWN", 40},     {"INSERT", 45}, {"DELETEKEY", 46}};
    for (const auto& [name, code] : codes) key->SetOwn(name, code, cs, kDontEnum | kReadOnly);
    for (const char* name : {"getCode", "getAscii"}) {
      AddMethod(*this, key, name,
                [](Interpreter&, const Value&, std::span<const Value>) { return Value(0); });
    }
    for (const char* name : {"isDown", "isToggled"}) {
      AddMethod(*this, key, name,
                [](Interpreter&, const Value&, std::span<const Value>) { return Value(false); });
    }
  }
  // MovieClipLoader instances broadcast through their prototype's methods.
  Object* loaderProto = NewPlainObject();
  Object* loader = NewNative([](Interpreter& vm, const Value& self, std::span<const Value>) {
    Claim(vm, self);
    if (Object* o = self.AsObject()) {
      Object* list = vm.NewArray();
      if (list) ArrayPush(vm, list, self);
      o->SetOwn("_listeners", list, vm.CaseSensitive(), kDontEnum);
    }
    return Value();
  });
  if (loaderProto && loader) {
    initialize(loaderProto);
    loader->SetOwn("prototype", loaderProto, cs, kDontEnum | kDontDelete);
    loaderProto->SetOwn("constructor", loader, cs, kDontEnum);
    global_->SetOwn("MovieClipLoader", loader, cs, kDontEnum);
  }
}

}  // namespace swf::avm1
