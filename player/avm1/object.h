#pragma once
// Script objects: properties in the order they were made, a prototype link, and what makes an
// object special (an array's elements, a function's code, a clip's identity, a boxed primitive).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/avm1/clip_host.h"
#include "player/avm1/value.h"

namespace swf {
class BitmapData;
}

namespace swf::avm1 {

class Interpreter;

enum PropertyFlags : uint16_t {
  kDontEnum = 1,
  kDontDelete = 2,
  kReadOnly = 4,
};

// Whether ASSetPropFlags bits keep a property from a movie of `version`: each of these bits
// makes it visible only from some version on.
bool HiddenFromVersion(uint16_t flags, int version);

struct Property {
  std::string name;
  Value value;
  uint16_t flags = 0;
  // ASSetPropFlags can keep a property from movies older than a given version.
  bool hidden = false;
  // A property made by addProperty: reading calls the getter, writing the setter (if any).
  Object* getter = nullptr;
  Object* setter = nullptr;
  // Names this property's nesting count while its getter, setter or watcher runs (0 until
  // one first does); a property made anew counts from nothing again.
  uint32_t callKey = 0;
};

// An object's properties in the order they were made (for-in lists them by it). Lookups by
// name go through a hash of the name folded to lower case, so that one table answers the
// case-sensitive lookups of SWF 7 and later and the case-insensitive ones before; a few
// properties are faster to scan than to hash, so small objects keep no table. The table
// catches up with properties added at the end on the next lookup and is rebuilt after a
// removal.
class PropertyList {
 public:
  using iterator = std::vector<Property>::iterator;
  using const_iterator = std::vector<Property>::const_iterator;
  using reverse_iterator = std::vector<Property>::reverse_iterator;
  using const_reverse_iterator = std::vector<Property>::const_reverse_iterator;

  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }
  reverse_iterator rbegin() { return items_.rbegin(); }
  reverse_iterator rend() { return items_.rend(); }
  const_reverse_iterator rbegin() const { return items_.rbegin(); }
  const_reverse_iterator rend() const { return items_.rend(); }
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  Property& operator[](size_t i) { return items_[i]; }
  const Property& operator[](size_t i) const { return items_[i]; }
  Property& back() { return items_.back(); }
  const Property& back() const { return items_.back(); }

  void push_back(Property p) { items_.push_back(std::move(p)); }
  void clear();
  iterator erase(const_iterator at);
  // Removes every property `drop` picks in one pass (the tables start over once, not once a
  // property). Gives how many went.
  template <class Pred>
  size_t RemoveIf(Pred drop) {
    size_t first = 0;
    while (first < items_.size() && !drop(items_[first])) ++first;
    if (first == items_.size()) return 0;
    if (first + 1 == items_.size()) {
      erase(items_.end() - 1);
      return 1;
    }
    const size_t before = items_.size();
    items_.erase(std::remove_if(items_.begin() + static_cast<ptrdiff_t>(first), items_.end(), drop),
                 items_.end());
    ForgetPositions();
    return before - items_.size();
  }

  // The first property not hidden by its flags with this name, or null.
  Property* Find(std::string_view name, bool caseSensitive) {
    const size_t at = IndexOf(name, caseSensitive);
    return at == kNone ? nullptr : &items_[at];
  }
  const Property* Find(std::string_view name, bool caseSensitive) const {
    const size_t at = IndexOf(name, caseSensitive);
    return at == kNone ? nullptr : &items_[at];
  }
  // The property named by `index` written the usual way ("0", "17"), found without making
  // the name: arrays are read and written by number far more often than by name. Null only
  // means "not found this quick way"; the caller asks Find then.
  Property* FindIndex(uint32_t index) {
    if (indexedCount_ != items_.size()) CatchUpIndexes();
    if (index >= indexSlots_.size() || indexSlots_[index] == 0) return nullptr;
    Property& p = items_[indexSlots_[index] - 1];
    return p.hidden ? nullptr : &p;
  }

 private:
  static constexpr size_t kIndexFrom = 8;
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t IndexOf(std::string_view name, bool caseSensitive) const;
  // The table is a cache of the names, kept up to date by lookups.
  void CatchUp() const;
  void Insert(uint32_t hash, uint32_t position) const;
  void ForgetPositions();
  void CatchUpIndexes();
  std::vector<Property> items_;
  mutable std::vector<uint32_t> hashes_;  // each indexed property's folded name hash
  mutable std::vector<uint32_t> slots_;   // open addressing: 0 is empty, else position + 1
  // By index, the position + 1 of the oldest property named by it (0: none seen). It covers
  // indexes below a few times the property count, so a huge index costs no memory.
  std::vector<uint32_t> indexSlots_;
  size_t indexedCount_ = 0;  // properties already entered in indexSlots_
};

