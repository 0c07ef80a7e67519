// The input the original corpus runs were given (keys pressed, text typed, the mouse moved and
// clicked), which the corpus does not keep. Both corpus tests read it from a data file, one line
// per event, and feed it to a Player once the frame it belongs to has run:
//
//   CASE FRAME key CODE [N]    a key pressed and released (N times)
//   CASE FRAME keydown CODE    a key pressed (held until its keyup)
//   CASE FRAME keyup CODE
//   CASE FRAME keytext CODE TEXT  a key pressed and released that makes TEXT (UTF-8): what a
//                              key gives after a dead key, or nothing ("keytext 222" alone)
//   CASE FRAME buttondown KEY  the right (2) or middle (4) mouse button pressed, or let go
//   CASE FRAME buttonup KEY
//   CASE FRAME type TEXT       characters typed, each pressed and released ("\n" is Enter)
//   CASE FRAME move X Y        the pointer moved to stage pixels
//   CASE FRAME press X Y       the left button pressed there
//   CASE FRAME release X Y
//   CASE FRAME click X Y       moved there, pressed and released
//   CASE FRAME clipboard TEXT  TEXT (UTF-8) copied in another program, for the movie to paste
//   CASE FRAME choose NAME...  the file dialog the movie opened answered with these files
//   CASE FRAME cancel          the file dialog cancelled
#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "player/player.h"

namespace corpus {

struct InputEvent {
  // Move to Click take a point; Type and what follows it take text.
  enum Kind {
    Key, KeyDown, KeyUp, ButtonDown, ButtonUp, Move, Press, Release, Click,
    Type, KeyText, Clipboard, Choose, Cancel
  };
  Kind kind = Key;
  int frame = 0;
  int a = 0, b = 0;  // a key code and how many times, or stage pixels
  std::string text;
};

// A line that does not read as an event is dropped rather than guessed at.
inline std::map<std::string, std::vector<InputEvent>> ReadInputs(
    const std::filesystem::path& file) {
  static const std::map<std::string, InputEvent::Kind> kKinds = {
      {"key", InputEvent::Key},         {"keydown", InputEvent::KeyDown},
      {"keyup", InputEvent::KeyUp},     {"buttondown", InputEvent::ButtonDown},
      {"buttonup", InputEvent::ButtonUp}, {"move", InputEvent::Move},
      {"press", InputEvent::Press},     {"release", InputEvent::Release},
      {"click", InputEvent::Click},     {"type", InputEvent::Type},
      {"keytext", InputEvent::KeyText}, {"clipboard", InputEvent::Clipboard},
      {"choose", InputEvent::Choose},   {"cancel", InputEvent::Cancel}};
  std::ifstream in(file);
  std::map<std::string, std::vector<InputEvent>> out;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string name, kind;
    InputEvent e;
    if (!(words >> name >> e.frame >> kind) || name[0] == '#') continue;
    const auto k = kKinds.find(kind);
    if (k == kKinds.end()) continue;
    e.kind = k->second;
    if (e.kind == InputEvent::Type) {
      std::string raw;
      std::getline(words >> std::ws, raw);
      for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
          const char c = raw[++i];
          e.text += c == 'n' ? '\r' : c;
        } else {
          e.text += raw[i];
        }
      }
      if (e.text.empty()) continue;
    } else if (e.kind >= InputEvent::KeyText) {
      if (e.kind == InputEvent::KeyText && !(words >> e.a)) continue;
      std::getline(words >> std::ws, e.text);
    } else if (!(words >> e.a) || (e.kind >= InputEvent::Move && !(words >> e.b))) {
      continue;
    } else if (e.kind == InputEvent::Key && !(words >> e.b)) {
      e.b = 1;
    }
    out[name].push_back(e);
  }
  return out;
}

// The key code a keyboard reports for a typed character: letters by their capital, Enter, and
// the rest by their own code.
inline int KeyCodeOf(char c) {
  if (c == '\r' || c == '\n') return 13;
  return std::toupper(static_cast<unsigned char>(c));
}

// The character a key gives pressed alone: letters in lower case, digits, space and the
// control keys that have one; arrows and the like give none.
inline int AsciiOf(int code) {
  if (code >= 'A' && code <= 'Z') return code + ('a' - 'A');
  const bool own = code == 8 || code == 9 || code == 13 || code == 27 || code == 32 ||
                   (code >= '0' && code <= '9');
  return own ? code : 0;
}

inline std::u32string Utf32(const std::string& text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? lead : lead & (0x3F >> (n - 1));
    for (size_t k = 1; k < n && i + k < text.size(); ++k) c = (c << 6) | (text[i + k] & 0x3F);
    out += c;
    i += n;
  }
  return out;
}

// The desktop a corpus run's user sits at: a clipboard, and a file dialog that stays open until
// the recorded answer comes.
struct Desk : swf::Clipboard {
  std::u32string text;
  std::u32string Text() override { return text; }
  void SetText(std::u32string_view t) override { text = t; }
  void Serve(swf::Player& player) {
    player.SetClipboard(this);
    player.SetFileDialogOpener([](const swf::FileDialogRequest&) { return true; });
  }
};

inline void Feed(swf::Player& player, Desk& desk, const InputEvent& e) {
  // Pointer positions come in whole pixels, as a window reports them.
  const swf::Point at{static_cast<double>(e.a), static_cast<double>(e.b)};
  switch (e.kind) {
    case InputEvent::Key:
      for (int i = 0; i < e.b; ++i) {
        player.KeyDown(e.a, AsciiOf(e.a));
        player.KeyUp(e.a, AsciiOf(e.a));
      }
      break;
    case InputEvent::KeyDown:
      player.KeyDown(e.a, AsciiOf(e.a));
      break;
    case InputEvent::KeyUp:
      player.KeyUp(e.a, AsciiOf(e.a));
      break;
    case InputEvent::KeyText:
      player.KeyDown(e.a, Utf32(e.text));
      player.KeyUp(e.a, 0);
      break;
    case InputEvent::Clipboard:
      desk.text = Utf32(e.text);
      break;
    case InputEvent::Choose:
    case InputEvent::Cancel: {
      std::vector<swf::ChosenFile> files;
      std::istringstream names(e.text);
      for (std::string name; names >> name;) files.push_back({name, 0});
      player.AnswerFileDialog(files);
      break;
    }
    case InputEvent::ButtonDown:
    case InputEvent::ButtonUp:
      player.OtherButton(e.a, e.kind == InputEvent::ButtonDown);
      break;
    case InputEvent::Type:
      for (const char c : e.text) {
        player.KeyDown(KeyCodeOf(c), static_cast<unsigned char>(c));
        player.KeyUp(KeyCodeOf(c), static_cast<unsigned char>(c));
      }
      break;
    case InputEvent::Move:
      player.MouseMove(at);
      break;
    case InputEvent::Press:
      player.MouseDown(at);
      break;
    case InputEvent::Release:
      player.MouseUp(at);
      break;
    case InputEvent::Click:
      player.MouseMove(at);
      player.MouseDown(at);
      player.MouseUp(at);
      break;
  }
}

}  // namespace corpus
