// The objects movies start with, called the way scripts call them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/avm1/drawing_styles.h"
#include "player/avm1/interpreter.h"

namespace {

using swf::avm1::Interpreter;
using swf::avm1::Null;
using swf::avm1::Object;
using swf::avm1::Undefined;
using swf::avm1::Value;

// Calls `path` ("parseInt", "Math.min", or a method name on `self`) and prints the result.
std::string Call(Interpreter& vm, const Value& self, const std::string& path,
                 const std::vector<Value>& args) {
  Value holder = self.IsUndefined() ? Value(vm.Global()) : self;
  std::string name = path;
  if (const size_t dot = path.find('.'); dot != std::string::npos) {
    holder = vm.GetMember(holder, path.substr(0, dot));
    name = path.substr(dot + 1);
  }
  const Value result = vm.Call(vm.GetMember(holder, name), self, args);
  return result.IsUndefined() ? "undefined" : vm.ToString(result);
}

TEST(Avm1Builtins, GlobalAndStringFunctions) {
  const struct {
    int version;
    Value self;
    const char* function;
    std::vector<Value> args;
    const char* result;
  } cases[] = {
      {7, Undefined{}, "parseInt", {Value("0x1F")}, "31"},
      {7, Undefined{}, "parseInt", {Value("  -42px")}, "-42"},
      {7, Undefined{}, "parseInt", {Value("z"), Value(36)}, "35"},
      {7, Undefined{}, "parseInt", {}, "undefined"},
      // The original's own reading of prefixes: "0x" only at the very start (a sign in front
      // is dropped with the zero), octal only for a whole run of octal digits.
      {7, Undefined{}, "parseInt", {Value("-0x100")}, "NaN"},
      {7, Undefined{}, "parseInt", {Value("0x100"), Value(36)}, "1296"},
      {7, Undefined{}, "parseInt", {Value("0x-100")}, "-256"},
      {7, Undefined{}, "parseInt", {Value("077")}, "63"},
      {7, Undefined{}, "parseInt", {Value("  077")}, "77"},
      {7, Undefined{}, "parseInt", {Value("100"), Value(0)}, "NaN"},
      {7, Undefined{}, "escape", {Value("a b@\xC3\xA9")}, "a%20b%40%C3%A9"},
      {7, Undefined{}, "unescape", {Value("a%20b%4")}, "a b%4"},
      {6, Undefined{}, "isNaN", {}, "true"},
      {6, Undefined{}, "Boolean", {}, "undefined"},
      {6, Undefined{}, "Math.abs", {}, "NaN"},
      {6, Undefined{}, "Math.abs", {Value(Null{})}, "0"},
      {7, Undefined{}, "Math.max", {Value(1), Value(2), Value(3)}, "2"},
      {7, Undefined{}, "parseFloat", {Value("3.5e1xyz")}, "35"},
      {7, Undefined{}, "parseFloat", {Value("abc")}, "NaN"},
      {7, Undefined{}, "isNaN", {Value("abc")}, "true"},
      {7, Undefined{}, "isFinite", {}, "false"},
      // A lone argument meets undefined; no argument at all gives the starting value.
      {7, Undefined{}, "Math.min", {Value(1)}, "NaN"},
      {7, Undefined{}, "Math.max", {}, "-Infinity"},
      {7, Undefined{}, "Math.max", {Value(1), Value("3"), Value(2)}, "3"},
      {7, Value(true), "toString", {}, "true"},
      {7, Undefined{}, "Math.round", {Value(-2.5)}, "-2"},
      {7, Value("hello world"), "substr", {Value(3), Value(-4)}, "lo worl"},
      {7, Value("hello world"), "substr", {Value(3), Value(-3)}, ""},
      {7, Value("hello world"), "substring", {Value(5), Value(0)}, "hello"},
      {7, Value("hello world"), "slice", {Value(-5)}, "world"},
      {7, Value("hello"), "charAt", {Value(4294967297.0)}, "e"},
      {7, Value("hello"), "charCodeAt", {Value(9)}, "NaN"},
      {7, Value("a,b,,c"), "split", {Value(",")}, "a,b,,c"},
      {7, Value("abcabc"), "lastIndexOf", {Value("bc")}, "4"},
      {7, Value("foo"), "concat", {Value(1), Value(Null{}), Value(true)}, "foo1nulltrue"},
      // UTF-8 characters count as one from SWF 6 on, as bytes before.
      {6, Value("h\xC3\xA9llo"), "charAt", {Value(1)}, "\xC3\xA9"},
      {6, Value("h\xC3\xA9llo"), "indexOf", {Value("l")}, "2"},
      {5, Value("h\xC3\xA9llo"), "indexOf", {Value("l")}, "3"},
      {7, Value(255), "toString", {Value(16)}, "ff"},
      {7, Value(-255), "toString", {Value(2)}, "-11111111"},
  };
  for (const auto& c : cases) {
    Interpreter vm(c.version, nullptr);
    EXPECT_EQ(Call(vm, c.self, c.function, c.args), c.result) << c.function;
  }
}

TEST(Avm1Builtins, ArrayMethods) {
  Interpreter vm(7, nullptr);
  auto array = [&](std::vector<Value> v) { return Value(vm.NewArray(std::move(v))); };
  const struct {
    std::vector<Value> elements;
    const char* method;
    std::vector<Value> args;
    const char* result;
    const char* after;  // the array afterwards
  } cases[] = {
      {{1, 2, 3}, "push", {Value(4), Value(5)}, "5", "1,2,3,4,5"},
      {{1, 2, 3}, "pop", {}, "3", "1,2"},
      {{1, 2, 3}, "shift", {}, "1", "2,3"},
      {{1, 2, 3}, "unshift", {Value(0)}, "4", "0,1,2,3"},
      {{1, 2, 3}, "reverse", {}, "3,2,1", "3,2,1"},
      {{1, 2, 3}, "join", {Value("-")}, "1-2-3", "1,2,3"},
      {{1, 2, 3, 4, 5}, "slice", {Value(1), Value(Undefined{})}, "2,3,4,5", "1,2,3,4,5"},
      {{1, 2, 3, 4, 5}, "slice", {Value(-2)}, "4,5", "1,2,3,4,5"},
      {{1, 2, 3, 4, 5}, "splice", {Value(1), Value(2), Value("x")}, "2,3", "1,x,4,5"},
      {{1, 2}, "concat", {Value(3)}, "1,2,3", "1,2"},
      {{Value(Undefined{}), 1}, "toString", {}, "undefined,1", "undefined,1"},
  };
  for (const auto& c : cases) {
    const Value a = array(c.elements);
    EXPECT_EQ(Call(vm, a, c.method, c.args), c.result) << c.method;
    EXPECT_EQ(vm.ToString(a), c.after) << c.method;
  }
  // Setting length cuts or pads.
  const Value a = array({1, 2, 3});
  vm.SetMember(a, "length", 1);
  vm.SetMember(a, "3", "x");
  EXPECT_EQ(vm.ToString(a), "1,undefined,undefined,x");
  // The padding is holes: no elements to enumerate or own, unlike a written undefined.
  // Elements list newest first, as any properties do, whatever their index.
  vm.SetMember(a, "1", Value(Undefined{}));
  EXPECT_EQ(vm.EnumerableNames(a.AsObject()), (std::vector<std::string>{"1", "3", "0"}));
  EXPECT_EQ(Call(vm, a, "hasOwnProperty", {Value("2")}), "false");
}

TEST(Avm1Builtins, PropertiesGettersSettersAndEnumeration) {
  Interpreter vm(7, nullptr);
  Object* o = vm.NewPlainObject();
  std::vector<std::string> log;
  double stored = 1;
  Object* getter = vm.NewNative([&](Interpreter&, const Value&, std::span<const Value>) {
    log.push_back("get");
    return Value(stored);
  });
  Object* setter = vm.NewNative([&](Interpreter& v, const Value&, std::span<const Value> args) {
    log.push_back("set");
    stored = v.ToNumber(args[0]) * 10;
    return Value();
  });
  EXPECT_EQ(Call(vm, o, "addProperty", {Value("p"), Value(getter), Value(setter)}), "true");
  EXPECT_EQ(Call(vm, o, "addProperty", {Value("q"), Value(1), Value(setter)}), "false");
  vm.SetMember(o, "p", 2);
  EXPECT_EQ(vm.ToString(vm.GetMember(o, "p")), "20");
  // An object inheriting the property goes through the same getter and setter.
  Object* child = vm.NewObject(o);
  vm.SetMember(child, "p", 3);
  EXPECT_EQ(vm.ToString(vm.GetMember(child, "p")), "30");
  EXPECT_EQ(log, (std::vector<std::string>{"set", "get", "set", "get"}));

  // Inherited ones first, then own ones newest first; hidden ones left out.
  Object* e = vm.NewObject(child);
  vm.SetMember(e, "a", 1);
  vm.SetMember(e, "b", 2);
  vm.SetMember(e, "c", 3);
  Call(vm, Undefined{}, "ASSetPropFlags", {Value(e), Value("b"), Value(1), Value(0)});
  EXPECT_EQ(vm.EnumerableNames(e), (std::vector<std::string>{"p", "c", "a"}));
  // Protected from deletion, then released again.
  Call(vm, Undefined{}, "ASSetPropFlags", {Value(e), Value(Null{}), Value(2), Value(0)});
  EXPECT_FALSE(vm.DeleteMember(e, "a"));
  Call(vm, Undefined{}, "ASSetPropFlags", {Value(e), Value("a"), Value(0), Value(2)});
  EXPECT_TRUE(vm.DeleteMember(e, "a"));
  EXPECT_EQ(Call(vm, e, "hasOwnProperty", {Value("a")}), "false");
  EXPECT_EQ(Call(vm, e, "hasOwnProperty", {Value("c")}), "true");
  // Bits past the first three hide a property from movies older than a version.
  Call(vm, Undefined{}, "ASSetPropFlags", {Value(e), Value("c"), Value(0x1000), Value(0)});
  EXPECT_TRUE(vm.GetMember(e, "c").IsUndefined());

  // A watcher decides what a write stores, until it is taken away.
  Object* w = vm.NewPlainObject();
  Object* doubler = vm.NewNative([](Interpreter& v, const Value&, std::span<const Value> args) {
    return Value(v.ToNumber(args[2]) * 2);
  });
  EXPECT_EQ(Call(vm, w, "watch", {Value("x"), Value(doubler)}), "true");
  vm.SetMember(w, "x", 4);
  EXPECT_EQ(vm.ToString(vm.GetMember(w, "x")), "8");
  EXPECT_EQ(Call(vm, w, "unwatch", {Value("x")}), "true");
  vm.SetMember(w, "x", 4);
  EXPECT_EQ(vm.ToString(vm.GetMember(w, "x")), "4");

  // __resolve answers for names an object does not have.
  Object* r = vm.NewPlainObject();
  r->SetOwn("__resolve",
            vm.NewNative([](Interpreter& v, const Value&, std::span<const Value> args) {
              return Value(v.ToString(args[0]) + "!");
            }),
            true);
  EXPECT_EQ(vm.ToString(vm.GetMember(r, "missing")), "missing!");
}

TEST(Avm1Builtins, BroadcastersKeepOneEntryPerListener) {
  Interpreter vm(7, nullptr);
  Object* b = vm.NewPlainObject();
  Call(vm, Undefined{}, "AsBroadcaster.initialize", {Value(b)});
  int heard = 0;
  Object* listener = vm.NewPlainObject();
  listener->SetOwn("onPing", vm.NewNative([&](Interpreter&, const Value&, std::span<const Value>) {
    ++heard;
    return Value();
  }),
                   true);
  Call(vm, b, "addListener", {Value(listener)});
  Call(vm, b, "addListener", {Value(listener)});
  EXPECT_EQ(Call(vm, b, "broadcastMessage", {Value("onPing")}), "true");
  EXPECT_EQ(heard, 1);
  // undefined and null count as the same listener, as == has them.
  Call(vm, b, "addListener", {Value(Null{})});
  EXPECT_EQ(Call(vm, b, "removeListener", {Value(Undefined{})}), "true");
  EXPECT_EQ(Call(vm, b, "removeListener", {Value(Undefined{})}), "false");
  EXPECT_EQ(vm.ToString(vm.GetMember(b, "_listeners")), "[object Object]");
}

TEST(Avm1Builtins, ObjectsConvertThroughValueOfAndToString) {
  Interpreter vm(7, nullptr);
  Object* o = vm.NewPlainObject();
  EXPECT_EQ(vm.ToString(o), "[object Object]");
  o->SetOwn("valueOf", vm.NewNative([](Interpreter&, const Value&, std::span<const Value>) {
    return Value(5);
  }),
            true);
  EXPECT_EQ(vm.ToNumber(o), 5);
  EXPECT_EQ(vm.ToString(o), "[object Object]");  // strings still ask toString first
  o->SetOwn("toString", Value(3), true);         // not callable: the object prints as its type
  EXPECT_EQ(vm.ToString(o), "[type Object]");
  EXPECT_EQ(vm.ToString(vm.Global()), "[type Object]");  // _global inherits no toString
  EXPECT_EQ(vm.TypeOf(o), "object");
  EXPECT_EQ(vm.TypeOf(vm.GetMember(vm.Global(), "Array")), "function");
  EXPECT_EQ(vm.ToString(vm.Construct(vm.GetMember(vm.Global(), "String"), {})), "");
}

}  // namespace

