// Create Projector and the icon commands: the builder itself is packaging's; here the dialogs,
// the chosen icons and the messages.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "app/file_dialog.h"
#include "app/main_window.h"
#include "base/show_message.h"
#include "control/flash_interfaces.h"
#include "packaging/projector_builder.h"
#include "packaging/projector_win32.h"
#include "packaging/runtime_provisioning.h"
#include "resources/resource_ids.h"

namespace brim {

void MainWindow::CreateProjector() {
  const auto output = ChooseFile(window_, FileChoice::kProjector);
  if (!output) return;
  BuildRequest request;
  char own[kPathCapacity] = {};
  const DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  char control[kPathCapacity] = {};
  // The control this machine has registered is the one a projector carries.
  if (n == 0 || n >= sizeof own || !FindRegisteredControl(kShockwaveFlashClassText, control)) {
    ShowMessage(IDS_FLASH_VERSION_FAILED, nullptr);
    return;
  }
  request.basePath = own;
  request.controlPath = control;
  request.runtimeName = AnsiRuntimeName(control);
  request.moviePath = currentMoviePath_;
  request.mainIconPath = iconPathA_;
  request.secondIconPath = iconPathB_;
  request.outputPath = *output;
  request.resourceTime = CurrentResourceTime();
  Win32OutputFiles files;
  const BuildReport report = BuildProjector(request, files);
  if (const int message = BuildMessageId(report.status)) {
    ShowMessage(static_cast<UINT>(message), nullptr);
  }
}

void MainWindow::ChooseIcon(bool main) {
  const auto path = ChooseFile(window_, FileChoice::kIcon);
  if (!path) return;
  // Recorded for the next projector even when the window cannot show it.
  CopyText(main ? iconPathA_ : iconPathB_, path->c_str());
  if (!main) return;
  HICON large = nullptr, small = nullptr;
  if (ExtractIconExA(path->c_str(), 0, &large, &small, 1) == 0) return;
  SetClassLongPtrA(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(large));
  SetClassLongPtrA(window_, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(small));
  largeIcon_.reset(large);
  smallIcon_.reset(small);
}

}  // namespace brim
