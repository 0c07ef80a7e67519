// What a movie asks of its window through fscommand. The language and its table live in
// scripting/fscommand; here each thing a command does becomes the system calls that do it.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>
#include <wrl/client.h>

#include <cstring>
#include <string>

#include "app/main_window.h"
#include "base/ansi_text.h"
#include "base/handles.h"
#include "control/flash_interfaces.h"
#include "render/sprite_bound.h"
#include "resources/resource_ids.h"

using Microsoft::WRL::ComPtr;

namespace brim {
namespace {

UniqueBstr Bstr(const std::wstring& text) {
  return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
      return HKEY_USERS;
    case RegistryRoot::PerformanceData:
      return HKEY_PERFORMANCE_DATA;
    case RegistryRoot::CurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RegistryRoot::DynData:
      return HKEY_DYN_DATA;
  }
  return nullptr;
}

// How much of a registry value a movie can be given.
constexpr DWORD kRegistryReadCapacity = 256;

}  // namespace

ComPtr<IShockwaveFlash> MainWindow::Flash() const {
  ComPtr<IShockwaveFlash> flash;
  if (control_) control_.As(&flash);
  return flash;
}

void MainWindow::OnFSCommand(const std::wstring& command, const std::wstring& argument) {
  commands_.Dispatch(command, argument);
}

std::wstring MainWindow::UpperCase(std::wstring_view text) {
  std::string narrow = Narrow(text);
  if (narrow.empty()) return std::wstring(text);
  CharUpperBuffA(narrow.data(), static_cast<DWORD>(narrow.size()));
  std::wstring upper = Wide(narrow);
  // Text that does not survive the round trip is matched as it came.
  return upper.empty() ? std::wstring(text) : upper;
}

void MainWindow::SetVariable(const std::wstring& name, const std::wstring& value) {
  if (const auto flash = Flash()) flash->SetVariable(Bstr(name).get(), Bstr(value).get());
}

void MainWindow::CallLabel(const std::wstring& target, const std::wstring& label) {
  if (const auto flash = Flash()) flash->TCallLabel(Bstr(target).get(), Bstr(label).get());
}

void MainWindow::SetTitle(const std::wstring& title) {
  SetWindowTextA(window_, Narrow(title).c_str());
}

void MainWindow::StartMove() {
  // Only a held button can drag: without one the system's move loop would sit waiting for a
  // press that has nothing to do with this command, and the window would stop answering.
  const int button = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  if (!(GetAsyncKeyState(button) & 0x8000)) return;
  ReleaseCapture();
  POINT cursor{};
  GetCursorPos(&cursor);
  // The system's own move loop, as if the user had pressed on a caption; it returns when the
  // button is let go.
  SendMessageA(window_, WM_NCLBUTTONDOWN, HTCAPTION,
               MAKELPARAM(static_cast<WORD>(cursor.x), static_cast<WORD>(cursor.y)));
}

FsRect MainWindow::WindowRect() {
  RECT r{};
  GetWindowRect(window_, &r);
  return {r.left, r.top, r.right, r.bottom};
}

void MainWindow::PlaceWindow(const FsPlacement& p, bool keepSize) {
  SetWindowPos(window_, nullptr, p.x, p.y, p.width, p.height,
               SWP_NOZORDER | SWP_NOOWNERZORDER | (keepSize ? SWP_NOSIZE : 0));
}

void MainWindow::ShowWindowAs(WindowShow how) {
  static constexpr int kShow[] = {SW_MAXIMIZE, SW_MINIMIZE, SW_RESTORE, SW_SHOW, SW_HIDE};
  ShowWindow(window_, kShow[static_cast<int>(how)]);
}

void MainWindow::SetTopmost(bool on) {
  SetWindowPos(window_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOOWNERZORDER);
}

