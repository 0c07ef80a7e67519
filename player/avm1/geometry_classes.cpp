// flash.geom's Point, Rectangle, Matrix and ColorTransform. The first three keep their numbers
// as ordinary properties that a script may fill with anything, and work on them as a script
// would: a missing argument stays undefined, arithmetic converts what it finds. A
// ColorTransform holds numbers only, behind properties on its prototype.
#include <cmath>
#include <string>

#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

Value Get(Interpreter& vm, const Value& o, const char* name) { return vm.GetMember(o, name); }
double Num(Interpreter& vm, const Value& o, const char* name) {
  return vm.ToNumber(vm.GetMember(o, name));
}
void Set(Interpreter& vm, const Value& o, const char* name, Value v) {
  vm.SetMember(o, name, std::move(v));
}

Object* Geom(Interpreter& vm) {
  return vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom").AsObject();
}

Value New(Interpreter& vm, const char* cls, std::vector<Value> args) {
  return vm.Construct(vm.GetMember(Geom(vm), cls), args);
}

bool InstanceOf(Interpreter& vm, const Value& v, const char* cls) {
  return v.IsObject() && vm.InstanceOf(v, vm.GetMember(Geom(vm), cls));
}

// "(x=1, y=2)": each named property as it prints.
std::string Describe(Interpreter& vm, const Value& self, std::initializer_list<const char*> names) {
  std::string out = "(";
  for (const char* name : names) {
    if (out.size() > 1) out += ", ";
    out += std::string(name) + "=" + vm.ToString(Get(vm, self, name));
  }
  return out + ")";
}

// A constructor without arguments gives every member 0, the last named first (as one chained
// assignment sets them); with any, the arguments in order as they are (missing ones undefined).
void Fill(Interpreter& vm, const Value& self, std::span<const Value> args,
          std::initializer_list<const char*> names) {
  if (args.empty()) {
    for (auto name = std::rbegin(names); name != std::rend(names); ++name) Set(vm, self, *name, 0);
    return;
  }
  size_t i = 0;
  for (const char* name : names) Set(vm, self, name, Arg(args, i++));
}

using Native = Value (*)(Interpreter&, const Value&, std::span<const Value>);

void Methods(Interpreter& vm, Object* proto,
             std::initializer_list<std::pair<const char*, Native>> list) {
  for (const auto& [name, fn] : list) AddMethod(vm, proto, name, fn);
}

// --- Point ---------------------------------------------------------------------------------

Value NewPoint(Interpreter& vm, Value x, Value y) {
  return New(vm, "Point", {std::move(x), std::move(y)});
}

