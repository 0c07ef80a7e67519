#pragma once
// Runs a movie's frame actions and clip events as the display list queues them, on the clip
// each belongs to.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/avm1/clip_host.h"
#include "player/avm1/interpreter.h"
#include "player/display_list.h"
#include "player/movie.h"

namespace swf::avm1 {

class MovieScripts : public ClipHost {
 public:
  // `movie` and `display` must outlive this.
  MovieScripts(const Movie& movie, DisplayList& display);

  void SetTrace(Interpreter::TraceSink sink) { vm_.SetTrace(std::move(sink)); }
  void Run(const FrameActions& actions);
  Interpreter& vm() { return vm_; }
  const Interpreter& vm() const { return vm_; }
  // One frame of movie time has passed: timers fire.
  void FramePassed();
  // Whether scripts gave the clip an onUnload (its own or its class's).
  bool WatchesUnload(const DisplayObject& object);
  // The label of the frame `clip` shows, empty when it has none.
  std::string CurrentLabel(const ClipRef& clip);

  ClipRef Root() override;
  ClipRef RootOf(const ClipRef& clip) override;
  int32_t LevelOf(const ClipRef& clip) override;
  std::optional<ClipRef> Level(int32_t level) override;
  bool State(const ClipRef& clip, ClipState& out) override;
  std::optional<ClipRef> Child(const ClipRef& clip, std::string_view name,
                               bool caseSensitive) override;
  std::optional<ClipRef> Parent(const ClipRef& clip) override;
  void Goto(const ClipRef& clip, size_t frame) override;
  void SetPlaying(const ClipRef& clip, bool playing) override;
  std::optional<size_t> FindLabel(const ClipRef& clip, std::string_view label) override;
  std::vector<std::span<const uint8_t>> FrameScripts(const ClipRef& clip, size_t frame) override;
  DisplayList* Display() override { return &display_; }
  DisplayObject* Find(const ClipRef& clip) override { return display_.Find(clip.serial); }

 private:
  void RunEvent(const FrameActions& actions);

  DisplayList& display_;
  Interpreter vm_;
  double frameMilliseconds_;
};

}  // namespace swf::avm1
