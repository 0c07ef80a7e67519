#include "player/player.h"

#include <algorithm>
#include <cmath>

#include "player/avm1/movie_scripts.h"

namespace swf {

Player::Player() : movie_(std::make_unique<Movie>()) {}
Player::~Player() = default;

MovieError Player::Load(std::span<const uint8_t> file) {
  display_.Reset(nullptr);
  scripts_.reset();
  loaded_ = false;
  auto movie = std::make_unique<Movie>();
  const MovieError e = ParseMovie(file, *movie);
  if (!e.Ok()) {
    movie_ = std::make_unique<Movie>();
    return e;
  }
  movie_ = std::move(movie);
  loaded_ = true;
  scripts_ = std::make_unique<avm1::MovieScripts>(*movie_, display_);
  scripts_->SetTrace(trace_);
  display_.SetActionHook([this](const FrameActions& actions) {
    if (scripts_) scripts_->Run(actions);
    if (userHook_) userHook_(actions);
  });
  display_.Reset(movie_.get());
  return e;
}

void Player::SetTraceSink(TraceSink sink) {
  trace_ = std::move(sink);
  if (scripts_) scripts_->SetTrace(trace_);
}

int Player::StageWidth() const {
  const TwipsRect& s = movie_->header.stage;
  return static_cast<int>(std::lround(Twips{s.xMax - s.xMin}.Pixels()));
}

int Player::StageHeight() const {
  const TwipsRect& s = movie_->header.stage;
  return static_cast<int>(std::lround(Twips{s.yMax - s.yMin}.Pixels()));
}

double Player::FrameRate() const { return movie_->header.frameRate.Value(); }

size_t Player::FrameCount() const { return loaded_ ? movie_->timeline.frameCount : 0; }

Rgba Player::BackgroundColor() const { return movie_->background; }

void Player::Tick() {
  if (!loaded_) return;
  display_.Tick();
}

bool Player::GotoFrame(size_t frame) { return loaded_ && display_.GotoFrame(frame); }

bool Player::GotoLabel(std::string_view label) {
  if (!loaded_) return false;
  const std::optional<size_t> frame = movie_->timeline.FindLabel(label);
  return frame && display_.GotoFrame(*frame);
}

size_t Player::CurrentFrame() const { return display_.Root().frame; }

std::vector<FrameLabel> Player::FrameLabels() const {
  std::vector<FrameLabel> labels;
  const auto& frames = movie_->timeline.frames;
  for (size_t i = 0; i < frames.size(); ++i) {
    for (const std::string& name : frames[i].labels) labels.push_back({name, i});
  }
  return labels;
}

void Player::Render(const Canvas& canvas, RenderMode mode, ScaleMode scale, int viewWidth,
                    int viewHeight, Point viewOrigin) const {
  if (mode == RenderMode::Opaque) {
    const Rgba bg = movie_->background;
    const uint32_t word = static_cast<uint32_t>(bg.b) | (static_cast<uint32_t>(bg.g) << 8) |
                          (static_cast<uint32_t>(bg.r) << 16) | 0xFF000000u;
    const int left = std::max(canvas.clip.left, 0),
              right = std::min(canvas.clip.right, canvas.width);
    const int top = std::max(canvas.clip.top, 0),
              bottom = std::min(canvas.clip.bottom, canvas.height);
    if (canvas.base) {
      for (int y = top; y < bottom; ++y) {
        uint32_t* row = canvas.Row(y);
        for (int x = left; x < right; ++x) row[x] = word;
      }
    }
  }
  if (!loaded_) return;
  Matrix view = ViewMatrix(movie_->header.stage, scale, viewWidth, viewHeight);
  view.tx += viewOrigin.x;
  view.ty += viewOrigin.y;
  ComposeFrame(canvas, *movie_, display_.Root(), view);
}

bool Player::HitTest(Point pixel, ScaleMode scale, int viewWidth, int viewHeight) const {
  if (!loaded_) return false;
  return HitTestFrame(*movie_, display_.Root(),
                      ViewMatrix(movie_->header.stage, scale, viewWidth, viewHeight), pixel);
}

}  // namespace swf
