// Brimloft's entry point: COM up, the payload of our own file read, the main window created,
// the message loop run, and everything this run made cleaned away again.
#include <windows.h>

#include <memory>

#include "app/main_window.h"
#include "app/process_state.h"
#include "base/handles.h"
#include "host/ax_host.h"
#include "packaging/runtime_provisioning.h"
#include "resources/resource_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  GetCommandLineA();  // read, as every Windows program does, and then ignored
  brim::ComInit com;
  brim::RegisterAxHostClasses(instance);

  char ownPath[brim::kPathCapacity] = {};
  GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);

  auto mainWindow = std::make_unique<brim::MainWindow>();
  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  mainWindow->Payload().ReadPayload(ownPath);
  brim::InstallRuntime(mainWindow->Payload());
  brim::g_payloadPresent = mainWindow->Payload().Loaded();

  // Without a window (no player control could be had) there is nothing to run: go straight to
  // the clean-up.
  const bool running = mainWindow->Create(instance) != nullptr;
  MSG msg;
  while (running && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorA(mainWindow->Handle(), accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  // The temporary copy of the movie and the private copy of the control belong to this run
  // only. Every object goes first, then COM, and only then the control's code and its file.
  char moviePath[brim::kPathCapacity];
  brim::CopyText(moviePath, brim::g_payloadPresent ? mainWindow->CurrentMoviePath() : "");
  mainWindow.reset();
  brim::UnregisterAxHostClasses(instance);
  com.reset();
  brim::ReleaseRuntime();
  if (moviePath[0]) DeleteFileA(moviePath);
  return 0;
}
