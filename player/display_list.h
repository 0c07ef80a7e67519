#pragma once
// The running movie: a tree of display objects built from the parsed timelines. The main
// timeline and every sprite instance keep their own current frame. Every object has a handle
// (its id) that survives depth changes and dies with the object; queued actions and scripts
// name clips by it, so a clip that moved or went away is never confused with another.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "player/drawing.h"
#include "player/geometry.h"
#include "player/movie.h"
#include "player/text/text_field.h"

namespace swf {

class BitmapData;

// What one movie may build, whatever its timelines ask for: sprites placing themselves, or
// each other, would otherwise grow without end.
inline constexpr int kMaxNesting = 64;
inline constexpr size_t kMaxDisplayObjects = 20'000;

// Depths as the timeline numbers them; scripts see them shifted down by this much, so that the
// depths a timeline uses are negative and those scripts pick are 0 and up.
inline constexpr int32_t kScriptDepthOffset = 16384;
// The deepest and highest depths a script may ask for (in script numbering).
inline constexpr int32_t kMinScriptDepth = -16384;
inline constexpr int32_t kMaxScriptDepth = 2130690044;

// What kind of character an object shows; each kind draws, measures and hit-tests its own way.
enum class DisplayKind { Shape, Bitmap, Sprite, Root, Button, EditText, Video };

struct DisplayObject {
  DisplayKind kind = DisplayKind::Shape;
  int32_t depth = 0;         // timeline numbering
  uint16_t characterId = 0;  // 0 for the main timeline and empty clips
  Matrix matrix;             // in the parent's space, translation in twips
  ColorTransform colors;
  uint16_t ratio = 0;
  // The ratio a morph was last drawn at: scripts measure the picture on the screen, which
  // catches up with the timeline only when the next frame is drawn.
  uint16_t shownRatio = 0;
  std::string name;
  int32_t clipDepth = 0;  // non-zero: a mask over the depths above it up to this one
  // How it is composited onto what lies beneath (PlaceObject3 or scripts).
  BlendMode blendMode = BlendMode::Normal;
  std::vector<Filter> filters;
  bool cacheAsBitmap = false;
  // A window onto its content (its own pixels from x, y on, width by height), and the colour
  // its bounds are filled with beneath it: each makes it a cached bitmap in the original.
  struct ScrollRect {
    double x = 0, y = 0, width = 0, height = 0;  // pixels, in its own space
  };
  std::optional<ScrollRect> scrollRect;
  std::optional<Rgba> opaqueBackground;
  bool visible = true;
  // _focusrect as a script set it on this object (nothing: the movie's own setting holds).
  std::optional<bool> focusRect;
  // A script changed where or how it is shown: the timeline no longer moves it.
  bool scripted = false;
  // Made by a script (attachMovie, duplicateMovieClip, createEmptyMovieClip) rather than placed
  // by its parent's timeline; going back a frame leaves it alone.
  bool dynamic = false;
  // _xscale, _yscale and _rotation as a script last set them: the matrix alone cannot tell a
  // mirrored scale from a half turn.
  std::optional<double> xscale, yscale, rotation;
  // setMask: the clip this one shows through, and the clip it cuts out in turn (it is then
  // not drawn itself). Both links are cut when either clip leaves the stage.
  DisplayObject* maskedBy = nullptr;
  DisplayObject* masking = nullptr;
  bool removed = false;      // off the stage; its unload may still be waiting to run
  // Taken off by its timeline while it (or something in it) has an unload handler: it waits
  // below every depth until the next frame, its scripts still running.
  bool departing = false;
  bool constructed = false;  // its class (Object.registerClass) has been given to it
  // A copy of it was made: the copy now answers for its static text, and a TextSnapshot of
  // this one finds none.
  bool staticTextHandedOn = false;
  // What scripts drew into it (sprites and the main timeline), beneath its children.
  std::shared_ptr<Drawing> drawing;
  // A bitmap a script attached (attachBitmap), drawn smoothed or not; it shares the pixels
  // with the script's BitmapData and shows whatever is done to them.
  std::shared_ptr<BitmapData> bitmap;
  bool smoothing = false;
  uint8_t deblocking = 0;  // videos: as the video asks (0), off (1) or a filter's strength
  // Edit fields: the field's text, properties and layout.
  std::shared_ptr<TextField> field;
  // onClipEvent handlers it was placed with.
  const std::vector<ClipAction>* clipActions = nullptr;
  // A level, or a clip a movie was loaded into: the movie its timeline and everything inside
  // it come from, kept alive by the clip. Null elsewhere: the enclosing movie's.
  const Movie* library = nullptr;
  std::shared_ptr<const Movie> ownedLibrary;

