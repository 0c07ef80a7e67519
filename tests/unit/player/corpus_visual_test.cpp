// Real movies from the shared corpus, rendered and compared with what the original player
// drew. Cases named in visual_passing.txt must keep passing; the others may fail the
// comparison (video, text and the like) but must never crash or hang. Set
// BRIMLOFT_VISUAL_OUT to a folder to get each render there as a PNG.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_inputs.h"
#include "player/player.h"
#include "player/text/device_fonts_native.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMaxFrames = 200;

struct Check {
  int tolerance = 0;
  int maxOutliers = 0;
};

struct Comparison {
  int trigger = 0;  // frame (from 1) to compare at; 0 means the last one
  Check base;
  std::vector<Check> checks;  // when given, each must hold, and `base` is not used
};

struct CaseSettings {
  int frames = 1;
  int viewWidth = 0, viewHeight = 0;  // 0: the stage's own size
  swf::Quality quality = swf::Quality::High;
  std::map<std::string, Comparison> comparisons;  // by image name ("output", "output.01")
};

// `name = N` inside an inline table such as `{ width = 200, height = 200 }`.
int InlineField(const std::string& table, const std::string& name) {
  const auto at = table.find(name + " =");
  return at == std::string::npos ? 0 : std::atoi(table.c_str() + at + name.size() + 2);
}

std::string Trim(std::string s) {
  const auto first = s.find_first_not_of(" \t\r");
  const auto last = s.find_last_not_of(" \t\r");
  return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

// Splits `image_comparisons.NAME.rest` into NAME and rest, NAME possibly quoted.
bool SplitComparisonKey(const std::string& key, std::string& name, std::string& rest) {
  const std::string prefix = "image_comparisons.";
  if (key.rfind(prefix, 0) != 0) return false;
  std::string tail = key.substr(prefix.size());
  if (!tail.empty() && tail[0] == '"') {
    const auto end = tail.find('"', 1);
    if (end == std::string::npos) return false;
    name = tail.substr(1, end - 1);
    tail = tail.substr(end + 1);
  } else {
    const auto dot = tail.find('.');
    name = tail.substr(0, dot);
    tail = dot == std::string::npos ? "" : tail.substr(dot);
  }
  rest = !tail.empty() && tail[0] == '.' ? tail.substr(1) : tail;
  return true;
}

void SetField(Comparison& c, bool inCheck, const std::string& field, int value) {
  Check& target = inCheck && !c.checks.empty() ? c.checks.back() : c.base;
  if (field == "trigger") c.trigger = value;
  if (field == "tolerance") target.tolerance = value;
  if (field == "max_outliers") target.maxOutliers = value;
}

// Just enough TOML for the corpus's test.toml files.
CaseSettings ReadSettings(const fs::path& path) {
  CaseSettings settings;
  std::ifstream in(path);
  std::string line, section;
  bool sectionIsCheck = false;
  while (std::getline(in, line)) {
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    if (line[0] == '[') {
      sectionIsCheck = line.rfind("[[", 0) == 0;
      section =
          Trim(line.substr(sectionIsCheck ? 2 : 1, line.find(']') - (sectionIsCheck ? 2 : 1)));
      std::string name, rest;
      if (SplitComparisonKey(section, name, rest)) {
        Comparison& c = settings.comparisons[name];
        if (sectionIsCheck && rest == "checks") c.checks.emplace_back();
      }
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, eq));
    if (key == "viewport_dimensions") {
      settings.viewWidth = InlineField(line, "width");
      settings.viewHeight = InlineField(line, "height");
      continue;
    }
    if (key == "with_renderer") {
      if (line.find("\"low\"") != std::string::npos) settings.quality = swf::Quality::Low;
      if (line.find("\"medium\"") != std::string::npos) settings.quality = swf::Quality::Medium;
      continue;
    }
    const int value = std::atoi(Trim(line.substr(eq + 1)).c_str());
    if (section.empty() && (key == "num_frames" || key == "num_ticks")) {
      settings.frames = value;
      continue;
    }
    std::string name, rest;
    if (section.empty() && SplitComparisonKey(key, name, rest)) {
      // image_comparisons."output.01".trigger = 1
      SetField(settings.comparisons[name], false, rest, value);
    } else if (SplitComparisonKey(section, name, rest)) {
      SetField(settings.comparisons[name], sectionIsCheck, key, value);
    }
  }
  return settings;
}

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
};

