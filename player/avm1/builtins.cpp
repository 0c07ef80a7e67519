// The objects every movie starts with: Object, Function, Array, the primitive wrappers, Math,
// the global functions and the clip methods.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "player/avm1/array_sort.h"
#include "player/avm1/arrays.h"
#include "player/avm1/builtin_support.h"
#include "player/avm1/interpreter.h"
#include "player/avm1/library.h"
#include "player/avm1/text.h"

namespace swf::avm1 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// parseFloat reads as the original does, digit by digit: the fraction adds up in tenths (so
// its last bits are not always the nearest double), a second point is passed over, and the
// exponent wraps as a 32-bit integer.
double ParseFloat(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  double whole = 0, fraction = 0, scale = 1;
  int points = 0;
  bool any = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '.') {
      ++points;
      continue;
    }
    if (c < '0' || c > '9') break;
    any = true;
    if (points == 0) {
      whole = whole * 10 + (c - '0');
    } else {
      scale /= 10;
      fraction += (c - '0') * scale;
    }
  }
  if (!any) return kNaN;
  double value = whole + fraction;
  if (points < 2 && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    bool negativeExponent = false;
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) negativeExponent = s[j++] == '-';
    uint32_t exponent = 0;
    bool digits = false;
    for (; j < s.size() && s[j] >= '0' && s[j] <= '9'; ++j) {
      exponent = exponent * 10 + static_cast<uint32_t>(s[j] - '0');
      digits = true;
    }
    if (digits) {
      const auto e = static_cast<int32_t>(exponent);
      value *= std::pow(10.0, negativeExponent ? -static_cast<double>(e) : static_cast<double>(e));
    }
  }
  return negative ? -value : value;
}

// Before SWF 6 a string is bytes in the system's code page, and only ASCII letters change.
std::string ChangeCase(Interpreter& vm, const Value& self, uint32_t (*map)(uint32_t)) {
  std::string s = ThisString(vm, self);
  if (vm.Version() < 6) {
    for (char& c : s) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) c = static_cast<char>(map(byte));
    }
    return s;
  }
  std::string out;
  out.reserve(s.size());
  for (const std::string& c : Characters(s, true)) {
    // A stray byte of a broken sequence stays as it was.
    const bool stray = c.size() == 1 && static_cast<unsigned char>(c[0]) >= 0x80;
    const uint32_t code = CharacterCode(c);
    const uint32_t mapped = stray ? code : map(code);
    out += mapped == code ? c : EncodeCharacter(mapped);
  }
  return out;
}

}  // namespace

