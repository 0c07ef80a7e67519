// The `flash` package objects, and the classes in them that a projector has no use for but
// that movies still look for: flash.automation's and flash.text's TextRenderer.
#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

// Members these classes list to for-in, unlike the player's usual hidden ones.
void AddListedMethod(Interpreter& vm, Object* on, const char* name, NativeFunction fn) {
  Object* f = vm.NewNative(std::move(fn));
  if (on && f) on->SetOwn(name, f, vm.CaseSensitive());
}

Value Nothing(Interpreter&, const Value&, std::span<const Value>) { return Value(); }

// A class whose constructor leaves the new object a plain one.
Object* PlainClass(Interpreter& vm, Object* on, const char* name) {
  return DefineClass(vm, on, name, Nothing);
}

void InstallAutomation(Interpreter& vm, Object* automation) {
  Object* capture = PrototypeOf(vm, PlainClass(vm, automation, "StageCapture"));
  for (const char* name : {"capture", "cancel", "getFileNameBase", "setFileNameBase",
                           "getClipRect", "setClipRect", "listenForStageCapture", "valueOf",
                           "toString"}) {
    AddMethod(vm, capture, name, Nothing);
  }
  Object* generator = PrototypeOf(vm, PlainClass(vm, automation, "ActionGenerator"));
  for (const char* name : {"generateAction", "generateActions", "valueOf", "toString"}) {
    AddListedMethod(vm, generator, name, Nothing);
  }
  Object* configuration = PrototypeOf(vm, PlainClass(vm, automation, "Configuration"));
  for (const char* name :
       {"getTestAutomationConfiguration", "getDeviceConfiguration", "setDeviceConfiguration"}) {
    AddListedMethod(vm, configuration, name, Nothing);
  }
  AddListedMethod(vm, configuration, "valueOf",
                  [](Interpreter&, const Value& self, std::span<const Value>) { return self; });
  AddListedMethod(vm, configuration, "toString",
                  [](Interpreter&, const Value&, std::span<const Value>) {
                    return Value("[AutomationConfiguration]");
                  });
}

// TextRenderer is a class nobody constructs (`new` gives nothing); its settings are read-only
// here, as a projector draws device text the system's way. The same object is _global's
// textRenderer.
void InstallTextRenderer(Interpreter& vm, Object* text) {
  const bool cs = vm.CaseSensitive();
  Object* proto = vm.NewPlainObject();
  Object* renderer = vm.NewNative(Nothing, Nothing);
  if (!proto || !renderer || !text) return;
  renderer->SetOwn("prototype", proto, cs, kDontEnum | kDontDelete);
  proto->SetOwn("constructor", renderer, cs, kDontEnum);
  AddListedMethod(vm, renderer, "setAdvancedAntialiasingTable", Nothing);
  renderer->SetOwn("maxLevel", 4.0, cs, kReadOnly);
  renderer->SetOwn("displayMode", "default", cs, kReadOnly);
  text->SetOwn("TextRenderer", renderer, cs);
  vm.Global()->SetOwn("textRenderer", renderer, cs, kDontEnum);
}

}  // namespace

Object* FlashPackage(Interpreter& vm, const char* name) {
  const bool cs = vm.CaseSensitive();
  Object* flash = vm.GetMember(vm.Global(), "flash").AsObject();
  if (!flash) {
    flash = vm.NewPlainObject();
    if (!flash) return nullptr;
    vm.Global()->SetOwn("flash", flash, cs, kDontEnum);
  }
  if (Object* package = vm.GetMember(flash, name).AsObject()) return package;
  Object* package = vm.NewPlainObject();
  if (package) flash->SetOwn(name, package, cs);
  return package;
}

void InstallUnusedPackages(Interpreter& vm) {
  if (Object* automation = FlashPackage(vm, "automation")) InstallAutomation(vm, automation);
  InstallTextRenderer(vm, FlashPackage(vm, "text"));
}

}  // namespace swf::avm1
