// ASnative and ASSetNative: movies reach the player's functions by number as well as by name
// (class libraries of the time install methods this way). The numbers are the original
// player's; each category lists its functions in index order, as names on the object that
// already holds them, so that a number and a name give the same function.
#include <cmath>
#include <limits>
#include <utility>

#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

struct Category {
  int32_t category;
  int32_t first;
  const char* holder;  // "" for _global, else a global's name, ".prototype" for its prototype
  const char* names;   // comma-separated; an empty name leaves its number unused
};

constexpr Category kCategories[] = {
    {100, 0, "", "escape,unescape,parseInt,parseFloat"},
    {101, 0, "Object.prototype",
     "watch,unwatch,addProperty,valueOf,toString,hasOwnProperty,isPrototypeOf,"
     "isPropertyEnumerable"},
    {103, 0, "Date.prototype",
     "getFullYear,getYear,getMonth,getDate,getDay,getHours,getMinutes,getSeconds,"
     "getMilliseconds,setFullYear,setMonth,setDate,setHours,setMinutes,setSeconds,"
     "setMilliseconds,getTime,setTime,getTimezoneOffset,toString,setYear"},
    {103, 128, "Date.prototype",
     "getUTCFullYear,getUTCYear,getUTCMonth,getUTCDate,getUTCDay,getUTCHours,getUTCMinutes,"
     "getUTCSeconds,getUTCMilliseconds,setUTCFullYear,setUTCMonth,setUTCDate,setUTCHours,"
     "setUTCMinutes,setUTCSeconds,setUTCMilliseconds"},
    {200, 0, "Math",
     "abs,min,max,sin,cos,atan2,tan,exp,log,sqrt,round,random,floor,ceil,atan,asin,acos,pow"},
    {251, 0, "String.prototype",
     "valueOf,toString,toUpperCase,toLowerCase,charAt,charCodeAt,concat,indexOf,lastIndexOf,"
     "slice,substring,split,substr"},
};

// Math's numbers past its last function still answer: they convert two arguments, as every
// Math function does, and give NaN.
constexpr int32_t kMathCategory = 200;

// What ASSetNative and ASSetNativeAccessor are given: the object, the category, the names
// and the number the first name takes. Nothing without an object and names.
struct NativeSet {
  Object* object = nullptr;
  int32_t category = 0;
  std::string names;
  int32_t first = 0;
};
std::optional<NativeSet> ReadNativeSet(Interpreter& vm, std::span<const Value> args) {
  Object* o = Arg(args, 0).AsObject();
  if (!o || args.size() < 3) return std::nullopt;
  return NativeSet{o, ToInt32(vm.ToNumber(args[1])), vm.ToString(args[2]),
                   args.size() > 3 ? ToInt32(vm.ToNumber(args[3])) : 0};
}

std::vector<std::string> SplitNames(std::string_view names) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at; (at = names.find(',', start)) != std::string_view::npos; start = at + 1) {
    out.emplace_back(names.substr(start, at - start));
  }
  out.emplace_back(names.substr(start));
  return out;
}

// A name in ASSetNative's list may start with the movie version its function needs ("6" to
// "9", or "10"); the digits are not part of the name, and an older movie does not see it. A
// leading "1" is dropped the same way and asks for nothing.
std::pair<std::string_view, uint16_t> VersionedName(std::string_view name) {
  if (name.size() > 1 && name[0] == '1' && name[1] == '0') return {name.substr(2), 0x4000};
  if (name.empty()) return {name, 0};
  switch (name[0]) {
    case '1': return {name.substr(1), 0};
    case '6': return {name.substr(1), 0x80};
    case '7': return {name.substr(1), 0x400};
    case '8': return {name.substr(1), 0x1000};
    case '9': return {name.substr(1), 0x2000};
    default: return {name, 0};
  }
}

Object* Holder(Interpreter& vm, std::string_view path) {
  Value at = vm.Global();
  size_t start = 0;
  while (start < path.size()) {
    size_t dot = path.find('.', start);
    if (dot == std::string_view::npos) dot = path.size();
    at = vm.GetMember(at, path.substr(start, dot - start));
    start = dot + 1;
  }
  return at.AsObject();
}

std::optional<NativeFunction> Lookup(Interpreter& vm, int32_t category, int32_t index) {
  if (const NativeFunction* fn = vm.FindNative(category, index)) return *fn;
  if (category == kMathCategory && index >= 0) {
    return NativeFunction([](Interpreter& vm, const Value&, std::span<const Value> args) {
      for (size_t i = 0; i < 2 && i < args.size(); ++i) vm.ToNumber(args[i]);
      return Value(std::numeric_limits<double>::quiet_NaN());
    });
  }
  return std::nullopt;
}

