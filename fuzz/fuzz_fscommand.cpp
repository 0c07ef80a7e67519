// fscommand strings come from whatever movie is playing: any number of commands with any
// arguments, replies that send commands back, menu picks and close requests in between. The
// platform is a recorder; what it is asked to do must stay within what the table allows.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/support/fs_recorder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brim::FsRecorder recorder;
  brim::FsCommandDispatcher dispatcher(recorder);
  recorder.menuCount = size % 3 == 0 ? -1 : 90;
  recorder.onSetVariable = [&](const std::wstring& name) {
    // A movie that answers a reply with the reply's name as its next command.
    dispatcher.Dispatch(name, name);
  };
  // Two-byte characters; 0xFFFF ends a command or an argument, 0xFFFE picks a menu item and
  // 0xFFFD asks the window to close.
  std::wstring text[2];
  int which = 0;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 0xFFFF) {
      if (which == 1) {
        dispatcher.Dispatch(text[0], text[1]);
        text[0].clear();
        text[1].clear();
      }
      which ^= 1;
    } else if (c == 0xFFFE) {
      dispatcher.OnMenuPick(static_cast<int>(text[which].size() % 100));
    } else if (c == 0xFFFD) {
      dispatcher.InterceptClose();
    } else {
      text[which].push_back(c);
    }
  }
  dispatcher.Dispatch(text[0], text[1]);
  for (const std::string& entry : recorder.log) {
    // Movie items only ever carry the ids of their range.
    if (entry.rfind("menu ", 0) == 0) {
      const size_t digits = entry.find_first_of("0123456789");
      const long id = digits == std::string::npos ? 0 : std::stol(entry.substr(digits));
      if (id < brim::kMovieItemBase || id >= brim::kMovieItemBase + brim::kMovieItemCount) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
