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

// "_level3" names level 3 (in any case where names are not case-sensitive); others none.
inline std::optional<int32_t> LevelNumber(std::string_view name, bool caseSensitive = false) {
  constexpr std::string_view kLevel = "_level";
  if (name.size() <= kLevel.size() || name.size() > kLevel.size() + 9) return std::nullopt;
  for (size_t i = 0; i < kLevel.size(); ++i) {
    const char c = name[i];
    if ((c >= 'A' && c <= 'Z' && !caseSensitive ? c + 32 : c) != kLevel[i]) return std::nullopt;
  }
  int32_t n = 0;
  for (char c : name.substr(kLevel.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

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
  // Level 0's main timeline.
  virtual ClipRef Root() = 0;
  // The main timeline of the level `clip` plays in, and that level's number.
  virtual ClipRef RootOf(const ClipRef&) { return Root(); }
  virtual int32_t LevelOf(const ClipRef&) { return 0; }
  // The main timeline of level `level`, when a movie is loaded there.
  virtual std::optional<ClipRef> Level(int32_t level) {
    return level == 0 ? std::optional<ClipRef>(Root()) : std::nullopt;
  }
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
