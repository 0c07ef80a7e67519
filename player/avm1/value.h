#pragma once
// Script values and the conversions between them. Movies made for older players convert
// differently (a SWF 4 movie has no undefined or booleans of its own, a SWF 6 movie still turns
// undefined into 0), so every conversion takes the movie's version.
#include <cstddef>
#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace swf::avm1 {

struct Object;

struct Undefined {
  bool operator==(const Undefined&) const { return true; }
};
struct Null {
  bool operator==(const Null&) const = default;
};

// Objects live in the interpreter's heap for as long as it does; a value only refers to one.
// A value is small and cheap to copy: numbers, booleans, undefined and null sit inside it, and
// a string is shared between the copies of a value (scripts never change a string in place),
// so pushing, storing and reading one costs a count, not a copy of its text. Values belong to
// the one thread their interpreter runs on.
class Value {
 public:
  Value() noexcept : tag_(Tag::Undefined) { u_.number = 0; }
  Value(Undefined) noexcept : tag_(Tag::Undefined) { u_.number = 0; }
  Value(Null) noexcept : tag_(Tag::Null) { u_.number = 0; }
  Value(bool b) noexcept : tag_(Tag::Bool) {
    u_.number = 0;
    u_.boolean = b;
  }
  Value(double d) noexcept : tag_(Tag::Number) { u_.number = d; }
  Value(int i) noexcept : Value(static_cast<double>(i)) {}
  Value(std::string s) : tag_(Tag::String) {
    liveStringBytes_.fetch_add(s.size(), std::memory_order_relaxed);
    u_.string = new SharedString{1, std::move(s)};
  }
  Value(std::string_view s) : Value(std::string(s)) {}
  Value(const char* s) : Value(std::string(s)) {}
  Value(Object* o) noexcept : tag_(o ? Tag::Object : Tag::Null) {
    u_.number = 0;
    u_.object = o;
  }

  Value(const Value& other) noexcept : tag_(other.tag_), u_(other.u_) {
    if (tag_ == Tag::String) ++u_.string->refs;
  }
  Value(Value&& other) noexcept : tag_(other.tag_), u_(other.u_) { other.tag_ = Tag::Undefined; }
  Value& operator=(const Value& other) noexcept {
    if (other.tag_ == Tag::String) ++other.u_.string->refs;
    Release();
    tag_ = other.tag_;
    u_ = other.u_;
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      Release();
      tag_ = other.tag_;
      u_ = other.u_;
      other.tag_ = Tag::Undefined;
    }
    return *this;
  }
  ~Value() { Release(); }

  bool IsUndefined() const { return tag_ == Tag::Undefined; }
  bool IsNull() const { return tag_ == Tag::Null; }
  bool IsBool() const { return tag_ == Tag::Bool; }
  bool IsNumber() const { return tag_ == Tag::Number; }
  bool IsString() const { return tag_ == Tag::String; }
  bool IsObject() const { return tag_ == Tag::Object; }
  bool IsPrimitive() const { return !IsObject(); }

  // Each of these gives a neutral value (false, NaN, "") when the value is of another type.
  bool AsBool() const { return tag_ == Tag::Bool && u_.boolean; }
  double AsNumber() const {
    return tag_ == Tag::Number ? u_.number : std::numeric_limits<double>::quiet_NaN();
  }
  const std::string& AsString() const;
  Object* AsObject() const { return tag_ == Tag::Object ? u_.object : nullptr; }

  // Undefined equals undefined, numbers compare as numbers (NaN unequal to
  // itself), strings by their text and objects by identity.
  bool operator==(const Value& other) const;

  // Bytes of text held by all the string values alive in the process: what a script that keeps
  // the strings it builds really costs, where the length of one string says little.
  static size_t LiveStringBytes() { return liveStringBytes_.load(std::memory_order_relaxed); }

 private:
  enum class Tag : uint8_t { Undefined, Null, Bool, Number, String, Object };
  struct SharedString {
    uint32_t refs;
    std::string text;
  };
  void Release() noexcept {
    if (tag_ == Tag::String) Drop(u_.string);
  }
  // Out of line: inlined into callers, GCC's bounds checker misreads the union and fails the
  // build.
  static void Drop(SharedString* s) noexcept;

  static inline std::atomic<size_t> liveStringBytes_{0};

  Tag tag_;
  union Payload {
    double number;
    bool boolean;
    Object* object;
    SharedString* string;
  } u_;
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
