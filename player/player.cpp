#include "player/player.h"

#include <algorithm>
#include <cmath>

#include "player/ascii.h"
#include "player/avm1/movie_scripts.h"
#include "player/url_variables.h"

namespace swf {

Player::Player() : movie_(std::make_unique<Movie>()) {}
Player::~Player() = default;

MovieError Player::Load(std::span<const uint8_t> file) {
  display_.Reset(nullptr);
  input_.reset();
  scripts_.reset();
  loads_.clear();
  loaded_ = false;
  auto movie = std::make_unique<Movie>();
  const MovieError e = ParseMovie(file, *movie);
  if (!e.Ok()) {
    movie_ = std::make_unique<Movie>();
    return e;
  }
  Start(std::move(movie));
  return e;
}

MovieError Player::LoadLevel(int32_t level, std::span<const uint8_t> file) {
  if (level == 0 || !loaded_) return Load(file);
  if (level < 0) return MovieError{ErrorKind::Malformed};
  auto movie = std::make_shared<Movie>();
  const MovieError e = ParseMovie(file, *movie);
  if (!e.Ok()) return e;
  display_.LoadLevel(level, std::move(movie));
  display_.Flush();
  return e;
}

void Player::Start(std::unique_ptr<Movie> movie) {
  display_.Reset(nullptr);
  input_.reset();
  scripts_.reset();
  loads_.clear();
  movie_ = std::move(movie);
  loaded_ = true;
  scripts_ = std::make_unique<avm1::MovieScripts>(*movie_, display_);
  scripts_->SetTrace(trace_);
  if (scriptBudget_ != 0) scripts_->vm().SetInstructionBudget(scriptBudget_);
  scripts_->vm().SetUrlSink([this](const avm1::Interpreter::UrlRequest& r) { RouteUrl(r); });
  scripts_->vm().SetViewSize(inputWidth_, inputHeight_);
  scripts_->vm().Input().clipboard = clipboard_;
  scripts_->vm().SetFileDialogOpener(fileDialogOpener_);
  input_ = std::make_unique<InputRouter>(*movie_, display_, *scripts_);
  input_->SetSelectableTextQuery(textQuery_);
  display_.SetActionHook([this](const FrameActions& actions) {
    if (scripts_) scripts_->Run(actions);
    if (userHook_) userHook_(actions);
  });
  display_.SetUnloadQuery(
      [this](const DisplayObject& o) { return scripts_ && scripts_->WatchesUnload(o); });
  display_.Reset(movie_.get());
  scripts_->vm().SyncFields(display_.Root());
  input_->DeliverFocusRolls();
  // A load the first frame asked for that failed already says so by the end of that frame,
  // as one asked for later does by the end of its tick.
  bool failed = false;
  for (const auto& [id, load] : loads_) failed = failed || load.failed;
  if (failed) ApplyLoads();
}

void Player::RouteUrl(const avm1::Interpreter::UrlRequest& r) {
  constexpr std::string_view kFsCommand = "FSCommand:";
  const std::string_view url = r.url;
  if (url.size() >= kFsCommand.size() &&
      EqualsIgnoringCase(url.substr(0, kFsCommand.size()), kFsCommand)) {
    if (fsCommand_) fsCommand_(url.substr(kFsCommand.size()), r.target);
    return;
  }
  UrlRequest request{r.url,           r.target, r.method,      r.loadTarget,
                     r.loadVariables, r.data,   r.contentType, r.replyId};
  request.socketPort = r.socketPort;
  const bool intoClip = r.clip.serial != 0;
  if (r.level >= 0 || intoClip) {
    if (url.empty()) {
      if (!r.loadVariables) UnloadTarget(r);
      return;
    }
    if (loads_.size() >= kMaxPendingLoads) return;
    request.loadId = nextLoad_++;
    PendingLoad& load = loads_[request.loadId];
    load.clip = r.clip;
    load.level = intoClip ? -1 : r.level;
    load.variables = r.loadVariables;
    load.replyId = r.replyId;
  } else if (EqualsIgnoringCase(request.target, "blank") ||
             EqualsIgnoringCase(request.target, "_blank")) {
    // A new window is asked for with or without the underscore, in any case; other window
    // names go to the browser as they are.
    request.target = "_blank";
  }
  // With nobody to fetch it, the load never arrives, as when a file is missing.
  if (!urlLoader_) {
    loads_.erase(request.loadId);
    return;
  }
  urlLoader_(request);
}

void Player::UnloadTarget(const avm1::Interpreter::UrlRequest& r) {
  DisplayObject* target =
      r.clip.serial != 0 ? display_.Find(r.clip.serial) : display_.Level(r.level);
  if (target) display_.Unload(*target);
}

void Player::CompleteLoad(uint64_t loadId, std::vector<uint8_t> bytes) {
  auto it = loads_.find(loadId);
  if (it == loads_.end()) return;
  it->second.bytes = std::move(bytes);
  it->second.arrived = true;
}

void Player::FailLoad(uint64_t loadId) {
  auto it = loads_.find(loadId);
  if (it == loads_.end()) return;
  // Whoever waits hears of it at the end of the next frame, as of a load that came.
  if (it->second.replyId == 0) {
    loads_.erase(it);
    return;
  }
  it->second.arrived = true;
  it->second.failed = true;
}

void Player::ApplyLoads() {
  // In the order they were asked for; one that replaces level 0 ends the others.
  std::vector<uint64_t> ready;
  for (const auto& [id, load] : loads_) {
    if (load.arrived) ready.push_back(id);
  }
  if (ready.empty()) return;
  for (uint64_t id : ready) {
    auto it = loads_.find(id);
    if (it == loads_.end()) continue;
    PendingLoad load = std::move(it->second);
    loads_.erase(it);
    ApplyLoad(load);
  }
  display_.Flush();
}

void Player::ApplyLoad(PendingLoad& load) {
  if (load.failed) {
    if (scripts_) scripts_->vm().DeliverData(load.replyId, std::nullopt);
    return;
  }
  const bool replaces = load.clip.serial == 0 && load.level == 0;
  ApplyArrived(load);
  // The waiting object of a movie that replaced level 0 went with the old movie.
  if (load.replyId && !replaces && scripts_) {
    scripts_->vm().DeliverData(load.replyId, std::string(load.bytes.begin(), load.bytes.end()));
  }
}

void Player::ApplyArrived(PendingLoad& load) {
  DisplayObject* target =
      load.clip.serial != 0 ? display_.Find(load.clip.serial) : display_.Level(load.level);
  if (load.variables) {
    if (!target || !scripts_) return;
    avm1::Interpreter& vm = scripts_->vm();
    avm1::Object* object = vm.ClipObject(avm1::ClipRef{target->id});
    const std::string_view text(reinterpret_cast<const char*>(load.bytes.data()), load.bytes.size());
    for (const auto& [name, value] : DecodeVariables(text)) vm.SetMember(object, name, value);
    display_.Notify(*target, kEventData);
    return;
  }
  auto movie = std::make_unique<Movie>();
  // A file that is no movie leaves the target as it was.
  if (!ParseMovie(load.bytes, *movie).Ok()) return;
  if (load.clip.serial == 0 && load.level == 0) {
    Start(std::move(movie));
    return;
  }
  std::shared_ptr<const Movie> shared(std::move(movie));
  if (load.clip.serial == 0) {
    display_.LoadLevel(load.level, std::move(shared));
  } else if (target) {
    display_.LoadInto(*target, std::move(shared));
  }
}

void Player::SetClipboard(Clipboard* clipboard) {
  clipboard_ = clipboard;
  if (scripts_) scripts_->vm().Input().clipboard = clipboard;
}

void Player::SetFileDialogOpener(FileDialogOpener opener) {
  fileDialogOpener_ = std::move(opener);
  if (scripts_) scripts_->vm().SetFileDialogOpener(fileDialogOpener_);
}

void Player::AnswerFileDialog(const std::vector<ChosenFile>& files) {
  if (!scripts_) return;
  scripts_->vm().AnswerFileDialog(files);
  display_.Flush();
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

std::optional<std::string> Player::GetProperty(std::string_view target, int index) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  if (!clip) return std::nullopt;
  const std::optional<avm1::Value> v = scripts_->vm().GetClipPropertyAt(*clip, index);
  if (!v) return std::nullopt;
  return scripts_->vm().ToString(*v);
}

std::optional<double> Player::GetPropertyNumber(std::string_view target, int index) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  if (!clip) return std::nullopt;
  const std::optional<avm1::Value> v = scripts_->vm().GetClipPropertyAt(*clip, index);
  if (!v) return std::nullopt;
  return scripts_->vm().ToNumber(*v);
}

