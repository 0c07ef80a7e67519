// Sound: a projector plays no audio, but a movie still sets and reads each clip's volume, pan
// and channel mix through it. A Sound names its clip by path, found again at each call, so it
// follows a clip that is replaced by another of the same name and loses one that is renamed;
// without a clip it speaks for the whole movie (the main timeline).
#include <cmath>
#include <limits>

#include "player/avm1/library.h"

namespace swf::avm1 {
namespace {

enum SoundField : size_t {
  kVolume,
  kPan,
  kLeftToLeft,
  kLeftToRight,
  kRightToLeft,
  kRightToRight,
  kFields
};

// Whole numbers as the original stores them: out of range and NaN are the lowest integer.
double ToStoredInt(double v) {
  if (std::isnan(v) || v >= 2147483648.0 || v < -2147483648.0) return -2147483648.0;
  return std::trunc(v);
}

// The settings of the clip a Sound stands for, made on first use; null when it is gone.
std::vector<Value>* Settings(Interpreter& vm, const Value& self) {
  Object* sound = self.AsObject();
  if (!sound || sound->internal.size() != 1) return nullptr;
  const Value& target = sound->internal[0];
  Object* clip = nullptr;
  if (target.IsString()) {
    const std::optional<ClipRef> ref = vm.ResolveClip(target.AsString());
    if (ref) clip = vm.ClipObject(*ref);
  } else if (vm.Host()) {
    clip = vm.ClipObject(vm.Host()->Root());
  }
  if (!clip) return nullptr;
  if (clip->internal.size() != kFields) clip->internal = {100, 0, 100, 0, 0, 100};
  return &clip->internal;
}

Value Read(Interpreter& vm, const Value& self, SoundField f) {
  std::vector<Value>* s = Settings(vm, self);
  return s ? (*s)[f] : Value();
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
        o->internal.assign(1, path);
        return Value();
      });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  AddMethod(vm, proto, "getVolume", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    return Read(vm, self, kVolume);
  });
  AddMethod(vm, proto, "getPan", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    return Read(vm, self, kPan);
  });
  AddMethod(vm, proto, "setVolume",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              if (std::vector<Value>* s = Settings(vm, self))
                (*s)[kVolume] = ToStoredInt(NumberArg(vm, a, 0));
              return Value();
            });
  // Panning turns one side down; the channels do not cross.
  AddMethod(vm, proto, "setPan", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    std::vector<Value>* s = Settings(vm, self);
    if (!s) return Value();
    const double pan = ToStoredInt(NumberArg(vm, a, 0));
    *s = {(*s)[kVolume], pan, pan > 0 ? 100 - pan : 100, 0, 0, pan < 0 ? 100 + pan : 100};
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
  AddMethod(vm, proto, "setTransform",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              std::vector<Value>* s = Settings(vm, self);
              Object* in = Arg(a, 0).AsObject();
              if (!s || !in) return Value();
              for (size_t i = 0; i < 4; ++i) {
                if (in->FindOwn(kMix[i], vm.CaseSensitive())) {
                  (*s)[kLeftToLeft + i] = ToStoredInt(vm.ToNumber(vm.GetMember(in, kMix[i])));
                }
              }
              return Value();
            });
  // Nothing plays, so nothing has a length or a place to report.
  for (const char* name : {"getDuration", "getPosition", "getBytesLoaded", "getBytesTotal"}) {
    AddMethod(vm, proto, name,
              [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
  for (const char* name : {"duration", "position"}) {
    AddAccessor(vm, proto, name,
                [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
  for (const char* name : {"attachSound", "start", "stop", "loadSound"}) {
    AddMethod(vm, proto, name,
              [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
}

}  // namespace swf::avm1
