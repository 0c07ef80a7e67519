#pragma once
// The bytecode loop: one Executor runs one activation's code. Private to the interpreter.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "player/avm1/action_codes.h"
#include "player/avm1/action_reader.h"
#include "player/avm1/activation.h"
#include "player/avm1/interpreter.h"
#include "player/avm1/quick_block.h"
#include "player/avm1/text.h"

namespace swf::avm1 {

inline bool IsPathLike(std::string_view name) {
  return name.find_first_of(":/.") != std::string_view::npos;
}

struct WithScope {
  size_t end;
  Object* object;
};

struct TryBlock {
  size_t tryEnd, catchEnd, finallyEnd;
  bool hasCatch, hasFinally, catchInRegister;
  uint8_t catchRegister;
  std::string catchName;
};

struct Executor {
  Interpreter& vm;
  Activation& act;
  std::span<const uint8_t> code;
  // The decoded form of `bytes`, which `code` lies in from `base` on.
  DecodedCode* decoded = nullptr;
  size_t pc = 0;
  std::vector<Value> ownStack;
  std::vector<Value>& stack;  // frame scripts share one stack, each function call has its own
  // What `code` lies in, held here where the executor read the code itself (a function
  // being called holds its own).
  std::shared_ptr<const std::vector<uint8_t>> bytes;
  size_t base = 0;
  std::vector<WithScope> withs;
  // A try, catch or finally body runs as its own loop over the same code and ends when it
  // leaves its range, by falling off the end or by jumping out.
  size_t rangeStart = 0;
  size_t rangeEnd = std::numeric_limits<size_t>::max();
  bool returned = false;
  // The last tellTarget named no clip.
  bool targetLost = false;
  // The last tellTarget came from a script whose clip had been removed, and stays on that clip.
  bool keptOnRemovedBase = false;
  Value result;
  int version;

  Executor(Interpreter& v, Activation& a, std::span<const uint8_t> c,
           std::vector<Value>* shared = nullptr)
      : vm(v), act(a), code(c), stack(shared ? *shared : ownStack), version(v.Version()) {}

  Value Pop() {
    if (stack.empty()) return {};
    Value v = std::move(stack.back());
    stack.pop_back();
    return v;
  }
  void Push(Value v) { stack.push_back(std::move(v)); }
  double PopNumber() { return vm.ToNumber(Pop()); }
  std::string PopString() { return vm.ToString(Pop()); }
  // A name given as a value: a string as it is, anything else converted into `storage`.
  std::string_view NameOf(const Value& v, std::string& storage) {
    if (v.IsString()) return v.AsString();
    storage = vm.ToString(v);
    return storage;
  }
  bool CaseSensitive() const { return vm.CaseSensitive(); }
  bool Is(std::string_view a, std::string_view b) const {
    return NamesEqual(a, b, CaseSensitive());
  }

  // Comparisons give booleans in SWF 4 movies too; such a movie prints them as 1 or 0.
  Value Truth(bool b) const { return Value(b); }

  // The main timeline of the level the script's clip plays in.
  Object* Root() {
    if (!vm.Host()) return act.base;
    const Object* at = act.target;
    return vm.ClipObject(at && at->kind == ObjectKind::Clip ? vm.Host()->RootOf(at->clip)
                                                            : vm.Host()->Root());
  }

  // --- variables -------------------------------------------------------------------------

  bool Special(std::string_view name, Value& out) {
    // Every special name but `this` starts with an underscore, which has no case: most names
    // are told apart by their first letter.
    if (name.empty() || (name[0] != '_' && name[0] != 't' && name[0] != 'T')) return false;
    if (act.thisByName && Is(name, "this")) {
      out = act.thisValue;
      return true;
    }
    if (Is(name, "_global") && version >= 6) {
      out = vm.Global();
      return true;
    }
    if (Is(name, "_root")) {
      out = Root();
      return true;
    }
    // A variable of a level's name set on a clip in scope hides the level.
    if (Value level; LevelStep(name, level)) {
      for (auto it = act.scope.rbegin(); it != act.scope.rend(); ++it) {
        Object* o = *it == act.base ? act.target : *it;
        if (o && o->kind == ObjectKind::Clip && o->FindOwn(name, CaseSensitive())) {
          out = vm.GetMember(o, name);
          return true;
        }
      }
      out = std::move(level);
      return true;
    }
    return false;
  }

