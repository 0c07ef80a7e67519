#pragma once
// What the main window offers the control as its container's services: a frame clock built on
// window timers, and the drawing-surface emulation. One object, living as long as the window.
#include <ocmm.h>
#include <servprov.h>
#include <windows.h>

namespace brim {

// The one timer the control gets: each advise becomes a window timer on the main window whose
// id and cookie are the sink's address; every tick reaches the sink with the live clock.
class HostTimer final : public ITimer {
 public:
  void SetWindow(HWND window) { window_ = window; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  // The host keeps its own reference for as long as it lives, so this never reaches 0.
  STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs_); }
  STDMETHODIMP Advise(VARIANT timeMin, VARIANT timeMax, VARIANT interval, DWORD flags,
                      ITimerSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP Freeze(WINBOOL freeze) override;
  STDMETHODIMP GetTime(VARIANT* time) override;

 private:
  LONG refs_ = 1;
  BOOL frozen_ = FALSE;
  DWORD frozenTime_ = 0;
  HWND window_ = nullptr;
};

class HostTimerService final : public ITimerService {
 public:
  HostTimer& Timer() { return timer_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateTimer(ITimer* reference, ITimer** timer) override;
  STDMETHODIMP GetNamedTimer(REFGUID, ITimer**) override { return E_NOTIMPL; }
  STDMETHODIMP SetNamedTimerReference(REFGUID, ITimer*) override { return E_NOTIMPL; }

 private:
  HostTimer timer_;
};

class HostServices final : public IServiceProvider {
 public:
  void SetWindow(HWND window) { timerService_.Timer().SetWindow(window); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override;

 private:
  HostTimerService timerService_;
};

}  // namespace brim
