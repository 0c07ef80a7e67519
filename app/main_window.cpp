#include "app/main_window.h"

#include <ocidl.h>
#include <shellapi.h>

#include "app/process_state.h"
#include "app/start_page_resource.h"
#include "app/swf_header.h"
#include "base/ansi_text.h"
#include "base/show_message.h"
#include "base/temp_file.h"
#include "control/flash_interfaces.h"
#include "host/ax_host.h"
#include "packaging/runtime_provisioning.h"
#include "render/surface_emulator.h"
#include "resources/resource_ids.h"

using Microsoft::WRL::ComPtr;

namespace brim {

namespace {

// The window being created: CreateWindowExA takes no creation parameter here, so the object
// reaches its first messages through this.
MainWindow* g_creating = nullptr;

// The size Windows 2000 and later accept for the first version of the tray icon structure.
constexpr DWORD kTrayIconDataSize = 88;

UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageA("TaskbarCreated");
  return message;
}

NOTIFYICONDATAA TrayIconData(HWND window) {
  NOTIFYICONDATAA data{};
  data.cbSize = kTrayIconDataSize;
  data.hWnd = window;
  data.uID = IDC_TRAY_ICON;
  return data;
}

}  // namespace

MainWindow::MainWindow() : hostServices_(HostServices::Create(&CreateSurfaceEmulator)) {}

HWND MainWindow::Create(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MAIN));
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  RegisterClassExA(&wc);

  g_creating = this;
  HWND made = CreateWindowExA(0, kClassName, "Brimloft", WS_POPUP | WS_SYSMENU, 0, 0, 0, 0, nullptr,
                              nullptr, instance, nullptr);
  g_creating = nullptr;
  return made;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self && g_creating) {
    self = g_creating;
    self->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
  }
  return result;
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_CLOSE:
      OnCloseRequest();
      return 0;
    case WM_SIZE:
      OnSize(wParam, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_SETFOCUS:
      // Coming back to the window gives the keyboard back to the movie, as it had it before.
      if (controlHost_) SetFocus(controlHost_);
      return 0;
    case WM_PAINT: {
      // Everything visible is drawn by the control's host; this only validates.
      const PaintDC validated(window_);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_WINDOWPOSCHANGING:
      GuardFullScreenPlacement(*reinterpret_cast<WINDOWPOS*>(lParam));
      return DefWindowProcA(window_, message, wParam, lParam);
    case WM_DISPLAYCHANGE:
      if (controlHost_) SendMessageA(controlHost_, message, wParam, lParam);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kHoverTimer) hostSubclass_.ReportPointerOutside();
      return 0;
    case WM_TRAY_CALLBACK:
      if (wParam == IDC_TRAY_ICON && lParam == WM_LBUTTONDOWN) ShowTrayMenu();
      return 0;
    default:
      // Explorer restarted: its new notification area knows nothing of our icon.
      if (message == TaskbarCreatedMessage() && message != 0 && !payload_.Loaded()) {
        AddTrayIcon();
        return 0;
      }
      return DefWindowProcA(window_, message, wParam, lParam);
  }
}