  // `holder`, when given, learns the `with` object or clip the name was found on.
  Value LookupPlain(std::string_view name, Object** holder = nullptr) {
    Value special;
    if (Special(name, special)) return special;
    for (auto it = withs.rbegin(); it != withs.rend(); ++it) {
      if (vm.HasProperty(it->object, name)) {
        if (holder) *holder = it->object;
        return vm.GetMember(it->object, name);
      }
    }
    for (auto it = act.scope.rbegin(); it != act.scope.rend(); ++it) {
      Object* o = *it == act.base ? act.target : *it;
      if (!o) continue;
      // A plain variable held by the scope object itself reads as it is: one lookup, where
      // asking first and reading after would make two. Clips, arrays' lengths, accessors
      // and the prototype link take the general way.
      if (o->kind != ObjectKind::Clip) {
        if (const Property* p = o->FindOwn(name, CaseSensitive());
            p && !p->getter && !Is(name, "__proto__") &&
            !(o->kind == ObjectKind::Array && Is(name, "length"))) {
          return p->value;
        }
      }
      if (vm.HasProperty(o, name)) {
        if (holder && o->kind == ObjectKind::Clip) *holder = o;
        return vm.GetMember(o, name);
      }
    }
    if (vm.HasProperty(vm.Global(), name)) return vm.GetMember(vm.Global(), name);
    return {};
  }

  // A step along a path: where a variable that is no object hides a child clip of the same
  // name and the path goes on, the clip is the step.
  Value MemberOrChild(const Value& from, std::string_view name, bool goesOn) {
    Value v = vm.GetMember(from, name);
    Object* o = from.AsObject();
    if (goesOn && !v.IsObject() && o && o->kind == ObjectKind::Clip && vm.Host()) {
      if (std::optional<ClipRef> child = vm.Host()->Child(o->clip, name, CaseSensitive())) {
        return vm.ClipObject(*child);
      }
    }
    return v;
  }

  // How a path is read. A target (tellTarget, a property's clip, a clip to duplicate) finds a
  // child clip before a variable of the same name at every step and knows no `this`. The part
  // of a variable path before the variable's name may start from anything a script can name.
  enum class PathUse { Target, Holder };

  // "_level3" or "_flash3" names level 3, whatever follows the digits; no digits is level 0,
  // and the number wraps as a 32-bit one.
  bool LevelStep(std::string_view name, Value& out) {
    if (!vm.Host() || name.size() < 6 ||
        !(Is(name.substr(0, 6), "_level") || Is(name.substr(0, 6), "_flash"))) {
      return false;
    }
    uint32_t n = 0;
    for (size_t i = 6; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
      n = n * 10 + static_cast<uint32_t>(name[i] - '0');
    }
    const auto level = static_cast<int32_t>(n);
    const std::optional<ClipRef> at = level >= 0 ? vm.Host()->Level(level) : std::nullopt;
    out = at ? Value(vm.ClipObject(*at)) : Value();
    return true;
  }

  // One named step of a path from `from`.
  Value PathStep(const Value& from, std::string_view name, bool first, PathUse use) {
    Value v;
    if (LevelStep(name, v)) return v;
    if (Is(name, "_root")) return Root();
    if (first && use == PathUse::Holder) {
      // `this` leading a variable's path is the clip the script acts on, even in a function
      // that keeps no `this` of its own.
      if (Is(name, "this")) return act.target ? Value(act.target) : Value();
      if (Special(name, v)) return v;
    }
    Object* o = from.AsObject();
    if (o && o->kind == ObjectKind::Clip && vm.Host()) {
      if (std::optional<ClipRef> child = vm.Host()->Child(o->clip, name, CaseSensitive())) {
        return vm.ClipObject(*child);
      }
    }
    if (first && use == PathUse::Holder) return LookupPlain(name);
    return vm.GetMember(from, name);
  }

