// flash.ocx as a container meets it: loaded from its file without registration, created through
// its class factory and driven only through COM interfaces, with a small windowless site of
// our own (and the projector's drawing-surface emulation) around it.
#include <windows.h>

#include <ocidl.h>
#include <ocmm.h>
#include <olectl.h>
#include <servprov.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/handles.h"
#include "control/flash_interfaces.h"
#include "control/service_ids.h"
#include "player/control/control_core.h"
#include "player/control/player_event_source.h"
#include "render/import_table.h"
#include "render/surface_emulator.h"
#include "tools/swf_builder.h"

namespace brim {
namespace {

using Microsoft::WRL::ComPtr;
using NoArgumentFn = HRESULT(WINAPI*)();
using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using Flash = IShockwaveFlash*;

// The DLL, loaded once for the whole run, as a projector loads an unregistered control.
HMODULE Ocx() {
  static const HMODULE module = LoadLibraryA(BRIMLOFT_FLASH_OCX_PATH);
  return module;
}

template <typename F>
F Export(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Ocx(), name)));
}

ComPtr<IClassFactory> Factory() {
  ComPtr<IClassFactory> factory;
  if (auto get = Export<GetClassObjectFn>("DllGetClassObject")) {
    get(CLSID_ShockwaveFlash, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
  }
  return factory;
}

ComPtr<IShockwaveFlash> NewControl() {
  ComPtr<IShockwaveFlash> control;
  if (ComPtr<IClassFactory> factory = Factory()) {
    factory->CreateInstance(nullptr, IID_IShockwaveFlash,
                            reinterpret_cast<void**>(control.GetAddressOf()));
  }
  return control;
}

template <typename I>
ComPtr<I> Query(IUnknown* object, REFIID iid = __uuidof(I)) {
  ComPtr<I> out;
  if (object) object->QueryInterface(iid, reinterpret_cast<void**>(out.GetAddressOf()));
  return out;
}

struct Bstr {
  explicit Bstr(const std::wstring& text) : s(SysAllocStringLen(text.data(), text.size())) {}
  Bstr(const Bstr&) = delete;
  ~Bstr() { SysFreeString(s); }
  operator BSTR() const { return s; }
  BSTR s;
};

std::wstring Take(BSTR s) {
  std::wstring out = s ? std::wstring(s, SysStringLen(s)) : L"";
  SysFreeString(s);
  return out;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A new control and, on disk until the end of the test, the test movie: a 100 x 80 stage, a red
// rectangle from (20, 20) to (60, 50) on both frames, the second frame labelled "second".
constexpr uint32_t kRed = 0xFFFF0000, kBackgroundPixel = 0xFF204060;

struct LoadedControl {
  // With `button`, the rectangle is a button's (drawn and taking the pointer) instead.
  explicit LoadedControl(double frameRate = 24, bool button = false) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    path = std::string(dir) + "brim control test.swf";
    swfb::MovieHeader header;
    header.stage = {0, swfb::ToTwips(100), 0, swfb::ToTwips(80)};
    header.frameRate = frameRate;
    swfb::Movie movie(header);
    movie.SetBackgroundColor({0x20, 0x40, 0x60, 255});
    swfb::Shape shape;
    shape.SetFill1(shape.AddFill(swfb::Fill::Solid({255, 0, 0, 255})));
    shape.Rectangle({swfb::ToTwips(20), swfb::ToTwips(60), swfb::ToTwips(20), swfb::ToTwips(50)});
    const uint16_t shapeId = movie.DefineShape(shape);
    if (button) {
      const swfb::Movie::ButtonRecord record{1 | 2 | 4 | 8, shapeId, 1, {}, {}};
      movie.PlaceObject(movie.DefineButton2({&record, 1}, {}), 1, {});
    } else {
      movie.PlaceObject(shapeId, 1, {});
    }
    movie.ShowFrame();
    movie.FrameLabel("second");
    movie.ShowFrame();
    EXPECT_TRUE(movie.Save(path));
  }
  ~LoadedControl() { DeleteFileA(path.c_str()); }
  HRESULT Load() { return control->put_Movie(Bstr(Widen(path))); }
  long Frame() {
    long n = -1;
    control->CurrentFrame(&n);
    return n;
  }

  std::string path;
  ComPtr<IShockwaveFlash> control = NewControl();
};

// A windowless site offering what the projector's container offers (its timer ticked by hand),
// recording what it is told.
class TestSite final : public IOleClientSite,
                       public IOleInPlaceSiteWindowless,
                       public IServiceProvider,
                       public ITimerService,
                       public ITimer {
 public:
  bool offerTimer = false;  // without, the control keeps its own time
  bool offerSurface = false;
  RECT position{20, 10, 120, 90};
  int invalidations = 0;
  DWORD activatedWith = 0;
  bool deactivated = false;
  VARTYPE intervalType = VT_EMPTY;
  ULONG intervalMs = 0;
  ComPtr<ITimerSink> sink;
  DWORD lastCookie = 0;
  std::vector<DWORD> unadvised;
  BOOL captured = FALSE;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite ||
               iid == IID_IOleInPlaceSiteEx || iid == IID_IOleInPlaceSiteWindowless) {
      *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else {
      *out = iid == IID_IServiceProvider ? static_cast<IServiceProvider*>(this) : nullptr;
    }
    return *out ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP QueryService(REFGUID, REFIID iid, void** out) override {
    *out = iid == kIID_ITimerService && offerTimer ? static_cast<ITimerService*>(this) : nullptr;
    if (iid == kIID_IDirectDraw3 && offerSurface) {
      return ComPtr<IDirectDraw3>(new SurfaceEmulator())->QueryInterface(iid, out);
    }
    return *out ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP CreateTimer(ITimer*, ITimer** timer) override {
    *timer = this;
    return S_OK;
  }
  STDMETHODIMP Advise(VARIANT, VARIANT, VARIANT interval, DWORD, ITimerSink* s,
                      DWORD* cookie) override {
    intervalType = interval.vt;
    intervalMs = interval.ulVal;
    sink = s;
    *cookie = ++lastCookie;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    unadvised.push_back(cookie);
    sink.Reset();
    return S_OK;
  }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP CanWindowlessActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
    *noRedraw = FALSE;
    activatedWith = flags;
    return S_OK;
  }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    *pos = *clip = position;
    return S_OK;
  }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override {
    deactivated = true;
    return S_OK;
  }
  STDMETHODIMP InvalidateRect(LPCRECT, BOOL) override {
    ++invalidations;
    return S_OK;
  }
  // What the control does not call.
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer**) override { return E_NOTIMPL; }
  STDMETHODIMP ShowObject() override { return E_NOTIMPL; }
  STDMETHODIMP OnShowWindow(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnInPlaceActivate() override { return E_NOTIMPL; }
  STDMETHODIMP OnUIActivate() override { return E_NOTIMPL; }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnInPlaceDeactivate() override { return E_NOTIMPL; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP RequestUIActivate() override { return E_NOTIMPL; }
  STDMETHODIMP GetCapture() override { return E_NOTIMPL; }
  STDMETHODIMP SetCapture(BOOL capture) override {
    captured = capture;
    return S_OK;
  }
  STDMETHODIMP GetFocus() override { return E_NOTIMPL; }
  STDMETHODIMP SetFocus(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetDC(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
  STDMETHODIMP ReleaseDC(HDC) override { return E_NOTIMPL; }
  STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP AdjustRect(LPRECT) override { return E_NOTIMPL; }
  STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetNamedTimer(REFGUID, ITimer**) override { return E_NOTIMPL; }
  STDMETHODIMP SetNamedTimerReference(REFGUID, ITimer*) override { return E_NOTIMPL; }
  STDMETHODIMP Freeze(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetTime(VARIANT*) override { return E_NOTIMPL; }
};

// Puts `control` in place in `site` the way the projector's container does.
HRESULT Activate(Flash control, TestSite& site) {
  ComPtr<IOleObject> object = Query<IOleObject>(control);
  if (!object) return E_NOINTERFACE;
  object->SetClientSite(&site);
  return object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, nullptr, &site.position);
}

void Close(Flash control) { Query<IOleObject>(control)->Close(OLECLOSE_NOSAVE); }

// A press on a button is the movie's (the control takes the capture), one on the background
// is not; the hand shows over the button; the movie reads the pointer in whole pixels. Positions are the container's, the control at (20, 10).
TEST(FlashControl, TakesPressesOnButtonsAndShowsTheHandOverThem) {
  TestSite site;
  LoadedControl c(24, true);
  ASSERT_EQ(Activate(c.control.Get(), site), S_OK);
  ASSERT_EQ(c.Load(), S_OK);
  auto windowless = Query<IOleInPlaceObjectWindowless>(c.control.Get());
  const LPARAM onButton = MAKELPARAM(50, 40), background = MAKELPARAM(100, 80);
  const LPARAM client = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
  LRESULT result = 0;
  const struct {
    LPARAM at;
    LPCSTR cursor;
    BOOL captured;
    double xmouse;  // the movie reads the pointer in whole pixels
  } cases[] = {{onButton, IDC_HAND, TRUE, 30}, {background, IDC_ARROW, FALSE, 80}};
  for (const auto& k : cases) {
    windowless->OnWindowMessage(WM_MOUSEMOVE, 0, k.at, &result);
    double xmouse = -1;
    EXPECT_EQ(c.control->TGetPropertyAsNumber(Bstr(L"/"), 20, &xmouse), S_OK);
    EXPECT_EQ(xmouse, k.xmouse);
    EXPECT_EQ(windowless->OnWindowMessage(WM_SETCURSOR, 0, client, &result), S_OK);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, k.cursor));
    windowless->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, k.at, &result);
    EXPECT_EQ(site.captured, k.captured);
    windowless->OnWindowMessage(WM_LBUTTONUP, 0, k.at, &result);
    EXPECT_FALSE(site.captured);
  }
  Close(c.control.Get());
}

