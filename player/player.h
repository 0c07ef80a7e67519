#pragma once
// The engine as a host sees it: load a movie, let time pass, draw it, ask what is under the
// mouse. The player control wraps this class; it has no knowledge of windows.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/canvas.h"
#include "player/compose.h"
#include "player/display_list.h"
#include "player/movie.h"

namespace swf {
namespace avm1 {
class MovieScripts;
}

enum class RenderMode {
  Transparent,  // only what the movie draws; every other pixel keeps what the caller put there
  Opaque,       // the background colour first
};

struct FrameLabel {
  std::string name;
  size_t frame = 0;  // from 0
};

class Player {
 public:
  Player();
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Replaces any loaded movie; on error nothing stays loaded.
  MovieError Load(std::span<const uint8_t> file);
  bool IsLoaded() const { return loaded_; }

  // Stage size in whole pixels (rounded), frame rate in frames a second.
  int StageWidth() const;
  int StageHeight() const;
  double FrameRate() const;
  size_t FrameCount() const;
  Rgba BackgroundColor() const;

  // One frame of movie time (the host calls it at FrameRate()).
  void Tick();
  // The main timeline's playing state, which the movie's own scripts change as well.
  void Play() { display_.Root().playing = true; }
  void Stop() { display_.Root().playing = false; }
  bool IsPlaying() const { return display_.Root().playing; }

  // Frames are numbered from 0, as the control reports them. Playing state is unchanged.
  bool GotoFrame(size_t frame);
  bool GotoLabel(std::string_view label);
  size_t CurrentFrame() const;
  std::vector<FrameLabel> FrameLabels() const;

  // Draws the current frame into `canvas`, the stage fitted into a viewport of
  // viewWidth x viewHeight pixels whose top-left lies at canvas pixel `viewOrigin` (which may be
  // outside the canvas: a caller drawing one piece of a larger view passes that piece as the
  // canvas).
  void Render(const Canvas& canvas, RenderMode mode, ScaleMode scale, int viewWidth, int viewHeight,
              Point viewOrigin = {}) const;
  // Whether a shape is drawn at viewport pixel `pixel` under the same view.
  bool HitTest(Point pixel, ScaleMode scale, int viewWidth, int viewHeight) const;

  // Called with each frame's action blocks as frames are entered, after the player ran them.
  void SetActionHook(ActionHook hook) { userHook_ = std::move(hook); }
  // Receives each line the movie traces. Set it before Load to see the first frame's lines.
  using TraceSink = std::function<void(std::string_view)>;
  void SetTraceSink(TraceSink sink);
  const Movie& movie() const { return *movie_; }
  const DisplayList& displayList() const { return display_; }

 private:
  std::unique_ptr<Movie> movie_;
  DisplayList display_;
  bool loaded_ = false;
  std::unique_ptr<avm1::MovieScripts> scripts_;
  ActionHook userHook_;
  TraceSink trace_;
};

}  // namespace swf