void MainWindow::SetSimulate9x(bool on) {
  // The menu item reads "simulate": checked means the layered path is off.
  layeredWanted_ = on ? 0 : 1;
  if (contextMenu_) {
    ::CheckMenuItem(contextMenu_, ID_SIMULATE_9X,
                    MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  }
  hostSubclass_.SetLayeredMode(layeredWanted_ != 0);
}

void MainWindow::SetDisplayState(std::optional<bool> fullScreen, std::optional<bool> scale) {
  const bool wantFull = fullScreen.value_or(fullScreen_ != 0);
  const bool wantScale = scale.value_or(allowScale_ != 0);
  if (wantScale != (allowScale_ != 0)) {
    LayOutControlHost(wantScale);
    allowScale_ = wantScale ? 1 : 0;
  }
  if (wantFull != (fullScreen_ != 0)) {
    if (wantFull) {
      EnterFullScreen();
    } else {
      LeaveFullScreen();
    }
  }
}

void MainWindow::LayOutControlHost(bool scale) {
  if (!controlHost_) return;
  RECT client{};
  GetClientRect(window_, &client);
  if (scale) {
    MoveWindow(controlHost_, 0, 0, client.right, client.bottom, TRUE);
    return;
  }
  // The movie's own size, centred; a client area smaller than the movie cuts it on every side.
  MoveWindow(controlHost_, (client.right - movieWidth_) / 2, (client.bottom - movieHeight_) / 2,
             movieWidth_, movieHeight_, TRUE);
}

namespace {
constexpr UINT kFullScreenSwitch =
    SWP_NOZORDER | SWP_NOREDRAW | SWP_FRAMECHANGED | SWP_NOCOPYBITS;

RECT DesktopRect() {
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  return desktop;
}
}  // namespace

void MainWindow::EnterFullScreen() {
  GetWindowRect(window_, &savedWindowRect_);
  savedStyle_ = GetWindowLongA(window_, GWL_STYLE);
  SetWindowLongA(window_, GWL_STYLE, savedStyle_ & ~(WS_CAPTION | WS_THICKFRAME));
  const RECT desktop = DesktopRect();
  SetWindowPos(window_, nullptr, desktop.left, desktop.top, desktop.right - desktop.left,
               desktop.bottom - desktop.top, kFullScreenSwitch);
  fullScreen_ = 1;
  InvalidateRect(controlHost_, nullptr, FALSE);
}

void MainWindow::LeaveFullScreen() {
  // First, so that the guard lets the way back through.
  fullScreen_ = 0;
  SetWindowLongA(window_, GWL_STYLE, savedStyle_);
  const RECT& r = savedWindowRect_;
  SetWindowPos(window_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               kFullScreenSwitch);
  InvalidateRect(controlHost_, nullptr, FALSE);
}

void MainWindow::GuardFullScreenPlacement(WINDOWPOS& request) const {
  if (!fullScreen_) return;
  const RECT desktop = DesktopRect();
  const bool moves = !(request.flags & SWP_NOMOVE) &&
                     (request.x != desktop.left || request.y != desktop.top);
  const bool sizes =
      !(request.flags & SWP_NOSIZE) &&
      (request.cx != desktop.right - desktop.left || request.cy != desktop.bottom - desktop.top);
  if (moves || sizes) request.flags |= SWP_NOMOVE | SWP_NOSIZE;
}

void MainWindow::SetTaskButton(bool shown) {
  ShowWindow(window_, SW_HIDE);
  const LONG exStyle = GetWindowLongA(window_, GWL_EXSTYLE);
  SetWindowLongA(window_, GWL_EXSTYLE,
                 shown ? exStyle & ~WS_EX_TOOLWINDOW : exStyle | WS_EX_TOOLWINDOW);
  ShowWindow(window_, SW_SHOW);
}

FsSize MainWindow::ScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

FsSize MainWindow::FullScreenClientSize() {
  return {GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN)};
}

FsRect MainWindow::WorkArea() {
  RECT r{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
  return {r.left, r.top, r.right, r.bottom};
}

std::wstring MainWindow::InitialDirectory() { return Wide(initialDirectory_); }

int MainWindow::ContextMenuItemCount() {
  return contextMenu_ ? GetMenuItemCount(contextMenu_) : -1;
}

void MainWindow::InsertMenuEntry(int id, const std::wstring* text) {
  const std::string narrow = text ? Narrow(*text) : std::string();
  InsertMenuA(contextMenu_, 0, MF_BYPOSITION | (text ? MF_STRING : MF_SEPARATOR),
              static_cast<UINT_PTR>(id), text ? narrow.c_str() : nullptr);
}

void MainWindow::RemoveMenuItem(int id) {
  RemoveMenu(contextMenu_, static_cast<UINT>(id), MF_BYCOMMAND);
}

void MainWindow::CheckMenuItem(int id, bool checked) {
  ::CheckMenuItem(contextMenu_, static_cast<UINT>(id),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void MainWindow::StartProgram(const std::wstring& commandLine) {
  std::string line = Narrow(commandLine);
  line.push_back('\0');  // the system may write into the command line it is given
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &started)) {
    // Nobody waits for the program: its handles are not ours to keep.
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  }
}

void MainWindow::OpenDocument(const std::wstring& file) {
  ShellExecuteA(nullptr, "open", Narrow(file).c_str(), nullptr,
                initialDirectory_[0] ? initialDirectory_ : nullptr, SW_SHOWNORMAL);
}

void MainWindow::PostClose() { PostMessageA(window_, WM_CLOSE, 0, 0); }

std::optional<std::wstring> MainWindow::ReadRegistryText(RegistryRoot root,
                                                         const std::wstring& subkey,
                                                         const std::wstring& value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootKey(root), Narrow(subkey).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  char data[kRegistryReadCapacity];
  DWORD size = sizeof data;
  const LONG read =
      RegQueryValueExA(key, Narrow(value).c_str(), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  // Longer data is not cut to fit: the movie gets nothing, as for a missing value.
  if (read != ERROR_SUCCESS || size > sizeof data) return std::nullopt;
  // The data need not end in a zero: only the bytes the system wrote are read.
  const std::string_view bytes(data, size);
  return Wide(bytes.substr(0, bytes.find('\0')));
}

void MainWindow::WriteRegistryText(RegistryRoot root, const std::wstring& subkey,
                                   const std::wstring& value, const std::wstring& text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(RootKey(root), Narrow(subkey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::string data = Narrow(text);
  const char* terminated = data.c_str();
  RegSetValueExA(key, Narrow(value).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(terminated),
                 static_cast<DWORD>(std::strlen(terminated) + 1));
  RegCloseKey(key);
}

bool MainWindow::QuerySpriteBound(SpriteBoundValues& values) {
  const SpriteBoundSettings bound = commands_.State().spriteBound;
  const auto flash = Flash();
  if (!bound.Registered() || !flash) return false;
  if (bound.call.set) CallLabel(bound.call.target, bound.call.label);
  auto read = [&](const std::wstring& name) {
    BSTR text = nullptr;
    if (FAILED(flash->GetVariable(Bstr(name).get(), &text))) return 0;
    const UniqueBstr owned(text);
    return text ? ParseMovieInteger(text) : 0;
  };
  values.left = read(bound.left);
  values.right = read(bound.right);
  values.top = read(bound.top);
  values.bottom = read(bound.bottom);
  return true;
}

}  // namespace brim