void InstallPoint(Interpreter& vm, Object* geom) {
  Object* ctor = DefineClass(vm, geom, "Point",
                             [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                               Fill(vm, self, a, {"x", "y"});
                               return Value();
                             });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  AddAccessor(vm, proto, "length", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    const double x = Num(vm, self, "x"), y = Num(vm, self, "y");
    return Value(std::sqrt(x * x + y * y));
  });
  Methods(vm, proto,
          {{"toString",
            [](Interpreter& vm, const Value& self, std::span<const Value>) {
              return Value(Describe(vm, self, {"x", "y"}));
            }},
           {"clone",
            [](Interpreter& vm, const Value& self, std::span<const Value>) {
              return NewPoint(vm, Get(vm, self, "x"), Get(vm, self, "y"));
            }},
           {"add",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value p = Arg(a, 0);
              return NewPoint(vm, Num(vm, self, "x") + Num(vm, p, "x"),
                              Num(vm, self, "y") + Num(vm, p, "y"));
            }},
           {"subtract",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value p = Arg(a, 0);
              return NewPoint(vm, Num(vm, self, "x") - Num(vm, p, "x"),
                              Num(vm, self, "y") - Num(vm, p, "y"));
            }},
           {"equals",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value p = Arg(a, 0);
              if (!InstanceOf(vm, p, "Point")) return Value(false);
              return Value(Num(vm, self, "x") == Num(vm, p, "x") &&
                           Num(vm, self, "y") == Num(vm, p, "y"));
            }},
           {"normalize",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const double x = Num(vm, self, "x"), y = Num(vm, self, "y");
              const double len = std::sqrt(x * x + y * y);
              if (len > 0) {
                const double k = NumberArg(vm, a, 0) / len;
                Set(vm, self, "x", x * k);
                Set(vm, self, "y", y * k);
              }
              return Value();
            }},
           {"offset", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Set(vm, self, "x", Num(vm, self, "x") + NumberArg(vm, a, 0));
              Set(vm, self, "y", Num(vm, self, "y") + NumberArg(vm, a, 1));
              return Value();
            }}});
  Methods(vm, ctor,
          {{"distance",
            [](Interpreter& vm, const Value&, std::span<const Value> a) {
              const double dx = Num(vm, Arg(a, 0), "x") - Num(vm, Arg(a, 1), "x");
              const double dy = Num(vm, Arg(a, 0), "y") - Num(vm, Arg(a, 1), "y");
              return Value(std::sqrt(dx * dx + dy * dy));
            }},
           {"polar",
            [](Interpreter& vm, const Value&, std::span<const Value> a) {
              const double len = NumberArg(vm, a, 0), angle = NumberArg(vm, a, 1);
              return NewPoint(vm, len * std::cos(angle), len * std::sin(angle));
            }},
           {"interpolate", [](Interpreter& vm, const Value&, std::span<const Value> a) {
              const double f = NumberArg(vm, a, 2);
              const Value p = Arg(a, 0), q = Arg(a, 1);
              return NewPoint(vm, Num(vm, q, "x") + f * (Num(vm, p, "x") - Num(vm, q, "x")),
                              Num(vm, q, "y") + f * (Num(vm, p, "y") - Num(vm, q, "y")));
            }}});
  // The class's own functions are listed to for-in.
  for (Property& p : ctor->props) {
    if (p.name != "prototype") p.flags = static_cast<uint16_t>(p.flags & ~kDontEnum);
  }
}

// --- Rectangle -----------------------------------------------------------------------------

Value NewRect(Interpreter& vm, Value x, Value y, Value w, Value h) {
  return New(vm, "Rectangle", {std::move(x), std::move(y), std::move(w), std::move(h)});
}

double Right(Interpreter& vm, const Value& r) { return Num(vm, r, "x") + Num(vm, r, "width"); }
double Bottom(Interpreter& vm, const Value& r) { return Num(vm, r, "y") + Num(vm, r, "height"); }

// Moving one edge keeps the opposite one where it was.
void SetLeft(Interpreter& vm, const Value& r, const Value& v) {
  Set(vm, r, "width", Right(vm, r) - vm.ToNumber(v));
  Set(vm, r, "x", v);
}
void SetTop(Interpreter& vm, const Value& r, const Value& v) {
  Set(vm, r, "height", Bottom(vm, r) - vm.ToNumber(v));
  Set(vm, r, "y", v);
}
void SetRight(Interpreter& vm, const Value& r, const Value& v) {
  Set(vm, r, "width", vm.ToNumber(v) - Num(vm, r, "x"));
}
void SetBottom(Interpreter& vm, const Value& r, const Value& v) {
  Set(vm, r, "height", vm.ToNumber(v) - Num(vm, r, "y"));
}

// Comparisons go as a script's would: with NaN on either side the answer is undefined, and a
// chain of them gives the first that is not true.
Value Less(double a, double b, bool orEqual) {
  if (std::isnan(a) || std::isnan(b)) return Value();
  return Value(orEqual ? a <= b : a < b);
}

Value All(std::initializer_list<Value> tests) {
  Value last = true;
  for (const Value& t : tests) {
    if (!ToBoolean(t, 8)) return t;
    last = t;
  }
  return last;
}

// Math.min and Math.max: NaN on either side wins.
double Min(double a, double b) { return std::isnan(a) || std::isnan(b) ? a + b : std::min(a, b); }
double Max(double a, double b) { return std::isnan(a) || std::isnan(b) ? a + b : std::max(a, b); }

Value Contains(Interpreter& vm, const Value& r, double x, double y) {
  return All({Less(Num(vm, r, "x"), x, true), Less(Num(vm, r, "y"), y, true),
              Less(x, Right(vm, r), false), Less(y, Bottom(vm, r), false)});
}

bool IsEmpty(Interpreter& vm, const Value& r) {
  return !(Num(vm, r, "width") > 0) || !(Num(vm, r, "height") > 0);
}

