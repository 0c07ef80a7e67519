#pragma once
// What the pointer and the keyboard are doing, as the player's input side last saw them and as
// scripts read it (Key, Mouse, _xmouse, Selection, startDrag).
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "player/geometry.h"
#include "player/host_services.h"

namespace swf::avm1 {

struct DragState {
  uint64_t clip = 0;  // the clip that follows the pointer; 0 when none
  bool lockCenter = false;
  Point offset;  // from the pointer to the clip's origin, in the parent's twips
  // Where the clip's origin may go, in the parent's twips.
  std::optional<TwipsRect> bounds;
};

struct InputState {
  Point mouse;  // on the stage, in twips
  bool mouseVisible = true;
  std::array<bool, 256> keys{};  // down now, by key code
  int lastCode = 0;
  int lastAscii = 0;
  bool capsLock = false;
  bool numLock = false;
  uint64_t focus = 0;  // the object with the keyboard focus; 0 when none
  bool focusRect = true;  // whether focus shows a rectangle, movie-wide (_root._focusrect)
  // Where a script's setFocus calls moved the over state, oldest first (0: onto nothing). The
  // roll events they mean wait until the script has ended.
  std::vector<uint64_t> focusRolls;
  DragState drag;
  uint64_t dropTarget = 0;  // what the dragged clip was last dropped on or over
  Clipboard* clipboard = nullptr;  // the host's, for cut, copy and paste in edit fields
};

}  // namespace swf::avm1
