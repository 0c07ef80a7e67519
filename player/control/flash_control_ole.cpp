// The control as an embedded object: its site, windowless in-place activation, extents, view
// advise, persistence and the event connection point.
#include <olectl.h>
#include <windowsx.h>

#include <string>
#include <utility>

#include "player/control/com_util.h"
#include "player/control/fault_injection.h"
#include "player/control/flash_control.h"

namespace brim {
namespace {

using Microsoft::WRL::ComPtr;

template <typename T>
HRESULT NoObject(T** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

// Mouse messages whose position is in the container window's client coordinates.
bool IsClientMouseMessage(UINT message) {
  return (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK) ||
         (message >= WM_XBUTTONDOWN && message <= WM_XBUTTONDBLCLK);
}

bool IsButtonRelease(UINT message) {
  return message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_MBUTTONUP ||
         message == WM_XBUTTONUP;
}

}  // namespace

// ---- IOleObject

HRESULT FlashControl::SetClientSite(IOleClientSite* site) {
  if (site && FaultRequested("SetClientSite")) return E_FAIL;
  if (!site) InPlaceDeactivate();
  site_ = site;
  return S_OK;
}

HRESULT FlashControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_.Get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

HRESULT FlashControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT FlashControl::Close(DWORD) {
  InPlaceDeactivate();
  clock_.Stop();
  if (oleAdvise_) oleAdvise_->SendOnClose();
  // The container's sinks may hold it, and it holds us: let go so that both can go away.
  viewSink_.Reset();
  oleAdvise_.Reset();
  return S_OK;
}

HRESULT FlashControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
HRESULT FlashControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) { return NoObject(moniker); }
HRESULT FlashControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
HRESULT FlashControl::GetClipboardData(DWORD, IDataObject** data) { return NoObject(data); }

HRESULT FlashControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                             LPCRECT posRect) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      if (FaultRequested("InPlaceActivate")) return E_FAIL;
      // The movie has the keyboard while its host window has the focus, so UI activation is
      // in-place activation.
      return Guarded(
          [&] { return ActivateInPlace(activeSite ? activeSite : site_.Get(), posRect); });
    case OLEIVERB_HIDE:
      return InPlaceDeactivate();
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

HRESULT FlashControl::ActivateInPlace(IOleClientSite* site, LPCRECT posRect) {
  if (inPlaceSite_) {
    if (posRect) SetObjectRects(posRect, nullptr);
    return S_OK;
  }
  if (!site) return E_UNEXPECTED;
  ComPtr<IOleInPlaceSiteWindowless> windowless;
  if (FAILED(site->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                  reinterpret_cast<void**>(windowless.GetAddressOf()))) ||
      windowless->CanWindowlessActivate() != S_OK || windowless->CanInPlaceActivate() != S_OK) {
    return E_FAIL;  // the control has no window of its own to offer
  }
  BOOL noRedraw = FALSE;
  if (const HRESULT hr = windowless->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
      FAILED(hr)) {
    return hr;
  }
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT pos{}, clip{};
  OLEINPLACEFRAMEINFO frameInfo{};
  frameInfo.cb = sizeof frameInfo;
  if (SUCCEEDED(windowless->GetWindowContext(frame.GetAddressOf(), document.GetAddressOf(), &pos,
                                             &clip, &frameInfo))) {
    posRect_ = pos;
  } else if (posRect) {
    posRect_ = *posRect;
  }
  inPlaceSite_ = std::move(windowless);
  if (!site_) site_ = site;
  ArmClock();
  if (!noRedraw) Invalidate();
  return S_OK;
}

HRESULT FlashControl::EnumVerbs(IEnumOLEVERB** verbs) { return NoObject(verbs); }
HRESULT FlashControl::Update() { return S_OK; }
HRESULT FlashControl::IsUpToDate() { return S_OK; }
HRESULT FlashControl::GetUserClassID(CLSID* clsid) { return OutValue(CLSID_ShockwaveFlash, clsid); }

HRESULT FlashControl::GetUserType(DWORD, LPOLESTR* type) {
  if (type) *type = nullptr;
  return OLE_S_USEREG;
}

HRESULT FlashControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  extent_ = *size;
  return S_OK;
}

SIZEL FlashControl::Extent() const {
  if (extent_.cx > 0 || extent_.cy > 0 || !Loaded()) return extent_;
  // The stage at 96 pixels an inch, in 0.01 mm.
  return {MulDiv(player_->StageWidth(), 2540, 96), MulDiv(player_->StageHeight(), 2540, 96)};
}

HRESULT FlashControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  return OutValue(Extent(), size);
}

