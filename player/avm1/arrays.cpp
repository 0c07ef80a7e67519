#include "player/avm1/arrays.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "player/avm1/array_sort.h"
#include "player/avm1/builtin_support.h"
#include "player/avm1/interpreter.h"

namespace swf::avm1 {
namespace {

// Whether `p` is one of places from..to-1 that a delete may take.
bool DeletablePlace(const Property& p, int64_t from, int64_t to) {
  int32_t index;
  return !p.hidden && !(p.flags & kDontDelete) && CanonicalIndex(p.name, index) &&
         index >= from && index < to;
}

// A relative index (negative counts from the end) clamped into 0..size.
int64_t Clamp(double index, int64_t size) {
  if (std::isnan(index)) return 0;
  index = std::trunc(index);
  if (index < 0) index += static_cast<double>(size);
  if (index < 0) return 0;
  return index > static_cast<double>(size) ? size : static_cast<int64_t>(index);
}

Value LengthValue(int64_t n) { return Value(static_cast<double>(static_cast<int32_t>(n))); }

// A new array with `source`'s places from..to-1 at 0.., holes staying holes.
Object* CopyPlaces(Interpreter& vm, Places& source, int64_t from, int64_t to, Object* into,
                   int64_t at) {
  if (!into) return nullptr;
  for (int64_t i = from; i < to; ++i) {
    if (source.Has(i)) Places(vm, into).Set(at + i - from, source.Get(i));
  }
  // Trailing holes still count toward the length.
  const int64_t end = at + (to - from);
  if (end > into->arrayLength) into->arrayLength = static_cast<int32_t>(end);
  return into;
}

std::string Join(Interpreter& vm, const Value& self, const std::string& separator) {
  Object* o = self.AsObject();
  if (!o) return {};
  Places places(vm, o);
  const int32_t n = places.Length();
  if (n <= 0 || !CanWalk(vm, n)) return {};
  std::string out;
  // An object that is not an array has a length but no elements to the player: every place
  // reads as undefined.
  const bool array = o->kind == ObjectKind::Array;
  for (int32_t i = 0; i < n; ++i) {
    const std::string item = array ? vm.ToString(places.Get(i)) : "undefined";
    const size_t grown = out.size() + (i ? separator.size() : 0) + item.size();
    // A long separator between many places could ask for more than memory holds.
    if (!vm.MayMakeString(grown - out.size(), grown)) return {};
    if (i) out += separator;
    out += item;
  }
  return out;
}

}  // namespace

void FillArray(Object* a, std::vector<Value> values) {
  int32_t index;
  a->props.RemoveIf([&](const Property& p) { return CanonicalIndex(p.name, index); });
  for (size_t i = 0; i < values.size(); ++i) {
    a->props.push_back({PlaceName(static_cast<int64_t>(i)), std::move(values[i])});
  }
  a->arrayLength = static_cast<int32_t>(values.size());
}

void SetArrayLength(Object* a, int32_t length) {
  if (length < a->arrayLength && a->arrayLength > 0) {
    const int64_t from = std::max(length, 0), to = a->arrayLength;
    a->props.RemoveIf([&](const Property& p) { return DeletablePlace(p, from, to); });
  }
  a->arrayLength = length;
}

// An array's methods see its own length and the values its places hold, whatever getters
// addProperty put over them; any other object is read as a script would read it.
int32_t Places::Length() {
  if (o_->kind == ObjectKind::Array) return o_->arrayLength;
  return ToInt32(vm_.ToNumber(vm_.GetMember(o_, "length")));
}

void Places::SetLength(int64_t length) {
  if (o_->kind == ObjectKind::Array) {
    SetArrayLength(o_, static_cast<int32_t>(length));
  } else {
    vm_.SetMember(o_, "length", LengthValue(length));
  }
}

Value Places::Get(int64_t i) {
  if (o_->kind != ObjectKind::Array) return vm_.GetMember(o_, PlaceName(i));
  const Property* p = nullptr;
  if (i >= 0 && i <= std::numeric_limits<int32_t>::max()) {
    p = o_->props.FindIndex(static_cast<uint32_t>(i));
  }
  if (!p) p = o_->FindOwn(PlaceName(i), vm_.CaseSensitive());
  return p ? p->value : Value();
}

bool Places::Has(int64_t i) {
  if (i >= 0 && i <= std::numeric_limits<int32_t>::max() &&
      o_->props.FindIndex(static_cast<uint32_t>(i))) {
    return true;
  }
  return o_->FindOwn(PlaceName(i), vm_.CaseSensitive()) != nullptr;
}

void Places::Set(int64_t i, Value v) { vm_.SetMember(o_, PlaceName(i), std::move(v)); }

void Places::Delete(int64_t from, int64_t to) {
  if (from >= to) return;
  o_->props.RemoveIf([&](const Property& p) { return DeletablePlace(p, from, to); });
}

bool Places::ReadAll(std::vector<Value>& out) {
  out.clear();
  const int32_t n = Length();
  if (n <= 0) return true;
  if (!CanWalk(vm_, n)) return false;
  out.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) out.push_back(Get(i));
  return true;
}

