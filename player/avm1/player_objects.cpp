// The objects that stand for the player and its surroundings: Stage's properties, System
// with its capabilities and security, PrintJob, the context menu classes and
// ExternalInterface. A projector has no page around it, no printer dialog of its own and no
// browser to call, so these report what a stand-alone player reports and do nothing more.
#include <cmath>
#include <string>

#include "player/avm1/library.h"
#include "player/display_list.h"

namespace swf::avm1 {
namespace {

Value CallMethod(Interpreter& vm, const Value& self, const char* name,
                 std::span<const Value> args) {
  return vm.Call(vm.GetMember(self, name), self, args);
}

bool SameLetters(std::string_view a, std::string_view b) { return NamesEqual(a, b, false); }

// --- Stage ---------------------------------------------------------------------------------

// What the stage's settings are now; kept on the Stage object's hidden side.
enum StageSlot : size_t { kScaleMode, kAlign, kDisplayState, kShowMenu, kStageSlots };

std::vector<Value>* StageState(const Value& self) {
  Object* o = self.AsObject();
  if (!o || o->internal.size() != kStageSlots) return nullptr;
  return &o->internal;
}

Object* StageObject(Interpreter& vm) { return vm.GetMember(vm.Global(), "Stage").AsObject(); }

// A stage that does not scale is as big as the window it is shown in; any other is as big
// as the movie says.
double StageSize(Interpreter& vm, bool width) {
  const auto* s = StageState(StageObject(vm));
  const auto [viewWidth, viewHeight] = vm.ViewSize();
  if (s && (*s)[kScaleMode] == Value("noScale") && viewWidth > 0 && viewHeight > 0) {
    return width ? viewWidth : viewHeight;
  }
  const Movie* movie = vm.Host() && vm.Host()->Display() ? vm.Host()->Display()->movie() : nullptr;
  if (!movie) return 0;
  const TwipsRect& r = movie->header.stage;
  return std::round((width ? r.xMax - r.xMin : r.yMax - r.yMin) / 20.0);
}

// Runs `change` and tells the stage's listeners when the stage's size came out different.
template <typename Change>
void ResizingStage(Interpreter& vm, Change change) {
  const double width = StageSize(vm, true), height = StageSize(vm, false);
  change();
  if (StageSize(vm, true) == width && StageSize(vm, false) == height) return;
  if (Object* stage = StageObject(vm)) {
    const Value args[] = {Value("onResize")};
    CallMethod(vm, stage, "broadcastMessage", args);
  }
}

void InstallStage(Interpreter& vm) {
  Object* stage = StageObject(vm);
  if (!stage) return;
  stage->internal = {Value("showAll"), Value(""), Value("normal"), Value(true)};
  for (const bool width : {true, false}) {
    AddAccessor(vm, stage, width ? "width" : "height",
                [width](Interpreter& vm, const Value&, std::span<const Value>) {
                  return Value(StageSize(vm, width));
                });
  }
  AddAccessor(
      vm, stage, "scaleMode",
      [](Interpreter&, const Value& self, std::span<const Value>) {
        auto* s = StageState(self);
        return s ? (*s)[kScaleMode] : Value();
      },
      // An unknown mode is showAll.
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        auto* s = StageState(self);
        if (!s) return Value();
        const std::string want = vm.ToString(Arg(a, 0));
        std::string mode = "showAll";
        for (const char* m : {"exactFit", "noBorder", "noScale"}) {
          if (SameLetters(want, m)) mode = m;
        }
        ResizingStage(vm, [&] { (*s)[kScaleMode] = mode; });
        return Value();
      });
  // Any of the letters L, T, R and B anywhere in the text, written back in that order.
  AddAccessor(
      vm, stage, "align",
      [](Interpreter&, const Value& self, std::span<const Value>) {
        auto* s = StageState(self);
        return s ? (*s)[kAlign] : Value();
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        auto* s = StageState(self);
        if (!s) return Value();
        const std::string text = vm.ToString(Arg(a, 0));
        std::string align;
        for (const char letter : {'L', 'T', 'R', 'B'}) {
          for (char c : text) {
            if (c == letter || c == letter - 'A' + 'a') {
              align += letter;
              break;
            }
          }
        }
        (*s)[kAlign] = align;
        return Value();
      });
  // Listeners hear onFullScreen when the state really changes; other texts are ignored.
  AddAccessor(
      vm, stage, "displayState",
      [](Interpreter&, const Value& self, std::span<const Value>) {
        auto* s = StageState(self);
        return s ? (*s)[kDisplayState] : Value();
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        auto* s = StageState(self);
        if (!s) return Value();
        const std::string want = vm.ToString(Arg(a, 0));
        const char* state = SameLetters(want, "fullScreen") ? "fullScreen"
                            : SameLetters(want, "normal")   ? "normal"
                                                            : nullptr;
        if (!state || (*s)[kDisplayState] == Value(state)) return Value();
        (*s)[kDisplayState] = state;
        const Value args[] = {Value("onFullScreen"), Value(std::string(state) == "fullScreen")};
        CallMethod(vm, self, "broadcastMessage", args);
        return Value();
      });
  AddAccessor(
      vm, stage, "showMenu",
      [](Interpreter&, const Value& self, std::span<const Value>) {
        auto* s = StageState(self);
        return s ? (*s)[kShowMenu] : Value();
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        if (auto* s = StageState(self)) (*s)[kShowMenu] = ToBoolean(Arg(a, 0), vm.Version());
        return Value();
      });
}

// --- System --------------------------------------------------------------------------------

void InstallSystem(Interpreter& vm) {
  const bool cs = vm.CaseSensitive();
  Object* system = vm.GetMember(vm.Global(), "System").AsObject();
  if (!system) return;
  system->SetOwn("useCodepage", false, cs);
  system->SetOwn("exactSettings", vm.Version() >= 7, cs);
  for (const char* name : {"setClipboard", "showSettings"}) {
    AddMethod(vm, system, name,
              [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
  if (Object* security = vm.NewPlainObject()) {
    system->SetOwn("security", security, cs, kDontEnum);
    // A projector plays a movie from a file, which may read other local files.
    security->SetOwn("sandboxType", "localWithFile", cs);
    for (const char* name : {"allowDomain", "allowInsecureDomain", "loadPolicyFile"}) {
      AddMethod(vm, security, name,
                [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
    }
  }
  if (Object* caps = vm.NewPlainObject()) {
    system->SetOwn("capabilities", caps, cs, kDontEnum);
    const std::pair<const char*, Value> values[] = {
        {"version", "WIN 9,0,0,0"},
        {"os", "Windows XP"},
        {"manufacturer", "Adobe Windows"},
        {"playerType", "StandAlone"},
        {"language", "en"},
        {"screenResolutionX", 1024},
        {"screenResolutionY", 768},
        {"screenDPI", 72},
        {"screenColor", "color"},
        {"pixelAspectRatio", 1},
        {"hasAudio", true},
        {"hasMP3", true},
        {"hasAudioEncoder", true},
        {"hasVideoEncoder", true},
        {"hasAccessibility", true},
        {"hasPrinting", true},
        {"hasScreenBroadcast", false},
        {"hasScreenPlayback", false},
        {"hasStreamingAudio", true},
        {"hasStreamingVideo", true},
        {"hasEmbeddedVideo", true},
        {"localFileReadDisable", false},
        {"avHardwareDisable", false},
        {"isDebugger", false},
        {"windowlessDisable", false},
        {"isEmbeddedInAcrobat", false},
    };
    for (const auto& [name, v] : values) caps->SetOwn(name, v, cs);
  }
}

// --- PrintJob ------------------------------------------------------------------------------

void InstallPrintJob(Interpreter& vm) {
  Object* ctor =
      DefineClass(vm, vm.Global(), "PrintJob",
                  [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  // Before SWF 7 a print job's prototype stands alone and its methods are not there.
  if (vm.Version() < 7) proto->proto = nullptr;
  for (const char* name : {"start", "addPage", "send"}) {
    Object* f = AddMethod(vm, proto, name, [](Interpreter&, const Value&, std::span<const Value>) {
      return Value(false);
    });
    Property* p = f ? proto->FindOwn(name, vm.CaseSensitive()) : nullptr;
    if (p && vm.Version() < 7) p->hidden = true;
  }
  // No job was started, so there is no page to measure; for-in lists these.
  for (const char* name : {"paperHeight", "paperWidth", "pageHeight", "pageWidth", "orientation"}) {
    AddAccessor(vm, proto, name,
                [](Interpreter&, const Value&, std::span<const Value>) { return Value(0); });
    proto->props.back().flags = 0;
  }
}

// --- ContextMenu and ContextMenuItem ----------------------------------------------------------

void InstallContextMenu(Interpreter& vm) {
  Object* item =
      DefineClass(vm, vm.Global(), "ContextMenuItem",
                  [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                    vm.SetMember(self, "caption", Arg(a, 0));
                    vm.SetMember(self, "onSelect", Arg(a, 1));
                    vm.SetMember(self, "separatorBefore", a.size() > 2 ? a[2] : Value(false));
                    vm.SetMember(self, "enabled", a.size() > 3 ? a[3] : Value(true));
                    vm.SetMember(self, "visible", a.size() > 4 ? a[4] : Value(true));
                    return Value();
                  });
  if (Object* proto = PrototypeOf(vm, item)) {
    AddMethod(vm, proto, "copy", [](Interpreter& vm, const Value& self, std::span<const Value>) {
      std::vector<Value> args;
      for (const char* f : {"caption", "onSelect", "separatorBefore", "enabled", "visible"}) {
        args.push_back(vm.GetMember(self, f));
      }
      return vm.Construct(vm.GetMember(vm.Global(), "ContextMenuItem"), args);
    });
  }
  Object* menu = DefineClass(vm, vm.Global(), "ContextMenu",
                             [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                               vm.SetMember(self, "onSelect", Arg(a, 0));
                               vm.SetMember(self, "customItems", vm.NewArray());
                               Object* builtIn = vm.NewPlainObject();
                               if (builtIn) {
                                 for (const char* n : {"print", "forward_back", "rewind", "loop",
                                                       "play", "quality", "zoom", "save"}) {
                                   builtIn->SetOwn(n, true, vm.CaseSensitive());
                                 }
                               }
                               vm.SetMember(self, "builtInItems", builtIn);
                               return Value();
                             });
  if (Object* proto = PrototypeOf(vm, menu)) {
    AddMethod(vm, proto, "hideBuiltInItems",
              [](Interpreter& vm, const Value& self, std::span<const Value>) {
                Object* items = vm.GetMember(self, "builtInItems").AsObject();
                if (items) {
                  for (Property& p : items->props) p.value = false;
                }
                return Value();
              });
    AddMethod(vm, proto, "copy", [](Interpreter& vm, const Value& self, std::span<const Value>) {
      const Value args[] = {vm.GetMember(self, "onSelect")};
      const Value copy = vm.Construct(vm.GetMember(vm.Global(), "ContextMenu"), args);
      Object* from = ThisArray(vm.GetMember(self, "customItems"));
      Object* to = ThisArray(vm.GetMember(copy, "customItems"));
      if (from && to) {
        for (const Value& v : from->elements) to->elements.push_back(CallMethod(vm, v, "copy", {}));
      }
      return copy;
    });
  }
}

// --- ExternalInterface ---------------------------------------------------------------------

// The helpers a page's script bridge uses to pass text. An empty or missing text gives null.
using TextFn = std::string (*)(std::string_view);

std::string UnescapeNamed(std::string_view s) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    bool done = false;
    for (const auto& [entity, c] : kNamed) {
      if (s.substr(i, entity.size()) == entity) {
        out += c;
        i += entity.size() - 1;
        done = true;
        break;
      }
    }
    if (!done) out += s[i];
  }
  return out;
}

std::string QuoteForScript(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '"') out += '\\';
    out += c;
  }
  return out;
}

void InstallExternalInterface(Interpreter& vm) {
  const bool cs = vm.CaseSensitive();
  Object* flash = vm.GetMember(vm.Global(), "flash").AsObject();
  Object* external = vm.NewPlainObject();
  if (!flash || !external) return;
  flash->SetOwn("external", external, cs);
  Object* ei =
      DefineClass(vm, external, "ExternalInterface",
                  [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  if (!ei) return;
  // No page hosts a projector's movie, so there is nobody to call.
  ei->SetOwn("available", false, cs);
  AddMethod(vm, ei, "addCallback",
            [](Interpreter&, const Value&, std::span<const Value>) { return Value(false); });
  AddMethod(vm, ei, "call",
            [](Interpreter&, const Value&, std::span<const Value>) { return Value(Null{}); });
  const std::pair<const char*, TextFn> helpers[] = {
      {"_escapeXML", [](std::string_view s) { return EscapeXml(s); }},
      {"_unescapeXML", UnescapeNamed},
      {"_jsQuoteString", QuoteForScript},
  };
  for (const auto& [name, fn] : helpers) {
    const TextFn f = fn;
    AddMethod(vm, ei, name, [f](Interpreter& vm, const Value&, std::span<const Value> a) {
      if (a.empty()) return Value(Null{});
      const std::string s = vm.ToString(a[0]);
      return s.empty() ? Value(Null{}) : Value(f(s));
    });
  }
}

// --- NetConnection -------------------------------------------------------------------------

// A connection to null is a local one and opens at once; a server connection never gets
// through from a projector. Closing or reconnecting tells onStatus of the one that was open.
constexpr double kClosed = 0, kLocal = 1, kRemote = 2;

void Status(Interpreter& vm, const Value& self, const char* code) {
  Object* event = vm.NewPlainObject();
  if (!event) return;
  vm.SetMember(event, "level", "status");
  vm.SetMember(event, "code", code);
  const Value args[] = {event};
  CallMethod(vm, self, "onStatus", args);
}

void CloseConnection(Interpreter& vm, const Value& self, Object* o) {
  const double state = o->internal.empty() ? kClosed : o->internal[0].AsNumber();
  o->internal.assign(1, kClosed);
  if (state == kClosed) return;
  o->SetOwn("isConnected", false, vm.CaseSensitive(), kDontEnum);
  Status(vm, self, "NetConnection.Connect.Closed");
  // The server connection that was still under way gives up too, and says nothing more.
  if (state == kRemote) CallMethod(vm, self, "onStatus", {});
}

void InstallNetConnection(Interpreter& vm) {
  Object* ctor = DefineClass(vm, vm.Global(), "NetConnection",
                             [](Interpreter& vm, const Value& self, std::span<const Value>) {
                               if (Object* o = Unclaimed(vm, self)) {
                                 o->internal.assign(1, kClosed);
                                 o->SetOwn("isConnected", false, vm.CaseSensitive(), kDontEnum);
                               }
                               return Value();
                             });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  AddMethod(vm, proto, "connect", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    Object* o = self.AsObject();
    if (!o || o->internal.size() != 1) return Value(false);
    CloseConnection(vm, self, o);
    const Value where = Arg(a, 0);
    if (where.IsNull() || where.IsUndefined()) {
      o->internal[0] = kLocal;
      o->SetOwn("isConnected", true, vm.CaseSensitive(), kDontEnum);
      Status(vm, self, "NetConnection.Connect.Success");
      return Value(true);
    }
    o->internal[0] = kRemote;
    return Value(true);
  });
  AddMethod(vm, proto, "close", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (o && o->internal.size() == 1) CloseConnection(vm, self, o);
    return Value();
  });
  for (const char* name : {"call", "addHeader"}) {
    AddMethod(vm, proto, name,
              [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
}

}  // namespace

void InstallPlayerObjects(Interpreter& vm) {
  InstallNetConnection(vm);
  InstallStage(vm);
  InstallSystem(vm);
  InstallPrintJob(vm);
  InstallContextMenu(vm);
  InstallExternalInterface(vm);
}

void Interpreter::SetViewSize(int width, int height) {
  if (width == viewWidth_ && height == viewHeight_) return;
  ResizingStage(*this, [&] {
    viewWidth_ = width;
    viewHeight_ = height;
  });
}

}  // namespace swf::avm1