// ---- The server

TEST(FlashOcx, ServesThePlayerClassUnregisteredAndStaysLoadedWhileUsed) {
  ASSERT_NE(Ocx(), nullptr) << BRIMLOFT_FLASH_OCX_PATH;
  auto get = Export<GetClassObjectFn>("DllGetClassObject");
  auto canUnload = Export<NoArgumentFn>("DllCanUnloadNow");
  ASSERT_TRUE(get && canUnload);
  void* object = nullptr;
  EXPECT_EQ(get(IID_IShockwaveFlash, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(canUnload(), S_OK);
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  EXPECT_EQ(canUnload(), S_FALSE);
  control.Reset();
  factory->LockServer(TRUE);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(canUnload(), S_OK);
}

TEST(FlashOcx, AnswersTheInterfacesTheProjectorQueriesWithOneIdentity) {
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  const IID* interfaces[] = {&IID_IShockwaveFlash, &IID_IOleObject,
                             &IID_IOleInPlaceObjectWindowless, &IID_IViewObjectEx,
                             &IID_IConnectionPointContainer};
  for (size_t i = 0; i < std::size(interfaces); ++i) {
    ComPtr<IUnknown> part = Query<IUnknown>(control.Get(), *interfaces[i]);
    ASSERT_TRUE(part) << i;
    EXPECT_EQ(Query<IUnknown>(part.Get()), Query<IUnknown>(control.Get())) << i;
  }
}

// A value under HKEY_CLASSES_ROOT\`key`, the default one without `name`; empty when missing.
std::string RegistryText(const std::string& key, const char* name = nullptr) {
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle)) return "";
  RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(handle);
  return value;
}

