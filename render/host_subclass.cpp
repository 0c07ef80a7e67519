#include "render/host_subclass.h"

#include <ocidl.h>
#include <ole2.h>
#include <wrl/client.h>

#include "control/flash_interfaces.h"

using Microsoft::WRL::ComPtr;

namespace brim {

namespace {

constexpr const char* kSubclassProperty = "BrimloftHostSubclass";
// What the control's own context menu sends when its user picks the close item.
constexpr WORD kCloseCommand = 32773;

}  // namespace

HostSubclass::HostSubclass() {
  user32Module_.reset(LoadLibraryA("User32"));
  if (user32Module_) {
    updateLayeredWindow_ = reinterpret_cast<UpdateLayeredWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(user32Module_.get(), "UpdateLayeredWindow")));
  }
  const WindowDC screen(nullptr);
  bitsPerPixel_ = GetDeviceCaps(screen.get(), BITSPIXEL);
  layeredActive_ = IsLayeredCapable() ? 1 : 0;
}

HostSubclass::~HostSubclass() { Detach(); }

void HostSubclass::Attach(HWND host, HostOwner* owner) {
  if (!host || hwnd_) return;
  hwnd_ = host;
  owner_ = owner;
  SetPropA(host, kSubclassProperty, this);
  previous_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc)));
}

void HostSubclass::Detach() {
  if (!hwnd_) return;
  if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd_, GWLP_WNDPROC)) == &WindowProc) {
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  }
  RemovePropA(hwnd_, kSubclassProperty);
  hwnd_ = nullptr;
}

LRESULT CALLBACK HostSubclass::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<HostSubclass*>(GetPropA(window, kSubclassProperty));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  bool handled = false;
  const LRESULT result = self->HandleMessage(message, wParam, lParam, handled);
  if (handled) return result;
  WNDPROC next = self->previous_;
  if (message == WM_NCDESTROY) self->Detach();
  return next ? CallWindowProcA(next, window, message, wParam, lParam)
              : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT HostSubclass::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case WM_DISPLAYCHANGE:
      return OnDisplayChange(static_cast<int>(wParam));
    case WM_PAINT:
      return layeredActive_ ? PaintLayeredPath() : PaintRegionPath();
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
      OnLeftButtonDown(wParam, lParam);
      return 0;
    case WM_MOUSEMOVE:
      if (!dragging_) break;
      FollowDrag(lParam);
      return 0;
    case WM_LBUTTONUP:
      // The last stretch of a drag may come with the release alone, its moves folded into it.
      FollowDrag(lParam);
      // The control hears of the release while any capture it took still stands, so that it
      // can end its own press; only then is the capture let go.
      ForwardToControl(message, wParam, lParam);
      ReleaseCapture();
      return 0;
    case WM_RBUTTONDOWN:
      if (OpenContextMenu(lParam)) return 0;
      break;
    case WM_SETCURSOR:
      ForwardToControl(message, wParam, lParam);
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != hwnd_) dragging_ = 0;
      break;
    case WM_COMMAND:
      if (LOWORD(wParam) == kCloseCommand && owner_) {
        PostMessageA(owner_->MainHandle(), WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    default:
      break;
  }
  handled = false;
  return 0;
}

// Where the message puts the cursor, on the screen: a busy machine reads the present
// position late, and the window must travel exactly as far as the cursor did.
POINT HostSubclass::MessageCursor(LPARAM lParam) const {
  POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  ClientToScreen(hwnd_, &at);
  return at;
}

void HostSubclass::FollowDrag(LPARAM lParam) {
  if (!dragging_ || !owner_) return;
  const POINT cursor = MessageCursor(lParam);
  SetWindowPos(owner_->MainHandle(), nullptr, dragWindowOrigin_.x + cursor.x - dragCursorOrigin_.x,
               dragWindowOrigin_.y + cursor.y - dragCursorOrigin_.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
}

void HostSubclass::ForwardToControl(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!owner_ || !owner_->Control()) return;
  ComPtr<IOleInPlaceObjectWindowless> windowless;
  if (FAILED(owner_->Control()->QueryInterface(
          IID_IOleInPlaceObjectWindowless, reinterpret_cast<void**>(windowless.GetAddressOf())))) {
    return;
  }
  LRESULT ignored = 0;
  windowless->OnWindowMessage(message, wParam, lParam, &ignored);
}

void HostSubclass::OnLeftButtonDown(WPARAM wParam, LPARAM lParam) {
  // The control reacts first: a press it takes for itself, it takes with the capture.
  ForwardToControl(WM_LBUTTONDOWN, wParam, lParam);
  if (!owner_ || ControlHasCapture() || !owner_->ClickToMove()) return;
  SetCapture(hwnd_);
  dragging_ = 1;
  dragCursorOrigin_ = MessageCursor(lParam);
  RECT window{};
  GetWindowRect(owner_->MainHandle(), &window);
  dragWindowOrigin_ = {window.left, window.top};
}

