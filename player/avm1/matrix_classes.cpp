// flash.geom's Matrix (six ordinary properties, worked on as a script would) and
// ColorTransform (eight numbers behind properties on its prototype, which for-in lists).
#include <cmath>
#include <string>

#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

constexpr const char* kMatrixFields[] = {"a", "b", "c", "d", "tx", "ty"};

struct M {
  double a, b, c, d, tx, ty;
};

M Read(Interpreter& vm, const Value& m) {
  double v[6];
  for (size_t i = 0; i < 6; ++i) v[i] = vm.ToNumber(vm.GetMember(m, kMatrixFields[i]));
  return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

void Write(Interpreter& vm, const Value& self, const M& m) {
  const double v[6] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
  for (size_t i = 0; i < 6; ++i) vm.SetMember(self, kMatrixFields[i], v[i]);
}

// `first` then `then`: what concat makes of this matrix and its argument.
M Concat(const M& first, const M& then) {
  return {first.a * then.a + first.b * then.c,
          first.a * then.b + first.b * then.d,
          first.c * then.a + first.d * then.c,
          first.c * then.b + first.d * then.d,
          first.tx * then.a + first.ty * then.c + then.tx,
          first.tx * then.b + first.ty * then.d + then.ty};
}

M Box(double sx, double sy, double rotation, double tx, double ty) {
  const double cos = std::cos(rotation), sin = std::sin(rotation);
  return {sx * cos, sy * sin, -sx * sin, sy * cos, tx, ty};
}

double ArgOr(Interpreter& vm, std::span<const Value> a, size_t i, double fallback) {
  return i < a.size() ? vm.ToNumber(a[i]) : fallback;
}

Value NewPoint(Interpreter& vm, double x, double y) {
  Object* geom = vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom").AsObject();
  const Value args[] = {x, y};
  return vm.Construct(vm.GetMember(geom, "Point"), args);
}

using Native = Value (*)(Interpreter&, const Value&, std::span<const Value>);

void InstallMatrixMethods(Interpreter& vm, Object* proto) {
  const std::pair<const char*, Native> methods[] = {
      {"toString",
       [](Interpreter& vm, const Value& self, std::span<const Value>) {
         std::string out = "(";
         for (const char* f : kMatrixFields) {
           if (out.size() > 1) out += ", ";
           out += std::string(f) + "=" + vm.ToString(vm.GetMember(self, f));
         }
         return Value(out + ")");
       }},
      {"clone",
       [](Interpreter& vm, const Value& self, std::span<const Value>) {
         std::vector<Value> args;
         for (const char* f : kMatrixFields) args.push_back(vm.GetMember(self, f));
         Object* ctor = vm.GetMember(self, "constructor").AsObject();
         Object* geom = vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom").AsObject();
         return vm.Construct(
             ctor && ctor->IsCallable() ? Value(ctor) : vm.GetMember(geom, "Matrix"), args);
       }},
      {"identity",
       [](Interpreter& vm, const Value& self, std::span<const Value>) {
         Write(vm, self, {1, 0, 0, 1, 0, 0});
         return Value();
       }},
      {"concat",
       [](Interpreter& vm, const Value& self, std::span<const Value> a) {
         Write(vm, self, Concat(Read(vm, self), Read(vm, Arg(a, 0))));
         return Value();
       }},
      {"invert",
       [](Interpreter& vm, const Value& self, std::span<const Value>) {
         const M m = Read(vm, self);
         const double det = m.a * m.d - m.b * m.c;
         if (det == 0) {
           Write(vm, self, {1, 0, 0, 1, 0, 0});
           return Value();
         }
         const double a = m.d / det, b = -m.b / det, c = -m.c / det, d = m.a / det;
         Write(vm, self, {a, b, c, d, -(a * m.tx + c * m.ty), -(b * m.tx + d * m.ty)});
         return Value();
       }},
      {"rotate",
       [](Interpreter& vm, const Value& self, std::span<const Value> a) {
         Write(vm, self, Concat(Read(vm, self), Box(1, 1, NumberArg(vm, a, 0), 0, 0)));
         return Value();
       }},
      {"scale",
       [](Interpreter& vm, const Value& self, std::span<const Value> a) {
         Write(vm, self,
               Concat(Read(vm, self), {NumberArg(vm, a, 0), 0, 0, NumberArg(vm, a, 1), 0, 0}));
         return Value();
       }},
      {"translate",
       [](Interpreter& vm, const Value& self, std::span<const Value> a) {
         M m = Read(vm, self);
         m.tx += NumberArg(vm, a, 0);
         m.ty += NumberArg(vm, a, 1);
         Write(vm, self, m);
         return Value();
       }},
      {"createBox",
       [](Interpreter& vm, const Value& self, std::span<const Value> a) {
         Write(vm, self,
               Box(NumberArg(vm, a, 0), NumberArg(vm, a, 1), NumberArg(vm, a, 2),
                   ArgOr(vm, a, 3, 0), ArgOr(vm, a, 4, 0)));
         return Value();
       }},
      // A gradient's square (unlike createBox, no rotation means none) is 1638.4 twips wide,
      // centred on the origin.
      {"createGradientBox",
       [](Interpreter& vm, const Value& self, std::span<const Value> a) {
         const double w = NumberArg(vm, a, 0), h = NumberArg(vm, a, 1);
         Write(vm, self,
               Box(w / 1638.4, h / 1638.4, ArgOr(vm, a, 2, 0), ArgOr(vm, a, 3, 0) + w / 2,
                   ArgOr(vm, a, 4, 0) + h / 2));
         return Value();
       }},
      {"transformPoint",
       [](Interpreter& vm, const Value& self, std::span<const Value> a) {
         const M m = Read(vm, self);
         const double x = vm.ToNumber(vm.GetMember(Arg(a, 0), "x"));
         const double y = vm.ToNumber(vm.GetMember(Arg(a, 0), "y"));
         return NewPoint(vm, m.a * x + m.c * y + m.tx, m.b * x + m.d * y + m.ty);
       }},
      {"deltaTransformPoint",
       [](Interpreter& vm, const Value& self, std::span<const Value> a) {
         const M m = Read(vm, self);
         const double x = vm.ToNumber(vm.GetMember(Arg(a, 0), "x"));
         const double y = vm.ToNumber(vm.GetMember(Arg(a, 0), "y"));
         return NewPoint(vm, m.a * x + m.c * y, m.b * x + m.d * y);
       }},
  };
  for (const auto& [name, fn] : methods) AddMethod(vm, proto, name, fn);
}

constexpr const char* kColorFields[] = {"redMultiplier",   "greenMultiplier", "blueMultiplier",
                                        "alphaMultiplier", "redOffset",       "greenOffset",
                                        "blueOffset",      "alphaOffset"};
constexpr double kColorDefaults[] = {1, 1, 1, 1, 0, 0, 0, 0};

bool IsColorTransform(const Value& v) {
  Object* o = v.AsObject();
  return o && o->kind == ObjectKind::Plain && o->internal.size() == 9 && o->internal[8].IsBool();
}

}  // namespace

