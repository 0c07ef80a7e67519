// What scripts see of the pointer and the keyboard: Key, Mouse.show/hide, Button, startDrag,
// Selection and the focus events. The player's input side feeds InputState; this reads it.
#include <algorithm>
#include <cmath>

#include "player/avm1/builtin_support.h"
#include "player/avm1/library.h"
#include "player/avm1/script_error.h"
#include "player/display_list.h"

namespace swf::avm1 {
namespace {

DisplayObject* Shown(Interpreter& vm, const Value& v) {
  Object* o = v.AsObject();
  if (!vm.Host() || !o || o->kind != ObjectKind::Clip) return nullptr;
  return vm.Host()->Find(o->clip);
}

Object* GlobalObject(Interpreter& vm, std::string_view name) {
  const Property* p = vm.Global()->FindOwn(name, vm.CaseSensitive());
  return p ? p->value.AsObject() : nullptr;
}

// A clip takes the focus from a script when it asks for it (focusEnabled) or acts as a button.
bool TakesFocus(Interpreter& vm, const DisplayObject& clip) {
  Object* self = vm.ClipObject(ClipRef{clip.id});
  if (ToBoolean(vm.GetMember(self, "focusEnabled"), vm.Version())) return true;
  for (const char* name : {"onPress", "onRelease", "onReleaseOutside", "onRollOver", "onRollOut",
                           "onDragOver", "onDragOut"}) {
    if (IsFunction(vm.GetMember(self, name))) return true;
  }
  return false;
}

// The text field that has the focus, if its text can be selected.
TextField* FocusedField(Interpreter& vm) {
  const uint64_t focus = vm.Input().focus;
  DisplayObject* d = focus && vm.Host() ? vm.Host()->Find(ClipRef{focus}) : nullptr;
  return d && d->field && d->field->selectable ? d->field.get() : nullptr;
}

// Even focus given again to what has it moves the over state off and back on. The focus
// events may set the focus again; the roll events keep the order of the calls, not of their
// ends.
bool FocusFromScript(Interpreter& vm, uint64_t object) {
  std::vector<uint64_t>& rolls = vm.Input().focusRolls;
  const size_t at = rolls.size();
  rolls.push_back(object);
  if (vm.SetFocus(object)) return true;
  // Refused before any script ran, so nothing was queued behind it.
  rolls.resize(at);
  return false;
}

int32_t ClampTwips(double twips) {
  if (std::isnan(twips)) return 0;
  return static_cast<int32_t>(std::lround(std::clamp(twips, -1e9, 1e9)));
}

int KeyArg(Interpreter& vm, std::span<const Value> args) {
  const double n = vm.ToNumber(Arg(args, 0));
  return std::isnan(n) ? -1 : static_cast<int>(ToInt32(n));
}

}  // namespace

void Interpreter::Broadcast(std::string_view broadcaster, std::string_view message,
                            std::span<const Value> args) {
  Object* b = GlobalObject(*this, broadcaster);
  if (!b) return;
  std::vector<Value> all{Value(std::string(message))};
  all.insert(all.end(), args.begin(), args.end());
  const OutermostBlock block(*this);
  try {
    Call(GetMember(b, "broadcastMessage"), b, all);
  } catch (const ScriptException& e) {
    Trace("Warning: Uncaught exception, " + ToString(e.value));
  }
}

void Interpreter::StartDrag(const ClipRef& clip, bool lockCenter, std::optional<TwipsRect> bounds) {
  DisplayObject* o = host_ ? host_->Find(clip) : nullptr;
  if (!o || !o->parent) return;
  DragState drag{clip.serial, lockCenter, {}, bounds};
  if (!lockCenter) {
    Matrix toStage;
    for (const DisplayObject* p = o->parent; p; p = p->parent) toStage = p->matrix * toStage;
    const Point pointer = toStage.Inverse().Apply(input_.mouse);
    drag.offset = {o->matrix.tx - pointer.x, o->matrix.ty - pointer.y};
  }
  input_.drag = drag;
}

void Interpreter::StopDrag() { input_.drag = {}; }

bool Interpreter::SetFocus(uint64_t object) {
  if (!host_) return false;
  if (object) {
    const DisplayObject* o = host_->Find(ClipRef{object});
    // The main timeline never takes the focus.
    if (!o || o->removed || !o->parent) return false;
  }
  const uint64_t old = input_.focus;
  if (object == old) return true;
  // An object losing the focus because it went away still names itself.
  auto value = [&](uint64_t id) { return id ? Value(ClipObject(ClipRef{id})) : Value(Null{}); };
  const Value before = value(old), after = value(object);
  auto notify = [&](const Value& on, const char* name, const Value& arg) {
    if (!on.IsObject()) return;
    const OutermostBlock block(*this);
    try {
      const Value method = GetMember(on, name);
      if (IsFunction(method)) Call(method, on, std::span<const Value>(&arg, 1));
    } catch (const ScriptException& e) {
      Trace("Warning: Uncaught exception, " + ToString(e.value));
    }
  };
  notify(before, "onKillFocus", after);
  input_.focus = object;
  // A field that takes the focus from a script has all its text selected, though Selection
  // does not report it until a script sets the selection itself.
  if (DisplayObject* d = object ? host_->Find(ClipRef{object}) : nullptr; d && d->field) {
    d->field->selBegin = 0;
    d->field->selEnd = d->field->text().size();
  }
  if (Object* selection = GlobalObject(*this, "Selection")) selection->internal.assign(1, false);
  notify(after, "onSetFocus", before);
  const Value both[] = {before, after};
  Broadcast("Selection", "onSetFocus", both);
  return true;
}

void Interpreter::DropFocusWithin(uint64_t object) {
  if (!host_ || !input_.focus) return;
  const DisplayObject* focus = host_->Find(ClipRef{input_.focus});
  bool within = !object, gone = !focus;
  for (const DisplayObject* at = focus; at; at = at->parent) {
    within = within || at->id == object;
    gone = gone || at->removed || !at->visible;
  }
  if (within && gone) SetFocus(0);
}

void Interpreter::ReleaseFocusWithin(uint64_t object) {
  if (!host_ || !input_.focus || !object) return;
  for (const DisplayObject* at = host_->Find(ClipRef{input_.focus}); at; at = at->parent) {
    if (at->id == object) {
      SetFocus(0);
      return;
    }
  }
}

void Interpreter::InstallInputObjects() {
  const bool cs = CaseSensitive();
  // Button: what a button placed in a SWF 6 or later movie is an instance of.
  buttonProto_ = NewPlainObject();
  if (Object* ctor = NewNative([](Interpreter& vm, const Value& self, auto) { return Claim(vm, self); });
      ctor && buttonProto_) {
    ctor->SetOwn("prototype", buttonProto_, cs, kDontEnum | kDontDelete);
    buttonProto_->SetOwn("constructor", ctor, cs, kDontEnum);
    global_->SetOwn("Button", ctor, cs, kDontEnum);
    AddMethod(*this, buttonProto_, "getDepth", [](Interpreter& vm, const Value& self, auto) {
      const DisplayObject* o = Shown(vm, self);
      return o ? Value(static_cast<double>(o->ScriptDepth())) : Value();
    });
  }
  for (Object* proto : {clipProto_, buttonProto_}) {
    if (!proto) continue;
    proto->SetOwn("useHandCursor", true, cs, kDontEnum);
    proto->SetOwn("enabled", true, cs, kDontEnum);
  }

  if (Object* key = GlobalObject(*this, "Key")) {
    AddMethod(*this, key, "isDown", [](Interpreter& vm, const Value&, std::span<const Value> a) {
      const int code = KeyArg(vm, a);
      return Value(code >= 0 && code < 256 && vm.Input().keys[static_cast<size_t>(code)]);
    });
    AddMethod(*this, key, "isToggled",
              [](Interpreter& vm, const Value&, std::span<const Value> a) {
                const int code = KeyArg(vm, a);
                return Value((code == 20 && vm.Input().capsLock) ||
                             (code == 144 && vm.Input().numLock));
              });
    AddMethod(*this, key, "getCode", [](Interpreter& vm, const Value&, auto) {
      return Value(static_cast<double>(vm.Input().lastCode));
    });
    AddMethod(*this, key, "getAscii", [](Interpreter& vm, const Value&, auto) {
      return Value(static_cast<double>(vm.Input().lastAscii));
    });
  }
  if (Object* mouse = GlobalObject(*this, "Mouse")) {
    // Both answer whether the pointer showed before the call: 1 or 0.
    for (const bool show : {true, false}) {
      AddMethod(*this, mouse, show ? "show" : "hide", [show](Interpreter& vm, const Value&, auto) {
        const bool was = vm.Input().mouseVisible;
        vm.Input().mouseVisible = show;
        return Value(was ? 1.0 : 0.0);
      });
    }
  }

  if (clipProto_) {
    AddMethod(*this, clipProto_, "startDrag",
              [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                const DisplayObject* o = Shown(vm, self);
                if (!o) return Value();
                std::optional<TwipsRect> bounds;
                if (a.size() >= 5) {
                  double n[4];
                  for (size_t i = 0; i < 4; ++i) n[i] = vm.ToNumber(a[i + 1]) * 20;
                  bounds = TwipsRect{ClampTwips(std::fmin(n[0], n[2])),
                                     ClampTwips(std::fmax(n[0], n[2])),
                                     ClampTwips(std::fmin(n[1], n[3])),
                                     ClampTwips(std::fmax(n[1], n[3]))};
                }
                vm.StartDrag(ClipRef{o->id}, ToBoolean(Arg(a, 0), vm.Version()), bounds);
                return Value();
              });
    AddMethod(*this, clipProto_, "stopDrag", [](Interpreter& vm, const Value&, auto) {
      vm.StopDrag();
      return Value();
    });
  }

  Object* selection = NewPlainObject();
  if (!selection) return;
  global_->SetOwn("Selection", selection, cs, kDontEnum);
  if (Object* broadcaster = GlobalObject(*this, "AsBroadcaster")) {
    const Value arg(selection);
    Call(GetMember(broadcaster, "initialize"), broadcaster, std::span<const Value>(&arg, 1));
  }
  AddMethod(*this, selection, "getFocus", [](Interpreter& vm, const Value&, auto) {
    const uint64_t focus = vm.Input().focus;
    if (!focus || !vm.Host() || !vm.Host()->Find(ClipRef{focus})) return Value(Null{});
    return Value(vm.ClipDotPath(ClipRef{focus}));
  });
  AddMethod(*this, selection, "setFocus",
            [](Interpreter& vm, const Value&, std::span<const Value> a) {
              const Value target = Arg(a, 0);
              if (target.IsUndefined() || target.IsNull()) return Value(FocusFromScript(vm, 0));
              const DisplayObject* o = Shown(vm, target);
              if (!o && target.IsString()) {
                if (std::optional<ClipRef> clip = vm.ResolveClip(target.AsString())) {
                  o = vm.Host()->Find(*clip);
                }
              }
              if (!o) return Value(false);
              if (o->IsClip() && !TakesFocus(vm, *o)) return Value(false);
              return Value(FocusFromScript(vm, o->id));
            });
  // The selection inside the focused text field: without one (or before a script set it) there
  // is none.
  enum Index { kBegin, kEnd, kCaret };
  for (const auto& [name, index] : {std::pair{"getBeginIndex", kBegin},
                                    std::pair{"getEndIndex", kEnd},
                                    std::pair{"getCaretIndex", kCaret}}) {
    const Index which = index;
    AddMethod(*this, selection, name, [which](Interpreter& vm, const Value& self, auto) {
      const TextField* f = FocusedField(vm);
      Object* o = self.AsObject();
      if (!f || !o || o->internal.size() != 1 || !o->internal[0].IsBool() ||
          !o->internal[0].AsBool()) {
        return Value(-1.0);
      }
      const size_t at = which == kBegin ? std::min(f->selBegin, f->selEnd)
                        : which == kEnd ? std::max(f->selBegin, f->selEnd)
                                        : f->selEnd;
      return Value(static_cast<double>(at));
    });
  }
  AddMethod(*this, selection, "setSelection",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              TextField* f = FocusedField(vm);
              Object* o = self.AsObject();
              if (!f || !o || a.empty()) return Value();
              const size_t length = f->text().size();
              auto index = [&](const Value& v) {
                if (v.IsUndefined()) return length;
                return std::min(ToIndex(vm.ToNumber(v)), length);
              };
              // The caret goes where the second index points, the other end stays put.
              f->selBegin = index(a[0]);
              f->selEnd = index(Arg(a, 1));
              o->internal.assign(1, true);
              return Value();
            });
}

}  // namespace swf::avm1
