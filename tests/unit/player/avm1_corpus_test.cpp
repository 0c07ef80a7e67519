// Script movies from the shared corpus, run headless and their trace output compared with what
// the original player printed. Cases named in avm1_passing.txt must keep passing; the others
// must still end (no crash, no hang), and any that newly pass are printed so the list can grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "player/folder_loads.h"
#include "player/player.h"
#include "player/text/device_fonts_native.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The frame count a case runs for: num_frames, or num_ticks taken as frames.
int FramesToRun(const fs::path& toml) {
  static const std::regex kKey(R"(^\s*num_(frames|ticks)\s*=\s*(\d+))");
  std::istringstream in(ReadText(toml));
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_search(line, m, kKey)) return std::stoi(m[2]);
  }
  return 1;
}

// The window size a case asks to be shown at (viewport_dimensions), or 0 by 0.
std::pair<int, int> ViewportOf(const fs::path& toml) {
  static const std::regex kKey(R"(viewport_dimensions\s*=.*width\s*=\s*(\d+).*height\s*=\s*(\d+))");
  std::smatch m;
  const std::string text = ReadText(toml);
  if (!std::regex_search(text, m, kKey)) return {0, 0};
  return {std::stoi(m[1]), std::stoi(m[2])};
}

std::vector<std::string> RunCase(const fs::path& dir, int frames) {
  std::vector<std::string> traced;
  // Device text measures the same way on every machine with the same fonts installed.
  static swf::NativeDeviceFonts fonts;
  swf::Player player;
  player.SetDeviceFonts(&fonts);
  const auto [viewWidth, viewHeight] = ViewportOf(dir / "test.toml");
  if (viewWidth > 0) player.SetViewport(swf::ScaleMode::ShowAll, viewWidth, viewHeight);
  player.SetTraceSink([&](std::string_view line) {
    // One trace call may print several lines.
    for (std::string& l : Lines(std::string(line) + "\n")) traced.push_back(std::move(l));
  });
  const std::string file = ReadText(dir / "test.swf");
  const std::vector<uint8_t> bytes(file.begin(), file.end());
  // Loads are answered from the case's folder, as a movie played from disk finds its files.
  swf::FolderLoads loads(player, dir);
  // Cases that log what they fetch list each page they open among their trace lines.
  if (std::regex_search(ReadText(dir / "test.toml"), std::regex(R"(log_fetch\s*=\s*true)"))) {
    loads.SetPageSink([&](const swf::Player::UrlRequest& r) {
      traced.insert(traced.end(), {"Navigator::navigate_to_url:", "  URL: " + r.url,
                                   "  Target: " + r.target});
    });
  }
  if (!player.Load(bytes).Ok()) return traced;
  loads.Deliver();
  for (int f = 1; f < frames; ++f) {
    player.Tick();
    loads.Deliver();
  }
  return traced;
}

TEST(Avm1Corpus, ListedCasesPassAndNoneCrashesOrHangs) {
  const fs::path root = fs::path(BRIMLOFT_CORPUS_DIR) / "avm1";
  if (!fs::exists(root)) GTEST_SKIP() << "no corpus at " << root;
  std::set<std::string> listed;
  for (const std::string& name :
       Lines(ReadText(fs::path(BRIMLOFT_SOURCE_DIR) / "tests/unit/player/avm1_passing.txt"))) {
    if (!name.empty() && name[0] != '#') listed.insert(name);
  }
  ASSERT_FALSE(listed.empty());
  std::vector<fs::path> cases;
  // A case may sit in a folder of related cases ("family/case").
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_directory() && fs::exists(entry.path() / "test.swf") &&
        fs::exists(entry.path() / "output.txt")) {
      cases.push_back(entry.path());
    }
  }
  std::sort(cases.begin(), cases.end());
  std::set<std::string> passing;
  for (const fs::path& dir : cases) {
    const std::string name = fs::relative(dir, root).generic_string();
    // Reaching the next line at all is what proves the case neither crashed nor hung.
    const std::vector<std::string> got = RunCase(dir, FramesToRun(dir / "test.toml"));
    const std::vector<std::string> want = Lines(ReadText(dir / "output.txt"));
    if (got == want) {
      passing.insert(name);
      if (!listed.count(name)) std::printf("newly passing: %s\n", name.c_str());
    } else if (listed.count(name)) {
      const auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
      ADD_FAILURE() << name << " no longer passes; first difference at line "
                    << (diff.first - got.begin() + 1) << ": got \""
                    << (diff.first != got.end() ? *diff.first : "<end>") << "\", want \""
                    << (diff.second != want.end() ? *diff.second : "<end>") << "\"";
    }
  }
  for (const std::string& name : listed) {
    EXPECT_TRUE(fs::exists(root / name)) << name << " is listed but not in the corpus";
  }
  std::printf("%zu of %zu script cases pass\n", passing.size(), cases.size());
}

}  // namespace
