#include "player/avm1/object.h"

#include <algorithm>

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

bool ArrayIndex(std::string_view name, size_t& index) {
  if (name.empty() || name.size() > 9) return false;
  if (name.size() > 1 && name[0] == '0') return false;
  size_t n = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  index = n;
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

}  // namespace

void PropertyList::clear() {
  items_.clear();
  hashes_.clear();
  slots_.clear();
}

PropertyList::iterator PropertyList::erase(const_iterator at) {
  // Positions after the removed one all move down: the table starts over.
  hashes_.clear();
  slots_.clear();
  return items_.erase(at);
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
      if (!p.hidden && NamesEqual(p.name, name, caseSensitive)) return i;
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
    if (!p.hidden && NamesEqual(p.name, name, caseSensitive)) found = at;
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