void InitColorTransform(Object* o, const double (&values)[8]) {
  o->internal.assign(values, values + 8);
  // The marker that tells a color transform from another object with eight hidden values.
  o->internal.push_back(true);
}

bool ReadColorTransform(const Value& v, double (&out)[8]) {
  if (!IsColorTransform(v)) return false;
  for (size_t i = 0; i < 8; ++i) out[i] = v.AsObject()->internal[i].AsNumber();
  return true;
}

void InstallMatrix(Interpreter& vm, Object* geom) {
  Object* ctor = DefineClass(vm, geom, "Matrix",
                             [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                               if (a.empty()) {
                                 // The identity, made as chained assignments make it: d then a, c
                                 // then b, ty then tx.
                                 const std::pair<const char*, double> identity[] = {
                                     {"d", 1}, {"a", 1}, {"c", 0}, {"b", 0}, {"ty", 0}, {"tx", 0}};
                                 for (const auto& [name, v] : identity) vm.SetMember(self, name, v);
                                 return Value();
                               }
                               for (size_t i = 0; i < 6; ++i)
                                 vm.SetMember(self, kMatrixFields[i], Arg(a, i));
                               return Value();
                             });
  if (Object* proto = PrototypeOf(vm, ctor)) InstallMatrixMethods(vm, proto);
}

