#include "player/avm1/library.h"

#include "player/avm1/bitmap_script.h"
#include "player/avm1/filter_objects.h"

namespace swf::avm1 {

void InstallLibrary(Interpreter& vm) {
  // The packages are listed newest first, so they are made in the order the original makes
  // them, whichever class needs one first.
  for (const char* name : {"text", "display", "filters", "geom", "net", "external", "automation"}) {
    FlashPackage(vm, name);
  }
  InstallXml(vm);
  InstallLoadVars(vm);
  InstallMovieClipLoader(vm);
  InstallGeometry(vm);
  InstallFilters(vm);
  InstallBitmapData(vm);
  InstallClipColors(vm);
  InstallPlayerObjects(vm);
  InstallDate(vm);
  InstallSound(vm);
  InstallSharedObject(vm);
  InstallLocalConnection(vm);
  InstallUnusedPackages(vm);
  InstallNativeTable(vm);

  for (const char* name : {"Math", "Key", "Mouse", "Selection"}) {
    LockPrototypeLink(vm, vm.GetMember(vm.Global(), name).AsObject());
  }
  if (Object* system = vm.GetMember(vm.Global(), "System").AsObject()) {
    LockPrototypeLink(vm, vm.GetMember(system, "IME").AsObject());
    // What an installed application is described by: nothing a movie can use, only made.
    DefineClass(vm, system, "Product", [](Interpreter& vm, const Value& self, auto) {
      Object* o = Unclaimed(vm, self);
      if (!o) return Value();
      o->SetOwn("name", Value(), vm.CaseSensitive());
      LockPrototypeLink(vm, o);
      LockOwnProperties(o);
      return Value();
    });
  }
}

}  // namespace swf::avm1
