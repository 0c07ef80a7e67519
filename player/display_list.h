#pragma once
// The running movie: a tree of display objects built from the parsed timelines. The main
// timeline and every sprite instance keep their own current frame.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/geometry.h"
#include "player/movie.h"

namespace swf {

// What one movie may build, whatever its timelines ask for: sprites placing themselves, or
// each other, would otherwise grow without end.
inline constexpr int kMaxNesting = 64;
inline constexpr size_t kMaxDisplayObjects = 20'000;

struct DisplayObject {
  uint16_t depth = 0;
  uint16_t characterId = 0;  // 0 for the main timeline
  Matrix matrix;             // in the parent's space, translation in twips
  ColorTransform colors;
  uint16_t ratio = 0;
  std::string name;
  uint16_t clipDepth = 0;  // non-zero: a mask over the depths above it up to this one

  // Sprites and the main timeline; null for shapes.
  const Timeline* timeline = nullptr;
  size_t frame = 0;  // current frame, from 0
  bool playing = true;
  std::map<uint16_t, std::unique_ptr<DisplayObject>> children;  // by depth

  uint64_t bornTick = 0;  // the tick it was placed in: new clips start advancing on the next
  uint64_t serial = 0;    // unique within a run of the movie: tells a new instance from an old one
};

// Actions a frame carries, reported after the tick that entered the frame. The clip is named by
// the depths leading to it from the main timeline (empty for the main timeline itself), so a
// script that changes the display list never leaves a handler holding a dangling object.
struct FrameActions {
  std::vector<uint16_t> clipPath;
  const ActionBlock* block = nullptr;
};
using ActionHook = std::function<void(const FrameActions&)>;

class DisplayList {
 public:
  // Starts `movie` (which must outlive this) at its first frame.
  void Reset(const Movie* movie);
  // One frame of the movie's time: the main timeline advances when playing, and so does every
  // sprite instance already on stage.
  void Tick();
  // Moves the main timeline to `frame` (from 0). False when it does not exist.
  bool GotoFrame(size_t frame);

  // Moves the clip `path` names (as FrameActions does) to `frame`; its frame actions are reported
  // after any being reported now. False when the clip or the frame does not exist.
  bool GotoClip(const std::vector<uint16_t>& path, size_t frame);
  // The clip `path` names, or null.
  DisplayObject* Find(const std::vector<uint16_t>& path);

  const DisplayObject& Root() const { return root_; }
  DisplayObject& Root() { return root_; }
  size_t ObjectCount() const { return objectCount_; }
  void SetActionHook(ActionHook hook) { hook_ = std::move(hook); }

 private:
  void Advance(DisplayObject& clip, int nesting, std::vector<uint16_t>& path);
  // `path` names `clip` as FrameActions does.
  void ApplyFrame(DisplayObject& clip, size_t frame, int nesting, std::vector<uint16_t>& path);
  void Place(DisplayObject& clip, const PlaceObject& place, int nesting,
             std::vector<uint16_t>& path);
  // Going back: the display list the frame would have when played from the start, keeping the
  // instances that are still there.
  void Rebuild(DisplayObject& clip, size_t frame, int nesting, std::vector<uint16_t>& path);
  void Goto(DisplayObject& clip, size_t frame, int nesting, std::vector<uint16_t>& path);
  // `path` names the new object; a sprite's first frame is applied and its actions queued.
  std::unique_ptr<DisplayObject> Instantiate(uint16_t id, int nesting, std::vector<uint16_t>& path);
  void Erase(DisplayObject& clip, uint16_t depth);
  // A clip's frame actions run before those of the clips its frame placed: `at` is where the
  // queue stood before the frame was applied.
  void QueueActions(const DisplayObject& clip, const std::vector<uint16_t>& path, size_t at);
  void Flush();

  const Movie* movie_ = nullptr;
  DisplayObject root_;
  size_t objectCount_ = 0;
  uint64_t tick_ = 0;
  ActionHook hook_;
  std::vector<FrameActions> pending_;
  bool flushing_ = false;
  uint64_t nextSerial_ = 1;
};

}  // namespace swf
