#pragma once
// The control's own interface for raising movie events to its container's sinks.
#include <windows.h>

#include <ole2.h>

namespace brim {

// {04764CD7-7418-47C3-A944-D80BB9F5EC28}
inline constexpr IID IID_IPlayerEventSource = {
    0x04764CD7, 0x7418, 0x47C3, {0xA9, 0x44, 0xD8, 0x0B, 0xB9, 0xF5, 0xEC, 0x28}};

// Raises events to every connected _IShockwaveFlashEvents sink, on the calling thread. The
// script interpreter raises them from inside the control; the interface lets a caller outside
// do the same (and lets tests watch the delivery).
struct IPlayerEventSource : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE FireFSCommand(LPCOLESTR command, LPCOLESTR args) = 0;
};

}  // namespace brim
