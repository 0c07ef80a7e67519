#pragma once
// Our own handling of the control's host window: every paint draws the control into the
// off-screen surface and presents it, either as the main window's region (region path) or as a
// per-pixel-alpha layered window (layered path). Messages it does not take go on to the host's
// own window procedure, which forwards input to the windowless control.
#include <windows.h>

#include "base/handles.h"
#include "render/offscreen_surface.h"
#include "render/sprite_bound.h"

namespace brim {

// What the host window's painting needs from the main window.
class HostOwner {
 public:
  virtual HWND MainHandle() const = 0;
  virtual IUnknown* Control() const = 0;
  virtual int MovieWidth() const = 0;
  virtual int MovieHeight() const = 0;
  // The movie's sprite bound, when it has set one: fills `values` (after running the movie's
  // label, if any) and returns true; false means the whole client area is the sprite.
  virtual bool QuerySpriteBound(SpriteBoundValues& values) = 0;
  // Whether a press on the movie's background may drag the window.
  virtual bool ClickToMove() const = 0;
  // The menu a right click opens; null for none.
  virtual HMENU ContextMenu() const = 0;
  // The control's site, which knows whether the control holds the mouse capture.
  virtual IUnknown* ControlSite() const = 0;

 protected:
  ~HostOwner() = default;
};

class HostSubclass {
 public:
  using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                              BLENDFUNCTION*, DWORD);

  HostSubclass();
  ~HostSubclass();
  HostSubclass(const HostSubclass&) = delete;
  HostSubclass& operator=(const HostSubclass&) = delete;

  bool IsLayeredCapable() const { return updateLayeredWindow_ && bitsPerPixel_ > 8; }
  bool LayeredActive() const { return layeredActive_ != 0; }
  // Switches the presentation path; false when layered windows are not available.
  bool SetLayeredMode(bool on);

  void Attach(HWND host, HostOwner* owner);
  // Puts the host's own window procedure back, unless someone subclassed it after us.
  void Detach();
  // Whether the control refused the last drawing we asked of it.
  bool DrawFailed() const { return drawFailed_; }
  // Tells the control where the pointer is when it has left the movie's shape, which the
  // host window no longer hears of by itself (the main window's hover timer calls this).
  void ReportPointerOutside();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

  LRESULT OnDisplayChange(int bits);
  RECT ComputeSpriteBound();
  RECT ChoosePaintRect();
  bool RenderControl(const RECT& rect);
  // Chooses the paint rectangle and draws the control into it; false (and the window
  // validated) when this paint ends here.
  bool StartPaint(RECT& paint);
  LRESULT PaintRegionPath();
  LRESULT PaintLayeredPath();
  // Moves the host window to (x, y) in the main window's client area, when it is not there.
  void PlaceHostAt(int x, int y);
  void PresentLayered();
  void ForwardToControl(UINT message, WPARAM wParam, LPARAM lParam);
  void OnLeftButtonDown(WPARAM wParam, LPARAM lParam);
  POINT MessageCursor(LPARAM lParam) const;
  // Moves the main window as far as the cursor has travelled since the press, while dragging.
  void FollowDrag(LPARAM lParam);
  bool ControlHasCapture() const;
  bool OpenContextMenu(LPARAM lParam);
  void RedrawMain();

  HWND hwnd_ = nullptr;
  HostOwner* owner_ = nullptr;
  WNDPROC previous_ = nullptr;
  UniqueMemoryDC memoryDc_;
  bool drawFailed_ = false;
  OffscreenSurface surface_;
  int paintInProgress_ = 0;
  int layeredActive_ = 0;
  RECT spriteRect_{};
  int bitsPerPixel_ = 0;
  int dragging_ = 0;
  POINT dragWindowOrigin_{};
  POINT dragCursorOrigin_{};
  UniqueModule user32Module_;
  // Every drawing asks for this mode; made once rather than on every paint.
  UniqueBstr transparentMode_{SysAllocString(L"Transparent")};
  UpdateLayeredWindowFn updateLayeredWindow_ = nullptr;
};

}  // namespace brim
