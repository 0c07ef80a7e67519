// What a host sees of a running movie and what the movie sees of the host: variables by path,
// frame scripts called by label, and the fscommand round trip inside one action.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "player/player.h"
#include "tools/swf_builder.h"

namespace {

using swfb::Actions;

// A named clip at depth 1.
swfb::Place Named(uint16_t id, const char* name) {
  swfb::Place p;
  p.characterId = id;
  p.name = name;
  return p;
}

// A main timeline holding clip "clip", which holds clip "inner"; each timeline sets a
// variable of its own on its first frame. Main frame 1 ("reply") copies `greeting` into `seen`
// and traces it; frame 2 ("extra") sets `called`. `first` runs on the main timeline's frame 0.
std::vector<uint8_t> PathMovie(const Actions& first = {}) {
  swfb::Movie movie;
  swfb::Sprite inner;
  inner.DoAction(Actions().Set("v", "inner-own").Bytes()).ShowFrame();
  const uint16_t innerId = movie.DefineSprite(inner);
  swfb::Sprite clip;
  clip.PlaceObject2(Named(innerId, "inner"));
  clip.DoAction(Actions().Set("w", "clip-own").Bytes()).FrameLabel("mark").ShowFrame();
  clip.DoAction(Actions().Set("clipCalled", "yes").Bytes()).FrameLabel("later").ShowFrame();
  const uint16_t clipId = movie.DefineSprite(clip);
  movie.PlaceObject2(Named(clipId, "clip"));
  movie.DoAction(Actions().Set("a", "root-a").Bytes());
  movie.DoAction(first.Bytes()).ShowFrame();
  movie.FrameLabel("reply");
  movie.DoAction(Actions()
                     .Push("seen")
                     .Push("greeting")
                     .Do(Actions::kGetVariable)
                     .Do(Actions::kSetVariable)
                     .TraceVariable("seen")
                     .Bytes());
  movie.ShowFrame();
  movie.FrameLabel("extra").DoAction(Actions().Set("called", "yes").Bytes()).ShowFrame();
  return movie.Build();
}

struct Loaded {
  swf::Player player;
  std::vector<std::string> traced;
  explicit Loaded(const std::vector<uint8_t>& file) {
    player.SetTraceSink([this](std::string_view line) { traced.emplace_back(line); });
    EXPECT_TRUE(player.Load(file).Ok());
  }
};

TEST(HostApi, GetVariableReadsWhatScriptsSetAcrossPathForms) {
  Loaded m(PathMovie());
  const struct {
    const char* path;
    std::optional<std::string> value;
  } cases[] = {
      {"a", "root-a"},
      {"/:a", "root-a"},
      {"_level0.a", "root-a"},
      {"_root.a", "root-a"},
      {"/clip:w", "clip-own"},
      {"_level0.clip.w", "clip-own"},
      {"/clip/inner:v", "inner-own"},
      {"_level0.clip.inner.v", "inner-own"},
      {"/clip", "_level0.clip"},  // a clip reads as its path
      {"missing", std::nullopt},
      {"/clip:missing", std::nullopt},
      {"/nowhere:a", std::nullopt},
      {"_level0.nowhere.a", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(m.player.GetVariable(c.path), c.value) << c.path;
}

TEST(HostApi, SetVariableIsSeenByScriptsAndByGetVariable) {
  // A root variable set by the host, in each path form, is what the next frame's script reads.
  for (const char* path : {"greeting", "/:greeting", "_level0.greeting", "_root.greeting"}) {
    Loaded m(PathMovie());
    ASSERT_TRUE(m.player.SetVariable(path, "hello")) << path;
    m.player.Tick();
    EXPECT_EQ(m.traced, std::vector<std::string>{"hello"}) << path;
  }
  // Set in one form, read in another; numbers go in as text and come back as text.
  Loaded m(PathMovie());
  const struct {
    const char* set;
    const char* get;
    bool accepted;
    std::optional<std::string> value;
  } cases[] = {
      {"/clip/inner:x", "_level0.clip.inner.x", true, "7"},
      {"_level0.clip.y", "/clip:y", true, "7"},
      {"/clip:w", "_level0.clip.w", true, "7"},  // replaces what the clip set
      {"/nowhere:z", "/nowhere:z", false, std::nullopt},
      {"_level0.nowhere.z", "_level0.nowhere.z", false, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(m.player.SetVariable(c.set, "7"), c.accepted) << c.set;
    EXPECT_EQ(m.player.GetVariable(c.get), c.value) << c.get;
  }
}

TEST(HostApi, CallLabelRunsThatFrameAndLeavesThePlayhead) {
  const struct {
    const char* target;
    const char* label;  // null: call frame `frame` instead
    size_t frame;
    bool ok;
    const char* variable;  // what the frame sets, read back; null when nothing runs
  } cases[] = {
      {"/", "extra", 0, true, "called"},
      {"", "EXTRA", 0, true, "called"},  // labels match without regard to case
      {"_level0", nullptr, 2, true, "called"},
      {"/clip", "later", 0, true, "/clip:clipCalled"},
      {"_level0.clip", nullptr, 1, true, "/clip:clipCalled"},
      {"/", "nolabel", 0, false, nullptr},
      {"/nowhere", "extra", 0, false, nullptr},
      {"/", nullptr, 9, false, nullptr},
  };
  for (const auto& c : cases) {
    Loaded m(PathMovie());
    const bool ok =
        c.label ? m.player.CallLabel(c.target, c.label) : m.player.CallFrame(c.target, c.frame);
    EXPECT_EQ(ok, c.ok) << c.target;
    if (c.variable) EXPECT_EQ(m.player.GetVariable(c.variable), "yes") << c.target;
    EXPECT_FALSE(m.player.GetVariable("called") && !c.ok) << c.target;
    EXPECT_EQ(m.player.CurrentFrame(), 0u) << c.target;
    EXPECT_EQ(m.player.CurrentFrame("/clip"), 0u) << c.target;
  }
}

TEST(HostApi, TargetedTimelineControl) {
  Loaded m(PathMovie());
  EXPECT_TRUE(m.player.SetPlaying("/clip", false));
  EXPECT_TRUE(m.player.GotoLabel("_level0.clip", "later"));
  EXPECT_EQ(m.player.CurrentFrame("/clip"), 1u);
  EXPECT_EQ(m.player.CurrentLabel("/clip"), "later");
  EXPECT_EQ(m.player.GetVariable("/clip:clipCalled"), "yes");  // entering the frame ran it
  EXPECT_TRUE(m.player.GotoFrame("/clip", 0));
  EXPECT_EQ(m.player.CurrentLabel("/clip"), "mark");
  EXPECT_FALSE(m.player.GotoFrame("/clip", 2));
  EXPECT_FALSE(m.player.GotoLabel("/clip", "extra"));  // the main timeline's label, not its own
  EXPECT_FALSE(m.player.SetPlaying("/nowhere", true));
  EXPECT_EQ(m.player.CurrentFrame("/nowhere"), std::nullopt);
  EXPECT_EQ(m.player.CurrentFrame(), 0u);
}

TEST(HostApi, FsCommandAnswerIsReadByTheNextAction) {
  // Each request is followed by `answer = reply`: the host's reply must already be there.
  Actions first;
  first.GetUrl("FSCommand:ask", "question");
  first.Push("answer").Push("reply").Do(Actions::kGetVariable).Do(Actions::kSetVariable);
  first.Push("fscommand:second").Push("more args").GetUrl2();
  first.Push("answer2").Push("reply").Do(Actions::kGetVariable).Do(Actions::kSetVariable);
  first.GetUrl("http://example.com/page", "_blank");
  first.Push("FSCommand").Push("").GetUrl2();  // no colon: an ordinary URL

  struct Seen {
    std::vector<std::pair<std::string, std::string>> commands;
    std::vector<std::string> urls;
  } seen;
  swf::Player player;
  player.SetFsCommandHandler([&](std::string_view command, std::string_view args) {
    seen.commands.emplace_back(command, args);
    player.SetVariable("reply", "reply to " + std::string(command));
  });
  player.SetUrlLoader([&](const swf::Player::UrlRequest& r) { seen.urls.push_back(r.url); });
  ASSERT_TRUE(player.Load(PathMovie(first)).Ok());

  const std::vector<std::pair<std::string, std::string>> commands{{"ask", "question"},
                                                                  {"second", "more args"}};
  EXPECT_EQ(seen.commands, commands);
  EXPECT_EQ(seen.urls, (std::vector<std::string>{"http://example.com/page", "FSCommand"}));
  EXPECT_EQ(player.GetVariable("answer"), "reply to ask");
  EXPECT_EQ(player.GetVariable("answer2"), "reply to second");
}

}  // namespace
