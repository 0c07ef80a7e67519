// Action families run as bytecode, with what they trace. Also: malformed and runaway scripts
// stop without harm, and the player runs frame scripts on the clip that carries them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "player/avm1/interpreter.h"
#include "player/player.h"
#include "tools/swf_builder.h"

namespace {

// A small assembler for test scripts.
struct Code {
  std::vector<uint8_t> bytes;

  Code& Op(uint8_t code) {
    bytes.push_back(code);
    return *this;
  }
  Code& Record(uint8_t code, const std::vector<uint8_t>& payload) {
    bytes.push_back(code);
    bytes.push_back(static_cast<uint8_t>(payload.size()));
    bytes.push_back(static_cast<uint8_t>(payload.size() >> 8));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return *this;
  }
  Code& Str(const std::string& s) {
    std::vector<uint8_t> p{0};
    p.insert(p.end(), s.begin(), s.end());
    p.push_back(0);
    return Record(0x96, p);
  }
  Code& Num(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    std::vector<uint8_t> p{6};
    for (int shift : {32, 40, 48, 56, 0, 8, 16, 24})
      p.push_back(static_cast<uint8_t>(bits >> shift));
    return Record(0x96, p);
  }
  Code& Undef() { return Record(0x96, {3}); }
  Code& Trace() { return Op(0x26); }
  Code& Jump(uint8_t code, int16_t by) {
    return Record(code,
                  {static_cast<uint8_t>(by), static_cast<uint8_t>(static_cast<uint16_t>(by) >> 8)});
  }
  Code& Then(const Code& more) {
    bytes.insert(bytes.end(), more.bytes.begin(), more.bytes.end());
    return *this;
  }
};

std::vector<std::string> RunScript(int version, const std::vector<uint8_t>& bytes, int times = 1) {
  std::vector<std::string> lines;
  swf::avm1::Interpreter vm(version, nullptr);
  vm.SetTrace([&](std::string_view line) { lines.emplace_back(line); });
  for (int i = 0; i < times; ++i) vm.RunFrameScript(bytes);
  return lines;
}

struct Case {
  const char* name;
  int version;
  Code code;
  std::vector<std::string> traced;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(RunScript(c.version, c.code.bytes), c.traced) << c.name;
  }
}

TEST(Avm1Actions, Swf4ArithmeticAndStrings) {
  RunCases({
      {"add reads leading numbers", 4, Code().Str("300").Str("150a").Op(0x0A).Trace(), {"450"}},
      {"add in SWF 5 wants whole numbers",
       5,
       Code().Str("300").Str("150a").Op(0x0A).Trace(),
       {"NaN"}},
      {"divide by zero in SWF 4", 4, Code().Num(1).Num(0).Op(0x0D).Trace(), {"#ERROR#"}},
      {"divide by zero later", 5, Code().Num(1).Num(0).Op(0x0D).Trace(), {"Infinity"}},
      {"equals gives 1 in SWF 4", 4, Code().Num(2).Str("2").Op(0x0E).Trace(), {"1"}},
      {"equals gives true later", 6, Code().Num(2).Str("2").Op(0x0E).Trace(), {"true"}},
      {"not", 5, Code().Num(0).Op(0x12).Trace(), {"true"}},
      {"string add", 4, Code().Str("ab").Str("cd").Op(0x21).Trace(), {"abcd"}},
      {"string extract from 1", 4, Code().Str("hello").Num(2).Num(3).Op(0x15).Trace(), {"ell"}},
      {"string extract past the end",
       4,
       Code().Str("hello").Num(4).Num(9).Op(0x15).Trace(),
       {"lo"}},
      {"multibyte length", 6, Code().Str("h\xC3\xA9").Op(0x31).Trace(), {"2"}},
      {"char codes",
       6,
       Code().Str("A").Op(0x32).Num(233).Op(0x37).Trace().Trace(),
       {"\xC3\xA9", "65"}},
      {"to integer wraps", 5, Code().Num(4294967295.0).Op(0x18).Trace(), {"-1"}},
      {"trace of undefined", 5, Code().Undef().Trace(), {"undefined"}},
      {"popping an empty stack", 5, Code().Op(0x17).Trace(), {"undefined"}},
  });
}