HRESULT FlashControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!oleAdvise_) {
    if (const HRESULT hr = CreateOleAdviseHolder(oleAdvise_.GetAddressOf()); FAILED(hr)) return hr;
  }
  return oleAdvise_->Advise(sink, connection);
}

HRESULT FlashControl::Unadvise(DWORD connection) {
  return oleAdvise_ ? oleAdvise_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT FlashControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (!oleAdvise_) return NoObject(advise);
  return oleAdvise_->EnumAdvise(advise);
}

HRESULT FlashControl::GetMiscStatus(DWORD, DWORD* status) { return OutValue(kMiscStatus, status); }
HRESULT FlashControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IOleWindow, IOleInPlaceObject, IOleInPlaceObjectWindowless

HRESULT FlashControl::GetWindow(HWND* window) {
  if (window) *window = nullptr;
  return E_FAIL;  // windowless: the container's window is the only one
}

HRESULT FlashControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT FlashControl::InPlaceDeactivate() {
  clock_.Stop();
  if (ComPtr<IOleInPlaceSiteWindowless> site = std::move(inPlaceSite_)) {
    site->OnInPlaceDeactivateEx(TRUE);
  }
  return S_OK;
}

HRESULT FlashControl::UIDeactivate() { return S_OK; }

HRESULT FlashControl::SetObjectRects(LPCRECT posRect, LPCRECT) {
  if (!posRect) return E_POINTER;
  posRect_ = *posRect;
  Invalidate();
  return S_OK;
}

HRESULT FlashControl::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT FlashControl::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT* result) {
  if (result) *result = 0;
  if (IsClientMouseMessage(message) || message == WM_MOUSEWHEEL) {
    return RoutePointer(message, wParam, lParam);
  }
  if (!Loaded()) return S_FALSE;
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      return RouteKey(message, wParam, lParam);
    case WM_SETCURSOR:
      if (LOWORD(lParam) != HTCLIENT) return S_FALSE;
      SetMovieCursor();
      if (result) *result = TRUE;
      return S_OK;
    default:
      return S_FALSE;
  }
}

HRESULT FlashControl::RoutePointer(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_MOUSEWHEEL) {
    pointer_ = {GET_X_LPARAM(lParam) - posRect_.left, GET_Y_LPARAM(lParam) - posRect_.top};
    if (message != WM_MOUSEMOVE) pointerDown_ = !IsButtonRelease(message);
  }
  if (!Loaded()) return S_OK;
  return Guarded([&]() -> HRESULT {
    player_->SetViewport(static_cast<swf::ScaleMode>(scaleMode_), posRect_.right - posRect_.left,
                         posRect_.bottom - posRect_.top);
    // Movies read the pointer in whole pixels (`_xmouse` is never a fraction), so it stands at
    // the pixel's corner; QueryHitPoint and the cursor use the same point.
    const swf::Point at{static_cast<double>(pointer_.x), static_cast<double>(pointer_.y)};
    switch (message) {
      case WM_MOUSEMOVE:
        player_->MouseMove(at);
        break;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        player_->MouseDown(at);
        // A press on something of the movie's is the movie's: taking the capture tells the
        // container not to treat it as a press on the background.
        if (inPlaceSite_ && player_->TakesPointer(at) &&
            SUCCEEDED(inPlaceSite_->SetCapture(TRUE))) {
          captured_ = true;
        }
        break;
      case WM_LBUTTONUP:
        player_->MouseUp(at);
        if (captured_ && inPlaceSite_) inPlaceSite_->SetCapture(FALSE);
        captured_ = false;
        break;
      case WM_RBUTTONDOWN:
      case WM_RBUTTONUP:
        player_->OtherButton(2, message == WM_RBUTTONDOWN);
        break;
      case WM_MBUTTONDOWN:
      case WM_MBUTTONUP:
        player_->OtherButton(4, message == WM_MBUTTONDOWN);
        break;
      case WM_MOUSEWHEEL:
        // A notch is three lines, as the system scrolls text by default.
        player_->MouseWheel(GET_WHEEL_DELTA_WPARAM(wParam) * 3 / WHEEL_DELTA);
        break;
      default:
        return S_OK;
    }
    Invalidate();
    return S_OK;
  });
}

