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

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "control/flash_interfaces.h"
#include "control/service_ids.h"
#include "player/control/control_core.h"
#include "player/control/player_event_source.h"
#include "render/surface_emulator.h"
#include "tests/support/swf_builder.h"

namespace brim {
namespace {

using Microsoft::WRL::ComPtr;

// ---- The DLL, loaded once for the whole run, as a projector loads an unregistered control.

struct OcxModule {
  HMODULE module = LoadLibraryA(BRIMLOFT_FLASH_OCX_PATH);
  template <typename F>
  F Export(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};

const OcxModule& Ocx() {
  static const OcxModule ocx;
  return ocx;
}

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using NoArgumentFn = HRESULT(WINAPI*)();

ComPtr<IClassFactory> Factory() {
  ComPtr<IClassFactory> factory;
  auto get = Ocx().Export<GetClassObjectFn>("DllGetClassObject");
  if (get) {
    get(CLSID_ShockwaveFlash, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
  }
  return factory;
}

template <typename I = IShockwaveFlash>
ComPtr<I> Query(IUnknown* object, REFIID iid) {
  ComPtr<I> out;
  if (object) object->QueryInterface(iid, reinterpret_cast<void**>(out.GetAddressOf()));
  return out;
}

ComPtr<IShockwaveFlash> NewControl() {
  ComPtr<IShockwaveFlash> control;
  if (ComPtr<IClassFactory> factory = Factory()) {
    factory->CreateInstance(nullptr, IID_IShockwaveFlash,
                            reinterpret_cast<void**>(control.GetAddressOf()));
  }
  return control;
}

// ---- Strings across the boundary.

class Bstr {
 public:
  explicit Bstr(const std::wstring& s) : s_(SysAllocStringLen(s.data(), s.size())) {}
  ~Bstr() { SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return s_; }

 private:
  BSTR s_;
};

std::wstring Take(BSTR s) {
  std::wstring out = s ? std::wstring(s, SysStringLen(s)) : L"";
  SysFreeString(s);
  return out;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// ---- Test movies: a 100 x 80 stage at 24 frames a second, a red rectangle from (20, 20) to
// (60, 50) on both frames, the second frame labelled "second".

constexpr swfb::Rgba kBackground{0x20, 0x40, 0x60, 255};
constexpr uint32_t kRed = 0xFFFF0000, kBackgroundPixel = 0xFF204060;

swfb::Movie TwoFrameMovie(double frameRate = 24) {
  swfb::MovieHeader header;
  header.stage = {0, swfb::ToTwips(100), 0, swfb::ToTwips(80)};
  header.frameRate = frameRate;
  swfb::Movie movie(header);
  movie.SetBackgroundColor(kBackground);
  swfb::Shape shape;
  shape.SetFill1(shape.AddFill(swfb::Fill::Solid({255, 0, 0, 255})));
  shape.Rectangle({swfb::ToTwips(20), swfb::ToTwips(60), swfb::ToTwips(20), swfb::ToTwips(50)});
  const uint16_t id = movie.DefineShape(shape);
  movie.PlaceObject(id, 1, {});
  movie.ShowFrame();
  movie.FrameLabel("second");
  movie.ShowFrame();
  return movie;
}

// A file in the temporary folder, removed again at the end of the test.
class TempFile {
 public:
  explicit TempFile(const char* name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    path_ = std::string(dir) + name;
  }
  ~TempFile() { DeleteFileA(path_.c_str()); }
  const std::string& path() const { return path_; }
  // The same file as a file URL: forward slashes, a space escaped.
  std::string Url() const {
    std::string url = "file:///";
    for (char c : path_) url += c == '\\' ? "/" : c == ' ' ? "%20" : std::string(1, c);
    return url;
  }

 private:
  std::string path_;
};

// A control with the test movie loaded.
struct LoadedControl {
  explicit LoadedControl(double frameRate = 24) : file("brim control test.swf") {
    EXPECT_TRUE(TwoFrameMovie(frameRate).Save(file.path()));
  }
  HRESULT Load() { return control->put_Movie(Bstr(Widen(file.path()))); }

  TempFile file;
  ComPtr<IShockwaveFlash> control = NewControl();
};

// ---- A windowless site: what the projector's container offers, recorded for the tests.

class FakeTimer final : public ITimer, public ITimerService {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == kIID_ITimer || iid == IID_IUnknown) {
      *out = static_cast<ITimer*>(this);
    } else if (iid == kIID_ITimerService) {
      *out = static_cast<ITimerService*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateTimer(ITimer*, ITimer** timer) override {
    *timer = this;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetNamedTimer(REFGUID, ITimer**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetNamedTimerReference(REFGUID, ITimer*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(VARIANT, VARIANT, VARIANT interval, DWORD, ITimerSink* s,
                                   DWORD* cookie) override {
    intervalType = interval.vt;
    intervalMs = interval.ulVal;
    sink = s;
    *cookie = ++lastCookie;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    unadvised.push_back(cookie);
    sink.Reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Freeze(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTime(VARIANT*) override { return E_NOTIMPL; }

  VARTYPE intervalType = VT_EMPTY;
  ULONG intervalMs = 0;
  ComPtr<ITimerSink> sink;
  DWORD lastCookie = 0;
  std::vector<DWORD> unadvised;
};

class TestSite final : public IOleClientSite,
                       public IOleInPlaceSiteWindowless,
                       public IServiceProvider {
 public:
  // What the site offers beyond activation; null for none.
  FakeTimer* timer = nullptr;
  bool offerSurface = false;
  RECT position{20, 10, 120, 90};

  int invalidations = 0;
  DWORD activatedWith = 0xFFFFFFFF;
  bool deactivated = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite ||
               iid == IID_IOleInPlaceSiteEx || iid == IID_IOleInPlaceSiteWindowless) {
      *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else if (iid == IID_IServiceProvider) {
      *out = static_cast<IServiceProvider*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE QueryService(REFGUID, REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == kIID_ITimerService && timer) return timer->QueryInterface(iid, out);
    if (iid == kIID_IDirectDraw3 && offerSurface) {
      ComPtr<IDirectDraw3> emulator = new SurfaceEmulator();
      return emulator->QueryInterface(iid, out);
    }
    return E_NOINTERFACE;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = GetDesktopWindow();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT pos, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    *pos = *clip = position;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return OnInPlaceDeactivateEx(TRUE); }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
  // IOleInPlaceSiteEx
  HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
    *noRedraw = FALSE;
    activatedWith = flags;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override {
    deactivated = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RequestUIActivate() override { return S_OK; }
  // IOleInPlaceSiteWindowless
  HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCapture() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetCapture(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetFocus() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE SetFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetDC(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT, BOOL) override {
    ++invalidations;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override {
    return S_FALSE;
  }
};

// Puts `control` in place in `site` the way the projector's container does.
HRESULT Activate(IShockwaveFlash* control, TestSite& site) {
  ComPtr<IOleObject> object = Query<IOleObject>(control, IID_IOleObject);
  if (!object) return E_NOINTERFACE;
  object->SetClientSite(&site);
  return object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, nullptr, &site.position);
}

// ---- The server

TEST(FlashOcx, ServesOnlyThePlayerClassAndStaysLoadedWhileUsed) {
  ASSERT_NE(Ocx().module, nullptr) << BRIMLOFT_FLASH_OCX_PATH;
  auto get = Ocx().Export<GetClassObjectFn>("DllGetClassObject");
  auto canUnload = Ocx().Export<NoArgumentFn>("DllCanUnloadNow");
  ASSERT_TRUE(get && canUnload);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(get(IID_IShockwaveFlash, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);

  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IUnknown,
                                    reinterpret_cast<void**>(aggregated.GetAddressOf())),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(canUnload(), S_OK);
  {
    ComPtr<IShockwaveFlash> control = NewControl();
    ASSERT_TRUE(control);
    EXPECT_EQ(canUnload(), S_FALSE);
  }
  EXPECT_EQ(canUnload(), S_OK);
  factory->LockServer(TRUE);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(canUnload(), S_OK);
}

TEST(FlashOcx, AnswersEveryInterfaceAContainerUsesWithOneIdentity) {
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  ComPtr<IUnknown> identity = Query<IUnknown>(control.Get(), IID_IUnknown);
  const struct {
    const IID& iid;
    const char* name;
  } interfaces[] = {
      {IID_IDispatch, "IDispatch"},
      {IID_IShockwaveFlash, "IShockwaveFlash"},
      {IID_IOleObject, "IOleObject"},
      {IID_IOleWindow, "IOleWindow"},
      {IID_IOleInPlaceObject, "IOleInPlaceObject"},
      {IID_IOleInPlaceObjectWindowless, "IOleInPlaceObjectWindowless"},
      {IID_IOleControl, "IOleControl"},
      {IID_IViewObject, "IViewObject"},
      {IID_IViewObject2, "IViewObject2"},
      {IID_IViewObjectEx, "IViewObjectEx"},
      {IID_IPersistStreamInit, "IPersistStreamInit"},
      {IID_IPersistPropertyBag, "IPersistPropertyBag"},
      {IID_IProvideClassInfo, "IProvideClassInfo"},
      {IID_IConnectionPointContainer, "IConnectionPointContainer"},
  };
  for (const auto& i : interfaces) {
    ComPtr<IUnknown> part = Query<IUnknown>(control.Get(), i.iid);
    ASSERT_TRUE(part) << i.name;
    EXPECT_EQ(Query<IUnknown>(part.Get(), IID_IUnknown), identity) << i.name;
  }
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(control->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  DWORD misc = 0;
  Query<IOleObject>(control.Get(), IID_IOleObject)->GetMiscStatus(DVASPECT_CONTENT, &misc);
  EXPECT_EQ(misc, DWORD{OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST |
                        OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE});
}

TEST(FlashOcx, CarriesTheFileVersionTheProjectorChecks) {
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(Ocx().module, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  std::vector<char> info(GetFileVersionInfoSizeA(path, &ignored));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, info.size(), info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  const struct {
    const char* key;
    const char* value;
  } strings[] = {{"FileDescription", "Brimloft player control"},
                 {"ProductName", "Brimloft player control"},
                 {"OriginalFilename", "flash.ocx"}};
  for (const auto& s : strings) {
    char* text = nullptr;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + s.key;
    ASSERT_TRUE(VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &size))
        << s.key;
    EXPECT_STREQ(text, s.value);
  }
}

std::string RegistryText(const std::string& key) {
  char value[MAX_PATH] = "";
  LONG size = sizeof value;
  if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS) return "";
  return value;
}

TEST(FlashOcx, RegistersItselfAndRemovesWhatItWrote) {
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(Ocx().module, path, MAX_PATH), 0u);
  const std::string clsid = std::string("CLSID\\") + kShockwaveFlashClassText;
  const std::string before = RegistryText(clsid + "\\InprocServer32");
  if (!before.empty() && lstrcmpiA(before.c_str(), path) != 0) {
    GTEST_SKIP() << "another player control is registered: " << before;
  }
  auto registerServer = Ocx().Export<NoArgumentFn>("DllRegisterServer");
  auto unregisterServer = Ocx().Export<NoArgumentFn>("DllUnregisterServer");
  ASSERT_TRUE(registerServer && unregisterServer);

  ASSERT_EQ(registerServer(), S_OK);
  EXPECT_EQ(RegistryText(clsid), "Shockwave Flash Object");
  EXPECT_EQ(RegistryText(clsid + "\\InprocServer32"), path);
  EXPECT_EQ(RegistryText(clsid + "\\ProgID"), "ShockwaveFlash.ShockwaveFlash.1");
  EXPECT_EQ(RegistryText("ShockwaveFlash.ShockwaveFlash\\CLSID"), kShockwaveFlashClassText);
  HKEY server = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, (clsid + "\\InprocServer32").c_str(), 0,
                          KEY_QUERY_VALUE, &server),
            ERROR_SUCCESS);
  char model[32] = "";
  DWORD size = sizeof model;
  RegQueryValueExA(server, "ThreadingModel", nullptr, nullptr, reinterpret_cast<BYTE*>(model),
                   &size);
  RegCloseKey(server);
  EXPECT_STREQ(model, "Apartment");

  ASSERT_EQ(unregisterServer(), S_OK);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, clsid.c_str(), 0, KEY_READ, &gone),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "ShockwaveFlash.ShockwaveFlash", 0, KEY_READ, &gone),
            ERROR_FILE_NOT_FOUND);
  if (!before.empty()) registerServer();  // leave the prefix as we found it
}

// ---- The movie and its timeline

TEST(FlashControl, LoadsMoviesFromPathsAndFileUrlsAndUnloads) {
  LoadedControl c;
  ASSERT_TRUE(c.control);
  TempFile notSwf("brim control test.txt");
  {
    FILE* f = std::fopen(notSwf.path().c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("not a movie", f);
    std::fclose(f);
  }
  const struct {
    std::string text;
    bool loads;
  } cases[] = {
      {c.file.path(), true},
      {c.file.Url(), true},
      {c.file.path() + ".missing", false},
      {notSwf.path(), false},
      {"http://example.com/movie.swf", false},
  };
  for (const auto& k : cases) {
    // Each attempt starts from a loaded movie: a failed one must not leave the old one behind.
    ASSERT_EQ(c.Load(), S_OK);
    const HRESULT hr = c.control->put_Movie(Bstr(Widen(k.text)));
    long state = -1, frames = -1, percent = -1;
    c.control->get_ReadyState(&state);
    c.control->get_TotalFrames(&frames);
    c.control->PercentLoaded(&percent);
    EXPECT_EQ(SUCCEEDED(hr), k.loads) << k.text;
    EXPECT_EQ(state, k.loads ? 4 : 0) << k.text;
    EXPECT_EQ(frames, k.loads ? 2 : 0) << k.text;
    EXPECT_EQ(percent, k.loads ? 100 : 0) << k.text;
    BSTR movie = nullptr;
    c.control->get_Movie(&movie);
    EXPECT_EQ(Take(movie), Widen(k.text));
  }
  ASSERT_EQ(c.Load(), S_OK);
  VARIANT_BOOL playing = VARIANT_FALSE;
  c.control->IsPlaying(&playing);
  EXPECT_EQ(playing, VARIANT_TRUE);
  long version = 0;
  c.control->FlashVersion(&version);
  EXPECT_EQ(version, 0x00080000);
  EXPECT_EQ(c.control->put_Movie(Bstr(L".")), S_OK);
  long state = -1;
  c.control->get_ReadyState(&state);
  EXPECT_EQ(state, 0);
}

TEST(FlashControl, NavigatesTheMainTimelineByFrameAndLabel) {
  LoadedControl c;
  ASSERT_EQ(c.Load(), S_OK);
  IShockwaveFlash* f = c.control.Get();
  auto frame = [f] {
    long n = -1;
    f->CurrentFrame(&n);
    return n;
  };
  auto label = [f](const wchar_t* target) {
    BSTR text = nullptr;
    f->TCurrentLabel(Bstr(target), &text);
    return Take(text);
  };
  EXPECT_EQ(frame(), 0);
  EXPECT_EQ(f->GotoFrame(1), S_OK);
  EXPECT_EQ(frame(), 1);
  EXPECT_EQ(label(L"/"), L"second");
  EXPECT_EQ(f->GotoFrame(2), E_INVALIDARG);
  EXPECT_EQ(f->Rewind(), S_OK);
  EXPECT_EQ(frame(), 0);
  VARIANT_BOOL playing = VARIANT_TRUE;
  f->IsPlaying(&playing);
  EXPECT_EQ(playing, VARIANT_FALSE);
  EXPECT_EQ(label(L"_level0"), L"");
  EXPECT_EQ(f->Forward(), S_OK);
  EXPECT_EQ(frame(), 1);
  EXPECT_EQ(f->Back(), S_OK);
  EXPECT_EQ(frame(), 0);

  for (const wchar_t* root : {L"", L"/", L"_level0"}) {
    EXPECT_EQ(f->TGotoLabel(Bstr(root), Bstr(L"SECOND")), S_OK) << root;
    long n = -1;
    f->TCurrentFrame(Bstr(root), &n);
    EXPECT_EQ(n, 1) << root;
    EXPECT_EQ(f->TGotoFrame(Bstr(root), 0), S_OK) << root;
    EXPECT_EQ(frame(), 0) << root;
  }
  EXPECT_EQ(f->TGotoFrame(Bstr(L"/clip"), 1), E_FAIL);
  EXPECT_EQ(f->TGotoLabel(Bstr(L"/"), Bstr(L"nowhere")), E_FAIL);
  EXPECT_EQ(f->TCallLabel(Bstr(L"/"), Bstr(L"second")), S_OK);
  EXPECT_EQ(f->TCallLabel(Bstr(L"/"), Bstr(L"nowhere")), E_FAIL);
  EXPECT_EQ(f->TPlay(Bstr(L"/")), S_OK);
  f->IsPlaying(&playing);
  EXPECT_EQ(playing, VARIANT_TRUE);
}

TEST(FlashControl, ReadsPropertyTextsAsContainersWriteThem) {
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  const struct {
    const wchar_t* text;
    HRESULT result;
    int mode;  // afterwards
    const wchar_t* reads;
  } scales[] = {
      {L"noborder", S_OK, 1, L"noborder"},      {L"ExactFit", S_OK, 2, L"exactfit"},
      {L"bogus", E_INVALIDARG, 2, L"exactfit"}, {L"NOSCALE", S_OK, 3, L"noscale"},
      {L"showall", S_OK, 0, L"showall"},
  };
  for (const auto& s : scales) {
    EXPECT_EQ(control->put_Scale(Bstr(s.text)), s.result) << s.text;
    int mode = -1;
    control->get_ScaleMode(&mode);
    EXPECT_EQ(mode, s.mode) << s.text;
    BSTR text = nullptr;
    control->get_Scale(&text);
    EXPECT_EQ(Take(text), s.reads) << s.text;
  }

  ComPtr<IViewObjectEx> view = Query<IViewObjectEx>(control.Get(), IID_IViewObjectEx);
  const struct {
    const wchar_t* text;
    bool opaque;
  } modes[] = {
      {L"transparent", false}, {L"Opaque", true}, {L"TRANSPARENT", false}, {L"Window", true}};
  for (const auto& m : modes) {
    EXPECT_EQ(control->put_WMode(Bstr(m.text)), S_OK);
    BSTR text = nullptr;
    control->get_WMode(&text);
    EXPECT_EQ(Take(text), m.text);
    DWORD status = 0;
    view->GetViewStatus(&status);
    EXPECT_EQ((status & VIEWSTATUS_OPAQUE) != 0, m.opaque) << m.text;
  }

  EXPECT_EQ(control->put_BGColor(Bstr(L"#12AB3c")), S_OK);
  long color = 0;
  control->get_BackgroundColor(&color);
  EXPECT_EQ(color, 0x12AB3C);
  EXPECT_EQ(control->put_BackgroundColor(0x1000000), E_INVALIDARG);
}

TEST(FlashControl, KeepsRootVariablesForTheHost) {
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  EXPECT_EQ(control->SetVariable(Bstr(L"greeting"), Bstr(L"hello")), S_OK);
  EXPECT_EQ(control->SetVariable(Bstr(L"_level0.count"), Bstr(L"3")), S_OK);
  const struct {
    const wchar_t* name;
    HRESULT result;
    const wchar_t* value;
  } reads[] = {{L"greeting", S_OK, L"hello"},
               {L"/:greeting", S_OK, L"hello"},
               {L"count", S_OK, L"3"},
               {L"missing", E_FAIL, nullptr}};
  for (const auto& r : reads) {
    BSTR value = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(control->GetVariable(Bstr(r.name), &value), r.result) << r.name;
    if (r.value) {
      EXPECT_EQ(Take(value), r.value);
    } else {
      EXPECT_EQ(value, nullptr);
    }
  }
  EXPECT_EQ(control->SetVariable(Bstr(L"greeting"), Bstr(L"again")), S_OK);
  BSTR value = nullptr;
  control->GetVariable(Bstr(L"greeting"), &value);
  EXPECT_EQ(Take(value), L"again");
}

// ---- Events

class EventSink final : public IDispatch {
 public:
  struct Call {
    DISPID id;
    std::vector<std::wstring> args;  // as they arrive: last parameter first
  };
  std::vector<Call> calls;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_IShockwaveFlashEvents) {
      *out = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    Call call{id, {}};
    for (UINT i = 0; i < params->cArgs; ++i) {
      const VARIANT& v = params->rgvarg[i];
      call.args.push_back(v.vt == VT_BSTR ? std::wstring(v.bstrVal) : L"<not a string>");
    }
    calls.push_back(call);
    return S_OK;
  }
};

TEST(FlashControl, DeliversFSCommandToEveryConnectedSink) {
  EventSink first, second;
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  auto container = Query<IConnectionPointContainer>(control.Get(), IID_IConnectionPointContainer);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.GetAddressOf()),
            CONNECT_E_NOCONNECTION);
  ASSERT_EQ(container->FindConnectionPoint(DIID_IShockwaveFlashEvents, point.GetAddressOf()), S_OK);
  DWORD firstCookie = 0, secondCookie = 0;
  ASSERT_EQ(point->Advise(&first, &firstCookie), S_OK);
  ASSERT_EQ(point->Advise(&second, &secondCookie), S_OK);
  EXPECT_NE(firstCookie, secondCookie);

  auto events = Query<IPlayerEventSource>(control.Get(), IID_IPlayerEventSource);
  ASSERT_TRUE(events);
  EXPECT_EQ(events->FireFSCommand(L"fullscreen", L"true"), S_OK);
  EXPECT_EQ(point->Unadvise(firstCookie), S_OK);
  EXPECT_EQ(point->Unadvise(firstCookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(events->FireFSCommand(L"quit", L""), S_OK);

  ASSERT_EQ(first.calls.size(), 1u);
  EXPECT_EQ(first.calls[0].id, 150);
  EXPECT_EQ(first.calls[0].args, (std::vector<std::wstring>{L"true", L"fullscreen"}));
  ASSERT_EQ(second.calls.size(), 2u);
  EXPECT_EQ(second.calls[1].args, (std::vector<std::wstring>{L"", L"quit"}));
  point->Unadvise(secondCookie);
}

// ---- In place, drawing and hit testing

TEST(FlashControl, ActivatesWindowlessInPlace) {
  TestSite site;
  ComPtr<IShockwaveFlash> control = NewControl();
  ASSERT_TRUE(control);
  ASSERT_EQ(Activate(control.Get(), site), S_OK);
  EXPECT_EQ(site.activatedWith, DWORD{ACTIVATE_WINDOWLESS});
  auto windowless =
      Query<IOleInPlaceObjectWindowless>(control.Get(), IID_IOleInPlaceObjectWindowless);
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(windowless->GetWindow(&window), E_FAIL);
  EXPECT_EQ(window, nullptr);
  LRESULT result = 1;
  EXPECT_EQ(windowless->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(40, 30), &result),
            S_OK);
  EXPECT_EQ(windowless->OnWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(41, 30), &result), S_OK);
  EXPECT_EQ(windowless->OnWindowMessage(WM_KEYDOWN, 'A', 0, &result), S_FALSE);
  EXPECT_EQ(windowless->InPlaceDeactivate(), S_OK);
  EXPECT_TRUE(site.deactivated);
  Query<IOleObject>(control.Get(), IID_IOleObject)->SetClientSite(nullptr);
}

// A 160 x 120 bottom-up 32-bit DIB section in a memory DC, every pixel set to `fill`.
class Bitmap {
 public:
  static constexpr int kWidth = 160, kHeight = 120;
  explicit Bitmap(uint32_t fill) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) At(x, y) = fill;
    }
  }
  ~Bitmap() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  HDC dc() const { return dc_; }
  uint32_t& At(int x, int y) {
    return static_cast<uint32_t*>(bits_)[(kHeight - 1 - y) * kWidth + x];
  }