  // A target path ("/a/b", "../c", "_root.d", "a:b") to what it names: undefined when a step
  // names nothing, and what the last step holds, even a plain value.
  Value ResolveTarget(std::string_view path, PathUse use = PathUse::Target) {
    if (path.empty()) return {};
    if (version < 5) return ResolveSlashTarget(path);
    Value cur = act.target;
    size_t i = 0;
    bool first = true;
    // Past a slash, dots are part of names (only ".." still steps up).
    bool slashes = false;
    if (path[0] == '/') {
      cur = Root();
      i = 1;
      first = false;
      slashes = true;
    }
    const size_t n = path.size();
    while (i < n) {
      if (!first && !cur.IsObject()) return {};
      // Colons before a step are passed over; with nothing after them the path names nothing.
      while (i < n && path[i] == ':') ++i;
      if (i == n) return {};
      if (path.compare(i, 2, "..") == 0 &&
          (i + 2 == n || path[i + 2] == '/' || path[i + 2] == ':')) {
        cur = vm.GetMember(cur, "_parent");
        if (!cur.IsObject()) return {};
        i += 2;
      } else {
        // A dot followed by another is part of the name: "a..b" is one name.
        size_t end = i;
        while (end < n && path[end] != '/' && path[end] != ':' &&
               !(path[end] == '.' && !slashes && (end + 1 == n || path[end + 1] != '.'))) {
          ++end;
        }
        if (end == i) return {};
        cur = PathStep(cur, path.substr(i, end - i), first, use);
        i = end;
      }
      first = false;
      // A step closes with a dot, a colon and a slash, each at most once and in that order.
      if (i < n && path[i] == '.' && !slashes) ++i;
      if (i < n && path[i] == ':') ++i;
      if (i < n && path[i] == '/') ++i, slashes = true;
    }
    return cur;
  }

  // SWF 4 paths: slashes only, a level named only at the start, and no _root.
  Value ResolveSlashTarget(std::string_view path) {
    Value cur = act.target;
    size_t i = 0;
    if (path[0] == '/') {
      cur = Root();
      i = 1;
    } else if (Value level; LevelStep(path.substr(0, path.find('/')), level)) {
      cur = level;
      i = std::min(path.size(), path.find('/'));
      if (i < path.size()) ++i;
    }
    while (i < path.size()) {
      if (!cur.IsObject()) return {};
      size_t end = std::min(path.size(), path.find('/', i));
      const std::string_view name = path.substr(i, end - i);
      if (name.empty()) return {};
      if (name == "..") {
        cur = vm.GetMember(cur, "_parent");
      } else {
        // Only child clips: "_root" or "_level0" past the start is a name like any other.
        Object* o = cur.AsObject();
        const std::optional<ClipRef> child = o && o->kind == ObjectKind::Clip && vm.Host()
                                                 ? vm.Host()->Child(o->clip, name, CaseSensitive())
                                                 : std::nullopt;
        cur = child ? Value(vm.ClipObject(*child)) : Value();
      }
      i = end < path.size() ? end + 1 : end;
    }
    return cur;
  }

  // The player warns where a clip was asked for and a path led to a plain value.
  void WarnIfPrimitive(const Value& v) {
    if (version >= 5 && !v.IsObject() && !v.IsUndefined() && !v.IsNull()) {
      vm.Trace(
          "Parameters of primitive types are no longer coerced into the required type - "
          "Object.");
    }
  }

  // Splits "path:name" or "path.name" into its object and the name: the last colon (or, from
  // SWF 5 on, dot) splits, so "a:b.c" is the variable c of a's b.
  bool SplitPath(std::string_view name, Value& object, std::string& var) {
    const size_t split = name.find_last_of(version < 5 ? ":" : ":.");
    if (split == std::string_view::npos) return false;
    const std::string_view holder = name.substr(0, split);
    if (name[split] != '.' || !DottedPath(holder, object)) {
      object = ResolveTarget(holder, PathUse::Holder);
    }
    var = std::string(name.substr(split + 1));
    return true;
  }