TEST(Avm1Actions, Swf5TypedOperators) {
  RunCases({
      {"add2 concatenates", 6, Code().Str("1").Num(2).Op(0x47).Trace(), {"12"}},
      {"add2 adds", 6, Code().Num(1).Num(2).Op(0x47).Trace(), {"3"}},
      {"less2 with NaN", 6, Code().Num(1).Str("x").Op(0x48).Trace(), {"undefined"}},
      {"less2 of strings", 6, Code().Str("a").Str("b").Op(0x48).Trace(), {"true"}},
      {"equals2 null and undefined",
       6,
       Code().Record(0x96, {2}).Undef().Op(0x49).Trace(),
       {"true"}},
      {"equals2 string and number", 6, Code().Str("16").Num(16).Op(0x49).Trace(), {"true"}},
      {"strict equals", 6, Code().Str("16").Num(16).Op(0x66).Trace(), {"false"}},
      {"modulo", 6, Code().Num(-7).Num(3).Op(0x3F).Trace(), {"-1"}},
      {"modulo by a negative divisor", 6, Code().Num(7).Num(-3).Op(0x3F).Trace(), {"1"}},
      {"modulo keeps a negative dividend's zero",
       6,
       Code().Num(1).Num(-4).Num(2).Op(0x3F).Op(0x0D).Trace(),
       {"-Infinity"}},
      {"modulo of fractions", 6, Code().Num(5.5).Num(2).Op(0x3F).Trace(), {"1.5"}},
      {"modulo past 32 bits", 6, Code().Num(4294967301.0).Num(4).Op(0x3F).Trace(), {"1"}},
      {"unsigned shift stays signed", 8, Code().Num(-3).Num(0).Op(0x65).Trace(), {"-3"}},
      {"shift counts wrap", 8, Code().Num(1).Num(33).Op(0x63).Trace(), {"2"}},
      {"typeof", 6, Code().Num(1).Op(0x44).Trace(), {"number"}},
      {"swap and duplicate",
       6,
       Code().Str("a").Str("b").Op(0x4D).Trace().Op(0x4C).Trace().Trace(),
       {"a", "b", "b"}},
  });
}

TEST(Avm1Actions, VariablesObjectsAndControlFlow) {
  // i = 0; while (i < 3) { trace(i); i++ }
  Code loop;
  loop.Str("i").Num(0).Op(0x1D);
  Code body;
  body.Str("i").Op(0x1C).Trace().Str("i").Str("i").Op(0x1C).Op(0x50).Op(0x1D);
  Code test;
  test.Str("i").Op(0x1C).Num(3).Op(0x48).Op(0x12);
  const int16_t skipBody = static_cast<int16_t>(body.bytes.size() + 5);
  const int16_t back = static_cast<int16_t>(-(test.bytes.size() + 5 + body.bytes.size() + 5));
  loop.Then(test).Jump(0x9D, skipBody).Then(body).Jump(0x99, back);

  RunCases({
      {"loop", 6, loop, {"0", "1", "2"}},
      {"object literal",
       6,
       Code().Str("a").Num(1).Str("b").Num(2).Num(2).Op(0x43).Str("b").Op(0x4E).Trace(),
       {"2"}},
      {"array literal",
       6,
       Code().Num(3).Num(2).Num(1).Num(3).Op(0x42).Op(0x4C).Trace().Str("length").Op(0x4E).Trace(),
       {"1,2,3", "3"}},
      {"names ignore case before SWF 7",
       6,
       Code().Str("Ab").Num(1).Op(0x1D).Str("aB").Op(0x1C).Trace(),
       {"1"}},
      {"names keep case from SWF 7",
       7,
       Code().Str("Ab").Num(1).Op(0x1D).Str("aB").Op(0x1C).Trace(),
       {"undefined"}},
      {"new Array(3) in SWF 6", 6, Code().Num(3).Num(1).Str("Array").Op(0x40).Trace(), {",,"}},
      {"new Array(3) in SWF 7",
       7,
       Code().Num(3).Num(1).Str("Array").Op(0x40).Trace(),
       {"undefined,undefined,undefined"}},
      {"method on a string",
       6,
       Code().Num(0).Str("abc").Str("toUpperCase").Op(0x52).Trace(),
       {"ABC"}},
  });
}

