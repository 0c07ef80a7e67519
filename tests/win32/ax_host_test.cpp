// Our control-hosting container with a stand-in control that records what its site does.
#include "host/ax_host.h"

#include <gtest/gtest.h>
#include <ocidl.h>

#include "control/flash_interfaces.h"
#include "control/service_ids.h"
#include "render/surface_emulator.h"
#include "scripting/host_services.h"

namespace brim {
namespace {

// Just enough of a windowless control to be attached and to talk to its site.
class FakeControl : public IOleObject, public IOleInPlaceObjectWindowless {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleObject) {
      *out = static_cast<IOleObject*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject ||
               iid == IID_IOleInPlaceObjectWindowless) {
      *out = static_cast<IOleInPlaceObjectWindowless*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* s) override {
    if (site) site->Release();
    site = s;
    if (site) site->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override {
    closed = true;
    return S_OK;
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* s, LONG, HWND, LPCRECT rect) override {
    verbDone = verb;
    if (rect) verbRect = *rect;
    IOleInPlaceSiteWindowless* windowless = nullptr;
    if (s && SUCCEEDED(s->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                         reinterpret_cast<void**>(&windowless)))) {
      canWindowless = windowless->CanWindowlessActivate() == S_OK;
      BOOL noRedraw = TRUE;
      windowless->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
      windowless->Release();
    }
    return S_OK;
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return S_OK; }
  STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* s) override {
    *s = 0;
    return S_OK;
  }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleInPlaceObjectWindowless
  STDMETHODIMP GetWindow(HWND*) override { return E_FAIL; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override {
    deactivated = true;
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override {
    if (position) lastRect = *position;
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnWindowMessage(UINT message, WPARAM, LPARAM, LRESULT*) override {
    lastMessage = message;
    return S_OK;
  }
  STDMETHODIMP GetDropTarget(IDropTarget**) override { return E_NOTIMPL; }

  ULONG refs = 1;
  IOleClientSite* site = nullptr;
  LONG verbDone = 0;
  RECT verbRect{};
  RECT lastRect{};
  bool canWindowless = false;
  bool closed = false;
  bool deactivated = false;
  UINT lastMessage = 0;
};

TEST(AxHost, AttachesWindowlessAndRoutesTheSiteToTheWindow) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ASSERT_TRUE(RegisterAxHostClasses(instance));
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                nullptr, instance, nullptr);
  HWND host = CreateWindowExA(0, kAxHostClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 160, 90,
                              parent, reinterpret_cast<HMENU>(100), instance, nullptr);
  ASSERT_NE(host, nullptr);
  auto* unknown = reinterpret_cast<IUnknown*>(SendMessageA(host, AxGetHostMessage(), 0, 0));
  ASSERT_NE(unknown, nullptr);
  IAxWinHostWindow* hostWindow = nullptr;
  IObjectWithSite* withSite = nullptr;
  ASSERT_EQ(unknown->QueryInterface(IID_IAxWinHostWindow, reinterpret_cast<void**>(&hostWindow)),
            S_OK);
  ASSERT_EQ(unknown->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite)),
            S_OK);
  auto services = HostServices::Create(&CreateSurfaceEmulator);
  withSite->SetSite(services.Get());

  FakeControl control;
  ASSERT_EQ(hostWindow->AttachControl(static_cast<IOleObject*>(&control), host), S_OK);
  EXPECT_EQ(control.verbDone, OLEIVERB_INPLACEACTIVATE);
  EXPECT_TRUE(control.canWindowless);
  EXPECT_EQ(control.verbRect.right, 160);
  EXPECT_EQ(control.verbRect.bottom, 90);
  EXPECT_EQ(reinterpret_cast<IUnknown*>(SendMessageA(host, AxGetControlMessage(), 0, 0)),
            static_cast<IUnknown*>(static_cast<IOleObject*>(&control)));
  ASSERT_NE(control.site, nullptr);

  // Service requests reach the site given through IObjectWithSite.
  IServiceProvider* provider = nullptr;
  ASSERT_EQ(control.site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider)),
            S_OK);
  IUnknown* timerService = nullptr;
  EXPECT_EQ(provider->QueryService(GUID_NULL, kIID_ITimerService,
                                   reinterpret_cast<void**>(&timerService)),
            S_OK);
  provider->Release();

  // Invalidations, capture and resizing act on the host window.
  IOleInPlaceSiteWindowless* site = nullptr;
  ASSERT_EQ(
      control.site->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&site)),
      S_OK);
  ValidateRect(host, nullptr);
  RECT dirty{10, 10, 20, 20};
  site->InvalidateRect(&dirty, FALSE);
  RECT update{};
  EXPECT_TRUE(GetUpdateRect(host, &update, FALSE));
  EXPECT_EQ(update.left, 10);
  EXPECT_EQ(site->GetCapture(), S_FALSE);
  site->SetCapture(TRUE);
  EXPECT_EQ(site->GetCapture(), S_OK);
  SendMessageA(host, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(control.lastMessage, static_cast<UINT>(WM_LBUTTONDOWN)) << "captured: forwarded";
  site->SetCapture(FALSE);
  EXPECT_EQ(site->GetCapture(), S_FALSE);
  SetWindowPos(host, nullptr, 0, 0, 120, 70, SWP_NOZORDER);
  EXPECT_EQ(control.lastRect.right, 120);
  site->Release();

  withSite->Release();
  hostWindow->Release();
  DestroyWindow(parent);
  EXPECT_TRUE(control.deactivated);
  EXPECT_TRUE(control.closed);
  EXPECT_EQ(control.site, nullptr) << "the site is taken back when the host goes";
  EXPECT_EQ(control.refs, 1u) << "the host gave back every reference it took";
  UnregisterAxHostClasses(instance);
}

}  // namespace
}  // namespace brim