 private:
  void* bits_ = nullptr;
  HBITMAP bitmap_;
  HDC dc_;
  HGDIOBJ old_;
};

TEST(FlashControl, DrawsTheMovieWhereItIsInPlaceWithinTheClip) {
  // The control sits at (20, 10)-(120, 90): the 100 x 80 stage at scale 1, so the red
  // rectangle lands on (40, 30)-(80, 60). The DC is clipped to (20, 40)-(70, 90), which cuts
  // through the rectangle. The projector's surface emulation pre-fills what it locks with an
  // "undrawn" marker and turns what stays undrawn transparent (0); our own bitmap path leaves
  // such pixels as the DC had them.
  constexpr uint32_t kUntouched = 0x7F123456;
  constexpr POINT kInShape{50, 50}, kShapeRightOfClip{75, 50}, kShapeAboveClip{50, 35},
      kClipOutsideShape{30, 70}, kLeftOfControl{10, 50};
  const struct {
    const char* name;
    const wchar_t* wmode;
    bool hostSurface;
    bool passBounds;
    uint32_t outsideShape;  // at kClipOutsideShape
  } cases[] = {
      {"transparent, host surface", L"Transparent", true, false, 0},
      {"opaque, host surface", L"Opaque", true, false, kBackgroundPixel},
      {"transparent, host surface, bounds given", L"transparent", true, true, 0},
      {"transparent, own bitmap", L"Transparent", false, false, kUntouched},
      {"opaque, own bitmap", L"Window", false, true, kBackgroundPixel},
  };
  for (const auto& k : cases) {
    TestSite site;
    site.offerSurface = k.hostSurface;
    LoadedControl c;
    ASSERT_EQ(Activate(c.control.Get(), site), S_OK) << k.name;
    ASSERT_EQ(c.Load(), S_OK) << k.name;
    c.control->put_WMode(Bstr(k.wmode));
    Bitmap bitmap(kUntouched);
    IntersectClipRect(bitmap.dc(), 20, 40, 70, 90);
    const RECTL bounds{site.position.left, site.position.top, site.position.right,
                       site.position.bottom};
    auto view = Query<IViewObjectEx>(c.control.Get(), IID_IViewObjectEx);
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, bitmap.dc(),
                         k.passBounds ? &bounds : nullptr, nullptr, nullptr, 0),
              S_OK)
        << k.name;
    EXPECT_EQ(bitmap.At(kInShape.x, kInShape.y), kRed) << k.name;
    EXPECT_EQ(bitmap.At(kShapeRightOfClip.x, kShapeRightOfClip.y), kUntouched) << k.name;
    EXPECT_EQ(bitmap.At(kShapeAboveClip.x, kShapeAboveClip.y), kUntouched) << k.name;
    EXPECT_EQ(bitmap.At(kClipOutsideShape.x, kClipOutsideShape.y), k.outsideShape) << k.name;
    EXPECT_EQ(bitmap.At(kLeftOfControl.x, kLeftOfControl.y), kUntouched) << k.name;
    Query<IOleObject>(c.control.Get(), IID_IOleObject)->Close(OLECLOSE_NOSAVE);
  }
}

