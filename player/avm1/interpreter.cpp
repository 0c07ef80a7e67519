#include "player/avm1/interpreter.h"

#include <cmath>
#include <limits>
#include <unordered_set>

#include "player/avm1/activation.h"
#include "player/avm1/arrays.h"
#include "player/avm1/script_error.h"
#include "player/avm1/text.h"
#include "player/display_list.h"

namespace swf::avm1 {
namespace {

// Prototype chains are walked at most this far, so a loop made through __proto__ ends.
constexpr int kMaxProtoChain = 256;

bool IsClip(const Object* o) { return o && o->kind == ObjectKind::Clip; }

}  // namespace

// One more getter, setter or watcher call of a property under way, however the call ends.
struct AccessorTurn {
  AccessorTurn(Interpreter& vm, uint32_t key) : vm(vm), key(key) { ++vm.accessorDepths_[key]; }
  ~AccessorTurn() {
    const auto it = vm.accessorDepths_.find(key);
    if (it != vm.accessorDepths_.end() && --it->second <= 0) vm.accessorDepths_.erase(it);
  }
  AccessorTurn(const AccessorTurn&) = delete;
  AccessorTurn& operator=(const AccessorTurn&) = delete;
  Interpreter& vm;
  uint32_t key;
};

Interpreter::Interpreter(int version, ClipHost* host) : version_(version), host_(host) {
  noConstants_ = std::make_shared<const ConstantPool>();
  InstallBuiltins();
  if (!host_) standInRoot_ = NewObject(clipProto_);
}

Interpreter::~Interpreter() = default;

Object* Interpreter::NewObject(Object* proto) {
  if (heap_.size() >= kMaxObjects) return nullptr;
  heap_.push_back(std::make_unique<Object>());
  heap_.back()->proto = proto;
  return heap_.back().get();
}

Object* Interpreter::NewArray(std::vector<Value> elements) {
  Object* a = NewObject(arrayProto_);
  if (!a) return nullptr;
  a->kind = ObjectKind::Array;
  FillArray(a, std::move(elements));
  return a;
}

Object* Interpreter::NewNative(NativeFunction fn, NativeFunction construct) {
  Object* f = NewObject(functionProto_);
  if (!f) return nullptr;
  f->kind = ObjectKind::Function;
  f->native = std::move(fn);
  f->construct = std::move(construct);
  return f;
}

Object* Interpreter::ClipObject(const ClipRef& clip) {
  if (!host_) return standInRoot_;
  auto it = clips_.find(clip.serial);
  if (it != clips_.end()) return it->second;
  const DisplayObject* shown = host_->Find(clip);
  const bool button = shown && shown->IsButton();
  // Before SWF 6 a button is no object of its own: scripts reach the timeline that holds it.
  if (button && version_ < 6 && shown->parent) return ClipObject(ClipRef{shown->parent->id});
  Object* proto = button && buttonProto_ ? buttonProto_ : clipProto_;
  if (shown && shown->kind == DisplayKind::Video && videoProto_) proto = videoProto_;
  Object* o = NewObject(proto);
  if (!o) return nullptr;
  o->kind = ObjectKind::Clip;
  o->clip = clip;
  clips_[clip.serial] = o;
  if (const DisplayObject* shown = host_->Find(clip); shown && shown->field) {
    o->proto = textFieldProto_;
    InitTextField(o);
  }
  if (clip == host_->Root()) o->SetOwn("$version", std::string(kPlayerVersion), CaseSensitive());
  return o;
}

Object* Interpreter::BoxPrimitive(const Value& v) {
  Object* proto = v.IsString()   ? stringProto_
                  : v.IsNumber() ? numberProto_
                  : v.IsBool()   ? booleanProto_
                                 : objectProto_;
  Object* o = NewObject(proto);
  if (!o) return nullptr;
  BoxInto(o, v);
  return o;
}

void Interpreter::BoxInto(Object* o, const Value& v) {
  o->kind = ObjectKind::Boxed;
  o->primitive = v;
  // A String object's length is its own property, one a script may overwrite.
  if (v.IsString()) {
    o->SetOwn("length", static_cast<double>(Characters(v.AsString(), version_ >= 6).size()),
              CaseSensitive(), kDontEnum | kDontDelete);
  }
}

bool Interpreter::CoercedByScript(const Value& v, Value& out) {
  const char* name = v.IsString()   ? "String"
                     : v.IsNumber() ? "Number"
                     : v.IsBool()   ? "Boolean"
                                    : nullptr;
  Object* own = v.IsString() ? stringCtor_ : v.IsNumber() ? numberCtor_ : booleanCtor_;
  if (!name) return false;
  // Only the global's own properties and its prototypes count: never its __resolve.
  const Value ctor = GetMember(global_, name, false);
  if (ctor.AsObject() == own) return false;
  out = Value();
  Object* f = ctor.AsObject();
  if (!f || !f->IsCallable()) return true;
  const Value made = Construct(ctor, std::span<const Value>(&v, 1));
  if (made.IsObject()) out = made;
  return true;
}

std::string Interpreter::ClipTarget(const ClipRef& clip) {
  if (!host_) return "/";
  std::vector<std::string> names;
  ClipRef at = clip;
  ClipState state;
  while (host_->State(at, state)) {
    std::optional<ClipRef> parent = host_->Parent(at);
    if (!parent) break;
    names.push_back(state.name);
    at = *parent;
  }
  // Clips of the other levels are named from their level.
  const int32_t level = host_->LevelOf(at);
  std::string out = level ? "_level" + std::to_string(level) : std::string();
  if (names.empty()) return level ? out : "/";
  for (auto it = names.rbegin(); it != names.rend(); ++it) out += "/" + *it;
  return out;
}

std::string Interpreter::ClipDotPath(const ClipRef& clip) {
  std::string target = ClipTarget(clip);
  const std::string level = "_level" + std::to_string(host_ ? host_->LevelOf(clip) : 0);
  if (target == "/" || target == level) return level;
  if (target.rfind(level, 0) == 0) target.erase(0, level.size());
  for (char& c : target) {
    if (c == '/') c = '.';
  }
  return level + target;
}

Value Interpreter::GetClipMember(Object* clip, std::string_view name, bool& found) {
  found = true;
  if (!host_) {
    found = false;
    return {};
  }
  const bool cs = CaseSensitive();
  Value v;
  // A level's name leads to the level before a child clip of that name; other properties
  // give way to children.
  if (LevelNumber(name, cs) && GetClipProperty(clip->clip, name, v)) return v;
  if (std::optional<ClipRef> child = host_->Child(clip->clip, name, cs)) {
    return ClipObject(*child);
  }
  found = GetClipProperty(clip->clip, name, v);
  return v;
}

Value Interpreter::GetMember(const Value& object, std::string_view name, bool resolve) {
  const bool cs = CaseSensitive();
  Object* o = object.AsObject();
  if (!o) {
    if (Value made; CoercedByScript(object, made)) {
      return made.IsObject() ? GetMember(made, name, resolve) : Value();
    }
    if (object.IsString()) {
      if (NamesEqual(name, "length", cs)) {
        return static_cast<double>(Characters(object.AsString(), version_ >= 6).size());
      }
      o = stringProto_;
    } else if (object.IsNumber()) {
      o = numberProto_;
    } else if (object.IsBool()) {
      o = booleanProto_;
    } else {
      return {};
    }
  } else {
    // A reference to a clip that has left the stage leads to the clip now at its path.
    if (ClipGone(o)) {
      o = Resolved(o);
      if (!o) return {};
      return GetMember(o, name);
    }
    if (NamesEqual(name, "__proto__", cs)) {
      // `super` reads as the prototype its methods come from would.
      if (o->kind == ObjectKind::Super) return o->proto ? GetMember(o->proto, name) : Value();
      if (o->proto) return o->proto;
      const Property* kept = o->FindOwn("__proto__", cs);
      return kept ? kept->value : Value();
    }
    // addProperty can put a getter over the length.
    if (o->kind == ObjectKind::Array && NamesEqual(name, "length", cs)) {
      const Property* own = o->FindOwn(name, cs);
      if (!(own && own->getter)) return static_cast<double>(o->arrayLength);
    }
  }
  Object* at = o;
  for (int hops = 0; at; ++hops, at = at->proto) {
    if (hops == kMaxProtoChain) {
      // A prototype chain this long has a loop in it: the script stops there.
      stopped_ = true;
      return {};
    }
    if (Property* p = at->FindOwn(name, cs)) {
      if (p->getter) {
        const uint32_t key = CallKey(p->callKey);
        if (AccessorFree(key)) {
          AccessorTurn turn(*this, key);
          // A property read through `super` runs its getter on the caller's `this`.
          const Value self = o->kind == ObjectKind::Super ? Value(o->boundThis)
                             : object.IsObject()          ? object
                                                          : Value(o);
          return Call(p->getter, self, {});
        }
      }
      return p->value;
    }
    if (IsClip(at) && at == o) {
      bool found;
      Value v = GetClipMember(at, name, found);
      if (found) return v;
    }
  }
  // An object may answer for names it does not have through __resolve (from SWF 6 on).
  // A __resolve that holds a primitive or a clip is passed over for one further up.
  if (resolve && object.IsObject() && version_ >= 6 && !NamesEqual(name, "__resolve", cs)) {
    at = o;
    for (int hops = 0; at && hops < kMaxProtoChain; ++hops, at = at->proto) {
      const Property* p = at->FindOwn("__resolve", cs);
      Object* resolve = p ? p->value.AsObject() : nullptr;
      if (!resolve || resolve->kind == ObjectKind::Clip) continue;
      if (!resolve->IsCallable()) break;
      const Value args[] = {Value(std::string(name))};
      return Call(resolve, object, args);
    }
  }
  return {};
}

bool Interpreter::HasProperty(Object* object, std::string_view name) {
  const bool cs = CaseSensitive();
  if (ClipGone(object)) {
    object = Resolved(object);
    if (!object) return false;
  }
  if (object->kind == ObjectKind::Array && NamesEqual(name, "length", cs)) return true;
  Object* at = object;
  for (int hops = 0; at && hops < kMaxProtoChain; ++hops, at = at->proto) {
    if (at->FindOwn(name, cs)) return true;
    if (IsClip(at) && at == object) {
      bool found;
      GetClipMember(at, name, found);
      if (found) return true;
    }
  }
  return false;
}

void Interpreter::SetMember(const Value& object, std::string_view name, Value value) {
  Object* o = object.AsObject();
  if (!o) return;  // primitives keep no properties
  if (ClipGone(o)) {
    o = Resolved(o);
    if (!o) return;
    return SetMember(o, name, std::move(value));
  }
  const bool cs = CaseSensitive();
  if (NamesEqual(name, "__proto__", cs)) {
    if (o->fixedProto) return;
    if (const Property* kept = o->FindOwn(name, cs); kept && (kept->flags & kReadOnly)) return;
    if (!o->watchers.empty()) value = Watched(o, name, std::move(value));
    o->proto = value.AsObject();
    // Anything but an object links to nothing, yet reads back as it was written.
    if (Property* kept = o->FindOwn(name, cs)) {
      kept->value = std::move(value);
    } else if (!o->proto) {
      o->props.push_back({"__proto__", std::move(value), kDontEnum | kDontDelete});
    }
    return;
  }
  if (o->kind == ObjectKind::Clip && SetClipProperty(o->clip, name, value)) return;
  if (o->kind == ObjectKind::Array) {
    if (NamesEqual(name, "length", cs)) {
      SetArrayLength(o, ToInt32(ToNumber(value)));
      return;
    }
    // Writing at an index stretches the length past it, counting in 32 bits as the player
    // does: index 2147483647 makes the length -2147483648.
    if (int32_t index; IndexName(name, index)) GrowArray(o, index);
  }
  if (!o->watchers.empty()) value = Watched(o, name, std::move(value));
  // A property with a setter anywhere up the chain takes the write; one without (a getter
  // alone) refuses it. Either keeps the value written as well: that is what it reads as
  // while its accessors cannot be called, having nested as deep as they may.
  Object* at = o;
  for (int hops = 0; at && hops < kMaxProtoChain; ++hops, at = at->proto) {
    Property* p = at->FindOwn(name, cs);
    if (!p) continue;
    if (!p->getter && !p->setter) {
      // The object's own property takes the value where it stands (unless it is read-only):
      // no need to look for it again.
      if (at != o) break;
      if (!(p->flags & kReadOnly)) p->value = std::move(value);
      return;
    }
    const uint32_t key = CallKey(p->callKey);
    if (!AccessorFree(key)) {
      p->value = std::move(value);
      return;
    }
    Object* setter = p->setter;
    if (!setter) return;
    {
      AccessorTurn turn(*this, key);
      const Value args[] = {value};
      Call(setter, o, args);
    }
    // The setter may have removed or remade the property.
    if (Property* again = at->FindOwn(name, cs); again && again->callKey == key) {
      again->value = std::move(value);
    }
    return;
  }
  o->SetOwn(name, std::move(value), cs);
}

Value Interpreter::Watched(Object* o, std::string_view name, Value value) {
  const bool cs = CaseSensitive();
  auto find = [&]() -> Watcher* {
    for (Watcher& w : o->watchers) {
      if (NamesEqual(w.name, name, cs)) return &w;
    }
    return nullptr;
  };
  Watcher* w = find();
  if (!w) return value;
  // A watcher counts its nesting with the property it watches, getter and setter included.
  Property* own = o->FindOwn(name, cs);
  const uint32_t key = own ? CallKey(own->callKey) : CallKey(w->callKey);
  if (!AccessorFree(key)) return value;
  // The old value is what the property holds where the object finds it, its prototypes
  // included; a getter is not asked.
  const Property* found = nullptr;
  int hops = 0;
  for (Object* at = o; at && !found && hops < 256; at = at->proto, ++hops) {
    found = at->FindOwn(name, cs);
  }
  const Value old = found ? found->value : Value();
  const Value args[] = {Value(w->name), old, std::move(value), w->userData};
  Object* callback = w->callback;
  ++w->running;
  AccessorTurn turn(*this, key);
  // The callback may add or drop watchers, so the entry is found again afterwards.
  struct Release {
    std::function<Watcher*()> find;
    ~Release() {
      if (Watcher* again = find()) again->running = std::max(0, again->running - 1);
    }
  } release{find};
  try {
    return Call(callback, o, args);
  } catch (const ScriptException&) {
    // A watcher that throws still decides the value: it gave none.
    o->SetOwn(name, Value(), cs);
    throw;
  }
}

bool Interpreter::DeleteMember(const Value& object, std::string_view name) {
  Object* o = object.AsObject();
  if (!o) return false;
  // The prototype link goes with the property that holds it, once its flags allow.
  if (NamesEqual(name, "__proto__", CaseSensitive())) {
    if (!o->DeleteOwn(name, CaseSensitive())) return false;
    o->proto = nullptr;
    return true;
  }
  return o->DeleteOwn(name, CaseSensitive());
}

std::vector<std::string> Interpreter::EnumerableNames(Object* object) {
  std::vector<std::string> names;
  // Names already listed, folded as lookups fold them: a set, so that listing an object of
  // many properties costs in proportion to them rather than to their square.
  std::unordered_set<std::string> listed;
  const bool caseSensitive = CaseSensitive();
  auto seen = [&](const std::string& n) {
    std::string key = n;
    if (!caseSensitive) {
      for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
    }
    return !listed.insert(std::move(key)).second;
  };
  // The newest property comes first, as the original lists them; what an object inherits
  // comes before its own names, the farthest prototype's first. A name the object or a nearer
  // prototype has is not listed again.
  std::vector<size_t> levelStarts;
  Object* at = object;
  for (int hops = 0; at && hops < kMaxProtoChain; ++hops, at = at->proto) {
    levelStarts.push_back(names.size());
    for (auto p = at->props.rbegin(); p != at->props.rend(); ++p) {
      if (!(p->flags & kDontEnum) && !seen(p->name)) names.push_back(p->name);
    }
  }
  std::vector<std::string> ordered;
  ordered.reserve(names.size());
  size_t end = names.size();
  for (size_t level = levelStarts.size(); level-- > 0;) {
    for (size_t i = levelStarts[level]; i < end; ++i) ordered.push_back(std::move(names[i]));
    end = levelStarts[level];
  }
  // A clip lists the named objects on its stage after its properties, the highest depth
  // first; a named shape is listed too, though its name leads to the clip itself.
  if (const DisplayObject* shown = IsClip(object) && host_ ? host_->Find(object->clip) : nullptr) {
    names = std::move(ordered);
    for (auto it = shown->children.rbegin(); it != shown->children.rend(); ++it) {
      const std::string& name = it->second->name;
      if (!name.empty() && !seen(name)) names.push_back(name);
    }
    return names;
  }
  return ordered;
}

// Keeps the call depth right however a call ends (a script exception unwinds through it).
struct DepthGuard {
  explicit DepthGuard(int& d) : depth(d) { ++depth; }
  ~DepthGuard() { --depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  int& depth;
};

bool Interpreter::EnterCall() {
  if (depth_ < maxCallDepth_) return true;
  stopped_ = true;
  return false;
}

Value Interpreter::Call(const Value& function, const Value& thisValue,
                        std::span<const Value> args) {
  Object* f = function.AsObject();
  if (!f || !f->IsCallable() || stopped_ || !EnterCall()) return {};
  DepthGuard guard(depth_);
  // `super` handed on as a `this` (super.method.apply(super, ...)) stands for the object it
  // was made for: a native class's method finds its own state there, not on `super`.
  const Object* asThis = thisValue.AsObject();
  const Value& self =
      asThis && asThis->kind == ObjectKind::Super ? Value(asThis->boundThis) : thisValue;
  if (f->native) return f->native(*this, self, args);
  if (f->code) return CallCode(f, self, args);
  return {};
}

void Interpreter::MarkInstance(Object* o, const Value& prototype, Object* constructor) {
  // The link is the new object's first property, hidden but there for ASSetPropFlags and
  // hasOwnProperty to find; a prototype that is no object links to nothing, yet reads back as
  // it was.
  if (!prototype.IsUndefined()) {
    o->props.push_back({"__proto__", prototype, kDontEnum | kDontDelete});
  }
  // SWF 6 movies see both names on the new object, later ones only __constructor__.
  if (version_ >= 6) o->SetOwn("__constructor__", constructor, CaseSensitive(), kDontEnum);
  if (version_ <= 6) o->SetOwn("constructor", constructor, CaseSensitive(), kDontEnum);
}

Value Interpreter::Construct(const Value& constructor, std::span<const Value> args) {
  Object* f = constructor.AsObject();
  if (!f || !f->IsCallable()) return {};
  if (f->construct) {
    if (stopped_ || !EnterCall()) return {};
    DepthGuard guard(depth_);
    return f->construct(*this, Value(), args);
  }
  const Value prototype = GetMember(f, "prototype");
  Object* o = NewObject(prototype.AsObject());
  if (!o) return {};
  MarkInstance(o, prototype, f);
  nextCallConstructs_ = f->code != nullptr;
  Call(f, o, args);
  nextCallConstructs_ = false;
  // An object its constructor made one of the player's own kinds (a sound, a filter, an XML
  // document) keeps its link and maker out of its property list, as the player's own
  // objects do.
  const bool claimed = o->kind != ObjectKind::Plain || !o->internal.empty() || o->bitmap;
  if (claimed && o->proto == prototype.AsObject()) {
    const bool cs = CaseSensitive();
    o->props.RemoveIf([&](const Property& p) {
      return !p.getter &&
             ((NamesEqual(p.name, "__proto__", cs) && p.value.AsObject() == o->proto) ||
              ((NamesEqual(p.name, "__constructor__", cs) ||
                NamesEqual(p.name, "constructor", cs)) &&
               p.value.AsObject() == f));
    });
  }
  return o;
}

bool Interpreter::ClipGone(const Object* o) {
  if (o->kind != ObjectKind::Clip || !host_) return false;
  const DisplayObject* d = host_->Find(o->clip);
  // While a clip's unload handlers run, removed clips still answer.
  return !d || (d->removed && unloading_ == 0);
}

Object* Interpreter::Resolved(Object* o) {
  if (!ClipGone(o)) return o;
  // Until its unload has run, a removed clip still knows where it stood.
  const auto it = departedPaths_.find(o->clip.serial);
  std::string path;
  if (it != departedPaths_.end()) {
    path = it->second;
  } else if (host_->Find(o->clip)) {
    path = ClipDotPath(o->clip);
  } else {
    return nullptr;
  }
  const std::optional<ClipRef> now = ResolveClip(path);
  if (!now || now->serial == o->clip.serial) return nullptr;
  Object* found = ClipObject(*now);
  return found && !ClipGone(found) ? found : nullptr;
}

void Interpreter::ClipLeaving(const ClipRef& clip) {
  if (clips_.count(clip.serial)) departedPaths_.try_emplace(clip.serial, ClipDotPath(clip));
}

Value Interpreter::ToPrimitive(const Value& v, bool preferString) {
  Object* o = v.AsObject();
  if (!o) return v;
  if (ClipGone(o)) o = Resolved(o);
  if (!o) return std::string();
  if (o->kind == ObjectKind::Clip) return ClipDotPath(o->clip);
  if (preferString) return ToString(v);
  // Without a valueOf to call the object has no value at all; one that gives an object back
  // leaves it to toString.
  Value valueOf = GetMember(v, "valueOf", false);
  if (!valueOf.AsObject() || !valueOf.AsObject()->IsCallable()) return Value();
  Value result = Call(valueOf, v, {});
  if (result.IsPrimitive()) return result;
  Value toString = GetMember(v, "toString", false);
  if (toString.AsObject() && toString.AsObject()->IsCallable()) {
    result = Call(toString, v, {});
    if (result.IsPrimitive()) return result;
  }
  return o->IsCallable() ? Value("[type Function]") : Value("[type Object]");
}

Value Interpreter::ToPrimitiveNumber(const Value& v) {
  Object* o = v.AsObject();
  if (!o) return v;
  // A clip is a number only in name.
  if (o->kind == ObjectKind::Clip) return std::numeric_limits<double>::quiet_NaN();
  for (const char* name : {"valueOf", "toString"}) {
    Value method = GetMember(v, name, false);
    if (method.AsObject() && method.AsObject()->IsCallable()) {
      Value result = Call(method, v, {});
      if (result.IsPrimitive()) return result;
    }
  }
  // Nothing gave a primitive: older movies read that as 0.
  return version_ >= 7 ? std::numeric_limits<double>::quiet_NaN() : 0.0;
}

double Interpreter::ToNumber(const Value& v) {
  if (v.IsObject()) return PrimitiveToNumber(ToPrimitiveNumber(v), version_);
  return PrimitiveToNumber(v, version_);
}

std::string Interpreter::ToString(const Value& v) {
  if (Object* o = v.AsObject()) {
    if (ClipGone(o)) o = Resolved(o);
    if (!o) return std::string();
    if (o->kind == ObjectKind::Clip) return ClipDotPath(o->clip);
    // Only a string from toString will do; anything else it gives prints as the object's type.
    try {
      Value method = GetMember(v, "toString", false);
      if (method.AsObject() && method.AsObject()->IsCallable()) {
        Value result = Call(method, v, {});
        if (result.IsString()) return result.AsString();
      }
    } catch (const ScriptException& e) {
      DeferThrow(e.value);
    }
    return o->IsCallable() ? "[type Function]" : "[type Object]";
  }
  return PrimitiveToString(v, version_);
}

std::string Interpreter::TypeOf(const Value& v) {
  Object* o = v.AsObject();
  if (!o) return std::string(PrimitiveTypeName(v));
  if (o->kind == ObjectKind::Clip) {
    const DisplayObject* shown = host_ ? host_->Find(o->clip) : nullptr;
    // Only a movie clip is of its own type; buttons, text fields and videos are objects.
    return shown && (shown->IsButton() || shown->kind == DisplayKind::EditText ||
                     shown->kind == DisplayKind::Video)
               ? "object"
               : "movieclip";
  }
  if (o->kind == ObjectKind::Function) return "function";
  return "object";
}

}  // namespace swf::avm1