void Interpreter::InstallBuiltins() {
  const bool cs = CaseSensitive();
  objectProto_ = NewObject(nullptr);
  functionProto_ = NewObject(objectProto_);
  arrayProto_ = NewObject(objectProto_);
  stringProto_ = NewObject(objectProto_);
  numberProto_ = NewObject(objectProto_);
  booleanProto_ = NewObject(objectProto_);
  clipProto_ = NewObject(objectProto_);
  // _global inherits nothing: it prints as a bare object.
  global_ = NewObject(nullptr);

  auto method = [&](Object* on, const char* name, NativeFunction fn) {
    on->SetOwn(name, NewNative(std::move(fn)), cs, kDontEnum);
  };
  auto constructor = [&](const char* name, Object* proto, NativeFunction call,
                         NativeFunction construct) {
    Object* f = NewNative(std::move(call), std::move(construct));
    f->SetOwn("prototype", proto, cs, kDontEnum | kDontDelete);
    proto->SetOwn("constructor", f, cs, kDontEnum);
    global_->SetOwn(name, f, cs, kDontEnum);
    return f;
  };

  // --- Object ---
  auto makeObject = [](Interpreter& vm, const Value&, std::span<const Value> args) -> Value {
    const Value v = Arg(args, 0);
    if (v.IsObject()) return v;
    if (v.IsUndefined() || v.IsNull()) return vm.NewPlainObject();
    return vm.BoxPrimitive(v);
  };
  // Called as a plain function with nothing to wrap, Object gives a bare object without even
  // Object.prototype behind it.
  auto callObject = [makeObject](Interpreter& vm, const Value& self,
                                 std::span<const Value> args) -> Value {
    const Value v = Arg(args, 0);
    if (v.IsUndefined() || v.IsNull()) return vm.NewObject(nullptr);
    return makeObject(vm, self, args);
  };
  Object* objectCtor = constructor("Object", objectProto_, callObject, nullptr);
  // `new Object()` with nothing to wrap makes an object as `new` makes any other.
  objectCtor->construct = [makeObject, objectCtor](Interpreter& vm, const Value& self,
                                                   std::span<const Value> args) -> Value {
    const Value made = makeObject(vm, self, args);
    const Value v = Arg(args, 0);
    if (Object* o = made.AsObject(); o && (v.IsUndefined() || v.IsNull())) {
      vm.MarkInstance(o, Value(o->proto), objectCtor);
    }
    return made;
  };
  method(objectProto_, "toString", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (o && o->kind == ObjectKind::Boxed) return Value(vm.ToString(o->primitive));
    return Value(o && o->IsCallable() ? "[type Function]" : "[object Object]");
  });
  method(objectProto_, "valueOf", [](Interpreter&, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (o && o->kind == ObjectKind::Boxed) return o->primitive;
    return self;
  });
  method(objectProto_, "hasOwnProperty",
         [](Interpreter& vm, const Value& self, std::span<const Value> args) {
           Object* o = self.AsObject();
           if (!o || args.empty()) return Value(false);
           const std::string name = vm.ToString(args[0]);
           if (name.empty()) return Value(false);
           if (NamesEqual(name, "__proto__", vm.CaseSensitive())) return Value(o->proto != nullptr);
           return Value(o->FindOwn(name, vm.CaseSensitive()) != nullptr);
         });
  method(objectProto_, "addProperty",
         [](Interpreter& vm, const Value& self, std::span<const Value> args) {
           Object* o = self.AsObject();
           const std::string name = vm.ToString(Arg(args, 0));
           Object* getter = Arg(args, 1).AsObject();
           Object* setter = Arg(args, 2).AsObject();
           if (!o || name.empty() || !getter || !getter->IsCallable()) return Value(false);
           if (setter && !setter->IsCallable()) return Value(false);
           if (!Arg(args, 2).IsNull() && !setter) return Value(false);
           Property* p = o->FindOwn(name, vm.CaseSensitive());
           if (!p) {
             o->props.push_back({name, Value(), 0});
             p = &o->props.back();
             // A place made this way is one of the array's, and the length reaches past it.
             if (int32_t index = 0; o->kind == ObjectKind::Array && CanonicalIndex(name, index) &&
                                    index >= 0) {
               GrowArray(o, index);
               p = o->FindOwn(name, vm.CaseSensitive());
             }
           }
           p->getter = getter;
           p->setter = setter;
           // A watcher of the name hears of the new property, and what it answers is the
           // value the property keeps.
           if (!o->watchers.empty()) {
             Value kept = vm.Watched(o, name, Value());
             if (Property* again = o->FindOwn(name, vm.CaseSensitive())) {
               again->value = std::move(kept);
             }
           }
           return Value(true);
         });
  method(objectProto_, "isPrototypeOf",
         [](Interpreter&, const Value& self, std::span<const Value> args) {
           Object* proto = self.AsObject();
           Object* o = Arg(args, 0).AsObject();
           int hops = 0;
           for (Object* at = o ? o->proto : nullptr; at && hops < 256; at = at->proto, ++hops) {
             if (at == proto) return Value(true);
           }
           return Value(false);
         });

  // --- Function ---
  Object* functionCtor = constructor(
      "Function", functionProto_,
      // Called with nothing, Function gives a bare object with no prototype at all.
      [](Interpreter& vm, const Value&, std::span<const Value> args) {
        return args.empty() ? Value(vm.NewObject(nullptr)) : args[0];
      },
      nullptr);
  // `new Function()` makes a plain object, marked as `new` marks what it makes.
  functionCtor->construct = [functionCtor](Interpreter& vm, const Value&,
                                           std::span<const Value>) -> Value {
    Object* o = vm.NewPlainObject();
    if (o) vm.MarkInstance(o, Value(o->proto), functionCtor);
    return Value(o);
  };
  // The `this` call and apply give a function: an object as it is, a primitive made an
  // object, and nothing at all the global object.
  auto thisObject = [](Interpreter& vm, const Value& v) -> Value {
    if (v.IsObject()) return v;
    if (v.IsUndefined() || v.IsNull()) return vm.Global();
    Value made;
    if (!vm.CoercedByScript(v, made)) made = vm.BoxPrimitive(v);
    return made.IsObject() ? made : Value(vm.Global());
  };
  method(functionProto_, "call",
         [thisObject](Interpreter& vm, const Value& self, std::span<const Value> args) {
           return vm.Call(self, thisObject(vm, Arg(args, 0)), args.empty() ? args : args.subspan(1));
         });
  method(functionProto_, "apply",
         [thisObject](Interpreter& vm, const Value& self, std::span<const Value> args) {
           std::vector<Value> list;
           if (Object* a = ThisArray(Arg(args, 1)); a && !Places(vm, a).ReadAll(list)) {
             return Value();
           }
           return vm.Call(self, thisObject(vm, Arg(args, 0)), list);
         });

  // --- Array ---
  Object* arrayCtor = constructor("Array", arrayProto_, MakeArray, MakeArray);
  InstallArrayMethods(*this, arrayProto_);
  for (const auto& [name, flag] : {std::pair{"CASEINSENSITIVE", kSortCaseInsensitive},
                                   {"DESCENDING", kSortDescending},
                                   {"UNIQUESORT", kSortUnique},
                                   {"RETURNINDEXEDARRAY", kSortReturnIndexes},
                                   {"NUMERIC", kSortNumeric}}) {
    arrayCtor->SetOwn(name, Value(flag), cs, kDontEnum | kDontDelete | kReadOnly);
  }

  // --- String, Number, Boolean ---
  // Called on a plain object (a subclass's constructor calling them through super), String,
  // Number and Boolean make it hold the value they give back.
  auto boxThis = [](Interpreter& vm, const Value& self, Value v) {
    if (Object* o = Unclaimed(vm, self)) vm.BoxInto(o, v);
    return v;
  };
  stringCtor_ = constructor(
      "String", stringProto_,
      [boxThis](Interpreter& vm, const Value& self, std::span<const Value> args) {
        return boxThis(vm, self, Value(args.empty() ? std::string() : vm.ToString(args[0])));
      },
      [](Interpreter& vm, const Value&, std::span<const Value> args) {
        return Value(vm.BoxPrimitive(args.empty() ? std::string() : vm.ToString(args[0])));
      });
  method(stringProto_, "toString", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    return Value(ThisString(vm, self));
  });
  method(stringProto_, "valueOf", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    return Value(ThisString(vm, self));
  });
  // SWF 6 and later strings are UTF-8, and their methods count characters, not bytes.
  auto chars = [](Interpreter& vm, const Value& self) {
    return Characters(ThisString(vm, self), vm.Version() >= 6);
  };
  method(stringProto_, "toUpperCase",
         [](Interpreter& vm, const Value& self, std::span<const Value>) {
           return Value(ChangeCase(vm, self, UpperCaseCode));
         });
  method(stringProto_, "toLowerCase",
         [](Interpreter& vm, const Value& self, std::span<const Value>) {
           return Value(ChangeCase(vm, self, LowerCaseCode));
         });
  // Indices and counts are taken as 32-bit integers: 2^32 + 1 is 1. Called with no arguments
  // at all, the methods that search or cut give undefined.
  auto intArg = [](Interpreter& vm, std::span<const Value> args, size_t i) {
    return static_cast<int64_t>(ToInt32(vm.ToNumber(Arg(args, i))));
  };
  method(stringProto_, "charAt",
         [chars, intArg](Interpreter& vm, const Value& self, std::span<const Value> args) {
           const auto s = chars(vm, self);
           const int64_t i = intArg(vm, args, 0);
           if (i < 0 || static_cast<size_t>(i) >= s.size()) return Value("");
           return Value(s[static_cast<size_t>(i)]);
         });
  method(stringProto_, "charCodeAt",
         [chars, intArg](Interpreter& vm, const Value& self, std::span<const Value> args) {
           const auto s = chars(vm, self);
           const int64_t i = intArg(vm, args, 0);
           if (i < 0) return Value(kNaN);
           // A SWF 5 movie reads past the end as the string's terminating zero.
           if (static_cast<size_t>(i) >= s.size()) return vm.Version() < 6 ? Value(0) : Value(kNaN);
           return Value(static_cast<double>(CharacterCode(s[static_cast<size_t>(i)])));
         });
  method(stringProto_, "concat",
         [](Interpreter& vm, const Value& self, std::span<const Value> args) {
           std::string out = ThisString(vm, self);
           for (const Value& v : args) {
             const std::string piece = vm.ToString(v);
             if (!vm.MayMakeString(piece.size(), out.size() + piece.size())) {
               return Value(std::string());
             }
             out += piece;
           }
           return Value(std::move(out));
         });
  method(stringProto_, "indexOf",
         [chars, intArg](Interpreter& vm, const Value& self, std::span<const Value> args) {
           if (args.empty()) return Value();
           const auto s = chars(vm, self);
           const auto what = Characters(vm.ToString(args[0]), vm.Version() >= 6);
           const int64_t from = std::max<int64_t>(0, args.size() > 1 ? intArg(vm, args, 1) : 0);
           if (from > static_cast<int64_t>(s.size())) return Value(-1.0);
           const auto at = std::search(s.begin() + from, s.end(), what.begin(), what.end());
           return Value(at == s.end() && !what.empty() ? -1.0 : static_cast<double>(at - s.begin()));
         });
  method(stringProto_, "lastIndexOf",
         [chars, intArg](Interpreter& vm, const Value& self, std::span<const Value> args) {
           if (args.empty()) return Value();
           const auto s = chars(vm, self);
           const auto what = Characters(vm.ToString(Arg(args, 0)), vm.Version() >= 6);
           int64_t from = static_cast<int64_t>(s.size());
           if (args.size() > 1 && !args[1].IsUndefined()) {
             const int64_t n = intArg(vm, args, 1);
             if (n < 0) return Value(-1.0);
             from = std::min(n, from);
           }
           for (size_t i = static_cast<size_t>(from) + 1; i-- > 0;) {
             if (i + what.size() <= s.size() &&
                 std::equal(what.begin(), what.end(), s.begin() + static_cast<ptrdiff_t>(i))) {
               return Value(static_cast<double>(i));
             }
           }
           return Value(-1.0);
         });
  auto part = [](const std::vector<std::string>& s, size_t from, size_t to) {
    std::string out;
    for (size_t i = from; i < to && i < s.size(); ++i) out += s[i];
    return PairSurrogates(out);
  };
  // A relative index (negative counts from the end) clamped into 0..size.
  auto relative = [](int64_t i, size_t size) {
    const auto n = static_cast<int64_t>(size);
    if (i < 0) i += n;
    return static_cast<size_t>(std::clamp<int64_t>(i, 0, n));
  };
  method(stringProto_, "substr",
         [chars, part, intArg, relative](Interpreter& vm, const Value& self,
                                         std::span<const Value> args) {
           if (args.empty()) return Value();
           const auto s = chars(vm, self);
           const size_t from = relative(intArg(vm, args, 0), s.size());
           size_t count = s.size() - from;
           if (args.size() > 1 && !args[1].IsUndefined()) {
             int64_t n = intArg(vm, args, 1);
             // A negative length counts back from the end of the string, and gives nothing when
             // that reaches the end anyway.
             if (n < 0) {
               n += static_cast<int64_t>(s.size());
               if (static_cast<int64_t>(from) + n >= static_cast<int64_t>(s.size())) n = 0;
             }
             count = std::min(count, static_cast<size_t>(std::max<int64_t>(n, 0)));
           }
           return Value(part(s, from, from + count));
         });
  method(stringProto_, "substring",
         [chars, part, intArg](Interpreter& vm, const Value& self, std::span<const Value> args) {
           if (args.empty()) return Value();
           const auto s = chars(vm, self);
           auto at = [&](int64_t i) {
             return static_cast<size_t>(std::clamp<int64_t>(i, 0, static_cast<int64_t>(s.size())));
           };
           size_t from = at(intArg(vm, args, 0));
           size_t to = args.size() > 1 && !args[1].IsUndefined() ? at(intArg(vm, args, 1)) : s.size();
           if (from > to) std::swap(from, to);
           return Value(part(s, from, to));
         });
  method(stringProto_, "slice",
         [chars, part, intArg, relative](Interpreter& vm, const Value& self,
                                         std::span<const Value> args) {
           if (args.empty()) return Value();
           const auto s = chars(vm, self);
           const size_t from = relative(intArg(vm, args, 0), s.size());
           const size_t to = args.size() > 1 && !args[1].IsUndefined()
                                 ? relative(intArg(vm, args, 1), s.size())
                                 : s.size();
           return Value(from < to ? part(s, from, to) : std::string());
         });
  method(stringProto_, "split",
         [chars, intArg](Interpreter& vm, const Value& self, std::span<const Value> args) {
           const std::string s = ThisString(vm, self);
           const bool swf5 = vm.Version() < 6;
           std::vector<Value> parts;
           // No separator: the whole string (a SWF 5 movie splits at commas then).
           if (Arg(args, 0).IsUndefined() && !swf5) {
             parts.push_back(s);
             return Value(vm.NewArray(std::move(parts)));
           }
           const std::string sep = Arg(args, 0).IsUndefined() ? "," : vm.ToString(args[0]);
           if (sep.empty() && !swf5) {
             for (std::string& c : chars(vm, self)) parts.push_back(std::move(c));
           } else if (sep.empty()) {
             parts.push_back(s);
           } else {
             size_t start = 0;
             for (size_t at; (at = s.find(sep, start)) != std::string::npos;
                  start = at + sep.size()) {
               parts.push_back(s.substr(start, at - start));
             }
             parts.push_back(s.substr(start));
           }
           if (args.size() > 1 && !args[1].IsUndefined()) {
             const int64_t limit = intArg(vm, args, 1);
             if (limit < static_cast<int64_t>(parts.size())) {
               parts.resize(static_cast<size_t>(std::max<int64_t>(limit, 0)));
             }
           }
           return Value(vm.NewArray(std::move(parts)));
         });
  if (Object* stringCtor = global_->FindOwn("String", cs)->value.AsObject()) {
    method(
        stringCtor, "fromCharCode", [](Interpreter& vm, const Value&, std::span<const Value> args) {
          std::string out;
          for (const Value& v : args) {
            const uint32_t code = ToUint32(vm.ToNumber(v)) & 0xFFFF;
            out +=
                vm.Version() >= 6 ? EncodeCharacter(code) : std::string(1, static_cast<char>(code));
          }
          return Value(PairSurrogates(out));
        });
  }

  numberCtor_ = constructor(
      "Number", numberProto_,
      [boxThis](Interpreter& vm, const Value& self, std::span<const Value> args) {
        return boxThis(vm, self, Value(args.empty() ? 0.0 : vm.ToNumber(args[0])));
      },
      [](Interpreter& vm, const Value&, std::span<const Value> args) {
        return Value(vm.BoxPrimitive(args.empty() ? 0.0 : vm.ToNumber(args[0])));
      });
  const std::pair<const char*, double> numberLimits[] = {
      {"NaN", kNaN},
      {"POSITIVE_INFINITY", INFINITY},
      {"NEGATIVE_INFINITY", -INFINITY},
      {"MIN_VALUE", std::numeric_limits<double>::denorm_min()},
      {"MAX_VALUE", std::numeric_limits<double>::max()},
  };
  for (const auto& [name, value] : numberLimits) {
    numberCtor_->SetOwn(name, value, cs, kDontEnum | kDontDelete | kReadOnly);
  }
  method(
      numberProto_, "toString",
      [](Interpreter& vm, const Value& self, std::span<const Value> args) {
        Value v = self;
        if (Object* o = self.AsObject(); o && o->kind == ObjectKind::Boxed) v = o->primitive;
        const double radix = args.empty() ? 10 : vm.ToNumber(args[0]);
        return Value(NumberToRadixString(vm.ToNumber(v), std::isnan(radix) ? 10 : ToInt32(radix)));
      });
  // Number and Boolean objects print and compare as the primitive they hold.
  auto boxedValue = [](Interpreter&, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    return o && o->kind == ObjectKind::Boxed ? o->primitive : self;
  };
  method(numberProto_, "valueOf", boxedValue);
  method(booleanProto_, "valueOf", boxedValue);
  method(booleanProto_, "toString", [](Interpreter&, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    const Value v = o && o->kind == ObjectKind::Boxed ? o->primitive : self;
    if (!v.IsBool()) return Value();
    return Value(v.AsBool() ? "true" : "false");
  });
  booleanCtor_ = constructor(
      "Boolean", booleanProto_,
      [boxThis](Interpreter& vm, const Value& self, std::span<const Value> args) {
        if (args.empty()) return Value();
        return boxThis(vm, self, Value(ToBoolean(Arg(args, 0), vm.Version())));
      },
      [](Interpreter& vm, const Value&, std::span<const Value> args) {
        return Value(vm.BoxPrimitive(ToBoolean(Arg(args, 0), vm.Version())));
      });

  // --- global functions ---
  if (version_ >= 5) {  // a SWF 4 movie reads these names as undefined variables
    global_->SetOwn("NaN", kNaN, cs, kDontEnum | kDontDelete);
    global_->SetOwn("Infinity", INFINITY, cs, kDontEnum | kDontDelete);
  }
  method(global_, "isNaN", [](Interpreter& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value(true);
    return Value(std::isnan(vm.ToNumber(Arg(args, 0))));
  });
  method(global_, "isFinite", [](Interpreter& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value(false);
    return Value(std::isfinite(vm.ToNumber(Arg(args, 0))));
  });
  method(global_, "parseFloat", [](Interpreter& vm, const Value&, std::span<const Value> args) {
    if (args.empty()) return Value();
    return Value(ParseFloat(vm.ToString(Arg(args, 0))));
  });
  method(global_, "ASSetPropFlags", [](Interpreter& vm, const Value&, std::span<const Value> args) {
    Object* o = Arg(args, 0).AsObject();
    if (!o) return Value();
    const auto set = static_cast<uint16_t>(ToUint32(vm.ToNumber(Arg(args, 2))) & 0xFFFF);
    const auto clear = static_cast<uint16_t>(ToUint32(vm.ToNumber(Arg(args, 3))) & 0xFFFF);
    std::vector<std::string> names;
    const Value which = Arg(args, 1);
    if (Object* list = which.AsObject(); list && list->kind == ObjectKind::Array) {
      for (const Value& v : ListItems(vm, list, kMaxArrayElements)) {
        names.push_back(vm.ToString(v));
      }
    } else if (!which.IsNull()) {
      // Anything else is a comma-separated list, read after both flag arguments.
      const std::string s = vm.ToString(which);
      size_t start = 0;
      for (size_t at; (at = s.find(',', start)) != std::string::npos; start = at + 1) {
        names.push_back(s.substr(start, at - start));
      }
      names.push_back(s.substr(start));
    }
    // An object's prototype link is a property too, once a script asks after its flags.
    for (const std::string& n : names) {
      if (NamesEqual(n, "__proto__", vm.CaseSensitive()) && o->proto &&
          !o->FindOwn(n, vm.CaseSensitive())) {
        o->props.push_back({"__proto__", Value(o->proto), kDontEnum | kDontDelete});
      }
    }
    for (Property& p : o->props) {
      const bool all = which.IsNull();
      bool listed = all;
      for (const std::string& n : names)
        listed = listed || NamesEqual(n, p.name, vm.CaseSensitive());
      if (!listed) continue;
      p.flags = static_cast<uint16_t>((p.flags & ~clear) | set);
      p.hidden = HiddenFromVersion(p.flags, vm.Version());
    }
    return Value();
  });

  // --- Math ---
  Object* math = NewPlainObject();
  global_->SetOwn("Math", math, cs, kDontEnum);
  using Unary = double (*)(double);
  const std::pair<const char*, Unary> unary[] = {
      {"abs", [](double x) { return std::fabs(x); }},
      {"floor", [](double x) { return std::floor(x); }},
      {"ceil", [](double x) { return std::ceil(x); }},
      {"sqrt", [](double x) { return std::sqrt(x); }},
      {"sin", [](double x) { return std::sin(x); }},
      {"cos", [](double x) { return std::cos(x); }},
      {"tan", [](double x) { return std::tan(x); }},
      {"asin", [](double x) { return std::asin(x); }},
      {"acos", [](double x) { return std::acos(x); }},
      {"atan", [](double x) { return std::atan(x); }},
      {"exp", [](double x) { return std::exp(x); }},
      {"log", [](double x) { return std::log(x); }},
      {"round", [](double x) { return std::floor(x + 0.5); }},
  };
  // Math reads a missing argument as NaN, and converts (calling valueOf) its first two
  // arguments, whether it uses the second or not; it ignores the rest.
  struct MathArgs {
    double x, y;
  };
  auto mathArgs = [](Interpreter& vm, std::span<const Value> args) {
    auto number = [&](size_t i) {
      if (i >= args.size()) return kNaN;
      return vm.ToNumber(args[i]);
    };
    const double x = number(0);
    return MathArgs{x, number(1)};
  };
  for (const auto& entry : unary) {
    const Unary fn = entry.second;
    method(math, entry.first,
           [fn, mathArgs](Interpreter& vm, const Value&, std::span<const Value> args) {
             return Value(fn(mathArgs(vm, args).x));
           });
  }
  method(math, "pow", [mathArgs](Interpreter& vm, const Value&, std::span<const Value> args) {
    const MathArgs m = mathArgs(vm, args);
    return Value(std::pow(m.x, m.y));
  });
  method(math, "atan2", [mathArgs](Interpreter& vm, const Value&, std::span<const Value> args) {
    const MathArgs m = mathArgs(vm, args);
    return Value(std::atan2(m.x, m.y));
  });
  method(math, "random", [mathArgs](Interpreter& vm, const Value&, std::span<const Value> args) {
    mathArgs(vm, args);
    return Value(vm.Random(4294967295.0) / 4294967295.0);
  });
  for (const bool isMax : {false, true}) {
    method(math, isMax ? "max" : "min",
           [isMax, mathArgs](Interpreter& vm, const Value&, std::span<const Value> args) {
             if (args.empty()) return Value(isMax ? -INFINITY : INFINITY);
             // A lone argument meets undefined, which makes NaN.
             const MathArgs m = mathArgs(vm, args);
             if (std::isnan(m.x) || std::isnan(m.y)) return Value(kNaN);
             return Value(isMax ? std::max(m.x, m.y) : std::min(m.x, m.y));
           });
  }
  const std::pair<const char*, double> constants[] = {
      {"PI", std::numbers::pi},       {"E", std::numbers::e},
      {"LN2", std::numbers::ln2},     {"LN10", std::numbers::ln10},
      {"LOG2E", std::numbers::log2e}, {"LOG10E", std::numbers::log10e},
      {"SQRT2", std::numbers::sqrt2}, {"SQRT1_2", std::numbers::sqrt2 / 2}};
  for (const auto& [name, value] : constants) math->SetOwn(name, value, cs, kDontEnum | kReadOnly);

  InstallGlobalFunctions();
  InstallObjectMethods();
  InstallBroadcaster();
  InstallTimers();
  InstallClipMethods();
  InstallInputObjects();
  InstallTextMethods();
  InstallLibrary(*this);
  // Classes for devices and connections this player has none of still exist as names, so that
  // movies testing for them find what they would in the original.
  for (const char* name :
       {"Camera", "LocalConnection", "Microphone", "NetStream", "Video"}) {
    if (global_->FindOwn(name, cs)) continue;
    constructor(
        name, NewObject(objectProto_),
        [](Interpreter&, const Value&, std::span<const Value>) { return Value(); }, nullptr);
  }
  // Videos placed on a timeline are instances of Video.
  if (const Property* video = global_->FindOwn("Video", cs)) {
    videoProto_ = video->value.AsObject() ? PrototypeOf(*this, video->value.AsObject()) : nullptr;
    if (videoProto_) InstallVideoMethods(*this, videoProto_);
  }
  InstallXmlSocket(*this);
  if (!global_->FindOwn("Accessibility", cs)) {
    Object* accessibility = NewObject(objectProto_);
    LockPrototypeLink(*this, accessibility);
    global_->SetOwn("Accessibility", accessibility, cs, kDontEnum);
  }
  // The flash package came with SWF 8.
  if (Property* flash = global_->FindOwn("flash", cs)) {
    flash->flags |= 0x1000;
    flash->hidden = HiddenFromVersion(flash->flags, version_);
  }
  // No script may delete a built-in class's prototype.
  if (const Property* clip = global_->FindOwn("MovieClip", cs)) {
    if (Object* ctor = clip->value.AsObject()) {
      if (Property* proto = ctor->FindOwn("prototype", cs)) proto->flags |= kDontDelete;
    }
  }
}

}  // namespace swf::avm1
