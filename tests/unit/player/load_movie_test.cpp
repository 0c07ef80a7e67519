// Movies and variables a movie loads: the request reaches the host, the answer takes effect at
// the end of the next frame, and what arrived is where the movie's scripts look for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "player/folder_loads.h"
#include "player/player.h"
#include "tools/swf_builder.h"

namespace {

using swfb::Actions;
using Expect = std::pair<const char*, std::optional<std::string>>;

// Sets a variable of its own and one on `_root`, and traces, on its first frame.
std::vector<uint8_t> ChildMovie() {
  swfb::Movie child;
  child.DoAction(Actions()
                     .Set("childVar", "c")
                     .Set("/:fromChild", "x")
                     .Push("child ran")
                     .Do(Actions::kTrace)
                     .Bytes());
  child.ShowFrame();
  return child.Build();
}

// An empty clip "holder"; frame 1 runs `first`, frame 3 `second`, then it stops.
std::vector<uint8_t> ParentMovie(const Actions& first, Actions second) {
  swfb::Movie movie;
  swfb::Sprite sprite;
  sprite.ShowFrame();
  const uint16_t empty = movie.DefineSprite(sprite);
  swfb::Place holder;
  holder.characterId = empty;
  holder.name = "holder";
  movie.PlaceObject2(holder);
  movie.DoAction(first.Bytes()).ShowFrame();
  movie.ShowFrame();
  movie.DoAction(second.Do(Actions::kStop).Bytes()).ShowFrame();
  return movie.Build();
}

std::vector<uint8_t> Text(std::string_view s) { return {s.begin(), s.end()}; }

TEST(LoadMovie, RequestsAnsweredByTheHostLandWhereTheMovieLooks) {
  constexpr uint8_t kIntoClip = 0x40, kVariables = 0x80;
  const struct {
    const char* name;
    Actions first, second;
    std::optional<std::vector<uint8_t>> answer;  // none: the host fails the load
    std::vector<Expect> expect;
    int childRuns;
  } cases[] = {
      {"into a clip",
       Actions().Push("child.swf").Push("holder").GetUrl2(kIntoClip),
       Actions(),
       ChildMovie(),
       {{"_level0.holder.childVar", "c"}, {"_level0.fromChild", "x"}, {"_level1", std::nullopt}},
       1},
      {"into level 1, _root being the level's own",
       Actions().Push("child.swf").Push("_level1").GetUrl2(),
       Actions(),
       ChildMovie(),
       {{"_level1.childVar", "c"}, {"_level1.fromChild", "x"}, {"_level0.fromChild", std::nullopt}},
       1},
      {"level named by the old GetURL",
       Actions().GetUrl("child.swf", "_level2"),
       Actions(),
       ChildMovie(),
       {{"_level2.childVar", "c"}},
       1},
      {"unloaded again by an empty address",
       Actions().Push("child.swf").Push("holder").GetUrl2(kIntoClip),
       Actions().Push("").Push("holder").GetUrl2(kIntoClip),
       ChildMovie(),
       {{"_level0.holder.childVar", std::nullopt}, {"_level0.holder", "_level0.holder"}},
       1},
      {"variables, URL-decoded",
       Actions().Push("vars.txt").Push("holder").GetUrl2(kIntoClip | kVariables),
       Actions(),
       Text("a=1+2&b=%41%4&&c"),
       {{"_level0.holder.a", "1 2"}, {"_level0.holder.b", "A%4"}, {"_level0.holder.c", ""}},
       0},
      {"a file that is no movie changes nothing",
       Actions().Push("child.swf").Push("holder").GetUrl2(kIntoClip),
       Actions(),
       Text("not a movie"),
       {{"_level0.holder", "_level0.holder"}, {"_level0.holder.childVar", std::nullopt}},
       0},
      {"a failed load changes nothing",
       Actions().Push("child.swf").Push("_level1").GetUrl2(),
       Actions(),
       std::nullopt,
       {{"_level1", std::nullopt}},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    swf::Player player;
    int childRuns = 0;
    player.SetTraceSink([&](std::string_view line) { childRuns += line == "child ran"; });
    std::vector<swf::Player::UrlRequest> requests;
    player.SetUrlLoader([&](const swf::Player::UrlRequest& r) { requests.push_back(r); });
    ASSERT_TRUE(player.Load(ParentMovie(c.first, c.second)).Ok());
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_NE(requests[0].loadId, 0u);
    if (c.answer) {
      player.CompleteLoad(requests[0].loadId, *c.answer);
    } else {
      player.FailLoad(requests[0].loadId);
    }
    player.Tick();  // the answer lands
    player.Tick();  // the third frame's script runs
    EXPECT_EQ(player.PendingLoads(), 0u);
    for (const auto& [path, value] : c.expect) EXPECT_EQ(player.GetVariable(path), value) << path;
    EXPECT_EQ(childRuns, c.childRuns);
  }
}

TEST(LoadMovie, LevelZeroReplacesTheMovieAndPagesGoToTheHostUnanswered) {
  swf::Player player;
  std::vector<swf::Player::UrlRequest> requests;
  player.SetUrlLoader([&](const swf::Player::UrlRequest& r) { requests.push_back(r); });
  ASSERT_TRUE(player
                  .Load(ParentMovie(Actions()
                                        .GetUrl("http://example.com/", "_blank")
                                        .Push("child.swf")
                                        .Push("_level0")
                                        .GetUrl2(),
                                    Actions()))
                  .Ok());
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].loadId, 0u);  // a page: nothing comes back
  player.CompleteLoad(requests[1].loadId, ChildMovie());
  player.Tick();
  EXPECT_EQ(player.GetVariable("childVar"), "c");
  EXPECT_EQ(player.GetVariable("holder"), std::nullopt);
}

TEST(LoadMovie, FolderLoadsFindFilesByNameAndFailTheRest) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("brimloft_folder_loads_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "vars.txt", std::ios::binary) << "a=1";
  const struct {
    const char* url;
    std::optional<std::string> a;
  } cases[] = {
      {"vars.txt", "1"},
      {"vars.txt?x=2#top", "1"},  // the query is no part of the file's name
      {"missing.txt", std::nullopt},
      {"http://example.com/vars.txt", std::nullopt},  // nothing is fetched from the web
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    swf::Player player;
    swf::FolderLoads loads(player, folder);
    constexpr uint8_t kIntoClip = 0x40, kVariables = 0x80;
    ASSERT_TRUE(player
                    .Load(ParentMovie(
                        Actions().Push(c.url).Push("holder").GetUrl2(kIntoClip | kVariables),
                        Actions()))
                    .Ok());
    loads.Deliver();
    player.Tick();
    EXPECT_EQ(player.PendingLoads(), 0u);
    EXPECT_EQ(player.GetVariable("_level0.holder.a"), c.a);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
