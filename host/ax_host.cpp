#include "host/ax_host.h"

#include <ocidl.h>
#include <ole2.h>
#include <servprov.h>
#include <wrl/client.h>

#include <initializer_list>
#include <new>

#include "base/handles.h"
#include "control/flash_interfaces.h"

using Microsoft::WRL::ComPtr;

namespace brim {

namespace {

UINT g_getHostMessage = 0;
UINT g_getControlMessage = 0;

// The site object behind one host window. Its interfaces share one reference count; the window
// holds one reference from WM_CREATE to WM_NCDESTROY.
class AxHost final : public IAxWinHostWindow,
                     public IObjectWithSite,
                     public IOleClientSite,
                     public IOleInPlaceSiteWindowless,
                     public IOleInPlaceFrame,
                     public IServiceProvider {
 public:
  explicit AxHost(HWND window) : window_(window) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IAxWinHostWindow) {
      *out = static_cast<IAxWinHostWindow*>(this);
    } else if (iid == IID_IObjectWithSite) {
      *out = static_cast<IObjectWithSite*>(this);
    } else if (iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite ||
               iid == IID_IOleInPlaceSiteEx || iid == IID_IOleInPlaceSiteWindowless) {
      *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else if (iid == IID_IOleInPlaceFrame || iid == IID_IOleInPlaceUIWindow) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (iid == IID_IServiceProvider) {
      *out = static_cast<IServiceProvider*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  // IAxWinHostWindow
  STDMETHODIMP CreateControl(LPCOLESTR, HWND, IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP CreateControlEx(LPCOLESTR, HWND, IStream*, IUnknown**, REFIID, IUnknown*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AttachControl(IUnknown* control, HWND) override {
    if (!control) return E_POINTER;
    Detach();
    control_ = control;
    control_.As(&inPlace_);
    control_.As(&view_);
    ComPtr<IOleObject> object;
    HRESULT hr = control_.As(&object);
    if (SUCCEEDED(hr)) hr = object->SetClientSite(this);
    RECT rect = ClientRect();
    if (SUCCEEDED(hr))
      hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &rect);
    if (FAILED(hr)) {
      // A control we could not place stays out of this window altogether.
      Detach();
      return hr;
    }
    if (inPlace_) inPlace_->SetObjectRects(&rect, &rect);
    ::InvalidateRect(window_, nullptr, TRUE);
    return hr;
  }
  STDMETHODIMP QueryControl(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return control_ ? control_->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  STDMETHODIMP SetExternalDispatch(IDispatch*) override { return E_NOTIMPL; }
  STDMETHODIMP SetExternalUIHandler(IUnknown*) override { return E_NOTIMPL; }

  // IObjectWithSite
  STDMETHODIMP SetSite(IUnknown* site) override {
    site_ = site;
    return S_OK;
  }
  STDMETHODIMP GetSite(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return site_ ? site_->QueryInterface(iid, out) : E_FAIL;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the site and the frame: both answer with a window of ours)
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = window_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    active_ = true;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame) {
      *frame = this;
      AddRef();
    }
    if (document) *document = nullptr;
    const RECT rect = ClientRect();
    if (position) *position = rect;
    if (clip) *clip = rect;
    if (info) {
      info->fMDIApp = FALSE;
      info->hwndFrame = GetParent(window_) ? GetParent(window_) : window_;
      info->haccel = nullptr;
      info->cAccelEntries = 0;
    }
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    active_ = false;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT rect) override {
    if (inPlace_ && rect) inPlace_->SetObjectRects(rect, rect);
    return S_OK;
  }

  // IOleInPlaceSiteEx
  STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
    if (noRedraw) *noRedraw = FALSE;
    windowless_ = (flags & ACTIVATE_WINDOWLESS) != 0;
    active_ = true;
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override {
    active_ = false;
    return S_OK;
  }
  STDMETHODIMP RequestUIActivate() override { return S_OK; }

  // IOleInPlaceSiteWindowless
  STDMETHODIMP CanWindowlessActivate() override { return S_OK; }
  STDMETHODIMP GetCapture() override {
    return captured_ && ::GetCapture() == window_ ? S_OK : S_FALSE;
  }
  STDMETHODIMP SetCapture(BOOL capture) override {
    if (capture) {
      ::SetCapture(window_);
      captured_ = true;
    } else {
      captured_ = false;
      if (::GetCapture() == window_) ReleaseCapture();
    }
    return S_OK;
  }
  STDMETHODIMP GetFocus() override { return focused_ ? S_OK : S_FALSE; }
  STDMETHODIMP SetFocus(BOOL focus) override {
    focused_ = focus != FALSE;
    if (focused_) ::SetFocus(window_);
    return S_OK;
  }
  STDMETHODIMP GetDC(LPCRECT, DWORD, HDC* dc) override {
    if (!dc) return E_POINTER;
    *dc = ::GetDC(window_);
    return *dc ? S_OK : E_FAIL;
  }
  STDMETHODIMP ReleaseDC(HDC dc) override {
    ::ReleaseDC(window_, dc);
    return S_OK;
  }
  STDMETHODIMP InvalidateRect(LPCRECT rect, BOOL erase) override {
    ::InvalidateRect(window_, rect, erase);
    return S_OK;
  }
  STDMETHODIMP InvalidateRgn(HRGN region, BOOL erase) override {
    ::InvalidateRgn(window_, region, erase);
    return S_OK;
  }
  STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP AdjustRect(LPRECT) override { return S_OK; }
  STDMETHODIMP OnDefWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT* result) override {
    const LRESULT r = DefWindowProcA(window_, message, wParam, lParam);
    if (result) *result = r;
    return S_OK;
  }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: the control has no toolbars or menus to merge.
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IServiceProvider: everything the control asks of its container goes to our site.
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<IServiceProvider> provider;
    if (site_ && SUCCEEDED(site_.As(&provider))) return provider->QueryService(service, iid, out);
    return E_NOINTERFACE;
  }