void InstallRectangle(Interpreter& vm, Object* geom) {
  Object* ctor = DefineClass(vm, geom, "Rectangle",
                             [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                               Fill(vm, self, a, {"x", "y", "width", "height"});
                               return Value();
                             });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  using Setter = void (*)(Interpreter&, const Value&, const Value&);
  const std::tuple<const char*, Native, Setter> edges[] = {
      {"left",
       [](Interpreter& vm, const Value& r, std::span<const Value>) { return Get(vm, r, "x"); },
       SetLeft},
      {"top",
       [](Interpreter& vm, const Value& r, std::span<const Value>) { return Get(vm, r, "y"); },
       SetTop},
      {"right",
       [](Interpreter& vm, const Value& r, std::span<const Value>) { return Value(Right(vm, r)); },
       SetRight},
      {"bottom",
       [](Interpreter& vm, const Value& r, std::span<const Value>) { return Value(Bottom(vm, r)); },
       SetBottom},
      {"topLeft",
       [](Interpreter& vm, const Value& r, std::span<const Value>) {
         return NewPoint(vm, Get(vm, r, "x"), Get(vm, r, "y"));
       },
       [](Interpreter& vm, const Value& r, const Value& p) {
         SetLeft(vm, r, Get(vm, p, "x"));
         SetTop(vm, r, Get(vm, p, "y"));
       }},
      {"bottomRight",
       [](Interpreter& vm, const Value& r, std::span<const Value>) {
         return NewPoint(vm, Right(vm, r), Bottom(vm, r));
       },
       [](Interpreter& vm, const Value& r, const Value& p) {
         SetRight(vm, r, Get(vm, p, "x"));
         SetBottom(vm, r, Get(vm, p, "y"));
       }},
      {"size",
       [](Interpreter& vm, const Value& r, std::span<const Value>) {
         return NewPoint(vm, Get(vm, r, "width"), Get(vm, r, "height"));
       },
       [](Interpreter& vm, const Value& r, const Value& p) {
         Set(vm, r, "width", Get(vm, p, "x"));
         Set(vm, r, "height", Get(vm, p, "y"));
       }},
  };
  for (const auto& [name, get, set] : edges) {
    const Setter s = set;
    AddAccessor(vm, proto, name, get,
                [s](Interpreter& vm, const Value& self, std::span<const Value> a) {
                  s(vm, self, Arg(a, 0));
                  return Value();
                });
  }
  Methods(vm, proto,
          {{"toString",
            [](Interpreter& vm, const Value& self, std::span<const Value>) {
              return Value("(x=" + vm.ToString(Get(vm, self, "x")) +
                           ", y=" + vm.ToString(Get(vm, self, "y")) +
                           ", w=" + vm.ToString(Get(vm, self, "width")) +
                           ", h=" + vm.ToString(Get(vm, self, "height")) + ")");
            }},
           {"clone",
            [](Interpreter& vm, const Value& self, std::span<const Value>) {
              return NewRect(vm, Get(vm, self, "x"), Get(vm, self, "y"), Get(vm, self, "width"),
                             Get(vm, self, "height"));
            }},
           {"equals",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value r = Arg(a, 0);
              if (!InstanceOf(vm, r, "Rectangle")) return Value(false);
              for (const char* n : {"x", "y", "width", "height"}) {
                if (!(Num(vm, self, n) == Num(vm, r, n))) return Value(false);
              }
              return Value(true);
            }},
           {"isEmpty", [](Interpreter& vm, const Value& self,
                          std::span<const Value>) { return Value(IsEmpty(vm, self)); }},
           {"setEmpty",
            [](Interpreter& vm, const Value& self, std::span<const Value>) {
              for (const char* n : {"x", "y", "width", "height"}) Set(vm, self, n, 0);
              return Value();
            }},
           {"contains",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              return Contains(vm, self, NumberArg(vm, a, 0), NumberArg(vm, a, 1));
            }},
           {"containsPoint",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              return Contains(vm, self, Num(vm, Arg(a, 0), "x"), Num(vm, Arg(a, 0), "y"));
            }},
           {"containsRectangle",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value r = Arg(a, 0);
              return All({Less(Num(vm, self, "x"), Num(vm, r, "x"), true),
                          Less(Num(vm, self, "y"), Num(vm, r, "y"), true),
                          Less(Right(vm, r), Right(vm, self), true),
                          Less(Bottom(vm, r), Bottom(vm, self), true)});
            }},
           {"inflate",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const double dx = NumberArg(vm, a, 0), dy = NumberArg(vm, a, 1);
              Set(vm, self, "x", Num(vm, self, "x") - dx);
              Set(vm, self, "width", Num(vm, self, "width") + 2 * dx);
              Set(vm, self, "y", Num(vm, self, "y") - dy);
              Set(vm, self, "height", Num(vm, self, "height") + 2 * dy);
              return Value();
            }},
           {"inflatePoint",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const double dx = Num(vm, Arg(a, 0), "x"), dy = Num(vm, Arg(a, 0), "y");
              Set(vm, self, "x", Num(vm, self, "x") - dx);
              Set(vm, self, "width", Num(vm, self, "width") + 2 * dx);
              Set(vm, self, "y", Num(vm, self, "y") - dy);
              Set(vm, self, "height", Num(vm, self, "height") + 2 * dy);
              return Value();
            }},
           {"offset",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Set(vm, self, "x", Num(vm, self, "x") + NumberArg(vm, a, 0));
              Set(vm, self, "y", Num(vm, self, "y") + NumberArg(vm, a, 1));
              return Value();
            }},
           {"offsetPoint",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Set(vm, self, "x", Num(vm, self, "x") + Num(vm, Arg(a, 0), "x"));
              Set(vm, self, "y", Num(vm, self, "y") + Num(vm, Arg(a, 0), "y"));
              return Value();
            }},
           {"intersects",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value r = Arg(a, 0);
              return Value(
                  Max(Num(vm, self, "x"), Num(vm, r, "x")) < Min(Right(vm, self), Right(vm, r)) &&
                  Max(Num(vm, self, "y"), Num(vm, r, "y")) < Min(Bottom(vm, self), Bottom(vm, r)));
            }},
           {"intersection",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value r = Arg(a, 0);
              const double x = Max(Num(vm, self, "x"), Num(vm, r, "x"));
              const double y = Max(Num(vm, self, "y"), Num(vm, r, "y"));
              const double right = Min(Right(vm, self), Right(vm, r));
              const double bottom = Min(Bottom(vm, self), Bottom(vm, r));
              if (!(x < right) || !(y < bottom)) return NewRect(vm, 0, 0, 0, 0);
              return NewRect(vm, x, y, right - x, bottom - y);
            }},
           {"union", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value r = Arg(a, 0);
              const double x = Min(Num(vm, self, "x"), Num(vm, r, "x"));
              const double y = Min(Num(vm, self, "y"), Num(vm, r, "y"));
              const double right = Max(Right(vm, self), Right(vm, r));
              const double bottom = Max(Bottom(vm, self), Bottom(vm, r));
              return NewRect(vm, x, y, right - x, bottom - y);
            }}});
}

}  // namespace

