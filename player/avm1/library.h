#pragma once
// The player's library beyond the language core: XML, LoadVars, the geometry classes, Date,
// and the objects that stand for the player and its surroundings (Stage, System, ...). Each
// family installs itself on _global; helpers here keep their definitions short.
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "player/avm1/builtin_support.h"
#include "player/avm1/xml_parser.h"

namespace swf::avm1 {

void InstallLibrary(Interpreter& vm);
// The package `flash.<name>` (geom, filters, net...), made with `flash` itself when first asked
// for; null only when the heap is full.
Object* FlashPackage(Interpreter& vm, const char* name);
// flash.automation and flash.text: classes a projector has no use for, there to be found.
void InstallUnusedPackages(Interpreter& vm);
void InstallXml(Interpreter& vm);
void InstallLoadVars(Interpreter& vm);
void InstallMovieClipLoader(Interpreter& vm);
// flash.geom; Matrix and ColorTransform come from their own file.
void InstallGeometry(Interpreter& vm);
void InstallMatrix(Interpreter& vm, Object* geom);
void InstallColorTransform(Interpreter& vm, Object* geom);
// Color, flash.geom.Transform and the clips' `transform` (after flash.geom).
void InstallClipColors(Interpreter& vm);
void InstallDate(Interpreter& vm);
void InstallSound(Interpreter& vm);
void InstallSharedObject(Interpreter& vm);
void InstallLocalConnection(Interpreter& vm);
void InstallXmlSocket(Interpreter& vm);
// flash.net (after AsBroadcaster, whose initialize its prototypes go through).
void InstallFileReference(Interpreter& vm);
// ASnative and ASSetNative, with the player's functions numbered as the original numbers them
// (after everything they number is installed).
void InstallNativeTable(Interpreter& vm);
// Stage's properties, System, PrintJob, ContextMenu and ExternalInterface (after flash.geom).
void InstallPlayerObjects(Interpreter& vm);
// Video's methods: it shows no stream, so attaching one or clearing the picture changes nothing.
void InstallVideoMethods(Interpreter& vm, Object* proto);
// ExternalInterface's translators between values and the XML a page bridge passes.
void InstallExternalInterfaceHelpers(Interpreter& vm, Object* externalInterface);
// A ColorTransform's eight numbers (multipliers red, green, blue, alpha, then the offsets).
void InitColorTransform(Object* o, const double (&values)[8]);
bool ReadColorTransform(const Value& v, double (&out)[8]);
// load, send, sendAndLoad, the byte counts and the default onData and onLoad, which XML and
// LoadVars share; onData hands what arrived to parseXML (`xml`) or decode.
void InstallDataMethods(Interpreter& vm, Object* proto, bool xml);

// A class scripts construct and extend: `init` runs on the new object, or on `this` when a
// subclass's constructor calls it through super. Its prototype inherits `base` (Object's
// prototype when null). Returns the constructor, null when the heap is full.
inline Object* DefineClass(Interpreter& vm, Object* on, const char* name, NativeFunction init,
                           Object* base = nullptr) {
  Object* proto = vm.NewObject(base ? base : vm.objectProto_);
  Object* ctor = vm.NewNative(std::move(init));
  if (!proto || !ctor || !on) return nullptr;
  const bool cs = vm.CaseSensitive();
  ctor->SetOwn("prototype", proto, cs, kDontEnum | kDontDelete);
  proto->SetOwn("constructor", ctor, cs, kDontEnum);
  on->SetOwn(name, ctor, cs, kDontEnum);
  return ctor;
}

// The object a library constructor may make its own: a plain one no class has claimed yet.
// Called as a plain function, a constructor's `this` may be a clip or _global, which it must
// leave alone.
inline Object* Unclaimed(Interpreter& vm, const Value& self) {
  Object* o = self.AsObject();
  return o && o != vm.Global() && o->kind == ObjectKind::Plain && o->internal.empty() && !o->bitmap
             ? o
             : nullptr;
}

// What the constructor of a library class without hidden state does: the object is one of
// its kind now, and no other class makes it its own. Gives the object made so.
inline Value Claim(Interpreter& vm, const Value& self) {
  Object* o = Unclaimed(vm, self);
  if (!o) return Value();
  o->kind = ObjectKind::Native;
  return self;
}

// Some of the player's objects keep their prototype link: a script cannot rewrite it until
// ASSetPropFlags frees it.
inline void LockPrototypeLink(Interpreter& vm, Object* o) {
  if (!o) return;
  constexpr uint16_t kLocked = kDontEnum | kDontDelete | kReadOnly;
  if (Property* link = o->FindOwn("__proto__", vm.CaseSensitive())) {
    link->flags |= kLocked;
    return;
  }
  o->props.push_back({"__proto__", Value(o->proto), kLocked});
}

// Some constructors lock everything they leave on the new object, its link and maker too:
// hidden, undeletable and read-only until ASSetPropFlags frees them.
inline void LockOwnProperties(Object* o) {
  if (!o) return;
  for (Property& p : o->props) p.flags |= kDontEnum | kDontDelete | kReadOnly;
}

// Objects waiting for the clock to move on (calls gathered for the end of a frame, a connection
// waiting for its answer): kept alive until then, then each handed to `each` once. Whoever
// holds the list adds to it.
using NextTickList = std::shared_ptr<std::vector<Object*>>;
inline NextTickList OnNextTick(Interpreter& vm, std::function<void(Interpreter&, Object*)> each) {
  auto waiting = std::make_shared<std::vector<Object*>>();
  vm.AddRootSource([waiting](const std::function<void(Object*)>& keep) {
    for (Object* o : *waiting) keep(o);
  });
  Interpreter* machine = &vm;
  vm.OnClockAdvanced([machine, waiting, each = std::move(each)] {
    std::vector<Object*> now;
    now.swap(*waiting);
    for (Object* o : now) each(*machine, o);
  });
  return waiting;
}

inline Object* PrototypeOf(Interpreter& vm, Object* ctor) {
  return ctor ? vm.GetMember(ctor, "prototype").AsObject() : nullptr;
}

// A property read (and, given a setter, written) through native functions, as the player's
// own properties are: hidden from for-in.
inline void AddAccessor(Interpreter& vm, Object* on, const char* name, NativeFunction get,
                        NativeFunction set = {}) {
  if (!on) return;
  Property p{name, Value(), kDontEnum};
  p.getter = vm.NewNative(std::move(get));
  if (set) p.setter = vm.NewNative(std::move(set));
  if (!p.getter) return;
  on->props.push_back(std::move(p));
}

// Some classes (the geometry ones, BitmapData, XMLNode) define their prototype's members in this
// order and, unlike the player's others, list them all to for-in. What is not named keeps its place
// first.
inline void ListMembersInOrder(Object* proto, std::initializer_list<const char*> order) {
  if (!proto) return;
  std::vector<Property> named, rest;
  for (Property& p : proto->props) rest.push_back(std::move(p));
  for (const char* name : order) {
    auto at =
        std::find_if(rest.begin(), rest.end(), [&](const Property& p) { return p.name == name; });
    if (at == rest.end()) continue;
    at->flags = static_cast<uint16_t>(at->flags & ~kDontEnum);
    named.push_back(std::move(*at));
    rest.erase(at);
  }
  proto->props.clear();
  for (Property& p : rest) proto->props.push_back(std::move(p));
  for (Property& p : named) proto->props.push_back(std::move(p));
}

inline double NumberArg(Interpreter& vm, std::span<const Value> args, size_t i) {
  return vm.ToNumber(Arg(args, i));
}

}  // namespace swf::avm1