  // Window side.
  IUnknown* Control() const { return control_.Get(); }
  void Resize() {
    if (inPlace_) {
      const RECT rect = ClientRect();
      inPlace_->SetObjectRects(&rect, &rect);
    }
  }
  void Paint() {
    const PaintDC dc(window_);
    if (view_ && dc.get()) {
      const RECT rect = ClientRect();
      const RECTL bounds{rect.left, rect.top, rect.right, rect.bottom};
      view_->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc.get(), &bounds, nullptr,
                  nullptr, 0);
    }
  }
  // Passes a message to the windowless control; false when the control did not take it.
  bool Forward(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (!inPlace_ || !windowless_) return false;
    LRESULT r = 0;
    const HRESULT hr = inPlace_->OnWindowMessage(message, wParam, lParam, &r);
    if (result) *result = r;
    return hr == S_OK;
  }
  bool PointerOverControl(LPARAM lParam) const {
    if (!view_) return false;
    const RECT rect = ClientRect();
    POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    DWORD hit = HITRESULT_OUTSIDE;
    return SUCCEEDED(view_->QueryHitPoint(DVASPECT_CONTENT, &rect, point, 0, &hit)) &&
           hit == HITRESULT_HIT;
  }
  bool Captured() const { return captured_ && ::GetCapture() == window_; }
  bool Focused() const { return focused_; }
  void SetFocused(bool focused) { focused_ = focused; }
  void Detach() {
    if (!control_) return;
    if (inPlace_) inPlace_->InPlaceDeactivate();
    ComPtr<IOleObject> object;
    if (SUCCEEDED(control_.As(&object))) {
      object->Close(OLECLOSE_NOSAVE);
      object->SetClientSite(nullptr);
    }
    inPlace_.Reset();
    view_.Reset();
    control_.Reset();
  }
  void DropSite() { site_.Reset(); }

 private:
  RECT ClientRect() const {
    RECT rect{};
    GetClientRect(window_, &rect);
    return rect;
  }

  LONG refs_ = 1;
  HWND window_;
  ComPtr<IUnknown> site_;
  ComPtr<IUnknown> control_;
  ComPtr<IOleInPlaceObjectWindowless> inPlace_;
  ComPtr<IViewObjectEx> view_;
  bool active_ = false;
  bool windowless_ = false;
  bool captured_ = false;
  bool focused_ = false;
};

AxHost* HostOf(HWND window) {
  return reinterpret_cast<AxHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

bool IsMouseMessage(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MOUSELAST; }
bool IsKeyMessage(UINT m) { return m >= WM_KEYFIRST && m <= WM_KEYLAST; }

LRESULT CALLBACK AxHostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  AxHost* host = HostOf(window);
  if (message == WM_CREATE) {
    auto* made = new (std::nothrow) AxHost(window);
    if (!made) return -1;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made));
    return 0;
  }
  if (!host) return DefWindowProcA(window, message, wParam, lParam);
  if (message == g_getHostMessage && g_getHostMessage) {
    return reinterpret_cast<LRESULT>(static_cast<IAxWinHostWindow*>(host));
  }
  if (message == g_getControlMessage && g_getControlMessage) {
    return reinterpret_cast<LRESULT>(host->Control());
  }
  LRESULT result = 0;
  switch (message) {
    case WM_PAINT:
      host->Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      host->Resize();
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      // The keyboard belongs to the control while its host window has the focus, however the
      // focus came (the projector gives it when a movie loads, a press on the movie asks for it).
      host->SetFocused(message == WM_SETFOCUS);
      host->Forward(message, wParam, lParam, &result);
      break;
    case WM_SETCURSOR:
      if (host->Forward(message, wParam, lParam, &result)) return result;
      break;
    case WM_DESTROY:
      host->Detach();
      host->DropSite();
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      host->Release();
      return DefWindowProcA(window, message, wParam, lParam);
    default:
      if (IsMouseMessage(message) && (host->Captured() || host->PointerOverControl(lParam))) {
        if (host->Forward(message, wParam, lParam, &result)) return result;
      } else if (IsKeyMessage(message) && host->Focused()) {
        if (host->Forward(message, wParam, lParam, &result)) return result;
      }
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

bool RegisterAxHostClasses(HINSTANCE instance) {
  g_getHostMessage = RegisterWindowMessageA("WM_ATLGETHOST");
  g_getControlMessage = RegisterWindowMessageA("WM_ATLGETCONTROL");
  bool ok = g_getHostMessage && g_getControlMessage;
  for (const char* name : {kAxHostClass, kAxHostLicClass}) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = AxHostWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.lpszClassName = name;
    ok = RegisterClassExA(&wc) != 0 && ok;
  }
  return ok;
}

void UnregisterAxHostClasses(HINSTANCE instance) {
  UnregisterClassA(kAxHostClass, instance);
  UnregisterClassA(kAxHostLicClass, instance);
}

UINT AxGetHostMessage() { return g_getHostMessage; }
UINT AxGetControlMessage() { return g_getControlMessage; }

}  // namespace brim
