#pragma once
// Straight runs of number work (a loop's arithmetic on registers, its counting and its test)
// read once into a form that runs on plain doubles, with every check the actions would make
// one by one made once before the run. Private to the interpreter.
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "player/avm1/action_codes.h"
#include "player/avm1/value.h"

namespace swf::avm1 {

class DecodedCode;
struct DecodedAction;

// The remainder as fmod gives it, whole numbers within 32 bits the cheap way (the library's
// fmod works bit by bit). Such a remainder is exact either way; its sign is the dividend's,
// zero included, and the divisor's sign does not matter.
[[gnu::always_inline]] inline double Modulo(double x, double y) {
  constexpr double kLimit = 2147483647.0;
  const double divisor = std::fabs(y);
  if (x >= -kLimit && x <= kLimit && divisor >= 1 && divisor <= kLimit) {
    const auto a = static_cast<int32_t>(x), b = static_cast<int32_t>(divisor);
    if (a == x && b == divisor) return std::copysign(static_cast<double>(a % b), x);
  }
  return std::fmod(x, y);
}

// An arithmetic action on two numbers (Divide by zero in a SWF 4 movie aside, which gives
// text and is left to the caller).
[[gnu::always_inline]] inline double Arithmetic(ActionCode code, double x, double y) {
  switch (code) {
    case ActionCode::Subtract:
      return x - y;
    case ActionCode::Multiply:
      return x * y;
    case ActionCode::Divide:
      return x / y;
    case ActionCode::Modulo:
      return Modulo(x, y);
    default:  // Add2, Add
      return x + y;
  }
}

// A comparison action on two numbers: a boolean, or undefined where Less2 or Greater meets
// NaN.
[[gnu::always_inline]] inline Value Compare(ActionCode code, double x, double y) {
  switch (code) {
    case ActionCode::Less2:
    case ActionCode::Greater: {
      if (std::isnan(x) || std::isnan(y)) return Value();
      return Value(code == ActionCode::Less2 ? x < y : y < x);
    }
    case ActionCode::Equals2:
      // NaN equals itself here, as in the general comparison.
      return Value(x == y || (std::isnan(x) && std::isnan(y)));
    case ActionCode::Less:
      return Value(x < y);
    default:  // Equals
      return Value(x == y);
  }
}

// Values in a run live in numbered slots of doubles: the registers it uses, the numbers it
// pushes and what each step works out. The stack the actions would have used is followed when
// the run is read, so a step names its operands' slots and none of the pushing and popping is
// left to do.
struct QuickOp {
  enum class Kind : uint8_t { Add, Subtract, Multiply, Divide, Modulo, Copy, Compare, Not, If };
  Kind kind;
  ActionCode code = ActionCode::End;  // Compare
  uint8_t dst = 0, a = 0, b = 0;
  uint16_t exit = 0;                      // Compare and If: how the run leaves
  const DecodedAction* action = nullptr;  // Compare and If: the action it is
};

// How a run leaves: with how many actions run, the values the stack would then hold and the
// registers written so far (the first `written` of the run's written registers).
struct QuickExit {
  std::vector<uint8_t> stack;
  size_t written = 0;
  size_t actions = 0;
};

// A run of actions from one record on, as far as they only move numbers between the stack and
// registers: what each would check as it ran (types, registers, the code's range, the budget)
// is checked for the whole run before it starts, and the run starts only when all hold.
struct QuickBlock {
  struct Load {
    uint8_t slot;
    uint16_t index;  // the register or the constant
  };
  struct Number {
    uint8_t slot;
    double value;
  };
  std::vector<QuickOp> ops;
  std::vector<QuickExit> exits;  // the last is the run's own end when it ends on no If
  // Registers read before the run writes them, which must hold numbers; constants read.
  std::vector<Load> registers, constants, written;
  std::vector<Number> numbers;
  size_t registersUsed = 0;  // the highest register touched, plus one
  size_t actions = 0;
  bool divides = false;
  bool compared = false;  // ends on a comparison's result, not followed by an If
  // Offsets the run arrives at after its first record, the furthest end of its records, and
  // where its jumps lead: all must lie in the code running it.
  uint64_t minArrive = std::numeric_limits<uint64_t>::max(), maxArrive = 0, maxNext = 0;
  int64_t minTarget = std::numeric_limits<int64_t>::max();
  int64_t maxTarget = std::numeric_limits<int64_t>::min();
  // The record the run ends with, and where it goes on when that is no If.
  const DecodedAction* last = nullptr;
  uint64_t endAt = 0;
  uint64_t start = 0;  // where the run's first record is
  static constexpr size_t kMaxSlots = 128;
};

// The run starting at `start`, or null when it would be too short to gain anything.
std::shared_ptr<const QuickBlock> ReadQuickBlock(DecodedCode& code, const DecodedAction* start);

}  // namespace swf::avm1
