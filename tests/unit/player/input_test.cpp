// Buttons and the pointer and keyboard as a host drives them: which handlers run, in which
// order, and what scripts then read of the input.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "player/player.h"
#include "tools/swf_builder.h"

namespace {

// Just enough bytecode to hang traced handlers on objects.
struct Asm {
  std::vector<uint8_t> b;
  Asm& Op(uint8_t op) {
    b.push_back(op);
    return *this;
  }
  Asm& Record(uint8_t op, const std::vector<uint8_t>& payload) {
    b.insert(b.end(), {op, static_cast<uint8_t>(payload.size()),
                       static_cast<uint8_t>(payload.size() >> 8)});
    b.insert(b.end(), payload.begin(), payload.end());
    return *this;
  }
  Asm& Push(std::string_view s) {
    std::vector<uint8_t> p{0};
    p.insert(p.end(), s.begin(), s.end());
    p.push_back(0);
    return Record(0x96, p);
  }
  Asm& Int(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return Record(0x96, {7, static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                         static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)});
  }
  Asm& Var(std::string_view name) { return Push(name).Op(0x1C); }
  Asm& Trace(std::string_view text) { return Push(text).Op(0x26); }
  // object.method = function() { body }
  Asm& Handler(std::string_view object, std::string_view method, const Asm& body) {
    Var(object).Push(method);
    const auto size = static_cast<uint16_t>(body.b.size());
    Record(0x9B, {0, 0, 0, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)});
    b.insert(b.end(), body.b.begin(), body.b.end());
    return Op(0x4F);
  }
  // trace(object.method(args...)), arguments pushed by the caller.
  Asm& TraceCall(std::string_view object, std::string_view method, int argc) {
    return Int(argc).Var(object).Push(method).Op(0x52).Op(0x26);
  }
  std::vector<uint8_t> End() const {
    std::vector<uint8_t> out = b;
    out.push_back(0);
    return out;
  }
};

swfb::Shape Square(int32_t sizeTwips) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid({0, 0, 255, 255})));
  s.Rectangle({0, sizeTwips, 0, sizeTwips});
  return s;
}

// Button "b" at the origin (drawn 40 px square, taking the pointer over 50 px) whose over
// state holds a clip that traces when it is made; clip "c" at x 100 with pointer handlers.
std::vector<uint8_t> InputMovie() {
  swfb::Movie movie;
  const uint16_t drawn = movie.DefineShape(Square(800));
  const uint16_t hit = movie.DefineShape(Square(1000));
  swfb::Sprite overClip;
  overClip.DoAction(Asm().Trace("over state").End()).ShowFrame();
  const uint16_t over = movie.DefineSprite(overClip);
  auto traced = [](const char* text) { return Asm().Trace(text).End(); };
  const swfb::Movie::ButtonRecord records[] = {
      {1 | 2 | 4, drawn, 1, {}, {}}, {2, over, 2, {}, {}}, {8, hit, 1, {}, {}}};
  const swfb::Movie::ButtonAction actions[] = {
      {0x01, traced("b rollOver")}, {0x02, traced("b rollOut")},
      {0x04, traced("b press")},    {0x08, traced("b release")},
      {0x10, traced("b dragOut")},  {0x20, traced("b dragOver")},
      {0x40, traced("b releaseOutside")}, {'k' << 9, traced("b key k")}};
  const uint16_t button = movie.DefineButton2(records, actions);
  swfb::Sprite clipSprite;
  clipSprite.PlaceObject2([&] {
    swfb::Place p;
    p.characterId = drawn;
    return p;
  }());
  clipSprite.ShowFrame();
  const uint16_t clip = movie.DefineSprite(clipSprite);
  swfb::Place b;
  b.characterId = button;
  b.name = "b";
  movie.PlaceObject2(b);
  swfb::Place c;
  c.depth = 2;
  c.characterId = clip;
  c.name = "c";
  c.matrix = swfb::Matrix::Translate(2000, 0);
  movie.PlaceObject2(c);
  Asm script;
  for (const char* event : {"onPress", "onRelease", "onReleaseOutside", "onRollOver", "onRollOut",
                            "onDragOver"}) {
    script.Handler("c", event, Asm().Trace(std::string("c ") + event));
  }
  script.Handler("_root", "onMouseDown", Asm().Trace("root mouseDown"));
  script.Handler("_root", "onKeyDown",
                 Asm().TraceCall("Key", "getCode", 0).Int(75).TraceCall("Key", "isDown", 1));
  script.Var("_root").TraceCall("Key", "addListener", 1);
  movie.DoAction(script.End()).ShowFrame();
  // Called by label, not played: drags c by its centre, and reports the focus.
  movie.FrameLabel("drag")
      .DoAction(Asm().Int(0).Int(1).Push("c").Op(0x27).End())
      .ShowFrame();
  movie.FrameLabel("focus").DoAction(Asm().TraceCall("Selection", "getFocus", 0).End());
  movie.ShowFrame();
  return movie.Build();
}

struct Loaded {
  swf::Player player;
  std::vector<std::string> traced;
  Loaded() {
    player.SetTraceSink([this](std::string_view line) { traced.emplace_back(line); });
    EXPECT_TRUE(player.Load(InputMovie()).Ok());
    player.Stop();
    traced.clear();
  }
  // "m x y" moves, "d x y" presses, "u x y" releases, "k code ascii" types a key, "t" tabs,
  // "menu" makes c a menu item.
  void Run(const std::string& steps) {
    std::istringstream in(steps);
    std::string op;
    while (in >> op) {
      double x = 0, y = 0;
      if (op == "menu") {
        player.SetVariable("/c:trackAsMenu", "true");
        continue;
      }
      if (op == "t") {
        player.KeyDown(9, 0);
        player.KeyUp(9, 0);
        continue;
      }
      in >> x >> y;
      if (op == "m") player.MouseMove({x, y});
      if (op == "d") player.MouseDown({x, y});
      if (op == "u") player.MouseUp({x, y});
      if (op == "k") player.KeyDown(static_cast<int>(x), static_cast<int>(y));
    }
  }
};

