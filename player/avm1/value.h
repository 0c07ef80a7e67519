#pragma once
// Script values and the conversions between them. Movies made for older players convert
// differently (a SWF 4 movie has no undefined or booleans of its own, a SWF 6 movie still turns
// undefined into 0), so every conversion takes the movie's version.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace swf::avm1 {

struct Object;

// `hole` marks an array slot that was never written (past a grown length): it reads as
// undefined like any other but is not an element for for-in or hasOwnProperty.
struct Undefined {
  bool hole = false;
  bool operator==(const Undefined&) const { return true; }
};
struct Null {
  bool operator==(const Null&) const = default;
};

// Objects live in the interpreter's heap for as long as it does; a value only refers to one.
class Value {
 public:
  Value() = default;
  Value(Undefined u) : v_(u) {}
  static Value Hole() { return Value(Undefined{true}); }
  Value(Null n) : v_(n) {}
  Value(bool b) : v_(b) {}
  Value(double d) : v_(d) {}
  Value(int i) : v_(static_cast<double>(i)) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(Object* o) : v_(o) {
    if (!o) v_ = Null{};
  }

  bool IsUndefined() const { return std::holds_alternative<Undefined>(v_); }
  bool IsHole() const { return IsUndefined() && std::get<Undefined>(v_).hole; }
  bool IsNull() const { return std::holds_alternative<Null>(v_); }
  bool IsBool() const { return std::holds_alternative<bool>(v_); }
  bool IsNumber() const { return std::holds_alternative<double>(v_); }
  bool IsString() const { return std::holds_alternative<std::string>(v_); }
  bool IsObject() const { return std::holds_alternative<Object*>(v_); }
  bool IsPrimitive() const { return !IsObject(); }

  bool AsBool() const { return std::get<bool>(v_); }
  double AsNumber() const { return std::get<double>(v_); }
  const std::string& AsString() const { return std::get<std::string>(v_); }
  Object* AsObject() const { return IsObject() ? std::get<Object*>(v_) : nullptr; }

  bool operator==(const Value&) const = default;

 private:
  std::variant<Undefined, Null, bool, double, std::string, Object*> v_;
};

// How the original player prints a number: at most 15 significant digits, exponent form from
// 1e15 up and below 1e-5.
std::string NumberToString(double d);
// In the given radix (2 to 36), as Number.toString(radix) prints it.
std::string NumberToRadixString(double d, int radix);

// String to number. A SWF 4 movie reads the longest number at the start and 0 without one;
// later movies want the whole string to be a number (leading white space aside), accept "0x"
// hexadecimal and leading-zero octal from SWF 6 on, and give NaN otherwise (for "Infinity"
// too).
double StringToNumber(std::string_view s, int version);

// Primitive conversions (objects are converted by the interpreter, which may call valueOf or
// toString first).
double PrimitiveToNumber(const Value& v, int version);
std::string PrimitiveToString(const Value& v, int version);
bool ToBoolean(const Value& v, int version);

// ECMA-style ToInt32 / ToUint32 of a number (NaN and infinities give 0).
int32_t ToInt32(double d);
uint32_t ToUint32(double d);

// A count or index from a number, clamped into 0..2^31 (NaN gives 0).
size_t ToIndex(double d);

// The name typeof gives a primitive ("undefined", "null", "boolean", "number", "string").
std::string_view PrimitiveTypeName(const Value& v);

}  // namespace swf::avm1
