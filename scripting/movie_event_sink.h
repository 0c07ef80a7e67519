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

class MovieEventSink final : public IDispatch {
 public:
  // Connects to the control's event interface; false when the control offers none.
  bool Connect(IUnknown* control, FSCommandTarget* target);
  void Disconnect();

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  // Lives inside the main window object, so references are not counted.
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override;

 private:
  FSCommandTarget* target_ = nullptr;
  Microsoft::WRL::ComPtr<IUnknown> control_;  // held while connected
  DWORD cookie_ = 0;
};

}  // namespace brim
