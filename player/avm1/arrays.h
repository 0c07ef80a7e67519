#pragma once
// Arrays: elements are ordinary properties named by their index, beside a signed 32-bit
// length. The Array methods work the same way on any object that has a length, reading and
// writing its places through the paths scripts use.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/avm1/object.h"
#include "player/avm1/value.h"

namespace swf::avm1 {

class Interpreter;

// The name of place `i`, as the player writes it.
inline std::string PlaceName(int64_t i) { return std::to_string(i); }

// Makes `a` hold `values` at places 0.. and nothing else past them.
void FillArray(Object* a, std::vector<Value> values);
// Setting the length: a shorter one deletes the places from it up to the old length that may
// be deleted (never those below 0).
void SetArrayLength(Object* a, int32_t length);
// A write at `index` stretches the length past it, counting in 32 bits: index 2147483647
// makes the length -2147483648, which cuts the array as setting it would.
inline void GrowArray(Object* a, int32_t index) {
  if (index >= a->arrayLength) {
    SetArrayLength(a, static_cast<int32_t>(static_cast<uint32_t>(index) + 1u));
  }
}

// An object's places as the Array methods read and write them.
class Places {
 public:
  Places(Interpreter& vm, Object* o) : vm_(vm), o_(o) {}
  int32_t Length();
  void SetLength(int64_t length);
  // Undefined where there is no element.
  Value Get(int64_t i);
  bool Has(int64_t i);
  void Set(int64_t i, Value v);
  // Deletes the places from..to-1 that may be deleted, in one pass over the properties.
  void Delete(int64_t from, int64_t to);
  // Places 0..length-1; false (and the script stopped) when there are too many to walk.
  bool ReadAll(std::vector<Value>& out);

 private:
  Interpreter& vm_;
  Object* o_;
};

// Whether an Array method may walk `places` places: past kMaxArrayElements the work could
// not end in time (the player's own would hit its script time limit), so the script stops.
bool CanWalk(Interpreter& vm, int64_t places);

// An array-like argument (a gradient's colours, a filter's matrix, tab stops): its length
// read as a number and cut to 0..max, NaN counting as 0 (a string has a length too).
size_t ListLength(Interpreter& vm, const Value& list, size_t max);
// Its place `i`, undefined where there is none.
Value ListItem(Interpreter& vm, const Value& list, size_t i);
// Its first ListLength places.
std::vector<Value> ListItems(Interpreter& vm, const Value& list, size_t max);

// The player's own lists (listeners, headers): add at the end, and take out one place.
void ArrayPush(Interpreter& vm, Object* a, Value v);
void ArrayRemoveAt(Interpreter& vm, Object* a, int32_t at);

// Array.prototype's methods and the constructor's call.
void InstallArrayMethods(Interpreter& vm, Object* arrayProto);
// `Array(...)`, with `self` the object a constructor call made or a super() call names.
Value MakeArray(Interpreter& vm, const Value& self, std::span<const Value> args);

}  // namespace swf::avm1