void InstallColorTransform(Interpreter& vm, Object* geom) {
  Object* ctor = DefineClass(vm, geom, "ColorTransform",
                             [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                               Object* o = Unclaimed(vm, self);
                               if (!o) return Value();
                               double v[8];
                               for (size_t i = 0; i < 8; ++i)
                                 v[i] = a.empty() ? kColorDefaults[i] : vm.ToNumber(Arg(a, i));
                               InitColorTransform(o, v);
                               return self;
                             });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  // Defined so that for-in, newest first, lists them as the original does.
  static constexpr size_t kOrder[] = {3, 0, 1, 2, 7, 4, 5, 6};
  for (const size_t i : kOrder) {
    AddAccessor(
        vm, proto, kColorFields[i],
        [i](Interpreter&, const Value& self, std::span<const Value>) {
          return IsColorTransform(self) ? self.AsObject()->internal[i] : Value();
        },
        [i](Interpreter& vm, const Value& self, std::span<const Value> a) {
          if (IsColorTransform(self)) self.AsObject()->internal[i] = vm.ToNumber(Arg(a, 0));
          return Value();
        });
  }
  // rgb is the three colour offsets; setting it also clears the colour multipliers.
  AddAccessor(
      vm, proto, "rgb",
      [](Interpreter&, const Value& self, std::span<const Value>) {
        double v[8];
        if (!ReadColorTransform(self, v)) return Value();
        const uint32_t rgb = ((ToUint32(v[4]) & 0xFF) << 16) | ((ToUint32(v[5]) & 0xFF) << 8) |
                             (ToUint32(v[6]) & 0xFF);
        return Value(static_cast<double>(rgb));
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        if (!IsColorTransform(self)) return Value();
        const uint32_t rgb = ToUint32(vm.ToNumber(Arg(a, 0)));
        auto& in = self.AsObject()->internal;
        const double v[8] = {0,
                             0,
                             0,
                             in[3].AsNumber(),
                             static_cast<double>((rgb >> 16) & 0xFF),
                             static_cast<double>((rgb >> 8) & 0xFF),
                             static_cast<double>(rgb & 0xFF),
                             in[7].AsNumber()};
        InitColorTransform(self.AsObject(), v);
        return Value();
      });
  AddMethod(vm, proto, "concat", [](Interpreter&, const Value& self, std::span<const Value> a) {
    double m[8], n[8];
    if (!ReadColorTransform(self, m) || !ReadColorTransform(Arg(a, 0), n)) return Value();
    double out[8];
    for (size_t i = 0; i < 4; ++i) {
      out[i] = m[i] * n[i];
      out[i + 4] = m[i + 4] + m[i] * n[i + 4];
    }
    InitColorTransform(self.AsObject(), out);
    return Value();
  });
  AddMethod(vm, proto, "toString", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    std::string out = "(";
    for (const char* f : kColorFields) {
      if (out.size() > 1) out += ", ";
      out += std::string(f) + "=" + vm.ToString(vm.GetMember(self, f));
    }
    return Value(out + ")");
  });
  // The original's own methods and properties here show in for-in.
  for (Property& p : proto->props) {
    if (p.name != "constructor") p.flags = static_cast<uint16_t>(p.flags & ~kDontEnum);
  }
}

}  // namespace swf::avm1