// The numbered function as a function object, or null when there is none (or no room for one).
Object* NativeObject(Interpreter& vm, int32_t category, int32_t index) {
  std::optional<NativeFunction> fn = Lookup(vm, category, index);
  return fn ? vm.NewNative(std::move(*fn)) : nullptr;
}

}  // namespace

void InstallNativeTable(Interpreter& vm) {
  for (const Category& c : kCategories) {
    Object* holder = Holder(vm, c.holder);
    if (!holder) continue;
    int32_t index = c.first;
    for (const std::string& name : SplitNames(c.names)) {
      const Property* p = name.empty() ? nullptr : holder->FindOwn(name, vm.CaseSensitive());
      Object* f = p ? p->value.AsObject() : nullptr;
      if (f && f->native) vm.RegisterNative(c.category, index, f->native);
      ++index;
    }
  }
  // ASnew: whether the function calling it was started by `new`.
  vm.RegisterNative(2, 0, [](Interpreter& vm, const Value&, std::span<const Value>) {
    return Value(vm.InConstructor());
  });
  vm.RegisterNative(100, 4, [](Interpreter& vm, const Value&, std::span<const Value> args) {
    const Value v = Arg(args, 0);
    vm.Trace(v.IsUndefined() ? std::string("undefined") : vm.ToString(v));
    return Value();
  });

  // ASnative(category, index): a new function object for the numbered function, undefined for
  // a number that names none or for any other count of arguments.
  AddMethod(vm, vm.Global(), "ASnative",
            [](Interpreter& vm, const Value&, std::span<const Value> args) -> Value {
              if (args.size() != 2) return Value();
              const int32_t category = ToInt32(vm.ToNumber(args[0]));
              const int32_t index = ToInt32(vm.ToNumber(args[1]));
              std::optional<NativeFunction> fn = Lookup(vm, category, index);
              if (!fn) return Value();
              return Value(vm.NewNative(std::move(*fn)));
            });
  // ASSetNative(object, category, "a,b,c", first): numbered functions from `first` on, set
  // under the names given; an empty name skips its number.
  AddMethod(vm, vm.Global(), "ASSetNative",
            [](Interpreter& vm, const Value&, std::span<const Value> args) -> Value {
              const std::optional<NativeSet> set = ReadNativeSet(vm, args);
              if (!set) return Value();
              Object* o = set->object;
              const int32_t category = set->category;
              int32_t index = set->first;
              const bool cs = vm.CaseSensitive();
              for (const std::string& entry : SplitNames(set->names)) {
                const auto [name, flags] = VersionedName(entry);
                Object* f = name.empty() ? nullptr : NativeObject(vm, category, index);
                if (f) {
                  // A name already there takes the function and keeps its own flags.
                  if (Property* p = o->FindOwn(name, cs)) {
                    p->value = f;
                  } else {
                    o->SetOwn(name, f, cs, flags);
                    if (Property* made = o->FindOwn(name, cs)) {
                      made->hidden = HiddenFromVersion(flags, vm.Version());
                    }
                  }
                }
                ++index;
              }
              return Value();
            });
  // ASSetNativeAccessor(object, category, "a,b", first): properties whose getter is a numbered
  // function and whose setter the number after it; each name takes the next pair. A property
  // already there becomes the accessor in its place, flags and all.
  AddMethod(vm, vm.Global(), "ASSetNativeAccessor",
            [](Interpreter& vm, const Value&, std::span<const Value> args) -> Value {
              const std::optional<NativeSet> set = ReadNativeSet(vm, args);
              if (!set) return Value();
              Object* o = set->object;
              const int32_t category = set->category;
              int32_t index = set->first;
              const bool cs = vm.CaseSensitive();
              for (const std::string& entry : SplitNames(set->names)) {
                const auto [name, flags] = VersionedName(entry);
                Object* getter = name.empty() ? nullptr : NativeObject(vm, category, index);
                if (getter) {
                  Object* setter = NativeObject(vm, category, index + 1);
                  Property* p = o->FindOwn(name, cs);
                  if (!p) {
                    o->props.push_back({std::string(name), Value(), 0});
                    p = &o->props.back();
                  }
                  p->value = Value();
                  p->getter = getter;
                  p->setter = setter;
                  p->flags = flags;
                  p->hidden = HiddenFromVersion(flags, vm.Version());
                }
                index += 2;
              }
              return Value();
            });
}

}  // namespace swf::avm1