TEST(Input, PointerAndKeysRunTheHandlersInOrder) {
  const struct {
    const char* steps;
    std::vector<std::string> want;
  } cases[] = {
      {"m 10 10", {"over state", "b rollOver"}},
      {"m 10 10 d 10 10 u 10 10",
       {"over state", "b rollOver", "root mouseDown", "b press", "over state", "b release"}},
      {"m 45 45 m 60 60", {"over state", "b rollOver", "b rollOut"}},
      {"d 10 10 m 300 300 m 10 10 m 300 300 u 300 300",
       {"over state", "b rollOver", "root mouseDown", "b press", "over state", "b dragOut",
        "b dragOver", "over state", "b dragOut", "b releaseOutside"}},
      {"m 10 10 m 110 10", {"over state", "b rollOver", "b rollOut", "c onRollOver"}},
      {"d 110 10 u 110 10", {"c onRollOver", "root mouseDown", "c onPress", "c onRelease"}},
      {"d 110 10 u 300 10",
       {"c onRollOver", "root mouseDown", "c onPress", "c onReleaseOutside"}},
      // The press holds the pointer: c hears nothing until it is released, unless it is a menu.
      {"d 10 10 m 110 10 u 110 10",
       {"over state", "b rollOver", "root mouseDown", "b press", "over state", "b dragOut",
        "b releaseOutside", "c onRollOver"}},
      {"menu d 10 10 m 110 10 u 110 10",
       {"over state", "b rollOver", "root mouseDown", "b press", "c onDragOver", "c onRelease"}},
      {"k 75 107", {"75", "true", "b key k"}},
      {"k 65 97", {"65", "false"}},
      // Tab gives b the focus, rolling over it as the pointer would; Enter then clicks it.
      {"t k 13 13",
       {"9", "false", "over state", "b rollOver", "13", "false", "b press", "over state",
        "b release"}},
  };
  for (const auto& c : cases) {
    Loaded m;
    m.Run(c.steps);
    EXPECT_EQ(m.traced, c.want) << c.steps;
  }
}

TEST(Input, HostSeesButtonsAndScriptsSeeThePointer) {
  Loaded m;
  // The hit state counts where nothing is drawn; the hand shows over what takes a press.
  EXPECT_TRUE(m.player.HitTest({45, 45}, swf::ScaleMode::NoScale, 550, 400));
  EXPECT_FALSE(m.player.HitTest({55, 55}, swf::ScaleMode::NoScale, 550, 400));
  EXPECT_EQ(m.player.CursorAt({45, 45}), swf::Cursor::Hand);
  EXPECT_EQ(m.player.CursorAt({115, 10}), swf::Cursor::Hand);
  EXPECT_EQ(m.player.CursorAt({300, 300}), swf::Cursor::Arrow);
  EXPECT_TRUE(m.player.TakesPointer({10, 10}));
  EXPECT_FALSE(m.player.TakesPointer({300, 300}));

  // The viewport may scale the stage: pointer positions come back in stage pixels.
  m.player.SetViewport(swf::ScaleMode::ExactFit, 1100, 800);
  m.player.MouseMove({230, 20});
  EXPECT_EQ(m.player.GetVariable("_xmouse"), "115");
  EXPECT_EQ(m.player.GetVariable("/c:_ymouse"), "10");
  // A clip that moves away from a resting pointer is rolled out of at the next frame.
  ASSERT_TRUE(m.player.SetVariable("/c:_x", "400"));
  m.player.Tick();
  EXPECT_EQ(m.traced, (std::vector<std::string>{"c onRollOver", "c onRollOut"}));

  ASSERT_TRUE(m.player.CallLabel("/", "drag"));
  m.player.MouseMove({500, 300});
  EXPECT_EQ(m.player.GetVariable("/c:_x"), "250");
  EXPECT_EQ(m.player.GetVariable("/c:_y"), "150");
}

TEST(Input, TabMovesTheFocusInReadingOrder) {
  Loaded m;
  for (int i = 0; i < 3; ++i) {
    m.player.KeyDown(9, 0);
    m.player.KeyUp(9, 0);
    ASSERT_TRUE(m.player.CallLabel("/", "focus"));
  }
  // The key listener hears each Tab first; the over state moves with the focus.
  EXPECT_EQ(m.traced,
            (std::vector<std::string>{"9", "false", "over state", "b rollOver", "_level0.b", "9",
                                      "false", "b rollOut", "c onRollOver", "_level0.c", "9",
                                      "false", "c onRollOut", "over state", "b rollOver",
                                      "_level0.b"}));
}

TEST(Input, MalformedButtonsAreRefused) {
  // id 1, not a menu, then: an action offset past the end; a record cut short; an action
  // whose size cannot hold its own header.
  const std::vector<std::vector<uint8_t>> bodies = {
      {1, 0, 0, 0xFF, 0x7F, 0},
      {1, 0, 0, 0, 0, 0x0F, 1},
      {1, 0, 0, 3, 0, 0, 2, 0, 1, 0},
  };
  for (const auto& body : bodies) {
    swfb::Movie movie;
    movie.Tag(swfb::TagCode::DefineButton2, body).ShowFrame();
    swf::Player player;
    EXPECT_FALSE(player.Load(movie.Build()).Ok());
  }
}

}  // namespace