HRESULT FlashControl::RouteKey(UINT message, WPARAM wParam, LPARAM lParam) {
  return Guarded([&]() -> HRESULT {
    const UINT code = static_cast<UINT>(wParam) & 0xFF;
    // The characters the key makes with the keyboard's state as it is now: none for a dead
    // key, two when the key after one does not take its accent.
    BYTE keys[256] = {};
    WORD typed[2] = {};
    int count = 0;
    if (GetKeyboardState(keys)) {
      count = ToAscii(code, (static_cast<UINT>(lParam) >> 16) & 0xFF, keys, typed, 0);
    }
    const char bytes[2] = {static_cast<char>(typed[0] & 0xFF), static_cast<char>(typed[1] & 0xFF)};
    const int ascii = count >= 1 ? static_cast<unsigned char>(bytes[0]) : 0;
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
      // The bytes are in the ANSI code page; the movie takes them as Unicode.
      wchar_t wide[2] = {};
      const int n =
          count >= 1 ? MultiByteToWideChar(CP_ACP, 0, bytes, count > 1 ? 2 : 1, wide, 2) : 0;
      std::u32string text;
      for (int i = 0; i < n; ++i) text += static_cast<char32_t>(wide[i]);
      player_->KeyDown(static_cast<int>(code), text);
    } else {
      player_->KeyUp(static_cast<int>(code), ascii);
    }
    Invalidate();
    return S_OK;
  });
}

void FlashControl::SetMovieCursor() {
  if (player_->MouseHidden()) {
    SetCursor(nullptr);
    return;
  }
  const swf::Point at{static_cast<double>(pointer_.x), static_cast<double>(pointer_.y)};
  LPCSTR shape = IDC_ARROW;
  switch (player_->CursorAt(at)) {
    case swf::Cursor::Hand:
      shape = IDC_HAND;
      break;
    case swf::Cursor::IBeam:
      shape = IDC_IBEAM;
      break;
    case swf::Cursor::Arrow:
      break;
  }
  SetCursor(LoadCursorA(nullptr, shape));
}

HRESULT FlashControl::GetDropTarget(IDropTarget** target) { return NoObject(target); }

// ---- IOleControl

HRESULT FlashControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT FlashControl::OnMnemonic(MSG*) { return E_NOTIMPL; }
HRESULT FlashControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
HRESULT FlashControl::FreezeEvents(BOOL) { return S_OK; }

// ---- IViewObject, IViewObject2, IViewObjectEx (drawing and hit testing are in
// flash_control_view.cpp)

HRESULT FlashControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;  // no palette: 32-bit colour throughout
}

HRESULT FlashControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT FlashControl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT FlashControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  viewSink_ = sink;
  viewAspects_ = aspects;
  viewAdviseFlags_ = flags;
  return S_OK;
}

HRESULT FlashControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewAdviseFlags_;
  if (sink) {
    *sink = viewSink_.Get();
    if (*sink) (*sink)->AddRef();
  }
  return S_OK;
}

HRESULT FlashControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

HRESULT FlashControl::GetRect(DWORD aspect, LPRECTL rect) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!rect) return E_POINTER;
  const SIZEL extent = Extent();
  *rect = {0, 0, extent.cx, extent.cy};
  return S_OK;
}

HRESULT FlashControl::GetViewStatus(DWORD* status) {
  // An opaque movie paints every pixel of its rectangle, background first.
  const DWORD opaque = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND | VIEWSTATUS_DVASPECTOPAQUE;
  return OutValue(windowMode_ == control::WindowMode::Transparent ? 0ul : opaque, status);
}

HRESULT FlashControl::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) {
  return E_NOTIMPL;
}

// ---- IPersist, IPersistStreamInit, IPersistPropertyBag: a movie is set through its
// properties; nothing is kept in the container's storage.

HRESULT FlashControl::GetClassID(CLSID* clsid) { return OutValue(CLSID_ShockwaveFlash, clsid); }
HRESULT FlashControl::IsDirty() { return S_FALSE; }
HRESULT FlashControl::Load(LPSTREAM) { return E_NOTIMPL; }
HRESULT FlashControl::Save(LPSTREAM, BOOL) { return E_NOTIMPL; }
HRESULT FlashControl::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT FlashControl::InitNew() { return S_OK; }
HRESULT FlashControl::Load(IPropertyBag*, IErrorLog*) { return E_NOTIMPL; }
HRESULT FlashControl::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

// ---- IProvideClassInfo: there is no type library.

HRESULT FlashControl::GetClassInfo(ITypeInfo** info) { return NoObject(info); }

// ---- IConnectionPointContainer

HRESULT FlashControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return NoObject(points);
}

HRESULT FlashControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(iid, DIID_IShockwaveFlashEvents)) return CONNECT_E_NOCONNECTION;
  *point = &events_;
  events_.AddRef();
  return S_OK;
}

}  // namespace brim
