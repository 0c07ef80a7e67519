// Script movies from the shared corpus, run headless and their trace output compared with what
// the original player printed. Cases named in avm1_passing.txt must keep passing; the others
// must still end (no crash, no hang), and any that newly pass are printed so the list can grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_inputs.h"
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

// How a case lets numbers differ: `[approximations]` with an epsilon, applied to lines that are
// one number alone (bare_numbers) or to what number_patterns capture.
struct Approximations {
  double epsilon = 0;
  bool bareNumbers = false;
  std::vector<std::regex> patterns;
};

// What a case's test.toml asks for, read in one pass.
struct CaseSettings {
  int frames = 1;                     // num_frames, or num_ticks taken as frames
  int viewWidth = 0, viewHeight = 0;  // viewport_dimensions, or 0 by 0
  // Cases marked log_fetch expect the requests a movie sends among the trace lines, in the
  // form the original suite recorded them.
  bool logFetch = false;
  Approximations approximations;
};

CaseSettings ReadSettings(const fs::path& toml) {
  CaseSettings c;
  Approximations& a = c.approximations;
  std::istringstream in(ReadText(toml));
  std::string line, section;
  bool framesRead = false, viewRead = false;
  static const std::regex kFrames(R"(^\s*num_(frames|ticks)\s*=\s*(\d+))");
  static const std::regex kView(
      R"(viewport_dimensions\s*=.*width\s*=\s*(\d+).*height\s*=\s*(\d+))");
  static const std::regex kLogFetch(R"(^\s*log_fetch\s*=\s*true)");
  static const std::regex kSection(R"(^\s*\[([^\]]*)\])");
  static const std::regex kEpsilon(R"(^\s*epsilon\s*=\s*([-+0-9.eE]+))");
  static const std::regex kBare(R"(^\s*bare_numbers\s*=\s*true)");
  static const std::regex kPatterns(R"(^\s*number_patterns\s*=\s*\[(.*)\])");
  static const std::regex kQuoted(R"re("((?:[^"\\]|\\.)*)")re");
  std::smatch m;
  while (std::getline(in, line)) {
    if (!framesRead && std::regex_search(line, m, kFrames)) {
      c.frames = std::stoi(m[2]);
      framesRead = true;
    }
    if (!viewRead && std::regex_search(line, m, kView)) {
      c.viewWidth = std::stoi(m[1]);
      c.viewHeight = std::stoi(m[2]);
      viewRead = true;
    }
    if (std::regex_search(line, kLogFetch)) c.logFetch = true;
    if (std::regex_search(line, m, kSection)) {
      section = m[1];
      continue;
    }
    if (section != "approximations") continue;
    if (std::regex_search(line, m, kEpsilon)) a.epsilon = std::stod(m[1]);
    if (std::regex_search(line, kBare)) a.bareNumbers = true;
    if (std::regex_search(line, m, kPatterns)) {
      const std::string list = m[1];
      for (auto it = std::sregex_iterator(list.begin(), list.end(), kQuoted);
           it != std::sregex_iterator(); ++it) {
        // TOML's basic strings escape their backslashes.
        std::string pattern;
        const std::string body = (*it)[1];
        for (size_t i = 0; i < body.size(); ++i) {
          if (body[i] == '\\' && i + 1 < body.size()) ++i;
          pattern += body[i];
        }
        a.patterns.emplace_back(pattern);
      }
    }
  }
  return c;
}

bool Near(const std::string& got, const std::string& want, double epsilon) {
  char* endGot = nullptr;
  char* endWant = nullptr;
  const double g = std::strtod(got.c_str(), &endGot);
  const double w = std::strtod(want.c_str(), &endWant);
  if (got.empty() || want.empty() || *endGot || *endWant) return false;
  return std::fabs(g - w) <= epsilon;
}

bool LineMatches(const std::string& got, const std::string& want, const Approximations& a) {
  if (got == want) return true;
  if (a.epsilon <= 0) return false;
  if (a.bareNumbers && Near(got, want, a.epsilon)) return true;
  for (const std::regex& pattern : a.patterns) {
    // The lines must agree outside what the pattern captures, and be near inside it.
    std::smatch g, w;
    std::string restGot = got, restWant = want, shapeGot, shapeWant;
    bool near = true, any = false;
    while (std::regex_search(restGot, g, pattern) && std::regex_search(restWant, w, pattern) &&
           g.size() > 1 && w.size() > 1 && g[0].length() > 0) {
      any = true;
      auto shape = [](const std::smatch& m) {
        const std::string whole = m[0];
        const auto at = static_cast<size_t>(m.position(1) - m.position(0));
        return m.prefix().str() + whole.substr(0, at) + "#" + whole.substr(at + m[1].length());
      };
      shapeGot += shape(g);
      shapeWant += shape(w);
      near = near && Near(g[1], w[1], a.epsilon);
      restGot = g.suffix();
      restWant = w.suffix();
    }
    if (any && near && shapeGot + restGot == shapeWant + restWant) return true;
  }
  return false;
}

std::vector<std::string> RunCase(const fs::path& dir, const CaseSettings& settings,
                                 const std::vector<corpus::InputEvent>& events) {
  std::vector<std::string> traced;
  // Device text measures the same way on every machine with the same fonts installed.
  static swf::NativeDeviceFonts fonts;
  swf::Player player;
  player.SetDeviceFonts(&fonts);
  corpus::Desk desk;
  desk.Serve(player);
  if (settings.viewWidth > 0) {
    player.SetViewport(swf::ScaleMode::ShowAll, settings.viewWidth, settings.viewHeight);
  }
  player.SetTraceSink([&](std::string_view line) {
    // One trace call may print several lines.
    for (std::string& l : Lines(std::string(line) + "\n")) traced.push_back(std::move(l));
  });
  const std::string file = ReadText(dir / "test.swf");
  const std::vector<uint8_t> bytes(file.begin(), file.end());
  // Loads are answered from the case's folder, as a movie played from disk finds its files.
  swf::FolderLoads loads(player, dir);
  if (settings.logFetch) {
    loads.Watch([&](const swf::Player::UrlRequest& r) {
      for (std::string& line : swf::DescribeRequest(r)) traced.push_back(std::move(line));
    });
  }
  if (!player.Load(bytes).Ok()) return traced;
  loads.Deliver();
  // What a person did during the run comes once the frame it belongs to has run.
  auto feed = [&](int frame) {
    for (const corpus::InputEvent& e : events) {
      if (e.frame == frame) corpus::Feed(player, desk, e);
    }
    loads.Deliver();
  };
  feed(1);
  for (int f = 1; f < settings.frames; ++f) {
    player.Tick();
    loads.Deliver();
    feed(f + 1);
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
  const auto inputs =
      corpus::ReadInputs(fs::path(BRIMLOFT_SOURCE_DIR) / "tests/unit/player/avm1_inputs.txt");
  std::set<std::string> passing;
  // BRIMLOFT_AVM1_ONLY=name runs that case alone and prints what it traced.
  const char* only = std::getenv("BRIMLOFT_AVM1_ONLY");
  for (const fs::path& dir : cases) {
    const std::string name = fs::relative(dir, root).generic_string();
    if (only && name != only) continue;
    // Reaching the next line at all is what proves the case neither crashed nor hung.
    const CaseSettings settings = ReadSettings(dir / "test.toml");
    const auto found = inputs.find(name);
    const std::vector<std::string> got = RunCase(
        dir, settings, found == inputs.end() ? std::vector<corpus::InputEvent>{} : found->second);
    const std::vector<std::string> want = Lines(ReadText(dir / "output.txt"));
    const Approximations& approx = settings.approximations;
    if (only) {
      for (const std::string& line : got) std::printf("%s\n", line.c_str());
    }
    if (std::equal(got.begin(), got.end(), want.begin(), want.end(),
                   [&](const std::string& g, const std::string& w) {
                     return LineMatches(g, w, approx);
                   })) {
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
    if (only) break;
    EXPECT_TRUE(fs::exists(root / name)) << name << " is listed but not in the corpus";
  }
  std::printf("%zu of %zu script cases pass\n", passing.size(), cases.size());
}

}  // namespace