bool ReadPng(const fs::path& path, Image& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGBA;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

// Pixels beyond `tolerance` in any channel; -1 when the sizes differ.
long Outliers(const std::vector<uint32_t>& rendered, int width, int height, const Image& expected,
              int tolerance) {
  if (expected.width != width || expected.height != height) return -1;
  long outliers = 0;
  for (size_t i = 0; i < rendered.size(); ++i) {
    const uint32_t p = rendered[i];
    const uint8_t mine[4] = {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                             static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 24)};
    for (int c = 0; c < 4; ++c) {
      if (std::abs(mine[c] - expected.rgba[i * 4 + c]) > tolerance) {
        ++outliers;
        break;
      }
    }
  }
  return outliers;
}

bool IsFlat(const Image& image) {
  for (size_t i = 4; i < image.rgba.size(); i += 4) {
    if (!std::equal(image.rgba.begin(), image.rgba.begin() + 4, image.rgba.begin() + i)) {
      return false;
    }
  }
  return true;
}

void WritePng(const fs::path& path, int width, int height, const std::vector<uint32_t>& pixels) {
  std::vector<uint8_t> rgba(pixels.size() * 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint32_t p = pixels[i];  // the stage is opaque, so no unpremultiplying is needed
    rgba[i * 4] = static_cast<uint8_t>(p >> 16);
    rgba[i * 4 + 1] = static_cast<uint8_t>(p >> 8);
    rgba[i * 4 + 2] = static_cast<uint8_t>(p);
    rgba[i * 4 + 3] = static_cast<uint8_t>(p >> 24);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), width * 4, nullptr);
}

struct Result {
  std::string name;
  bool passed = false;
  std::string detail;
};