using NativeFunction =
    std::function<Value(Interpreter& vm, const Value& thisValue, std::span<const Value> args)>;

class DecodedCode;
// The constant pool a ConstantPool action sets up, read once.
using ConstantPool = std::vector<Value>;

// A function defined by bytecode: where its body lies and what it was defined with.
struct FunctionCode {
  std::shared_ptr<const std::vector<uint8_t>> bytes;  // the whole block the body lies in
  size_t start = 0, size = 0;
  std::string name;
  std::vector<std::string> params;
  std::vector<uint8_t> paramRegisters;  // DefineFunction2: 0 means "a named local"
  uint8_t registerCount = 0;
  uint16_t flags = 0;  // DefineFunction2's preload and suppress bits
  bool function2 = false;
  std::shared_ptr<const ConstantPool> constants;
  // The decoded form of `bytes`, shared with the code that defined the function.
  std::shared_ptr<DecodedCode> decoded;
};

// Object.watch: a function that sees (and may change) every value written to one property.
struct Watcher {
  std::string name;
  Object* callback = nullptr;
  Value userData;
  int running = 0;       // callbacks of this watcher under way (it cannot be dropped then)
  uint32_t callKey = 0;  // its nesting count while the property it watches is not there
};

// Super: what `super` names in a method, calling the superclass constructor or its methods on
// the same `this`.
// The kinds past Super are the player's library classes, each keeping its state in `internal`.
// Native: an instance of a library class that keeps nothing out of scripts' sight, yet is
// no longer a plain object another class may make its own.
enum class ObjectKind { Plain, Array, Function, Clip, Boxed, Super, XmlNode, Date, Native };

struct Object {
  ObjectKind kind = ObjectKind::Plain;
  PropertyList props;
  Object* proto = nullptr;

  std::vector<Value> elements;  // an XML node's children (arrays keep theirs as properties)
  // An array's length: what scripts set it to, or one past the highest index written. It is
  // a signed 32-bit number, and nothing is allocated for the places below it.
  int32_t arrayLength = 0;

  std::shared_ptr<const FunctionCode> code;  // functions defined by bytecode
  NativeFunction native;                     // functions of the player
  NativeFunction construct;                  // what `new` does, when it differs from a call
  std::vector<Object*> scope;                // what a bytecode function closes over
  Object* target = nullptr;                  // the clip a bytecode function was defined on

  ClipRef clip;                     // clips
  Value primitive;                  // boxed primitives
  Object* boundThis = nullptr;      // Super: the `this` its calls use
  Object* home = nullptr;           // Super: the prototype its class's methods live on
  std::vector<Object*> interfaces;  // prototypes: what `implements` added
  std::vector<Watcher> watchers;
  // What a library class keeps out of scripts' sight (an XML node's links, a date's time):
  // plain values, so that whatever walks the heap sees the objects they hold.
  std::vector<Value> internal;
  // A BitmapData's pixels, shared with the clips that show them.
  std::shared_ptr<BitmapData> bitmap;
  // Its prototype link is the one it was made with: a script writing __proto__ changes nothing.
  bool fixedProto = false;
  bool marked = false;  // reached in the collector's current pass

  bool IsCallable() const { return kind == ObjectKind::Function || kind == ObjectKind::Super; }

  Property* FindOwn(std::string_view name, bool caseSensitive);
  const Property* FindOwn(std::string_view name, bool caseSensitive) const;
  // Sets an own property, creating it at the end; a read-only one keeps its value.
  void SetOwn(std::string_view name, Value value, bool caseSensitive, uint16_t flags = 0);
  bool DeleteOwn(std::string_view name, bool caseSensitive);
};

// "0", "12", "-3": a name as an array's length counts it, digits read into 32 bits the way
// the player reads them ("4294967296" counts as 0).
bool IndexName(std::string_view name, int32_t& index);
// A name written the way the player writes an index ("-3", "12", not "012"), and its value.
bool CanonicalIndex(std::string_view name, int32_t& index);

bool NamesEqual(std::string_view a, std::string_view b, bool caseSensitive);

}  // namespace swf::avm1
