#include "player/avm1/movie_scripts.h"

#include <algorithm>

namespace swf::avm1 {
namespace {

// The method a clip event also calls, when the clip (or its class) defines one.
const char* EventMethod(uint32_t event) {
  switch (event) {
    case kEventLoad:
      return "onLoad";
    case kEventEnterFrame:
      return "onEnterFrame";
    case kEventUnload:
      return "onUnload";
    case kEventMouseMove:
      return "onMouseMove";
    case kEventMouseDown:
      return "onMouseDown";
    case kEventMouseUp:
      return "onMouseUp";
    case kEventKeyDown:
      return "onKeyDown";
    case kEventKeyUp:
      return "onKeyUp";
    case kEventData:
      return "onData";
    case kEventPress:
      return "onPress";
    case kEventRelease:
      return "onRelease";
    case kEventReleaseOutside:
      return "onReleaseOutside";
    case kEventRollOver:
      return "onRollOver";
    case kEventRollOut:
      return "onRollOut";
    case kEventDragOver:
      return "onDragOver";
    case kEventDragOut:
      return "onDragOut";
    default:
      return nullptr;
  }
}

}  // namespace

MovieScripts::MovieScripts(const Movie& movie, DisplayList& display)
    : display_(display),
      vm_(movie.header.version, this),
      // A movie that asks for no frame rate at all still gets a clock that moves.
      frameMilliseconds_(1000.0 / std::max(movie.header.frameRate.Value(), 1.0)) {
  vm_.SetMaxCallDepth(movie.maxRecursion);
  if (movie.useNetwork) {
    // A local movie gets either the network or local files, never both.
    const bool cs = vm_.CaseSensitive();
    Object* system = vm_.GetMember(vm_.Global(), "System").AsObject();
    Object* security = system ? vm_.GetMember(system, "security").AsObject() : nullptr;
    if (Property* p = security ? security->FindOwn("sandboxType", cs) : nullptr) {
      p->value = Value("localWithNetwork");
    }
  }
}

void MovieScripts::FramePassed() {
  vm_.AdvanceClock(frameMilliseconds_);
  vm_.CollectIfDue();
}

void MovieScripts::Run(const FrameActions& actions) {
  if (actions.event) {
    RunEvent(actions);
    return;
  }
  if (!actions.block) return;
  const DisplayObject* clip = display_.Find(actions.clip);
  if (!clip || clip->removed) return;  // removed by an earlier script of the same frame
  if (actions.block->init) {
    // Initialisation actions run on the main timeline, whichever timeline carries them.
    vm_.RunFrameScript(actions.block->bytes, RootOf(ClipRef{actions.clip}));
    return;
  }
  vm_.RunFrameScript(actions.block->bytes, ClipRef{actions.clip});
}

void MovieScripts::RunEvent(const FrameActions& actions) {
  const ClipRef clip{actions.clip};
  // An unloading clip is gone from the display list already; its handlers still run on it.
  const DisplayObject* o = display_.Find(actions.clip);
  if (actions.event != kEventUnload && (!o || o->removed)) return;
  struct Unloading {
    Interpreter* vm;
    ~Unloading() {
      if (vm) vm->EndUnload();
    }
  } unloading{actions.event == kEventUnload ? &vm_ : nullptr};
  if (unloading.vm) {
    vm_.BeginUnload();
    vm_.ClipLeaving(clip);
  }
  auto handlers = [&] {
    if (!actions.handlers) return;
    for (const ClipAction& handler : *actions.handlers) {
      if (!(handler.events & actions.event)) continue;
      if (actions.event == kEventKeyPress && handler.keyCode != actions.key) continue;
      vm_.RunFrameScript(handler.bytes, clip);
    }
  };
  // A clip's on(construct) sees its class's prototype but runs before the constructor.
  if (actions.event == kEventConstruct) {
    vm_.ConstructClip(clip, handlers);
  } else {
    handlers();
  }
  if (const char* method = EventMethod(actions.event)) vm_.CallClipMethod(clip, method);
}

bool MovieScripts::WatchesUnload(const DisplayObject& object) {
  if (!object.IsClip()) return false;
  Object* self = vm_.ClipObject(ClipRef{object.id});
  return self && vm_.HasProperty(self, "onUnload");
}

ClipRef MovieScripts::Root() { return ClipRef{display_.Root().id}; }

ClipRef MovieScripts::RootOf(const ClipRef& clip) {
  DisplayObject* o = Find(clip);
  return o ? ClipRef{display_.LevelOf(*o).id} : Root();
}

int32_t MovieScripts::LevelOf(const ClipRef& clip) {
  DisplayObject* o = Find(clip);
  if (!o) return 0;
  const DisplayObject& level = display_.LevelOf(*o);
  return &level == &display_.Root() ? 0 : level.depth;
}

std::optional<ClipRef> MovieScripts::Level(int32_t level) {
  const DisplayObject* o = display_.Level(level);
  if (!o) return std::nullopt;
  return ClipRef{o->id};
}

bool MovieScripts::State(const ClipRef& clip, ClipState& out) {
  const DisplayObject* o = Find(clip);
  if (!o) return false;
  out.name = o->name;
  out.frame = o->frame;
  out.totalFrames = o->TotalFrames();
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
    if (child->name.empty() || !NamesEqual(child->name, name, caseSensitive)) continue;
    if (!child->HasScriptObject() && !child->field) return clip;
    return ClipRef{child->id};
  }
  return std::nullopt;
}

std::optional<ClipRef> MovieScripts::Parent(const ClipRef& clip) {
  const DisplayObject* o = Find(clip);
  if (!o || !o->parent) return std::nullopt;
  return ClipRef{o->parent->id};
}

void MovieScripts::Goto(const ClipRef& clip, size_t frame) {
  display_.GotoClip(clip.serial, frame);
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
