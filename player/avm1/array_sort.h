#pragma once
// Array.prototype.sort and sortOn, with the player's option flags.
#include <span>

#include "player/avm1/value.h"

namespace swf::avm1 {

class Interpreter;
struct Object;

// The flags scripts read from Array.CASEINSENSITIVE and friends.
enum SortOption : int {
  kSortCaseInsensitive = 1,
  kSortDescending = 2,
  kSortUnique = 4,
  kSortReturnIndexes = 8,
  kSortNumeric = 16,
};

// sort([compareFunction], [options]) on `array` (or any object with a length).
Value SortArray(Interpreter& vm, Object* array, std::span<const Value> args);
// sortOn(fieldName or [fieldNames], [options]) on `array`.
Value SortArrayOn(Interpreter& vm, Object* array, std::span<const Value> args);

}  // namespace swf::avm1
