#include "player/avm1/array_sort.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "player/avm1/arrays.h"
#include "player/avm1/builtin_support.h"
#include "player/avm1/interpreter.h"

namespace swf::avm1 {
namespace {

// -1, 0 or 1 for a before, equal to, or after b.
using Compare = std::function<int(const Value& a, const Value& b)>;

int Sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// How two values compare under the option flags, without a script's function.
int CompareByOptions(Interpreter& vm, const Value& a, const Value& b, int options) {
  if (options & kSortNumeric) {
    const double x = vm.ToNumber(a), y = vm.ToNumber(b);
    if (std::isnan(x) || std::isnan(y)) return std::isnan(x) - std::isnan(y);
    return Sign(x - y);
  }
  std::string x = vm.ToString(a), y = vm.ToString(b);
  if (options & kSortCaseInsensitive) {
    x = Lower(std::move(x));
    y = Lower(std::move(y));
  }
  return x.compare(y) < 0 ? -1 : (x == y ? 0 : 1);
}

// A merge sort of positions: whatever a script's comparison answers (inconsistent, changing,
// stopped), it only ever reads the positions it was given. Stable, as movies expect of equal
// keys.
void MergeSort(std::vector<size_t>& order, const std::vector<Value>& values, const Compare& cmp,
               bool& sawEqual) {
  std::vector<size_t> scratch(order.size());
  for (size_t width = 1; width < order.size(); width *= 2) {
    for (size_t lo = 0; lo < order.size(); lo += 2 * width) {
      const size_t mid = std::min(lo + width, order.size());
      const size_t hi = std::min(lo + 2 * width, order.size());
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        const int c = cmp(values[order[i]], values[order[j]]);
        if (c == 0) sawEqual = true;
        scratch[k++] = c <= 0 ? order[i++] : order[j++];
      }
      while (i < mid) scratch[k++] = order[i++];
      while (j < hi) scratch[k++] = order[j++];
    }
    order.swap(scratch);
  }
}

Value Finish(Interpreter& vm, Object* array, const std::vector<Value>& values,
             std::vector<size_t> order, const Compare& cmp, int options) {
  bool sawEqual = false;
  MergeSort(order, values, cmp, sawEqual);
  if (options & kSortDescending) std::reverse(order.begin(), order.end());
  if ((options & kSortUnique) && sawEqual) return Value(0);
  if (options & kSortReturnIndexes) {
    std::vector<Value> indexes;
    for (size_t i : order) indexes.emplace_back(static_cast<double>(i));
    return Value(vm.NewArray(std::move(indexes)));
  }
  Places places(vm, array);
  for (size_t i = 0; i < order.size(); ++i) {
    places.Set(static_cast<int64_t>(i), values[order[i]]);
  }
  return Value(array);
}

std::vector<size_t> Identity(size_t n) {
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = i;
  return order;
}

}  // namespace

Value SortArray(Interpreter& vm, Object* array, std::span<const Value> args) {
  // The script's function may change the array while it runs: sort a copy.
  std::vector<Value> values;
  if (!Places(vm, array).ReadAll(values)) return Value();
  Value function;
  int options = 0;
  if (IsFunction(Arg(args, 0))) {
    function = args[0];
    options = static_cast<int>(ToInt32(vm.ToNumber(Arg(args, 1))));
  } else if (!args.empty()) {
    options = static_cast<int>(ToInt32(vm.ToNumber(args[0])));
  }
  Compare cmp = [&](const Value& a, const Value& b) {
    if (function.IsUndefined()) return CompareByOptions(vm, a, b, options);
    if (vm.Stopped()) return 0;
    const Value pair[2] = {a, b};
    const double r = vm.ToNumber(vm.Call(function, Value(), pair));
    return std::isnan(r) ? 0 : Sign(r);
  };
  return Finish(vm, array, values, Identity(values.size()), cmp, options);
}

Value SortArrayOn(Interpreter& vm, Object* array, std::span<const Value> args) {
  std::vector<Value> values;
  if (!Places(vm, array).ReadAll(values)) return Value();
  std::vector<std::string> fields;
  const Value names = Arg(args, 0);
  if (Object* list = names.AsObject(); list && list->kind == ObjectKind::Array) {
    for (const Value& v : ListItems(vm, list, kMaxArrayElements)) {
      fields.push_back(vm.ToString(v));
    }
  } else if (!names.IsUndefined()) {
    fields.push_back(vm.ToString(names));
  }
  const int options = static_cast<int>(ToInt32(vm.ToNumber(Arg(args, 1))));
  Compare cmp = [&](const Value& a, const Value& b) {
    for (const std::string& field : fields) {
      const int c = CompareByOptions(vm, vm.GetMember(a, field), vm.GetMember(b, field), options);
      if (c != 0) return c;
    }
    return 0;
  };
  return Finish(vm, array, values, Identity(values.size()), cmp, options);
}

}  // namespace swf::avm1