bool CanWalk(Interpreter& vm, int64_t places) {
  if (places <= 0) return true;
  if (places > static_cast<int64_t>(kMaxArrayElements)) {
    vm.ChargeWork(std::numeric_limits<uint64_t>::max());
    return false;
  }
  // A place costs a native method about what a few actions cost a script.
  return vm.ChargeWork(static_cast<uint64_t>(places) / 8);
}

size_t ListLength(Interpreter& vm, const Value& list, size_t max) {
  const double n = vm.ToNumber(vm.GetMember(list, "length"));
  return std::isnan(n) ? 0 : static_cast<size_t>(std::clamp(n, 0.0, static_cast<double>(max)));
}

Value ListItem(Interpreter& vm, const Value& list, size_t i) {
  Object* o = list.AsObject();
  const auto place = static_cast<int64_t>(i);
  return o ? Places(vm, o).Get(place) : vm.GetMember(list, PlaceName(place));
}

std::vector<Value> ListItems(Interpreter& vm, const Value& list, size_t max) {
  std::vector<Value> out;
  const size_t n = ListLength(vm, list, max);
  for (size_t i = 0; i < n; ++i) out.push_back(ListItem(vm, list, i));
  return out;
}

void ArrayPush(Interpreter& vm, Object* a, Value v) {
  Places places(vm, a);
  const int64_t n = places.Length();
  places.Set(n, std::move(v));
  places.SetLength(n + 1);
}

void ArrayRemoveAt(Interpreter& vm, Object* a, int32_t at) {
  Places places(vm, a);
  std::vector<Value> values;
  if (at < 0 || !places.ReadAll(values) || static_cast<size_t>(at) >= values.size()) return;
  places.Delete(at, static_cast<int64_t>(values.size()));
  for (size_t i = static_cast<size_t>(at) + 1; i < values.size(); ++i) {
    places.Set(static_cast<int64_t>(i) - 1, values[i]);
  }
  places.SetLength(static_cast<int64_t>(values.size()) - 1);
}

Value MakeArray(Interpreter& vm, const Value& self, std::span<const Value> args) {
  // Called on a plain object (a subclass's super() call), Array makes that object the array.
  Object* a = self.AsObject();
  if (a && a->kind == ObjectKind::Plain && a != vm.Global()) {
    a->kind = ObjectKind::Array;
    a->arrayLength = 0;
  } else {
    a = vm.NewArray();
    if (!a) return Value();
  }
  if (args.size() == 1 && args[0].IsNumber()) {
    // A length alone: no places are made for it.
    a->arrayLength = ToInt32(args[0].AsNumber());
  } else {
    for (size_t i = 0; i < args.size(); ++i) Places(vm, a).Set(static_cast<int64_t>(i), args[i]);
  }
  return Value(a);
}

