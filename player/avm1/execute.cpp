// The bytecode loop and calls into bytecode functions.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "player/avm1/executor.h"
#include "player/avm1/script_error.h"

namespace swf::avm1 {

bool Executor::Run() {
  std::shared_ptr<DecodedCode> own;
  if (!decoded) {
    own = std::make_shared<DecodedCode>(
        std::make_shared<const std::vector<uint8_t>>(code.begin(), code.end()));
    decoded = own.get();
    bytes = own->Bytes();
    base = 0;
  }
  // A record must end inside this code, which may be a function body within a larger block.
  const size_t end = base + code.size();
  // Neither the range this loop runs in nor the code changes while it runs.
  const size_t first = rangeStart, limit = std::min(rangeEnd, code.size());
  const DecodedAction* d = nullptr;
  while (!returned && !vm.stopped_) {
    if (pc < first || pc >= limit) return true;
    if (!withs.empty()) {
      while (!withs.empty() && pc >= withs.back().end) withs.pop_back();
    }
    // Going on in order, or taking a jump already taken once, needs no lookup.
    const size_t at = base + pc;
    if (d && at == d->action.next && d->following) {
      d = d->following;
    } else if (d && at == static_cast<uint64_t>(d->target) && d->jumpTo) {
      d = d->jumpTo;
    } else {
      d = decoded->After(d, at);
    }
    if (!d || d->action.next > end || d->action.code == 0) return true;
    if ((kActionTraits[d->action.code] & kQuick) && withs.empty() &&
        RunQuick(d, end, first, limit)) {
      continue;
    }
    if (vm.budget_ == 0) {
      vm.stopped_ = true;
      return false;
    }
    --vm.budget_;
    pc = d->action.next - base;
    const uint8_t c = d->action.code;
    const uint8_t traits = kActionTraits[c];
    // A method called on nothing calls nothing.
    const bool calls = (traits & kCallsOut) && (!(traits & kOnObject) ||
                                               (stack.size() >= 2 &&
                                                stack[stack.size() - 2].IsObject()));
    const bool stepped = Step(*d);
    if (vm.deferredThrow_ && vm.deferredDepth_ >= vm.depth_) [[unlikely]] {
      Value thrown = std::move(*vm.deferredThrow_);
      vm.deferredThrow_.reset();
      throw ScriptException{std::move(thrown)};
    }
    if (!stepped) return false;
    if (!(traits & (kCallsOut | kMovesClips))) continue;
    if (calls && BaseClipGone()) return true;
    if (calls || (traits & kMovesClips)) KeepTarget();
  }
  return true;
}

void Executor::KeepTarget() {
  // Code whose target has left the stage acts on its own clip again, and on the main timeline
  // once that has gone too.
  if (!act.target || !vm.ClipGone(act.target)) return;
  // A script told to act on its own removed clip again stays there (see SetTarget).
  if (keptOnRemovedBase && act.target == act.base) return;
  act.target = act.base && !vm.ClipGone(act.base) ? act.base : Root();
}

bool Executor::BaseClipGone() {
  // Code whose clip has left the stage stops at its next call, as the original does.
  if (!act.base || act.base->kind != ObjectKind::Clip || !vm.Host()) return false;
  return vm.ClipGone(act.base);
}

bool Executor::RunTry(const Action& a) {
  PayloadReader r(a.payload);
  uint8_t flags;
  uint16_t trySize, catchSize, finallySize;
  TryBlock t{};
  if (!r.U8(flags) || !r.U16(trySize) || !r.U16(catchSize) || !r.U16(finallySize)) return false;
  t.catchInRegister = flags & 4;
  if (t.catchInRegister ? !r.U8(t.catchRegister) : !r.String(t.catchName)) return false;
  t.hasCatch = flags & 1;
  t.hasFinally = flags & 2;
  t.tryEnd = a.next + trySize;
  t.catchEnd = t.tryEnd + catchSize;
  t.finallyEnd = t.catchEnd + finallySize;
  if (t.finallyEnd > code.size()) return false;
  // The try body, the catch body and the finally body run as parts of this same code. A
  // body that jumps out of its range sends the script on from there once finally has run.
  size_t exitPc = t.finallyEnd;
  auto runRange = [&](size_t from, size_t to, bool keepExit) {
    Executor inner(vm, act, code, &stack);
    inner.decoded = decoded;
    inner.bytes = bytes;
    inner.base = base;
    inner.pc = from;
    inner.rangeStart = from;
    inner.rangeEnd = to;
    inner.withs = withs;
    const bool ok = inner.Run();
    if (inner.returned) {
      returned = true;
      result = inner.result;
    }
    if (keepExit && (inner.pc < from || inner.pc > to)) exitPc = inner.pc;
    return ok;
  };
  bool ok = true;
  const size_t depth = stack.size();
  try {
    ok = runRange(a.next, t.tryEnd, true);
  } catch (const ScriptException& e) {
    // What the try body pushed before throwing is dropped; what it popped stays popped.
    if (stack.size() > depth) stack.resize(depth);
    if (!t.hasCatch) {
      if (t.hasFinally && !returned) runRange(t.catchEnd, t.finallyEnd, false);
      throw;
    }
    if (t.catchInRegister) {
      if (Value* v = act.Register(t.catchRegister)) *v = e.value;
    } else {
      SetVariable(t.catchName, e.value);
    }
    try {
      ok = runRange(t.tryEnd, t.catchEnd, true);
    } catch (const ScriptException&) {
      if (t.hasFinally) runRange(t.catchEnd, t.finallyEnd, false);
      throw;
    }
  }
  if (ok && t.hasFinally) {
    const bool wasReturned = returned;
    returned = false;
    ok = runRange(t.catchEnd, t.finallyEnd, true);
    returned = returned || wasReturned;
  }
  pc = exitPc;
  return ok;
}

}  // namespace swf::avm1