TEST(FlashOcx, RegistersItselfAndRemovesWhatItWrote) {
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(Ocx(), path, MAX_PATH), 0u);
  const std::string clsid = std::string("CLSID\\") + kShockwaveFlashClassText;
  const std::string server = clsid + "\\InprocServer32", before = RegistryText(server);
  if (!before.empty() && lstrcmpiA(before.c_str(), path) != 0) {
    GTEST_SKIP() << "another player control is registered: " << before;
  }
  auto registerServer = Export<NoArgumentFn>("DllRegisterServer");
  auto unregisterServer = Export<NoArgumentFn>("DllUnregisterServer");
  ASSERT_TRUE(registerServer && unregisterServer);
  ASSERT_EQ(registerServer(), S_OK);
  EXPECT_EQ(RegistryText(server), path);
  EXPECT_EQ(RegistryText(server, "ThreadingModel"), "Apartment");
  EXPECT_EQ(RegistryText(clsid), "Brimloft player control");
  // Programmatic names are the vendor's; ours is created by class id only.
  EXPECT_EQ(RegistryText(clsid + "\\ProgID"), "");
  ASSERT_EQ(unregisterServer(), S_OK);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, clsid.c_str(), 0, KEY_READ, &gone),
            ERROR_FILE_NOT_FOUND);
  if (!before.empty()) registerServer();  // leave the prefix as we found it
}

// ---- The movie and its timeline

TEST(FlashControl, LoadsMoviesFromPathsAndFileUrlsAndUnloads) {
  LoadedControl c;
  ASSERT_TRUE(c.control);
  std::string url = "file:///";  // forward slashes, the space escaped
  for (char ch : c.path) url += ch == '\\' ? "/" : ch == ' ' ? "%20" : std::string(1, ch);
  const struct {
    std::string text;
    bool succeeds;
    long frames;  // 0: nothing loaded
  } cases[] = {
      {c.path, true, 2},
      {url, true, 2},
      {c.path + ".missing", false, 0},
      {BRIMLOFT_FLASH_OCX_PATH, false, 0},  // a file, but no movie
      {"http://example.com/movie.swf", false, 0},
      {".", true, 0},
  };
  for (const auto& k : cases) {
    // Each attempt starts from a loaded movie: a failed one must not leave the old one behind.
    ASSERT_EQ(c.Load(), S_OK);
    EXPECT_EQ(SUCCEEDED(c.control->put_Movie(Bstr(Widen(k.text)))), k.succeeds) << k.text;
    long state = -1, frames = -1;
    c.control->get_ReadyState(&state);
    c.control->get_TotalFrames(&frames);
    EXPECT_EQ(state, k.frames ? 4 : 0) << k.text;
    EXPECT_EQ(frames, k.frames) << k.text;
  }
}

