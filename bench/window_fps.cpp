// Frames per second of a movie playing in the real main window under Wine: the projector's own
// window, host, services and player control, with the movie asking for more frames than can be
// drawn, so that what gets drawn is the measure. Usage: window_fps MOVIE.swf [SECONDS]
#include <windows.h>

#include <wrl/client.h>
#include <cstdio>
#include <cstdlib>

#include "base/handles.h"
#include "app/main_window.h"
#include "control/flash_interfaces.h"
#include "host/ax_host.h"

using Microsoft::WRL::ComPtr;

namespace {

// Runs the message loop for a while. A movie that asks for more frames than can be drawn keeps
// the queue busy for ever (each tick invalidates, each paint is followed by the next tick), so
// the clock is looked at after every message.
void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < milliseconds) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_fps MOVIE.swf [SECONDS]\n");
    return 2;
  }
  const DWORD seconds = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 5;
  brim::ComInit com;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  brim::RegisterAxHostClasses(instance);
  int status = 1;
  {
    brim::MainWindow window;
    if (!window.Create(instance) || !window.LoadMovie(argv[1])) {
      std::fprintf(stderr, "window_fps: could not play %s\n", argv[1]);
      return 1;
    }
    ComPtr<brim::IShockwaveFlash> flash;
    window.Control()->QueryInterface(brim::IID_IShockwaveFlash,
                                     reinterpret_cast<void**>(flash.GetAddressOf()));
    long total = 0;
    flash->get_TotalFrames(&total);
    Pump(1000);  // first paints and caches out of the way

    long previous = 0, frames = 0;
    flash->CurrentFrame(&previous);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
      Pump(50);
      long now = 0;
      flash->CurrentFrame(&now);
      frames += total > 0 ? (now - previous + total) % total : 0;
      previous = now;
    }
    const double elapsed = (GetTickCount() - start) / 1000.0;
    RECT rect{};
    GetWindowRect(window.Handle(), &rect);
    std::printf("%ldx%ld: %.1f frames per second in the window (%ld frames in %.1f s)\n",
                rect.right - rect.left, rect.bottom - rect.top, frames / elapsed, frames, elapsed);
    flash.Reset();
    DestroyWindow(window.Handle());
    Pump(200);
    status = 0;
  }
  brim::UnregisterAxHostClasses(instance);
  return status;
}
