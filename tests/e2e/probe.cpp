// A small Win32 helper the whole-program tests run beside Brimloft.exe under Wine: it finds
// windows and reports their state on stdout, closes them, and reads and answers message boxes.
// One command per run; exit code 0 on success, 1 when what was asked for did not happen.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD Now() { return GetTickCount(); }

// Whether `w` belongs to the program named by PROBE_EXE (any program when it is not set), so
// that a test never takes another run's window, a lingering one included, for its own.
bool OwnedByTheProgram(HWND w) {
  const char* want = std::getenv("PROBE_EXE");
  if (!want || !*want) return true;
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return false;
  char path[MAX_PATH * 2] = {};
  DWORD size = sizeof path;
  const BOOL named = QueryFullProcessImageNameA(process, 0, path, &size);
  CloseHandle(process);
  return named && lstrcmpiA(path, want) == 0;
}

struct FindContext {
  const char* className;
  const char* title;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK FindOne(HWND w, LPARAM param) {
  auto* context = reinterpret_cast<FindContext*>(param);
  char cls[128] = {};
  GetClassNameA(w, cls, sizeof cls);
  char title[256] = {};
  if (context->title) GetWindowTextA(w, title, sizeof title);
  if (lstrcmpiA(cls, context->className) != 0 ||
      (context->title && lstrcmpA(title, context->title) != 0) ||
      (context->visibleOnly && !IsWindowVisible(w)) || !OwnedByTheProgram(w)) {
    return TRUE;
  }
  context->found = w;
  return FALSE;
}

HWND FindProgramWindow(const char* className, const char* title = nullptr,
                       bool visibleOnly = false) {
  FindContext context{className, title, visibleOnly, nullptr};
  EnumWindows(FindOne, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

// Finds a top-level window of `className` (a visible one when `visibleOnly`: a window exists
// before its creation has finished setting it up), waiting up to `timeoutMs`.
HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs,
                   bool visibleOnly = true) {
  const DWORD start = Now();
  for (;;) {
    if (HWND w = FindProgramWindow(className, title, visibleOnly)) return w;
    if (Now() - start >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

// A window the program has now: asked again for a moment, so that one look that misses (the
// program's process briefly not answering who it is) does not count as an absence.
HWND ProgramWindow(const char* className, const char* title = nullptr) {
  return WaitForWindow(className, title, 2000, false);
}

void PrintWindow(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  RECT c{};
  GetClientRect(w, &c);
  const LONG style = GetWindowLongA(w, GWL_STYLE);
  const LONG exStyle = GetWindowLongA(w, GWL_EXSTYLE);
  char title[256] = {};
  GetWindowTextA(w, title, sizeof title);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  std::printf(
      "hwnd=%p x=%ld y=%ld width=%ld height=%ld client_width=%ld client_height=%ld "
      "style=0x%08lx exstyle=0x%08lx topmost=%d visible=%d pid=%lu title=%s\n",
      static_cast<void*>(w), r.left, r.top, r.right - r.left, r.bottom - r.top, c.right, c.bottom,
      static_cast<unsigned long>(style), static_cast<unsigned long>(exStyle),
      (exStyle & WS_EX_TOPMOST) ? 1 : 0, IsWindowVisible(w) ? 1 : 0,
      static_cast<unsigned long>(pid), title);
}

struct CountContext {
  const char* className;
  int count;
};

BOOL CALLBACK CountWindow(HWND w, LPARAM param) {
  auto* context = reinterpret_cast<CountContext*>(param);
  char cls[128] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (lstrcmpA(cls, context->className) == 0 && IsWindowVisible(w)) ++context->count;
  return TRUE;
}

BOOL CALLBACK PostCloseTo(HWND w, LPARAM param) {
  char cls[128] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (lstrcmpA(cls, reinterpret_cast<const char*>(param)) == 0) PostMessageA(w, WM_CLOSE, 0, 0);
  return TRUE;
}

struct BoxContents {
  std::vector<std::string> texts;
  std::vector<std::string> buttons;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  auto* box = reinterpret_cast<BoxContents*>(param);
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  char text[1024] = {};
  GetWindowTextA(child, text, sizeof text);
  if (lstrcmpiA(cls, "Button") == 0) {
    box->buttons.emplace_back(text);
  } else if (lstrcmpiA(cls, "Static") == 0 && text[0]) {
    box->texts.emplace_back(text);
  }
  return TRUE;
}

BOOL CALLBACK FindEdit(HWND child, LPARAM param) {
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Edit") != 0 || !IsWindowVisible(child)) return TRUE;
  *reinterpret_cast<HWND*>(param) = child;
  return FALSE;
}

int Usage() {
  std::fprintf(stderr,
               "usage: probe wait-window CLASS [TIMEOUT_MS]\n"
               "       probe wait-gone CLASS [TIMEOUT_MS]\n"
               "       probe close CLASS\n"
               "       probe wait-msgbox CAPTION [TIMEOUT_MS]\n"
               "       probe press-ok CAPTION\n"
               "       probe temp-path\n"
               "       probe metrics\n"
               "       probe fill-dialog CAPTION TEXT\n"
               "       probe menu-items [TIMEOUT_MS]\n"
               "       probe post-command CLASS ID\n"
               "       probe region CLASS\n"
               "       probe count CLASS\n"
               "       probe close-all CLASS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  const DWORD timeout = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10000;

  if (command == "temp-path") {
    char path[MAX_PATH] = {};
    GetTempPathA(sizeof path, path);
    std::printf("%s\n", path);
    return 0;
  }
  if (command == "metrics") {
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    std::printf("screen_width=%d screen_height=%d full_width=%d full_height=%d work=%ld,%ld,%ld,%ld\n",
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN), work.left,
                work.top, work.right, work.bottom);
    return 0;
  }
  if (command == "menu-items") {
    // The items of the popup menu on screen, with their check marks.
    HWND popup = WaitForWindow("#32768", nullptr, argc > 2 ? std::strtoul(argv[2], nullptr, 10)
                                                          : 10000);
    if (!popup) return 1;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, 0x01E1, 0, 0));  // MN_GETHMENU
    if (!menu) return 1;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[256] = {};
      GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
      std::printf("item=%s|%s\n", (state & MF_CHECKED) ? "checked" : "", text);
    }
    return 0;
  }
  if (argc < 3) return Usage();
  const char* name = argv[2];

  if (command == "wait-window") {
    HWND w = WaitForWindow(name, nullptr, timeout);
    if (!w) return 1;
    PrintWindow(w);
    return 0;
  }
  if (command == "wait-gone") {
    const DWORD start = Now();
    while (FindProgramWindow(name)) {
      if (Now() - start >= timeout) return 1;
      Sleep(50);
    }
    return 0;
  }
  if (command == "close") {
    HWND w = ProgramWindow(name);
    return w && PostMessageA(w, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (command == "close-all") {
    EnumWindows(PostCloseTo, reinterpret_cast<LPARAM>(name));
    return 0;
  }
  if (command == "count") {
    CountContext context{name, 0};
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&context));
    std::printf("count=%d\n", context.count);
    return 0;
  }
  if (command == "post-command") {
    HWND w = ProgramWindow(name);
    if (!w || argc < 4) return 1;
    return PostMessageA(w, WM_COMMAND, std::strtoul(argv[3], nullptr, 10), 0) ? 0 : 1;
  }
  if (command == "region") {
    // The window's region as one-pixel-high runs merged by the system into rectangles, in
    // window coordinates; "region=none" when the window has no region at all.
    HWND w = ProgramWindow(name);
    if (!w) return 1;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const int kind = GetWindowRgn(w, region);
    if (kind == ERROR) {
      std::printf("region=none\n");
      DeleteObject(region);
      return 0;
    }
    const DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<char> data(size);
    auto* rgn = reinterpret_cast<RGNDATA*>(data.data());
    GetRegionData(region, size, rgn);
    const RECT* rects = reinterpret_cast<const RECT*>(rgn->Buffer);
    std::printf("region=%lu\n", static_cast<unsigned long>(rgn->rdh.nCount));
    for (DWORD i = 0; i < rgn->rdh.nCount; ++i) {
      std::printf("rect=%ld,%ld,%ld,%ld\n", rects[i].left, rects[i].top, rects[i].right,
                  rects[i].bottom);
    }
    DeleteObject(region);
    return 0;
  }
  if (command == "wait-msgbox") {
    HWND box = WaitForWindow("#32770", name, timeout);
    if (!box) return 1;
    BoxContents contents;
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&contents));
    for (const auto& t : contents.texts) std::printf("text=%s\n", t.c_str());
    for (const auto& b : contents.buttons) std::printf("button=%s\n", b.c_str());
    return 0;
  }
  if (command == "fill-dialog") {
    // A file dialog's name field filled in and the dialog accepted, as a user would.
    HWND box = WaitForWindow("#32770", name, 15000);
    if (!box || argc < 4) return 1;
    HWND edit = nullptr;
    EnumChildWindows(box, FindEdit, reinterpret_cast<LPARAM>(&edit));
    if (!edit) return 1;
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
    return PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)))
               ? 0
               : 1;
  }
  if (command == "press-ok") {
    HWND box = ProgramWindow("#32770", name);
    if (!box) return 1;
    return PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0) ? 0 : 1;
  }
  return Usage();
}
