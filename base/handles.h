#pragma once
// Move-only owners of Win32 handles. One template does the owning; a traits type per handle
// kind says what "no handle" is and how to let go of one.
#include <oleauto.h>
#include <windows.h>

#include <utility>

namespace brim {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Type get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  void reset(Type h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }
  Type release() { return std::exchange(h_, Traits::Invalid()); }
  // For functions that hand out a handle through a pointer: lets go of the old one first.
  Type* put() {
    reset();
    return &h_;
  }

 private:
  Type h_ = Traits::Invalid();
};

namespace traits {
template <typename T, T invalid, auto close>
struct Simple {
  using Type = T;
  static Type Invalid() { return invalid; }
  static void Close(Type h) { close(h); }
};
struct File {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
inline void DeleteGdiObject(HGDIOBJ h) { DeleteObject(h); }
inline void FreeBstr(BSTR s) { SysFreeString(s); }
}  // namespace traits

using UniqueFile = UniqueHandle<traits::File>;
using UniqueModule = UniqueHandle<traits::Simple<HMODULE, nullptr, FreeLibrary>>;
using UniqueBitmap = UniqueHandle<traits::Simple<HBITMAP, nullptr, traits::DeleteGdiObject>>;
using UniqueRegion = UniqueHandle<traits::Simple<HRGN, nullptr, traits::DeleteGdiObject>>;
using UniqueMenu = UniqueHandle<traits::Simple<HMENU, nullptr, DestroyMenu>>;
using UniqueIcon = UniqueHandle<traits::Simple<HICON, nullptr, DestroyIcon>>;
using UniqueMemoryDC = UniqueHandle<traits::Simple<HDC, nullptr, DeleteDC>>;
using UniqueGlobal = UniqueHandle<traits::Simple<HGLOBAL, nullptr, GlobalFree>>;
// Text for the player control's interfaces.
using UniqueBstr = UniqueHandle<traits::Simple<BSTR, nullptr, traits::FreeBstr>>;

// A window's device context, given back to the window it came from.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint/EndPaint as one scope.
class PaintDC {
 public:
  explicit PaintDC(HWND window) : window_(window) { dc_ = BeginPaint(window, &ps_); }
  ~PaintDC() { EndPaint(window_, &ps_); }
  PaintDC(const PaintDC&) = delete;
  PaintDC& operator=(const PaintDC&) = delete;
  HDC get() const { return dc_; }
  const PAINTSTRUCT& info() const { return ps_; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// Selects an object into a DC for one scope and puts the previous one back.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectGuard() {
    if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// COM for this thread; uninitialises only what it initialised.
class ComInit {
 public:
  ComInit() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComInit() { reset(); }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  void reset() {
    if (initialised_) CoUninitialize();
    initialised_ = false;
  }

 private:
  bool initialised_;
};

}  // namespace brim
