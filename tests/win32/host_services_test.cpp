// The services the main window offers the control: which requests get what, and the frame
// clock made of window timers.
#include "scripting/host_services.h"

#include <gtest/gtest.h>
#include <mmsystem.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/handles.h"
#include "base/temp_file.h"

#include "control/service_ids.h"
#include "render/surface_emulator.h"

using Microsoft::WRL::ComPtr;

namespace brim {
namespace {

TEST(HostServices, AnswersEachRequestByInterface) {
  auto services = HostServices::Create(&CreateSurfaceEmulator);
  const struct {
    const IID* iid;
    HRESULT result;
  } cases[] = {
      {&kIID_ITimerService, S_OK},     {&kIID_IDirectDraw3, S_OK},
      {&kIID_IHTMLWindow2, E_FAIL},    {&kIID_IBindHost, S_OK},
      {&IID_IDispatch, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    IUnknown* out = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(services->QueryService(GUID_NULL, *c.iid, reinterpret_cast<void**>(&out)), c.result);
    if (c.result == S_OK) {
      ASSERT_NE(out, nullptr);
      out->Release();
    } else {
      EXPECT_EQ(out, nullptr);
    }
  }
  // Every surface request makes a fresh emulator.
  IUnknown *a = nullptr, *b = nullptr;
  services->QueryService(GUID_NULL, kIID_IDirectDraw3, reinterpret_cast<void**>(&a));
  services->QueryService(GUID_NULL, kIID_IDirectDraw3, reinterpret_cast<void**>(&b));
  EXPECT_NE(a, b);
  a->Release();
  b->Release();
}

std::wstring DisplayName(IMoniker* moniker) {
  ComPtr<IBindCtx> context;
  CreateBindCtx(0, context.GetAddressOf());
  LPOLESTR name = nullptr;
  if (!moniker || FAILED(moniker->GetDisplayName(context.Get(), nullptr, &name))) return L"";
  std::wstring out(name);
  CoTaskMemFree(name);
  return out;
}

// Resolves each name in turn through a fresh bind host and gives the monikers' URLs.
std::vector<std::wstring> Resolve(bool projector, std::initializer_list<const wchar_t*> names) {
  auto services = HostServices::Create(&CreateSurfaceEmulator);
  services->Binding().SetProjectorMode(projector);
  ComPtr<IBindHost> host;
  services->QueryService(GUID_NULL, kIID_IBindHost, reinterpret_cast<void**>(host.GetAddressOf()));
  std::vector<std::wstring> urls;
  for (const wchar_t* name : names) {
    ComPtr<IMoniker> moniker;
    const HRESULT made = host->CreateMoniker(const_cast<LPOLESTR>(name), nullptr,
                                             moniker.GetAddressOf(), 0);
    urls.push_back(SUCCEEDED(made) ? DisplayName(moniker.Get()) : L"failed");
  }
  return urls;
}

// A file URL's path in one spelling: "file:///C:/a/b" and "file://c:\\a\\b" are both "c:/a/b".
std::wstring Location(std::wstring url) {
  for (wchar_t& c : url) c = c == L'\\' ? L'/' : static_cast<wchar_t>(towlower(c));
  if (url.rfind(L"file:", 0) == 0) url.erase(0, 5);
  return url.substr(std::min(url.find_first_not_of(L'/'), url.size()));
}

TEST(BindHost, ResolvesRelativeNamesAgainstTheProgramFolderOrTheFirstName) {
  const ComInit com;
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder = exe;
  folder.resize(folder.rfind(L'\\') + 1);

  // In a projector the first name stands as given; later ones live beside the program.
  const auto projector = Resolve(true, {L"file:///C:/elsewhere/first.swf", L"sub.swf"});
  EXPECT_EQ(Location(projector[0]), L"c:/elsewhere/first.swf");
  EXPECT_EQ(Location(projector[1]), Location(folder + L"sub.swf"));

  // Otherwise the first name's location is the base for good.
  const auto authoring =
      Resolve(false, {L"file:///C:/games/one.swf", L"data.xml", L"file:///C:/other/two.swf",
                      L"more/three.swf"});
  EXPECT_EQ(Location(authoring[1]), L"c:/games/data.xml");
  EXPECT_EQ(Location(authoring[2]), L"c:/other/two.swf");
  EXPECT_EQ(Location(authoring[3]), L"c:/games/more/three.swf");
}

TEST(BindHost, BindsFilesToStreamsAndNeverToObjects) {
  const ComInit com;
  char temp[MAX_PATH] = {};
  ASSERT_TRUE(MakeTempFileName(temp));
  {
    const UniqueFile file(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), "movie bytes", 11, &written, nullptr);
  }
  auto services = HostServices::Create(&CreateSurfaceEmulator);
  IBindHost& host = services->Binding();
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, temp, -1, wide, MAX_PATH);
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(host.CreateMoniker(wide, nullptr, moniker.GetAddressOf(), 0), S_OK);
  ComPtr<IStream> stream;
  ASSERT_EQ(host.MonikerBindToStorage(moniker.Get(), nullptr, nullptr, IID_IStream,
                                      reinterpret_cast<void**>(stream.GetAddressOf())),
            S_OK);
  char bytes[32] = {};
  ULONG got = 0;
  stream->Read(bytes, sizeof bytes, &got);
  EXPECT_EQ(std::string(bytes, got), "movie bytes");
  stream.Reset();
  moniker.Reset();

