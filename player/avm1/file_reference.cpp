// flash.net's FileReference and FileReferenceList. This player has no window of its own to
// pick files with, so a movie that asks for one is told nothing opened; what the classes look
// like (their members, flags and listener lists) is still there for movies that test for them
// or build on them.
#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

// Without a file picker nothing can be chosen, sent or fetched: every request answers false.
Value NothingOpened(Interpreter&, const Value&, std::span<const Value>) { return Value(false); }
Value NoEffect(Interpreter&, const Value&, std::span<const Value>) { return Value(); }

// Both prototypes broadcast to their listeners as AsBroadcaster makes objects do.
void MakeBroadcaster(Interpreter& vm, Object* proto) {
  const Value broadcaster = vm.GetMember(vm.Global(), "AsBroadcaster");
  const Value args[] = {Value(proto)};
  vm.Call(vm.GetMember(broadcaster, "initialize"), broadcaster, args);
}

}  // namespace

void InstallFileReference(Interpreter& vm) {
  Object* net = FlashPackage(vm, "net");
  if (!net) return;

  // A FileReference is an object of the player's own kind; what describes the chosen file is
  // listed by for-in but read-only to scripts.
  Object* file = DefineClass(
      vm, net, "FileReference", [](Interpreter& vm, const Value& self, std::span<const Value>) {
        Object* o = Unclaimed(vm, self);
        if (!o) return Value();
        o->kind = ObjectKind::Native;
        const bool cs = vm.CaseSensitive();
        for (const char* name :
             {"name", "type", "size", "modificationDate", "creationDate", "creator"}) {
          o->SetOwn(name, Value(), cs, kReadOnly);
        }
        o->SetOwn("postData", Value(), cs);
        o->SetOwn("_listeners", vm.NewArray(), cs);
        return Value();
      });
  if (Object* proto = PrototypeOf(vm, file)) {
    MakeBroadcaster(vm, proto);
    for (const char* name : {"browse", "upload", "download"}) {
      AddMethod(vm, proto, name, NothingOpened);
    }
    for (const char* name : {"cancel", "convertToPPT", "deleteConvertedPPT"}) {
      AddMethod(vm, proto, name, NoEffect);
    }
  }

  // A FileReferenceList stays a plain object; its list of chosen files starts empty.
  Object* list = DefineClass(vm, net, "FileReferenceList",
                             [](Interpreter& vm, const Value& self, std::span<const Value>) {
                               Object* o = Unclaimed(vm, self);
                               if (!o) return Value();
                               const bool cs = vm.CaseSensitive();
                               o->SetOwn("fileList", vm.NewArray(), cs);
                               o->SetOwn("_listeners", vm.NewArray(), cs);
                               return Value();
                             });
  if (Object* proto = PrototypeOf(vm, list)) {
    MakeBroadcaster(vm, proto);
    AddMethod(vm, proto, "browse", NothingOpened);
  }
}

}  // namespace swf::avm1
