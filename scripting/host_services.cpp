#include "scripting/host_services.h"

#include <mmsystem.h>

#include <new>

#include "control/service_ids.h"
#include "render/surface_emulator.h"

namespace brim {

namespace {

void CALLBACK TimerTick(HWND, UINT, UINT_PTR id, DWORD) {
  if (id == 0) return;
  reinterpret_cast<ITimerSink*>(id)->OnTimer(MillisecondsVariant(timeGetTime()));
}

}  // namespace

STDMETHODIMP HostTimer::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == kIID_ITimer) {
    *out = static_cast<ITimer*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP HostTimer::Advise(VARIANT, VARIANT, VARIANT interval, DWORD, ITimerSink* sink,
                               DWORD* cookie) {
  const auto id = reinterpret_cast<UINT_PTR>(sink);
  SetTimer(window_, id, interval.ulVal, TimerTick);
  if (cookie) *cookie = static_cast<DWORD>(id);
  frozen_ = FALSE;
  return S_OK;
}

STDMETHODIMP HostTimer::Unadvise(DWORD cookie) {
  KillTimer(window_, cookie);
  return S_OK;
}

STDMETHODIMP HostTimer::Freeze(WINBOOL freeze) {
  frozen_ = freeze;
  frozenTime_ = timeGetTime();
  return S_OK;
}

STDMETHODIMP HostTimer::GetTime(VARIANT* time) {
  if (!time) return E_POINTER;
  *time = MillisecondsVariant(frozen_ ? frozenTime_ : timeGetTime());
  return S_OK;
}

STDMETHODIMP HostTimerService::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == kIID_ITimerService) {
    *out = static_cast<ITimerService*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP HostTimerService::CreateTimer(ITimer* reference, ITimer** timer) {
  if (!timer) return E_POINTER;
  if (reference) return reference->QueryInterface(kIID_ITimer, reinterpret_cast<void**>(timer));
  return timer_.QueryInterface(kIID_ITimer, reinterpret_cast<void**>(timer));
}

STDMETHODIMP HostServices::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IServiceProvider) {
    *out = static_cast<IServiceProvider*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP HostServices::QueryService(REFGUID, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == kIID_ITimerService) return timerService_.QueryInterface(iid, out);
  if (iid == kIID_IDirectDraw3) {
    auto* emulator = new (std::nothrow) SurfaceEmulator();
    if (!emulator) return E_NOINTERFACE;
    return emulator->QueryInterface(iid, out);
  }
  if (iid == kIID_IHTMLWindow2) return E_FAIL;
  return E_NOINTERFACE;
}

}  // namespace brim
