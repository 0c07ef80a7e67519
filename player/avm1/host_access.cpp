// What the host reaches in the movie by path: variables, clips and their frame scripts. Paths
// resolve as a script on the main timeline would resolve them, so that "/a:b", "_level0.a.b"
// and a plain "b" on the main timeline mean what a movie's own code means by them.
#include "player/avm1/executor.h"
#include "player/avm1/script_error.h"

namespace swf::avm1 {
namespace {

// A script on the main timeline with no code of its own, for its path lookups.
struct RootScope {
  Activation act;
  Executor exec;

  explicit RootScope(Interpreter& vm) : exec(vm, act, {}) {
    Object* root = vm.ClipObject(vm.Host() ? vm.Host()->Root() : ClipRef{});
    act.scope = ScopeChain{root};
    act.target = root;
    act.base = root;
    act.thisValue = root;
  }
};

// The clip a path names as `exec` reads it, if it names one.
std::optional<ClipRef> ClipAt(Executor& exec, std::string_view target) {
  const Object* o = exec.ResolveTarget(target).AsObject();
  if (!o || o->kind != ObjectKind::Clip) return std::nullopt;
  return o->clip;
}

}  // namespace

void Interpreter::EnterHost() {
  if (depth_ > 0) return;
  // A throw left waiting by a call from outside any action has no action to end with.
  deferredThrow_.reset();
  budget_ = budgetPerBlock_;
  stopped_ = false;
}

std::optional<std::string> Interpreter::GetPathVariable(std::string_view path) {
  if (path.empty()) return std::nullopt;
  EnterHost();
  try {
    RootScope root(*this);
    const Value v = root.exec.GetVariable(path);
    if (v.IsUndefined()) return std::nullopt;
    return ToString(v);
  } catch (const ScriptException&) {
    // A getter or toString that throws: the host sees nothing rather than a half answer.
    return std::nullopt;
  }
}

bool Interpreter::SetPathVariable(std::string_view path, std::string_view value) {
  if (path.empty()) return false;
  EnterHost();
  try {
    RootScope root(*this);
    if (!IsPathLike(path)) {
      root.exec.SetVariable(path, Value(std::string(value)));
      return true;
    }
    Value holder;
    std::string name;
    if (!root.exec.SplitPath(path, holder, name) || !holder.IsObject() || name.empty()) {
      return false;
    }
    SetMember(holder, name, Value(std::string(value)));
    return true;
  } catch (const ScriptException&) {
    return false;  // a setter that throws
  }
}

std::optional<ClipRef> Interpreter::ResolveClip(std::string_view target) {
  if (!host_) return std::nullopt;
  if (target.empty() || target == "/") return host_->Root();
  EnterHost();
  try {
    RootScope root(*this);
    return ClipAt(root.exec, target);
  } catch (const ScriptException&) {
    return std::nullopt;
  }
}

std::optional<ClipRef> Interpreter::ResolveClipFromScript(std::string_view target) {
  if (!running_) return ResolveClip(target);
  if (!host_ || target.empty()) return std::nullopt;
  Activation act = *running_;
  Executor exec(*this, act, {});
  try {
    return ClipAt(exec, target);
  } catch (const ScriptException&) {
    return std::nullopt;
  }
}

std::optional<Value> Interpreter::GetClipPropertyAt(const ClipRef& clip, int index) {
  Object* o = ClipObject(clip);
  if (!o || index < 0 || index >= static_cast<int>(std::size(Executor::kPropertyNames))) {
    return std::nullopt;
  }
  EnterHost();
  try {
    RootScope root(*this);
    return root.exec.GetProperty(Value(o), index);
  } catch (const ScriptException&) {
    return std::nullopt;
  }
}

bool Interpreter::SetClipPropertyAt(const ClipRef& clip, int index, const Value& value) {
  Object* o = ClipObject(clip);
  if (!o || index < 0 || index >= static_cast<int>(std::size(Executor::kPropertyNames))) {
    return false;
  }
  EnterHost();
  try {
    RootScope root(*this);
    root.exec.SetProperty(Value(o), index, value);
    return true;
  } catch (const ScriptException&) {
    return false;
  }
}

bool Interpreter::CallFrame(const ClipRef& clip, size_t frame) {
  ClipState state;
  if (!host_ || !host_->State(clip, state) || frame >= state.totalFrames) return false;
  for (std::span<const uint8_t> block : host_->FrameScripts(clip, frame)) {
    RunFrameScript(block, clip);
    if (stopped_) break;
  }
  return true;
}

}  // namespace swf::avm1
