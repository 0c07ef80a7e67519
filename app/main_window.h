#pragma once
// The program's one top-level window: a borderless popup at the screen's top-left corner,
// sized to the movie's stage, topmost. It owns everything else of the program's own.
#include <windows.h>
#include <wrl/client.h>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "control/flash_interfaces.h"
#include "packaging/payload_reader.h"
#include "render/host_subclass.h"
#include "render/text_output_hook.h"
#include "scripting/fscommand.h"
#include "scripting/host_services.h"
#include "scripting/movie_event_sink.h"

namespace brim {

class MainWindow final : public HostOwner, public FSCommandTarget, private FsPlatform {
 public:
  static constexpr const char* kClassName = "QuorvelSprite";
  static constexpr UINT_PTR kHoverTimer = 1;
  // How often the hover check asks whether the pointer has left the movie's shape.
  static constexpr UINT kHoverIntervalMs = 100;
  // The control host's child-window id.
  static constexpr int kControlHostId = 100;

  MainWindow();
  ~MainWindow() = default;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Registers the window class (once) and creates the window; WM_CREATE does the set-up.
  HWND Create(HINSTANCE instance);
  HWND Handle() const { return window_; }
  PayloadReader& Payload() { return payload_; }
  const char* CurrentMoviePath() const { return currentMoviePath_; }
  // Plays the movie at `path` from its start and sizes the window to its stage. 1 when the
  // movie was loaded, 0 when its header could not be read (nothing then changes but the items
  // the previous movie added to the context menu).
  int LoadMovie(const char* path);
  // False when set-up could not get a player control; the run then ends.
  bool HasControl() const { return static_cast<bool>(control_); }

  // HostOwner
  HWND MainHandle() const override { return window_; }
  IUnknown* Control() const override { return control_.Get(); }
  int MovieWidth() const override { return movieWidth_; }
  int MovieHeight() const override { return movieHeight_; }
  bool QuerySpriteBound(SpriteBoundValues& values) override;
  bool ClickToMove() const override { return commands_.State().clickToMove; }
  HMENU ContextMenu() const override { return contextMenu_; }
  IUnknown* ControlSite() const override { return hostSiteUnknown_.Get(); }

  // FSCommandTarget
  void OnFSCommand(const std::wstring& command, const std::wstring& args) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  LRESULT OnCreate();
  bool SetUpControl();
  void PutMovie(const char* path);
  void ClearMovieMenus();
  void ResetMovieState();
  // Lets go of the control, its host window and everything tied to them (idempotent).
  void ReleaseControl();
  void OnDestroy();
  void OnCloseRequest();
  void OnSize(WPARAM kind, int width, int height);
  void OnCommand(WORD id);
  void PrepareProjectorMovie();
  void PrepareAuthoringMovie();
  void AddTrayIcon();
  void ShowTrayMenu();
  void ShowAbout();
  // The Open dialog's choice, loaded; the movie given again from its start.
  void OpenMovie();
  void ReplayMovie(const char* path);
  // Create Projector, and the two icons a projector is given (projector_commands.cpp).
  void CreateProjector();
  void ChooseIcon(bool main);
  void RemoveMenuCommand(UINT id);
  // The movie's commands (movie_commands.cpp).
  // The control's scripting interface, or null when it has none (movie_commands.cpp).
  Microsoft::WRL::ComPtr<IShockwaveFlash> Flash() const;
  // What the commands ask of the window and the system (movie_commands.cpp).
  std::wstring UpperCase(std::wstring_view text) override;
  void SetVariable(const std::wstring& name, const std::wstring& value) override;
  void CallLabel(const std::wstring& target, const std::wstring& label) override;
  void SetTitle(const std::wstring& title) override;
  void StartMove() override;
  FsRect WindowRect() override;
  void PlaceWindow(const FsPlacement& placement, bool keepSize) override;
  void ShowWindowAs(WindowShow how) override;
  void SetTopmost(bool on) override;
  void SetSimulate9x(bool on) override;
  void SetDisplayState(std::optional<bool> fullScreen, std::optional<bool> scale) override;
  void SetTaskButton(bool shown) override;
  FsSize ScreenSize() override;
  FsSize FullScreenClientSize() override;
  FsRect WorkArea() override;
  std::wstring InitialDirectory() override;
  int ContextMenuItemCount() override;
  void InsertMenuEntry(int id, const std::wstring* text) override;
  void RemoveMenuItem(int id) override;
  void CheckMenuItem(int id, bool checked) override;
  void StartProgram(const std::wstring& commandLine) override;
  void OpenDocument(const std::wstring& file) override;
  void PostClose() override;
  std::optional<std::wstring> ReadRegistryText(RegistryRoot root, const std::wstring& subkey,
                                               const std::wstring& value) override;
  void WriteRegistryText(RegistryRoot root, const std::wstring& subkey, const std::wstring& value,
                         const std::wstring& text) override;
  // Full screen and scaling, in this order when both change.
  void LayOutControlHost(bool scale);
  void EnterFullScreen();
  void LeaveFullScreen();
  // While in full screen the window keeps covering the desktop, whoever tries to move it.
  void GuardFullScreenPlacement(WINDOWPOS& request) const;

  HWND window_ = nullptr;
  HostSubclass hostSubclass_;
  TextOutHook textOutHook_;
  HWND controlHost_ = nullptr;
  Microsoft::WRL::ComPtr<MovieEventSink> movieEventSink_ = MovieEventSink::Create();
  Microsoft::WRL::ComPtr<IUnknown> control_;
  Microsoft::WRL::ComPtr<IUnknown> hostSiteUnknown_;
  UINT_PTR hoverTimerId_ = 0;
  Microsoft::WRL::ComPtr<HostServices> hostServices_;
  char defaultMoviePath_[kPathCapacity] = {};
  char iconPathA_[kPathCapacity] = {};
  char iconPathB_[kPathCapacity] = {};
  char currentMoviePath_[kPathCapacity] = {};
  char initialDirectory_[kPathCapacity] = {};
  FsCommandDispatcher commands_{*this};
  int fullScreen_ = 0;
  int allowScale_ = 1;
  RECT savedWindowRect_{};
  LONG savedStyle_ = 0;
  int layeredWanted_ = 0;
  int movieWidth_ = 0;
  int movieHeight_ = 0;
  int menuItemBaseCount_ = 0;
  UniqueMenu contextMenuBar_;  // the loaded menu resource; owns contextMenu_
  HMENU contextMenu_ = nullptr;
  UniqueIcon largeIcon_;
  UniqueIcon smallIcon_;
  PayloadReader payload_;
};

}  // namespace brim
