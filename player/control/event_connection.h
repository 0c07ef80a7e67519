#pragma once
// The control's one connection point, for _IShockwaveFlashEvents: sinks connect with their
// IDispatch and hear events through Invoke, on the thread that raises them.
#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <vector>

namespace brim {

class EventConnectionPoint final : public IConnectionPoint {
 public:
  // Sinks beyond this many are refused; a container connects one or two.
  static constexpr size_t kMaxSinks = 64;

  // `container` is the control: the point shares its reference count.
  explicit EventConnectionPoint(IConnectionPointContainer& container) : container_(container) {}
  EventConnectionPoint(const EventConnectionPoint&) = delete;
  EventConnectionPoint& operator=(const EventConnectionPoint&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return container_.AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return container_.Release(); }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

  // Raise events to every sink connected when the call starts; a sink may disconnect itself
  // (or others) meanwhile. Texts longer than an event carries are cut.
  HRESULT FireFSCommand(LPCOLESTR command, LPCOLESTR args) noexcept;
  HRESULT FireReadyStateChange(long state) noexcept;

  // Lets go of every sink (the control is closing).
  void DisconnectAll() noexcept { connections_.clear(); }

 private:
  struct Connection {
    DWORD cookie;
    Microsoft::WRL::ComPtr<IDispatch> sink;
  };
  HRESULT Fire(DISPID id, VARIANT* argsReversed, UINT count) noexcept;

  IConnectionPointContainer& container_;
  std::vector<Connection> connections_;
  DWORD nextCookie_ = 1;
};

}  // namespace brim
