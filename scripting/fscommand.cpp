#include "scripting/fscommand.h"

#include <cwctype>
#include <limits>
#include <vector>

namespace brim {
namespace {

struct Keyword {
  std::wstring_view group;  // empty for the single words
  std::wstring_view name;
  FsCommand command;
};

// The whole command table: from a keyword to what the window does, in one step.
constexpr Keyword kKeywords[] = {
    {L"", L"FULLSCREEN", FsCommand::FullScreen},
    {L"", L"ALLOWSCALE", FsCommand::AllowScale},
    {L"", L"SHOWMENU", FsCommand::ShowMenu},
    {L"", L"EXEC", FsCommand::Exec},
    {L"", L"QUIT", FsCommand::Quit},
    {L"", L"TRAPALLKEYS", FsCommand::TrapAllKeys},
    {L"WIN", L"TITLE", FsCommand::WinTitle},
    {L"WIN", L"CLICKTOMOVE", FsCommand::WinClickToMove},
    {L"WIN", L"MOVE", FsCommand::WinMove},
    {L"WIN", L"SETXY", FsCommand::WinSetXY},
    {L"WIN", L"GETXY", FsCommand::WinGetXY},
    {L"WIN", L"SETRECT", FsCommand::WinSetRect},
    {L"WIN", L"GETRECT", FsCommand::WinGetRect},
    {L"WIN", L"GETWH", FsCommand::WinGetWH},
    {L"WIN", L"SETWH", FsCommand::WinSetWH},
    {L"WIN", L"POS", FsCommand::WinPos},
    {L"WIN", L"MAXIMIZE", FsCommand::WinMaximize},
    {L"WIN", L"MINIMIZE", FsCommand::WinMinimize},
    {L"WIN", L"RESTORE", FsCommand::WinRestore},
    {L"WIN", L"SHOW", FsCommand::WinShow},
    {L"WIN", L"HIDE", FsCommand::WinHide},
    {L"WIN", L"ONTOP", FsCommand::WinOnTop},
    {L"WIN", L"SIMULATE9X", FsCommand::WinSimulate9x},
    {L"SHELL", L"OPEN", FsCommand::ShellOpen},
    {L"SHELL", L"GETINITDIR", FsCommand::ShellGetInitDir},
    {L"SHELL", L"GETSCREENWH", FsCommand::ShellGetScreenWH},
    {L"SHELL", L"GETDESKTOPRECT", FsCommand::ShellGetDesktopRect},
    {L"SHELL", L"KEEPSPEED", FsCommand::ShellKeepSpeed},
    {L"RMENU", L"ADDITEM", FsCommand::RMenuAddItem},
    {L"RMENU", L"ADDSEPERATOR", FsCommand::RMenuAddSeparator},
    {L"RMENU", L"DELITEM", FsCommand::RMenuDelItem},
    {L"RMENU", L"CHECKITEM", FsCommand::RMenuCheckItem},
    {L"TASKBUTTON", L"SHOW", FsCommand::TaskButtonShow},
    {L"TASKBUTTON", L"HIDE", FsCommand::TaskButtonHide},
    {L"EVENT", L"MENU", FsCommand::EventMenu},
    {L"EVENT", L"SPRITEBOUND", FsCommand::EventSpriteBound},
    {L"EVENT", L"APCLOSE", FsCommand::EventApClose},
    {L"REG", L"GET", FsCommand::RegGet},
    {L"REG", L"SET", FsCommand::RegSet},
};

constexpr std::wstring_view kLockWord = L"LOCKFSCOMMAND";
constexpr std::wstring_view kPrefixWord = L"QVL";
constexpr std::wstring_view kTrayGroup = L"SYSTRAY";  // any name: accepted, no effect

// Cuts `text` at `separator` into at most `limit` pieces; nothing when there would be more.
std::optional<std::vector<std::wstring>> Cut(std::wstring_view text, wchar_t separator,
                                             size_t limit) {
  std::vector<std::wstring> pieces(1);
  for (wchar_t c : text) {
    if (c != separator) {
      pieces.back() += c;
    } else if (pieces.size() == limit) {
      return std::nullopt;
    } else {
      pieces.emplace_back();
    }
  }
  return pieces;
}

std::wstring AsciiUpper(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return out;
}

FsCommand Find(std::wstring_view group, std::wstring_view name) {
  for (const Keyword& k : kKeywords) {
    if (k.group == group && k.name == name) return k.command;
  }
  return FsCommand::None;
}

}  // namespace

const std::optional<std::wstring>& FsArguments::Field(size_t n) const {
  static const std::optional<std::wstring> kAbsent;
  return n >= 1 && n <= kMaxFsFields ? fields[n - 1] : kAbsent;
}

bool FsArguments::Flag(size_t n) const {
  const auto& field = Field(n);
  return field && AsciiUpper(*field) == L"TRUE";
}

int32_t FsArguments::Number(size_t n) const {
  const auto& field = Field(n);
  if (!field) return 0;
  size_t i = 0;
  const std::wstring& s = *field;
  while (i < s.size() && std::iswspace(static_cast<wint_t>(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) negative = s[i++] == L'-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < s.size() && s[i] >= L'0' && s[i] <= L'9'; ++i) {
    value = value * 10 + (s[i] - L'0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

void ParseLabelCall(const std::optional<std::wstring>& field, LabelCall& call) {
  if (!field || field->empty()) return;
  const size_t split = field->find_last_of(L":.");
  if (split == std::wstring::npos) return;
  call.set = true;
  call.target = field->substr(0, split);
  call.label = field->substr(split + 1);
}

FsDispatch ParseFsCommand(std::wstring_view command, std::wstring_view argument,
                          bool& commandsLocked, const UpperCaser& upper) {
  FsDispatch out;
  auto toUpper = [&](std::wstring_view text) { return upper ? upper(text) : AsciiUpper(text); };
  const auto parts = Cut(toUpper(command), L'.', 3);
  if (!parts) return out;
  auto fill = [&](std::wstring_view text) {
    const auto fields = Cut(text, L',', kMaxFsFields);
    if (!fields) return false;
    out.args.fields = {};
    for (size_t i = 0; i < fields->size(); ++i) out.args.fields[i] = (*fields)[i];
    return true;
  };
  if (!fill(argument)) return out;
  out.args.whole = std::wstring(argument);

  if ((*parts)[0] == kLockWord) {
    commandsLocked = out.args.Flag(1);
    out.command = FsCommand::LockFsCommand;
    return out;
  }
  if (commandsLocked) return out;
  if (parts->size() == 1 && (*parts)[0] != kPrefixWord) {
    // The single words read their fields without regard to case.
    fill(toUpper(argument));
    out.command = Find(L"", (*parts)[0]);
  } else if (parts->size() == 3 && !(*parts)[1].empty()) {
    // The prefix is not examined: any word there works.
    out.command = (*parts)[1] == kTrayGroup ? FsCommand::SysTray : Find((*parts)[1], (*parts)[2]);
  }
  return out;
}

std::wstring ReplyNumber(int32_t value) { return std::to_wstring(value); }

}  // namespace brim