TEST(FlashControl, HitTestsTheMovieShapesOnly) {
  LoadedControl c;
  auto view = Query<IViewObjectEx>(c.control.Get(), IID_IViewObjectEx);
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

// ---- The frame clock

TEST(FlashControl, AdvancesFramesOnTheHostTimer) {
  FakeTimer timer;
  TestSite site;
  site.timer = &timer;
  LoadedControl c;
  ASSERT_EQ(Activate(c.control.Get(), site), S_OK);
  ASSERT_EQ(c.Load(), S_OK);
  EXPECT_EQ(timer.intervalType, VT_UI4);
  EXPECT_EQ(timer.intervalMs, 42u);  // 24 frames a second
  ASSERT_TRUE(timer.sink);

  VARIANT now;
  VariantInit(&now);
  const int before = site.invalidations;
  long frame = -1;
  timer.sink->OnTimer(now);
  c.control->CurrentFrame(&frame);
  EXPECT_EQ(frame, 1);
  EXPECT_GT(site.invalidations, before);
  timer.sink->OnTimer(now);
  c.control->CurrentFrame(&frame);
  EXPECT_EQ(frame, 0) << "loops";

  // Without looping it rests on the last frame.
  c.control->put_Loop(VARIANT_FALSE);
  timer.sink->OnTimer(now);
  timer.sink->OnTimer(now);
  c.control->CurrentFrame(&frame);
  VARIANT_BOOL playing = VARIANT_TRUE;
  c.control->IsPlaying(&playing);
  EXPECT_EQ(frame, 1);
  EXPECT_EQ(playing, VARIANT_FALSE);

  // Unloading, deactivating and reactivating stop and restart the clock.
  const DWORD cookie = timer.lastCookie;
  ASSERT_EQ(c.control->put_Movie(Bstr(L".")), S_OK);
  EXPECT_EQ(timer.unadvised, std::vector<DWORD>{cookie});
  ASSERT_EQ(c.Load(), S_OK);
  auto inPlace = Query<IOleInPlaceObject>(c.control.Get(), IID_IOleInPlaceObject);
  inPlace->InPlaceDeactivate();
  EXPECT_EQ(timer.unadvised.size(), 2u);
  EXPECT_FALSE(timer.sink);
  ASSERT_EQ(Activate(c.control.Get(), site), S_OK);
  EXPECT_TRUE(timer.sink);
  Query<IOleObject>(c.control.Get(), IID_IOleObject)->Close(OLECLOSE_NOSAVE);
  EXPECT_EQ(timer.unadvised.size(), 3u);
}

TEST(FlashControl, TicksOnItsOwnWhenTheSiteHasNoTimer) {
  TestSite site;
  LoadedControl c(100);
  ASSERT_EQ(Activate(c.control.Get(), site), S_OK);
  ASSERT_EQ(c.Load(), S_OK);
  const int before = site.invalidations;
  const DWORD start = GetTickCount();
  while (site.invalidations < before + 3 && GetTickCount() - start < 2000) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(5);
  }
  EXPECT_GE(site.invalidations, before + 3);
  Query<IOleObject>(c.control.Get(), IID_IOleObject)->Close(OLECLOSE_NOSAVE);
}

