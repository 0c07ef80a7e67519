#pragma once
// Keeps device-font text opaque on our 32-bit surface. A control draws such text and its
// background boxes with ExtTextOutA/W, which write 0 into each pixel's alpha byte: the text
// would be a hole in the window's shape and invisible on the layered path. The hook puts our
// own two functions into the control module's import slots for them; they wrap the drawing in
// whole-pixel inversions, so drawn pixels end with their colour and alpha 255 while untouched
// ones come back exactly as they were.
#include <windows.h>

#include <vector>

#include "base/handles.h"

namespace brim {

class TextOutHook {
 public:
  TextOutHook() = default;
  ~TextOutHook() { Remove(); }
  TextOutHook(const TextOutHook&) = delete;
  TextOutHook& operator=(const TextOutHook&) = delete;

  // Patches the module that holds `code` (any address inside it: the control's interface
  // table does). False when the module cannot be found or read, or imports neither function;
  // text is then drawn as the control draws it. The module is held until Remove.
  bool Install(const void* code);
  // Puts the original addresses back into every slot that still holds ours.
  void Remove();
  bool Installed() const { return !patched_.empty(); }

 private:
  struct Patched {
    void** slot;
    void* original;
    void* replacement;
  };
  UniqueModule module_;
  std::vector<Patched> patched_;
};

}  // namespace brim