  // "a.b.c": the first object up the scope chain through which the whole path leads to an
  // object at every step; one that ends early leaves the next scope to try.
  bool DottedPath(std::string_view name, Value& out) {
    if (name.empty() || name.find_first_of(":/") != std::string_view::npos || name.front() == '.' ||
        name.back() == '.' || name.find("..") != std::string_view::npos) {
      return false;
    }
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
      const size_t dot = name.find('.', start);
      parts.push_back(name.substr(start, dot == std::string_view::npos ? dot : dot - start));
      if (dot == std::string_view::npos) break;
      start = dot + 1;
    }
    auto walk = [&](Value v) {
      for (size_t i = 1; i < parts.size(); ++i) {
        if (!v.IsObject() || !vm.HasProperty(v.AsObject(), parts[i])) return false;
        v = MemberOrChild(v, parts[i], i + 1 < parts.size());
      }
      out = std::move(v);
      return true;
    };
    Value special;
    if (Special(parts[0], special)) return walk(special);
    std::vector<Object*> scopes;
    for (auto it = withs.rbegin(); it != withs.rend(); ++it) scopes.push_back(it->object);
    for (auto it = act.scope.rbegin(); it != act.scope.rend(); ++it) {
      scopes.push_back(*it == act.base ? act.target : *it);
    }
    scopes.push_back(vm.Global());
    for (Object* o : scopes) {
      if (o && vm.HasProperty(o, parts[0]) && walk(vm.GetMember(o, parts[0]))) return true;
      // A variable may hide a child clip of the same name; the path still finds the clip.
      if (o && o->kind == ObjectKind::Clip && vm.Host()) {
        std::optional<ClipRef> child = vm.Host()->Child(o->clip, parts[0], CaseSensitive());
        if (child && walk(vm.ClipObject(*child))) return true;
      }
    }
    out = Value();
    return true;
  }

  Value GetVariable(std::string_view name) {
    if (version < 5) {
      // A SWF 4 movie reads only variables: a clip is no value to it.
      Value object;
      std::string var;
      Value v = SplitPath(name, object, var)
                    ? (object.IsObject() ? vm.GetMember(object, var) : Value())
                    : LookupPlain(name);
      const Object* o = v.AsObject();
      return o && o->kind == ObjectKind::Clip ? Value() : v;
    }
    if (!IsPathLike(name)) return LookupPlain(name);
    if (Value v; DottedPath(name, v)) return v;
    Value object;
    std::string var;
    if (SplitPath(name, object, var)) {
      if (!object.IsObject()) return {};
      // A level's name read from a clip is that level.
      if (Value level; LevelStep(var, level)) return level;
      return vm.GetMember(object, var);
    }
    // Slashes alone: the clip they lead to, or else a variable of that very name.
    if (Value v = ResolveTarget(name); v.IsObject()) return v;
    return LookupPlain(name);
  }

  // A function called by name runs on what it was found on: the `with` object or clip that
  // has it, or the object a path to it leads through (null for a local or global function).
  Value GetCallee(std::string_view name, Object*& holder) {
    holder = nullptr;
    if (!IsPathLike(name)) return LookupPlain(name, &holder);
    Value object;
    std::string var;
    if (SplitPath(name, object, var)) holder = object.AsObject();
    return GetVariable(name);
  }

  void SetVariable(std::string_view name, Value value) {
    // A name with slashes but no colon or dot is a plain variable's name.
    if (Value object; IsPathLike(name)) {
      std::string var;
      if (SplitPath(name, object, var)) {
        vm.SetMember(object, var, std::move(value));
        return;
      }
    }
    for (auto it = withs.rbegin(); it != withs.rend(); ++it) {
      if (vm.HasProperty(it->object, name)) return vm.SetMember(it->object, name, std::move(value));
    }
    for (auto it = act.scope.rbegin(); it != act.scope.rend(); ++it) {
      Object* o = *it == act.base ? act.target : *it;
      if (o && o->FindOwn(name, CaseSensitive())) return vm.SetMember(o, name, std::move(value));
    }
    vm.SetMember(act.target, name, std::move(value));
  }

  // In a frame script a local is a timeline variable, written as any other (setters and
  // watchers see it).
  void DefineLocal(std::string_view name, Value value) {
    // Inside `with`, an object that already has the name itself (not by its prototypes)
    // takes the write.
    for (auto it = withs.rbegin(); it != withs.rend(); ++it) {
      if (it->object->FindOwn(name, CaseSensitive())) {
        return vm.SetMember(it->object, name, std::move(value));
      }
    }
    if (act.function) {
      if (Object* locals = Locals()) locals->SetOwn(name, std::move(value), CaseSensitive());
    } else if (act.target) {
      vm.SetMember(act.target, name, std::move(value));
    }
  }

  // A function's locals object, made when first needed (null in a frame script, or when the
  // heap is full).
  Object* Locals() {
    if (!act.locals && act.function) {
      act.locals = vm.NewObject(nullptr);
      if (act.locals) act.scope.push_back(act.locals);
    }
    return act.locals;
  }