LRESULT MainWindow::OnCreate() {
  if (hostServices_) {
    hostServices_->SetWindow(window_);
    hostServices_->Binding().SetProjectorMode(payload_.Loaded());
  }
  commands_.State() = FsScriptState();
  fullScreen_ = 0;
  g_speedLevel = 1;
  iconPathA_[0] = iconPathB_[0] = '\0';

  RECT client{};
  GetClientRect(window_, &client);
  controlHost_ =
      CreateWindowExA(0, kAxHostClass, nullptr, WS_CHILD | WS_VISIBLE, client.left, client.top,
                      client.right - client.left, client.bottom - client.top, window_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlHostId)),
                      GetModuleHandleA(nullptr), nullptr);
  layeredWanted_ = hostSubclass_.IsLayeredCapable() ? 1 : 0;
  if (layeredWanted_) {
    SetWindowLongA(window_, GWL_EXSTYLE, GetWindowLongA(window_, GWL_EXSTYLE) | WS_EX_LAYERED);
  }
  SetWindowLongA(window_, GWL_STYLE, GetWindowLongA(window_, GWL_STYLE) & ~WS_CAPTION);

  if (!SetUpControl()) {
    // Nothing can play without a control: say so once and let the run end.
    ReleaseControl();
    ShowMessage(IDS_NO_FLASH_CONTROL, nullptr);
    return -1;
  }

  largeIcon_.reset();
  smallIcon_.reset();
  hoverTimerId_ = SetTimer(window_, kHoverTimer, kHoverIntervalMs, nullptr);

  contextMenuBar_.reset(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_CONTEXT_MENU)));
  contextMenu_ = contextMenuBar_ ? GetSubMenu(contextMenuBar_.get(), 0) : nullptr;
  if (contextMenu_) {
    if (layeredWanted_) {
      ::CheckMenuItem(contextMenu_, ID_SIMULATE_9X, MF_BYCOMMAND | MF_UNCHECKED);
    } else {
      RemoveMenuCommand(ID_SIMULATE_9X);
    }
  }

  if (payload_.Loaded()) {
    PrepareProjectorMovie();
  } else {
    PrepareAuthoringMovie();
  }
  menuItemBaseCount_ = contextMenu_ ? GetMenuItemCount(contextMenu_) : 0;

  ReadStageSize(currentMoviePath_, &movieWidth_, &movieHeight_);
  FitStageToWindowLimit(&movieWidth_, &movieHeight_);
  PutMovie(currentMoviePath_);
  SetWindowPos(window_, HWND_TOPMOST, 0, 0, movieWidth_, movieHeight_,
               SWP_NOMOVE | SWP_NOOWNERZORDER);
  ShowWindow(window_, SW_SHOW);
  RedrawWindow(controlHost_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  if (hostSubclass_.DrawFailed()) {
    // A control that cannot draw its first frame is no better than none.
    ShowWindow(window_, SW_HIDE);
    ReleaseControl();
    ShowMessage(IDS_NO_FLASH_CONTROL, nullptr);
    return -1;
  }
  return 0;
}

bool MainWindow::SetUpControl() {
  if (!controlHost_) return false;
  auto* host = reinterpret_cast<IUnknown*>(SendMessageA(controlHost_, AxGetHostMessage(), 0, 0));
  ComPtr<IAxWinHostWindow> hostWindow;
  ComPtr<IObjectWithSite> withSite;
  if (!host ||
      FAILED(host->QueryInterface(IID_IUnknown,
                                  reinterpret_cast<void**>(hostSiteUnknown_.GetAddressOf()))) ||
      FAILED(host->QueryInterface(IID_IAxWinHostWindow,
                                  reinterpret_cast<void**>(hostWindow.GetAddressOf()))) ||
      FAILED(host->QueryInterface(IID_IObjectWithSite,
                                  reinterpret_cast<void**>(withSite.GetAddressOf())))) {
    return false;
  }
  if (!hostServices_ || FAILED(withSite->SetSite(hostServices_.Get()))) return false;

  if (FAILED(CreateFlashControl(payload_, control_.ReleaseAndGetAddressOf())) || !control_) {
    control_.Reset();
    return false;
  }
  // The control's interface table lies in its module, whichever copy it was loaded from. The
  // tests switch the patch off to show what device text looks like without it.
  if (GetEnvironmentVariableW(L"BRIMLOFT_TEST_NO_TEXT_HOOK", nullptr, 0) == 0) {
    textOutHook_.Install(*reinterpret_cast<void* const*>(control_.Get()));
  }
  if (const auto flash = Flash()) {
    const UniqueBstr opaque(SysAllocString(L"Opaque"));
    flash->put_WMode(opaque.get());
  }
  // A control that cannot be activated or cannot tell us its events would give a window that
  // shows nothing and hears nothing: the same as having no control.
  if (FAILED(hostWindow->AttachControl(control_.Get(), controlHost_)) || !movieEventSink_ ||
      !movieEventSink_->Connect(control_.Get(), this)) {
    if (movieEventSink_) movieEventSink_->Disconnect();
    control_.Reset();
    return false;
  }
  hostSubclass_.Attach(controlHost_, this);
  return true;
}