  // Sprites and the main timeline; null for shapes and empty clips.
  const Timeline* timeline = nullptr;
  size_t frame = 0;  // current frame, from 0
  bool playing = true;
  std::map<int32_t, std::unique_ptr<DisplayObject>> children;  // by depth
  DisplayObject* parent = nullptr;

  // Buttons: the state whose records are its children now (a ButtonStates bit).
  uint8_t buttonState = 0;

  uint64_t bornTick = 0;  // the tick it was placed in: new clips start advancing on the next
  uint64_t id = 0;        // its handle, unique within a run of the movie

  bool IsClip() const { return kind == DisplayKind::Sprite || kind == DisplayKind::Root; }
  bool IsButton() const { return kind == DisplayKind::Button; }
  // Clips, buttons, edit fields and videos are objects scripts reach by name; a named shape,
  // bitmap or static text leads them to the clip holding it.
  bool HasScriptObject() const {
    return IsClip() || IsButton() || kind == DisplayKind::EditText || kind == DisplayKind::Video;
  }
  size_t TotalFrames() const { return timeline ? timeline->frameCount : 1; }
  int32_t ScriptDepth() const { return depth - kScriptDepthOffset; }
};

// Work a tick leaves for the scripts: a frame's action block (init actions included) or a
// clip event. The clip is named by its handle; for an unload the object is already gone and
// only the handle and its handlers remain.
struct FrameActions {
  uint64_t clip = 0;
  const ActionBlock* block = nullptr;
  uint32_t event = 0;  // a ClipEvent bit when this is an event
  const std::vector<ClipAction>* handlers = nullptr;
  uint8_t key = 0;  // kEventKeyPress: the key pressed, as button and clip key handlers name it
};
using ActionHook = std::function<void(const FrameActions&)>;

class DisplayList {
 public:
  DisplayList() = default;
  DisplayList(const DisplayList&) = delete;
  DisplayList& operator=(const DisplayList&) = delete;

  // Starts `movie` (which must outlive this) at its first frame.
  void Reset(const Movie* movie);
  // One frame of the movie's time: every playing timeline advances (the newest clip first, the
  // main timeline last), clips that were there already get their enterFrame, then the actions
  // the frame queued run.
  void Tick();
  // Moves the main timeline to `frame` (from 0). False when it does not exist.
  bool GotoFrame(size_t frame);
  // Moves a clip to `frame`. Asked from inside a running script, the frame's actions run after
  // that script and those already waiting; asked from outside, before this returns. False when
  // the clip or the frame does not exist.
  bool GotoClip(uint64_t clip, size_t frame);

