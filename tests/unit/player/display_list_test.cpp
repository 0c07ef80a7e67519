// Playing timelines: frames, loops, labels, gotos, sprites with their own time, and the
// limits that keep self-placing sprites bounded.
#include <gtest/gtest.h>

#include "player/player.h"
#include "tools/swf_builder.h"

namespace {

swfb::Shape Box(swf::Rgba color) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid(color)));
  s.Rectangle({0, 200, 0, 200});
  return s;
}

void Load(swf::Player& player, const swfb::Movie& m) {
  const swf::MovieError e = player.Load(m.Build());
  ASSERT_TRUE(e.Ok()) << swf::ErrorKindName(e.kind) << " in tag " << e.tag;
}

// Depth -> character id of the main timeline's objects.
std::map<uint16_t, uint16_t> Stage(const swf::Player& p) {
  std::map<uint16_t, uint16_t> out;
  for (const auto& [depth, object] : p.displayList().Root().children) {
    out[depth] = object->characterId;
  }
  return out;
}

const swf::DisplayObject& At(const swf::Player& p, uint16_t depth) {
  return *p.displayList().Root().children.at(depth);
}

swfb::Place Place(uint16_t depth, uint16_t id, int32_t x = 0) {
  swfb::Place p;
  p.depth = depth;
  p.characterId = id;
  p.matrix = swfb::Matrix::Translate(x, 0);
  return p;
}

TEST(Timeline, PlaysLoopsAndGoesToFramesAndLabels) {
  swfb::Movie m;
  const uint16_t a = m.DefineShape(Box({255, 0, 0, 255}));
  const uint16_t b = m.DefineShape(Box({0, 255, 0, 255}));
  m.PlaceObject2(Place(1, a)).ShowFrame();
  m.FrameLabel("second").PlaceObject2(Place(2, b)).ShowFrame();
  m.RemoveObject2(1).FrameLabel("last").ShowFrame();
  swf::Player p;
  Load(p, m);
  EXPECT_EQ(p.FrameCount(), 3u);

  using Expect = std::map<uint16_t, uint16_t>;
  const std::vector<std::pair<size_t, Expect>> playing = {
      {1, {{1, a}, {2, b}}}, {2, {{2, b}}}, {0, {{1, a}}}, {1, {{1, a}, {2, b}}}};
  EXPECT_EQ(Stage(p), (Expect{{1, a}}));
  for (const auto& [frame, stage] : playing) {
    p.Tick();
    EXPECT_EQ(p.CurrentFrame(), frame);
    EXPECT_EQ(Stage(p), stage) << "frame " << frame;
  }

  p.Stop();
  p.Tick();
  EXPECT_EQ(p.CurrentFrame(), 1u) << "stopped";
  EXPECT_TRUE(p.GotoLabel("LAST"));
  EXPECT_EQ(p.CurrentFrame(), 2u);
  EXPECT_EQ(Stage(p), (Expect{{2, b}}));
  EXPECT_TRUE(p.GotoFrame(0));
  EXPECT_EQ(Stage(p), (Expect{{1, a}}));
  EXPECT_FALSE(p.GotoFrame(3));
  EXPECT_FALSE(p.GotoLabel("none"));
  EXPECT_EQ(p.CurrentFrame(), 0u);
  const auto labels = p.FrameLabels();
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].name, "second");
  EXPECT_EQ(labels[0].frame, 1u);
  EXPECT_EQ(labels[1].frame, 2u);
}

TEST(Timeline, SpritesKeepTheirOwnTime) {
  swfb::Movie m;
  const uint16_t box = m.DefineShape(Box({0, 0, 255, 255}));
  swfb::Sprite s;
  s.PlaceObject2(Place(1, box, 0)).ShowFrame();
  for (int32_t x : {100, 200}) {
    swfb::Place move;
    move.depth = 1;
    move.move = true;
    move.matrix = swfb::Matrix::Translate(x, 0);
    s.PlaceObject2(move).ShowFrame();
  }
  const uint16_t sprite = m.DefineSprite(s);
  // The main timeline places the same sprite again on its first frame, and places a second
  // one late: each instance counts its own frames.
  m.PlaceObject2(Place(1, sprite)).ShowFrame();
  m.PlaceObject2(Place(2, sprite)).ShowFrame();
  swf::Player p;
  Load(p, m);
  auto spriteFrame = [&](uint16_t depth) { return At(p, depth).frame; };
  auto childX = [&](uint16_t depth) { return At(p, depth).children.at(1)->matrix.tx; };
  EXPECT_EQ(spriteFrame(1), 0u);
  EXPECT_EQ(childX(1), 0);
  p.Tick();
  EXPECT_EQ(spriteFrame(1), 1u);
  EXPECT_EQ(childX(1), 100);
  EXPECT_EQ(spriteFrame(2), 0u) << "placed this tick";
  p.Tick();  // the main timeline loops; depth 1 holds the same sprite and keeps running
  EXPECT_EQ(p.CurrentFrame(), 0u);
  EXPECT_EQ(spriteFrame(1), 2u);
  EXPECT_EQ(childX(1), 200);
  EXPECT_FALSE(p.displayList().Root().children.count(2));
  p.Stop();
  p.Tick();  // sprites run on while the main timeline is stopped, and loop
  EXPECT_EQ(spriteFrame(1), 0u);
  EXPECT_EQ(childX(1), 0);
}

