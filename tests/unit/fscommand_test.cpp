// The command language movies send through fscommand: what each command string names, how the
// lock works, and how fields read as flags, numbers and label calls.
#include "scripting/fscommand.h"

#include <gtest/gtest.h>

namespace brim {
namespace {

TEST(FsCommand, ParsesCommandsWithTheirFieldsAndTheLock) {
  const struct {
    const wchar_t* command;
    const wchar_t* argument;
    FsCommand expected;
  } cases[] = {
      {L"fullscreen", L"true", FsCommand::FullScreen},  // any letter case
      {L"qvl.win.hide", L"", FsCommand::WinHide},
      {L"ANY.WIN.SETXY", L"10,20", FsCommand::WinSetXY},  // the prefix is not examined
      {L"QVL.SYSTRAY.WHATEVER", L"", FsCommand::SysTray},
      {L"QVL.RMENU.ADDSEPERATOR", L"3", FsCommand::RMenuAddSeparator},
      {L"QVL", L"", FsCommand::None},
      {L"QVL.WIN", L"", FsCommand::None},
      {L"QVL.WIN.POS.X", L"", FsCommand::None},            // four parts
      {L"QVL.WIN.HIDE", L"a,b,c,d,e,f", FsCommand::None},  // six fields
      {L"QVL.WIN.HIDE", L"a,b,c,d,e", FsCommand::WinHide},
      {L"QVL..FULLSCREEN", L"", FsCommand::None},
      {L"QVL.WIN.NOSUCH", L"", FsCommand::None},
      {L"WIN.HIDE", L"", FsCommand::None},
      {L"QVL.WIN.HIDE ", L"", FsCommand::None},  // no trimming
      {L"", L"", FsCommand::None},
  };
  for (const auto& c : cases) {
    bool locked = false;
    EXPECT_EQ(ParseFsCommand(c.command, c.argument, locked, nullptr).command, c.expected)
        << c.command << " / " << c.argument;
  }

  // The lock: only field 1 counts, any parts after the word too; locked commands are dropped.
  bool locked = false;
  const struct {
    const wchar_t* command;
    const wchar_t* argument;
    bool lockedAfter;
  } lockSteps[] = {
      {L"LOCKFSCOMMAND", L"TRUE,1", true},
      {L"lockfscommand", L" TRUE", false},
      {L"LOCKFSCOMMAND.X.Y", L"true", true},
      {L"LOCKFSCOMMAND", L"yes", false},
  };
  for (const auto& s : lockSteps) {
    EXPECT_EQ(ParseFsCommand(s.command, s.argument, locked, nullptr).command,
              FsCommand::LockFsCommand);
    EXPECT_EQ(locked, s.lockedAfter) << s.command << " / " << s.argument;
  }
  locked = true;
  EXPECT_EQ(ParseFsCommand(L"QVL.WIN.HIDE", L"", locked, nullptr).command, FsCommand::None);
}

TEST(FsCommand, FieldsKeepTheirTextAndReadAsFlagsAndNumbers) {
  bool locked = false;
  const FsDispatch title = ParseFsCommand(L"QVL.WIN.TITLE", L"Hello, world", locked, nullptr);
  EXPECT_EQ(title.args.Field(1), L"Hello");
  EXPECT_EQ(title.args.Field(2), L" world");
  EXPECT_FALSE(title.args.Field(3));

  // The single words read their fields in upper case, but EXEC gets the argument as sent.
  const FsDispatch exec = ParseFsCommand(L"EXEC", L"notepad.exe a,b", locked, nullptr);
  EXPECT_EQ(exec.args.whole, L"notepad.exe a,b");
  EXPECT_TRUE(ParseFsCommand(L"FULLSCREEN", L"true", locked, nullptr).args.Flag(1));

  const FsDispatch gets = ParseFsCommand(L"QVL.WIN.GETXY", L",py", locked, nullptr);
  EXPECT_EQ(gets.args.Field(1), L"");  // present and empty: still a reply name
  EXPECT_EQ(gets.args.Field(2), L"py");

  const struct {
    const wchar_t* field;
    int32_t number;
    bool flag;
  } fields[] = {
      {L"12px", 12, false},
      {L" -3", -3, false},
      {L"1.9", 1, false},
      {L"abc", 0, false},
      {L"+7", 7, false},
      {L"TRUE", 0, true},
      {L"True", 0, true},
      {L" true", 0, false},
      {L"", 0, false},
      {L"99999999999", 2147483647, false},
      {L"-99999999999", -2147483647 - 1, false},
  };
  for (const auto& f : fields) {
    FsArguments args;
    args.fields[0] = f.field;
    EXPECT_EQ(args.Number(1), f.number) << f.field;
    EXPECT_EQ(args.Flag(1), f.flag) << f.field;
    EXPECT_EQ(args.Number(2), 0);  // absent
    EXPECT_FALSE(args.Flag(2));
  }
  EXPECT_EQ(ReplyNumber(-42), L"-42");
}

TEST(FsCommand, LabelCallsSplitAtTheLastColonOrDot) {
  const struct {
    std::optional<std::wstring> field;
    bool set;
    const wchar_t* target;
    const wchar_t* label;
  } cases[] = {
      {L"/:onMenu", true, L"/", L"onMenu"},
      {L"_root.win.closing", true, L"_root.win", L"closing"},
      {L"/a.b:c", true, L"/a.b", L"c"},
      {L"nolabel", false, L"old", L"call"},  // no separator: unchanged
      {L"", false, L"old", L"call"},
      {std::nullopt, false, L"old", L"call"},
  };
  for (const auto& c : cases) {
    LabelCall call{false, L"old", L"call"};
    ParseLabelCall(c.field, call);
    EXPECT_EQ(call.set, c.set);
    EXPECT_EQ(call.target, c.target);
    EXPECT_EQ(call.label, c.label);
  }
}

}  // namespace
}  // namespace brim
