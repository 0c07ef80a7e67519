#pragma once
// Text between wide strings and the system's ANSI code page, as the narrow system calls take
// it. Whole strings are converted, embedded zeros included; a text the code page cannot take
// comes back empty.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace brim {

inline std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(std::min<size_t>(text.size(), 0x7FFFFFFF / 4));
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), n, nullptr, nullptr);
  return out;
}

inline std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(std::min<size_t>(text.size(), 0x7FFFFFFF / 4));
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), n);
  return out;
}

}  // namespace brim
