#pragma once
// The command language a movie speaks through fscommand: "QVL.GROUP.NAME" commands and single
// words, with up to five comma-separated argument fields, and the table from each keyword to
// what it does. Portable: an FsPlatform carries the commands out (the window's Win32 calls in
// the program, a recorder in the tests).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brim {

constexpr size_t kMaxFsFields = 5;

// The argument cut at its commas. A field the argument does not reach is absent, which is not
// the same as empty.
struct FsArguments {
  std::array<std::optional<std::wstring>, kMaxFsFields> fields;
  std::wstring whole;  // as the movie sent it, for EXEC

  // Field n, counted from 1.
  const std::optional<std::wstring>& Field(size_t n) const;
  // The field's text; an absent field reads as empty.
  std::wstring Text(size_t n) const { return Field(n).value_or(std::wstring()); }
  // True when the field, upper-cased, is "TRUE"; anything else (absent included) is false.
  bool Flag(size_t n) const;
  // A signed 32-bit decimal read the way _wtol reads it: leading white space, one sign, digits
  // up to the first non-digit ("12px" is 12, "abc" 0); absent is 0. Out-of-range values clamp.
  int32_t Number(size_t n) const;
};

// A frame label to call back later, registered by the EVENT commands.
struct LabelCall {
  bool set = false;
  std::wstring target;  // the timeline, "/" or "_root.menu"
  std::wstring label;
};

// Updates `call` from a field "target:label" or "target.label" (the last ':' or '.' splits).
// An empty or absent field, or one with neither separator, leaves the call as it was.
void ParseLabelCall(const std::optional<std::wstring>& field, LabelCall& call);

// A number as replies carry it: the shortest decimal text.
std::wstring ReplyNumber(int32_t value);

struct FsRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct FsSize {
  int32_t width = 0, height = 0;
};
// A window placement as the system takes it: corner and size.
struct FsPlacement {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

enum class WindowShow { Maximize, Minimize, Restore, Show, Hide };

enum class RegistryRoot {
  ClassesRoot,
  CurrentUser,
  LocalMachine,
  Users,
  PerformanceData,
  CurrentConfig,
  DynData,
};

// Items a movie adds to the context menu carry the command ids kMovieItemBase + n, n below
// kMovieItemCount; they are added only while the menu has at most kMenuSizeLimit entries.
constexpr int kMovieItemBase = 25000;
constexpr int kMovieItemCount = 100;
constexpr int kMenuSizeLimit = 100;

// What the commands need of the window, the system and the movie. Every call's failure is the
// system's business: nothing is reported back to the movie.
class FsPlatform {
 public:
  // Upper-cases as the system's code page does; text it cannot convert comes back as it was.
  virtual std::wstring UpperCase(std::wstring_view text) = 0;

  // The movie (through the control).
  virtual void SetVariable(const std::wstring& name, const std::wstring& value) = 0;
  virtual void CallLabel(const std::wstring& target, const std::wstring& label) = 0;

  // The window.
  virtual void SetTitle(const std::wstring& title) = 0;
  // A system move of the window from the cursor; returns when the user lets go.
  virtual void StartMove() = 0;
  virtual FsRect WindowRect() = 0;
  // Moves the window, and sizes it unless `keepSize`.
  virtual void PlaceWindow(const FsPlacement& placement, bool keepSize) = 0;
  virtual void ShowWindowAs(WindowShow how) = 0;
  virtual void SetTopmost(bool on) = 0;
  virtual void SetSimulate9x(bool on) = 0;
  // Full screen and scaling; nothing means "keep as it is".
  virtual void SetDisplayState(std::optional<bool> fullScreen, std::optional<bool> scale) = 0;
  virtual void SetTaskButton(bool shown) = 0;

  // The screen.
  virtual FsSize ScreenSize() = 0;
  // The client area of a maximized window (less the taskbar and a caption), for alignment.
  virtual FsSize FullScreenClientSize() = 0;
  virtual FsRect WorkArea() = 0;
  virtual std::wstring InitialDirectory() = 0;

  // The context menu; a count below 0 means there is no menu.
  virtual int ContextMenuItemCount() = 0;
  // Inserts at the top: a text item, or a separator when `text` is null.
  virtual void InsertMenuEntry(int id, const std::wstring* text) = 0;
  virtual void RemoveMenuItem(int id) = 0;
  virtual void CheckMenuItem(int id, bool checked) = 0;

  // Programs and the end of this one.
  virtual void StartProgram(const std::wstring& commandLine) = 0;
  virtual void OpenDocument(const std::wstring& file) = 0;
  virtual void PostClose() = 0;

  // The registry's string values. A read gives the data as text up to its first zero (or its
  // end), or nothing when the key or value is missing or the data is too long to take.
  virtual std::optional<std::wstring> ReadRegistryText(RegistryRoot root,
                                                       const std::wstring& subkey,
                                                       const std::wstring& value) = 0;
  virtual void WriteRegistryText(RegistryRoot root, const std::wstring& subkey,
                                 const std::wstring& value, const std::wstring& text) = 0;

 protected:
  ~FsPlatform() = default;
};

// Where the movie keeps its sprite bound: a frame call run before each paint and the four
// variables read after it.
struct SpriteBoundSettings {
  LabelCall call;
  std::wstring left, right, top, bottom;
  bool Registered() const { return call.set || !left.empty(); }
};

// What the commands remember between calls.
struct FsScriptState {
  bool commandsLocked = false;
  bool quitDisabled = false;  // the user's menu option
  bool closeInterceptArmed = true;
  bool clickToMove = true;
  LabelCall menuCall;
  std::wstring menuVariable;
  SpriteBoundSettings spriteBound;
  LabelCall closeCall;
};

class FsCommandDispatcher {
 public:
  explicit FsCommandDispatcher(FsPlatform& platform) : platform_(platform) {}

  // One fscommand from the movie. Bad grammar, unknown keywords and commands sent while the
  // movie has locked them are dropped without a word.
  void Dispatch(std::wstring_view command, std::wstring_view argument);
  // The user picked the movie's own menu item `number`.
  void OnMenuPick(int number);
  // The user (or the system) asks the window to close: true when the movie takes the request
  // and the window stays.
  bool InterceptClose();
  // Another movie is loaded: what the last one registered and locked is forgotten.
  void ResetForNewMovie();

  FsScriptState& State() { return state_; }
  const FsScriptState& State() const { return state_; }
  FsPlatform& Platform() { return platform_; }

  // Replies and calls were made this deep inside one another; deeper commands are dropped so
  // that a movie answering its own replies with commands cannot recurse without end.
  static constexpr int kMaxNesting = 16;

 private:
  FsPlatform& platform_;
  FsScriptState state_;
  int nesting_ = 0;
};

}  // namespace brim
