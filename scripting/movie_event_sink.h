#pragma once
// Receives the control's events (FSCommand among them) through its connection point.
#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>

namespace brim {

// Whoever acts on the movie's commands.
class FSCommandTarget {
 public:
  virtual void OnFSCommand(const std::wstring& command, const std::wstring& args) = 0;

 protected:
  ~FSCommandTarget() = default;
};

// Handed to the control, which may hold it past the window's life: counted, and cut loose from
// its target when disconnected so that a late event goes nowhere.
class MovieEventSink final : public IDispatch {
 public:
  // A new sink holding one reference for the caller.
  static Microsoft::WRL::ComPtr<MovieEventSink> Create();

  // Connects to the control's event interface; false when the control offers none.
  bool Connect(IUnknown* control, FSCommandTarget* target);
  void Disconnect();

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override;

 private:
  MovieEventSink() = default;
  ~MovieEventSink() = default;

  LONG refs_ = 0;
  FSCommandTarget* target_ = nullptr;
  Microsoft::WRL::ComPtr<IUnknown> control_;  // held while connected
  DWORD cookie_ = 0;
};

}  // namespace brim
