#include "scripting/movie_event_sink.h"

#include <ocidl.h>
#include <wrl/client.h>

#include <new>

#include "control/flash_interfaces.h"

using Microsoft::WRL::ComPtr;

namespace brim {

namespace {

std::wstring TextOf(const VARIANT& v) {
  if (v.vt == VT_BSTR && v.bstrVal) return std::wstring(v.bstrVal, SysStringLen(v.bstrVal));
  return {};
}

}  // namespace

ComPtr<MovieEventSink> MovieEventSink::Create() {
  // Born with no references; the pointer takes the first.
  return ComPtr<MovieEventSink>(new (std::nothrow) MovieEventSink());
}

STDMETHODIMP_(ULONG) MovieEventSink::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) MovieEventSink::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return left;
}

bool MovieEventSink::Connect(IUnknown* control, FSCommandTarget* target) {
  Disconnect();
  target_ = target;
  if (!control) return false;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer,
                                     reinterpret_cast<void**>(container.GetAddressOf()))) ||
      FAILED(container->FindConnectionPoint(DIID_IShockwaveFlashEvents, &point)) ||
      FAILED(point->Advise(static_cast<IDispatch*>(this), &cookie_))) {
    cookie_ = 0;
    return false;
  }
  control_ = control;
  return true;
}

void MovieEventSink::Disconnect() {
  if (control_ && cookie_) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(control_->QueryInterface(IID_IConnectionPointContainer,
                                           reinterpret_cast<void**>(container.GetAddressOf()))) &&
        SUCCEEDED(container->FindConnectionPoint(DIID_IShockwaveFlashEvents, &point))) {
      point->Unadvise(cookie_);
    }
  }
  cookie_ = 0;
  control_.Reset();
  target_ = nullptr;
}

STDMETHODIMP MovieEventSink::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_IShockwaveFlashEvents) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP MovieEventSink::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}

STDMETHODIMP MovieEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                    EXCEPINFO*, UINT*) {
  if (id != DISPID_FlashFSCommand) return S_OK;
  if (!params || params->cArgs < 2 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
  // Arguments arrive last first: the command is the second entry.
  if (target_) target_->OnFSCommand(TextOf(params->rgvarg[1]), TextOf(params->rgvarg[0]));
  return S_OK;
}

}  // namespace brim