  // --- clips -----------------------------------------------------------------------------

  bool TargetClip(ClipRef& out) {
    if (!vm.Host() || !act.target || act.target->kind != ObjectKind::Clip) return false;
    out = act.target->clip;
    return true;
  }

  void GotoFrame(size_t frame, bool play) {
    ClipRef clip;
    if (!TargetClip(clip)) return;
    vm.Host()->Goto(clip, frame);
    vm.Host()->SetPlaying(clip, play);
  }

  // "target:frame": the clip the target names replaces `clip` and `frame` keeps what follows
  // the last colon. False when the target names no clip.
  bool SplitFrameTarget(std::string& frame, ClipRef& clip) {
    const size_t colon = frame.rfind(':');
    if (colon == std::string::npos) return true;
    Object* o = ResolveTarget(frame.substr(0, colon)).AsObject();
    if (!o || o->kind != ObjectKind::Clip) return false;
    clip = o->clip;
    frame = frame.substr(colon + 1);
    return true;
  }

  // A frame given as a value: a number from 1, or a label, or "target:frame".
  void GotoValue(const Value& frame, bool play, size_t bias) {
    ClipRef clip;
    if (!TargetClip(clip)) return;
    Value f = frame;
    if (f.IsString()) {
      std::string s = f.AsString();
      if (!SplitFrameTarget(s, clip)) return;
      const double n = StringToNumber(s, 5);
      if (std::isnan(n)) {
        std::optional<size_t> label = vm.Host()->FindLabel(clip, s);
        if (!label) return;
        vm.Host()->Goto(clip, *label);
        vm.Host()->SetPlaying(clip, play);
        return;
      }
      f = n;
    }
    const double n = vm.ToNumber(f);
    if (std::isnan(n) || n < 1) return;
    vm.Host()->Goto(clip, ToIndex(n) - 1 + bias);
    vm.Host()->SetPlaying(clip, play);
  }

  static std::string_view FirstStep(std::string_view path) {
    return path.substr(0, path.find_first_of("/.:"));
  }

  void SetTarget(const Value& target) {
    // Up to SWF 6 undefined names the script's own clip, as the empty string does.
    targetLost = false;
    keptOnRemovedBase = false;
    if ((target.IsString() && target.AsString().empty()) ||
        (target.IsUndefined() && version <= 6)) {
      act.target = act.base;
      return;
    }
    // A script whose own clip has left the stage stands in a tree of its own: _root and every
    // relative path lead back to that clip, so what it tells goes nowhere.
    if (BaseClipGone() && target.IsString() &&
        !LevelNumber(FirstStep(target.AsString()), CaseSensitive())) {
      act.target = act.base;
      keptOnRemovedBase = true;
      return;
    }
    // A target is always found again by its path: a clip given by reference names the first
    // clip along its path, and anything else names what it prints as.
    Object* given = target.AsObject();
    const std::string path = given && given->kind == ObjectKind::Clip ? vm.ClipDotPath(given->clip)
                                                                      : vm.ToString(target);
    const Value found = ResolveTarget(path);
    WarnIfPrimitive(found);
    Object* o = found.AsObject();
    // An unknown target leaves the script acting on its level's main timeline, though the
    // target's properties then read as undefined.
    targetLost = !o || o->kind != ObjectKind::Clip;
    act.target = targetLost ? Root() : o;
  }

  static constexpr const char* kPropertyNames[] = {
      "_x",           "_y",           "_xscale",       "_yscale",       "_currentframe",
      "_totalframes", "_alpha",       "_visible",      "_width",        "_height",
      "_rotation",    "_target",      "_framesloaded", "_name",         "_droptarget",
      "_url",         "_highquality", "_focusrect",    "_soundbuftime", "_quality",
      "_xmouse",      "_ymouse"};

  // A property's clip: a clip as it is, anything else read as a path.
  Object* PropertyTarget(const Value& target) {
    if (Object* o = target.AsObject(); o && o->kind == ObjectKind::Clip) return o;
    const std::string path = target.IsString() ? target.AsString() : vm.ToString(target);
    if (path.empty()) return act.target;
    const Value found = ResolveTarget(path);
    WarnIfPrimitive(found);
    return found.AsObject();
  }

