#include "player/avm1/library.h"

#include <algorithm>
#include <vector>

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
  // What the flash packages hold is listed to for-in.
  for (const char* name : {"text", "display", "filters", "geom", "net", "external", "automation"}) {
    if (Object* package = FlashPackage(vm, name)) {
      for (Property& p : package->props) p.flags = static_cast<uint16_t>(p.flags & ~kDontEnum);
    }
  }
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
    // System's members are listed to for-in, in the order the original makes them.
    std::vector<Property> members;
    for (const char* name : {"capabilities", "Product", "showSettings", "exactSettings",
                             "useCodepage", "security", "setClipboard", "IME"}) {
      if (const Property* p = system->FindOwn(name, vm.CaseSensitive())) {
        members.push_back(*p);
        members.back().flags = static_cast<uint16_t>(members.back().flags & ~kDontEnum);
      }
    }
    system->props.RemoveIf([&](const Property& p) {
      return std::any_of(members.begin(), members.end(),
                         [&](const Property& m) { return m.name == p.name; });
    });
    for (Property& p : members) system->props.push_back(std::move(p));
  }
}

}  // namespace swf::avm1
