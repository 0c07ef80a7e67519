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

TEST(HostApi, VariablesByEveryPathForm) {
  Loaded m(PathMovie());
  EXPECT_TRUE(m.player.SetVariable("/clip/inner:x", "7"));
  EXPECT_FALSE(m.player.SetVariable("/nowhere:x", "7"));
  EXPECT_FALSE(m.player.SetVariable("_level0.nowhere.x", "7"));
  const struct {
    const char* path;
    std::optional<std::string> value;
  } cases[] = {
      {"a", "root-a"},
      {"/:a", "root-a"},
      {"_root.a", "root-a"},
      {"/clip:w", "clip-own"},
      {"_level0.clip.inner.v", "inner-own"},
      {"_level0.clip.inner.x", "7"},  // set by the host above, read in the other form
      {"/clip", "_level0.clip"},      // a clip reads as its path
      {"missing", std::nullopt},
      {"/nowhere:a", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(m.player.GetVariable(c.path), c.value) << c.path;
  // A root variable the host sets is what the next frame's script reads.
  for (const char* path : {"greeting", "_level0.greeting"}) {
    Loaded fresh(PathMovie());
    ASSERT_TRUE(fresh.player.SetVariable(path, "hello")) << path;
    fresh.player.Tick();
    EXPECT_EQ(fresh.traced, std::vector<std::string>{"hello"}) << path;
  }
}

TEST(HostApi, CalledFramesRunAndThePlayheadStays) {
  const struct {
    const char* target;
    const char* label;  // null: call frame `frame` instead
    size_t frame;
    const char* sets;  // the variable the frame sets; null when the call must fail
  } cases[] = {
      {"", "EXTRA", 0, "called"},  // labels match without regard to case
      {"_level0", nullptr, 2, "called"}, {"/clip", "later", 0, "/clip:clipCalled"},
      {"/", "nolabel", 0, nullptr},      {"/nowhere", "extra", 0, nullptr},
      {"/", nullptr, 9, nullptr},
  };
  for (const auto& c : cases) {
    Loaded m(PathMovie());
    const bool ok =
        c.label ? m.player.CallLabel(c.target, c.label) : m.player.CallFrame(c.target, c.frame);
    EXPECT_EQ(ok, c.sets != nullptr) << c.target;
    if (c.sets) EXPECT_EQ(m.player.GetVariable(c.sets), "yes") << c.target;
    EXPECT_EQ(m.player.CurrentFrame(), 0u) << c.target;
    EXPECT_EQ(m.player.CurrentFrame("/clip"), 0u) << c.target;
  }
}

// Properties by number convert as a script's GetProperty and SetProperty do: text becomes a
// number where the property is one, and a read-only or unknown property is refused or kept.
TEST(HostApi, PropertiesByNumber) {
  Loaded m(PathMovie());
  EXPECT_TRUE(m.player.SetProperty("/clip", 0, "12.5"));   // _x
  EXPECT_TRUE(m.player.SetProperty("_level0.clip", 6, 40.0));  // _alpha, kept in 256ths
  EXPECT_TRUE(m.player.SetProperty("/clip", 13, "renamed"));  // _name
  EXPECT_TRUE(m.player.SetProperty("/renamed", 1, "junk"));  // _y: not a number, kept
  EXPECT_FALSE(m.player.SetProperty("/nowhere", 0, "1"));
  EXPECT_FALSE(m.player.SetProperty("/renamed", 22, "1"));
  const struct {
    const char* target;
    int index;
    std::optional<std::string> text;
  } cases[] = {
      {"/renamed", 0, "12.5"},          {"/renamed", 6, "39.84375"},
      {"/renamed", 1, "0"},             {"/renamed", 11, "/renamed"},
      {"/", 5, "3"},                    {"/renamed/inner", 13, "inner"},
      {"/clip", 0, std::nullopt},       {"/", -1, std::nullopt},
      {"/", 22, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(m.player.GetProperty(c.target, c.index), c.text) << c.target << " " << c.index;
  }
  EXPECT_EQ(m.player.GetPropertyNumber("/renamed", 0), 12.5);
  EXPECT_EQ(m.player.GetPropertyNumber("/", 4), 1.0);  // _currentframe counts from 1
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

// A page opened with a method carries the timeline's own variables: not its child clips or
// functions. GET adds them to the address after what it already asks, POST gives them as a body.
TEST(HostApi, PageOpenedWithAMethodSendsTheTimelinesVariables) {
  Actions first;
  first.Push("http://h/p?q=1").Push("_blank").GetUrl2(1);
  first.Push("http://h/p").Push("_self").GetUrl2(2);
  first.Push("http://h/plain").Push("_self").GetUrl2(0);
  std::vector<swf::Player::UrlRequest> sent;
  swf::Player player;
  player.SetUrlLoader([&](const swf::Player::UrlRequest& r) { sent.push_back(r); });
  ASSERT_TRUE(player.Load(PathMovie(first)).Ok());
  const std::string vars = "a=root%2Da&%24version=WIN%209%2C0%2C0%2C0";
  const struct {
    std::string url, data;
  } want[] = {{"http://h/p?q=1&" + vars, ""}, {"http://h/p", vars}, {"http://h/plain", ""}};
  ASSERT_EQ(sent.size(), std::size(want));
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].url, want[i].url) << i;
    EXPECT_EQ(sent[i].data, want[i].data) << i;
  }
}

}  // namespace

// _focusrect on a root is the movie's own setting, a number underneath (NaN counts as set);
// any other clip answers only what was set on it, read as a SWF 6 boolean.
TEST(HostApi, FocusRectIsMovieWideOnARootAndOwnOnOtherClips) {
  struct Step {
    const char* name;
    const char* value;  // nullptr: only read
    const char* traced;
  };
  const Step steps[] = {
      {"_focusrect", nullptr, "true"},       {"clip:_focusrect", nullptr, "null"},
      {"_focusrect", "0", "false"},          {"_focusrect", "test", "true"},
      {"clip:_focusrect", "1", "true"},      {"clip:_focusrect", "test", "false"},
      {"inner:_focusrect", nullptr, "null"},
  };
  Actions script;
  for (const Step& s : steps) {
    if (s.value) script.Push(s.name).Push(s.value).Do(Actions::kSetVariable);
    script.TraceVariable(s.name);
  }
  swfb::MovieHeader header;
  header.version = 6;
  swfb::Movie movie(header);
  swfb::Sprite clip;
  clip.ShowFrame();
  const uint16_t clipId = movie.DefineSprite(clip);
  movie.PlaceObject2(Named(clipId, "clip"));
  movie.PlaceObject2([&] {
    swfb::Place p = Named(clipId, "inner");
    p.depth = 2;
    return p;
  }());
  movie.DoAction(script.Bytes()).ShowFrame();
  Loaded run(movie.Build());
  std::vector<std::string> want;
  for (const Step& s : steps) want.emplace_back(s.traced);
  EXPECT_EQ(run.traced, want);
}
