#pragma once
// Small helpers for the control's COM methods: texts in and out, and the barrier that keeps C++
// exceptions inside.
#include <windows.h>

#include <oleauto.h>

#include <cwchar>
#include <new>
#include <optional>
#include <string_view>

namespace brim {

// Runs `body` and turns any exception into an HRESULT: none may cross a COM method.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The text of a string argument, or nothing when it is longer than `limit` characters. A null
// BSTR is the empty text. Measured up to its terminator, so a caller's plain wide string works
// as well as a BSTR.
inline std::optional<std::wstring_view> InText(const wchar_t* s, size_t limit) {
  if (!s) return std::wstring_view();
  const size_t n = wcsnlen(s, limit + 1);
  if (n > limit) return std::nullopt;
  return std::wstring_view(s, n);
}

inline HRESULT OutText(std::wstring_view text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

template <typename T>
HRESULT OutValue(T value, T* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

inline VARIANT_BOOL ToVariantBool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace brim
