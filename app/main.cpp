// Brimloft's entry point: COM up, the payload of our own file read, the main window created,
// the message loop run, and everything this run made cleaned away again.
#include <windows.h>

#include <memory>

#include "app/handles.h"
#include "app/main_window.h"
#include "app/process_state.h"
#include "resources/resource_ids.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  GetCommandLineA();  // read, as every Windows program does, and then ignored
  brim::ComInit com;

  char ownPath[brim::kPathCapacity] = {};
  GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);

  auto mainWindow = std::make_unique<brim::MainWindow>();
  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
  mainWindow->Payload().ReadPayload(ownPath);
  brim::g_payloadPresent = mainWindow->Payload().Loaded();

  mainWindow->Create(instance);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorA(mainWindow->Handle(), accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  // The temporary copy of the movie belongs to this run only.
  if (brim::g_payloadPresent && mainWindow->CurrentMoviePath()[0]) {
    DeleteFileA(mainWindow->CurrentMoviePath());
  }
  com.reset();
  mainWindow.reset();
  return 0;
}
