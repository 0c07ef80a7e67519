#include "scripting/host_services.h"

#include <mmsystem.h>

#include <cstring>
#include <new>

#include "base/ansi_text.h"
#include "control/service_ids.h"

using Microsoft::WRL::ComPtr;

namespace brim {

namespace {

void CALLBACK TimerTick(HWND, UINT, UINT_PTR id, DWORD) {
  // The timer holds a reference to every sink whose window timer is alive.
  if (id == 0) return;
  reinterpret_cast<ITimerSink*>(id)->OnTimer(MillisecondsVariant(timeGetTime()));
}

}  // namespace

HostTimer::~HostTimer() {
  for (const auto& [id, sink] : sinks_) KillTimer(window_, id);
}

STDMETHODIMP_(ULONG) HostTimer::AddRef() { return owner_.AddRef(); }
STDMETHODIMP_(ULONG) HostTimer::Release() { return owner_.Release(); }

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
  if (!sink) return E_POINTER;
  const auto id = reinterpret_cast<UINT_PTR>(sink);
  if (!SetTimer(window_, id, interval.ulVal, TimerTick)) return E_FAIL;
  sinks_[id] = sink;
  if (cookie) *cookie = static_cast<DWORD>(id);
  frozen_ = FALSE;
  return S_OK;
}

STDMETHODIMP HostTimer::Unadvise(DWORD cookie) {
  // Cookies are the low 32 bits of the sink's address; on x64 the timer id is the whole address.
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (static_cast<DWORD>(it->first) == cookie) {
      KillTimer(window_, it->first);
      // Released last: the sink's release may call back into this timer.
      ComPtr<ITimerSink> sink = std::move(it->second);
      sinks_.erase(it);
      return S_OK;
    }
  }
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

STDMETHODIMP_(ULONG) HostTimerService::AddRef() { return owner_.AddRef(); }
STDMETHODIMP_(ULONG) HostTimerService::Release() { return owner_.Release(); }

STDMETHODIMP HostTimerService::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == kIID_ITimerService) {
    *out = static_cast<ITimerService*>(this);
    AddRef();
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

ComPtr<HostServices> HostServices::Create(DrawingSurfaceFactory surfaces) {
  // Born with no references; the pointer takes the first.
  return ComPtr<HostServices>(new (std::nothrow) HostServices(surfaces));
}

STDMETHODIMP_(ULONG) HostServices::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) HostServices::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP HostServices::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IServiceProvider) {
    *out = static_cast<IServiceProvider*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP HostServices::QueryService(REFGUID, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == kIID_ITimerService) return timerService_.QueryInterface(iid, out);
  if (iid == kIID_IDirectDraw3) return surfaces_ ? surfaces_(iid, out) : E_NOINTERFACE;
  if (iid == kIID_IHTMLWindow2) return E_FAIL;
  if (iid == kIID_IBindHost) return bindHost_.QueryInterface(iid, out);
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) BindHost::AddRef() { return owner_.AddRef(); }
STDMETHODIMP_(ULONG) BindHost::Release() { return owner_.Release(); }

STDMETHODIMP BindHost::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == kIID_IBindHost) {
    *out = static_cast<IBindHost*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

namespace {

// The program's own folder as a URL base, ending in its backslash.
ComPtr<IMoniker> ProgramFolderMoniker() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  char* slash = std::strrchr(path, '\\');
  if (!slash) return nullptr;
  slash[1] = '\0';
  const std::wstring wide = Wide(path);
  ComPtr<IMoniker> folder;
  if (wide.empty() || FAILED(CreateURLMoniker(nullptr, wide.c_str(), folder.GetAddressOf()))) {
    return nullptr;
  }
  return folder;
}

}  // namespace

STDMETHODIMP BindHost::CreateMoniker(LPOLESTR name, IBindCtx*, IMoniker** moniker, DWORD) {
  if (!moniker) return E_POINTER;
  *moniker = nullptr;
  if (!name) return E_INVALIDARG;
  if (base_) {
    CreateURLMoniker(base_.Get(), name, moniker);
  } else if (projectorMode_) {
    // The name itself first: a folder that cannot be made a base only means the next name
    // tries again.
    CreateURLMoniker(nullptr, name, moniker);
    base_ = ProgramFolderMoniker();
  } else if (SUCCEEDED(CreateURLMoniker(nullptr, name, base_.GetAddressOf())) && base_) {
    base_.CopyTo(moniker);
  }
  return *moniker ? S_OK : E_FAIL;
}

STDMETHODIMP BindHost::MonikerBindToStorage(IMoniker* moniker, IBindCtx* context,
                                            IBindStatusCallback* callback, REFIID iid,
                                            void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!moniker) return E_INVALIDARG;
  // Binding needs a context; a caller without one gets a fresh one rather than a crash.
  ComPtr<IBindCtx> own;
  if (!context) {
    if (FAILED(CreateBindCtx(0, own.GetAddressOf()))) return E_FAIL;
    context = own.Get();
  }
  if (callback) RegisterBindStatusCallback(context, callback, nullptr, 0);
  return moniker->BindToStorage(context, nullptr, iid, out);
}

STDMETHODIMP BindHost::MonikerBindToObject(IMoniker*, IBindCtx*, IBindStatusCallback*, REFIID,
                                           void** out) {
  if (out) *out = nullptr;
  return E_FAIL;
}

}  // namespace brim
