#pragma once
// What a movie reaches of the desktop through its host: the clipboard's text, and the dialog in
// which the user picks files to hand to the movie. The engine has no windows of its own; a host
// that offers neither leaves edit fields nothing to paste and file dialogs unopened.
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace swf {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual std::u32string Text() = 0;
  virtual void SetText(std::u32string_view text) = 0;
};

// A movie asking for files: one or several, and the kinds it offers to show, each a
// description and its patterns ("Text files", "*.txt;*.text").
struct FileDialogRequest {
  bool multiple = false;
  std::vector<std::pair<std::string, std::string>> filters;
};

// A file the user chose, as the movie learns of it.
struct ChosenFile {
  std::string name;  // without its folder
  double size = 0;   // in bytes
};

// Asked when a movie wants a dialog; true when one opens. The host answers later, once the user
// has chosen, through the player's AnswerFileDialog.
using FileDialogOpener = std::function<bool(const FileDialogRequest&)>;

}  // namespace swf