  // The live object with handle `id`, or null.
  DisplayObject* Find(uint64_t id);
  const DisplayObject* Find(uint64_t id) const {
    return const_cast<DisplayList*>(this)->Find(id);
  }
  // Level 0: the movie the player was started with.
  const DisplayObject& Root() const { return root_; }
  DisplayObject& Root() { return root_; }
  // The level numbered `level` (0 is Root()), or null when nothing is loaded there.
  DisplayObject* Level(int32_t level);
  // Levels above 0, in drawing order.
  const std::map<int32_t, std::unique_ptr<DisplayObject>>& UpperLevels() const { return levels_; }
  // The level `object` belongs to.
  DisplayObject& LevelOf(DisplayObject& object);
  // The movie whose characters `object` (and what is placed in it) shows.
  const Movie* LibraryOf(const DisplayObject& object) const;
  // A library symbol exported as `name` by the movie `clip` belongs to, once its frame is there.
  std::optional<uint16_t> FindExport(const DisplayObject& clip, std::string_view name) const;
  size_t ObjectCount() const { return objectCount_; }
  void SetActionHook(ActionHook hook) { hook_ = std::move(hook); }
  // Tells whether an object has an unload handler scripts gave it (onUnload); a clip with one,
  // or with an onClipEvent(unload), leaves the stage a frame late.
  void SetUnloadQuery(std::function<bool(const DisplayObject&)> query) {
    unloadQuery_ = std::move(query);
  }
  const Movie* movie() const { return movie_; }
  // How many of the main timeline's frames have played so far.
  size_t FramesReached() const { return framesReached_; }

  // What scripts do to the tree. Depths are in timeline numbering; a new object replaces what
  // was at its depth. Null when the character is not there or the movie is full.
  DisplayObject* Attach(DisplayObject& parent, uint16_t characterId, int32_t depth,
                        std::string name);
  DisplayObject* CreateEmpty(DisplayObject& parent, int32_t depth, std::string name);
  // An empty edit field (createTextField), `bounds` in the parent's twips.
  DisplayObject* CreateTextField(DisplayObject& parent, int32_t depth, std::string name,
                                 const TwipsRect& bounds);
  // Where device text is measured and drawn; null lays it out with fixed metrics.
  void SetDeviceFonts(DeviceFonts* fonts) { deviceFonts_ = fonts; }
  DeviceFonts* deviceFonts() const { return deviceFonts_; }
  // A copy of `source` (same character, transform, colours and handlers) beside it.
  DisplayObject* Duplicate(DisplayObject& source, int32_t depth, std::string name);
  // Removes `object` and everything in it (their unload events run after the current script).
  void Remove(DisplayObject& object);
  // Shows `object` only where `mask` covers (null: everywhere again). A clip masks one other
  // at a time; masking another frees the first.
  void SetMask(DisplayObject& object, DisplayObject* mask);
  // Moves `object` to `depth` in its parent, trading places with whatever was there.
  void SwapDepth(DisplayObject& object, int32_t depth);
  // Shows `button`'s records for `state` (a ButtonStates bit): records that stay keep their
  // instance, the others go and the new ones are made, as the timeline places characters.
  void SetButtonState(DisplayObject& button, uint8_t state);
  // Queues `block` to run on `clip` (a button's action runs on the timeline that holds it), or
  // a clip event; Flush runs them.
  void Queue(const FrameActions& actions) { pending_.push_back(actions); }
  // Runs what is queued now, unless a flush is already under way further up the stack.
  void Flush();
  // Sends `object` a clip event (data that arrived, say) and runs it.
  void Notify(DisplayObject& object, uint32_t event);

  // Loaded movies. `clip` drops what it showed and plays `movie` from its first frame, keeping
  // its place, name and transform; it gets a new handle, as scripts see a new clip there.
  void LoadInto(DisplayObject& clip, std::shared_ptr<const Movie> movie);
  // Starts `movie` at level `level` (above 0), replacing what was there.
  void LoadLevel(int32_t level, std::shared_ptr<const Movie> movie);
  // Empties `clip` of a loaded movie (or of whatever its timeline placed); a level above 0
  // goes altogether.
  void Unload(DisplayObject& clip);

