#include "player/player.h"

#include <algorithm>
#include <cmath>

#include "player/ascii.h"
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
  scripts_->vm().SetUrlSink([this](const avm1::Interpreter::UrlRequest& r) {
    RouteUrl(UrlRequest{r.url, r.target, r.method, r.loadTarget, r.loadVariables, r.data,
                        r.replyId});
  });
  display_.SetActionHook([this](const FrameActions& actions) {
    if (scripts_) scripts_->Run(actions);
    if (userHook_) userHook_(actions);
  });
  display_.Reset(movie_.get());
  return e;
}

void Player::RouteUrl(const UrlRequest& r) {
  constexpr std::string_view kFsCommand = "FSCommand:";
  const std::string_view url = r.url;
  if (url.size() >= kFsCommand.size() &&
      EqualsIgnoringCase(url.substr(0, kFsCommand.size()), kFsCommand)) {
    if (fsCommand_) fsCommand_(url.substr(kFsCommand.size()), r.target);
    return;
  }
  if (urlLoader_) urlLoader_(r);
}

void Player::DeliverData(uint64_t replyId, const std::optional<std::string>& bytes) {
  if (scripts_) scripts_->vm().DeliverData(replyId, bytes);
}

std::optional<std::string> Player::GetVariable(std::string_view path) {
  if (!scripts_) return std::nullopt;
  return scripts_->vm().GetPathVariable(path);
}

bool Player::SetVariable(std::string_view path, std::string_view value) {
  return scripts_ && scripts_->vm().SetPathVariable(path, value);
}

std::optional<avm1::ClipRef> Player::Target(std::string_view target) {
  if (!scripts_) return std::nullopt;
  return scripts_->vm().ResolveClip(target);
}

bool Player::CallFrame(std::string_view target, size_t frame) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  return clip && scripts_->vm().CallFrame(*clip, frame);
}

bool Player::CallLabel(std::string_view target, std::string_view label) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  if (!clip) return false;
  const std::optional<size_t> frame = scripts_->FindLabel(*clip, label);
  return frame && scripts_->vm().CallFrame(*clip, *frame);
}

bool Player::GotoFrame(std::string_view target, size_t frame) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  avm1::ClipState state;
  if (!clip || !scripts_->State(*clip, state) || frame >= state.totalFrames) return false;
  scripts_->Goto(*clip, frame);
  return true;
}

bool Player::GotoLabel(std::string_view target, std::string_view label) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  if (!clip) return false;
  const std::optional<size_t> frame = scripts_->FindLabel(*clip, label);
  if (!frame) return false;
  scripts_->Goto(*clip, *frame);
  return true;
}

bool Player::SetPlaying(std::string_view target, bool playing) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  if (!clip) return false;
  scripts_->SetPlaying(*clip, playing);
  return true;
}

std::optional<size_t> Player::CurrentFrame(std::string_view target) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  avm1::ClipState state;
  if (!clip || !scripts_->State(*clip, state)) return std::nullopt;
  return state.frame;
}

std::optional<std::string> Player::CurrentLabel(std::string_view target) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  if (!clip) return std::nullopt;
  return scripts_->CurrentLabel(*clip);
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