void MainWindow::PutMovie(const char* path) {
  const auto flash = Flash();
  if (!flash) return;
  // Paths are ANSI text in the system's code page; the control takes wide text.
  const UniqueBstr movie(SysAllocString(Wide(path).c_str()));
  flash->put_Movie(movie.get());
}

int MainWindow::LoadMovie(const char* path) {
  ClearMovieMenus();
  if (ReadStageSize(path, &movieWidth_, &movieHeight_) != 0) return 0;
  FitStageToWindowLimit(&movieWidth_, &movieHeight_);
  CopyText(currentMoviePath_, path);
  g_speedLevel = 2;
  ResetMovieState();
  PutMovie(currentMoviePath_);
  SetDisplayState(std::nullopt, true);
  fullScreen_ = 0;

  RECT rect{};
  GetClientRect(window_, &rect);
  POINT topLeft{rect.left, rect.top};
  ClientToScreen(window_, &topLeft);
  rect = {topLeft.x, topLeft.y, topLeft.x + movieWidth_, topLeft.y + movieHeight_};
  AdjustWindowRect(&rect, static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE)), FALSE);
  MoveWindow(window_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);

  char directory[kPathCapacity];
  CopyText(directory, currentMoviePath_);
  if (KeepDirectory(directory)) {
    CopyText(initialDirectory_, directory);
    SetCurrentDirectoryA(initialDirectory_);
  }
  RedrawWindow(controlHost_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  SetFocus(controlHost_);
  return 1;
}

void MainWindow::ClearMovieMenus() {
  if (!contextMenu_) return;
  // Movies put their items above ours; at most 100 of them.
  int added = GetMenuItemCount(contextMenu_) - menuItemBaseCount_;
  if (added > 100) added = 100;
  for (int i = 0; i < added; ++i) RemoveMenu(contextMenu_, 0, MF_BYPOSITION);
}

void MainWindow::ResetMovieState() { commands_.ResetForNewMovie(); }

void MainWindow::PrepareProjectorMovie() {
  if (!MakeTempFileName(currentMoviePath_)) {
    ShowMessage(IDS_TEMP_CREATE_FAILED, window_);
    return;
  }
  payload_.WriteMovieFile(currentMoviePath_);

  char own[kPathCapacity];
  DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  if (n > 0 && n < sizeof own && KeepDirectory(own)) {
    CopyText(initialDirectory_, own);
    SetCurrentDirectoryA(initialDirectory_);
  }

  if (contextMenu_) {
    for (UINT id : {ID_OPEN, ID_RELOAD, ID_CREATE_PROJECTOR, ID_CHANGE_ICON, ID_SIMULATE_9X,
                    ID_START_PAGE, ID_DISABLE_QUIT}) {
      RemoveMenuCommand(id);
    }
    for (int i = 0; i < 3; ++i) RemoveMenu(contextMenu_, 0, MF_BYPOSITION);
  }
}

void MainWindow::PrepareAuthoringMovie() {
  char own[kPathCapacity];
  DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  if (n > 0 && n < sizeof own && KeepDirectory(own) && AppendText(own, "Brimloft.swf")) {
    CopyText(currentMoviePath_, own);
  }
  CopyText(defaultMoviePath_, currentMoviePath_);
  AddTrayIcon();
  if (currentMoviePath_[0]) {
    WriteStartPageMovie(GetModuleHandleA(nullptr), currentMoviePath_, window_);
  }
}