 private:
  void Advance(DisplayObject& clip);
  // Queues a fresh clip's events and its first frame, as placing it does.
  void Start(DisplayObject& clip);
  // Empties `clip` and gives it a new handle, unloading the clip scripts knew.
  void Renew(DisplayObject& clip);
  // Keeps a library that is being replaced until the scripts still queued for it have run.
  void Retire(DisplayObject& clip);
  // The frame's own actions run before those of the clips it places. Going back, `ownFirst`
  // puts them before the clips the rebuild placed (a loop played in time) or after (a goto).
  void Goto(DisplayObject& clip, size_t frame, bool ownFirst);
  // Returns how long the action queue was before each of the frame's commands and after the
  // last, so the frame's own scripts can take their places among what the commands queued
  // (nothing for a frame without scripts).
  std::vector<size_t> ApplyFrame(DisplayObject& clip, size_t frame);
  void Place(DisplayObject& clip, const PlaceObject& place);
  // Going back: the display list the frame would have when played from the start, keeping the
  // instances that are still there.
  void Rebuild(DisplayObject& clip, size_t frame);
  std::unique_ptr<DisplayObject> Instantiate(uint16_t id, const DisplayObject& parent);
  // Hangs `object` into `parent` at `depth`, replacing what is there, and queues its events
  // and first frame.
  DisplayObject* Adopt(DisplayObject& parent, int32_t depth, std::unique_ptr<DisplayObject> object);
  void Erase(DisplayObject& clip, int32_t depth);
  // A timeline removal of an object that answers unload: it moves below every depth, its
  // unloads are queued, and the next tick takes it away for good.
  bool Depart(DisplayObject& clip, int32_t depth);
  bool WatchesUnload(const DisplayObject& object) const;
  // Takes away for good the objects that departed during the last tick.
  void PurgeDeparted();
  void QueueUnloads(DisplayObject& object);
  void Discard(DisplayObject& object);
  // Cuts the mask pairs `object` takes part in (as the masked clip or as the mask), so no
  // pointer to it stays behind once it leaves the stage.
  void Unpair(DisplayObject& object);
  // Takes `object` and what it holds off the stage: their unloads are queued and the objects
  // kept until those have run.
  void Bury(std::unique_ptr<DisplayObject> object);
  void Release(DisplayObject& object);
  void ForgetTree(const DisplayObject& object);
  int Nesting(const DisplayObject& object) const;
  // A timeline placement without a name: clips are called "instance1", "instance2", ... in
  // the order they are placed. `object` may be null (a character this player cannot show).
  void NameUnnamed(const DisplayObject& clip, DisplayObject* object, uint16_t characterId,
                   bool named);
  // Queues the actions of the frame `clip` shows at `at`, its init actions at `initAt` among
  // the initialisations.
  void QueueActions(const DisplayObject& clip, size_t at, size_t initAt,
                    const std::vector<size_t>& marks = {});

  const Movie* movie_ = nullptr;
  DisplayObject root_;
  size_t objectCount_ = 0;
  uint64_t tick_ = 0;
  size_t framesReached_ = 0;
  uint32_t instanceCount_ = 0;
  ActionHook hook_;
  std::unordered_map<uint64_t, DisplayObject*> live_;
  std::vector<std::unique_ptr<DisplayObject>> graveyard_;  // removed, unloads still to run
  std::vector<uint64_t> departed_;
  std::function<bool(const DisplayObject&)> unloadQuery_;
  std::deque<FrameActions> pending_;
  std::deque<FrameActions> unloads_;
  std::deque<FrameActions> initializes_;  // initialize, then construct: before anything else
  std::deque<FrameActions> constructs_;
  std::set<std::pair<const Movie*, uint16_t>> initDone_;  // sprites whose init actions ran
  std::map<int32_t, std::unique_ptr<DisplayObject>> levels_;  // above 0
  std::vector<std::shared_ptr<const Movie>> retired_;
  bool flushing_ = false;
  uint64_t nextId_ = 1;
  DeviceFonts* deviceFonts_ = nullptr;
};

}  // namespace swf
