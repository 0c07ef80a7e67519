#pragma once
// The movie's frame clock: calls back once a frame interval, from the host's timer service when
// its site offers one (so that the host decides when movie time passes) and from a thread timer
// on a hidden window of our own otherwise.
#include <windows.h>

#include <ocmm.h>
#include <wrl/client.h>

#include <cstdint>

namespace brim {

class FrameClockClient {
 public:
  // Must not throw: it runs inside a COM call or a window procedure.
  virtual void OnFrame() noexcept = 0;

 protected:
  ~FrameClockClient() = default;
};

class TimerSink;

class FrameClock {
 public:
  explicit FrameClock(FrameClockClient& client) : client_(client) {}
  ~FrameClock();
  FrameClock(const FrameClock&) = delete;
  FrameClock& operator=(const FrameClock&) = delete;

  // Starts (or restarts) ticking every `intervalMs`. `site` is the control's client site; it
  // may be null, and then only our own timer can tick.
  bool Start(IUnknown* site, uint32_t intervalMs);
  // Stops ticking: unadvises the host's timer, or kills our own. Safe from inside a tick.
  void Stop();
  bool Running() const { return timer_ || window_; }
  bool UsesHostTimer() const { return timer_ != nullptr; }

 private:
  friend class TimerSink;
  bool StartHostTimer(IUnknown* site, uint32_t intervalMs);
  bool StartWindowTimer(uint32_t intervalMs);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  FrameClockClient& client_;
  Microsoft::WRL::ComPtr<ITimer> timer_;
  Microsoft::WRL::ComPtr<ITimerSink> sink_;  // always our TimerSink
  DWORD cookie_ = 0;
  HWND window_ = nullptr;
};

}  // namespace brim