Result RunCase(const fs::path& dir, const std::string& name) {
  Result result{name, false, ""};
  std::ifstream file(dir / "test.swf", std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  static swf::NativeDeviceFonts fonts;
  swf::Player player;
  player.SetDeviceFonts(&fonts);
  if (const swf::MovieError e = player.Load(bytes); !e.Ok()) {
    result.detail =
        std::string("refused: ") + swf::ErrorKindName(e.kind) + " in tag " + std::to_string(e.tag);
    return result;
  }
  const CaseSettings settings = ReadSettings(dir / "test.toml");
  if (settings.comparisons.empty()) {
    result.detail = "no image comparison";
    return result;
  }
  player.SetQuality(settings.quality);
  const int width = std::max(1, settings.viewWidth ? settings.viewWidth : player.StageWidth());
  const int height = std::max(1, settings.viewHeight ? settings.viewHeight : player.StageHeight());
  static const auto inputs =
      corpus::ReadInputs(fs::path(BRIMLOFT_SOURCE_DIR) / "tests/unit/player/visual_inputs.txt");
  const auto found = inputs.find(name);
  const std::vector<corpus::InputEvent> events =
      found == inputs.end() ? std::vector<corpus::InputEvent>{} : found->second;
  corpus::Desk desk;
  desk.Serve(player);
  std::map<int, std::vector<std::pair<std::string, const Comparison*>>> byFrame;
  for (const auto& [image, c] : settings.comparisons) {
    const int frame = std::clamp(c.trigger > 0 ? c.trigger : settings.frames, 1, kMaxFrames);
    byFrame[frame].push_back({image, &c});
  }
  const char* dumpDir = std::getenv("BRIMLOFT_VISUAL_OUT");
  int frame = 1;
  bool allPassed = true;
  std::ostringstream detail;
  for (const auto& [target, comparisons] : byFrame) {
    for (; frame < target; ++frame) player.Tick();
    for (const corpus::InputEvent& e : events) {
      if (e.frame == target) corpus::Feed(player, desk, e);
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
    const swf::Canvas canvas{
        reinterpret_cast<uint8_t*>(pixels.data()), width * 4, width, height, {0, 0, width, height}};
    player.Render(canvas, swf::RenderMode::Opaque, swf::ScaleMode::ShowAll, width, height);
    for (const auto& [image, c] : comparisons) {
      if (dumpDir) {
        std::string flat = name + "." + image + ".png";
        std::replace(flat.begin(), flat.end(), '/', '_');
        WritePng(fs::path(dumpDir) / flat, width, height, pixels);
      }
      Image expected;
      if (!ReadPng(dir / (image + ".expected.png"), expected)) {
        detail << image << ": no expected image ";
        allPassed = false;
        continue;
      }
      if (IsFlat(expected)) {
        // One colour is also what a movie the engine failed to run looks like: the movie must
        // have drawn something onto a transparent canvas too, or at least have put something on
        // its stage (a clip whose bitmap holds no opaque pixel draws nothing, rightly).
        std::vector<uint32_t> alone(pixels.size(), 0);
        const swf::Canvas bare{reinterpret_cast<uint8_t*>(alone.data()),
                               width * 4,
                               width,
                               height,
                               {0, 0, width, height}};
        player.Render(bare, swf::RenderMode::Transparent, swf::ScaleMode::ShowAll, width, height);
        if (std::all_of(alone.begin(), alone.end(), [](uint32_t p) { return p == 0; }) &&
            player.displayList().Root().children.empty()) {
          detail << image << ": flat and nothing drawn ";
          allPassed = false;
        }
      }
      const std::vector<Check> checks = c->checks.empty() ? std::vector<Check>{c->base} : c->checks;
      for (const Check& check : checks) {
        const long outliers = Outliers(pixels, width, height, expected, check.tolerance);
        if (outliers < 0) {
          detail << image << ": size " << expected.width << "x" << expected.height << " vs "
                 << width << "x" << height << " ";
          allPassed = false;
          break;
        }
        if (outliers > check.maxOutliers) {
          detail << image << ": " << outliers << " > " << check.maxOutliers << " at tolerance "
                 << check.tolerance << " ";
          allPassed = false;
        }
      }
    }
  }
  result.passed = allPassed;
  result.detail = detail.str();
  return result;
}

std::set<std::string> ListedCases() {
  std::ifstream in(fs::path(BRIMLOFT_SOURCE_DIR) / "tests/unit/player/visual_passing.txt");
  std::set<std::string> listed;
  for (std::string line; std::getline(in, line);) {
    line = Trim(line);
    if (!line.empty() && line[0] != '#') listed.insert(line);
  }
  return listed;
}

// The rendering cases, named by their folder under visual/, and the script cases that also
// compare a render, named "avm1/NAME".
std::vector<std::pair<fs::path, std::string>> Cases(const fs::path& corpus) {
  std::vector<std::pair<fs::path, std::string>> cases;
  for (const auto& entry : fs::recursive_directory_iterator(corpus / "visual")) {
    if (entry.is_regular_file() && entry.path().filename() == "test.swf") {
      const fs::path dir = entry.path().parent_path();
      cases.emplace_back(dir, fs::relative(dir, corpus / "visual").generic_string());
    }
  }
  for (const auto& entry : fs::directory_iterator(corpus / "avm1")) {
    const fs::path toml = entry.path() / "test.toml";
    std::ifstream in(toml);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    if (fs::exists(entry.path() / "output.expected.png") &&
        text.find("image_comparisons") != std::string::npos) {
      cases.emplace_back(entry.path(), "avm1/" + entry.path().filename().string());
    }
  }
  std::sort(cases.begin(), cases.end());
  return cases;
}

TEST(CorpusVisual, ListedCasesPassAndNoneCrashesOrHangs) {
  const fs::path corpus = fs::path(BRIMLOFT_CORPUS_DIR);
  if (!fs::exists(corpus / "visual")) GTEST_SKIP() << "no corpus at " << corpus;
  const std::set<std::string> listed = ListedCases();
  ASSERT_FALSE(listed.empty());
  auto cases = Cases(corpus);
  // BRIMLOFT_VISUAL_ONLY=part renders only the cases whose names hold it, while working on them.
  if (const char* only = std::getenv("BRIMLOFT_VISUAL_ONLY")) {
    std::erase_if(cases, [&](const auto& c) { return c.second.find(only) == std::string::npos; });
  }
  ASSERT_FALSE(cases.empty());
  int passed = 0, rendering = 0, renderingPassed = 0;
  for (const auto& [dir, name] : cases) {
    const Result r = RunCase(dir, name);
    passed += r.passed;
    if (name.rfind("avm1/", 0) != 0) {
      ++rendering;
      renderingPassed += r.passed;
    }
    std::printf("%-55s %s %s\n", r.name.c_str(), r.passed ? "pass" : "FAIL", r.detail.c_str());
    if (r.passed && !listed.count(r.name)) std::printf("newly passing: %s\n", r.name.c_str());
    if (!r.passed && listed.count(r.name)) ADD_FAILURE() << r.name << " no longer passes";
  }
  for (const std::string& name : listed) {
    const fs::path dir = name.rfind("avm1/", 0) == 0 ? corpus / name : corpus / "visual" / name;
    EXPECT_TRUE(fs::exists(dir / "test.swf")) << name << " is listed but not in the corpus";
    if (std::getenv("BRIMLOFT_VISUAL_ONLY")) break;
  }
  std::printf("%d of %d rendering cases pass; %d of %zu script cases' renders\n", renderingPassed,
              rendering, passed - renderingPassed, cases.size() - rendering);
}

}  // namespace
