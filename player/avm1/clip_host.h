#pragma once
// What the interpreter asks of the display list. Clips are named by their handle, which
// survives depth changes and dies with the clip, so a reference to a clip that has since been
// removed (or replaced at its depth) simply finds nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace swf {
struct DisplayObject;
class DisplayList;
}  // namespace swf

namespace swf::avm1 {

struct ClipRef {
  uint64_t serial = 0;
  bool operator==(const ClipRef&) const = default;
};

struct ClipState {
  std::string name;
  size_t frame = 0;  // from 0
  size_t totalFrames = 1;
  double x = 0, y = 0;  // pixels
  bool playing = true;
};

class ClipHost {
 public:
  virtual ~ClipHost() = default;
  virtual ClipRef Root() = 0;
  // False when the clip is gone.
  virtual bool State(const ClipRef& clip, ClipState& out) = 0;
  virtual std::optional<ClipRef> Child(const ClipRef& clip, std::string_view name,
                                       bool caseSensitive) = 0;
  virtual std::optional<ClipRef> Parent(const ClipRef& clip) = 0;
  // `frame` from 0; out-of-range frames are ignored.
  virtual void Goto(const ClipRef& clip, size_t frame) = 0;
  virtual void SetPlaying(const ClipRef& clip, bool playing) = 0;
  virtual std::optional<size_t> FindLabel(const ClipRef& clip, std::string_view label) = 0;
  // The action blocks of one of the clip's frames, for the Call action.
  virtual std::vector<std::span<const uint8_t>> FrameScripts(const ClipRef& clip, size_t frame) = 0;
  // The display list itself, for what scripts do to clips (properties, attaching, removing);
  // null when there is none.
  virtual DisplayList* Display() { return nullptr; }
  // The live display object `clip` names, or null.
  virtual DisplayObject* Find(const ClipRef&) { return nullptr; }
};

}  // namespace swf::avm1
