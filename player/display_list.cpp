#include "player/display_list.h"

#include <algorithm>

namespace swf {
namespace {

size_t CountTree(const DisplayObject& object) {
  size_t n = 1;
  for (const auto& [depth, child] : object.children) n += CountTree(*child);
  return n;
}

// A placement as replaying the timeline leaves it, before any object exists.
struct Placement {
  uint16_t characterId = 0;
  Matrix matrix;
  ColorTransform colors;
  uint16_t ratio = 0;
  std::string name;
  uint16_t clipDepth = 0;
};

// The properties a placement sets, on a replayed placement or a live object alike.
template <typename Target>
void ApplyProperties(const PlaceObject& place, Target& t) {
  if (place.matrix) t.matrix = *place.matrix;
  if (place.colorTransform) t.colors = *place.colorTransform;
  if (place.ratio) t.ratio = *place.ratio;
  if (place.name) t.name = *place.name;
  if (place.clipDepth) t.clipDepth = *place.clipDepth;
}

template <typename Source>
void CopyProperties(const Source& from, DisplayObject& to) {
  to.matrix = from.matrix;
  to.colors = from.colors;
  to.ratio = from.ratio;
  to.name = from.name;
  to.clipDepth = from.clipDepth;
}

}  // namespace

void DisplayList::Reset(const Movie* movie) {
  movie_ = movie;
  root_ = DisplayObject{};
  root_.serial = nextSerial_++;
  objectCount_ = 1;
  tick_ = 0;
  pending_.clear();
  if (!movie_) return;
  root_.timeline = &movie_->timeline;
  std::vector<uint16_t> path;
  ApplyFrame(root_, 0, 0, path);
  QueueActions(root_, path, 0);
  Flush();
}

void DisplayList::Tick() {
  if (!movie_) return;
  ++tick_;
  std::vector<uint16_t> path;
  Advance(root_, 0, path);
  Flush();
}

bool DisplayList::GotoFrame(size_t frame) {
  if (!movie_ || frame >= root_.timeline->frameCount) return false;
  std::vector<uint16_t> path;
  Goto(root_, frame, 0, path);
  Flush();
  return true;
}

bool DisplayList::GotoClip(const std::vector<uint16_t>& path, size_t frame) {
  DisplayObject* clip = Find(path);
  if (!clip || !clip->timeline || frame >= clip->timeline->frameCount) return false;
  std::vector<uint16_t> at = path;
  Goto(*clip, frame, static_cast<int>(path.size()), at);
  Flush();
  return true;
}

DisplayObject* DisplayList::Find(const std::vector<uint16_t>& path) {
  if (!movie_) return nullptr;
  DisplayObject* at = &root_;
  for (uint16_t depth : path) {
    auto it = at->children.find(depth);
    if (it == at->children.end()) return nullptr;
    at = it->second.get();
  }
  return at;
}

void DisplayList::Advance(DisplayObject& clip, int nesting, std::vector<uint16_t>& path) {
  if (clip.timeline && clip.playing && clip.timeline->frameCount > 1) {
    const size_t next = clip.frame + 1;
    Goto(clip, next < clip.timeline->frameCount ? next : 0, nesting, path);
  }
  // Clips placed during this tick showed their first frame already.
  for (auto& [depth, child] : clip.children) {
    if (!child->timeline || child->bornTick >= tick_) continue;
    path.push_back(depth);
    Advance(*child, nesting + 1, path);
    path.pop_back();
  }
}

void DisplayList::Goto(DisplayObject& clip, size_t frame, int nesting,
                       std::vector<uint16_t>& path) {
  if (frame == clip.frame) return;
  const size_t mark = pending_.size();
  if (frame < clip.frame) {
    Rebuild(clip, frame, nesting, path);
  } else {
    for (size_t f = clip.frame + 1; f <= frame; ++f) ApplyFrame(clip, f, nesting, path);
  }
  clip.frame = frame;
  QueueActions(clip, path, mark);
}

void DisplayList::ApplyFrame(DisplayObject& clip, size_t frame, int nesting,
                             std::vector<uint16_t>& path) {
  for (const DisplayCommand& command : clip.timeline->At(frame).commands) {
    if (const auto* place = std::get_if<PlaceObject>(&command)) {
      Place(clip, *place, nesting, path);
    } else {
      Erase(clip, std::get<RemoveObject>(command).depth);
    }
  }
}

void DisplayList::Place(DisplayObject& clip, const PlaceObject& place, int nesting,
                        std::vector<uint16_t>& path) {
  auto it = clip.children.find(place.depth);
  DisplayObject* existing = it == clip.children.end() ? nullptr : it->second.get();
  if (existing && (!place.characterId || *place.characterId == existing->characterId)) {
    // Moving an object, or placing the same character again: the instance (and a sprite's
    // own timeline) carries on.
    ApplyProperties(place, *existing);
    return;
  }
  if (!place.characterId) return;  // a move of nothing
  path.push_back(place.depth);
  std::unique_ptr<DisplayObject> object = Instantiate(*place.characterId, nesting + 1, path);
  path.pop_back();
  if (!object) return;
  if (existing && place.move) {
    // Replacing the character keeps where and how the old one was shown.
    CopyProperties(*existing, *object);
  }
  if (existing) Erase(clip, place.depth);
  object->depth = place.depth;
  ApplyProperties(place, *object);
  objectCount_ += CountTree(*object);
  clip.children[place.depth] = std::move(object);
}

std::unique_ptr<DisplayObject> DisplayList::Instantiate(uint16_t id, int nesting,
                                                        std::vector<uint16_t>& path) {
  const Character* character = movie_->Find(id);
  if (!character || objectCount_ >= kMaxDisplayObjects) return nullptr;
  auto object = std::make_unique<DisplayObject>();
  object->characterId = id;
  object->bornTick = tick_;
  object->serial = nextSerial_++;
  if (const auto* sprite = std::get_if<Sprite>(character)) {
    // Too deep a nesting stays an empty clip rather than recursing further.
    if (nesting >= kMaxNesting) return object;
    object->timeline = &sprite->timeline;
    // The caller counts the finished subtree when it attaches it; meanwhile count this object
    // and whatever its first frame places, so that the limit holds while it is being built.
    const size_t before = objectCount_;
    ++objectCount_;
    const size_t mark = pending_.size();
    ApplyFrame(*object, 0, nesting, path);
    QueueActions(*object, path, mark);
    objectCount_ = before;
  }
  return object;
}

void DisplayList::Erase(DisplayObject& clip, uint16_t depth) {
  auto it = clip.children.find(depth);
  if (it == clip.children.end()) return;
  objectCount_ -= CountTree(*it->second);
  clip.children.erase(it);
}

void DisplayList::Rebuild(DisplayObject& clip, size_t frame, int nesting,
                          std::vector<uint16_t>& path) {
  std::map<uint16_t, Placement> target;
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
          target[place->depth] = std::move(p);
        }
      } else {
        target.erase(std::get<RemoveObject>(command).depth);
      }
    }
  }
  for (auto it = clip.children.begin(); it != clip.children.end();) {
    auto t = target.find(it->first);
    if (t == target.end() || t->second.characterId != it->second->characterId) {
      objectCount_ -= CountTree(*it->second);
      it = clip.children.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& [depth, p] : target) {
    auto existing = clip.children.find(depth);
    DisplayObject* object = existing == clip.children.end() ? nullptr : existing->second.get();
    if (!object) {
      path.push_back(depth);
      std::unique_ptr<DisplayObject> created = Instantiate(p.characterId, nesting + 1, path);
      path.pop_back();
      if (!created) continue;
      object = created.get();
      object->depth = depth;
      objectCount_ += CountTree(*created);
      clip.children[depth] = std::move(created);
    }
    CopyProperties(p, *object);
  }
}

void DisplayList::QueueActions(const DisplayObject& clip, const std::vector<uint16_t>& path,
                               size_t at) {
  if (!hook_) return;
  std::vector<FrameActions> mine;
  // Initialisation actions run before the frame's other actions, wherever they stand in it.
  for (const bool init : {true, false}) {
    for (const ActionBlock& block : clip.timeline->At(clip.frame).actions) {
      if (block.init == init) mine.push_back({path, &block});
    }
  }
  pending_.insert(pending_.begin() + static_cast<ptrdiff_t>(std::min(at, pending_.size())),
                  mine.begin(), mine.end());
}

void DisplayList::Flush() {
  // A script that moves a clip queues that frame's actions; they run after the ones already
  // waiting, in this same loop rather than inside the script that asked for them.
  if (flushing_) return;
  flushing_ = true;
  size_t next = 0;
  while (next < pending_.size()) {
    const FrameActions a = pending_[next++];
    if (hook_) hook_(a);
    // Entries before `next` have run; drop them so new ones queue at the right place.
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(next));
    next = 0;
  }
  pending_.clear();
  flushing_ = false;
}

}  // namespace swf