void InstallGeometry(Interpreter& vm) {
  Object* geom = FlashPackage(vm, "geom");
  if (!geom) return;
  InstallRectangle(vm, geom);
  InstallPoint(vm, geom);
  InstallMatrix(vm, geom);
  InstallColorTransform(vm, geom);
  auto proto = [&](const char* cls) { return PrototypeOf(vm, Get(vm, geom, cls).AsObject()); };
  ListMembersInOrder(proto("Point"), {"length", "clone", "offset", "equals", "subtract", "add",
                                      "normalize", "toString"});
  ListMembersInOrder(proto("Rectangle"), {"clone",
                                          "setEmpty",
                                          "isEmpty",
                                          "left",
                                          "right",
                                          "top",
                                          "bottom",
                                          "topLeft",
                                          "bottomRight",
                                          "size",
                                          "inflate",
                                          "inflatePoint",
                                          "offset",
                                          "offsetPoint",
                                          "contains",
                                          "containsPoint",
                                          "containsRectangle",
                                          "intersection",
                                          "intersects",
                                          "union",
                                          "equals",
                                          "toString"});
  ListMembersInOrder(proto("Matrix"), {"concat", "invert", "createBox", "createGradientBox",
                                       "clone", "identity", "rotate", "translate", "scale",
                                       "deltaTransformPoint", "transformPoint", "toString"});
}

}  // namespace swf::avm1