  // What SetProperty makes of a value before the clip hears of it, whether or not the target
  // names a clip (empty when nothing is to be written): a name or quality as text, the paths
  // as they are, and a number for the rest (an object's valueOf is asked, not its toString,
  // and NaN comes of one that gives no primitive).
  std::optional<Value> PropertyValue(int index, const Value& v) {
    switch (index) {
      case 13:  // _name, where NaN is written as 0
        if (v.IsNumber() && std::isnan(v.AsNumber())) return Value(std::string("0"));
        return Value(vm.ToString(v));
      case 19:  // _quality
        return Value(vm.ToString(v));
      case 11:  // _target
      case 14:  // _droptarget
      case 15:  // _url
        return v;
      case 17:  // _focusrect: an object is false, and what reads as no number changes nothing
        if (v.IsObject()) return Value(false);
        if (std::isnan(vm.ToNumber(v))) return std::nullopt;
        return v;
      default: {
        if (!v.IsObject()) return v;
        const Value p = ValueOfOperand(v);
        return p.IsPrimitive() ? p : Value(std::numeric_limits<double>::quiet_NaN());
      }
    }
  }

  void SetProperty(const Value& target, int index, const Value& value) {
    Object* o = PropertyTarget(target);
    if (index < 0 || index >= static_cast<int>(std::size(kPropertyNames))) return;
    const std::optional<Value> v = PropertyValue(index, value);
    if (o && v) vm.SetMember(o, kPropertyNames[index], *v);
  }

  Value GetProperty(const Value& target, int index) {
    if (targetLost && target.IsString() && target.AsString().empty()) return {};
    Object* o = PropertyTarget(target);
    if (!o || index < 0 || index >= static_cast<int>(std::size(kPropertyNames))) return {};
    if (index == 11) return o->kind == ObjectKind::Clip ? Value(vm.ClipTarget(o->clip)) : Value();
    // The property itself, even where a child clip has taken its name.
    if (Value v; o->kind == ObjectKind::Clip && !vm.ClipGone(o) &&
                 vm.GetClipProperty(o->clip, kPropertyNames[index], v)) {
      return v;
    }
    return vm.GetMember(o, kPropertyNames[index]);
  }

  // --- functions -------------------------------------------------------------------------

  // Runs a DefineFunction or DefineFunction2 record. What it defines is read once; each run
  // makes a new function object, sharing the definition with the last one made while the
  // constants it closes over are the same.
  bool DefineFunction(const DecodedAction& d) {
    if (d.broken || code.size() - (d.action.next - base) < d.function->size) return false;
    std::shared_ptr<const FunctionCode> fn = d.made.lock();
    if (!fn || fn->constants != act.Constants()) {
      auto made = std::make_shared<FunctionCode>(*d.function);
      made->constants = act.Constants();
      made->decoded = decoded->shared_from_this();
      fn = made;
      d.made = fn;
    }
    const size_t next = d.action.next - base;
    Object* f = vm.NewObject(vm.functionProto_);
    pc = next + fn->size;
    if (!f) return true;
    f->kind = ObjectKind::Function;
    f->code = fn;
    // SWF 5 functions see only the timeline they were defined on, not the function around them.
    if (version >= 6) {
      // The closure must share the locals the function defines later.
      Locals();
      f->scope = act.scope.ToVector();
    } else if (act.base) {
      f->scope = {act.base};
    }
    f->target = act.target;
    if (Object* proto = vm.NewPlainObject()) {
      proto->SetOwn("constructor", f, CaseSensitive(), kDontEnum);
      f->SetOwn("prototype", proto, CaseSensitive(), kDontEnum | kDontDelete);
    }
    if (fn->name.empty()) {
      Push(f);
    } else {
      DefineLocal(fn->name, f);
    }
    return true;
  }

  // The arguments of a call, in memory an ended call gave back (see GiveBack).
  std::vector<Value> PopArgs() {
    const double n = PopNumber();
    std::vector<Value> args;
    if (!vm.spareStacks_.empty()) {
      args = std::move(vm.spareStacks_.back());
      vm.spareStacks_.pop_back();
    }
    if (!(n > 0)) return args;
    const size_t count = std::min(ToIndex(n), stack.size());
    args.reserve(count);
    for (size_t i = 0; i < count; ++i) args.push_back(Pop());
    return args;
  }

