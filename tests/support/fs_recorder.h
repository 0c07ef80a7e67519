#pragma once
// An FsPlatform that writes down every call instead of making it, and answers queries from
// fields a test sets: the fscommand table checked without a window or a registry.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "scripting/fscommand.h"

namespace brim {

class FsRecorder final : public FsPlatform {
 public:
  std::vector<std::string> log;
  FsRect windowRect{120, 80, 440, 320};
  FsSize screen{1024, 768};
  FsSize fullScreenClient{1024, 740};
  FsRect workArea{0, 0, 1024, 738};
  std::wstring initialDirectory = L"C:\\games\\";
  int menuCount = 8;  // below 0: no menu
  std::map<std::wstring, std::wstring> registry;  // "root|subkey|value" -> text
  // Runs inside SetVariable, as a movie's watcher would.
  std::function<void(const std::wstring& name)> onSetVariable;

  static std::string Narrow(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }

  std::wstring UpperCase(std::wstring_view text) override {
    std::wstring out(text);
    for (wchar_t& c : out) {
      if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    }
    return out;
  }
  void SetVariable(const std::wstring& name, const std::wstring& value) override {
    Add("set " + Narrow(name) + "=" + Narrow(value));
    if (onSetVariable) onSetVariable(name);
  }
  void CallLabel(const std::wstring& target, const std::wstring& label) override {
    Add("call " + Narrow(target) + " " + Narrow(label));
  }
  void SetTitle(const std::wstring& title) override { Add("title " + Narrow(title)); }
  void StartMove() override { Add("move"); }
  FsRect WindowRect() override { return windowRect; }
  void PlaceWindow(const FsPlacement& p, bool keepSize) override {
    Add("place " + std::to_string(p.x) + "," + std::to_string(p.y) +
        (keepSize ? "" : " " + std::to_string(p.width) + "x" + std::to_string(p.height)));
  }
  void ShowWindowAs(WindowShow how) override {
    static const char* const kNames[] = {"maximize", "minimize", "restore", "show", "hide"};
    Add(kNames[static_cast<int>(how)]);
  }
  void SetTopmost(bool on) override { Add(on ? "topmost" : "not topmost"); }
  void SetSimulate9x(bool on) override { Add(on ? "simulate9x on" : "simulate9x off"); }
  void SetDisplayState(std::optional<bool> fullScreen, std::optional<bool> scale) override {
    auto word = [](std::optional<bool> v) { return v ? (*v ? "on" : "off") : "keep"; };
    Add(std::string("display fullscreen ") + word(fullScreen) + " scale " + word(scale));
  }
  void SetTaskButton(bool shown) override { Add(shown ? "taskbutton on" : "taskbutton off"); }
  FsSize ScreenSize() override { return screen; }
  FsSize FullScreenClientSize() override { return fullScreenClient; }
  FsRect WorkArea() override { return workArea; }
  std::wstring InitialDirectory() override { return initialDirectory; }
  int ContextMenuItemCount() override { return menuCount; }
  void InsertMenuEntry(int id, const std::wstring* text) override {
    ++menuCount;
    Add("menu add " + std::to_string(id) + (text ? " " + Narrow(*text) : " separator"));
  }
  void RemoveMenuItem(int id) override { Add("menu remove " + std::to_string(id)); }
  void CheckMenuItem(int id, bool checked) override {
    Add("menu " + std::string(checked ? "check " : "uncheck ") + std::to_string(id));
  }
  void StartProgram(const std::wstring& commandLine) override {
    Add("exec " + Narrow(commandLine));
  }
  void OpenDocument(const std::wstring& file) override { Add("open " + Narrow(file)); }
  void PostClose() override { Add("close"); }
  std::optional<std::wstring> ReadRegistryText(RegistryRoot root, const std::wstring& subkey,
                                               const std::wstring& value) override {
    const auto found = registry.find(Key(root, subkey, value));
    if (found == registry.end()) return std::nullopt;
    return found->second;
  }
  void WriteRegistryText(RegistryRoot root, const std::wstring& subkey, const std::wstring& value,
                         const std::wstring& text) override {
    registry[Key(root, subkey, value)] = text;
    Add("reg " + Narrow(Key(root, subkey, value)) + "=" + Narrow(text));
  }

  static std::wstring Key(RegistryRoot root, const std::wstring& subkey,
                          const std::wstring& value) {
    return std::to_wstring(static_cast<int>(root)) + L"|" + subkey + L"|" + value;
  }

 private:
  // A bounded log: the fuzz target sends commands by the thousand.
  void Add(std::string entry) {
    if (log.size() < 4096) log.push_back(std::move(entry));
  }
};

}  // namespace brim