bool HostSubclass::ControlHasCapture() const {
  ComPtr<IOleInPlaceSiteWindowless> site;
  return owner_ && owner_->ControlSite() &&
         SUCCEEDED(owner_->ControlSite()->QueryInterface(
             IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(site.GetAddressOf()))) &&
         site->GetCapture() == S_OK;
}

bool HostSubclass::OpenContextMenu(LPARAM lParam) {
  // Over a text field the control shows the I-beam and handles the right button itself.
  if (GetCursor() == LoadCursorA(nullptr, MAKEINTRESOURCEA(32513))) return false;  // IDC_IBEAM
  HMENU menu = owner_ ? owner_->ContextMenu() : nullptr;
  if (!menu) return false;
  POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  ClientToScreen(hwnd_, &at);
  TrackPopupMenu(menu, 0, at.x, at.y, 0, owner_->MainHandle(), nullptr);
  return true;
}

void HostSubclass::ReportPointerOutside() {
  if (!owner_ || !owner_->Control() || !hwnd_) return;
  ComPtr<IViewObjectEx> view;
  if (FAILED(owner_->Control()->QueryInterface(IID_IViewObjectEx,
                                               reinterpret_cast<void**>(view.GetAddressOf())))) {
    return;
  }
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(hwnd_, &cursor);
  RECT client{};
  GetClientRect(owner_->MainHandle(), &client);
  DWORD hit = HITRESULT_HIT;
  if (FAILED(view->QueryHitPoint(DVASPECT_CONTENT, &client, cursor, 0, &hit)) ||
      hit != HITRESULT_OUTSIDE) {
    return;
  }
  ForwardToControl(WM_MOUSEMOVE, GetCapture() == hwnd_ ? MK_LBUTTON : 0,
                   MAKELPARAM(static_cast<WORD>(cursor.x), static_cast<WORD>(cursor.y)));
}

