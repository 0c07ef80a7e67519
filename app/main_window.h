#pragma once
// The program's one top-level window: a borderless popup at the screen's top-left corner,
// sized to the movie's stage, topmost. It owns everything else of the program's own.
#include <windows.h>

#include "app/bounded_text.h"
#include "packaging/payload_reader.h"

namespace brim {

class MainWindow {
 public:
  static constexpr const char* kClassName = "QuorvelSprite";
  static constexpr UINT_PTR kHoverTimer = 1;

  MainWindow() = default;
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Registers the window class (once) and creates the window; WM_CREATE does the set-up.
  HWND Create(HINSTANCE instance);
  HWND Handle() const { return window_; }
  PayloadReader& Payload() { return payload_; }
  const char* CurrentMoviePath() const { return currentMoviePath_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  LRESULT OnCreate();
  void OnDestroy();
  void OnCloseRequest();
  void OnSize(WPARAM kind, int width, int height);
  void OnCommand(WORD id);
  void PrepareProjectorMovie();
  void PrepareAuthoringMovie();
  void AddTrayIcon();
  void RemoveMenuCommand(UINT id);

  HWND window_ = nullptr;
  HWND controlHost_ = nullptr;
  int clickToMove_ = 1;
  UINT_PTR hoverTimerId_ = 0;
  char defaultMoviePath_[kPathCapacity] = {};
  char iconPathA_[kPathCapacity] = {};
  char iconPathB_[kPathCapacity] = {};
  char currentMoviePath_[kPathCapacity] = {};
  char initialDirectory_[kPathCapacity] = {};
  int fullScreen_ = 0;
  int allowScale_ = 1;
  int layeredWanted_ = 0;
  int closeInterceptArmed_ = 1;
  int quitDisabled_ = 0;
  int commandsLocked_ = 0;
  int movieWidth_ = 0;
  int movieHeight_ = 0;
  int menuItemBaseCount_ = 0;
  HMENU contextMenuBar_ = nullptr;  // the loaded menu resource; owns contextMenu_
  HMENU contextMenu_ = nullptr;
  HICON largeIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  PayloadReader payload_;
};

}  // namespace brim
