#include "scripting/fscommand.h"

#include <cwctype>
#include <limits>
#include <vector>

namespace brim {
namespace {

using Handler = void (*)(FsCommandDispatcher&, const FsArguments&);

int32_t Clamp32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// Answers the movie: value i goes to the variable named by field i. A name the movie did not
// send is skipped; an empty one is still set.
void Reply(FsCommandDispatcher& d, const FsArguments& a, std::initializer_list<std::wstring> values) {
  size_t n = 1;
  for (const std::wstring& value : values) {
    if (const auto& name = a.Field(n++)) d.Platform().SetVariable(*name, value);
  }
}

void ReplyNumbers(FsCommandDispatcher& d, const FsArguments& a, int64_t v1, int64_t v2) {
  Reply(d, a, {ReplyNumber(Clamp32(v1)), ReplyNumber(Clamp32(v2))});
}

void ReplyRect(FsCommandDispatcher& d, const FsArguments& a, const FsRect& r) {
  Reply(d, a, {ReplyNumber(r.left), ReplyNumber(r.top), ReplyNumber(r.right),
               ReplyNumber(r.bottom)});
}

// One edge pair of "WIN.POS": 1 puts the window at the start, 2 in the middle (rounded towards
// minus infinity, as a shift does), 3 at the end of 0..extent; anything else leaves it.
void Align(int where, int64_t extent, int64_t& low, int64_t& high) {
  const int64_t size = high - low;
  switch (where) {
    case 1:
      low = 0;
      break;
    case 2:
      low = (extent - size) >> 1;
      break;
    case 3:
      low = extent - size;
      break;
    default:
      return;
  }
  high = low + size;
}

int AlignmentOf(FsCommandDispatcher& d, const FsArguments& a, size_t n,
                std::wstring_view start, std::wstring_view end) {
  const std::wstring word = d.Platform().UpperCase(a.Text(n));
  if (word == start) return 1;
  if (word == L"MIDDLE") return 2;
  if (word == end) return 3;
  return 0;
}

void AlignToScreen(FsCommandDispatcher& d, const FsArguments& a) {
  const int horizontal = AlignmentOf(d, a, 1, L"LEFT", L"RIGHT");
  const int vertical = AlignmentOf(d, a, 2, L"TOP", L"BOTTOM");
  const FsSize screen = d.Platform().FullScreenClientSize();
  const FsRect r = d.Platform().WindowRect();
  int64_t left = r.left, right = r.right, top = r.top, bottom = r.bottom;
  Align(horizontal, screen.width, left, right);
  Align(vertical, screen.height, top, bottom);
  d.Platform().PlaceWindow(
      {Clamp32(left), Clamp32(top), Clamp32(right - left), Clamp32(bottom - top)}, false);
}

// A movie item's number, or nothing when it is outside the items' range or there is no menu.
std::optional<int> MenuItemId(FsCommandDispatcher& d, const FsArguments& a) {
  const int32_t n = a.Number(1);
  if (n < 0 || n >= kMovieItemCount || d.Platform().ContextMenuItemCount() < 0) return {};
  return kMovieItemBase + n;
}

void AddMenuEntry(FsCommandDispatcher& d, const FsArguments& a, bool separator) {
  const auto id = MenuItemId(d, a);
  if (!id || d.Platform().ContextMenuItemCount() > kMenuSizeLimit) return;
  const std::wstring text = a.Text(2);
  d.Platform().InsertMenuEntry(*id, separator ? nullptr : &text);
}

struct RegistryKey {
  RegistryRoot root;
  std::wstring subkey;
};

// "HKEY_CURRENT_USER\Software\Game": the root's name exactly as written here, a backslash, the
// rest. Abbreviations and other letter cases are not roots.
std::optional<RegistryKey> SplitRegistryPath(const std::wstring& path) {
  static constexpr struct {
    std::wstring_view name;
    RegistryRoot root;
  } kRoots[] = {
      {L"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
      {L"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
      {L"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
      {L"HKEY_USERS", RegistryRoot::Users},
      {L"HKEY_PERFORMANCE_DATA", RegistryRoot::PerformanceData},
      {L"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
      {L"HKEY_DYN_DATA", RegistryRoot::DynData},
  };
  const size_t slash = path.find(L'\\');
  if (slash == std::wstring::npos) return {};
  const std::wstring_view name(path.data(), slash);
  for (const auto& r : kRoots) {
    if (r.name == name) return RegistryKey{r.root, path.substr(slash + 1)};
  }
  return {};
}

void ReadRegistry(FsCommandDispatcher& d, const FsArguments& a) {
  const auto key = SplitRegistryPath(a.Text(1));
  if (!key) return;
  const auto text = d.Platform().ReadRegistryText(key->root, key->subkey, a.Text(2));
  const auto& name = a.Field(3);
  if (text && name) d.Platform().SetVariable(*name, *text);
}

void WriteRegistry(FsCommandDispatcher& d, const FsArguments& a) {
  if (const auto key = SplitRegistryPath(a.Text(1))) {
    d.Platform().WriteRegistryText(key->root, key->subkey, a.Text(2), a.Text(3));
  }
}

void RegisterSpriteBound(FsCommandDispatcher& d, const FsArguments& a) {
  SpriteBoundSettings& bound = d.State().spriteBound;
  ParseLabelCall(a.Field(1), bound.call);
  const std::wstring base = a.Text(2);
  bound.left = base + L".xMin";
  bound.right = base + L".xMax";
  bound.top = base + L".yMin";
  bound.bottom = base + L".yMax";
}

void Quit(FsCommandDispatcher& d, const FsArguments&) {
  if (d.State().quitDisabled) return;
  // A quit is the movie's own decision: its close call is not asked again.
  d.State().closeInterceptArmed = false;
  d.Platform().PostClose();
}

void NoEffect(FsCommandDispatcher&, const FsArguments&) {}

struct Keyword {
  std::wstring_view group;  // empty for the single words
  std::wstring_view name;
  Handler run;
};

#define BRIM_ON(body) [](FsCommandDispatcher & d, const FsArguments & a) { body; }

// The whole command table: each keyword with what it does.
constexpr Keyword kKeywords[] = {
    {L"", L"FULLSCREEN", BRIM_ON(d.Platform().SetDisplayState(a.Flag(1), std::nullopt))},
    {L"", L"ALLOWSCALE", BRIM_ON(d.Platform().SetDisplayState(std::nullopt, a.Flag(1)))},
    {L"", L"SHOWMENU", NoEffect},  // the context menu is always there
    {L"", L"EXEC", BRIM_ON(if (!a.whole.empty()) d.Platform().StartProgram(a.whole))},
    {L"", L"QUIT", Quit},
    {L"", L"TRAPALLKEYS", NoEffect},
    {L"WIN", L"TITLE", BRIM_ON(d.Platform().SetTitle(a.Text(1)))},
    {L"WIN", L"CLICKTOMOVE", BRIM_ON(d.State().clickToMove = a.Flag(1))},
    {L"WIN", L"MOVE", BRIM_ON((void)a; d.Platform().StartMove())},
    {L"WIN", L"SETXY", BRIM_ON(d.Platform().PlaceWindow({a.Number(1), a.Number(2), 0, 0}, true))},
    {L"WIN", L"GETXY",
     BRIM_ON(const FsRect r = d.Platform().WindowRect(); ReplyNumbers(d, a, r.left, r.top))},
    {L"WIN", L"SETRECT",
     BRIM_ON(d.Platform().PlaceWindow({a.Number(1), a.Number(2),
                                       Clamp32(int64_t{a.Number(3)} - a.Number(1)),
                                       Clamp32(int64_t{a.Number(4)} - a.Number(2))},
                                      false))},
    {L"WIN", L"GETRECT", BRIM_ON(ReplyRect(d, a, d.Platform().WindowRect()))},
    {L"WIN", L"GETWH",
     BRIM_ON(const FsRect r = d.Platform().WindowRect();
             ReplyNumbers(d, a, int64_t{r.right} - r.left, int64_t{r.bottom} - r.top))},
    // Sizing also puts the window at the screen's corner.
    {L"WIN", L"SETWH", BRIM_ON(d.Platform().PlaceWindow({0, 0, a.Number(1), a.Number(2)}, false))},
    {L"WIN", L"POS", AlignToScreen},
    {L"WIN", L"MAXIMIZE", BRIM_ON((void)a; d.Platform().ShowWindowAs(WindowShow::Maximize))},
    {L"WIN", L"MINIMIZE", BRIM_ON((void)a; d.Platform().ShowWindowAs(WindowShow::Minimize))},
    {L"WIN", L"RESTORE", BRIM_ON((void)a; d.Platform().ShowWindowAs(WindowShow::Restore))},
    {L"WIN", L"SHOW", BRIM_ON((void)a; d.Platform().ShowWindowAs(WindowShow::Show))},
    {L"WIN", L"HIDE", BRIM_ON((void)a; d.Platform().ShowWindowAs(WindowShow::Hide))},
    {L"WIN", L"ONTOP", BRIM_ON(d.Platform().SetTopmost(a.Flag(1)))},
    {L"WIN", L"SIMULATE9X", BRIM_ON(d.Platform().SetSimulate9x(a.Flag(1)))},
    // An empty name would open the working folder itself: nothing a movie could mean.
    {L"SHELL", L"OPEN",
     BRIM_ON(if (!a.Text(1).empty()) d.Platform().OpenDocument(a.Text(1)))},
    {L"SHELL", L"GETINITDIR", BRIM_ON(Reply(d, a, {d.Platform().InitialDirectory()}))},
    {L"SHELL", L"GETSCREENWH",
     BRIM_ON(const FsSize s = d.Platform().ScreenSize(); ReplyNumbers(d, a, s.width, s.height))},
    {L"SHELL", L"GETDESKTOPRECT", BRIM_ON(ReplyRect(d, a, d.Platform().WorkArea()))},
    {L"SHELL", L"KEEPSPEED", NoEffect},  // playback keeps its own pace
    {L"RMENU", L"ADDITEM", BRIM_ON(AddMenuEntry(d, a, false))},
    {L"RMENU", L"ADDSEPERATOR", BRIM_ON(AddMenuEntry(d, a, true))},
    {L"RMENU", L"DELITEM",
     BRIM_ON(if (const auto id = MenuItemId(d, a)) d.Platform().RemoveMenuItem(*id))},
    {L"RMENU", L"CHECKITEM",
     BRIM_ON(if (const auto id = MenuItemId(d, a)) d.Platform().CheckMenuItem(*id, a.Flag(2)))},
    {L"TASKBUTTON", L"SHOW", BRIM_ON((void)a; d.Platform().SetTaskButton(true))},
    {L"TASKBUTTON", L"HIDE", BRIM_ON((void)a; d.Platform().SetTaskButton(false))},
    {L"EVENT", L"MENU",
     BRIM_ON(ParseLabelCall(a.Field(1), d.State().menuCall); d.State().menuVariable = a.Text(2))},
    {L"EVENT", L"SPRITEBOUND", RegisterSpriteBound},
    {L"EVENT", L"APCLOSE", BRIM_ON(ParseLabelCall(a.Field(1), d.State().closeCall))},
    {L"REG", L"GET", ReadRegistry},
    {L"REG", L"SET", WriteRegistry},
};

#undef BRIM_ON

constexpr std::wstring_view kLockWord = L"LOCKFSCOMMAND";
constexpr std::wstring_view kPrefixWord = L"QVL";
constexpr std::wstring_view kTrayGroup = L"SYSTRAY";  // any name: accepted, no effect

// Cuts `text` at `separator` into at most `limit` pieces; nothing when there would be more.
std::optional<std::vector<std::wstring>> Cut(std::wstring_view text, wchar_t separator,
                                             size_t limit) {
  std::vector<std::wstring> pieces(1);
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != separator) continue;
    pieces.back().assign(text.substr(start, i - start));
    if (i == text.size()) break;
    if (pieces.size() == limit) return std::nullopt;
    pieces.emplace_back();
    start = i + 1;
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

Handler Find(std::wstring_view group, std::wstring_view name) {
  if (group == kTrayGroup) return NoEffect;
  for (const Keyword& k : kKeywords) {
    if (k.group == group && k.name == name) return k.run;
  }
  return nullptr;
}

bool Fill(FsArguments& args, std::wstring_view text) {
  const auto fields = Cut(text, L',', kMaxFsFields);
  if (!fields) return false;
  args.fields = {};
  for (size_t i = 0; i < fields->size(); ++i) args.fields[i] = std::move((*fields)[i]);
  return true;
}

// Counts how deep commands, replies and label calls sit inside one another.
class NestingScope {
 public:
  explicit NestingScope(int& depth) : depth_(depth) { ++depth_; }
  ~NestingScope() { --depth_; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
  bool TooDeep() const { return depth_ > FsCommandDispatcher::kMaxNesting; }

 private:
  int& depth_;
};

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
  return Clamp32(negative ? -value : value);
}

void ParseLabelCall(const std::optional<std::wstring>& field, LabelCall& call) {
  if (!field || field->empty()) return;
  const size_t split = field->find_last_of(L":.");
  if (split == std::wstring::npos) return;
  call.set = true;
  call.target = field->substr(0, split);
  call.label = field->substr(split + 1);
}

std::wstring ReplyNumber(int32_t value) { return std::to_wstring(value); }

void FsCommandDispatcher::Dispatch(std::wstring_view command, std::wstring_view argument) {
  const NestingScope scope(nesting_);
  if (scope.TooDeep()) return;
  const auto parts = Cut(platform_.UpperCase(command), L'.', 3);
  FsArguments args;
  if (!parts || !Fill(args, argument)) return;
  args.whole = std::wstring(argument);

  if ((*parts)[0] == kLockWord) {
    state_.commandsLocked = args.Flag(1);
    return;
  }
  if (state_.commandsLocked) return;
  Handler run = nullptr;
  if (parts->size() == 1 && (*parts)[0] != kPrefixWord) {
    // The single words read their fields without regard to case.
    Fill(args, platform_.UpperCase(argument));
    run = Find(L"", (*parts)[0]);
  } else if (parts->size() == 3 && !(*parts)[1].empty()) {
    // The prefix is not examined: any word there works.
    run = Find((*parts)[1], (*parts)[2]);
  }
  if (run) run(*this, args);
}

void FsCommandDispatcher::OnMenuPick(int number) {
  const NestingScope scope(nesting_);
  if (scope.TooDeep()) return;
  // Copies: the movie may register something else while it hears of the pick.
  const std::wstring variable = state_.menuVariable;
  const LabelCall call = state_.menuCall;
  if (!variable.empty()) platform_.SetVariable(variable, ReplyNumber(number));
  if (call.set) platform_.CallLabel(call.target, call.label);
}

bool FsCommandDispatcher::InterceptClose() {
  if (!state_.closeInterceptArmed || !state_.closeCall.set) return false;
  const NestingScope scope(nesting_);
  if (!scope.TooDeep()) {
    const LabelCall call = state_.closeCall;
    platform_.CallLabel(call.target, call.label);
  }
  return true;
}

void FsCommandDispatcher::ResetForNewMovie() {
  state_.commandsLocked = false;
  state_.clickToMove = true;
  state_.menuCall = {};
  state_.menuVariable.clear();
  state_.spriteBound = {};
  state_.closeCall = {};
}

}  // namespace brim
