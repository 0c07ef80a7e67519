// fscommand strings come from whatever movie is playing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scripting/fscommand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two-byte characters; the first 0xFFFF splits the command from the argument.
  std::wstring command, argument;
  std::wstring* into = &command;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 0xFFFF && into == &command) {
      into = &argument;
    } else {
      into->push_back(c);
    }
  }
  bool locked = size % 2 == 1;
  const brim::FsDispatch d = brim::ParseFsCommand(command, argument, locked, nullptr);
  for (size_t n = 0; n <= brim::kMaxFsFields + 1; ++n) {
    d.args.Number(n);
    d.args.Flag(n);
  }
  brim::LabelCall call;
  brim::ParseLabelCall(d.args.Field(1), call);
  if (call.set && call.target.size() + call.label.size() + 1 != d.args.Field(1)->size()) {
    __builtin_trap();
  }
  return 0;
}
