#pragma once
// The command language a movie speaks through fscommand: "QVL.GROUP.NAME" commands and single
// words, with up to five comma-separated argument fields. Portable: the Win32 side supplies the
// code page's upper-casing and carries the commands out.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brim {

// Every command the table knows; the window acts on these.
enum class FsCommand {
  None,  // dropped: bad grammar, unknown keyword, or commands locked
  LockFsCommand,
  FullScreen,
  AllowScale,
  ShowMenu,
  Exec,
  Quit,
  TrapAllKeys,
  WinTitle,
  WinClickToMove,
  WinMove,
  WinSetXY,
  WinGetXY,
  WinSetRect,
  WinGetRect,
  WinGetWH,
  WinSetWH,
  WinPos,
  WinMaximize,
  WinMinimize,
  WinRestore,
  WinShow,
  WinHide,
  WinOnTop,
  WinSimulate9x,
  ShellOpen,
  ShellGetInitDir,
  ShellGetScreenWH,
  ShellGetDesktopRect,
  ShellKeepSpeed,
  RMenuAddItem,
  RMenuAddSeparator,
  RMenuDelItem,
  RMenuCheckItem,
  SysTray,
  TaskButtonShow,
  TaskButtonHide,
  EventMenu,
  EventSpriteBound,
  EventApClose,
  RegGet,
  RegSet,
};

constexpr size_t kMaxFsFields = 5;

// The argument cut at its commas. A field the argument does not reach is absent, which is not
// the same as empty.
struct FsArguments {
  std::array<std::optional<std::wstring>, kMaxFsFields> fields;
  std::wstring whole;  // as the movie sent it, for EXEC

  // Field n, counted from 1.
  const std::optional<std::wstring>& Field(size_t n) const;
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

// Upper-cases text as the system's code page does; the command matches in any letter case.
using UpperCaser = std::function<std::wstring(std::wstring_view)>;

struct FsDispatch {
  FsCommand command = FsCommand::None;
  FsArguments args;
};

// Parses one fscommand and finds what it names. LOCKFSCOMMAND is applied here (whatever its
// other parts), and while `commandsLocked` is set every other command comes back as None.
FsDispatch ParseFsCommand(std::wstring_view command, std::wstring_view argument,
                          bool& commandsLocked, const UpperCaser& upper);

// A number as replies carry it: the shortest decimal text.
std::wstring ReplyNumber(int32_t value);

}  // namespace brim
