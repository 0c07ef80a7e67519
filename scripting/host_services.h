#pragma once
// What the main window offers the control as its container's services: a frame clock built on
// window timers, and the drawing surface. The control may keep any of them longer than the
// window lives, so they are one reference-counted object on the heap whose parts (timer service,
// timer) share its count.
#include <ocmm.h>
#include <servprov.h>
#include <urlmon.h>
#include <windows.h>
#include <wrl/client.h>

#include <map>

namespace brim {

class HostServices;

// Makes the object answering the control's IDirectDraw3 request (a fresh one each time).
using DrawingSurfaceFactory = HRESULT (*)(REFIID iid, void** out);

// The one timer the control gets: each advise becomes a window timer on the main window whose
// id and cookie are the sink's address; every tick reaches the sink with the live clock. The
// timer holds each advised sink until it is unadvised, so a control that lets go of its sink
// early cannot leave a tick calling into freed memory.
class HostTimer final : public ITimer {
 public:
  explicit HostTimer(HostServices& owner) : owner_(owner) {}
  ~HostTimer();
  HostTimer(const HostTimer&) = delete;
  HostTimer& operator=(const HostTimer&) = delete;
  void SetWindow(HWND window) { window_ = window; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Advise(VARIANT timeMin, VARIANT timeMax, VARIANT interval, DWORD flags,
                      ITimerSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP Freeze(WINBOOL freeze) override;
  STDMETHODIMP GetTime(VARIANT* time) override;

 private:
  HostServices& owner_;
  BOOL frozen_ = FALSE;
  DWORD frozenTime_ = 0;
  HWND window_ = nullptr;
  std::map<UINT_PTR, Microsoft::WRL::ComPtr<ITimerSink>> sinks_;
};

class HostTimerService final : public ITimerService {
 public:
  explicit HostTimerService(HostServices& owner) : owner_(owner), timer_(owner) {}
  HostTimer& Timer() { return timer_; }
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateTimer(ITimer* reference, ITimer** timer) override;
  STDMETHODIMP GetNamedTimer(REFGUID, ITimer**) override { return E_NOTIMPL; }
  STDMETHODIMP SetNamedTimerReference(REFGUID, ITimer*) override { return E_NOTIMPL; }

 private:
  HostServices& owner_;
  HostTimer timer_;
};

// Turns the names the control loads into monikers against one base: the projector's folder,
// or else the location of the first name it is asked about. Counted with its owner, so the
// control may hold it as long as it likes.
class BindHost final : public IBindHost {
 public:
  explicit BindHost(HostServices& owner) : owner_(owner) {}
  // In a projector, relative names are files beside the program.
  void SetProjectorMode(bool on) { projectorMode_ = on; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateMoniker(LPOLESTR name, IBindCtx* context, IMoniker** moniker,
                             DWORD reserved) override;
  STDMETHODIMP MonikerBindToStorage(IMoniker* moniker, IBindCtx* context,
                                    IBindStatusCallback* callback, REFIID iid,
                                    void** out) override;
  STDMETHODIMP MonikerBindToObject(IMoniker*, IBindCtx*, IBindStatusCallback*, REFIID,
                                   void** out) override;

 private:
  HostServices& owner_;
  bool projectorMode_ = false;
  Microsoft::WRL::ComPtr<IMoniker> base_;  // made once, at the first name
};

class HostServices final : public IServiceProvider {
 public:
  // A new object holding one reference for the caller.
  static Microsoft::WRL::ComPtr<HostServices> Create(DrawingSurfaceFactory surfaces);

  void SetWindow(HWND window) { timerService_.Timer().SetWindow(window); }
  BindHost& Binding() { return bindHost_; }
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override;

 private:
  explicit HostServices(DrawingSurfaceFactory surfaces)
      : surfaces_(surfaces), timerService_(*this), bindHost_(*this) {}
  ~HostServices() = default;

  LONG refs_ = 0;
  DrawingSurfaceFactory surfaces_;
  HostTimerService timerService_;
  BindHost bindHost_;
};

}  // namespace brim
