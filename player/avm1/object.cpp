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

Property* Object::FindOwn(std::string_view name, bool caseSensitive) {
  for (Property& p : props) {
    if (!p.hidden && NamesEqual(p.name, name, caseSensitive)) return &p;
  }
  return nullptr;
}

const Property* Object::FindOwn(std::string_view name, bool caseSensitive) const {
  for (const Property& p : props) {
    if (!p.hidden && NamesEqual(p.name, name, caseSensitive)) return &p;
  }
  return nullptr;
}

void Object::SetOwn(std::string_view name, Value value, bool caseSensitive, uint16_t flags) {
  if (Property* p = FindOwn(name, caseSensitive)) {
    if (!(p->flags & kReadOnly)) p->value = std::move(value);
    return;
  }
  props.push_back({std::string(name), std::move(value), flags});
}

bool Object::DeleteOwn(std::string_view name, bool caseSensitive) {
  auto it = std::find_if(props.begin(), props.end(), [&](const Property& p) {
    return !p.hidden && NamesEqual(p.name, name, caseSensitive);
  });
  if (it == props.end() || (it->flags & kDontDelete)) return false;
  props.erase(it);
  return true;
}

}  // namespace swf::avm1