void HostSubclass::RedrawMain() {
  if (owner_) {
    RedrawWindow(owner_->MainHandle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  }
}

bool HostSubclass::SetLayeredMode(bool on) {
  if (!IsLayeredCapable()) return false;
  if ((on ? 1 : 0) == layeredActive_) return true;
  if (!owner_) return false;
  HWND main = owner_->MainHandle();
  const LONG exStyle = GetWindowLongA(main, GWL_EXSTYLE);
  layeredActive_ = on ? 1 : 0;
  if (on) {
    SetWindowRgn(main, nullptr, FALSE);
    SetWindowLongA(main, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
  } else {
    SetWindowLongA(main, GWL_EXSTYLE, exStyle & ~WS_EX_LAYERED);
    RECT client{};
    GetClientRect(hwnd_, &client);
    POINT topLeft{client.left, client.top}, bottomRight{client.right, client.bottom};
    ClientToScreen(hwnd_, &topLeft);
    ClientToScreen(hwnd_, &bottomRight);
    PlaceHostAt(0, 0);
    MoveWindow(main, topLeft.x, topLeft.y, bottomRight.x - topLeft.x, bottomRight.y - topLeft.y,
               TRUE);
  }
  RedrawMain();
  return true;
}

LRESULT HostSubclass::OnDisplayChange(int bits) {
  if (updateLayeredWindow_ && owner_) {
    HWND main = owner_->MainHandle();
    const LONG exStyle = GetWindowLongA(main, GWL_EXSTYLE);
    if (bitsPerPixel_ == 8 && bits > 8) {
      layeredActive_ = 1;
      SetWindowRgn(main, nullptr, FALSE);
      SetWindowLongA(main, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
      RedrawMain();
    } else if (bitsPerPixel_ > 8 && bits == 8) {
      layeredActive_ = 0;
      SetWindowLongA(main, GWL_EXSTYLE, exStyle & ~WS_EX_LAYERED);
      RedrawMain();
    }
  }
  bitsPerPixel_ = bits;
  return 0;
}

RECT HostSubclass::ComputeSpriteBound() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  SpriteBoundValues values;
  if (!owner_ || !owner_->QuerySpriteBound(values) || values.AllZero()) return client;
  int scaleMode = 0;
  ComPtr<IShockwaveFlash> flash;
  if (owner_->Control() &&
      SUCCEEDED(owner_->Control()->QueryInterface(
          IID_IShockwaveFlash, reinterpret_cast<void**>(flash.GetAddressOf())))) {
    flash->get_ScaleMode(&scaleMode);
  }
  const PixelRect r = MapSpriteBound(values, client.right, client.bottom, owner_->MovieWidth(),
                                     owner_->MovieHeight(), scaleMode);
  return {r.left, r.top, r.right, r.bottom};
}

RECT HostSubclass::ChoosePaintRect() {
  const RECT bound = ComputeSpriteBound();
  if (EqualRect(&bound, &spriteRect_)) {
    RECT update{};
    GetUpdateRect(hwnd_, &update, FALSE);
    return update;
  }
  RECT client{};
  GetClientRect(hwnd_, &client);
  RECT clipped{};
  IntersectRect(&clipped, &bound, &client);
  spriteRect_ = clipped;
  return clipped;
}

bool HostSubclass::RenderControl(const RECT& rect) {
  if (!owner_ || !owner_->Control()) return false;
  ComPtr<IViewObjectEx> view;
  ComPtr<IShockwaveFlash> flash;
  IUnknown* control = owner_->Control();
  if (FAILED(control->QueryInterface(IID_IViewObjectEx,
                                     reinterpret_cast<void**>(view.GetAddressOf()))) ||
      FAILED(control->QueryInterface(IID_IShockwaveFlash,
                                     reinterpret_cast<void**>(flash.GetAddressOf())))) {
    return false;
  }
  if (!memoryDc_) {
    const WindowDC screen(nullptr);
    memoryDc_.reset(CreateCompatibleDC(screen.get()));
    if (!memoryDc_) return false;
  }
  RECT client{};
  GetClientRect(hwnd_, &client);
  flash->put_WMode(transparentMode_.get());
  if (!surface_.Ensure(client.right, client.bottom)) return false;

  HDC dc = memoryDc_.get();
  const SelectGuard selected(dc, surface_.Bitmap());
  FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
  const HRESULT drawn =
      view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0);
  SelectClipRgn(dc, nullptr);
  drawFailed_ = FAILED(drawn);
  // A control that could not draw leaves the surface black: nothing of it may reach the screen
  // or the window's shape as if it were the movie.
  return SUCCEEDED(drawn);
}

bool HostSubclass::StartPaint(RECT& paint) {
  // A paint that arrives while one is under way (the window's region or style being changed)
  // is dropped; so is one where nothing could be drawn. Either is validated, or the window
  // would be asked to paint forever.
  if (!paintInProgress_) {
    paintInProgress_ = 1;
    paint = ChoosePaintRect();
    if (RenderControl(paint)) return true;
    paintInProgress_ = 0;
  }
  ValidateRect(hwnd_, nullptr);
  return false;
}

LRESULT HostSubclass::PaintRegionPath() {
  RECT paint;
  if (!StartPaint(paint)) return 0;
  HWND main = owner_->MainHandle();
  if (HRGN region = BuildShapeRegion(surface_, spriteRect_)) {
    POINT origin{0, 0};
    ClientToScreen(hwnd_, &origin);
    RECT window{};
    GetWindowRect(main, &window);
    OffsetRgn(region, origin.x - window.left, origin.y - window.top);
    SetWindowRgn(main, region, TRUE);  // the window owns the region from here on
  }
  {
    const SelectGuard selected(memoryDc_.get(), surface_.Bitmap());
    const PaintDC dc(hwnd_);
    BitBlt(dc.get(), paint.left, paint.top, paint.right - paint.left, paint.bottom - paint.top,
           memoryDc_.get(), paint.left, paint.top, SRCCOPY);
  }
  paintInProgress_ = 0;
  return 0;
}

LRESULT HostSubclass::PaintLayeredPath() {
  RECT paint;
  if (!StartPaint(paint)) return 0;
  PresentLayered();
  { const PaintDC validated(hwnd_); }
  paintInProgress_ = 0;
  return 0;
}

void HostSubclass::PlaceHostAt(int x, int y) {
  const HWND main = owner_->MainHandle();
  RECT host{};
  GetWindowRect(hwnd_, &host);
  POINT at{host.left, host.top};
  ScreenToClient(main, &at);
  if (at.x == x && at.y == y) return;
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void HostSubclass::PresentLayered() {
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const WindowDC screen(nullptr);
  UniqueMemoryDC source(CreateCompatibleDC(screen.get()));
  if (!source) return;
  const SelectGuard selected(source.get(), surface_.Bitmap());
  // The sprite's pixels appear where they lie in the host window now. The host window then
  // sits in the main window with the sprite's corner at the main window's, so that the next
  // presentation finds the same place (instead of moving the window on by the sprite's offset
  // every frame) and the pixel under the cursor is the one the control is told of.
  POINT destination{spriteRect_.left, spriteRect_.top};
  ClientToScreen(hwnd_, &destination);
  PlaceHostAt(-spriteRect_.left, -spriteRect_.top);
  SIZE size{spriteRect_.right - spriteRect_.left, spriteRect_.bottom - spriteRect_.top};
  POINT sourcePoint{spriteRect_.left, spriteRect_.top};
  updateLayeredWindow_(owner_->MainHandle(), screen.get(), &destination, &size, source.get(),
                       &sourcePoint, 0, &blend, ULW_ALPHA);
}

}  // namespace brim
