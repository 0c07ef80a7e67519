#pragma once
// Copies into the fixed 260-byte text buffers the Win32 A functions use. Every copy is bounded
// and terminated: a text that does not fit is cut, never allowed to overrun.
#include <cstddef>
#include <cstring>

namespace brim {

constexpr size_t kPathCapacity = 260;

template <size_t N>
void CopyText(char (&dst)[N], const char* src) {
  static_assert(N > 0);
  if (!src) {
    dst[0] = '\0';
    return;
  }
  const size_t n = strnlen(src, N - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// Appends `src` if the whole of it fits; false (and `dst` unchanged) otherwise, because a cut
// path would name a different file.
template <size_t N>
bool AppendText(char (&dst)[N], const char* src) {
  const size_t have = strnlen(dst, N);
  const size_t add = std::strlen(src);
  if (have >= N || add >= N - have) return false;
  std::memcpy(dst + have, src, add + 1);
  return true;
}

// Cuts a path after its last backslash, keeping the backslash. False when there is none.
template <size_t N>
bool KeepDirectory(char (&path)[N]) {
  char* slash = std::strrchr(path, '\\');
  if (!slash) return false;
  slash[1] = '\0';
  return true;
}

}  // namespace brim
