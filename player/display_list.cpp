#include "player/display_list.h"

#include <algorithm>

namespace swf {
namespace {

// A placement as replaying the timeline leaves it, before any object exists.
struct Placement {
  uint16_t characterId = 0;
  Matrix matrix;
  ColorTransform colors;
  uint16_t ratio = 0;
  std::string name;
  int32_t clipDepth = 0;
  BlendMode blendMode = BlendMode::Normal;
  std::vector<Filter> filters;
  bool cacheAsBitmap = false;
  std::optional<Rgba> opaqueBackground;
  bool visible = true;
  const std::vector<ClipAction>* clipActions = nullptr;
};

// The properties a placement sets, on a replayed placement or a live object alike. A clip a
// script has taken over keeps its transform, colours and name against the timeline.
template <typename Target>
void ApplyProperties(const PlaceObject& place, Target& t, bool keepScripted = false) {
  if (!keepScripted) {
    if (place.matrix) t.matrix = *place.matrix;
    if (place.colorTransform) t.colors = *place.colorTransform;
    if (place.name) t.name = *place.name;
  }
  if (place.ratio) t.ratio = *place.ratio;
  if (place.clipDepth) t.clipDepth = *place.clipDepth;
  if (place.blendMode) t.blendMode = BlendModeFromCode(place.blendMode);
  if (place.filters) t.filters = *place.filters;
  if (place.cacheAsBitmap) t.cacheAsBitmap = *place.cacheAsBitmap;
  if (place.opaqueBackground) t.opaqueBackground = place.opaqueBackground;
  if (place.visible) t.visible = *place.visible;
}

void ClearScriptedTransform(DisplayObject& o) {
  o.xscale.reset();
  o.yscale.reset();
  o.rotation.reset();
}

}  // namespace

void DisplayList::Reset(const Movie* movie) {
  levels_.clear();
  graveyard_.clear();
  departed_.clear();
  retired_.clear();
  movie_ = movie;
  root_ = DisplayObject{};
  root_.kind = DisplayKind::Root;
  root_.id = nextId_++;
  live_.clear();
  live_[root_.id] = &root_;
  objectCount_ = 1;
  tick_ = 0;
  pending_.clear();
  unloads_.clear();
  initializes_.clear();
  constructs_.clear();
  initDone_.clear();
  instanceCount_ = 0;
  if (!movie_) return;
  root_.timeline = &movie_->timeline;
  root_.library = movie_;
  framesReached_ = 1;
  QueueActions(root_, 0, 0, ApplyFrame(root_, 0));
  // The main timeline's load comes after its first frame's scripts, which are where a movie
  // sets its onLoad.
  pending_.push_back({root_.id, nullptr, kEventLoad, nullptr});
  Flush();
}

DisplayObject* DisplayList::Find(uint64_t id) {
  auto it = live_.find(id);
  return it == live_.end() ? nullptr : it->second;
}

DisplayObject* DisplayList::Level(int32_t level) {
  if (level == 0) return &root_;
  auto it = levels_.find(level);
  return it == levels_.end() ? nullptr : it->second.get();
}

DisplayObject& DisplayList::LevelOf(DisplayObject& object) {
  DisplayObject* at = &object;
  while (at->parent) at = at->parent;
  return *at;
}

const Movie* DisplayList::LibraryOf(const DisplayObject& object) const {
  for (const DisplayObject* at = &object; at; at = at->parent) {
    if (at->library) return at->library;
  }
  return movie_;
}

std::optional<uint16_t> DisplayList::FindExport(const DisplayObject& clip,
                                                std::string_view name) const {
  const Movie* library = LibraryOf(clip);
  if (!library) return std::nullopt;
  // A loaded movie arrives whole; the first one streams in as its frames play.
  return library->FindExport(name, library == movie_ ? framesReached_ : SIZE_MAX);
}

void DisplayList::Tick() {
  if (!movie_) return;
  PurgeDeparted();
  ++tick_;
  // The last frame has been drawn by now.
  for (auto& [id, object] : live_) object->shownRatio = object->ratio;
  // Newest first, the main timeline last; clips placed during this tick wait for the next.
  std::vector<uint64_t> order;
  order.reserve(live_.size());
  for (const auto& [id, object] : live_) {
    if (object->IsClip() && object->bornTick < tick_) order.push_back(id);
  }
  std::sort(order.begin(), order.end(), std::greater<>());
  for (uint64_t id : order) {
    DisplayObject* clip = Find(id);
    if (clip && !clip->removed) Advance(*clip);
  }
  // Clips that were there before this tick and still are get their enterFrame before the
  // frame's actions run.
  std::vector<FrameActions> enter;
  for (uint64_t id : order) {
    if (DisplayObject* clip = Find(id); clip && !clip->removed && !clip->departing) {
      enter.push_back({id, nullptr, kEventEnterFrame, clip->clipActions});
    }
  }
  pending_.insert(pending_.begin(), enter.begin(), enter.end());
  Flush();
}

bool DisplayList::GotoFrame(size_t frame) { return GotoClip(root_.id, frame); }

bool DisplayList::GotoClip(uint64_t id, size_t frame) {
  DisplayObject* clip = Find(id);
  if (!movie_ || !clip || !clip->timeline || frame >= clip->timeline->frameCount) return false;
  Goto(*clip, frame, false);
  Flush();
  return true;
}

void DisplayList::Advance(DisplayObject& clip) {
  if (!clip.timeline || !clip.playing) return;
  const Timeline& timeline = *clip.timeline;
  const size_t end = timeline.playFrames ? timeline.playFrames : timeline.frameCount;
  if (end <= 1) return;
  const size_t next = clip.frame + 1;
  if (next < end) {
    Goto(clip, next, true);
  } else if (timeline.loops) {
    Goto(clip, 0, true);
  }
}

void DisplayList::Goto(DisplayObject& clip, size_t frame, bool ownFirst) {
  if (frame == clip.frame) return;
  size_t mark = pending_.size();
  const size_t initMark = initializes_.size();
  std::vector<size_t> marks;
  if (frame < clip.frame) {
    Rebuild(clip, frame);
    if (!ownFirst) mark = pending_.size();
  } else {
    // Clips that frames passed on the way placed run their actions first; those the frame
    // itself places, after its own.
    for (size_t f = clip.frame + 1; f < frame; ++f) ApplyFrame(clip, f);
    mark = pending_.size();
    marks = ApplyFrame(clip, frame);
  }
  clip.frame = frame;
  if (&clip == &root_) framesReached_ = std::max(framesReached_, frame + 1);
  QueueActions(clip, mark, initMark, marks);
}

std::vector<size_t> DisplayList::ApplyFrame(DisplayObject& clip, size_t frame) {
  const Frame& f = clip.timeline->At(frame);
  // Most frames carry no script: they need no places kept.
  std::vector<size_t> marks;
  if (!f.actions.empty()) marks.push_back(pending_.size());
  for (const DisplayCommand& command : f.commands) {
    if (const auto* place = std::get_if<PlaceObject>(&command)) {
      Place(clip, *place);
    } else if (const int32_t depth = std::get<RemoveObject>(command).depth; !Depart(clip, depth)) {
      Erase(clip, depth);
    }
    if (!marks.empty()) marks.push_back(pending_.size());
  }
  return marks;
}

void DisplayList::Place(DisplayObject& clip, const PlaceObject& place) {
  auto it = clip.children.find(place.depth);
  DisplayObject* existing = it == clip.children.end() ? nullptr : it->second.get();
  if (existing && existing->dynamic) {
    // A script's clip at a timeline depth: the timeline's own object takes the place only
    // when it brings a character.
    if (!place.characterId) return;
    existing = nullptr;
  }
  if (existing && (!place.characterId || *place.characterId == existing->characterId)) {
    // Moving an object, or placing the same character again: the instance (and a sprite's
    // own timeline) carries on.
    if (place.matrix && !existing->scripted) ClearScriptedTransform(*existing);
    ApplyProperties(place, *existing, existing->scripted);
    return;
  }
  if (!place.characterId) return;  // a move of nothing
  std::unique_ptr<DisplayObject> object = Instantiate(*place.characterId, clip);
  NameUnnamed(clip, object.get(), *place.characterId,
              place.name.has_value() || (existing && place.move && !existing->name.empty()));
  if (!object) return;
  if (existing && place.move) {
    // Replacing the character keeps where and how the old one was shown.
    object->matrix = existing->matrix;
    object->colors = existing->colors;
    object->ratio = existing->ratio;
    object->shownRatio = existing->shownRatio;
    object->name = existing->name;
    object->clipDepth = existing->clipDepth;
    object->blendMode = existing->blendMode;
    object->filters = existing->filters;
    object->cacheAsBitmap = existing->cacheAsBitmap;
    object->opaqueBackground = existing->opaqueBackground;
  }
  ApplyProperties(place, *object);
  if (!place.clipActions.empty()) object->clipActions = &place.clipActions;
  Adopt(clip, place.depth, std::move(object));
}

std::unique_ptr<DisplayObject> DisplayList::Instantiate(uint16_t id, const DisplayObject& parent) {
  const Movie* library = LibraryOf(parent);
  const Character* character = library ? library->Find(id) : nullptr;
  if (!character || objectCount_ >= kMaxDisplayObjects) return nullptr;
  auto object = std::make_unique<DisplayObject>();
  object->characterId = id;
  object->bornTick = tick_;
  if (std::holds_alternative<Bitmap>(*character)) object->kind = DisplayKind::Bitmap;
  if (std::holds_alternative<Button>(*character)) object->kind = DisplayKind::Button;
  if (const auto* video = std::get_if<VideoStream>(character)) {
    object->kind = DisplayKind::Video;
    object->smoothing = video->smoothing;
    object->deblocking = video->deblocking;
  }
  if (const auto* def = std::get_if<EditTextDef>(character)) {
    object->kind = DisplayKind::EditText;
    object->field = std::make_shared<TextField>(library, def, library->header.version);
  }
  if (const auto* sprite = std::get_if<Sprite>(character)) {
    object->kind = DisplayKind::Sprite;
    // Too deep a nesting stays an empty clip rather than recursing further.
    if (Nesting(parent) < kMaxNesting) object->timeline = &sprite->timeline;
  }
  return object;
}

void DisplayList::NameUnnamed(const DisplayObject& clip, DisplayObject* object,
                              uint16_t characterId, bool named) {
  if (named) return;
  const Movie* library = LibraryOf(clip);
  const Character* character = library ? library->Find(characterId) : nullptr;
  // Shapes go nameless. Characters this player does not show yet (text, buttons) still take
  // their number, so that the clips after them are called what the movie's author saw.
  if (character && !std::holds_alternative<Sprite>(*character) &&
      !std::holds_alternative<Button>(*character) &&
      !std::holds_alternative<EditTextDef>(*character)) {
    return;
  }
  ++instanceCount_;
  if (object) object->name = "instance" + std::to_string(instanceCount_);
}

int DisplayList::Nesting(const DisplayObject& object) const {
  int n = 0;
  for (const DisplayObject* at = object.parent; at; at = at->parent) ++n;
  return n;
}

DisplayObject* DisplayList::Adopt(DisplayObject& parent, int32_t depth,
                                  std::unique_ptr<DisplayObject> object) {
  Erase(parent, depth);
  object->id = nextId_++;
  object->depth = depth;
  object->parent = &parent;
  DisplayObject* placed = object.get();
  live_[placed->id] = placed;
  ++objectCount_;
  parent.children[depth] = std::move(object);
  Start(*placed);
  return placed;
}

void DisplayList::Start(DisplayObject& clip) {
  if (clip.IsClip()) {
    initializes_.push_back({clip.id, nullptr, kEventInitialize, clip.clipActions});
    constructs_.push_back({clip.id, nullptr, kEventConstruct, clip.clipActions});
  }
  // A sprite's first frame is there as soon as the sprite is. Its load and first frame's
  // actions run before whatever that frame placed.
  const size_t mark = pending_.size();
  const size_t initMark = initializes_.size();
  std::vector<size_t> marks;
  if (clip.timeline) marks = ApplyFrame(clip, 0);
  if (clip.IsButton() && Nesting(clip) < kMaxNesting) SetButtonState(clip, kButtonUp);
  if (clip.IsClip()) {
    pending_.insert(pending_.begin() + static_cast<ptrdiff_t>(mark),
                    {clip.id, nullptr, kEventLoad, clip.clipActions});
    QueueActions(clip, mark + 1, initMark, marks);
  }
}

void DisplayList::Retire(DisplayObject& clip) {
  if (clip.ownedLibrary) retired_.push_back(std::move(clip.ownedLibrary));
  clip.ownedLibrary.reset();
  clip.library = nullptr;
}

void DisplayList::LoadInto(DisplayObject& clip, std::shared_ptr<const Movie> movie) {
  if (clip.removed || !movie) return;
  if (&clip == &root_ || (!clip.parent && clip.kind == DisplayKind::Root)) {
    if (&clip != &root_) LoadLevel(clip.depth, std::move(movie));
    return;  // level 0 is replaced by the player itself
  }
  Renew(clip);
  clip.library = movie.get();
  clip.ownedLibrary = std::move(movie);
  clip.timeline = &clip.library->timeline;
  clip.kind = DisplayKind::Sprite;
  clip.characterId = 0;
  clip.frame = 0;
  clip.playing = true;
  clip.drawing.reset();
  clip.constructed = false;
  clip.bornTick = tick_;
  Start(clip);
}

void DisplayList::LoadLevel(int32_t level, std::shared_ptr<const Movie> movie) {
  if (level <= 0 || !movie || objectCount_ >= kMaxDisplayObjects) return;
  if (auto it = levels_.find(level); it != levels_.end()) {
    Bury(std::move(it->second));
    levels_.erase(it);
  }
  auto object = std::make_unique<DisplayObject>();
  object->kind = DisplayKind::Root;
  object->depth = level;
  object->id = nextId_++;
  object->bornTick = tick_;
  object->library = movie.get();
  object->ownedLibrary = std::move(movie);
  object->timeline = &object->library->timeline;
  DisplayObject* placed = object.get();
  live_[placed->id] = placed;
  ++objectCount_;
  levels_[level] = std::move(object);
  Start(*placed);
}

void DisplayList::Unload(DisplayObject& clip) {
  if (clip.removed) return;
  if (!clip.parent && clip.kind == DisplayKind::Root && &clip != &root_) {
    auto it = levels_.find(clip.depth);
    if (it != levels_.end() && it->second.get() == &clip) {
      Bury(std::move(it->second));
      levels_.erase(it);
    }
    return;
  }
  if (&clip == &root_) {
    for (auto& [depth, child] : clip.children) Bury(std::move(child));
    clip.children.clear();
  } else {
    Renew(clip);
  }
  clip.drawing.reset();
  clip.timeline = nullptr;
  clip.frame = 0;
}

void DisplayList::Renew(DisplayObject& clip) {
  for (auto& [depth, child] : clip.children) Bury(std::move(child));
  clip.children.clear();
  // The clip that was there unloads; scripts meet a new one under the same name.
  unloads_.push_back({clip.id, nullptr, kEventUnload, clip.clipActions});
  clip.id = nextId_++;
  live_[clip.id] = &clip;
  Retire(clip);
}

void DisplayList::Erase(DisplayObject& clip, int32_t depth) {
  auto it = clip.children.find(depth);
  if (it == clip.children.end()) return;
  std::unique_ptr<DisplayObject> gone = std::move(it->second);
  clip.children.erase(it);
  Bury(std::move(gone));
}

bool DisplayList::WatchesUnload(const DisplayObject& object) const {
  if (object.clipActions) {
    for (const ClipAction& handler : *object.clipActions) {
      if (handler.events & kEventUnload) return true;
    }
  }
  if (unloadQuery_ && unloadQuery_(object)) return true;
  for (const auto& [depth, child] : object.children) {
    if (WatchesUnload(*child)) return true;
  }
  return false;
}

bool DisplayList::Depart(DisplayObject& clip, int32_t depth) {
  auto it = clip.children.find(depth);
  if (depth < 0 || it == clip.children.end() || it->second->departing ||
      !WatchesUnload(*it->second)) {
    return false;
  }
  std::unique_ptr<DisplayObject> leaving = std::move(it->second);
  clip.children.erase(it);
  const int32_t below = -(depth + 1);
  Erase(clip, below);
  leaving->depth = below;
  DisplayObject& moved = *leaving;
  clip.children[below] = std::move(leaving);
  QueueUnloads(moved);
  departed_.push_back(moved.id);
  return true;
}

void DisplayList::QueueUnloads(DisplayObject& object) {
  for (auto& [depth, child] : object.children) QueueUnloads(*child);
  object.departing = true;
  // In file order with the frame's other commands and scripts.
  if (object.IsClip() || object.IsButton()) {
    pending_.push_back({object.id, nullptr, kEventUnload, object.clipActions});
  }
}

void DisplayList::PurgeDeparted() {
  std::vector<uint64_t> departed;
  departed.swap(departed_);
  for (uint64_t id : departed) {
    DisplayObject* object = Find(id);
    if (!object || !object->parent) continue;
    auto it = object->parent->children.find(object->depth);
    if (it == object->parent->children.end() || it->second.get() != object) continue;
    std::unique_ptr<DisplayObject> gone = std::move(it->second);
    object->parent->children.erase(it);
    Discard(*gone);
    graveyard_.push_back(std::move(gone));
  }
}

void DisplayList::Discard(DisplayObject& object) {
  // Its unloads ran when it departed; now it only goes.
  for (auto& [depth, child] : object.children) Discard(*child);
  Unpair(object);
  if (object.removed) return;
  object.removed = true;
  if (objectCount_ > 0) --objectCount_;
  live_.erase(object.id);
}

void DisplayList::Unpair(DisplayObject& object) {
  SetMask(object, nullptr);
  if (object.masking) object.masking->maskedBy = nullptr;
  object.masking = nullptr;
}

void DisplayList::Bury(std::unique_ptr<DisplayObject> object) {
  Release(*object);
  graveyard_.push_back(std::move(object));
}

void DisplayList::Release(DisplayObject& object) {
  // Children unload before their parent.
  for (auto& [depth, child] : object.children) Release(*child);
  Unpair(object);
  if (object.removed || object.id == 0 || !live_.count(object.id)) return;
  if (object.departing) {
    // Its unload is already queued or done.
    Discard(object);
    return;
  }
  object.removed = true;
  if (objectCount_ > 0) --objectCount_;
  // A clip (or a button) stays reachable by its handle until its unload has run: its handlers
  // still see it.
  if (object.IsClip() || object.IsButton()) {
    unloads_.push_back({object.id, nullptr, kEventUnload, object.clipActions});
  } else {
    live_.erase(object.id);
  }
}

void DisplayList::ForgetTree(const DisplayObject& object) {
  for (const auto& [depth, child] : object.children) ForgetTree(*child);
  auto it = live_.find(object.id);
  if (it != live_.end() && it->second == &object) live_.erase(it);
}

void DisplayList::Rebuild(DisplayObject& clip, size_t frame) {
  std::map<int32_t, Placement> target;
  for (size_t f = 0; f <= frame; ++f) {
    for (const DisplayCommand& command : clip.timeline->At(f).commands) {
      if (const auto* place = std::get_if<PlaceObject>(&command)) {
        auto it = target.find(place->depth);
        if (it != target.end() &&
            (!place->characterId || *place->characterId == it->second.characterId)) {
          ApplyProperties(*place, it->second);
        } else if (place->characterId) {
          Placement p;
          if (it != target.end() && place->move) p = it->second;
          p.characterId = *place->characterId;
          ApplyProperties(*place, p);
          p.clipActions = place->clipActions.empty() ? nullptr : &place->clipActions;
          target[place->depth] = std::move(p);
        }
      } else {
        target.erase(std::get<RemoveObject>(command).depth);
      }
    }
  }
  for (auto it = clip.children.begin(); it != clip.children.end();) {
    DisplayObject& child = *it->second;
    auto t = target.find(it->first);
    // The depths scripts use keep what is there; the timeline's own depths get back what the
    // timeline had, and a script's clip that strayed into them goes.
    const bool timelineDepth = it->first < kScriptDepthOffset;
    if (timelineDepth &&
        (child.dynamic || t == target.end() || t->second.characterId != child.characterId)) {
      std::unique_ptr<DisplayObject> gone = std::move(it->second);
      it = clip.children.erase(it);
      Bury(std::move(gone));
    } else {
      ++it;
    }
  }
  for (const auto& [depth, p] : target) {
    auto existing = clip.children.find(depth);
    DisplayObject* object = existing == clip.children.end() ? nullptr : existing->second.get();
    if (depth >= kScriptDepthOffset) continue;
    if (object) {
      // A surviving instance keeps what a script gave it; otherwise it takes the frame's
      // placement as it would have been played.
      if (!object->scripted) {
        object->matrix = p.matrix;
        object->colors = p.colors;
        object->name = p.name;
        ClearScriptedTransform(*object);
      }
      object->ratio = p.ratio;
      object->clipDepth = p.clipDepth;
      object->blendMode = p.blendMode;
      object->filters = p.filters;
      object->cacheAsBitmap = p.cacheAsBitmap;
      object->opaqueBackground = p.opaqueBackground;
      continue;
    }
    std::unique_ptr<DisplayObject> created = Instantiate(p.characterId, clip);
    if (!created) {
      NameUnnamed(clip, nullptr, p.characterId, !p.name.empty());
      continue;
    }
    created->matrix = p.matrix;
    created->colors = p.colors;
    created->ratio = p.ratio;
    created->shownRatio = p.ratio;
    created->name = p.name;
    created->clipDepth = p.clipDepth;
    created->blendMode = p.blendMode;
    created->filters = p.filters;
    created->cacheAsBitmap = p.cacheAsBitmap;
    created->opaqueBackground = p.opaqueBackground;
    created->visible = p.visible;
    created->clipActions = p.clipActions;
    NameUnnamed(clip, created.get(), p.characterId, !p.name.empty());
    Adopt(clip, depth, std::move(created));
  }
}

void DisplayList::QueueActions(const DisplayObject& clip, size_t at, size_t initAt,
                               const std::vector<size_t>& marks) {
  if (!clip.timeline) return;
  std::vector<FrameActions> mine;
  // Initialisation actions run once per sprite, before anything the frame placed is
  // initialised or given its class.
  for (const ActionBlock& block : clip.timeline->At(clip.frame).actions) {
    if (block.init && initDone_.insert({LibraryOf(clip), block.spriteId}).second) {
      mine.push_back({clip.id, &block, 0, nullptr});
    }
  }
  initializes_.insert(initializes_.begin() + static_cast<ptrdiff_t>(std::min(initAt, initializes_.size())),
                      mine.begin(), mine.end());
  // Each script goes where the file has it: after what the commands before it queued (the
  // first frames of clips they placed), before what later ones did.
  size_t inserted = 0;
  for (const ActionBlock& block : clip.timeline->At(clip.frame).actions) {
    if (block.init) continue;
    size_t pos = at + inserted;
    if (!marks.empty()) pos += marks[std::min(block.commandsBefore, marks.size() - 1)] - marks[0];
    pending_.insert(pending_.begin() + static_cast<ptrdiff_t>(std::min(pos, pending_.size())),
                    {clip.id, &block, 0, nullptr});
    ++inserted;
  }
}

DisplayObject* DisplayList::Attach(DisplayObject& parent, uint16_t characterId, int32_t depth,
                                   std::string name) {
  std::unique_ptr<DisplayObject> object = Instantiate(characterId, parent);
  if (!object) return nullptr;
  object->name = std::move(name);
  object->dynamic = true;
  return Adopt(parent, depth, std::move(object));
}

DisplayObject* DisplayList::CreateEmpty(DisplayObject& parent, int32_t depth, std::string name) {
  if (!movie_ || objectCount_ >= kMaxDisplayObjects || Nesting(parent) >= kMaxNesting) {
    return nullptr;
  }
  auto object = std::make_unique<DisplayObject>();
  object->kind = DisplayKind::Sprite;
  object->bornTick = tick_;
  object->name = std::move(name);
  object->dynamic = true;
  return Adopt(parent, depth, std::move(object));
}

DisplayObject* DisplayList::CreateTextField(DisplayObject& parent, int32_t depth, std::string name,
                                           const TwipsRect& bounds) {
  if (!movie_ || objectCount_ >= kMaxDisplayObjects || Nesting(parent) >= kMaxNesting) {
    return nullptr;
  }
  auto object = std::make_unique<DisplayObject>();
  object->kind = DisplayKind::EditText;
  object->bornTick = tick_;
  object->name = std::move(name);
  object->dynamic = true;
  const Movie* library = LibraryOf(parent);
  if (!library) library = movie_;
  object->field = std::make_shared<TextField>(library, nullptr, library->header.version);
  object->matrix.tx = bounds.xMin;
  object->matrix.ty = bounds.yMin;
  object->field->bounds = {0, bounds.xMax - bounds.xMin, 0, bounds.yMax - bounds.yMin};
  return Adopt(parent, depth, std::move(object));
}

DisplayObject* DisplayList::Duplicate(DisplayObject& source, int32_t depth, std::string name) {
  DisplayObject* parent = source.parent;
  if (!parent) return nullptr;
  std::unique_ptr<DisplayObject> object;
  if (source.characterId) {
    object = Instantiate(source.characterId, *parent);
  } else if (objectCount_ < kMaxDisplayObjects) {
    object = std::make_unique<DisplayObject>();
    object->kind = source.kind == DisplayKind::Root ? DisplayKind::Sprite : source.kind;
    object->bornTick = tick_;
  }
  if (!object) return nullptr;
  object->matrix = source.matrix;
  object->colors = source.colors;
  object->blendMode = source.blendMode;
  // A field from a character starts again without the filters a script gave the original.
  if (!(source.field && source.characterId)) object->filters = source.filters;
  object->cacheAsBitmap = source.cacheAsBitmap;
  object->ratio = source.ratio;
  object->shownRatio = source.shownRatio;
  object->visible = source.visible;
  object->xscale = source.xscale;
  object->yscale = source.yscale;
  object->rotation = source.rotation;
  object->clipActions = source.clipActions;
  object->smoothing = source.smoothing;
  object->deblocking = source.deblocking;
  if (source.drawing) object->drawing = std::make_shared<Drawing>(*source.drawing);
  // A field placed from a character starts again from that character, as placing it anew
  // would: only where and how it is shown is copied. One a script made has nothing else to
  // start from, but its place in the Tab order is not the original's.
  if (source.field && !source.characterId) {
    object->field = std::make_shared<TextField>(*source.field);
    object->field->tabIndex.reset();
  }
  object->name = std::move(name);
  object->dynamic = true;
  object->scripted = source.scripted;
  object->staticTextHandedOn = source.staticTextHandedOn;
  source.staticTextHandedOn = true;
  return Adopt(*parent, depth, std::move(object));
}

void DisplayList::Remove(DisplayObject& object) {
  if (!object.parent || object.removed) return;
  auto it = object.parent->children.find(object.depth);
  if (it != object.parent->children.end() && it->second.get() == &object) {
    Erase(*object.parent, object.depth);
  }
}

void DisplayList::SetMask(DisplayObject& object, DisplayObject* mask) {
  if (object.maskedBy) object.maskedBy->masking = nullptr;
  object.maskedBy = nullptr;
  if (!mask || mask == &object) return;
  // Either clip stops being a mask of its timeline's layers: the script's pairing replaces it.
  object.clipDepth = 0;
  mask->clipDepth = 0;
  if (mask->masking) mask->masking->maskedBy = nullptr;
  mask->masking = &object;
  object.maskedBy = mask;
}

void DisplayList::SwapDepth(DisplayObject& object, int32_t depth) {
  DisplayObject* parent = object.parent;
  if (!parent || depth == object.depth) return;
  auto self = parent->children.find(object.depth);
  if (self == parent->children.end() || self->second.get() != &object) return;
  std::unique_ptr<DisplayObject> moving = std::move(self->second);
  parent->children.erase(self);
  auto other = parent->children.find(depth);
  if (other != parent->children.end()) {
    std::unique_ptr<DisplayObject> displaced = std::move(other->second);
    parent->children.erase(other);
    displaced->depth = object.depth;
    displaced->dynamic = true;
    parent->children[displaced->depth] = std::move(displaced);
  }
  // Once a script moved it, the timeline no longer owns it.
  moving->depth = depth;
  moving->dynamic = true;
  parent->children[depth] = std::move(moving);
}

void DisplayList::SetButtonState(DisplayObject& button, uint8_t state) {
  const Movie* library = LibraryOf(button);
  const Button* def = library ? std::get_if<Button>(library->Find(button.characterId)) : nullptr;
  if (!def || button.removed) return;
  const bool first = button.buttonState == 0;
  button.buttonState = state;
  std::map<int32_t, const ButtonRecord*> shown;
  for (const ButtonRecord& record : def->records) {
    if (record.states & state) shown.emplace(record.depth, &record);
  }
  for (auto it = button.children.begin(); it != button.children.end();) {
    auto want = shown.find(it->first);
    if (!first && want != shown.end() && want->second->characterId == it->second->characterId) {
      ++it;
      continue;
    }
    std::unique_ptr<DisplayObject> gone = std::move(it->second);
    it = button.children.erase(it);
    Bury(std::move(gone));
  }
  for (const auto& [depth, record] : shown) {
    auto existing = button.children.find(depth);
    if (existing != button.children.end()) {
      existing->second->matrix = record->matrix;
      existing->second->colors = record->colors;
      continue;
    }
    std::unique_ptr<DisplayObject> object = Instantiate(record->characterId, button);
    NameUnnamed(button, object.get(), record->characterId, false);
    if (!object) continue;
    object->matrix = record->matrix;
    object->colors = record->colors;
    Adopt(button, depth, std::move(object));
  }
}

void DisplayList::Notify(DisplayObject& object, uint32_t event) {
  if (object.removed || !object.IsClip()) return;
  pending_.push_back({object.id, nullptr, event, object.clipActions});
  Flush();
}

void DisplayList::Flush() {
  // A script that moves a clip queues that frame's actions; they run after the ones already
  // waiting, in this same loop rather than inside the script that asked for them.
  if (flushing_) return;
  flushing_ = true;
  auto take = [](std::deque<FrameActions>& from) {
    FrameActions a = from.front();
    from.pop_front();
    return a;
  };
  for (;;) {
    FrameActions a;
    if (!initializes_.empty()) {
      a = take(initializes_);
    } else if (!constructs_.empty()) {
      a = take(constructs_);
    } else if (!unloads_.empty()) {
      a = take(unloads_);
    } else if (!pending_.empty()) {
      a = take(pending_);
    } else {
      break;
    }
    if (hook_) hook_(a);
    if (a.event == kEventUnload) {
      // A departing clip stays reachable until the next tick takes it away.
      const DisplayObject* o = Find(a.clip);
      if (!o || !o->departing || o->removed) live_.erase(a.clip);
    }
  }
  for (const auto& gone : graveyard_) ForgetTree(*gone);
  graveyard_.clear();
  retired_.clear();
  flushing_ = false;
}

}  // namespace swf