TEST(FlashControl, NavigatesTheMainTimelineByFrameAndLabel) {
  LoadedControl c;
  ASSERT_EQ(c.Load(), S_OK);
  const Bstr root(L""), slash(L"/"), level0(L"_level0"), clip(L"/clip"), second(L"SECOND"),
      nowhere(L"nowhere");
  // In turn, from the first frame, playing; each step's result and where it leaves the movie.
  const struct {
    std::function<HRESULT(Flash)> step;
    HRESULT result;
    long frame;
    bool playing;
  } steps[] = {
      {[](Flash f) { return f->GotoFrame(1); }, S_OK, 1, true},
      {[](Flash f) { return f->GotoFrame(2); }, E_INVALIDARG, 1, true},
      {[](Flash f) { return f->Rewind(); }, S_OK, 0, false},
      {[&](Flash f) { return f->TPlay(slash); }, S_OK, 0, true},
      {[](Flash f) { return f->Forward(); }, S_OK, 1, false},
      {[](Flash f) { return f->Back(); }, S_OK, 0, false},
      {[&](Flash f) { return f->TGotoLabel(root, second); }, S_OK, 1, false},
      {[&](Flash f) { return f->TGotoFrame(level0, 0); }, S_OK, 0, false},
      {[&](Flash f) { return f->TGotoFrame(clip, 1); }, E_FAIL, 0, false},
      {[&](Flash f) { return f->TGotoLabel(slash, nowhere); }, E_FAIL, 0, false},
      {[&](Flash f) { return f->TCallLabel(slash, second); }, S_OK, 0, false},
      {[&](Flash f) { return f->TCallLabel(slash, nowhere); }, E_FAIL, 0, false},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(steps[i].step(c.control.Get()), steps[i].result) << "step " << i;
    long frame = -1;
    c.control->TCurrentFrame(level0, &frame);
    VARIANT_BOOL playing = VARIANT_FALSE;
    c.control->IsPlaying(&playing);
    BSTR label = nullptr;
    c.control->TCurrentLabel(slash, &label);
    EXPECT_EQ(frame, steps[i].frame) << "step " << i;
    EXPECT_EQ(playing != VARIANT_FALSE, steps[i].playing) << "step " << i;
    EXPECT_EQ(Take(label), frame == 1 ? L"second" : L"") << "step " << i;
  }
}

TEST(FlashControl, ReadsPropertyTextsAsContainersWriteThem) {
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  const struct {
    const wchar_t* text;
    HRESULT result;
    int mode;  // afterwards
    const wchar_t* reads;
  } scales[] = {{L"noborder", S_OK, 1, L"noborder"},
                {L"ExactFit", S_OK, 2, L"exactfit"},
                {L"bogus", E_INVALIDARG, 2, L"exactfit"},
                {L"NOSCALE", S_OK, 3, L"noscale"},
                {L"showall", S_OK, 0, L"showall"}};
  for (const auto& s : scales) {
    EXPECT_EQ(control->put_Scale(Bstr(s.text)), s.result) << s.text;
    int mode = -1;
    control->get_ScaleMode(&mode);
    BSTR text = nullptr;
    control->get_Scale(&text);
    EXPECT_EQ(mode, s.mode) << s.text;
    EXPECT_EQ(Take(text), s.reads) << s.text;
  }
  // The window mode reads back as written and decides whether the view is opaque.
  auto view = Query<IViewObjectEx>(control.Get());
  ASSERT_TRUE(view);
  for (const wchar_t* mode : {L"transparent", L"Opaque", L"TRANSPARENT", L"Window"}) {
    EXPECT_EQ(control->put_WMode(Bstr(mode)), S_OK);
    BSTR text = nullptr;
    control->get_WMode(&text);
    DWORD status = 0;
    view->GetViewStatus(&status);
    EXPECT_EQ(Take(text), mode);
    EXPECT_EQ((status & VIEWSTATUS_OPAQUE) == 0, _wcsicmp(mode, L"transparent") == 0) << mode;
  }
}

// ---- Events

// Records each call as "id: [argument]...", the arguments as they arrive: last parameter first.
class EventSink final : public IDispatch {
 public:
  std::vector<std::wstring> calls;
  // Called with each FSCommand's command, as a container answering it would be.
  std::function<void(const std::wstring&)> answer;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IDispatch ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    calls.push_back(std::to_wstring(id) + L":");
    for (const VARIANT& v : std::span(params->rgvarg, params->cArgs)) {
      calls.back() += L" [" + (v.vt == VT_BSTR ? std::wstring(v.bstrVal) : L"?") + L"]";
    }
    if (answer && id == 150 && params->cArgs == 2 && params->rgvarg[1].vt == VT_BSTR) {
      answer(params->rgvarg[1].bstrVal ? params->rgvarg[1].bstrVal : L"");
    }
    return S_OK;
  }
};