  void GiveBack(std::vector<Value>& args) {
    constexpr size_t kMaxKept = 4096;
    if (args.capacity() == 0 || args.capacity() > kMaxKept) return;
    args.clear();
    vm.spareStacks_.push_back(std::move(args));
  }

  // --- comparisons -----------------------------------------------------------------------

  // What an object is as an operand of + and ==: what its valueOf gives, or the object itself
  // when that is no primitive (toString is not asked then).
  Value ValueOfOperand(const Value& v) {
    Object* o = v.AsObject();
    if (!o || o->kind == ObjectKind::Clip) return vm.ToPrimitive(v);
    // From SWF 6 on a date is read as text first: its toString, and never its valueOf.
    const bool text = o->kind == ObjectKind::Date && version >= 6;
    const Value valueOf = vm.GetMember(v, text ? "toString" : "valueOf", false);
    if (!valueOf.AsObject() || !valueOf.AsObject()->IsCallable()) {
      return text ? Value() : vm.ToPrimitive(v);
    }
    Value r = vm.Call(valueOf, v, {});
    return r.IsPrimitive() ? r : v;
  }

  bool LooseEquals(const Value& a, const Value& b) {
    if (a.IsObject() && b.IsObject()) return SameObject(a.AsObject(), b.AsObject());
    // An object without a valueOf of its own kind (_global, say) has no value: it equals
    // undefined and null.
    if (a.IsObject()) {
      const Value p = ValueOfOperand(a);
      return p.IsPrimitive() && LooseEquals(p, b);
    }
    if (b.IsObject()) {
      const Value p = ValueOfOperand(b);
      return p.IsPrimitive() && LooseEquals(a, p);
    }
    if ((a.IsUndefined() || a.IsNull()) && (b.IsUndefined() || b.IsNull())) return true;
    if (a.IsUndefined() || a.IsNull() || b.IsUndefined() || b.IsNull()) return false;
    // Two numbers compare as StrictEquals does, NaN equal to itself; a string that reads as
    // NaN is not.
    if (a.IsNumber() && b.IsNumber()) return StrictEquals(a, b);
    if (a.IsString() && b.IsString()) return a.AsString() == b.AsString();
    if (a.IsBool() && b.IsBool()) return a.AsBool() == b.AsBool();
    return PrimitiveToNumber(a, version) == PrimitiveToNumber(b, version);
  }

  bool StrictEquals(const Value& a, const Value& b) {
    // The original finds NaN strictly equal to itself.
    if (a.IsNumber() && b.IsNumber()) {
      return a.AsNumber() == b.AsNumber() || (std::isnan(a.AsNumber()) && std::isnan(b.AsNumber()));
    }
    if (a.IsObject() && b.IsObject()) return SameObject(a.AsObject(), b.AsObject());
    return a == b;
  }

  // A script holds a clip by its path: two clips that stand at the same path (one left behind
  // at a script depth when its frame was played again, one placed anew) are the same to it.
  bool SameObject(Object* a, Object* b) {
    if (a == b) return true;
    if (a->kind != ObjectKind::Clip || b->kind != ObjectKind::Clip || !vm.Host()) return false;
    a = vm.Resolved(a);
    b = vm.Resolved(b);
    return a && b && (a == b || vm.ClipDotPath(a->clip) == vm.ClipDotPath(b->clip));
  }

  // a < b as Less2 does it: undefined when either side is NaN.
  Value LessThan(const Value& a, const Value& b) {
    // An object whose valueOf gives an object back is not less than anything, nor is
    // anything less than it, and the other side is then never converted.
    auto side = [&](const Value& v, bool& opaque) -> Value {
      Object* o = v.AsObject();
      if (!o || o->kind == ObjectKind::Clip) return vm.ToPrimitiveNumber(v);
      Value valueOf = vm.GetMember(v, "valueOf");
      if (!valueOf.AsObject() || !valueOf.AsObject()->IsCallable()) {
        return vm.ToPrimitiveNumber(v);
      }
      Value r = vm.Call(valueOf, v, {});
      opaque = !r.IsPrimitive();
      return r;
    };
    bool opaque = false;
    const Value pa = side(a, opaque);
    if (opaque) return false;
    const Value pb = side(b, opaque);
    if (opaque) return false;
    if (pa.IsString() && pb.IsString()) return pa.AsString() < pb.AsString();
    const double x = PrimitiveToNumber(pa, version), y = PrimitiveToNumber(pb, version);
    if (std::isnan(x) || std::isnan(y)) return Value();
    return x < y;
  }