// ---- Decisions made without COM

TEST(ControlCore, FrameIntervalFollowsTheMovieRateWithinLimits) {
  const struct {
    double rate;
    uint32_t ms;
  } cases[] = {{24, 42},  {30, 33},    {12, 83},  {0, 83},  {-5, 83},
               {NAN, 83}, {0.5, 1000}, {1000, 1}, {5000, 1}};
  for (const auto& k : cases) EXPECT_EQ(control::FrameIntervalMs(k.rate), k.ms) << k.rate;
}

TEST(ControlCore, MovieTextsNameLocalFilesOnly) {
  const struct {
    const char* text;
    const char* path;  // null: refused
  } cases[] = {
      {"C:\\movies\\a.swf", "C:\\movies\\a.swf"},
      {"C:/movies/a.swf", "C:\\movies\\a.swf"},
      {"file:///C:/movies/a%20b.swf", "C:\\movies\\a b.swf"},
      {"FILE:///c|/x.swf", "c:\\x.swf"},
      {"file://localhost/C:/x.swf", "C:\\x.swf"},
      {"file://server/share/x.swf", "\\\\server\\share\\x.swf"},
      {"file:///C:/bad%2", nullptr},
      {"file:///C:/bad%zz.swf", nullptr},
      {"file:///C:/nul%00.swf", nullptr},
      {"http://example.com/a.swf", nullptr},
      {"file:///", nullptr},
  };
  for (const auto& k : cases) {
    const auto path = control::MoviePathFromText(k.text);
    if (k.path) {
      ASSERT_TRUE(path) << k.text;
      EXPECT_EQ(*path, k.path) << k.text;
    } else {
      EXPECT_FALSE(path) << k.text;
    }
  }
}

}  // namespace
}  // namespace brim
