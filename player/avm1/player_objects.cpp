// The objects that stand for the player and its surroundings: Stage's properties, System
// with its capabilities and security, PrintJob, the context menu classes and
// ExternalInterface. A projector has no page around it, no printer dialog of its own and no
// browser to call, so these report what a stand-alone player reports and do nothing more.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "player/avm1/amf0.h"
#include "player/avm1/arrays.h"
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

Object* StageObject(Interpreter& vm) { return vm.GetMember(vm.Global(), "Stage").AsObject(); }

// A stage that does not scale is as big as the window it is shown in; any other is as big
// as the movie says.
double StageSize(Interpreter& vm, bool width) {
  const auto [viewWidth, viewHeight] = vm.ViewSize();
  if (vm.stageSettings_.scaleMode == "noScale" && viewWidth > 0 && viewHeight > 0) {
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
  for (const bool width : {true, false}) {
    AddAccessor(vm, stage, width ? "width" : "height",
                [width](Interpreter& vm, const Value&, std::span<const Value>) {
                  return Value(StageSize(vm, width));
                });
  }
  AddAccessor(
      vm, stage, "scaleMode",
      [](Interpreter& vm, const Value&, std::span<const Value>) {
        return Value(vm.stageSettings_.scaleMode);
      },
      // An unknown mode is showAll.
      [](Interpreter& vm, const Value&, std::span<const Value> a) {
        const std::string want = vm.ToString(Arg(a, 0));
        std::string mode = "showAll";
        for (const char* m : {"exactFit", "noBorder", "noScale"}) {
          if (SameLetters(want, m)) mode = m;
        }
        ResizingStage(vm, [&] { vm.stageSettings_.scaleMode = mode; });
        return Value();
      });
  // Any of the letters L, T, R and B anywhere in the text, written back in that order.
  AddAccessor(
      vm, stage, "align",
      [](Interpreter& vm, const Value&, std::span<const Value>) {
        return Value(vm.stageSettings_.align);
      },
      [](Interpreter& vm, const Value&, std::span<const Value> a) {
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
        vm.stageSettings_.align = align;
        return Value();
      });
  // Listeners hear onFullScreen when the state really changes; other texts are ignored.
  AddAccessor(
      vm, stage, "displayState",
      [](Interpreter& vm, const Value&, std::span<const Value>) {
        return Value(vm.stageSettings_.displayState);
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        const std::string want = vm.ToString(Arg(a, 0));
        const char* state = SameLetters(want, "fullScreen") ? "fullScreen"
                            : SameLetters(want, "normal")   ? "normal"
                                                            : nullptr;
        if (!state || vm.stageSettings_.displayState == state) return Value();
        vm.stageSettings_.displayState = state;
        const Value args[] = {Value("onFullScreen"), Value(std::string(state) == "fullScreen")};
        CallMethod(vm, self, "broadcastMessage", args);
        return Value();
      });
  AddAccessor(
      vm, stage, "showMenu",
      [](Interpreter& vm, const Value&, std::span<const Value>) {
        return Value(vm.stageSettings_.showMenu);
      },
      [](Interpreter& vm, const Value&, std::span<const Value> a) {
        vm.stageSettings_.showMenu = ToBoolean(Arg(a, 0), vm.Version());
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
  // The original makes this one with `new Object`, so it names its maker as such an object
  // does; its methods are listed to for-in.
  if (Object* security = vm.Construct(vm.GetMember(vm.Global(), "Object"), {}).AsObject()) {
    system->SetOwn("security", security, cs, kDontEnum);
    for (const char* name : {"allowDomain", "allowInsecureDomain", "loadPolicyFile",
                             "chooseLocalSwfPath", "escapeDomain"}) {
      security->SetOwn(name, vm.NewNative([](Interpreter&, const Value&, std::span<const Value>) {
        return Value();
      }),
                       cs);
    }
    // A projector plays a movie from a file, which may read other local files.
    security->SetOwn("sandboxType", "localWithFile", cs, kReadOnly);
    // Nothing asks a projector's movie where a policy file is, so a resolver resolves nothing.
    Object* resolver = PrototypeOf(vm, DefineClass(vm, security, "PolicyFileResolver",
                                                   [](Interpreter&, const Value&,
                                                      std::span<const Value>) { return Value(); }));
    if (resolver) {
      resolver->SetOwn(
          "resolve",
          vm.NewNative([](Interpreter&, const Value&, std::span<const Value>) { return Value(); }),
          cs);
      const Value broadcaster = vm.GetMember(vm.Global(), "AsBroadcaster");
      const Value args[] = {Value(resolver)};
      vm.Call(vm.GetMember(broadcaster, "initialize"), broadcaster, args);
    }
    if (Property* p = security->FindOwn("PolicyFileResolver", cs)) p->flags = 0;
  }
  if (Object* caps = vm.NewPlainObject()) {
    system->SetOwn("capabilities", caps, cs, kDontEnum);
    const std::pair<const char*, Value> values[] = {
        {"version", std::string(kPlayerVersion)},
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
      DefineClass(vm, vm.Global(), "PrintJob", [](Interpreter& vm, const Value& self, auto) {
        Claim(vm, self);
        return Value();
      });
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
                               Object* builtIn = vm.NewPlainObject();
                               if (builtIn) {
                                 for (const char* n : {"print", "forward_back", "rewind", "loop",
                                                       "play", "quality", "zoom", "save"}) {
                                   builtIn->SetOwn(n, true, vm.CaseSensitive());
                                 }
                               }
                               vm.SetMember(self, "builtInItems", builtIn);
                               vm.SetMember(self, "customItems", vm.NewArray());
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
        for (const Value& v : ListItems(vm, from, kMaxArrayElements)) {
          ArrayPush(vm, to, CallMethod(vm, v, "copy", {}));
        }
      }
      return copy;
    });
  }
}

// --- ExternalInterface ---------------------------------------------------------------------

void InstallExternalInterface(Interpreter& vm) {
  const bool cs = vm.CaseSensitive();
  Object* external = FlashPackage(vm, "external");
  if (!external) return;
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
  InstallExternalInterfaceHelpers(vm, ei);
}

// --- NetConnection -------------------------------------------------------------------------

// A connection to null is a local one and opens at once; a server connection never gets
// through from a projector. Closing or reconnecting tells onStatus of the one that was open.
constexpr double kClosed = 0, kLocal = 1, kRemote = 2;

// What a connection keeps on its hidden side: its state, the server's address, how many calls
// it has made (each answer comes back to "/n"), the headers sent with every request, and the
// calls of this frame waiting to go out together in one request.
enum NetSlot : size_t {
  kState,
  kUrl,
  kCallCount,
  kHeaders,
  kHeaderCount,
  kPending,
  kPendingCount,
  kNetSlots
};
// Calls one connection may gather in a frame, and the bytes they may hold; past either they
// are dropped.
constexpr double kMaxPendingCalls = 1024;
constexpr size_t kMaxPendingBytes = size_t{16} << 20;

void Status(Interpreter& vm, const Value& self, const char* code) {
  Object* event = vm.NewPlainObject();
  if (!event) return;
  vm.SetMember(event, "level", "status");
  vm.SetMember(event, "code", code);
  const Value args[] = {event};
  CallMethod(vm, self, "onStatus", args);
}

Object* Connection(const Value& self) {
  Object* o = self.AsObject();
  return o && o->internal.size() == kNetSlots ? o : nullptr;
}

void CloseConnection(Interpreter& vm, const Value& self, Object* o) {
  const double state = o->internal[kState].AsNumber();
  o->internal[kState] = kClosed;
  if (state == kClosed) return;
  o->SetOwn("isConnected", false, vm.CaseSensitive(), kDontEnum);
  Status(vm, self, "NetConnection.Connect.Closed");
  // The server connection that was still under way gives up too, and says nothing more.
  if (state == kRemote) CallMethod(vm, self, "onStatus", {});
}

std::string TextSlot(const Object* o, size_t slot) {
  return o->internal[slot].IsString() ? o->internal[slot].AsString() : std::string();
}

// Headers are kept as written: a name, the must-understand flag, the value's length and the
// value. Each of these walks them; what this file wrote always reads back whole.
template <typename Visit>
void EachHeader(std::string_view headers, Visit visit) {
  auto read = [&](size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | static_cast<uint8_t>(headers[at + i]);
    return v;
  };
  for (size_t at = 0; at + 2 <= headers.size();) {
    const size_t nameLength = read(at, 2);
    if (at + 2 + nameLength + 5 > headers.size()) return;
    const size_t end = at + 2 + nameLength + 5 + read(at + 2 + nameLength + 1, 4);
    if (end > headers.size()) return;
    visit(headers.substr(at + 2, nameLength), headers.substr(at, end - at));
    at = end;
  }
}

std::string WithoutHeader(std::string_view headers, std::string_view name) {
  std::string kept;
  EachHeader(headers, [&](std::string_view n, std::string_view whole) {
    if (n != name) kept += whole;
  });
  return kept;
}

double CountHeaders(std::string_view headers) {
  double count = 0;
  EachHeader(headers, [&](std::string_view, std::string_view) { ++count; });
  return count;
}

// Sends the calls a connection gathered this frame as one AMF request to its server.
void SendPending(Interpreter& vm, Object* o) {
  const double count = o->internal[kPendingCount].AsNumber();
  if (count <= 0) return;
  std::string body;
  PutU16(body, 0);
  PutU16(body, static_cast<uint32_t>(o->internal[kHeaderCount].AsNumber()));
  body += TextSlot(o, kHeaders);
  PutU16(body, static_cast<uint32_t>(count));
  body += TextSlot(o, kPending);
  o->internal[kPending] = std::string();
  o->internal[kPendingCount] = 0;
  Interpreter::UrlRequest request;
  request.url = TextSlot(o, kUrl);
  request.method = 2;
  request.data = std::move(body);
  request.contentType = "application/x-amf";
  vm.RequestUrl(request);
}

void InstallNetConnection(Interpreter& vm) {
  const auto init = [](Interpreter& vm, const Value& self, std::span<const Value>) {
    if (Object* o = Unclaimed(vm, self)) {
      o->internal.assign(kNetSlots, Value(0));
      o->internal[kUrl] = o->internal[kHeaders] = o->internal[kPending] = std::string();
      o->SetOwn("isConnected", false, vm.CaseSensitive(), kDontEnum);
    }
    return Value();
  };
  Object* ctor = DefineClass(vm, vm.Global(), "NetConnection", init);
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  // `new NetConnection` makes the connection itself rather than taking the object `new` would
  // hand it: the connection has no constructor properties, and its prototype link stays the
  // one it was made with. A subclass's super() still sets up the object it is given.
  ctor->construct = [ctor, init](Interpreter& vm, const Value&, std::span<const Value> a) {
    Object* o = vm.NewObject(vm.GetMember(ctor, "prototype").AsObject());
    if (!o) return Value();
    o->fixedProto = true;
    init(vm, Value(o), a);
    return Value(o);
  };
  // Connections with calls waiting for the end of the frame.
  const NextTickList waiting = OnNextTick(vm, [](Interpreter& vm, Object* o) {
    if (o->internal.size() == kNetSlots) SendPending(vm, o);
  });
  AddMethod(vm, proto, "connect", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    Object* o = Connection(self);
    if (!o) return Value(false);
    CloseConnection(vm, self, o);
    const Value where = Arg(a, 0);
    if (where.IsNull() || where.IsUndefined()) {
      o->internal[kState] = kLocal;
      o->SetOwn("isConnected", true, vm.CaseSensitive(), kDontEnum);
      Status(vm, self, "NetConnection.Connect.Success");
      return Value(true);
    }
    o->internal[kState] = kRemote;
    o->internal[kUrl] = vm.ToString(where);
    return Value(true);
  });
  AddMethod(vm, proto, "close", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    if (Object* o = Connection(self)) CloseConnection(vm, self, o);
    return Value();
  });
  AddMethod(vm, proto, "call",
            [waiting](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = Connection(self);
              if (!o || o->internal[kState].AsNumber() != kRemote || a.empty()) return Value();
              const double pending = o->internal[kPendingCount].AsNumber();
              if (pending >= kMaxPendingCalls) return Value();
              const double call = o->internal[kCallCount].AsNumber() + 1;
              o->internal[kCallCount] = call;
              const std::span<const Value> args = a.subspan(std::min<size_t>(a.size(), 2));
              std::string values;
              values += static_cast<char>(kAmfStrictArray);
              PutU32(values, static_cast<uint32_t>(args.size()));
              WriteAmf0(vm, args, values);
              std::string message = TextSlot(o, kPending);
              if (message.size() + values.size() > kMaxPendingBytes) return Value();
              PutAmfName(message, vm.ToString(a[0]));
              PutAmfName(message, "/" + vm.ToString(call));
              PutU32(message, static_cast<uint32_t>(values.size()));
              message += values;
              o->internal[kPending] = std::move(message);
              o->internal[kPendingCount] = pending + 1;
              if (pending == 0) waiting->push_back(o);
              return Value();
            });
  // A header goes with every request from now on; one of the same name takes the old one's
  // place. Left out, the flag is set and the value is null.
  AddMethod(vm, proto, "addHeader",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = Connection(self);
              if (!o || a.empty()) return Value();
              const std::string name = vm.ToString(a[0]);
              std::string headers = WithoutHeader(TextSlot(o, kHeaders), name);
              PutAmfName(headers, name);
              headers += static_cast<char>(a.size() < 2 || ToBoolean(a[1], vm.Version()) ? 1 : 0);
              std::string value;
              const Value v = a.size() > 2 ? a[2] : Value(Null{});
              WriteAmf0(vm, std::span<const Value>(&v, 1), value);
              PutU32(headers, static_cast<uint32_t>(value.size()));
              headers += value;
              if (headers.size() > kMaxPendingBytes) return Value();
              o->internal[kHeaders] = std::move(headers);
              o->internal[kHeaderCount] = CountHeaders(TextSlot(o, kHeaders));
              return Value();
            });
}

}  // namespace

void InstallVideoMethods(Interpreter& vm, Object* proto) {
  // for-in lists the newest first, and the original lists clear before attachVideo.
  for (const char* name : {"attachVideo", "clear"}) {
    AddMethod(vm, proto, name,
              [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
}

void InstallPlayerObjects(Interpreter& vm) {
  InstallNetConnection(vm);
  InstallStage(vm);
  InstallSystem(vm);
  InstallPrintJob(vm);
  InstallContextMenu(vm);
  InstallFileReference(vm);
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