TEST(FlashControl, DeliversFSCommandToEveryConnectedSink) {
  EventSink first, second;
  ComPtr<IShockwaveFlash> control = NewControl();
  auto container = Query<IConnectionPointContainer>(control.Get());
  ASSERT_TRUE(container);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID_IShockwaveFlashEvents, point.GetAddressOf()), S_OK);
  DWORD firstCookie = 0, secondCookie = 0;
  ASSERT_EQ(point->Advise(&first, &firstCookie), S_OK);
  ASSERT_EQ(point->Advise(&second, &secondCookie), S_OK);
  auto events = Query<IPlayerEventSource>(control.Get(), IID_IPlayerEventSource);
  ASSERT_TRUE(events);
  EXPECT_EQ(events->FireFSCommand(L"fullscreen", L"true"), S_OK);
  EXPECT_EQ(point->Unadvise(firstCookie), S_OK);
  EXPECT_EQ(events->FireFSCommand(L"quit", L""), S_OK);
  EXPECT_EQ(first.calls, std::vector<std::wstring>{L"150: [true] [fullscreen]"});
  EXPECT_EQ(second.calls,
            (std::vector<std::wstring>{L"150: [true] [fullscreen]", L"150: [] [quit]"}));
  point->Unadvise(secondCookie);
}

// A named clip at depth 1.
swfb::Place Named(uint16_t id, const char* name) {
  swfb::Place p;
  p.characterId = id;
  p.name = name;
  return p;
}

// A movie that talks to its container, written to a file for the test's life. Frame 0 holds
// clip "clip" (which sets `w`), sets `a`, raises fscommand "ready" and copies the container's
// `reply` into `answer`. Frame 1 raises "seen" with `greeting` as its argument; frame 2
// ("extra") sets `called` and raises "called".
struct ScriptedMovie {
  ScriptedMovie() {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    path = std::string(dir) + "brim scripted test.swf";
    using swfb::Actions;
    swfb::Movie movie;
    swfb::Sprite clip;
    clip.DoAction(Actions().Set("w", "clip-own").Bytes()).ShowFrame().ShowFrame();
    movie.PlaceObject2(Named(movie.DefineSprite(clip), "clip"));
    Actions first;
    first.Set("a", "root-a").GetUrl("FSCommand:ready", "frame one");
    first.Push("answer").Push("reply").Do(Actions::kGetVariable).Do(Actions::kSetVariable);
    movie.DoAction(first.Bytes()).ShowFrame();
    movie.DoAction(Actions()
                       .Push("FSCommand:seen")
                       .Push("greeting")
                       .Do(Actions::kGetVariable)
                       .GetUrl2()
                       .Bytes());
    movie.ShowFrame();
    movie.FrameLabel("extra");
    movie.DoAction(Actions().Set("called", "yes").GetUrl("FSCommand:called", "").Bytes());
    movie.ShowFrame();
    EXPECT_TRUE(movie.Save(path));
  }
  ~ScriptedMovie() { DeleteFileA(path.c_str()); }
  std::string path;
};

// The FSCommand calls among what a sink recorded.
std::vector<std::wstring> FsCommands(const std::vector<std::wstring>& calls) {
  std::vector<std::wstring> out;
  for (const std::wstring& c : calls) {
    if (c.starts_with(L"150:")) out.push_back(c);
  }
  return out;
}

std::wstring Variable(Flash f, const wchar_t* name, HRESULT* result = nullptr) {
  BSTR value = nullptr;
  const HRESULT hr = f->GetVariable(Bstr(name), &value);
  if (result) *result = hr;
  return hr == S_OK && value ? Take(value) : (SysFreeString(value), L"<none>");
}