// beginGradientFill's arguments: what makes a call draw a gradient, end the fill, or do nothing.
TEST(Avm1Builtins, GradientArgumentsAreReadAsThePlayerReadsThem) {
  using swf::avm1::GradientCall;
  using Kind = GradientCall::Kind;
  Interpreter vm(8, nullptr);
  auto array = [&](std::vector<Value> v) { return Value(vm.NewArray(std::move(v))); };
  Object* box = vm.NewPlainObject();
  for (const auto& [name, value] : std::vector<std::pair<const char*, Value>>{
           {"matrixType", "box"}, {"x", 100}, {"y", 50}, {"w", 200}, {"h", 100}, {"r", 0}}) {
    box->SetOwn(name, value, true, 0);
  }
  const Value colors = array({0xFF0000, 0x0000FF}), alphas = array({100, 50});
  auto args = [&](Value type, Value ratios, std::vector<Value> more = {}) {
    std::vector<Value> a{type, colors, alphas, ratios, Value(box)};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  };
  const struct {
    const char* name;
    std::vector<Value> args;
    Kind kind;
    uint8_t lastRatio = 0;
  } cases[] = {
      {"linear", args("linear", array({0, 255.9})), Kind::Gradient, 255},
      {"a ratio just below zero is zero", args("radial", array({-0.99, 200})), Kind::Gradient, 200},
      {"no type ends the fill", args(Undefined{}, array({0, 255})), Kind::NoFill},
      {"null type", args(Null{}, array({0, 255})), Kind::Ignored},
      {"types are case-sensitive", args("LINEAR", array({0, 255})), Kind::Ignored},
      {"ratio past 255", args("linear", array({0, 256})), Kind::Ignored},
      {"negative ratio", args("linear", array({-1, 255})), Kind::Ignored},
      {"fewer ratios than colours", args("linear", array({255})), Kind::Ignored},
      {"no matrix", {"linear", colors, alphas, array({0, 255})}, Kind::Ignored},
      {"more than eight arguments",
       args("linear", array({0, 255}), {"pad", "RGB", 0, "extra"}),
       Kind::Ignored},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const GradientCall call = swf::avm1::GradientFromArgs(vm, c.args);
    ASSERT_EQ(call.kind, c.kind);
    if (c.kind != Kind::Gradient) continue;
    ASSERT_EQ(call.fill.gradient.stops.size(), 2u);
    EXPECT_EQ(call.fill.gradient.stops[1].ratio, c.lastRatio);
    EXPECT_EQ(call.fill.gradient.stops[1].color.a, 127);  // 50% of 255, rounded down
    // The box's 200 x 100 pixels hold the gradient's 32768-twip square, centred on the box.
    EXPECT_DOUBLE_EQ(call.fill.matrix.a, 200 / 1638.4);
    EXPECT_DOUBLE_EQ(call.fill.matrix.d, 100 / 1638.4);
    EXPECT_DOUBLE_EQ(call.fill.matrix.tx, 200 * 20);
    EXPECT_DOUBLE_EQ(call.fill.matrix.ty, 100 * 20);
  }
}