void MainWindow::AddTrayIcon() {
  NOTIFYICONDATAA data = TrayIconData(window_);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = WM_TRAY_CALLBACK;
  data.hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN));
  CopyText(data.szTip, "Brimloft");
  Shell_NotifyIconA(NIM_ADD, &data);
  if (data.hIcon) DestroyIcon(data.hIcon);
}

void MainWindow::RemoveMenuCommand(UINT id) { RemoveMenu(contextMenu_, id, MF_BYCOMMAND); }

void MainWindow::OnCloseRequest() {
  // A movie that registered a close call decides for itself, and ends the run with QUIT.
  if (!commands_.InterceptClose()) DestroyWindow(window_);
}

void MainWindow::ReleaseControl() {
  NOTIFYICONDATAA data = TrayIconData(window_);
  Shell_NotifyIconA(NIM_DELETE, &data);
  if (hoverTimerId_) {
    KillTimer(window_, hoverTimerId_);
    hoverTimerId_ = 0;
  }
  if (movieEventSink_) movieEventSink_->Disconnect();
  hostSubclass_.Detach();
  control_.Reset();
  textOutHook_.Remove();
  // The host window holds the control until it is destroyed; a window whose creation fails is
  // torn down without its children hearing of it, so the host goes here, not with its parent.
  if (controlHost_) {
    DestroyWindow(controlHost_);
    controlHost_ = nullptr;
  }
  hostSiteUnknown_.Reset();
}

void MainWindow::OnDestroy() {
  ReleaseControl();
  contextMenu_ = nullptr;
  contextMenuBar_.reset();
  largeIcon_.reset();
  smallIcon_.reset();
  PostQuitMessage(0);
}

void MainWindow::OnSize(WPARAM kind, int width, int height) {
  switch (kind) {
    case SIZE_RESTORED:
      if (controlHost_) {
        SetWindowPos(controlHost_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOCOPYBITS);
      }
      break;
    case SIZE_MAXIMIZED:
      ShowWindow(window_, SW_SHOW);
      break;
    case SIZE_MAXHIDE:
      ShowWindow(window_, SW_HIDE);
      break;
    default:
      break;
  }
}

void MainWindow::OnCommand(WORD id) {
  switch (id) {
    case ID_EXIT:
      PostMessageA(window_, WM_CLOSE, 0, 0);
      break;
    case ID_SIMULATE_9X:
      SetSimulate9x(layeredWanted_ != 0);
      break;
    case ID_OPEN:
      OpenMovie();
      break;
    case ID_RELOAD:
      ReplayMovie(currentMoviePath_);
      break;
    case ID_START_PAGE:
      CopyText(currentMoviePath_, defaultMoviePath_);
      ReplayMovie(currentMoviePath_);
      break;
    case ID_ABOUT:
      ShowAbout();
      break;
    case ID_CREATE_PROJECTOR:
      CreateProjector();
      break;
    case ID_CHANGE_ICON:
      ChooseIcon(true);
      break;
    case ID_CHOOSE_ICON_B:
      ChooseIcon(false);
      break;
    case ID_SHOW:
      ShowWindow(window_, SW_SHOW);
      break;
    case ID_HIDE:
      ShowWindow(window_, SW_HIDE);
      break;
    case ID_DISABLE_QUIT: {
      bool& disabled = commands_.State().quitDisabled;
      disabled = !disabled;
      ::CheckMenuItem(contextMenu_, ID_DISABLE_QUIT,
                      MF_BYCOMMAND | (disabled ? MF_CHECKED : MF_UNCHECKED));
      break;
    }
    default:
      if (id >= kMovieItemBase && id < kMovieItemBase + kMovieItemCount) {
        commands_.OnMenuPick(id - kMovieItemBase);
      }
      break;
  }
}

}  // namespace brim