TEST(FlashControl, TalksWithTheMovieThroughVariablesFSCommandAndCalledFrames) {
  ScriptedMovie movie;
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  EXPECT_EQ(control->SetVariable(Bstr(L"greeting"), Bstr(L"early")), E_FAIL);  // no movie yet
  EventSink sink;
  // The container answers "ready" while the movie waits in its action.
  sink.answer = [&](const std::wstring& command) {
    if (command == L"ready") control->SetVariable(Bstr(L"reply"), Bstr(L"42"));
  };
  auto container = Query<IConnectionPointContainer>(control.Get());
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID_IShockwaveFlashEvents, point.GetAddressOf()), S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  ASSERT_EQ(control->put_Movie(Bstr(Widen(movie.path))), S_OK);
  EXPECT_EQ(FsCommands(sink.calls), std::vector<std::wstring>{L"150: [frame one] [ready]"});

  EXPECT_EQ(control->SetVariable(Bstr(L"_level0.greeting"), Bstr(L"hello")), S_OK);
  EXPECT_EQ(control->SetVariable(Bstr(L"/nowhere:x"), Bstr(L"5")), E_FAIL);
  const struct {
    const wchar_t* name;
    const wchar_t* value;
  } reads[] = {{L"answer", L"42"},
               {L"/:a", L"root-a"},
               {L"_level0.clip.w", L"clip-own"},
               {L"missing", L"<none>"}};
  for (const auto& r : reads) {
    HRESULT hr = E_UNEXPECTED;
    EXPECT_EQ(Variable(control.Get(), r.name, &hr), r.value) << r.name;
    EXPECT_EQ(hr, S_OK) << r.name;  // a missing variable is a null string, not a failure
  }

  const Bstr root(L"/"), clip(L"_level0.clip"), nowhere(L"/nowhere"), extra(L"extra"),
      none(L"none");
  // Each call, its result and the fscommands the movie raised because of it.
  const struct {
    std::function<HRESULT(Flash)> call;
    HRESULT result;
    std::vector<std::wstring> raised;
  } calls[] = {
      {[&](Flash f) { return f->TCallLabel(root, extra); }, S_OK, {L"150: [] [called]"}},
      {[&](Flash f) { return f->TCallFrame(root, 1); }, S_OK, {L"150: [hello] [seen]"}},
      {[&](Flash f) { return f->TCallLabel(root, none); }, E_FAIL, {}},
      {[&](Flash f) { return f->TCallLabel(nowhere, extra); }, E_FAIL, {}},
      {[&](Flash f) { return f->TCallFrame(clip, 1); }, S_OK, {}},
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    sink.calls.clear();
    EXPECT_EQ(calls[i].call(control.Get()), calls[i].result) << "call " << i;
    EXPECT_EQ(FsCommands(sink.calls), calls[i].raised) << "call " << i;
    long frame = -1;
    EXPECT_EQ(control->TCurrentFrame(root, &frame), S_OK);
    EXPECT_EQ(frame, 0) << "call " << i;  // the playhead stays
  }
  // Clips are addressed by the same paths.
  long frame = -1;
  EXPECT_EQ(control->TStopPlay(clip), S_OK);
  EXPECT_EQ(control->TGotoFrame(clip, 1), S_OK);
  EXPECT_EQ(control->TCurrentFrame(clip, &frame), S_OK);
  EXPECT_EQ(frame, 1);
  EXPECT_EQ(control->TCurrentFrame(nowhere, &frame), E_FAIL);
  EXPECT_EQ(control->TPlay(nowhere), E_FAIL);
  point->Unadvise(cookie);
}

// ---- In place: drawing, hit testing and the frame clock

TEST(FlashControl, DrawsTheMovieWhereItIsInPlaceWithinTheClip) {
  // The control sits at (20, 10)-(120, 90): the 100 x 80 stage at scale 1, so the red
  // rectangle lands on (40, 30)-(80, 60). The DC is clipped to (20, 40)-(70, 90), which cuts
  // through the rectangle. The projector's surface emulation pre-fills what it locks with an
  // "undrawn" marker and turns what stays undrawn transparent (0); our own bitmap path leaves
  // such pixels as the DC had them. A probe below the rectangle in its columns catches rows
  // written upside down.
  constexpr uint32_t kUntouched = 0x7F123456;
  constexpr POINT kInShape{50, 50}, kShapeRightOfClip{75, 50}, kShapeAboveClip{50, 35},
      kBelowShape{50, 75}, kLeftOfControl{10, 50};
  const struct {
    const char* name;
    const wchar_t* wmode;
    bool hostSurface;
    bool passBounds;
    uint32_t belowShape;
  } cases[] = {
      {"transparent, host surface", L"Transparent", true, false, 0},
      {"opaque, host surface", L"Opaque", true, false, kBackgroundPixel},
      {"transparent, host surface, bounds given", L"transparent", true, true, 0},
      {"transparent, own bitmap", L"Transparent", false, false, kUntouched},
      {"opaque, own bitmap, bounds given", L"Window", false, true, kBackgroundPixel},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    TestSite site;
    site.offerSurface = k.hostSurface;
    LoadedControl c;
    ASSERT_EQ(Activate(c.control.Get(), site), S_OK);
    ASSERT_EQ(c.Load(), S_OK);
    c.control->put_WMode(Bstr(k.wmode));
    // A 160 x 120 bottom-up 32-bit DIB section, as the projector draws into.
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 160, 120, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
    SelectGuard select(dc.get(), bitmap.get());
    std::fill_n(static_cast<uint32_t*>(bits), 160 * 120, kUntouched);
    auto at = [&](POINT p) { return static_cast<uint32_t*>(bits)[(119 - p.y) * 160 + p.x]; };
    IntersectClipRect(dc.get(), 20, 40, 70, 90);
    const RECTL bounds{site.position.left, site.position.top, site.position.right,
                       site.position.bottom};
    auto view = Query<IViewObjectEx>(c.control.Get());
    ASSERT_TRUE(view);
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc.get(),
                         k.passBounds ? &bounds : nullptr, nullptr, nullptr, 0),
              S_OK);
    EXPECT_EQ(at(kInShape), kRed);
    EXPECT_EQ(at(kShapeRightOfClip), kUntouched);
    EXPECT_EQ(at(kShapeAboveClip), kUntouched);
    EXPECT_EQ(at(kBelowShape), k.belowShape);
    EXPECT_EQ(at(kLeftOfControl), kUntouched);
    Close(c.control.Get());
  }
}