bool Player::SetProperty(std::string_view target, int index, std::string_view value) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  return clip && scripts_->vm().SetClipPropertyAt(*clip, index, avm1::Value(std::string(value)));
}

bool Player::SetProperty(std::string_view target, int index, double value) {
  const std::optional<avm1::ClipRef> clip = Target(target);
  return clip && scripts_->vm().SetClipPropertyAt(*clip, index, avm1::Value(value));
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
  if (scripts_) scripts_->vm().StartFrame();
  display_.Tick();
  scripts_->vm().SyncFields(display_.Root());
  if (!loads_.empty()) ApplyLoads();
  if (scripts_) scripts_->FramePassed();
  // The timeline may have taken away what had the focus, or moved something under the pointer.
  if (scripts_) scripts_->vm().DropFocusWithin(0);
  if (input_) input_->DeliverFocusRolls();
  if (input_) input_->Refresh(InputView());
}

bool Player::GotoFrame(size_t frame) { return loaded_ && display_.GotoFrame(frame); }

bool Player::GotoLabel(std::string_view label) {
  if (!loaded_) return false;
  const std::optional<size_t> frame = movie_->timeline.FindLabel(label);
  return frame && display_.GotoFrame(*frame);
}

size_t Player::ScriptObjectCount() const { return scripts_ ? scripts_->vm().HeapSize() : 0; }

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
  const uint64_t focus = scripts_ ? scripts_->vm().Input().focus : 0;
  ComposeFrame(canvas, *movie_, display_.Root(), view, quality_, display_.deviceFonts(), focus);
  for (const auto& [level, root] : display_.UpperLevels()) {
    ComposeFrame(canvas, *movie_, *root, view, quality_, display_.deviceFonts(), focus);
  }
  // Fields show the focus with their caret; everything else the keyboard reached gets a frame.
  const DisplayObject* focused = focus && input_ && input_->FocusShown() ? display_.Find(focus)
                                                                         : nullptr;
  if (focused && !focused->removed && !focused->field) {
    Matrix toStage = focused->matrix;
    for (const DisplayObject* p = focused->parent; p; p = p->parent) toStage = p->matrix * toStage;
    DrawFocusHighlight(canvas, *movie_, *focused, view * toStage);
  }
}

