#include "player/avm1/object.h"

#include <algorithm>
#include <cstring>

namespace swf::avm1 {

bool NamesEqual(std::string_view a, std::string_view b, bool caseSensitive) {
  if (a.size() != b.size()) return false;
  if (caseSensitive) return a == b;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IndexName(std::string_view name, int32_t& index) {
  const bool negative = !name.empty() && name[0] == '-';
  if (negative) name.remove_prefix(1);
  if (name.empty()) return false;
  uint32_t n = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint32_t>(c - '0');
  }
  index = static_cast<int32_t>(negative ? 0u - n : n);
  return true;
}

bool CanonicalIndex(std::string_view name, int32_t& index) {
  // At most "-2147483648": anything longer is no 32-bit number written plainly.
  if (name.empty() || name.size() > 11) return false;
  const bool negative = name[0] == '-';
  const std::string_view digits = negative ? name.substr(1) : name;
  if (digits.empty() || (digits[0] == '0' && (digits.size() > 1 || negative))) return false;
  int64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (negative) n = -n;
  if (n < INT32_MIN || n > INT32_MAX) return false;
  index = static_cast<int32_t>(n);
  return true;
}

bool HiddenFromVersion(uint16_t flags, int version) {
  return ((flags & 0x80) && version < 6) || ((flags & 0x400) && version < 7) ||
         ((flags & 0x1000) && version < 8) || ((flags & 0x2000) && version < 9) ||
         ((flags & 0x4000) && version < 10);
}

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

uint32_t FoldedHash(std::string_view name) {
  uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ static_cast<uint8_t>(Folded(c))) * 16777619u;
  return h;
}

// NamesEqual, with the common miss (same length, different first letter) settled before
// anything is called: most lookups pass over several names before the one they want.
bool SameName(std::string_view a, std::string_view b, bool caseSensitive) {
  if (a.size() != b.size()) return false;
  if (!caseSensitive) return NamesEqual(a, b, false);
  return a.empty() || (a[0] == b[0] && std::memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace

void PropertyList::clear() {
  items_.clear();
  ForgetPositions();
}

void PropertyList::ForgetPositions() {
  hashes_.clear();
  slots_.clear();
  indexSlots_.clear();
  indexedCount_ = 0;
}

PropertyList::iterator PropertyList::erase(const_iterator at) {
  const size_t position = static_cast<size_t>(at - items_.cbegin());
  if (position + 1 != items_.size()) {
    // Positions after the removed one all move down: the tables start over.
    ForgetPositions();
    return items_.erase(at);
  }
  // The last property (a pop, a length cut by one) leaves the tables as they were but for its
  // own entries, so emptying an array from the end stays cheap.
  if (hashes_.size() == items_.size()) {
    const size_t mask = slots_.size() - 1;
    size_t hole = hashes_.back() & mask;
    while (slots_[hole] != position + 1) hole = (hole + 1) & mask;
    // Entries further along the probe run move back over the gap when their home allows it.
    for (size_t next = (hole + 1) & mask; slots_[next] != 0; next = (next + 1) & mask) {
      const size_t home = hashes_[slots_[next] - 1] & mask;
      const bool between = hole <= next ? (hole < home && home <= next)
                                        : (hole < home || home <= next);
      if (!between) {
        slots_[hole] = slots_[next];
        hole = next;
      }
    }
    slots_[hole] = 0;
    hashes_.pop_back();
  }
  if (indexedCount_ == items_.size()) {
    int32_t index;
    if (CanonicalIndex(items_.back().name, index) && index >= 0 &&
        static_cast<size_t>(index) < indexSlots_.size() &&
        indexSlots_[static_cast<size_t>(index)] == position + 1) {
      indexSlots_[static_cast<size_t>(index)] = 0;
    }
    --indexedCount_;
  }
  items_.pop_back();
  return items_.end();
}

void PropertyList::CatchUpIndexes() {
  const size_t count = items_.size();
  if (indexedCount_ == count) return;
  // Indexes up to a few times the count are covered; past that the name lookup serves.
  const size_t limit = 4 * count + 16;
  for (size_t i = indexedCount_; i < count; ++i) {
    int32_t index;
    if (!CanonicalIndex(items_[i].name, index) || index < 0) continue;
    const auto at = static_cast<size_t>(index);
    if (at >= limit) continue;
    if (at >= indexSlots_.size()) indexSlots_.resize(std::max(at + 1, 2 * indexSlots_.size()), 0);
    if (indexSlots_[at] == 0) indexSlots_[at] = static_cast<uint32_t>(i + 1);
  }
  indexedCount_ = count;
}

void PropertyList::Insert(uint32_t hash, uint32_t position) const {
  const size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = position + 1;
}

void PropertyList::CatchUp() const {
  const size_t count = items_.size();
  if (hashes_.size() == count) return;
  // At most half full, so that a probe meets an empty slot soon.
  if (slots_.size() < 2 * count) {
    size_t size = 16;
    while (size < 4 * count) size *= 2;
    slots_.assign(size, 0);
    for (size_t i = 0; i < hashes_.size(); ++i) Insert(hashes_[i], static_cast<uint32_t>(i));
  }
  for (size_t i = hashes_.size(); i < count; ++i) {
    hashes_.push_back(FoldedHash(items_[i].name));
    Insert(hashes_.back(), static_cast<uint32_t>(i));
  }
}

size_t PropertyList::IndexOf(std::string_view name, bool caseSensitive) const {
  if (items_.size() < kIndexFrom) {
    for (size_t i = 0; i < items_.size(); ++i) {
      const Property& p = items_[i];
      if (!p.hidden && SameName(p.name, name, caseSensitive)) return i;
    }
    return kNone;
  }
  CatchUp();
  const uint32_t hash = FoldedHash(name);
  const size_t mask = slots_.size() - 1;
  // Names may repeat (a hidden property and a newer one, or names differing in case): the
  // oldest match wins, as a scan in order would find it.
  size_t found = kNone;
  for (size_t i = hash & mask; slots_[i] != 0; i = (i + 1) & mask) {
    const uint32_t at = slots_[i] - 1;
    if (hashes_[at] != hash || at >= found) continue;
    const Property& p = items_[at];
    if (!p.hidden && SameName(p.name, name, caseSensitive)) found = at;
  }
  return found;
}

Property* Object::FindOwn(std::string_view name, bool caseSensitive) {
  return props.Find(name, caseSensitive);
}

const Property* Object::FindOwn(std::string_view name, bool caseSensitive) const {
  return props.Find(name, caseSensitive);
}

void Object::SetOwn(std::string_view name, Value value, bool caseSensitive, uint16_t flags) {
  if (Property* p = FindOwn(name, caseSensitive)) {
    if (!(p->flags & kReadOnly)) p->value = std::move(value);
    return;
  }
  props.push_back({std::string(name), std::move(value), flags});
}

bool Object::DeleteOwn(std::string_view name, bool caseSensitive) {
  Property* p = FindOwn(name, caseSensitive);
  if (!p || (p->flags & kDontDelete)) return false;
  props.erase(props.begin() + (p - &props[0]));
  return true;
}

}  // namespace swf::avm1