TEST(Timeline, MovesReplacesAndRemoves) {
  swfb::Movie m;
  const uint16_t a = m.DefineShape(Box({255, 0, 0, 255}));
  const uint16_t b = m.DefineShape(Box({0, 255, 0, 255}));
  swfb::Place first = Place(1, a, 300);
  first.colorTransform = swfb::ColorTransform{128, 256, 256, 256, 0, 0, 0, 0};
  m.PlaceObject2(first).ShowFrame();
  swfb::Place replace;
  replace.depth = 1;
  replace.move = true;
  replace.characterId = b;
  m.PlaceObject2(replace).ShowFrame();
  swfb::Place moveScale;
  moveScale.depth = 1;
  moveScale.move = true;
  moveScale.matrix = swfb::Matrix::Scale(2, 2, 40, 0);
  m.PlaceObject2(moveScale).RemoveObject(a, 7).ShowFrame();
  m.RemoveObject(b, 1).ShowFrame();
  swf::Player p;
  Load(p, m);
  p.Tick();
  EXPECT_EQ(At(p, 1).characterId, b);
  EXPECT_EQ(At(p, 1).matrix.tx, 300) << "replacing keeps the transform";
  EXPECT_EQ(At(p, 1).colors.rMul, 128);
  p.Tick();
  EXPECT_EQ(At(p, 1).matrix.a, 2);
  EXPECT_EQ(At(p, 1).matrix.tx, 40);
  EXPECT_EQ(At(p, 1).colors.rMul, 128) << "a move without a colour transform keeps it";
  p.Tick();
  EXPECT_TRUE(p.displayList().Root().children.empty());
}

TEST(Timeline, SelfPlacingSpritesStayBounded) {
  // Sprite 1 places itself twice: unbounded, it would double at every level.
  swfb::Sprite s;
  s.PlaceObject2(Place(1, 1)).PlaceObject2(Place(2, 1)).ShowFrame().ShowFrame();
  swfb::Movie m;
  m.DefineSprite(s, 1);
  m.PlaceObject2(Place(1, 1)).ShowFrame();
  swf::Player p;
  Load(p, m);
  for (int i = 0; i < 3; ++i) p.Tick();
  EXPECT_LE(p.displayList().ObjectCount(), swf::kMaxDisplayObjects);
  EXPECT_GT(p.displayList().ObjectCount(), 1000u);
  int deepest = 0;
  const swf::DisplayObject* o = &p.displayList().Root();
  while (!o->children.empty()) {
    o = o->children.begin()->second.get();
    ++deepest;
  }
  EXPECT_LE(deepest, swf::kMaxNesting + 1);
}

TEST(Timeline, ReportsFrameActionsWithTheirClip) {
  swfb::Sprite s;
  // Actions that leave the timelines alone (Pop, PushDuplicate): the player runs them too.
  const uint8_t inSprite[] = {0x4C, 0x00};
  s.DoAction(inSprite).ShowFrame().ShowFrame();
  swfb::Movie m;
  const uint16_t sprite = m.DefineSprite(s);
  const uint8_t first[] = {0x17, 0x00};
  m.PlaceObject2(Place(5, sprite)).DoAction(first).ShowFrame().ShowFrame();
  swf::Player p;
  // Clips by the depth they sit at (-1 for the main timeline), found through their handle.
  std::vector<std::pair<int, uint8_t>> seen;
  p.SetActionHook([&](const swf::FrameActions& a) {
    if (!a.block) return;  // clip events
    const auto& root = p.displayList().Root();
    const int depth = a.clip == root.id ? -1 : root.children.at(5)->depth;
    seen.push_back({depth, a.block->bytes.at(0)});
  });
  Load(p, m);  // the sprite placed ahead of the main timeline's script runs its frame first
  p.Tick();    // main timeline to frame 1 (no actions), sprite to its frame 1 (none)
  p.Tick();    // both loop to their first frames, the newer clip first; the sprite stays
  using Seen = std::vector<std::pair<int, uint8_t>>;
  EXPECT_EQ(seen, (Seen{{5, 0x4C}, {-1, 0x17}, {5, 0x4C}, {-1, 0x17}}));
}

}  // namespace
