// setInterval, setTimeout and their clearing: callbacks that fire as movie time passes. The
// host moves the clock one frame at a time, so a timer fires at the first frame at or after its
// time, at most once a frame, and timers due at the same frame fire in the order of their
// times, the older first on a tie.
#include <algorithm>
#include <cmath>

#include "player/avm1/builtin_support.h"
#include "player/avm1/script_error.h"

namespace swf::avm1 {

Value Interpreter::AddTimer(std::span<const Value> args, bool repeat) {
  // setInterval(function, ms, ...) or setInterval(object, "method", ms, ...).
  Object* first = Arg(args, 0).AsObject();
  if (!first) return {};
  Timer t;
  size_t at = 1;
  if (first->IsCallable()) {
    t.function = first;
  } else {
    t.object = first;
    if (args.size() < 2) return {};
    t.method = ToString(args[1]);
    at = 2;
  }
  if (args.size() <= at || args[at].IsUndefined()) return {};
  const double ms = ToNumber(args[at]);
  t.interval = std::isfinite(ms) && ms > 0 ? ms : 0;
  t.args.assign(args.begin() + static_cast<std::ptrdiff_t>(at + 1), args.end());
  t.repeat = repeat;
  t.id = nextTimerId_++;
  t.due = clock_ + t.interval;
  timers_.push_back(std::move(t));
  return static_cast<double>(timers_.back().id);
}

void Interpreter::AdvanceClock(double milliseconds) {
  if (!(milliseconds > 0)) return;
  clock_ += milliseconds;
  std::vector<std::pair<double, int>> due;
  for (const Timer& t : timers_) {
    if (t.due <= clock_) due.emplace_back(t.due, t.id);
  }
  std::sort(due.begin(), due.end());
  for (const auto& entry : due) {
    const int id = entry.second;
    // An earlier callback may have cleared this one.
    auto it = std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers_.end()) continue;
    const Timer fired = *it;
    if (fired.repeat) {
      // One that fell behind (shorter than a frame) picks up from now rather than firing to
      // catch up.
      it->due += it->interval;
      if (it->due <= clock_) it->due = clock_ + it->interval;
    } else {
      timers_.erase(it);
    }
    try {
      const Value function =
          fired.function ? Value(fired.function) : GetMember(fired.object, fired.method);
      CallFromOutside(function, fired.function ? Value() : Value(fired.object), fired.args);
    } catch (const ScriptException& e) {
      Trace("Warning: Uncaught exception, " + ToString(e.value));
    }
  }
  for (size_t i = 0; i < clockHooks_.size(); ++i) clockHooks_[i]();
}

void Interpreter::CallFromOutside(const Value& function, const Value& thisValue,
                                  std::span<const Value> args) {
  const OutermostBlock block(*this);
  try {
    Call(function, thisValue, args);
  } catch (const ScriptException& e) {
    Trace("Warning: Uncaught exception, " + ToString(e.value));
  }
}

void Interpreter::InstallTimers() {
  auto add = [](bool repeat) {
    return [repeat](Interpreter& vm, const Value&, std::span<const Value> args) {
      return vm.AddTimer(args, repeat);
    };
  };
  auto clear = [](Interpreter& vm, const Value&, std::span<const Value> args) {
    const double id = vm.ToNumber(Arg(args, 0));
    std::erase_if(vm.timers_, [id](const Timer& t) { return t.id == id; });
    return Value();
  };
  AddMethod(*this, global_, "setInterval", add(true));
  AddMethod(*this, global_, "setTimeout", add(false));
  AddMethod(*this, global_, "clearInterval", clear);
  AddMethod(*this, global_, "clearTimeout", clear);
}

}  // namespace swf::avm1
