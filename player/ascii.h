#pragma once
// ASCII case-insensitive comparison, for the names movies and hosts address things by (frame
// labels, property texts) in narrow or wide text.
#include <cstdint>
#include <string_view>

namespace swf {

template <typename Char>
bool EqualsIgnoringCase(std::basic_string_view<Char> a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](uint32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    const uint32_t c =
        sizeof(Char) == 1 ? static_cast<unsigned char>(a[i]) : static_cast<uint32_t>(a[i]);
    if (lower(c) != lower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return EqualsIgnoringCase<char>(a, b);
}

}  // namespace swf
