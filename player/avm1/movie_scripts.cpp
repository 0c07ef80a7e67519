#include "player/avm1/movie_scripts.h"

namespace swf::avm1 {

MovieScripts::MovieScripts(const Movie& movie, DisplayList& display)
    : display_(display), vm_(movie.header.version, this) {}

void MovieScripts::Run(const FrameActions& actions) {
  if (!actions.block) return;
  DisplayObject* clip = display_.Find(actions.clipPath);
  if (!clip) return;  // removed by an earlier script of the same frame
  if (actions.block->init) {
    // Initialisation actions run once, on the main timeline, whichever instance shows them.
    if (!initDone_.insert(actions.block).second) return;
    vm_.RunFrameScript(actions.block->bytes, Root());
    return;
  }
  vm_.RunFrameScript(actions.block->bytes, ClipRef{actions.clipPath, clip->serial});
}

DisplayObject* MovieScripts::Find(const ClipRef& clip) {
  DisplayObject* o = display_.Find(clip.path);
  return o && o->serial == clip.serial ? o : nullptr;
}

ClipRef MovieScripts::Root() { return ClipRef{{}, display_.Root().serial}; }

bool MovieScripts::State(const ClipRef& clip, ClipState& out) {
  const DisplayObject* o = Find(clip);
  if (!o) return false;
  out.name = o->name;
  out.frame = o->frame;
  out.totalFrames = o->timeline ? o->timeline->frameCount : 1;
  out.x = o->matrix.tx / 20.0;
  out.y = o->matrix.ty / 20.0;
  out.playing = o->playing;
  return true;
}

std::optional<ClipRef> MovieScripts::Child(const ClipRef& clip, std::string_view name,
                                           bool caseSensitive) {
  const DisplayObject* o = Find(clip);
  if (!o || name.empty()) return std::nullopt;
  for (const auto& [depth, child] : o->children) {
    if (!child->name.empty() && NamesEqual(child->name, name, caseSensitive)) {
      ClipRef ref{clip.path, child->serial};
      ref.path.push_back(depth);
      return ref;
    }
  }
  return std::nullopt;
}

std::optional<ClipRef> MovieScripts::Parent(const ClipRef& clip) {
  if (clip.path.empty() || !Find(clip)) return std::nullopt;
  ClipRef parent{clip.path, 0};
  parent.path.pop_back();
  const DisplayObject* o = display_.Find(parent.path);
  if (!o) return std::nullopt;
  parent.serial = o->serial;
  return parent;
}

void MovieScripts::Goto(const ClipRef& clip, size_t frame) {
  if (Find(clip)) display_.GotoClip(clip.path, frame);
}

void MovieScripts::SetPlaying(const ClipRef& clip, bool playing) {
  if (DisplayObject* o = Find(clip)) o->playing = playing;
}

std::optional<size_t> MovieScripts::FindLabel(const ClipRef& clip, std::string_view label) {
  const DisplayObject* o = Find(clip);
  if (!o || !o->timeline) return std::nullopt;
  return o->timeline->FindLabel(label);
}

std::string MovieScripts::CurrentLabel(const ClipRef& clip) {
  const DisplayObject* o = Find(clip);
  if (!o || !o->timeline || o->frame >= o->timeline->frameCount) return {};
  const std::vector<std::string>& labels = o->timeline->At(o->frame).labels;
  return labels.empty() ? std::string() : labels.front();
}

std::vector<std::span<const uint8_t>> MovieScripts::FrameScripts(const ClipRef& clip,
                                                                 size_t frame) {
  std::vector<std::span<const uint8_t>> out;
  const DisplayObject* o = Find(clip);
  if (!o || !o->timeline || frame >= o->timeline->frameCount) return out;
  for (const ActionBlock& block : o->timeline->At(frame).actions) {
    if (!block.init) out.push_back(block.bytes);
  }
  return out;
}

}  // namespace swf::avm1
