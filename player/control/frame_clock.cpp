#include "player/control/frame_clock.h"

#include <servprov.h>

#include <new>
#include <utility>

#include "base/com_ptr.h"
#include "control/service_ids.h"
#include "player/control/fault_injection.h"
#include "player/control/module.h"

namespace brim {

// What we hand the host's timer. It has its own reference count, so that the timer holding it
// never keeps the control alive; the clock cuts it loose when it stops.
class TimerSink final : public ITimerSink {
 public:
  explicit TimerSink(FrameClock* clock) : clock_(clock) { ObjectCreated(); }
  TimerSink(const TimerSink&) = delete;
  TimerSink& operator=(const TimerSink&) = delete;

  void Detach() { clock_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIID_ITimerSink)) {
      *object = static_cast<ITimerSink*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE OnTimer(VARIANT) override {
    // The frame may stop the clock, and the host may then drop its reference to us.
    AddRef();
    if (clock_) clock_->client_.OnFrame();
    Release();
    return S_OK;
  }

 private:
  ~TimerSink() { ObjectDestroyed(); }

  LONG refs_ = 1;
  FrameClock* clock_;
};

namespace {

constexpr const char* kWindowClass = "BrimloftPlayerFrameClock";
// Clock windows alive now. The class goes with the last of them, so that it is never left
// registered to a module that may be unloaded (and never unregistered under the loader lock).
LONG g_clockWindows = 0;
constexpr UINT_PTR kTimerId = 1;

}  // namespace

FrameClock::~FrameClock() { Stop(); }

bool FrameClock::Start(IUnknown* site, uint32_t intervalMs) {
  Stop();
  return StartHostTimer(site, intervalMs) || StartWindowTimer(intervalMs);
}

bool FrameClock::StartHostTimer(IUnknown* site, uint32_t intervalMs) {
  using Microsoft::WRL::ComPtr;
  if (!site) return false;
  ComPtr<IServiceProvider> services;
  if (FAILED(site->QueryInterface(IID_IServiceProvider,
                                  reinterpret_cast<void**>(services.GetAddressOf())))) {
    return false;
  }
  ComPtr<ITimerService> timerService;
  if (FAILED(services->QueryService(kIID_ITimerService, kIID_ITimerService,
                                    reinterpret_cast<void**>(timerService.GetAddressOf()))) ||
      !timerService) {
    return false;
  }
  ComPtr<ITimer> timer;
  if (FAILED(timerService->CreateTimer(nullptr, timer.GetAddressOf())) || !timer) return false;
  ComPtr<TimerSink> sink = TakeOwnership(new (std::nothrow) TimerSink(this));
  if (!sink) return false;
  DWORD cookie = 0;
  if (FAILED(timer->Advise(MillisecondsVariant(0), MillisecondsVariant(0),
                           MillisecondsVariant(intervalMs), 0, sink.Get(), &cookie))) {
    sink->Detach();
    return false;
  }
  timer_ = std::move(timer);
  sink_ = std::move(sink);
  cookie_ = cookie;
  return true;
}

bool FrameClock::StartWindowTimer(uint32_t intervalMs) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = ModuleInstance();
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  window_ = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            ModuleInstance(), nullptr);
  if (!window_) {
    if (g_clockWindows == 0) UnregisterClassA(kWindowClass, ModuleInstance());
    return false;
  }
  ++g_clockWindows;
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (!SetTimer(window_, kTimerId, intervalMs, nullptr)) {
    Stop();
    return false;
  }
  return true;
}

void FrameClock::Stop() {
  // Taken out first, so that a tick arriving while the host unadvises finds nothing to call.
  Microsoft::WRL::ComPtr<ITimer> timer = std::move(timer_);
  Microsoft::WRL::ComPtr<ITimerSink> sink = std::move(sink_);
  if (sink) static_cast<TimerSink*>(sink.Get())->Detach();
  if (timer) timer->Unadvise(cookie_);
  cookie_ = 0;
  if (HWND window = window_) {
    window_ = nullptr;
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    KillTimer(window, kTimerId);
    DestroyWindow(window);
    if (--g_clockWindows == 0) UnregisterClassA(kWindowClass, ModuleInstance());
  }
}

LRESULT CALLBACK FrameClock::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTimerId) {
    if (auto* clock = reinterpret_cast<FrameClock*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
      clock->client_.OnFrame();
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace brim
