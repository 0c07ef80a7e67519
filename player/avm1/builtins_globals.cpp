// The global functions that are not methods of a class (escape, unescape, parseInt), Error,
// and the Object methods that inspect or watch properties.
#include <cmath>
#include <limits>
#include <string_view>

#include "player/avm1/builtin_support.h"
#include "player/url_variables.h"

namespace swf::avm1 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsOctal(std::string_view s) {
  return s.size() > 1 && s[0] == '0' && s.find_first_not_of("01234567") == std::string_view::npos;
}

// The original's quirks, kept: a "0x" prefix counts only at the very start (or right after a
// sign, which is then dropped with the zero), it is skipped whatever the radix, and octal needs
// the whole rest of the string to be octal digits with no space in front.
Value ParseInt(Interpreter& vm, std::span<const Value> args) {
  if (args.empty()) return Value();
  const std::string s = vm.ToString(args[0]);
  int radix = 0;
  if (args.size() > 1) {
    const double r = vm.ToNumber(args[1]);
    if (std::isnan(r)) return kNaN;
    radix = ToInt32(r);
    if (radix < 2 || radix > 36) return kNaN;
  }
  size_t i = 0;
  const auto hexAt = [&](size_t at) {
    return s.size() > at + 1 && s[at] == '0' && (s[at + 1] == 'x' || s[at + 1] == 'X');
  };
  bool negative = false;
  if (hexAt(0) || (!s.empty() && (s[0] == '-' || s[0] == '+') && hexAt(1))) {
    i = 2;
    if (radix == 0) radix = 16;
  }
  const bool prefixed = i > 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  if (radix == 0) {
    radix = !prefixed && (i == 0 || s[0] == '-' || s[0] == '+') &&
                    IsOctal(std::string_view(s).substr(i))
                ? 8
                : 10;
  }
  double n = 0;
  bool any = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'z' ? c - 'a' + 10
                  : c >= 'A' && c <= 'Z' ? c - 'A' + 10
                                         : 99;
    if (d >= radix) break;
    n = n * radix + d;
    any = true;
  }
  return any ? Value(negative ? -n : n) : Value(kNaN);
}

}  // namespace

void Interpreter::InstallGlobalFunctions() {
  const bool cs = CaseSensitive();
  // The original player's global object carries a hidden `o` that holds null.
  global_->SetOwn("o", Null{}, cs, kDontEnum);
  AddMethod(*this, global_, "escape", [](Interpreter& vm, const Value&, std::span<const Value> a) {
    if (a.empty()) return Value();
    return Value(UrlEncode(vm.ToString(a[0])));
  });
  AddMethod(*this, global_, "unescape",
            [](Interpreter& vm, const Value&, std::span<const Value> a) {
              if (a.empty()) return Value();
              return Value(Unescape(vm.ToString(a[0])));
            });
  AddMethod(
      *this, global_, "parseInt",
      [](Interpreter& vm, const Value&, std::span<const Value> a) { return ParseInt(vm, a); });

  // Error: a message and a name on the prototype, which an instance shadows only when given.
  Object* errorProto = NewPlainObject();
  Object* error = NewNative([](Interpreter& vm, const Value& self, std::span<const Value> a) {
    Object* o = self.AsObject();
    if (!o) {
      o = vm.NewObject(vm.GetMember(vm.GetMember(vm.Global(), "Error"), "prototype").AsObject());
    }
    if (o && !a.empty() && !a[0].IsUndefined()) o->SetOwn("message", a[0], vm.CaseSensitive());
    return Value(o);
  });
  if (errorProto && error) {
    error->SetOwn("prototype", errorProto, cs, kDontEnum | kDontDelete);
    errorProto->SetOwn("constructor", error, cs, kDontEnum);
    // Unlike the player's other prototypes, Error's lists its members to for-in.
    errorProto->SetOwn("message", "Error", cs);
    errorProto->SetOwn("name", "Error", cs);
    errorProto->SetOwn("toString",
                       NewNative([](Interpreter& vm, const Value& self, std::span<const Value>) {
                         return Value(vm.ToString(vm.GetMember(self, "message")));
                       }),
                       cs);
    global_->SetOwn("Error", error, cs, kDontEnum);
  }
}

void Interpreter::InstallObjectMethods() {
  AddMethod(*this, objectProto_, "isPropertyEnumerable",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = self.AsObject();
              if (!o || a.empty()) return Value(false);
              const std::string name = vm.ToString(a[0]);
              const Property* p = o->FindOwn(name, vm.CaseSensitive());
              return Value(p && !(p->flags & kDontEnum));
            });
  AddMethod(*this, objectProto_, "watch",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = self.AsObject();
              if (!o || a.size() < 2 || !IsFunction(a[1])) return Value(false);
              const std::string name = vm.ToString(a[0]);
              for (Watcher& w : o->watchers) {
                if (NamesEqual(w.name, name, vm.CaseSensitive())) {
                  w.callback = a[1].AsObject();
                  w.userData = Arg(a, 2);
                  return Value(true);
                }
              }
              o->watchers.push_back({name, a[1].AsObject(), Arg(a, 2)});
              return Value(true);
            });
  AddMethod(*this, objectProto_, "unwatch",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = self.AsObject();
              if (!o || a.empty()) return Value(false);
              const std::string name = vm.ToString(a[0]);
              // A property made by addProperty keeps its watcher.
              if (const Property* p = o->FindOwn(name, vm.CaseSensitive()); p && p->getter) {
                return Value(false);
              }
              for (auto it = o->watchers.begin(); it != o->watchers.end(); ++it) {
                if (NamesEqual(it->name, name, vm.CaseSensitive()) && it->running == 0) {
                  o->watchers.erase(it);
                  return Value(true);
                }
              }
              return Value(false);
            });
}

}  // namespace swf::avm1