// What the control passes to gdi32's ExtTextOutW, seen through its own import slot: the same
// slot the projector patches to keep device text opaque.
using ExtTextOutWFn = BOOL(WINAPI*)(HDC, int, int, UINT, const RECT*, LPCWSTR, UINT, const INT*);
ExtTextOutWFn g_realExtTextOutW = nullptr;
std::vector<std::pair<HDC, std::wstring>> g_textCalls;

BOOL WINAPI CountingExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* box, LPCWSTR text,
                                UINT count, const INT* dx) {
  g_textCalls.emplace_back(dc, std::wstring(text, text ? count : 0));
  return g_realExtTextOutW(dc, x, y, options, box, text, count, dx);
}

void** ExtTextOutWSlot() {
  auto* base = reinterpret_cast<uint8_t*>(Ocx());
  const uint32_t size = MappedImageSize({base, 4096});
  for (const ImportedModule& m : ReadImportTable({base, size}, ImageLayout::kMapped).modules) {
    if (!SameName(m.name, "gdi32.dll")) continue;
    for (const ImportSlot& s : m.slots) {
      if (s.function == "ExtTextOutW") return reinterpret_cast<void**>(base + s.slotRva);
    }
  }
  return nullptr;
}

TEST(FlashControl, DrawsDeviceTextWithExtTextOutWOnTheContextItIsGiven) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  const std::string path = std::string(dir) + "brim device text.swf";
  swfb::MovieHeader header;
  header.stage = {0, swfb::ToTwips(200), 0, swfb::ToTwips(60)};
  swfb::Movie movie(header);
  swfb::EditText field;
  field.bounds = {0, swfb::ToTwips(180), 0, swfb::ToTwips(40)};
  field.text = "Device words";
  field.height = swfb::ToTwips(20);
  movie.PlaceObject(movie.DefineEditText(field), 1, swfb::Matrix::Translate(200, 200));
  movie.ShowFrame();
  ASSERT_TRUE(movie.Save(path));

  void** slot = ExtTextOutWSlot();
  ASSERT_NE(slot, nullptr) << "flash.ocx does not import ExtTextOutW by name";
  DWORD protect = 0;
  ASSERT_TRUE(VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protect));
  g_realExtTextOutW = reinterpret_cast<ExtTextOutWFn>(*slot);
  *slot = reinterpret_cast<void*>(&CountingExtTextOutW);
  g_textCalls.clear();

  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  ASSERT_EQ(control->put_Movie(Bstr(Widen(path))), S_OK);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 200, -60, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
  SelectGuard select(dc.get(), bitmap.get());
  std::fill_n(static_cast<uint32_t*>(bits), 200 * 60, 0xFFFFFFFFu);
  const RECTL bounds{0, 0, 200, 60};
  auto view = Query<IViewObjectEx>(control.Get());
  ASSERT_TRUE(view);
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc.get(), &bounds,
                       nullptr, nullptr, 0),
            S_OK);
  GdiFlush();
  *slot = reinterpret_cast<void*>(g_realExtTextOutW);
  VirtualProtect(slot, sizeof *slot, protect, &protect);

  std::wstring drawn;
  for (const auto& [target, text] : g_textCalls) {
    EXPECT_EQ(target, dc.get());
    drawn += text;
  }
  EXPECT_EQ(drawn, L"Device words");
  // The words are on the page: dark pixels inside the field, none far below it.
  const auto* pixels = static_cast<const uint32_t*>(bits);
  int dark = 0;
  for (int y = 10; y < 50; ++y) {
    for (int x = 10; x < 190; ++x) dark += (pixels[y * 200 + x] & 0xFF) < 0x80;
  }
  EXPECT_GT(dark, 40);
  control.Reset();
  DeleteFileA(path.c_str());
}

TEST(FlashControl, HitTestsTheMovieShapesOnly) {
  LoadedControl c;
  auto view = Query<IViewObjectEx>(c.control.Get());
  ASSERT_TRUE(view);
  // Bounds twice the stage: the rectangle (20, 20)-(60, 50) shows at (100, 50)-(180, 110).
  const RECT bounds{60, 10, 260, 170};
  DWORD hit = HITRESULT_HIT;
  EXPECT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &bounds, {120, 80}, 0, &hit), S_OK);
  EXPECT_EQ(hit, DWORD{HITRESULT_OUTSIDE}) << "no movie";
  ASSERT_EQ(c.Load(), S_OK);
  const struct {
    POINT at;
    DWORD result;
  } probes[] = {{{120, 80}, HITRESULT_HIT},      {{101, 51}, HITRESULT_HIT},
                {{178, 108}, HITRESULT_HIT},     {{98, 80}, HITRESULT_OUTSIDE},
                {{120, 112}, HITRESULT_OUTSIDE}, {{40, 80}, HITRESULT_OUTSIDE}};
  for (const auto& p : probes) {
    view->QueryHitPoint(DVASPECT_CONTENT, &bounds, p.at, 0, &hit);
    EXPECT_EQ(hit, p.result) << p.at.x << "," << p.at.y;
  }
  const RECT touching{170, 100, 200, 140}, beside{190, 20, 250, 160};
  view->QueryHitRect(DVASPECT_CONTENT, &bounds, &touching, 0, &hit);
  EXPECT_EQ(hit, DWORD{HITRESULT_HIT});
  view->QueryHitRect(DVASPECT_CONTENT, &bounds, &beside, 0, &hit);
  EXPECT_EQ(hit, DWORD{HITRESULT_OUTSIDE});
}