  IUnknown* object = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(host.MonikerBindToObject(nullptr, nullptr, nullptr, IID_IUnknown,
                                     reinterpret_cast<void**>(&object)),
            E_FAIL);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(host.CreateMoniker(nullptr, nullptr, moniker.GetAddressOf(), 0), E_INVALIDARG);
  DeleteFileA(temp);
}

class CountingSink : public ITimerSink {
 public:
  STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  // Lives on the test's stack: counts what others hold of it.
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP OnTimer(VARIANT time) override {
    times.push_back(time.vt == VT_UI4 ? time.ulVal : 0);
    return S_OK;
  }
  std::vector<DWORD> times;
  ULONG refs = 0;
};

VARIANT Milliseconds(DWORD ms) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UI4;
  v.ulVal = ms;
  return v;
}

TEST(HostTimer, TicksAtTheAdvisedIntervalWithTheLiveClock) {
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  auto services = HostServices::Create(&CreateSurfaceEmulator);
  services->SetWindow(window);
  ITimerService* service = nullptr;
  ASSERT_EQ(
      services->QueryService(GUID_NULL, kIID_ITimerService, reinterpret_cast<void**>(&service)),
      S_OK);
  ITimer *timer = nullptr, *again = nullptr;
  ASSERT_EQ(service->CreateTimer(nullptr, &timer), S_OK);
  ASSERT_EQ(service->CreateTimer(nullptr, &again), S_OK);
  EXPECT_EQ(timer, again);

  CountingSink sink;
  DWORD cookie = 0;
  ASSERT_EQ(timer->Advise(Milliseconds(0), Milliseconds(0), Milliseconds(83), 0, &sink, &cookie),
            S_OK);
  EXPECT_EQ(cookie, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(&sink)));
  // The timer holds the sink while advised: a control that lets go of its own reference early
  // still gets its ticks, and nothing calls into a sink already freed.
  EXPECT_EQ(sink.refs, 1u);
  const DWORD start = timeGetTime();
  MSG msg;
  while (timeGetTime() - start < 1000) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  }
  EXPECT_EQ(timer->Unadvise(cookie), S_OK);
  EXPECT_EQ(sink.refs, 0u);
  EXPECT_EQ(timer->Unadvise(12345), S_OK);  // never advised: no effect
  // About 12 a second; Wine's timers are coarse, so allow a wide margin.
  EXPECT_GE(sink.times.size(), 6u);
  EXPECT_LE(sink.times.size(), 14u);
  for (size_t i = 1; i < sink.times.size(); ++i) EXPECT_GT(sink.times[i], sink.times[i - 1]);
  const size_t ticks = sink.times.size();
  Sleep(200);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_EQ(sink.times.size(), ticks) << "no ticks after Unadvise";

  // Sinks still advised when the last reference to the services goes are let go of.
  CountingSink forgotten;
  ASSERT_EQ(
      timer->Advise(Milliseconds(0), Milliseconds(0), Milliseconds(50), 0, &forgotten, &cookie),
      S_OK);
  EXPECT_EQ(forgotten.refs, 1u);
  timer->Release();
  again->Release();
  service->Release();
  services.Reset();
  EXPECT_EQ(forgotten.refs, 0u);
  Sleep(100);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_TRUE(forgotten.times.empty());
  DestroyWindow(window);
}

TEST(HostTimer, FreezeHoldsTheClockUntilThawOrAdvise) {
  auto services = HostServices::Create(&CreateSurfaceEmulator);
  ITimerService* service = nullptr;
  services->QueryService(GUID_NULL, kIID_ITimerService, reinterpret_cast<void**>(&service));
  ITimer* timer = nullptr;
  ASSERT_EQ(service->CreateTimer(nullptr, &timer), S_OK);
  VARIANT a, b;
  timer->Freeze(TRUE);
  timer->GetTime(&a);
  Sleep(30);
  timer->GetTime(&b);
  EXPECT_EQ(a.vt, VT_UI4);
  EXPECT_EQ(a.ulVal, b.ulVal);
  timer->Freeze(FALSE);
  Sleep(30);
  timer->GetTime(&b);
  EXPECT_GT(b.ulVal, a.ulVal);
  timer->Release();
  service->Release();
}

}  // namespace
}  // namespace brim
