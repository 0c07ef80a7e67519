// What the user does through the menus: the tray menu, the About box, opening and replaying
// movies.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "app/file_dialog.h"
#include "app/main_window.h"
#include "app/window_geometry.h"
#include "base/handles.h"
#include "control/flash_interfaces.h"
#include "resources/resource_ids.h"

using Microsoft::WRL::ComPtr;

namespace brim {
namespace {

Box ToBox(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      RECT box{}, work{};
      GetWindowRect(dialog, &box);
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
      // Over the window it belongs to, or over the work area when that cannot be seen.
      HWND owner = GetWindow(dialog, GW_OWNER);
      RECT over = work;
      if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &over);
      const Box placed = CentreWithin(ToBox(box), ToBox(over), ToBox(work));
      SetWindowPos(dialog, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) >= IDOK && LOWORD(wParam) <= IDNO) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

void MainWindow::ShowAbout() {
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), GetActiveWindow(),
                  AboutProc, 0);
}

void MainWindow::ShowTrayMenu() {
  POINT cursor{};
  GetCursorPos(&cursor);
  SetForegroundWindow(window_);
  const UniqueMenu bar(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU)));
  HMENU menu = bar ? GetSubMenu(bar.get(), 0) : nullptr;
  if (!menu) return;
  // Loaded afresh each time, so the marks are today's.
  auto mark = [&](UINT id, bool on) {
    ::CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  };
  const bool visible = IsWindowVisible(window_) != 0;
  mark(ID_SHOW, visible);
  mark(ID_HIDE, !visible);
  mark(ID_DISABLE_QUIT, commands_.State().quitDisabled);
  if (hostSubclass_.IsLayeredCapable()) {
    mark(ID_SIMULATE_9X, layeredWanted_ == 0);
  } else {
    RemoveMenu(menu, ID_SIMULATE_9X, MF_BYCOMMAND);
  }
  if (payload_.Loaded()) RemoveMenu(menu, ID_START_PAGE, MF_BYCOMMAND);
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window_, nullptr);
  PostMessageA(window_, WM_NULL, 0, 0);
}

void MainWindow::OpenMovie() {
  if (const auto path = ChooseFile(window_, FileChoice::kMovie)) LoadMovie(path->c_str());
}

void MainWindow::ReplayMovie(const char* path) {
  char copy[kPathCapacity];
  CopyText(copy, path);
  // Emptied first, so the same path plays again from its start.
  PutMovie(".");
  LoadMovie(copy);
}

}  // namespace brim