void Player::SetViewport(ScaleMode scale, int viewWidth, int viewHeight) {
  inputScale_ = scale;
  inputWidth_ = viewWidth;
  inputHeight_ = viewHeight;
  if (scripts_) scripts_->vm().SetViewSize(viewWidth, viewHeight);
}

Matrix Player::InputView() const {
  if (inputWidth_ <= 0 || inputHeight_ <= 0) {
    return ViewMatrix(movie_->header.stage, ScaleMode::NoScale, StageWidth(), StageHeight());
  }
  return ViewMatrix(movie_->header.stage, inputScale_, inputWidth_, inputHeight_);
}

void Player::MouseMove(Point pixel) {
  if (!input_) return;
  input_->MouseMove(pixel, InputView());
  input_->DeliverFocusRolls();
}

void Player::MouseDown(Point pixel) {
  if (!input_) return;
  input_->MouseDown(pixel, InputView());
  input_->DeliverFocusRolls();
}

void Player::MouseUp(Point pixel) {
  if (!input_) return;
  input_->MouseUp(pixel, InputView());
  input_->DeliverFocusRolls();
}

void Player::MouseWheel(int delta) {
  if (!input_) return;
  input_->MouseWheel(delta);
  input_->DeliverFocusRolls();
}

void Player::OtherButton(int key, bool down) {
  if (input_ && (key == 2 || key == 4)) input_->OtherButton(key, down);
}

void Player::KeyDown(int code, int ascii) {
  const char32_t c = static_cast<char32_t>(ascii);
  KeyDown(code, ascii ? std::u32string_view(&c, 1) : std::u32string_view());
}

void Player::KeyDown(int code, std::u32string_view typed) {
  if (!input_) return;
  input_->KeyDown(code, typed);
  input_->DeliverFocusRolls();
}

void Player::KeyUp(int code, int ascii) {
  if (!input_) return;
  input_->KeyUp(code, ascii);
  input_->DeliverFocusRolls();
}

Cursor Player::CursorAt(Point pixel) {
  return input_ ? input_->CursorAt(pixel, InputView()) : Cursor::Arrow;
}

bool Player::TakesPointer(Point pixel) {
  if (!input_) return false;
  return scripts_->vm().Input().drag.clip != 0 || input_->TargetAt(pixel, InputView()) != nullptr;
}

void Player::SetSelectableTextQuery(SelectableTextQuery query) {
  textQuery_ = std::move(query);
  if (input_) input_->SetSelectableTextQuery(textQuery_);
}

bool Player::MouseHidden() { return scripts_ && !scripts_->vm().Input().mouseVisible; }

bool Player::HitTest(Point pixel, ScaleMode scale, int viewWidth, int viewHeight) const {
  if (!loaded_) return false;
  const Matrix view = ViewMatrix(movie_->header.stage, scale, viewWidth, viewHeight);
  for (const auto& [level, root] : display_.UpperLevels()) {
    if (HitTestFrame(*movie_, *root, view, pixel)) return true;
  }
  return HitTestFrame(*movie_, display_.Root(), view, pixel);
}

}  // namespace swf