TEST(FlashControl, ActivatesWindowlessAndAdvancesFramesOnTheHostTimer) {
  TestSite site;
  site.offerTimer = true;
  LoadedControl c;
  ASSERT_EQ(Activate(c.control.Get(), site), S_OK);
  EXPECT_EQ(site.activatedWith, DWORD{ACTIVATE_WINDOWLESS});
  auto windowless = Query<IOleInPlaceObjectWindowless>(c.control.Get());
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(windowless->GetWindow(&window), E_FAIL);
  EXPECT_EQ(window, nullptr);
  // Mouse messages are the control's; the rest go back to the container.
  LRESULT result = 1;
  EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 30), &result),
            S_OK);
  EXPECT_EQ(windowless->OnWindowMessage(WM_KEYDOWN, 'A', 0, &result), S_FALSE);

  ASSERT_EQ(c.Load(), S_OK);
  EXPECT_EQ(site.intervalType, VT_UI4);
  EXPECT_EQ(site.intervalMs, 42u);  // 24 frames a second
  ASSERT_TRUE(site.sink);
  VARIANT now;
  VariantInit(&now);
  const int before = site.invalidations;
  site.sink->OnTimer(now);
  EXPECT_EQ(c.Frame(), 1);
  EXPECT_GT(site.invalidations, before);
  site.sink->OnTimer(now);
  EXPECT_EQ(c.Frame(), 0) << "loops";
  // Without looping it rests on the last frame.
  c.control->put_Loop(VARIANT_FALSE);
  site.sink->OnTimer(now);
  site.sink->OnTimer(now);
  VARIANT_BOOL playing = VARIANT_TRUE;
  c.control->IsPlaying(&playing);
  EXPECT_EQ(c.Frame(), 1);
  EXPECT_EQ(playing, VARIANT_FALSE);

  // Unloading, deactivating and closing stop the clock; reactivating restarts it.
  ASSERT_EQ(c.control->put_Movie(Bstr(L".")), S_OK);
  EXPECT_EQ(site.unadvised, std::vector<DWORD>{site.lastCookie});
  ASSERT_EQ(c.Load(), S_OK);
  EXPECT_EQ(windowless->InPlaceDeactivate(), S_OK);
  EXPECT_TRUE(site.deactivated);
  EXPECT_EQ(site.unadvised.size(), 2u);
  EXPECT_FALSE(site.sink);
  ASSERT_EQ(Activate(c.control.Get(), site), S_OK);
  EXPECT_TRUE(site.sink);
  Close(c.control.Get());
  EXPECT_EQ(site.unadvised.size(), 3u);
}

TEST(FlashControl, TicksOnItsOwnWhenTheSiteHasNoTimer) {
  TestSite site;
  LoadedControl c(100);
  ASSERT_EQ(Activate(c.control.Get(), site), S_OK);
  ASSERT_EQ(c.Load(), S_OK);
  const int before = site.invalidations;
  for (const DWORD start = GetTickCount();
       site.invalidations < before + 3 && GetTickCount() - start < 2000; Sleep(5)) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  EXPECT_GE(site.invalidations, before + 3);
  Close(c.control.Get());
}

// ---- Decisions made without COM

TEST(ControlCore, FrameIntervalFollowsTheMovieRateWithinLimits) {
  const struct {
    double rate;
    uint32_t ms;
  } cases[] = {{30, 33}, {0, 83}, {-5, 83}, {NAN, 83}, {0.5, 1000}, {5000, 1}};
  for (const auto& k : cases) EXPECT_EQ(control::FrameIntervalMs(k.rate), k.ms) << k.rate;
}

TEST(ControlCore, MovieTextsNameLocalFilesOnly) {
  const struct {
    const char* text;
    const char* path;
  } cases[] = {
      {"FILE:///c|/x.swf", "c:\\x.swf"},
      {"file://localhost/C:/x.swf", "C:\\x.swf"},
      {"file://server/share/x.swf", "\\\\server\\share\\x.swf"},
      {"file:///C:/bad%2", "refused"},
      {"file:///C:/bad%zz.swf", "refused"},
      {"file:///C:/nul%00.swf", "refused"},
      {"file:///", "refused"},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(control::MoviePathFromText(k.text).value_or("refused"), k.path) << k.text;
  }
}

}  // namespace
}  // namespace brim
