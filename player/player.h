#pragma once
// The engine as a host sees it: load a movie, let time pass, draw it, ask what is under the
// mouse. The player control wraps this class; it has no knowledge of windows.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/avm1/clip_host.h"
#include "player/avm1/interpreter.h"
#include "player/canvas.h"
#include "player/compose.h"
#include "player/display_list.h"
#include "player/host_services.h"
#include "player/input.h"
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
  // Plays `file` at `level` over the movie (level 0 replaces it, as Load does); on error the
  // level stays as it was.
  MovieError LoadLevel(int32_t level, std::span<const uint8_t> file);
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

  // The stage quality the movie is drawn at (scripts may change it too).
  void SetQuality(Quality quality) { quality_ = quality; }
  Quality quality() const { return quality_; }

  // Draws the current frame into `canvas`, the stage fitted into a viewport of
  // viewWidth x viewHeight pixels whose top-left lies at canvas pixel `viewOrigin` (which may be
  // outside the canvas: a caller drawing one piece of a larger view passes that piece as the
  // canvas).
  void Render(const Canvas& canvas, RenderMode mode, ScaleMode scale, int viewWidth, int viewHeight,
              Point viewOrigin = {}) const;
  // Whether a shape is drawn at viewport pixel `pixel` under the same view.
  bool HitTest(Point pixel, ScaleMode scale, int viewWidth, int viewHeight) const;

  // Pointer and keyboard input. Points are viewport pixels of the view SetViewport last gave
  // (until then the stage at its own size, unscaled).
  void SetViewport(ScaleMode scale, int viewWidth, int viewHeight);
  void MouseMove(Point pixel);
  void MouseDown(Point pixel);  // the left button
  void MouseUp(Point pixel);
  void MouseWheel(int delta);  // in lines, positive away from the user
  // The right or the middle button: scripts read them as keys 2 and 4 while they are held;
  // nothing of the movie's is clicked by them.
  void OtherButton(int key, bool down);
  // `code` as the platform's virtual keys number them, `ascii` the character typed (0 if none).
  void KeyDown(int code, int ascii);
  // A key that makes other characters than its own: none (a dead key), one beyond ASCII, or
  // two (a dead key's accent that the next key did not take, then that key's character).
  void KeyDown(int code, std::u32string_view typed);
  void KeyUp(int code, int ascii);
  // The pointer the movie wants at `pixel`: the hand over what takes a click.
  Cursor CursorAt(Point pixel);
  // Whether a press at `pixel` is the movie's own: on a button, a clip acting as one, or while
  // a clip is being dragged.
  bool TakesPointer(Point pixel);
  void SetSelectableTextQuery(SelectableTextQuery query);
  // Whether the movie hid the pointer (Mouse.hide).
  bool MouseHidden();

  // Instructions each of the movie's script blocks may run before it is stopped (0: the
  // player's own limit, which suits movies). A fuzzer makes runaway scripts end sooner with
  // it. Set it before Load.
  void SetScriptBudget(uint64_t instructions) { scriptBudget_ = instructions; }

  // Called with each frame's action blocks and clip events as they are run, after the player
  // ran them.
  void SetActionHook(ActionHook hook) { userHook_ = std::move(hook); }
  // Receives each line the movie traces. Set it before Load to see the first frame's lines.
  using TraceSink = std::function<void(std::string_view)>;
  void SetTraceSink(TraceSink sink);

  // What a host reaches in the running movie. Paths and targets are written as hosts write
  // them: "name" on the main timeline, "/clip/inner:name", "_level0.clip.inner.name"; targets
  // "" or "/" for the main timeline, "/clip/inner" or "_level0.clip.inner" below it.
  // A variable the movie does not have reads as nothing.
  std::optional<std::string> GetVariable(std::string_view path);
  // Values go in as strings, as a movie's own loaded variables do. False when the path leads
  // nowhere.
  bool SetVariable(std::string_view path, std::string_view value);
  // Runs the scripts of one of `target`'s frames (from 0) now; its playhead stays. False when
  // the target or the frame is not there.
  bool CallFrame(std::string_view target, size_t frame);
  bool CallLabel(std::string_view target, std::string_view label);
  // The same for a clip's timeline: false (or nothing) when the target is not there.
  bool GotoFrame(std::string_view target, size_t frame);
  bool GotoLabel(std::string_view target, std::string_view label);
  bool SetPlaying(std::string_view target, bool playing);
  std::optional<size_t> CurrentFrame(std::string_view target);
  std::optional<std::string> CurrentLabel(std::string_view target);
  // A clip's property by number (0 `_x` ... 21 `_ymouse`), read and written as a movie's
  // GetProperty and SetProperty would. Nothing (or false) when the target or number is not
  // there.
  std::optional<std::string> GetProperty(std::string_view target, int index);
  std::optional<double> GetPropertyNumber(std::string_view target, int index);
  bool SetProperty(std::string_view target, int index, std::string_view value);
  bool SetProperty(std::string_view target, int index, double value);

  // A movie's fscommand: a GetURL whose URL starts "FSCommand:". Called inside the action, so
  // a variable the handler sets is there for the movie's next action.
  using FsCommandHandler = std::function<void(std::string_view command, std::string_view args)>;
  void SetFsCommandHandler(FsCommandHandler handler) { fsCommand_ = std::move(handler); }
  // Every other GetURL: a page to open or a movie or variables to load.
  struct UrlRequest {
    std::string url;
    std::string target;
    int method = 0;  // 0 none, 1 GET, 2 POST
    bool loadTarget = false;
    bool loadVariables = false;
    std::string data;      // what a POST sends
    std::string contentType;  // what `data` is when it is not form variables
    // Not 0: a script object (XML, LoadVars) waits for the bytes, to come back by DeliverData.
    uint64_t replyId = 0;
    // Non-zero when the movie wants the bytes: a movie for a level or a clip, or variables.
    // The host answers, now or later, with CompleteLoad or FailLoad quoting it; what arrives
    // takes effect at the end of the next Tick, as the original player's loads do.
    uint64_t loadId = 0;
    // Not -1: a socket connection to the host `url` names, on this port.
    int socketPort = -1;
    // A page for a browser to open: nothing comes back and nothing is sent as a call.
    bool OpensPage() const {
      return loadId == 0 && replyId == 0 && contentType.empty() && socketPort < 0;
    }
  };
  using UrlLoader = std::function<void(const UrlRequest&)>;
  void SetUrlLoader(UrlLoader loader) { urlLoader_ = std::move(loader); }
  void CompleteLoad(uint64_t loadId, std::vector<uint8_t> bytes);
  void FailLoad(uint64_t loadId);
  // Loads not yet answered or applied; a movie cannot queue more than kMaxPendingLoads.
  size_t PendingLoads() const { return loads_.size(); }
  static constexpr size_t kMaxPendingLoads = 256;
  // The answer to a request with a reply id: the bytes that came, or nothing when the load
  // failed. Call it outside the loader callback, from the host's own loop.
  void DeliverData(uint64_t replyId, const std::optional<std::string>& bytes);

  // Objects the movie's scripts hold now, garbage not yet collected included.
  size_t ScriptObjectCount() const;
  // Where device text is measured and drawn (it must outlive the player); without it device
  // text lays out with fixed metrics and is not drawn.
  void SetDeviceFonts(DeviceFonts* fonts) { display_.SetDeviceFonts(fonts); }
  // The host's clipboard (it must outlive the player) and file dialog; set them before Load.
  void SetClipboard(Clipboard* clipboard);
  void SetFileDialogOpener(FileDialogOpener opener);
  // What the user chose in the dialog the opener opened: files, or none when cancelled. The
  // movie hears of it now.
  void AnswerFileDialog(const std::vector<ChosenFile>& files);

  const Movie& movie() const { return *movie_; }
  const DisplayList& displayList() const { return display_; }

 private:
  struct PendingLoad {
    avm1::ClipRef clip;  // or
    int32_t level = -1;
    bool variables = false;
    bool arrived = false;
    bool failed = false;   // arrived, as nothing
    uint64_t replyId = 0;  // a script object waiting to hear how the load went
    std::vector<uint8_t> bytes;
  };
  void RouteUrl(const avm1::Interpreter::UrlRequest& request);
  // What an empty address in a load asks: the level or clip loses its movie.
  void UnloadTarget(const avm1::Interpreter::UrlRequest& request);
  void ApplyLoads();
  void ApplyLoad(PendingLoad& load);
  void ApplyArrived(PendingLoad& load);
  // Makes `movie` the movie of level 0, as Load does.
  void Start(std::unique_ptr<Movie> movie);
  std::optional<avm1::ClipRef> Target(std::string_view target);
  Matrix InputView() const;

  std::unique_ptr<Movie> movie_;
  DisplayList display_;
  bool loaded_ = false;
  Quality quality_ = Quality::High;
  std::unique_ptr<avm1::MovieScripts> scripts_;
  std::unique_ptr<InputRouter> input_;
  SelectableTextQuery textQuery_;
  ScaleMode inputScale_ = ScaleMode::NoScale;
  int inputWidth_ = 0, inputHeight_ = 0;  // 0: the stage's own size
  uint64_t scriptBudget_ = 0;
  ActionHook userHook_;
  TraceSink trace_;
  FsCommandHandler fsCommand_;
  UrlLoader urlLoader_;
  Clipboard* clipboard_ = nullptr;
  FileDialogOpener fileDialogOpener_;
  std::map<uint64_t, PendingLoad> loads_;
  uint64_t nextLoad_ = 1;
};

}  // namespace swf
