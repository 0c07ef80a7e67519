// Sound: a projector plays no audio, but a movie still sets and reads each clip's volume, pan
// and channel mix through it, and attaches, starts and stops library sounds whose length paces
// it (a movie that waits for onSoundComplete must still go on). A sound "plays" on the movie's
// clock. A Sound names its clip by path, found again at each call as the calling script reads
// it, so it follows a clip that is replaced by another of the same name and loses one that is
// renamed; without a clip it speaks for the whole movie (the main timeline).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "player/avm1/library.h"
#include "player/display_list.h"

namespace swf::avm1 {
namespace {

// A clip's settings, kept in its internal slots (made on first use).
enum SoundField : size_t {
  kVolume,
  kLeftToLeft,
  kLeftToRight,
  kRightToLeft,
  kRightToRight,
  kFields
};

// A Sound object's own state, in its internal slots.
enum SoundState : size_t {
  kTarget,     // the clip's path, or undefined for the main timeline
  kDuration,   // the attached sound's length in ms; undefined when none is attached
  kStartedAt,  // the clock when it started; undefined when not playing
  kOffset,     // where in the sound it started, ms
  kLoops,
  kPosition,   // where it stopped, ms
  kStates
};

// setVolume and setPan take whole numbers as the original converts them: out of range and NaN
// become the lowest integer, and a missing argument is 0.
double ToStoredInt(Interpreter& vm, std::span<const Value> a) {
  if (a.empty()) return 0;
  const double v = vm.ToNumber(a[0]);
  if (std::isnan(v) || v >= 2147483648.0 || v < -2147483648.0) return -2147483648.0;
  return std::trunc(v);
}

DisplayObject* TargetClip(Interpreter& vm, const Value& self) {
  Object* sound = self.AsObject();
  if (!sound || sound->internal.size() != kStates || !vm.Host()) return nullptr;
  const Value& target = sound->internal[kTarget];
  std::optional<ClipRef> ref;
  if (!target.IsString()) {
    ref = vm.Host()->Root();
  } else if (target.AsString().empty()) {
    ref = vm.ResolveClip("");
  } else {
    ref = vm.ResolveClipFromScript(target.AsString());
  }
  return ref ? vm.Host()->Find(*ref) : nullptr;
}

// The settings of the clip a Sound stands for; null when it is gone.
std::vector<Value>* Settings(Interpreter& vm, const Value& self) {
  DisplayObject* o = TargetClip(vm, self);
  Object* clip = o ? vm.ClipObject(ClipRef{o->id}) : nullptr;
  if (!clip) return nullptr;
  if (clip->internal.size() != kFields) clip->internal = {100, 100, 0, 0, 100};
  return &clip->internal;
}

std::vector<Value>* State(const Value& self) {
  Object* sound = self.AsObject();
  return sound && sound->internal.size() == kStates ? &sound->internal : nullptr;
}

// How long a start plays: each loop runs from the offset to the end.
double PlayLength(const std::vector<Value>& s) {
  const double once = std::max(0.0, s[kDuration].AsNumber() - s[kOffset].AsNumber());
  return once * s[kLoops].AsNumber();
}

Value Position(Interpreter& vm, const Value& self) {
  std::vector<Value>* s = State(self);
  if (!s || !(*s)[kDuration].IsNumber()) return Value();
  if (!(*s)[kStartedAt].IsNumber()) return (*s)[kPosition];
  const double duration = (*s)[kDuration].AsNumber();
  const double offset = (*s)[kOffset].AsNumber();
  const double elapsed = vm.MovieClock() - (*s)[kStartedAt].AsNumber();
  const double once = duration - offset;
  return Value(std::round(once > 0 ? offset + std::fmod(elapsed, once) : duration));
}

}  // namespace

void InstallSound(Interpreter& vm) {
  Object* ctor = DefineClass(
      vm, vm.Global(), "Sound", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        // A class made from Sound may be a clip's (Object.registerClass), so any object but
        // _global may become one.
        Object* o = self.AsObject();
        if (!o || o == vm.Global()) return Value();
        const Value target = Arg(a, 0);
        Value path;
        if (Object* t = target.AsObject(); t && t->kind == ObjectKind::Clip) {
          path = vm.ClipDotPath(t->clip);
        } else if (!target.IsUndefined() && !target.IsNull()) {
          // Anything else names its clip by what it prints as.
          const std::string text = vm.ToString(target);
          if (!target.IsObject()) path = text;
        }
        o->internal.assign(kStates, Value());
        o->internal[kTarget] = path;
        return self;
      });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  // The sounds playing, in the constructor's own slots: a playing sound is kept alive by its
  // playing, and tells its end even when the movie dropped it.
  vm.AddRootSource([ctor](const std::function<void(Object*)>& keep) { keep(ctor); });
  vm.OnClockAdvanced([&vm, ctor] {
    std::vector<Object*> ended;
    std::erase_if(ctor->internal, [&](const Value& v) {
      Object* sound = v.AsObject();
      std::vector<Value>* s = State(v);
      if (!s || !(*s)[kStartedAt].IsNumber()) return true;
      if (vm.MovieClock() - (*s)[kStartedAt].AsNumber() < PlayLength(*s)) return false;
      (*s)[kStartedAt] = Value();
      (*s)[kPosition] = (*s)[kDuration];
      ended.push_back(sound);
      return true;
    });
    for (Object* sound : ended) {
      vm.CallFromOutside(vm.GetMember(sound, "onSoundComplete"), Value(sound), {});
    }
  });

