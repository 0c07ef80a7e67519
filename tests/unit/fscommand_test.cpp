// The command language movies send through fscommand, checked against a recorder: what each
// command string makes the window, the menu, the system and the movie do, and what the
// commands remember between calls.
#include "scripting/fscommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fs_recorder.h"

namespace brim {
namespace {

struct Step {
  const wchar_t* command;
  const wchar_t* argument;
};

std::string Joined(const std::vector<std::string>& log) {
  std::string out;
  for (const std::string& entry : log) out += (out.empty() ? "" : "; ") + entry;
  return out;
}

TEST(FsCommand, EachCommandDoesWhatTheTableSays) {
  const struct {
    std::vector<Step> steps;
    const char* expected;
  } cases[] = {
      // Grammar: any letter case, any prefix, at most three parts and five fields.
      {{{L"fullscreen", L"true"}}, "display fullscreen on scale keep"},
      {{{L"qvl.win.hide", L""}}, "hide"},
      {{{L"ANY.WIN.SETXY", L"10,20"}}, "place 10,20"},
      {{{L"QVL", L""}, {L"QVL.WIN", L""}, {L"QVL.WIN.POS.X", L"LEFT"}}, ""},
      {{{L"QVL.WIN.HIDE", L"a,b,c,d,e,f"}, {L"QVL.WIN.SHOW", L"a,b,c,d,e"}}, "show"},
      {{{L"QVL..FULLSCREEN", L""}, {L"WIN.HIDE", L""}, {L"QVL.WIN.HIDE ", L""}}, ""},
      {{{L"QVL.WIN.NOSUCH", L""}, {L"NOSUCH", L""}, {L"", L""}}, ""},
      {{{L"QVL.SYSTRAY.ANYTHING", L"x"}, {L"SHOWMENU", L""}, {L"TRAPALLKEYS", L"true"},
        {L"QVL.SHELL.KEEPSPEED", L"5"}},
       ""},
      // The lock: field 1 only, whatever follows the word; everything else waits.
      {{{L"LOCKFSCOMMAND", L"TRUE,1"}, {L"QVL.WIN.HIDE", L""}, {L"lockfscommand", L" TRUE"},
        {L"QVL.WIN.SHOW", L""}, {L"LOCKFSCOMMAND.X.Y", L"true"}, {L"QVL.WIN.HIDE", L""},
        {L"LOCKFSCOMMAND", L"yes"}, {L"QVL.WIN.MINIMIZE", L""}},
       "show; minimize"},
      // Placement: numbers as _wtol reads them, sizes from edges, SETWH at the corner.
      {{{L"QVL.WIN.SETXY", L"12px,-3"}, {L"QVL.WIN.SETXY", L"a,b"}, {L"QVL.WIN.SETXY", L""}},
       "place 12,-3; place 0,0; place 0,0"},
      {{{L"QVL.WIN.SETRECT", L"10,10,5,5"}, {L"QVL.WIN.SETWH", L"300,200"}},
       "place 10,10 -5x-5; place 0,0 300x200"},
      {{{L"QVL.WIN.SETRECT", L"-2147483648,0,2147483647,0"}},
       "place -2147483648,0 2147483647x0"},
      {{{L"QVL.WIN.TITLE", L"Hello, world"}, {L"QVL.WIN.TITLE", L""}}, "title Hello; title "},
      {{{L"QVL.WIN.ONTOP", L"false"}, {L"QVL.WIN.ONTOP", L"True"}}, "not topmost; topmost"},
      {{{L"QVL.WIN.MAXIMIZE", L""}, {L"QVL.WIN.RESTORE", L""}, {L"QVL.WIN.MOVE", L""}},
       "maximize; restore; move"},
      {{{L"QVL.WIN.SIMULATE9X", L"TRUE"}, {L"ALLOWSCALE", L"false"}, {L"FULLSCREEN", L"yes"}},
       "simulate9x on; display fullscreen keep scale off; display fullscreen off scale keep"},
      // Alignment to the maximized client area (1024x740); the window is 320x240 at 120,80.
      {{{L"QVL.WIN.POS", L"left,top"}, {L"QVL.WIN.POS", L"RIGHT,BOTTOM"},
        {L"QVL.WIN.POS", L"MIDDLE"}, {L"QVL.WIN.POS", L"nowhere,MIDDLE"}},
       "place 0,0 320x240; place 704,500 320x240; place 352,80 320x240; "
       "place 120,250 320x240"},
      // Queries: present names answered (empty ones too), absent ones skipped.
      {{{L"QVL.WIN.GETXY", L"px,py"}, {L"QVL.WIN.GETXY", L",py"}, {L"QVL.WIN.GETWH", L"w"}},
       "set px=120; set py=80; set =120; set py=80; set w=320"},
      {{{L"QVL.WIN.GETRECT", L"l,t,r,b"}, {L"QVL.SHELL.GETSCREENWH", L"sw,sh"}},
       "set l=120; set t=80; set r=440; set b=320; set sw=1024; set sh=768"},
      {{{L"QVL.SHELL.GETDESKTOPRECT", L"a,b,c,d"}, {L"QVL.SHELL.GETINITDIR", L"dir"}},
       "set a=0; set b=0; set c=1024; set d=738; set dir=C:\\games\\"},
      // The movie's own menu items: numbers 0..99 only, inserted at the top.
      {{{L"QVL.RMENU.ADDITEM", L"5,Save"}, {L"QVL.RMENU.ADDITEM", L"100,X"},
        {L"QVL.RMENU.ADDITEM", L"-1,X"}, {L"QVL.RMENU.ADDSEPERATOR", L"99"},
        {L"QVL.RMENU.ADDITEM", L"7"}, {L"QVL.RMENU.CHECKITEM", L"5,true"},
        {L"QVL.RMENU.CHECKITEM", L"5,yes"}, {L"QVL.RMENU.DELITEM", L"5"}},
       "menu add 25005 Save; menu add 25099 separator; menu add 25007 ; menu check 25005; "
       "menu uncheck 25005; menu remove 25005"},
      {{{L"QVL.TASKBUTTON.HIDE", L""}, {L"QVL.TASKBUTTON.SHOW", L""}},
       "taskbutton off; taskbutton on"},
      // Programs: EXEC takes the argument as sent; QUIT posts the close.
      {{{L"EXEC", L"notepad.exe a,b"}, {L"EXEC", L""}, {L"QVL.SHELL.OPEN", L"readme.txt"},
        {L"QVL.SHELL.OPEN", L""}, {L"quit", L""}},
       "exec notepad.exe a,b; open readme.txt; close"},
      // The registry: exact root names, a backslash required, replies only on success.
      {{{L"QVL.REG.SET", L"HKEY_CURRENT_USER\\Software\\Game,Score,42"},
        {L"QVL.REG.GET", L"HKEY_CURRENT_USER\\Software\\Game,Score,s"},
        {L"QVL.REG.GET", L"hkey_current_user\\Software\\Game,Score,s"},
        {L"QVL.REG.GET", L"HKCU\\Software\\Game,Score,s"},
        {L"QVL.REG.GET", L"HKEY_CURRENT_USER,Score,s"},
        {L"QVL.REG.GET", L"HKEY_CURRENT_USER\\Software\\Game,Missing,s"},
        {L"QVL.REG.SET", L"HKEY_NOWHERE\\x,y,z"}},
       "reg 1|Software\\Game|Score=42; set s=42"},
  };
  for (const auto& c : cases) {
    FsRecorder recorder;
    FsCommandDispatcher dispatcher(recorder);
    for (const Step& s : c.steps) dispatcher.Dispatch(s.command, s.argument);
    EXPECT_EQ(Joined(recorder.log), c.expected) << FsRecorder::Narrow(c.steps[0].command);
  }
}

TEST(FsCommand, RegisteredCallsRunOnPicksAndCloseRequestsUntilTheNextMovie) {
  const struct {
    std::vector<Step> steps;
    bool quitDisabled;
    const char* expected;  // after one pick of item 5 and one close request
  } cases[] = {
      {{{L"QVL.EVENT.MENU", L"/:picked,item"}}, false, "set item=5; call / picked; close"},
      {{{L"QVL.EVENT.MENU", L"/:picked,item"}, {L"QVL.EVENT.MENU", L",other"}}, false,
       "set other=5; call / picked; close"},
      {{{L"QVL.EVENT.MENU", L"_root.menu.picked,"}}, false, "call _root.menu picked; close"},
      {{{L"QVL.EVENT.MENU", L"nolabel,item"}}, false, "set item=5; close"},
      {{{L"QVL.EVENT.APCLOSE", L"/:askClose"}}, false, "call / askClose"},
      // A quit is final even with a close call; a disabled quit does nothing at all.
      {{{L"QVL.EVENT.APCLOSE", L"/:askClose"}, {L"QUIT", L""}}, false, "close; close"},
      {{{L"QVL.EVENT.APCLOSE", L"/:askClose"}, {L"QUIT", L""}}, true, "call / askClose"},
  };
  for (const auto& c : cases) {
    FsRecorder recorder;
    FsCommandDispatcher dispatcher(recorder);
    dispatcher.State().quitDisabled = c.quitDisabled;
    for (const Step& s : c.steps) dispatcher.Dispatch(s.command, s.argument);
    dispatcher.OnMenuPick(5);
    if (!dispatcher.InterceptClose()) recorder.PostClose();
    EXPECT_EQ(Joined(recorder.log), c.expected) << FsRecorder::Narrow(c.steps[0].argument);

    // A new movie starts with nothing registered and the commands unlocked.
    dispatcher.Dispatch(L"QVL.WIN.CLICKTOMOVE", L"false");
    dispatcher.Dispatch(L"QVL.EVENT.SPRITEBOUND", L"/:bounds,b");
    dispatcher.Dispatch(L"LOCKFSCOMMAND", L"true");
    EXPECT_TRUE(dispatcher.State().spriteBound.Registered());
    dispatcher.ResetForNewMovie();
    recorder.log.clear();
    dispatcher.OnMenuPick(5);
    EXPECT_FALSE(dispatcher.InterceptClose());
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_TRUE(dispatcher.State().clickToMove);
    EXPECT_FALSE(dispatcher.State().commandsLocked);
    EXPECT_FALSE(dispatcher.State().spriteBound.Registered());
  }
}

TEST(FsCommand, SpriteBoundNamesTheFourVariablesAndKeepsAnEarlierCall) {
  FsRecorder recorder;
  FsCommandDispatcher dispatcher(recorder);
  dispatcher.Dispatch(L"QVL.EVENT.SPRITEBOUND", L"/:bounds,_root.b");
  dispatcher.Dispatch(L"QVL.EVENT.SPRITEBOUND", L",b");
  const SpriteBoundSettings& bound = dispatcher.State().spriteBound;
  EXPECT_EQ(bound.call.target, L"/");
  EXPECT_EQ(bound.call.label, L"bounds");
  EXPECT_EQ(bound.left + bound.right + bound.top + bound.bottom, L"b.xMinb.xMaxb.yMinb.yMax");
}

TEST(FsCommand, CommandsSentFromInsideRepliesRunButCannotRecurseWithoutEnd) {
  FsRecorder recorder;
  FsCommandDispatcher dispatcher(recorder);
  int replies = 0;
  // A movie whose every reply asks again: each inner command runs in full, to a depth limit.
  recorder.onSetVariable = [&](const std::wstring&) {
    ++replies;
    dispatcher.Dispatch(L"QVL.WIN.GETXY", L"x");
  };
  dispatcher.Dispatch(L"QVL.WIN.GETXY", L"x");
  EXPECT_EQ(replies, FsCommandDispatcher::kMaxNesting);
  dispatcher.Dispatch(L"QVL.WIN.HIDE", L"");  // and afterwards everything works as before
  EXPECT_EQ(recorder.log.back(), "hide");
}

TEST(FsCommand, FieldsReadAsFlagsNumbersAndLabelCalls) {
  const struct {
    const wchar_t* field;
    int32_t number;
    bool flag;
  } fields[] = {
      {L"12px", 12, false}, {L" -3", -3, false},  {L"1.9", 1, false},
      {L"abc", 0, false},   {L"+7", 7, false},    {L"True", 0, true},
      {L" true", 0, false}, {L"", 0, false},      {L"99999999999", 2147483647, false},
      {L"-99999999999", -2147483647 - 1, false},
  };
  for (const auto& f : fields) {
    FsArguments args;
    args.fields[0] = f.field;
    EXPECT_EQ(args.Number(1), f.number) << f.field;
    EXPECT_EQ(args.Flag(1), f.flag) << f.field;
    EXPECT_EQ(args.Number(2), 0);  // absent
  }

  const struct {
    std::optional<std::wstring> field;
    bool set;
    const wchar_t* target;
    const wchar_t* label;
  } calls[] = {
      {L"/:onMenu", true, L"/", L"onMenu"},
      {L"_root.win.closing", true, L"_root.win", L"closing"},
      {L"/a.b:c", true, L"/a.b", L"c"},
      {L"nolabel", false, L"old", L"call"},  // no separator: unchanged
      {L"", false, L"old", L"call"},
      {std::nullopt, false, L"old", L"call"},
  };
  for (const auto& c : calls) {
    LabelCall call{false, L"old", L"call"};
    ParseLabelCall(c.field, call);
    EXPECT_EQ(call.set, c.set);
    EXPECT_EQ(call.target, c.target);
    EXPECT_EQ(call.label, c.label);
  }
}

}  // namespace
}  // namespace brim
