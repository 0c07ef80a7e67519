// Writes small test movies for whole-program tests:
//   make_test_movie OUT.swf --width W --height H [--compressed] [--frames N] [--color RRGGBB]
//                   [--shapes N] [--fps F] [--fscommand COMMAND ARGS]... [--echo NAMES]...
//                   [--set NAME VALUE]... [--load URL TARGET]... [--text TEXT]
//                   [--endless] [--label LABEL ...]...
// The stage is W x H pixels; a rounded panel in the given colour fills most of it, and a white
// disc moves across it from frame to frame so that consecutive frames differ. With --shapes,
// N gradient-filled, outlined curved shapes turn over the panel as well: a vector-heavy movie
// for measuring drawing speed.
// Scripts: the last frame sends each --fscommand in turn, sets each --set variable, and with
// --echo "a b" puts the values of a and b (joined by spaces) into the window title, and
// --load loads a movie into a level ("_level1") or a clip, then stops.
// --text puts an edit field with TEXT in the device font _sans (black, 24 pixels) on the
// panel, above the disc. --button TITLE puts a red 80x50 button in the middle of the stage
// whose press retitles the window. --endless runs a script that loops forever in the last
// frame, before the frame's other scripts.
// After --label LABEL the options that follow fill the script of a frame labelled LABEL that
// only a label call runs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/swf_builder.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: make_test_movie OUT.swf --width W --height H [--compressed]"
                 " [--frames N] [--color RRGGBB]\n");
    return 2;
  }
  int width = 200, height = 150, frames = 1, shapes = 0;
  double fps = 12;
  unsigned color = 0x2080E0;
  bool compressed = false, endless = false;
  std::optional<std::string> text;
  std::optional<std::string> buttonTitle;
  // A key (its character) and the title its press gives the window, through the button.
  std::vector<std::pair<char, std::string>> keyTitles;
  // The last frame's script, then one per label.
  std::vector<std::pair<std::string, swfb::Actions>> scripts(1);
  auto sendCommand = [&](const std::string& command, const std::string& argument) {
    scripts.back().second.GetUrl("FSCommand:" + command, argument);
  };
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
    if (arg == "--width")
      width = std::atoi(next());
    else if (arg == "--height")
      height = std::atoi(next());
    else if (arg == "--frames")
      frames = std::atoi(next());
    else if (arg == "--color")
      color = static_cast<unsigned>(std::strtoul(next(), nullptr, 16));
    else if (arg == "--compressed")
      compressed = true;
    else if (arg == "--endless")
      endless = true;
    else if (arg == "--shapes")
      shapes = std::atoi(next());
    else if (arg == "--fps")
      fps = std::atof(next());
    else if (arg == "--fscommand") {
      const std::string command = next();
      sendCommand(command, next());
    } else if (arg == "--set") {
      const std::string name = next();
      scripts.back().second.Set(name, next());
    } else if (arg == "--echo") {
      swfb::Actions& a = scripts.back().second;
      a.Push("FSCommand:QVL.WIN.TITLE").Push("");
      const std::string names = next();
      size_t start = 0;
      for (bool first = true; start <= names.size(); first = false) {
        const size_t end = std::min(names.find(' ', start), names.size());
        if (!first) a.Push(" ").Do(swfb::Actions::kStringAdd);
        a.Push(names.substr(start, end - start)).Do(swfb::Actions::kGetVariable);
        a.Do(swfb::Actions::kStringAdd);
        start = end + 1;
      }
      a.GetUrl2();
    } else if (arg == "--text") {
      text = next();
    } else if (arg == "--button") {
      buttonTitle = next();
    } else if (arg == "--key") {
      const std::string key = next();
      keyTitles.emplace_back(key.empty() ? ' ' : key[0], next());
    } else if (arg == "--load") {
      const std::string url = next();
      const std::string target = next();
      const bool level = target.rfind("_level", 0) == 0;
      scripts.back().second.Push(url).Push(target).GetUrl2(level ? 0 : 0x40);
    } else if (arg == "--label") {
      scripts.emplace_back(next(), swfb::Actions());
    } else {
      std::fprintf(stderr, "make_test_movie: unknown option %s\n", arg.c_str());
      return 2;
    }
  }
  if (width <= 0 || height <= 0 || frames <= 0 || shapes < 0 || fps <= 0) return 2;

  swfb::MovieHeader header;
  header.stage = {0, width * 20, 0, height * 20};
  header.compressed = compressed;
  header.frameRate = fps;
  swfb::Movie movie(header);
  movie.SetBackgroundColor({255, 255, 255, 255});

  const swfb::Rgba panelColor{static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8),
                              static_cast<uint8_t>(color), 255};
  swfb::Shape panel;
  panel.SetFill0(panel.AddFill(swfb::Fill::Solid(panelColor)));
  const int margin = 10 * 20;
  panel.RoundedRectangle({margin, width * 20 - margin, margin, height * 20 - margin}, 15 * 20);
  const uint16_t panelId = movie.DefineShape(panel, 3);

  swfb::Shape disc;
  disc.SetFill0(disc.AddFill(swfb::Fill::Solid({255, 255, 255, 255})));
  const int radius = 12 * 20;
  disc.Circle(0, 0, radius);
  const uint16_t discId = movie.DefineShape(disc, 3);

  // A rounded star of curves with a radial gradient and an outline, one per turning shape.
  std::vector<uint16_t> petals;
  for (int i = 0; i < shapes; ++i) {
    swfb::Shape petal;
    const int r = (12 + (i * 7) % 40) * 20;
    const swfb::Rgba inner{static_cast<uint8_t>(40 + i * 37 % 200), 200,
                           static_cast<uint8_t>(255 - i * 13 % 200), 230};
    swfb::Gradient g;
    g.stops = {{0, inner}, {255, {20, 30, 60, 200}}};
    petal.SetFill0(petal.AddFill(swfb::Fill::Radial(swfb::Fill::GradientBox({-r, r, -r, r}), g)));
    petal.SetLine(petal.AddLine(swfb::Line::Solid(30, {255, 255, 255, 180})));
    const int points = 5 + i % 4;
    petal.MoveTo(r, 0);
    for (int k = 1; k <= points; ++k) {
      const double a = 2 * M_PI * k / points, mid = a - M_PI / points;
      petal.CurveTo(static_cast<int32_t>(std::cos(mid) * r * 0.3),
                    static_cast<int32_t>(std::sin(mid) * r * 0.3),
                    static_cast<int32_t>(std::cos(a) * r), static_cast<int32_t>(std::sin(a) * r));
    }
    petals.push_back(movie.DefineShape(petal, 3));
  }

  swfb::Place place;
  place.depth = 1;
  place.characterId = panelId;
  movie.PlaceObject2(place);
  if (buttonTitle || !keyTitles.empty()) {
    swfb::Shape face;
    face.SetFill0(face.AddFill(swfb::Fill::Solid({220, 30, 30, 255})));
    face.Rectangle({-40 * 20, 40 * 20, -25 * 20, 25 * 20});
    const uint16_t faceId = movie.DefineShape(face, 3);
    const swfb::Movie::ButtonRecord records[] = {
        {1 | 2 | 4 | 8, faceId, 1, swfb::Matrix::Translate(width * 10, height * 10), {}}};
    std::vector<swfb::Movie::ButtonAction> actions;
    if (buttonTitle) {
      actions.push_back(
          {0x04, swfb::Actions().GetUrl("FSCommand:QVL.WIN.TITLE", *buttonTitle).Bytes()});
    }
    // A key press condition is the key's code in the top seven bits.
    for (const auto& [key, title] : keyTitles) {
      actions.push_back({static_cast<uint16_t>(static_cast<unsigned char>(key) << 9),
                         swfb::Actions().GetUrl("FSCommand:QVL.WIN.TITLE", title).Bytes()});
    }
    swfb::Place button;
    button.depth = 4;
    button.characterId = movie.DefineButton2(records, actions);
    movie.PlaceObject2(button);
  }
  if (text) {
    swfb::EditText field;
    field.bounds = {0, (width - 2 * 20) * 20, 0, 40 * 20};
    field.text = *text;
    field.font = "_sans";
    field.height = 24 * 20;
    field.color = {0, 0, 0, 255};
    field.noSelect = true;
    swfb::Place label;
    label.depth = 3;
    label.characterId = movie.DefineEditText(field);
    label.matrix = swfb::Matrix::Translate(20 * 20, 20 * 20);
    movie.PlaceObject2(label);
  }
  for (int f = 0; f < frames; ++f) {
    for (int i = 0; i < shapes; ++i) {
      swfb::Place p;
      p.depth = static_cast<uint16_t>(10 + i);
      if (f == 0) {
        p.characterId = petals[i];
      } else {
        p.move = true;
      }
      const double turn = 2 * M_PI * f / frames * (i % 2 ? 1 : -1) + i;
      const int x = (i * 97) % width * 20, y = (i * 61) % height * 20;
      p.matrix = swfb::Matrix::Transform(1, 1, turn, x, y);
      movie.PlaceObject2(p);
    }
    const int travel = width * 20 - 2 * (margin + 2 * radius);
    const int x = margin + 2 * radius + (frames > 1 ? travel * f / (frames - 1) : travel / 2);
    swfb::Place dot;
    dot.depth = 2;
    dot.matrix = swfb::Matrix::Translate(x, height * 10);
    if (f == 0) {
      dot.characterId = discId;
    } else {
      dot.move = true;
    }
    movie.PlaceObject2(dot);
    // A jump back onto itself: the action never ends.
    if (f == frames - 1 && endless) {
      movie.DoAction(swfb::Actions().Record(0x99, {0xFB, 0xFF}).Bytes());
    }
    // A movie without scripts loops; one with scripts stops where they ran.
    if (f == frames - 1 && (scripts.size() > 1 || scripts[0].second.Bytes().size() > 1)) {
      movie.DoAction(scripts[0].second.Do(swfb::Actions::kStop).Bytes());
    }
    movie.ShowFrame();
  }
  for (size_t i = 1; i < scripts.size(); ++i) {
    movie.FrameLabel(scripts[i].first);
    movie.DoAction(scripts[i].second.Bytes());
    movie.ShowFrame();
  }
  return movie.Save(argv[1]) ? 0 : 1;
}