// function NAME(a) { return a + 1 } (DefineFunction), then trace(NAME(41)).
Code FunctionAndCall(bool recurse) {
  Code body;
  if (recurse) {
    body.Num(0).Num(0).Str("f").Op(0x3D);  // f() with no arguments, forever
  }
  body.Str("a").Op(0x1C).Num(1).Op(0x47).Op(0x3E);
  std::vector<uint8_t> define{'f', 0, 1, 0, 'a', 0};
  define.push_back(static_cast<uint8_t>(body.bytes.size()));
  define.push_back(static_cast<uint8_t>(body.bytes.size() >> 8));
  Code code;
  code.Record(0x9B, define).Then(body).Num(41).Num(1).Str("f").Op(0x3D).Trace();
  return code;
}

// try { trace("t"); <tail> } catch (e) { trace("c") } trace("skipped"); trace("end"), where
// the try body's tail either jumps past "skipped" or throws.
Code TryOutOf(bool jump) {
  const Code handler = Code().Str("c").Trace();
  const Code skipped = Code().Str("skipped").Trace();
  Code body = Code().Str("t").Trace();
  if (jump) {
    body.Jump(0x99, static_cast<int16_t>(handler.bytes.size() + skipped.bytes.size()));
  } else {
    body.Str("pushed").Str("thrown").Op(0x2A);
  }
  const auto u16 = [](size_t n) {
    return std::vector<uint8_t>{static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  };
  std::vector<uint8_t> header{1};  // a catch block, the value in a variable
  for (size_t n : {body.bytes.size(), handler.bytes.size(), size_t{0}}) {
    const auto field = u16(n);
    header.insert(header.end(), field.begin(), field.end());
  }
  header.insert(header.end(), {'e', 0});
  return Code()
      .Str("below")
      .Record(0x8F, header)
      .Then(body)
      .Then(handler)
      .Then(skipped)
      .Op(0x26)
      .Str("end")
      .Trace();
}

TEST(Avm1Actions, FunctionsAndTheirLimits) {
  // A jump out of a try body goes on from where it lands; a throw drops what the body pushed.
  EXPECT_EQ(RunScript(7, TryOutOf(true).bytes), (std::vector<std::string>{"t", "below", "end"}));
  EXPECT_EQ(RunScript(7, TryOutOf(false).bytes),
            (std::vector<std::string>{"t", "c", "skipped", "below", "end"}));
  EXPECT_EQ(RunScript(6, FunctionAndCall(false).bytes), std::vector<std::string>{"42"});
  // Endless recursion stops at the call depth limit, and the script with it.
  EXPECT_EQ(RunScript(6, FunctionAndCall(true).bytes), std::vector<std::string>{});
}

// trace(f()) for `function f()` given as a DefineFunction2 body with registers 1 to 3.
Code TraceOfRegisterFunction(const Code& body) {
  std::vector<uint8_t> define{'f', 0, 0, 0, 4, 0x2A, 0};
  define.push_back(static_cast<uint8_t>(body.bytes.size()));
  define.push_back(static_cast<uint8_t>(body.bytes.size() >> 8));
  return Code().Record(0x8E, define).Then(body).Num(0).Str("f").Op(0x3D).Trace();
}

TEST(Avm1Actions, ArithmeticOnRegisters) {
  auto reg = [](uint8_t r) { return Code().Record(0x96, {4, r}); };
  auto store = [](uint8_t r) { return Code().Record(0x87, {r}).Op(0x17); };
  // s = 0; i = 0; while (i < 5) { s += i; i++ } return s + i
  Code loop = Code().Num(0).Then(store(1)).Num(0).Then(store(2));
  const Code body =
      Code().Then(reg(1)).Then(reg(2)).Op(0x47).Then(store(1)).Then(reg(2)).Op(0x50).Then(store(2));
  const Code test = Code().Then(reg(2)).Num(5).Op(0x48).Op(0x12);
  loop.Then(test).Jump(0x9D, static_cast<int16_t>(body.bytes.size() + 5)).Then(body);
  loop.Jump(0x99, static_cast<int16_t>(-(test.bytes.size() + 5 + body.bytes.size() + 5)));
  loop.Then(reg(1)).Then(reg(2)).Op(0x47).Op(0x3E);
  const struct {
    const char* name;
    Code body;
    std::string traced;
  } cases[] = {
      {"a counting loop", loop, "15"},
      {"a register's value pushed before it is written stays",
       Code()
           .Num(2)
           .Then(store(1))
           .Then(reg(1))
           .Num(5)
           .Record(0x87, {1})
           .Op(0x17)
           .Then(reg(1))
           .Op(0x47)
           .Op(0x3E),
       "7"},
      {"a comparison with NaN is undefined",
       Code().Num(0).Num(0).Op(0x0D).Then(store(1)).Then(reg(1)).Num(1).Op(0x48).Op(0x3E),
       "undefined"},
      {"text in a register joins",
       Code().Str("a").Then(store(1)).Then(reg(1)).Num(1).Op(0x47).Op(0x3E), "a1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunScript(6, TraceOfRegisterFunction(c.body).bytes),
              std::vector<std::string>{c.traced})
        << c.name;
  }
}

TEST(Avm1Actions, MalformedAndRunawayScriptsStopAndTheNextOneRuns) {
  const std::vector<std::vector<uint8_t>> broken = {
      {0x96, 0x05, 0x00, 0x00, 'a'},                        // record longer than the block
      {0x96, 0x02, 0x00, 0x00, 'a'},                        // string without its end
      {0x96, 0x01, 0x00, 0x09},                             // constant index cut short
      {0x99, 0x00, 0x10},                                   // jump far past the end
      {0x9B, 0x03, 0x00, 'f', 0x00, 0x00},                  // function header cut short
      {0x8E, 0x09, 0x00, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x7F},  // function body past the end
      {0x96, 0x02, 0x00, 0x04, 0xFF, 0x26},                 // register out of range
  };
  for (const auto& bytes : broken) {
    std::vector<uint8_t> then = bytes;
    EXPECT_LE(RunScript(6, then).size(), 1u);
  }
  // An endless loop runs out of budget; each block gets a budget of its own.
  Code spin;
  spin.Str("tick").Trace().Jump(0x99, -5);
  Code endless;
  endless.Jump(0x99, -5);
  std::vector<uint8_t> once = Code().Str("after").Trace().bytes;
  swf::avm1::Interpreter vm(6, nullptr);
  std::vector<std::string> lines;
  vm.SetTrace([&](std::string_view line) { lines.emplace_back(line); });
  vm.RunFrameScript(endless.bytes);
  EXPECT_TRUE(vm.Stopped());
  vm.RunFrameScript(once);
  EXPECT_FALSE(vm.Stopped());
  EXPECT_EQ(lines, std::vector<std::string>{"after"});

  // Strings: a long one built piece by piece is finished (200 KB in 100-byte pieces copies
  // 200 MB on the way), while a loop that keeps every doubled string it makes is stopped
  // before the strings it holds pass their bound.
  const Code set = Code().Op(0x1D), get = Code().Op(0x1C);
  Code body = Code().Str("s").Str("s").Then(get).Str(std::string(100, 'x')).Op(0x47).Then(set);
  body.Str("i").Str("i").Then(get).Op(0x50).Then(set);
  Code test = Code().Str("i").Then(get).Num(2000).Op(0x48).Op(0x12);
  test.Jump(0x9D, static_cast<int16_t>(body.bytes.size() + 5));
  Code build = Code().Str("s").Str("").Then(set).Str("i").Num(0).Then(set).Then(test).Then(body);
  build.Jump(0x99, static_cast<int16_t>(-(test.bytes.size() + body.bytes.size() + 5)));
  build.Str("s").Then(get).Str("length").Op(0x4E).Trace();
  EXPECT_EQ(RunScript(6, build.bytes), std::vector<std::string>{"200000"});
  Code doubling = Code().Str("x").Op(0x4C).Op(0x4C).Op(0x47).Jump(0x99, -8);
  lines.clear();
  vm.RunFrameScript(doubling.bytes);
  EXPECT_TRUE(vm.Stopped());
  EXPECT_LE(swf::avm1::Value::LiveStringBytes(), swf::avm1::kMaxStringBytes);
  vm.StartFrame();
  vm.RunFrameScript(once);
  EXPECT_EQ(lines, std::vector<std::string>{"after"});
}

TEST(Avm1Actions, PlayerRunsFrameScriptsOnTheirClip) {
  // Frame 1 traces, frame 2 traces and stops: the movie stays on frame 2.
  swfb::Movie m;
  m.DoAction(Code().Str("one").Trace().bytes).ShowFrame();
  m.DoAction(Code().Str("two").Trace().Op(0x07).bytes).ShowFrame();
  m.ShowFrame();
  swf::Player p;
  std::vector<std::string> lines;
  p.SetTraceSink([&](std::string_view line) { lines.emplace_back(line); });
  ASSERT_TRUE(p.Load(m.Build()).Ok());
  for (int i = 0; i < 4; ++i) p.Tick();
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(p.CurrentFrame(), 1u);
  EXPECT_FALSE(p.IsPlaying());

  // A script going to a frame runs that frame's script after its own.
  swfb::Movie jump;
  jump.DoAction(Code().Record(0x81, {2, 0}).Str("first").Trace().bytes).ShowFrame();
  jump.ShowFrame();
  jump.DoAction(Code().Str("third").Trace().bytes).ShowFrame();
  lines.clear();
  ASSERT_TRUE(p.Load(jump.Build()).Ok());
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "third"}));
  EXPECT_EQ(p.CurrentFrame(), 2u);
}

