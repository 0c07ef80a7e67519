// The services the main window offers the control: which requests get what, and the frame
// clock made of window timers.
#include "scripting/host_services.h"

#include <gtest/gtest.h>
#include <mmsystem.h>

#include <vector>

#include "control/service_ids.h"
#include "render/surface_emulator.h"

namespace brim {
namespace {

TEST(HostServices, AnswersEachRequestByInterface) {
  auto services = HostServices::Create(&CreateSurfaceEmulator);
  const struct {
    const IID* iid;
    HRESULT result;
  } cases[] = {
      {&kIID_ITimerService, S_OK},     {&kIID_IDirectDraw3, S_OK},
      {&kIID_IHTMLWindow2, E_FAIL},    {&kIID_IBindHost, E_NOINTERFACE},
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