// Array.sort's option flags, each alone and combined; the result as trace would print it.
TEST(Avm1Builtins, ArraySortHonoursItsOptions) {
  Interpreter vm(8, nullptr);
  const struct {
    std::vector<Value> elements;
    std::vector<Value> args;
    const char* result;
  } cases[] = {
      {{10, 9, 1}, {}, "1,10,9"},          // as strings by default
      {{10, 9, 1}, {16}, "1,9,10"},        // NUMERIC
      {{10, 9, 1}, {16 | 2}, "10,9,1"},    // NUMERIC | DESCENDING
      {{"b", "a", "C"}, {}, "C,a,b"},      // character codes
      {{"b", "a", "C"}, {1}, "a,b,C"},     // CASEINSENSITIVE
      {{3, 1, 3}, {4}, "0"},               // UNIQUESORT with a repeat: no sort
      {{30, 10, 20}, {16 | 8}, "1,2,0"},   // RETURNINDEXEDARRAY
  };
  for (const auto& c : cases) {
    const Value array(vm.NewArray(c.elements));
    EXPECT_EQ(Call(vm, array, "sort", c.args), c.result) << c.result;
  }
  // Indexes leave the array as it was.
  const Value array(vm.NewArray({30, 10, 20}));
  Call(vm, array, "sort", {24});
  EXPECT_EQ(vm.ToString(array), "30,10,20");
}