void InstallArrayMethods(Interpreter& vm, Object* proto) {
  auto method = [&](const char* name, NativeFunction fn) {
    AddMethod(vm, proto, name, std::move(fn));
  };
  method("push", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Places places(vm, o);
    const int64_t n = places.Length();
    for (size_t i = 0; i < args.size(); ++i) places.Set(n + static_cast<int64_t>(i), args[i]);
    places.SetLength(n + static_cast<int64_t>(args.size()));
    return LengthValue(n + static_cast<int64_t>(args.size()));
  });
  method("pop", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Places places(vm, o);
    const int64_t n = places.Length();
    if (n <= 0) return Value();
    Value last = places.Get(n - 1);
    places.Delete(n - 1, n);
    places.SetLength(n - 1);
    return last;
  });
  // shift and unshift take every place away and write the moved ones afresh, so that places
  // a script made undeletable stay where they were and the rest come back in a new order.
  method("shift", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Places places(vm, o);
    std::vector<Value> values;
    if (!places.ReadAll(values) || values.empty()) return Value();
    const auto n = static_cast<int64_t>(values.size());
    places.Delete(0, n);
    for (int64_t i = 1; i < n; ++i) places.Set(i - 1, values[static_cast<size_t>(i)]);
    places.SetLength(n - 1);
    return values[0];
  });
  method("unshift", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Places places(vm, o);
    std::vector<Value> values;
    if (!places.ReadAll(values)) return Value();
    const auto n = static_cast<int64_t>(values.size());
    const auto k = static_cast<int64_t>(args.size());
    places.Delete(0, n);
    for (int64_t i = n; i-- > 0;) places.Set(i + k, values[static_cast<size_t>(i)]);
    for (int64_t i = 0; i < k; ++i) places.Set(i, args[static_cast<size_t>(i)]);
    places.SetLength(n + k);
    return LengthValue(n + k);
  });
  // reverse swaps from the ends inwards, each pair taken away and written again.
  method("reverse", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Places places(vm, o);
    const int64_t n = places.Length();
    if (!CanWalk(vm, n)) return Value();
    for (int64_t lo = 0, hi = n - 1; lo < hi; ++lo, --hi) {
      Value low = places.Get(lo), high = places.Get(hi);
      places.Delete(lo, lo + 1);
      places.Delete(hi, hi + 1);
      places.Set(lo, std::move(high));
      places.Set(hi, std::move(low));
    }
    return self;
  });
  method("join", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    if (!self.IsObject()) return Value();
    const Value sep = Arg(args, 0);
    return Value(Join(vm, self, sep.IsUndefined() ? "," : vm.ToString(sep)));
  });
  method("toString", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    if (!self.IsObject()) return Value();
    return Value(Join(vm, self, ","));
  });
  method("concat", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* out = vm.NewArray();
    if (!out) return Value();
    auto append = [&](Object* from) {
      Places places(vm, from);
      const int64_t n = places.Length();
      if (CanWalk(vm, n)) CopyPlaces(vm, places, 0, std::max<int64_t>(n, 0), out, out->arrayLength);
    };
    if (Object* a = ThisArray(self)) append(a);
    for (const Value& v : args) {
      if (Object* other = ThisArray(v)) {
        append(other);
      } else {
        ArrayPush(vm, out, v);
      }
    }
    return Value(out);
  });
  method("slice", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    Places places(vm, o);
    const int64_t size = std::max<int64_t>(places.Length(), 0);
    const int64_t from = Clamp(vm.ToNumber(Arg(args, 0)), size);
    const int64_t to =
        args.size() < 2 || args[1].IsUndefined() ? size : Clamp(vm.ToNumber(args[1]), size);
    if (!CanWalk(vm, to - from)) return Value();
    Object* out = vm.NewArray();
    if (out && to > from) CopyPlaces(vm, places, from, to, out, 0);
    return out ? Value(out) : Value();
  });
  // splice(start[, count[, items...]]): no start, an undefined count or a negative one leave
  // the array alone and give undefined.
  method("splice", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o || args.empty() || args[0].IsUndefined()) return Value();
    const double start = vm.ToNumber(args[0]);
    Places places(vm, o);
    std::vector<Value> values;
    if (!places.ReadAll(values)) return Value();
    const auto size = static_cast<int64_t>(values.size());
    const int64_t from = Clamp(start, size);
    int64_t count = size - from;
    if (args.size() > 1) {
      const double n = vm.ToNumber(args[1]);
      if (std::isnan(n) || n < 0) return Value();
      count = std::min<double>(static_cast<double>(count), std::trunc(n));
    }
    const auto begin = values.begin() + from;
    Object* removed = vm.NewArray(std::vector<Value>(begin, begin + count));
    const std::span<const Value> items = args.size() > 2 ? args.subspan(2) : args.subspan(0, 0);
    places.Delete(from, size);
    int64_t at = from;
    for (const Value& v : items) places.Set(at++, v);
    for (int64_t i = from + count; i < size; ++i) places.Set(at++, values[static_cast<size_t>(i)]);
    places.SetLength(at);
    return removed ? Value(removed) : Value();
  });
  method("sort", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    return o ? SortArray(vm, o, args) : Value();
  });
  method("sortOn", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    return o ? SortArrayOn(vm, o, args) : Value();
  });
}

}  // namespace swf::avm1
