#include "player/control/event_connection.h"

#include <olectl.h>

#include <cwchar>
#include <new>
#include <utility>

#include "control/flash_interfaces.h"
#include "player/control/control_core.h"
#include "player/control/fault_injection.h"

namespace brim {

HRESULT EventConnectionPoint::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT EventConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = DIID_IShockwaveFlashEvents;
  return S_OK;
}

HRESULT EventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = &container_;
  container_.AddRef();
  return S_OK;
}

HRESULT EventConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  if (FaultRequested("Advise")) return E_FAIL;
  if (connections_.size() >= kMaxSinks) return CONNECT_E_ADVISELIMIT;
  // A sink may answer only to the event interface's own id; its vtable is IDispatch's.
  Microsoft::WRL::ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(DIID_IShockwaveFlashEvents,
                                  reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
      FAILED(
          sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.GetAddressOf())))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    connections_.push_back({nextCookie_, std::move(dispatch)});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  if (nextCookie_ == 0) nextCookie_ = 1;
  return S_OK;
}

HRESULT EventConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->cookie == cookie) {
      // Released after the entry is gone, in case the sink's release calls back into us.
      Microsoft::WRL::ComPtr<IDispatch> sink = std::move(it->sink);
      connections_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT EventConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT EventConnectionPoint::Fire(DISPID id, VARIANT* argsReversed, UINT count) noexcept {
  std::vector<Microsoft::WRL::ComPtr<IDispatch>> sinks;
  try {
    sinks.reserve(connections_.size());
    for (const Connection& c : connections_) sinks.push_back(c.sink);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  DISPPARAMS params{argsReversed, nullptr, count, 0};
  for (const auto& sink : sinks) {
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                 nullptr);
  }
  return S_OK;
}

HRESULT EventConnectionPoint::FireFSCommand(LPCOLESTR command, LPCOLESTR args) noexcept {
  auto text = [](LPCOLESTR s) {
    return s ? SysAllocStringLen(s, static_cast<UINT>(wcsnlen(s, control::kMaxVariableValueChars)))
             : SysAllocString(L"");
  };
  // Invoke takes arguments last first: args, then command.
  VARIANT argv[2];
  VariantInit(&argv[0]);
  VariantInit(&argv[1]);
  argv[0].vt = VT_BSTR;
  argv[0].bstrVal = text(args);
  argv[1].vt = VT_BSTR;
  argv[1].bstrVal = text(command);
  HRESULT hr = E_OUTOFMEMORY;
  if (argv[0].bstrVal && argv[1].bstrVal) hr = Fire(DISPID_FlashFSCommand, argv, 2);
  VariantClear(&argv[0]);
  VariantClear(&argv[1]);
  return hr;
}

HRESULT EventConnectionPoint::FireReadyStateChange(long state) noexcept {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = state;
  return Fire(DISPID_FlashReadyStateChange, &arg, 1);
}

}  // namespace brim