  AddMethod(vm, proto, "getVolume", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    std::vector<Value>* s = Settings(vm, self);
    return s ? (*s)[kVolume] : Value();
  });
  AddMethod(vm, proto, "setVolume",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              if (std::vector<Value>* s = Settings(vm, self)) (*s)[kVolume] = ToStoredInt(vm, a);
              return Value();
            });
  // The pan is read back from the mix: how far the left side is turned from full, or with the
  // left side at full, the right side.
  AddMethod(vm, proto, "getPan", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    std::vector<Value>* s = Settings(vm, self);
    if (!s) return Value();
    const int64_t left = static_cast<int64_t>((*s)[kLeftToLeft].AsNumber());
    const int64_t right = static_cast<int64_t>((*s)[kRightToRight].AsNumber());
    const int64_t pan = left != 100 ? 100 - std::llabs(left) : std::llabs(right) - 100;
    return Value(static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(pan))));
  });
  // Panning turns one side down; the channels do not cross.
  AddMethod(vm, proto, "setPan", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    std::vector<Value>* s = Settings(vm, self);
    if (!s) return Value();
    const double pan = ToStoredInt(vm, a);
    *s = {(*s)[kVolume], pan > 0 ? 100 - pan : 100, 0, 0, pan < 0 ? 100 + pan : 100};
    return Value();
  });
  static constexpr const char* kMix[] = {"ll", "lr", "rl", "rr"};
  AddMethod(vm, proto, "getTransform",
            [](Interpreter& vm, const Value& self, std::span<const Value>) {
              std::vector<Value>* s = Settings(vm, self);
              Object* out = s ? vm.NewPlainObject() : nullptr;
              if (!out) return Value();
              for (size_t i = 0; i < 4; ++i) vm.SetMember(out, kMix[i], (*s)[kLeftToLeft + i]);
              return Value(out);
            });
  // The mix takes whole numbers wrapped into 32 bits, unlike volume and pan.
  AddMethod(vm, proto, "setTransform",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              std::vector<Value>* s = Settings(vm, self);
              Object* in = Arg(a, 0).AsObject();
              if (!s || !in) return Value();
              for (size_t i = 0; i < 4; ++i) {
                if (in->FindOwn(kMix[i], vm.CaseSensitive())) {
                  const double v = vm.ToNumber(vm.GetMember(in, kMix[i]));
                  (*s)[kLeftToLeft + i] = static_cast<double>(static_cast<int32_t>(ToUint32(v)));
                }
              }
              return Value();
            });

  // Attaching needs the Sound's clip to be there: the library is that clip's movie's.
  AddMethod(vm, proto, "attachSound",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              std::vector<Value>* s = State(self);
              DisplayObject* clip = TargetClip(vm, self);
              DisplayList* display = vm.Host() ? vm.Host()->Display() : nullptr;
              if (!s || !clip || !display || a.empty()) return Value();
              const Movie* movie = display->LibraryOf(*clip);
              const std::optional<uint16_t> id = display->FindExport(*clip, vm.ToString(a[0]));
              if (!movie || !id) return Value();
              const auto sound = movie->sounds.find(*id);
              if (sound == movie->sounds.end()) return Value();
              (*s)[kDuration] = std::round(sound->second.DurationMs());
              (*s)[kStartedAt] = Value();
              (*s)[kPosition] = 0;
              return Value();
            });
  AddMethod(vm, proto, "start",
            [ctor](Interpreter& vm, const Value& self, std::span<const Value> a) {
              std::vector<Value>* s = State(self);
              if (!s || !(*s)[kDuration].IsNumber() || !TargetClip(vm, self)) return Value();
              const double duration = (*s)[kDuration].AsNumber();
              const double offset = a.empty() ? 0 : vm.ToNumber(a[0]) * 1000;
              const double loops = a.size() < 2 ? 1 : std::trunc(vm.ToNumber(a[1]));
              (*s)[kOffset] = std::isfinite(offset) ? std::clamp(offset, 0.0, duration) : 0.0;
              // Loops are bounded so that the end stays a finite time away.
              (*s)[kLoops] = loops >= 1 ? std::min(loops, 65535.0) : 1.0;
              (*s)[kStartedAt] = vm.MovieClock();
              if (std::none_of(ctor->internal.begin(), ctor->internal.end(),
                               [&](const Value& v) { return v.AsObject() == self.AsObject(); })) {
                ctor->internal.push_back(self);
              }
              return Value();
            });
  AddMethod(vm, proto, "stop", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    std::vector<Value>* s = State(self);
    if (!s || !(*s)[kStartedAt].IsNumber()) return Value();
    (*s)[kPosition] = Position(vm, self);
    (*s)[kStartedAt] = Value();
    return Value();
  });
  auto duration = [](Interpreter&, const Value& self, std::span<const Value>) {
    std::vector<Value>* s = State(self);
    return s ? (*s)[kDuration] : Value();
  };
  auto position = [](Interpreter& vm, const Value& self, std::span<const Value>) {
    return Position(vm, self);
  };
  AddMethod(vm, proto, "getDuration", duration);
  AddMethod(vm, proto, "getPosition", position);
  AddAccessor(vm, proto, "duration", duration);
  AddAccessor(vm, proto, "position", position);
  // Nothing is loaded from outside.
  for (const char* name : {"getBytesLoaded", "getBytesTotal", "loadSound"}) {
    AddMethod(vm, proto, name,
              [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
}

}  // namespace swf::avm1
