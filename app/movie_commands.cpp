// What a movie asks of its window through fscommand. The language itself (keywords, fields,
// the lock) is parsed by scripting/fscommand; here each command becomes what the window does.
#include <wrl/client.h>

#include <string>

#include "app/main_window.h"
#include "base/handles.h"
#include "control/flash_interfaces.h"
#include "resources/resource_ids.h"

using Microsoft::WRL::ComPtr;

namespace brim {
namespace {

// Text through the ANSI code page, as the system's narrow functions take it.
std::string Narrow(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// Upper-cases as the code page does; text that does not survive the round trip is matched as
// it came.
std::wstring UpperCaseAnsi(std::wstring_view text) {
  const std::wstring wide(text);
  std::string narrow = Narrow(wide);
  if (narrow.empty()) return wide;
  CharUpperBuffA(narrow.data(), static_cast<DWORD>(narrow.size()));
  const int n = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
  if (n <= 0) return wide;
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

}  // namespace

void MainWindow::SetSimulate9x(bool on) {
  // The menu item reads "simulate": checked means the layered path is off.
  layeredWanted_ = on ? 0 : 1;
  if (contextMenu_) {
    CheckMenuItem(contextMenu_, ID_SIMULATE_9X, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  }
  hostSubclass_.SetLayeredMode(layeredWanted_ != 0);
}

void MainWindow::Reply(const FsArguments& args, std::initializer_list<int32_t> values) {
  ComPtr<IShockwaveFlash> flash;
  if (!control_ || FAILED(control_.As(&flash))) return;
  size_t n = 1;
  for (int32_t value : values) {
    // A name the movie did not send is skipped; an empty one is still set.
    if (const auto& name = args.Field(n++)) {
      const UniqueBstr bstrName(SysAllocStringLen(name->data(), static_cast<UINT>(name->size())));
      const std::wstring text = ReplyNumber(value);
      const UniqueBstr bstrValue(SysAllocString(text.c_str()));
      flash->SetVariable(bstrName.get(), bstrValue.get());
    }
  }
}

void MainWindow::OnFSCommand(const std::wstring& command, const std::wstring& argument) {
  bool locked = commandsLocked_ != 0;
  const FsDispatch d = ParseFsCommand(command, argument, locked, UpperCaseAnsi);
  commandsLocked_ = locked ? 1 : 0;
  const FsArguments& a = d.args;
  RECT r{};
  switch (d.command) {
    case FsCommand::WinTitle:
      SetWindowTextA(window_, Narrow(a.Field(1).value_or(L"")).c_str());
      break;
    case FsCommand::WinClickToMove:
      clickToMove_ = a.Flag(1) ? 1 : 0;
      break;
    case FsCommand::WinSetXY:
      SetWindowPos(window_, nullptr, a.Number(1), a.Number(2), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      break;
    case FsCommand::WinSetRect:
      SetWindowPos(window_, nullptr, a.Number(1), a.Number(2), a.Number(3) - a.Number(1),
                   a.Number(4) - a.Number(2), SWP_NOZORDER);
      break;
    case FsCommand::WinSetWH:
      // Sizing also puts the window at the screen's corner.
      SetWindowPos(window_, nullptr, 0, 0, a.Number(1), a.Number(2),
                   SWP_NOZORDER | SWP_NOOWNERZORDER);
      break;
    case FsCommand::WinMaximize:
      ShowWindow(window_, SW_MAXIMIZE);
      break;
    case FsCommand::WinMinimize:
      ShowWindow(window_, SW_MINIMIZE);
      break;
    case FsCommand::WinRestore:
      ShowWindow(window_, SW_RESTORE);
      break;
    case FsCommand::WinShow:
      ShowWindow(window_, SW_SHOW);
      break;
    case FsCommand::WinHide:
      ShowWindow(window_, SW_HIDE);
      break;
    case FsCommand::WinOnTop:
      SetWindowPos(window_, a.Flag(1) ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOOWNERZORDER);
      break;
    case FsCommand::WinSimulate9x:
      SetSimulate9x(a.Flag(1));
      break;
    case FsCommand::WinGetXY:
      GetWindowRect(window_, &r);
      Reply(a, {r.left, r.top});
      break;
    case FsCommand::WinGetRect:
      GetWindowRect(window_, &r);
      Reply(a, {r.left, r.top, r.right, r.bottom});
      break;
    case FsCommand::WinGetWH:
      GetWindowRect(window_, &r);
      Reply(a, {r.right - r.left, r.bottom - r.top});
      break;
    case FsCommand::ShellGetScreenWH:
      Reply(a, {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
      break;
    case FsCommand::ShellGetDesktopRect:
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
      Reply(a, {r.left, r.top, r.right, r.bottom});
      break;
    default:
      // The rest of the table (fullscreen, menus, programs, registry, events) is not served yet;
      // like any command the window cannot act on, it is dropped without a word.
      break;
  }
}

}  // namespace brim