  // --- the loop --------------------------------------------------------------------------

  // The actions that run often, from their decoded form; the rest go on to Step(Action).
  bool Step(const DecodedAction& d);
  bool Push(const DecodedAction& d);
  // Runs `d` and the quick actions after it, as many as it can, leaving `d` at the last one
  // run and `pc` after it; gives how many ran (none: the loop runs `d` itself).
  size_t RunQuick(const DecodedAction*& d, size_t end, size_t first, size_t limit);
  // Runs the run of number work `q` as a whole when everything it needs holds, leaving `at`
  // where the script goes on; gives the last record run, or null when it did not run.
  const DecodedAction* RunBlock(const QuickBlock& q, size_t end, size_t first, size_t limit,
                                uint64_t& budget, size_t& done, size_t& at);
  // An operator on two numbers, into `out`; false for a SWF 4 division by zero, whose result
  // is text.
  bool NumberOp(uint8_t code, double x, double y, Value& out) const;
  // Where the operands are not both numbers (or both strings) the general path takes over.
  [[gnu::noinline]] bool StepMember(const DecodedAction& d);
  // The rest, kept out of Step so that the actions run most take no larger frame for them.
  [[gnu::noinline]] bool StepGeneral(const DecodedAction& d);
  bool Step(const Action& a);
  [[gnu::noinline]] bool StepCalls(const Action& a);
  [[gnu::noinline]] bool StepValues(const Action& a);
  [[gnu::noinline]] bool StepSwf4(const Action& a);
  [[gnu::noinline]] bool StepObjects(const Action& a);
  [[gnu::noinline]] bool StepTimeline(const Action& a);
  bool Run();
  // What the loop must look at after an action, by its code: whether it calls out (where a
  // script notices its clip is gone; a method call only when made on an object), and whether
  // it may move clips under the script. Most actions do neither, and cost one look-up here.
  // Quick: an action RunQuick may take on.
  enum : uint8_t { kCallsOut = 1, kOnObject = 2, kMovesClips = 4, kQuick = 8 };
  static constexpr std::array<uint8_t, 256> kActionTraits = [] {
    std::array<uint8_t, 256> t{};
    for (ActionCode c : {ActionCode::CallMethod, ActionCode::NewMethod}) {
      t[static_cast<uint8_t>(c)] = kCallsOut | kOnObject;
    }
    for (ActionCode c : {ActionCode::CallFunction, ActionCode::NewObject, ActionCode::Call}) {
      t[static_cast<uint8_t>(c)] = kCallsOut;
    }
    for (ActionCode c : {ActionCode::NextFrame, ActionCode::PrevFrame, ActionCode::GotoFrame,
                         ActionCode::GotoFrame2, ActionCode::GotoLabel, ActionCode::RemoveSprite,
                         ActionCode::SetTarget, ActionCode::SetTarget2}) {
      t[static_cast<uint8_t>(c)] |= kMovesClips;
    }
    for (ActionCode c : {ActionCode::Push,    ActionCode::Pop,       ActionCode::StoreRegister,
                         ActionCode::Not,     ActionCode::Increment, ActionCode::Decrement,
                         ActionCode::Add2,    ActionCode::Subtract,  ActionCode::Multiply,
                         ActionCode::Divide,  ActionCode::Modulo,    ActionCode::Less2,
                         ActionCode::Greater, ActionCode::Equals2,   ActionCode::Add,
                         ActionCode::Less,    ActionCode::Equals,    ActionCode::Jump,
                         ActionCode::If,      ActionCode::GetMember, ActionCode::SetMember}) {
      t[static_cast<uint8_t>(c)] |= kQuick;
    }
    return t;
  }();
  bool BaseClipGone();
  void KeepTarget();
  bool RunTry(const Action& a);
  bool FrameLoaded(size_t frame);
  // Skips the next `count` actions (WaitForFrame on a frame that is not there).
  void SkipActions(size_t count);
  // The Call action: runs another frame's scripts now, on this clip.
  void CallFrame(const Value& frame);
  Value Extract(const std::string& s, double index, double count, bool multibyte);
};

}  // namespace swf::avm1
