#pragma once
// Little-endian words and incompressible filler for the file-format tests.
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace bytetest {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes out;
  for (uint32_t w : words) Put32(out, w);
  return out;
}

// Bytes that do not compress, the same for the same seed.
inline Bytes Noise(size_t size, uint32_t seed) {
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return out;
}

}  // namespace bytetest