namespace swf::avm1 {

bool Executor::FrameLoaded(size_t frame) {
  ClipRef clip;
  ClipState state;
  if (!TargetClip(clip) || !vm.Host()->State(clip, state)) return true;
  // A movie plays fully loaded, and then the original counts every frame a timeline could
  // have as there.
  constexpr size_t kLastPossibleFrame = 16000;
  return frame <= kLastPossibleFrame;
}

void Executor::SkipActions(size_t count) {
  for (size_t i = 0; i < count; ++i) {
    std::optional<Action> a = ReadAction(code, pc);
    if (!a) return;
    pc = a->next;
  }
}

void Executor::CallFrame(const Value& frame) {
  ClipRef clip;
  if (!TargetClip(clip)) return;
  std::string s = vm.ToString(frame);
  if (!SplitFrameTarget(s, clip)) return;
  size_t index;
  const double n = StringToNumber(s, 5);
  if (!std::isnan(n)) {
    // The frame number is a 32-bit integer: 2^32 + 3 calls frame 3.
    const int32_t number = ToInt32(n);
    if (number < 1) return;
    index = static_cast<size_t>(number) - 1;
  } else if (std::optional<size_t> label = vm.Host()->FindLabel(clip, s)) {
    index = *label;
  } else {
    return;
  }
  for (std::span<const uint8_t> block : vm.Host()->FrameScripts(clip, index)) {
    vm.RunNested(block, clip);
    if (vm.stopped_) return;
  }
}

Value Executor::Extract(const std::string& s, double index, double count, bool multibyte) {
  // From SWF 6 on the single-byte action counts Unicode units too.
  const std::vector<std::string> chars = Characters(s, (multibyte || version >= 6) && version >= 6);
  // Indices count from 1 as 32-bit integers; a start before the first character starts at it.
  double start = static_cast<double>(ToInt32(index)) - 1;
  if (start < 0) start = 0;
  if (start >= static_cast<double>(chars.size())) return std::string();
  double n = static_cast<double>(ToInt32(count));
  const double left = static_cast<double>(chars.size()) - start;
  if (n < 0 || n > left) n = left;
  std::string out;
  for (size_t i = static_cast<size_t>(start), e = i + static_cast<size_t>(n); i < e; ++i) {
    out += chars[i];
  }
  return PairSurrogates(out);
}

Value Interpreter::Execute(const FunctionCode& code, Activation& act, std::vector<Value>* stack) {
  // A call's own stack is one an earlier call left behind, so that a call costs no memory
  // of its own once calls have run.
  std::vector<Value> own;
  struct GiveBack {
    std::vector<std::vector<Value>>& spare;
    std::vector<Value>& own;
    bool used;
    ~GiveBack() {
      constexpr size_t kMaxKept = 4096;
      if (!used || own.capacity() > kMaxKept) return;
      own.clear();
      spare.push_back(std::move(own));
    }
  } giveBack{spareStacks_, own, stack == nullptr};
  if (!stack) {
    if (!spareStacks_.empty()) {
      own = std::move(spareStacks_.back());
      spareStacks_.pop_back();
    }
    stack = &own;
  }
  const std::span<const uint8_t> all(*code.bytes);
  Executor e(*this, act, all.subspan(code.start, code.size), stack);
  // The function holds its bytes for as long as it runs; the executor need not count them too.
  e.base = code.start;
  e.decoded = code.decoded.get();
  // Built-ins that take a clip path (a Sound's target) read it from the running script's clip.
  struct Running {
    Activation*& slot;
    Activation* outer;
    ~Running() { slot = outer; }
  } running{running_, running_};
  running_ = &act;
  e.Run();
  return e.returned ? e.result : Value();
}

Value Interpreter::CallCode(Object* function, const Value& thisValue, std::span<const Value> args) {
  const FunctionCode& code = *function->code;
  const bool cs = CaseSensitive();
  Activation act;
  // A call's registers, like its stack, live in memory an earlier call has given back.
  if (!spareStacks_.empty()) {
    act.registers = std::move(spareStacks_.back());
    spareStacks_.pop_back();
  }
  struct GiveBackRegisters {
    std::vector<std::vector<Value>>& spare;
    std::vector<Value>& registers;
    ~GiveBackRegisters() {
      constexpr size_t kMaxKept = 4096;
      if (registers.capacity() == 0 || registers.capacity() > kMaxKept) return;
      registers.clear();
      spare.push_back(std::move(registers));
    }
  } giveBackRegisters{spareStacks_, act.registers};
  act.function = true;
  act.scope = function->scope;
  act.target = function->target;
  act.base = function->target;
  // SWF 5 functions have no closure: called as a method of a clip, one runs on that clip, its
  // timeline variables and _target included, wherever it was defined.
  if (Object* clip = thisValue.AsObject();
      version_ < 6 && clip && clip->kind == ObjectKind::Clip && act.scope.size() == 1) {
    act.scope[0] = act.target = act.base = clip;
  }
  // A function whose clip has left the stage runs on the clip it is called on, or else on the
  // main timeline.
  if (Object* defined = act.target; defined && ClipGone(defined)) {
    Object* now = Resolved(defined);
    Object* self = thisValue.AsObject();
    if (!now && self && self->kind == ObjectKind::Clip && !ClipGone(self)) now = self;
    if (!now) now = host_ ? ClipObject(host_->Root()) : standInRoot_;
    act.target = act.base = now;
  }
  // A method called on something that is not an object sees the clip it was defined on.
  act.thisValue = thisValue.IsObject() ? thisValue : Value(function->target);
  act.constants = code.constants ? &code.constants : &noConstants_;
  // A DefineFunction2 function that neither keeps `arguments` or `super` in a register nor
  // lets its code name them never sees them: they are not made at all.
  const uint8_t flags = code.function2 ? static_cast<uint8_t>(code.flags & 0xFF) : 0;
  const bool wantsArguments = !code.function2 || (flags & 0x04) || !(flags & 0x08);
  const bool wantsSuper = !code.function2 || (flags & 0x10) || !(flags & 0x20);
  Object* arguments =
      wantsArguments ? NewArray(std::vector<Value>(args.begin(), args.end())) : nullptr;
  if (arguments) {
    arguments->SetOwn("callee", function, cs, kDontEnum);
    arguments->SetOwn("caller", callers_.empty() ? Value(Null{}) : Value(callers_.back()), cs,
                      kDontEnum);
  }
  const Value super = wantsSuper ? MakeSuper(function, act.thisValue) : Value();
  // Locals by name need the object now; a function keeping everything in registers may never
  // make it.
  bool byName = !code.function2 || ((code.flags & 0x0C) == 0) || ((code.flags & 0x30) == 0);
  for (size_t i = 0; i < code.params.size() && !byName; ++i) byName = code.paramRegisters[i] == 0;
  if (byName) {
    act.locals = NewObject(nullptr);
    if (!act.locals) return {};
    act.scope.push_back(act.locals);
  }
  if (code.function2) {
    act.registers.resize(code.registerCount);
    act.outerRegisters = &globalRegisters_;
    const uint8_t high = static_cast<uint8_t>(code.flags & 0xFF);
    const bool global = code.flags & 0x100;
    size_t reg = 1;
    auto preload = [&](bool wanted, Value v) {
      if (wanted && reg < act.registers.size()) act.registers[reg++] = std::move(v);
    };
    act.thisByName = !(high & 0x03);
    preload(high & 0x01, act.thisValue);
    preload(high & 0x04, Value(arguments));
    preload(high & 0x10, super);
    preload(high & 0x40, Host() ? Value(ClipObject(Host()->Root())) : Value(standInRoot_));
    // A timeline without a parent takes no register for it: the next preload moves up.
    const Value parent = (high & 0x80) && act.target ? GetMember(act.target, "_parent") : Value();
    preload((high & 0x80) && !parent.IsUndefined(), parent);
    preload(global, Value(global_));
    if (!(high & 0x08) && !(high & 0x04)) act.locals->SetOwn("arguments", arguments, cs);
    if (!(high & 0x20) && !(high & 0x10)) act.locals->SetOwn("super", super, cs);
  } else {
    act.registers.resize(4);
    act.locals->SetOwn("arguments", arguments, cs);
    act.locals->SetOwn("super", super, cs);
  }
  for (size_t i = 0; i < code.params.size(); ++i) {
    Value arg = i < args.size() ? args[i] : Value();
    const uint8_t reg = code.paramRegisters[i];
    if (code.function2 && reg != 0) {
      if (reg < act.registers.size()) act.registers[reg] = std::move(arg);
    } else {
      act.locals->SetOwn(code.params[i], std::move(arg), cs);
    }
  }
  callers_.push_back(function);
  constructing_.push_back(std::exchange(nextCallConstructs_, false));
  // Functions came with SWF 5: inside one, even a SWF 4 movie has booleans and a true divide.
  struct Restore {
    std::vector<Object*>& callers;
    std::vector<bool>& constructing;
    int& version;
    int saved;
    ~Restore() {
      callers.pop_back();
      constructing.pop_back();
      version = saved;
    }
  } restore{callers_, constructing_, version_, version_};
  if (version_ < 5) version_ = 5;
  return Execute(code, act);
}

Value Interpreter::MakeSuper(Object* function, const Value& thisValue) {
  Object* self = thisValue.AsObject();
  if (!self) return {};
  // A constructor belongs to the prototype it makes: `super()` there calls the constructor
  // that prototype names, and super's methods start one step above it. `super()` finds its
  // constructor that many steps up `this`'s chain when it is called, not before: the function
  // may change the chain first.
  const Property* own = function->FindOwn("prototype", CaseSensitive());
  Object* methodsFrom = nullptr;
  int constructorSteps = 0;
  int hops = 1;
  for (Object* at = self->proto; own && at && !constructorSteps && hops < 256; at = at->proto, ++hops) {
    if (own->value.AsObject() == at) {
      constructorSteps = hops;
      methodsFrom = at->proto;
    }
  }
  // A method belongs to the object holding it: its methods start above it, `super()` at it
  // (a prototype may name a constructor for its methods), though never at `this` itself.
  hops = 0;
  for (Object* at = self; at && !constructorSteps && hops < 256; at = at->proto, ++hops) {
    for (const Property& p : at->props) {
      // A prototype names its class's superclass as __constructor__; that is not a method.
      if (p.value.AsObject() == function && !NamesEqual(p.name, "__constructor__", false) &&
          !NamesEqual(p.name, "constructor", false)) {
        methodsFrom = at->proto;
        constructorSteps = std::max(hops, 1);
      }
    }
  }
  if (!constructorSteps) {
    methodsFrom = self->proto;
    constructorSteps = 1;
  }
  // A clip standing in as a prototype lends `super` nothing.
  auto clip = [](const Object* o) { return o && o->kind == ObjectKind::Clip; };
  if (clip(methodsFrom)) methodsFrom = nullptr;
  Object* super = NewObject(methodsFrom);
  if (!super) return {};
  super->kind = ObjectKind::Super;
  super->boundThis = self;  // keeps what the call below starts from alive as long as `super` is
  // However it is called, `super()` runs on the `this` it was made for; it never asks
  // __resolve for the constructor.
  super->native = [constructorSteps, self, clip](Interpreter& vm, const Value&,
                                                  std::span<const Value> args) {
    Object* from = self;
    for (int i = 0; i < constructorSteps && from; ++i) from = from->proto;
    if (!from || clip(from)) return Value();
    return vm.Call(vm.GetMember(from, "__constructor__", false), self, args);
  };
  return super;
}

void Interpreter::RunNested(std::span<const uint8_t> code, const ClipRef& clip) {
  Object* self = ClipObject(clip);
  if (!self) return;
  FunctionCode block;
  block.decoded = DecodedBlock(code);
  block.bytes = block.decoded->Bytes();
  block.size = code.size();
  Activation act;
  act.scope = ScopeChain{self};
  act.target = self;
  act.base = self;
  act.thisValue = self;
  act.outerRegisters = &globalRegisters_;
  act.constants = &noConstants_;
  if (!EnterCall()) return;
  // Each block starts with four empty registers of its own, which the functions it calls
  // reach past their own.
  std::vector<Value> saved(4);
  std::swap(saved, globalRegisters_);
  struct Restore {
    Interpreter& vm;
    std::vector<Value>& saved;
    ~Restore() {
      std::swap(saved, vm.globalRegisters_);
      --vm.depth_;
    }
  } restore{*this, saved};
  ++depth_;
  Execute(block, act, &stack_);
}

std::shared_ptr<DecodedCode> Interpreter::DecodedBlock(std::span<const uint8_t> code) {
  // The same script runs again each time its frame comes round, from the same bytes of the
  // movie; those are compared, not trusted, since a movie unloaded may leave its address to
  // another.
  auto it = blocks_.find(code.data());
  if (it != blocks_.end()) {
    const std::vector<uint8_t>& cached = *it->second->Bytes();
    if (std::equal(cached.begin(), cached.end(), code.begin(), code.end())) return it->second;
  }
  // Movies load and unload: the cache starts over rather than growing with them.
  constexpr size_t kMaxCachedBytes = 4 << 20;
  if (blockBytes_ + code.size() > kMaxCachedBytes) {
    blocks_.clear();
    blockBytes_ = 0;
  }
  auto decoded = std::make_shared<DecodedCode>(
      std::make_shared<const std::vector<uint8_t>>(code.begin(), code.end()));
  blocks_[code.data()] = decoded;
  blockBytes_ += code.size();
  return decoded;
}

void Interpreter::RunFrameScript(std::span<const uint8_t> code, const ClipRef& clip) {
  // What one script leaves on the stack the next can take; a script that only pushes must not
  // grow it without end, though.
  constexpr size_t kMaxSharedStack = 1 << 16;
  // Started from inside a running script (a goto the host makes while answering an
  // fscommand), a script shares that script's budget rather than resetting it under its feet.
  if (depth_ == 0) {
    if (frameBudget_ == 0) return;
    if (stack_.size() > kMaxSharedStack) stack_.clear();
  }
  const OutermostBlock block(*this);
  try {
    RunNested(code, clip);
  } catch (const ScriptException& e) {
    // An exception nobody caught ends the script; the movie plays on.
    Trace("Warning: Uncaught exception, " + ToString(e.value));
  }
}

double Interpreter::Milliseconds() const {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  return static_cast<double>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

double Interpreter::Random(double max) {
  if (!(max >= 1)) return 0;
  std::uniform_int_distribution<uint64_t> pick(
      0, static_cast<uint64_t>(std::min(max, 4294967295.0)) - 1);
  return static_cast<double>(pick(random_));
}

bool Interpreter::InstanceOf(const Value& object, const Value& constructor) {
  Object* o = object.AsObject();
  Object* proto = GetMember(constructor, "prototype").AsObject();
  if (!o || !proto) return false;
  return InheritsFrom(o->proto, proto, 0);
}

bool Interpreter::InheritsFrom(Object* start, Object* proto, int nesting) {
  // Interfaces may extend (or implement) others; the nesting bound ends a loop among them.
  if (nesting > 32) return false;
  int hops = 0;
  for (Object* at = start; at && hops < 256; at = at->proto, ++hops) {
    if (at == proto) return true;
    for (Object* i : at->interfaces) {
      if (i && InheritsFrom(GetMember(i, "prototype").AsObject(), proto, nesting + 1)) return true;
    }
  }
  return false;
}

}  // namespace swf::avm1