// What scripts do to clips: a property a script set outlives the timeline's moves and a trip
// back in time; a clip keeps its identity through swapDepths; attached clips come and go; an
// attached library sound ends when its length has played.
TEST(Avm1Actions, ClipsKeepWhatScriptsGiveThem) {
  auto place = [](uint16_t depth, uint16_t id, const char* name, int32_t x, bool move = false) {
    swfb::Place p;
    p.depth = depth;
    if (!move) p.characterId = id;
    p.move = move;
    if (name) p.name = name;
    p.matrix = swfb::Matrix::Translate(x, 0);
    return p;
  };
  auto get = [](const char* clip, const char* index) {
    return Code().Str(clip).Str(index).Op(0x22).Trace();
  };
  auto call = [](const char* clip, const char* method, std::vector<const char*> args) {
    Code c;
    for (auto it = args.rbegin(); it != args.rend(); ++it) c.Str(*it);
    return c.Str(std::to_string(args.size())).Str(clip).Op(0x1C).Str(method).Op(0x52);
  };
  // A 100 ms sound (1103 samples at 11025 Hz) attached, told to trace "done" when it ends, and
  // started for two loops; its duration and position are traced.
  const auto sound = [&](swfb::Movie& m) {
    const std::vector<uint8_t> define{50, 0, 0x26, 0x4F, 0x04, 0, 0, 0, 0};
    m.Tag(14, define);  // DefineSound
    m.ExportAssets(50, "snd");
    const auto member = [](const char* name) { return Code().Str("s").Op(0x1C).Str(name); };
    Code done = Code().Str("done").Trace();
    std::vector<uint8_t> fn{0, 0, 0, static_cast<uint8_t>(done.bytes.size()), 0};
    Code c = Code().Str("s").Num(0).Str("Sound").Op(0x40).Op(0x1D);
    c.Then(Code().Str("snd").Num(1).Then(member("attachSound")).Op(0x52).Op(0x17));
    c.Then(member("duration").Op(0x4E).Trace()).Then(member("position").Op(0x4E).Trace());
    c.Then(member("onSoundComplete").Record(0x9B, fn).Then(done).Op(0x4F));
    c.Then(Code().Num(2).Num(0).Num(2).Then(member("start")).Op(0x52).Op(0x17));
    m.DoAction(c.bytes).ShowFrame();
  };
  struct ClipCase {
    const char* name;
    std::function<void(swfb::Movie&)> build;
    int ticks;
    std::vector<std::string> traced;
  };
  const std::vector<ClipCase> cases = {
      {"a script's _x survives a timeline move and going back; the timeline's own clip follows",
       [&](swfb::Movie& m) {
         const uint16_t s = m.DefineSprite(swfb::Sprite());
         m.PlaceObject2(place(1, s, "a", 0)).PlaceObject2(place(2, s, "b", 0));
         m.DoAction(get("a", "0").Then(get("b", "0")).bytes).ShowFrame();
         m.DoAction(Code().Str("a").Str("0").Str("50").Op(0x23).Then(get("a", "0")).bytes);
         m.ShowFrame();
         m.PlaceObject2(place(1, 0, nullptr, 6000, true));
         m.PlaceObject2(place(2, 0, nullptr, 6000, true));
         m.DoAction(get("a", "0").Then(get("b", "0")).Record(0x81, {0, 0}).bytes).ShowFrame();
       },
       2,
       {"0", "0", "50", "50", "300", "50", "0"}},
      {"swapDepths moves the clip, not its name; its own frame scripts follow it",
       [&](swfb::Movie& m) {
         swfb::Sprite t;
         t.ShowFrame().DoAction(Code().Str("").Str("13").Op(0x22).Trace().Op(0x07).bytes);
         t.ShowFrame();
         const uint16_t s = m.DefineSprite(t);
         m.PlaceObject2(place(1, s, "a", 0)).PlaceObject2(place(2, s, "b", 0));
         Code swap = Code().Str("b").Op(0x1C).Str("1").Str("a").Op(0x1C);
         swap.Str("swapDepths").Op(0x52).Op(0x17);
         m.DoAction(swap.Then(call("a", "getDepth", {}).Trace()).bytes).ShowFrame().ShowFrame();
       },
       1,
       {"-16382", "b", "a"}},
      {"attachMovie places an exported symbol at a script depth; removeMovieClip takes it off",
       [&](swfb::Movie& m) {
         const uint16_t s = m.DefineSprite(swfb::Sprite());
         m.ExportAssets(s, "sym");
         Code attach = call("_root", "attachMovie", {"SYM", "c", "5"}).Op(0x17);
         attach.Then(call("c", "getDepth", {}).Trace());
         attach.Then(call("_root", "getNextHighestDepth", {}).Trace());
         attach.Then(call("c", "removeMovieClip", {}).Op(0x17));
         attach.Str("c").Op(0x1C).Op(0x44).Trace();
         m.DoAction(attach.bytes).ShowFrame();
       },
       0,
       {"5", "6", "undefined"}},
      {"a library sound's length paces its end: 2 loops of 100 ms end on the 5th 24 fps tick",
       sound,
       4,
       {"100", "0"}},
      {"a library sound's length paces its end (the tick it ends on)",
       sound,
       5,
       {"100", "0", "done"}},
  };
  for (const ClipCase& c : cases) {
    swfb::Movie m;
    c.build(m);
    swf::Player p;
    std::vector<std::string> lines;
    p.SetTraceSink([&](std::string_view line) { lines.emplace_back(line); });
    ASSERT_TRUE(p.Load(m.Build()).Ok()) << c.name;
    for (int i = 0; i < c.ticks; ++i) p.Tick();
    EXPECT_EQ(lines, c.traced) << c.name;
  }
}

}  // namespace
