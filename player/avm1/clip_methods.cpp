// MovieClip.prototype: what scripts call on a clip by name.
#include <cmath>

#include "player/avm1/interpreter.h"

namespace swf::avm1 {
namespace {

bool ClipOf(Interpreter& vm, const Value& self, ClipRef& out) {
  Object* o = self.AsObject();
  if (!vm.Host() || !o || o->kind != ObjectKind::Clip) return false;
  out = o->clip;
  return true;
}

void GotoArg(Interpreter& vm, ClipRef clip, Value frame, bool play) {
  ClipHost& host = *vm.Host();
  if (frame.IsString()) {
    // "/:5" or "_root:label": a frame of the main timeline, whichever clip is asked.
    const std::string& s = frame.AsString();
    const size_t colon = s.rfind(':');
    if (colon != std::string::npos) {
      const std::string target = s.substr(0, colon);
      if (target == "/" || NamesEqual(target, "_root", vm.CaseSensitive()) ||
          NamesEqual(target, "_level0", vm.CaseSensitive())) {
        clip = host.Root();
      }
      frame = s.substr(colon + 1);
    }
  }
  size_t index;
  const double n = frame.IsString() ? StringToNumber(frame.AsString(), 5) : vm.ToNumber(frame);
  if (!std::isnan(n)) {
    if (n < 1) return;
    index = ToIndex(n) - 1;
  } else if (std::optional<size_t> label = host.FindLabel(clip, vm.ToString(frame))) {
    index = *label;
  } else {
    return;
  }
  host.Goto(clip, index);
  host.SetPlaying(clip, play);
}

}  // namespace

void Interpreter::InstallClipMethods() {
  const bool cs = CaseSensitive();
  auto method = [&](const char* name, NativeFunction fn) {
    clipProto_->SetOwn(name, NewNative(std::move(fn)), cs, kDontEnum);
  };
  global_->SetOwn("MovieClip", NewNative({}), cs, kDontEnum);
  if (Object* ctor = global_->FindOwn("MovieClip", cs)->value.AsObject()) {
    ctor->SetOwn("prototype", clipProto_, cs, kDontEnum);
  }
  for (const bool play : {false, true}) {
    method(play ? "play" : "stop",
           [play](Interpreter& vm, const Value& self, std::span<const Value>) {
             ClipRef clip;
             if (ClipOf(vm, self, clip)) vm.Host()->SetPlaying(clip, play);
             return Value();
           });
    method(play ? "gotoAndPlay" : "gotoAndStop",
           [play](Interpreter& vm, const Value& self, std::span<const Value> args) {
             ClipRef clip;
             if (ClipOf(vm, self, clip) && !args.empty()) GotoArg(vm, clip, args[0], play);
             return Value();
           });
  }
  for (const int step : {1, -1}) {
    method(step > 0 ? "nextFrame" : "prevFrame",
           [step](Interpreter& vm, const Value& self, std::span<const Value>) {
             ClipRef clip;
             ClipState state;
             if (!ClipOf(vm, self, clip) || !vm.Host()->State(clip, state)) return Value();
             if (step > 0 && state.frame + 1 < state.totalFrames) {
               vm.Host()->Goto(clip, state.frame + 1);
             }
             if (step < 0 && state.frame > 0) vm.Host()->Goto(clip, state.frame - 1);
             vm.Host()->SetPlaying(clip, false);
             return Value();
           });
  }
}

}  // namespace swf::avm1
