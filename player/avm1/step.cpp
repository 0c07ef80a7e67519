// One action at a time.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "player/avm1/action_codes.h"
#include "player/avm1/arrays.h"
#include "player/avm1/executor.h"
#include "player/avm1/script_error.h"

namespace swf::avm1 {
namespace {

// Joining copies both sides into a new string; when the script may not make it (it ran out
// of budget, or strings would take too much memory) the block stops and the join gives an
// empty string.
Value Join(Interpreter& vm, std::string_view a, std::string_view b) {
  const size_t length = a.size() + b.size();
  if (!vm.MayMakeString(length, length)) return Value(std::string());
  std::string joined;
  joined.reserve(length);
  joined.append(a).append(b);
  return Value(std::move(joined));
}

// The element of an array that a whole-number member name (0, 17) stands for, found without
// making the name; null leaves it to the general path.
Property* NumberedElement(const Value& object, const Value& name) {
  Object* o = object.AsObject();
  if (!o || o->kind != ObjectKind::Array || !name.IsNumber()) return nullptr;
  const double i = name.AsNumber();
  if (!(i >= 0 && i <= std::numeric_limits<int32_t>::max()) || std::trunc(i) != i) return nullptr;
  return o->props.FindIndex(static_cast<uint32_t>(i));
}

// A value property the object holds itself under a name given as text, where the general
// path would find it first and take it as it is; null where anything else might answer (a
// clip, `super`, an accessor, the prototype link, an array's length).
[[gnu::always_inline]] inline Property* OwnValueProperty(const Value& object, const Value& name,
                                                         bool cs) {
  Object* o = object.AsObject();
  if (!o || !name.IsString() || o->kind == ObjectKind::Clip || o->kind == ObjectKind::Super) {
    return nullptr;
  }
  const std::string& n = name.AsString();
  if (NamesEqual(n, "__proto__", cs) ||
      (o->kind == ObjectKind::Array && NamesEqual(n, "length", cs))) {
    return nullptr;
  }
  Property* p = o->FindOwn(n, cs);
  return p && !p->getter ? p : nullptr;
}

}  // namespace

[[gnu::always_inline]] inline bool Executor::NumberOp(uint8_t code, double x, double y,
                                                      Value& out) const {
  const auto c = static_cast<ActionCode>(code);
  switch (c) {
    case ActionCode::Divide:
      if (y == 0 && version < 5) return false;
      [[fallthrough]];
    case ActionCode::Add2:
    case ActionCode::Add:
    case ActionCode::Subtract:
    case ActionCode::Multiply:
    case ActionCode::Modulo:
      out = Arithmetic(c, x, y);
      break;
    default:
      out = Compare(c, x, y);
      break;
  }
  return true;
}

size_t Executor::RunQuick(const DecodedAction*& d, size_t end, size_t first, size_t limit) {
  // Straight runs of actions on numbers, booleans and registers (a loop's counting, its test
  // and its arithmetic) go on here one after another, with none of the checks an action that
  // may call out needs after it: none of these can call a script, end it, or move a clip.
  // Anything else, or a value of another type, goes back to the loop, which runs it.
  std::vector<Value>& s = stack;
  // Nothing here calls out, so the budget and the position live in locals until the run ends;
  // so does what the run only reads, which writing a value would otherwise make it read again.
  uint64_t budget = vm.budget_;
  const size_t base = this->base, size = code.size();
  Value* const registers = act.registers.data();
  const size_t registerCount = act.registers.size();
  size_t at = pc, done = 0;
  auto finish = [&] {
    vm.budget_ = budget;
    pc = at;
    return done;
  };
  // The action at `at` when it follows `from` or is its jump target, and lies whole in range.
  auto nextAt = [&](const DecodedAction* from) -> const DecodedAction* {
    if (at < first || at >= limit) return nullptr;
    const DecodedAction* next = base + at == from->action.next                     ? from->following
                                : base + at == static_cast<uint64_t>(from->target) ? from->jumpTo
                                                                                   : nullptr;
    if (!next || next->action.next > end || next->action.code == 0) return nullptr;
    return next;
  };
  for (const DecodedAction* a = d;;) {
    if (a->broken || budget == 0) return finish();
    if (!a->quickRead) {
      a->quickRead = true;
      a->quick = ReadQuickBlock(*decoded, a);
    }
    if (const QuickBlock* q = a->quick.get()) {
      if (const DecodedAction* last = RunBlock(*q, end, first, limit, budget, done, at)) {
        d = a = last;
        const DecodedAction* next = nextAt(a);
        if (!next) return finish();
        a = next;
        continue;
      }
    }
    const size_t n = s.size();
    const auto c = static_cast<ActionCode>(a->action.code);
    switch (c) {
      case ActionCode::Push:
        for (const PushOperand& op : a->operands) {
          if (op.kind == PushOperand::Kind::Register) {
            const Value* v = op.index < registerCount
                                 ? &registers[op.index]
                                 : act.Register(static_cast<uint8_t>(op.index));
            s.push_back(v ? *v : Value());
          } else if (op.kind == PushOperand::Kind::Value) {
            s.push_back(op.value);
          } else {
            const ConstantPool* pool = act.Pool();
            s.push_back(pool && op.index < pool->size() ? (*pool)[op.index] : Value());
          }
        }
        break;
      case ActionCode::Pop:
        if (n) s.pop_back();
        break;
      case ActionCode::StoreRegister:
        if (Value* v = a->reg < registerCount ? &registers[a->reg] : act.Register(a->reg)) {
          *v = n ? s.back() : Value();
        }
        break;
      case ActionCode::Not:
        if (!n || !s.back().IsBool()) return finish();
        s.back() = !s.back().AsBool();
        break;
      case ActionCode::Increment:
      case ActionCode::Decrement:
        if (!n || !s.back().IsNumber()) return finish();
        s.back() = s.back().AsNumber() + (c == ActionCode::Increment ? 1 : -1);
        break;
      case ActionCode::Add2:
      case ActionCode::Subtract:
      case ActionCode::Multiply:
      case ActionCode::Divide:
      case ActionCode::Modulo:
      case ActionCode::Less2:
      case ActionCode::Greater:
      case ActionCode::Equals2:
      case ActionCode::Add:
      case ActionCode::Less:
      case ActionCode::Equals:
        if (n < 2 || !s[n - 2].IsNumber() || !s[n - 1].IsNumber()) return finish();
        if (c == ActionCode::Divide && version < 5 && s[n - 1].AsNumber() == 0) return finish();
        NumberOp(a->action.code, s[n - 2].AsNumber(), s[n - 1].AsNumber(), s[n - 2]);
        s.pop_back();
        break;
      case ActionCode::GetMember: {
        // An own value or an array's element, read as the general path would read it.
        if (n < 2) return finish();
        const Property* p = NumberedElement(s[n - 2], s[n - 1]);
        if (!p) p = OwnValueProperty(s[n - 2], s[n - 1], CaseSensitive());
        if (!p || p->getter) return finish();
        s[n - 2] = p->value;
        s.pop_back();
        break;
      }
      case ActionCode::SetMember: {
        // An own value (or an array's existing element) that nothing stands guard over.
        if (n < 3) return finish();
        Object* o = s[n - 3].AsObject();
        if (!o || !o->watchers.empty()) return finish();
        Property* p = NumberedElement(s[n - 3], s[n - 2]);
        if (!p && o->kind != ObjectKind::Array)
          p = OwnValueProperty(s[n - 3], s[n - 2], CaseSensitive());
        if (!p || p->getter || p->setter || (p->flags & kReadOnly)) return finish();
        p->value = std::move(s[n - 1]);
        if (o->kind == ObjectKind::Array) GrowArray(o, static_cast<int32_t>(s[n - 2].AsNumber()));
        s.resize(n - 3);
        break;
      }
      case ActionCode::Jump:
      case ActionCode::If:
        if (a->target < static_cast<int64_t>(base) ||
            a->target - static_cast<int64_t>(base) > static_cast<int64_t>(size)) {
          return finish();
        }
        if (c == ActionCode::If) {
          if (!n || !s.back().IsBool()) return finish();
        }
        break;
      default:
        return finish();
    }
    // The action has run (a jump decides below): it counts against the budget as in the loop.
    --budget;
    ++done;
    d = a;
    at = a->action.next - base;
    if (c == ActionCode::Jump || c == ActionCode::If) {
      const bool taken = c == ActionCode::Jump || s.back().AsBool();
      if (c == ActionCode::If) s.pop_back();
      if (taken) at = static_cast<size_t>(a->target) - base;
    }
    const DecodedAction* next = nextAt(a);
    if (!next) return finish();
    a = next;
  }
}

bool Executor::Push(const DecodedAction& d) {
  for (const PushOperand& op : d.operands) {
    switch (op.kind) {
      case PushOperand::Kind::Value:
        stack.push_back(op.value);
        break;
      case PushOperand::Kind::Register: {
        if (op.index < act.registers.size()) {
          stack.push_back(act.registers[op.index]);
          break;
        }
        const Value* v = act.Register(static_cast<uint8_t>(op.index));
        stack.push_back(v ? *v : Value());
        break;
      }
      case PushOperand::Kind::Constant: {
        const ConstantPool* pool = act.Pool();
        stack.push_back(pool && op.index < pool->size() ? (*pool)[op.index] : Value());
        break;
      }
    }
  }
  return !d.broken;
}

bool Executor::Step(const DecodedAction& d) {
  // Numbers (and strings, for Add2) take the short way here; anything else, objects above
  // all (whose conversions may call script), goes the general way. Each short way gives what
  // the general one would.
  const size_t n = stack.size();
  switch (static_cast<ActionCode>(d.action.code)) {
    case ActionCode::Push:
      return Push(d);
    case ActionCode::Pop:
      if (n) stack.pop_back();
      return true;
    case ActionCode::Jump:
    case ActionCode::If: {
      if (d.broken) return false;
      if (d.action.code == static_cast<uint8_t>(ActionCode::If)) {
        // A comparison leaves a boolean: no conversion to make then.
        const bool taken =
            n && stack.back().IsBool() ? stack.back().AsBool() : ToBoolean(Pop(), version);
        if (n && stack.size() == n) stack.pop_back();
        if (!taken) return true;
      }
      if (d.target < static_cast<int64_t>(base) ||
          d.target - static_cast<int64_t>(base) > static_cast<int64_t>(code.size())) {
        return false;
      }
      pc = static_cast<size_t>(d.target) - base;
      return true;
    }
    case ActionCode::StoreRegister:
      if (d.broken) return false;
      if (Value* v = act.Register(d.reg)) *v = n ? stack.back() : Value();
      return true;
    case ActionCode::ConstantPool:
      if (d.broken) return false;
      act.constants = &d.pool;
      return true;
    case ActionCode::DefineFunction:
    case ActionCode::DefineFunction2:
      return DefineFunction(d);
    case ActionCode::Not:
      if (!n) break;
      stack.back() = Truth(
          !(stack.back().IsBool() ? stack.back().AsBool() : ToBoolean(stack.back(), version)));
      return true;
    case ActionCode::StrictEquals:
      if (n < 2) break;
      stack[n - 2] = StrictEquals(stack[n - 2], stack[n - 1]);
      stack.pop_back();
      return true;
    case ActionCode::Increment:
    case ActionCode::Decrement:
      if (!n || !stack.back().IsNumber()) break;
      stack.back() = stack.back().AsNumber() +
                     (d.action.code == static_cast<uint8_t>(ActionCode::Increment) ? 1 : -1);
      return true;
    case ActionCode::Add2:
    case ActionCode::Subtract:
    case ActionCode::Multiply:
    case ActionCode::Divide:
    case ActionCode::Modulo:
    case ActionCode::Less2:
    case ActionCode::Greater:
    case ActionCode::Equals2:
    case ActionCode::Add:
    case ActionCode::Less:
    case ActionCode::Equals: {
      if (n < 2) break;
      Value& left = stack[n - 2];
      const Value& right = stack[n - 1];
      if (!left.IsNumber() || !right.IsNumber()) {
        if (d.action.code != static_cast<uint8_t>(ActionCode::Add2) || !left.IsString() ||
            !right.IsString()) {
          break;
        }
        left = Join(vm, left.AsString(), right.AsString());
        stack.pop_back();
        return true;
      }
      if (!NumberOp(d.action.code, left.AsNumber(), right.AsNumber(), left)) {
        return StepSwf4(d.action);  // "#ERROR#"
      }
      stack.pop_back();
      return true;
    }
    case ActionCode::GetVariable:
    case ActionCode::SetVariable:
    case ActionCode::GetMember:
    case ActionCode::SetMember:
      return StepMember(d);
    default:
      break;
  }
  return StepGeneral(d);
}

bool Executor::StepGeneral(const DecodedAction& d) {
  Action a = d.action;
  a.offset -= base;
  a.next -= base;
  return Step(a);
}

bool Executor::StepMember(const DecodedAction& d) {
  std::string storage;
  switch (static_cast<ActionCode>(d.action.code)) {
    case ActionCode::GetVariable: {
      const Value name = Pop();
      Push(GetVariable(NameOf(name, storage)));
      break;
    }
    case ActionCode::SetVariable: {
      Value value = Pop();
      const Value name = Pop();
      SetVariable(NameOf(name, storage), std::move(value));
      break;
    }
    case ActionCode::GetMember: {
      const Value name = Pop();
      const Value object = Pop();
      // An array read at a whole number: the element found without making its name, as the
      // general path would find it; anything else (a getter, a hole) takes that path.
      if (const Property* p = NumberedElement(object, name); p && !p->getter) {
        Push(p->value);
        break;
      }
      Push(vm.GetMember(object, NameOf(name, storage)));
      break;
    }
    case ActionCode::SetMember: {
      Value value = Pop();
      const Value name = Pop();
      const Value object = Pop();
      // An existing element written at a whole number, as the general path would write it
      // when nothing (a setter, a watcher, a read-only flag) stands in the way.
      if (Property* p = NumberedElement(object, name); p && !p->getter && !p->setter &&
                                                       !(p->flags & kReadOnly) &&
                                                       object.AsObject()->watchers.empty()) {
        p->value = std::move(value);
        GrowArray(object.AsObject(), static_cast<int32_t>(name.AsNumber()));
        break;
      }
      vm.SetMember(object, NameOf(name, storage), std::move(value));
      break;
    }
    default:
      break;
  }
  return true;
}

bool Executor::Step(const Action& a) {
  // One small dispatcher and a function per family keep the native stack a nested call takes
  // small, so the deepest call chain a script may build fits in it.
  switch (static_cast<ActionCode>(a.code)) {
    case ActionCode::Call:
    case ActionCode::CallFunction:
    case ActionCode::CallMethod:
    case ActionCode::NewObject:
    case ActionCode::NewMethod:
    case ActionCode::Enumerate:
    case ActionCode::Enumerate2:
    case ActionCode::Throw:
    case ActionCode::Try:
      return StepCalls(a);
    case ActionCode::Pop:
    case ActionCode::Add2:
    case ActionCode::Less2:
    case ActionCode::Greater:
    case ActionCode::Equals2:
    case ActionCode::StrictEquals:
    case ActionCode::Modulo:
    case ActionCode::BitAnd:
    case ActionCode::BitOr:
    case ActionCode::BitXor:
    case ActionCode::BitLShift:
    case ActionCode::BitRShift:
    case ActionCode::BitURShift:
    case ActionCode::Increment:
    case ActionCode::Decrement:
    case ActionCode::PushDuplicate:
    case ActionCode::StackSwap:
    case ActionCode::TypeOf:
    case ActionCode::ToNumber:
    case ActionCode::ToString:
    case ActionCode::InstanceOf:
    case ActionCode::Extends:
    case ActionCode::CastOp:
    case ActionCode::ImplementsOp:
      return StepValues(a);
    case ActionCode::Add:
    case ActionCode::Subtract:
    case ActionCode::Multiply:
    case ActionCode::Divide:
    case ActionCode::Equals:
    case ActionCode::Less:
    case ActionCode::And:
    case ActionCode::Or:
    case ActionCode::Not:
    case ActionCode::StringEquals:
    case ActionCode::StringLess:
    case ActionCode::StringGreater:
    case ActionCode::StringAdd:
    case ActionCode::StringLength:
    case ActionCode::MBStringLength:
    case ActionCode::StringExtract:
    case ActionCode::MBStringExtract:
    case ActionCode::CharToAscii:
    case ActionCode::MBCharToAscii:
    case ActionCode::AsciiToChar:
    case ActionCode::MBAsciiToChar:
    case ActionCode::ToInteger:
    case ActionCode::Trace:
    case ActionCode::GetTime:
    case ActionCode::RandomNumber:
      return StepSwf4(a);
    case ActionCode::GetVariable:
    case ActionCode::SetVariable:
    case ActionCode::DefineLocal:
    case ActionCode::DefineLocal2:
    case ActionCode::Delete:
    case ActionCode::Delete2:
    case ActionCode::GetMember:
    case ActionCode::SetMember:
    case ActionCode::InitArray:
    case ActionCode::InitObject:
    case ActionCode::Return:
    case ActionCode::With:
      return StepObjects(a);
    case ActionCode::NextFrame:
    case ActionCode::PrevFrame:
    case ActionCode::Play:
    case ActionCode::Stop:
    case ActionCode::GotoFrame:
    case ActionCode::GotoLabel:
    case ActionCode::GotoFrame2:
    case ActionCode::WaitForFrame:
    case ActionCode::WaitForFrame2:
    case ActionCode::SetTarget:
    case ActionCode::SetTarget2:
    case ActionCode::GetProperty:
    case ActionCode::SetProperty:
    case ActionCode::CloneSprite:
    case ActionCode::RemoveSprite:
    case ActionCode::StartDrag:
    case ActionCode::EndDrag:
    case ActionCode::GetUrl:
    case ActionCode::GetUrl2:
    case ActionCode::TargetPath:
      return StepTimeline(a);
    default:
      // Actions this player does not know (or not yet) are skipped, as the original does.
      return true;
  }
}

bool Executor::StepCalls(const Action& a) {
  switch (static_cast<ActionCode>(a.code)) {
    case ActionCode::Call: {
      Value frame = Pop();
      CallFrame(frame);
      break;
    }
    case ActionCode::CallFunction: {
      const std::string name = PopString();
      std::vector<Value> args = PopArgs();
      Object* holder = nullptr;
      Value f = GetCallee(name, holder);
      // A player function called by its bare name (watch, getNextHighestDepth) works on the
      // timeline the script runs on.
      Object* fo = f.AsObject();
      Push(vm.Call(f,
                   holder             ? Value(holder)
                   : fo && fo->native ? Value(act.target)
                                      : Value(),
                   args));
      GiveBack(args);
      break;
    }
    case ActionCode::CallMethod: {
      Value name = Pop();
      Value object = Pop();
      std::vector<Value> args = PopArgs();
      // No name (or one that reads as empty) calls the object itself.
      const std::string method = name.IsUndefined() ? std::string() : vm.ToString(name);
      if (method.empty()) {
        // A primitive called is made an object first (which a script's class may see).
        if (Value made; object.IsPrimitive() && vm.CoercedByScript(object, made)) object = made;
        Object* o = object.AsObject();
        Push(vm.Call(object, o && o->kind == ObjectKind::Super ? object : Value(), args));
      } else {
        Value f = vm.GetMember(object, method);
        // Methods reached through `super` run on the caller's own `this`.
        Object* o = object.AsObject();
        Push(vm.Call(f, o && o->kind == ObjectKind::Super ? Value(o->boundThis) : object, args));
      }
      GiveBack(args);
      break;
    }
    case ActionCode::NewObject: {
      const std::string name = PopString();
      std::vector<Value> args = PopArgs();
      Push(vm.Construct(GetVariable(name), args));
      break;
    }
    case ActionCode::NewMethod: {
      Value name = Pop();
      Value object = Pop();
      std::vector<Value> args = PopArgs();
      const bool anonymous = name.IsUndefined() || (name.IsString() && name.AsString().empty());
      if (Value made; anonymous && object.IsPrimitive() && vm.CoercedByScript(object, made)) {
        object = made;
      }
      Push(vm.Construct(anonymous ? object : vm.GetMember(object, vm.ToString(name)), args));
      break;
    }
    case ActionCode::Enumerate:
    case ActionCode::Enumerate2: {
      Value v = Pop();
      Object* o = a.code == static_cast<uint8_t>(ActionCode::Enumerate)
                      ? GetVariable(vm.ToString(v)).AsObject()
                      : v.AsObject();
      Push(Null{});
      if (!o) break;
      std::vector<std::string> names = vm.EnumerableNames(o);
      for (auto it = names.rbegin(); it != names.rend(); ++it) Push(*it);
      break;
    }
    case ActionCode::Throw:
      throw ScriptException{Pop()};
    case ActionCode::Try:
      return RunTry(a);
    default:
      break;
  }
  return true;
}

bool Executor::StepValues(const Action& a) {
  switch (static_cast<ActionCode>(a.code)) {
    case ActionCode::Pop:
      Pop();
      break;
    case ActionCode::Add2: {
      // An object whose valueOf gives back an object takes part as itself: beside a string it
      // joins through toString, in a sum it is NaN.
      const Value b = ValueOfOperand(Pop()), x = ValueOfOperand(Pop());
      if (x.IsString() || b.IsString()) {
        // A string operand joins as it is: copying the text first would double the cost of a
        // loop that grows a long string.
        const auto text = [&](const Value& v, std::string& spare) -> std::string_view {
          if (v.IsString()) return v.AsString();
          spare = vm.ToString(v);
          return spare;
        };
        std::string sx, sb;
        const std::string_view tx = text(x, sx);
        Push(Join(vm, tx, text(b, sb)));
      } else {
        auto number = [&](const Value& v) {
          return v.IsObject() ? std::numeric_limits<double>::quiet_NaN()
                              : PrimitiveToNumber(v, version);
        };
        Push(number(x) + number(b));
      }
      break;
    }
    case ActionCode::Less2: {
      const Value b = Pop(), x = Pop();
      Push(LessThan(x, b));
      break;
    }
    case ActionCode::Greater: {
      const Value b = Pop(), x = Pop();
      Push(LessThan(b, x));
      break;
    }
    case ActionCode::Equals2: {
      const Value b = Pop(), x = Pop();
      Push(LooseEquals(x, b));
      break;
    }
    case ActionCode::StrictEquals: {
      const Value b = Pop(), x = Pop();
      Push(StrictEquals(x, b));
      break;
    }
    case ActionCode::Modulo: {
      const Value bv = Pop(), xv = Pop();
      const double x = vm.ToNumber(xv), b = vm.ToNumber(bv);
      Push(Modulo(x, b));
      break;
    }
    case ActionCode::BitAnd:
    case ActionCode::BitOr:
    case ActionCode::BitXor:
    case ActionCode::BitLShift:
    case ActionCode::BitRShift:
    case ActionCode::BitURShift: {
      const Value bv = Pop(), xv = Pop();
      const double x = vm.ToNumber(xv), b = vm.ToNumber(bv);
      const int32_t l = ToInt32(x), r = ToInt32(b);
      const uint32_t shift = ToUint32(b) & 31;
      switch (static_cast<ActionCode>(a.code)) {
        case ActionCode::BitAnd:
          Push(static_cast<double>(l & r));
          break;
        case ActionCode::BitOr:
          Push(static_cast<double>(l | r));
          break;
        case ActionCode::BitXor:
          Push(static_cast<double>(l ^ r));
          break;
        case ActionCode::BitLShift:
          Push(static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(l) << shift)));
          break;
        case ActionCode::BitRShift:
          Push(static_cast<double>(l >> shift));
          break;
        default:
          // The original gives the shifted value back as a signed 32-bit number.
          Push(static_cast<double>(static_cast<int32_t>(ToUint32(x) >> shift)));
          break;
      }
      break;
    }
    case ActionCode::Increment:
      Push(PopNumber() + 1);
      break;
    case ActionCode::Decrement:
      Push(PopNumber() - 1);
      break;
    case ActionCode::PushDuplicate: {
      Value v = stack.empty() ? Value() : stack.back();
      Push(std::move(v));
      break;
    }
    case ActionCode::StackSwap: {
      Value b = Pop(), x = Pop();
      Push(std::move(b));
      Push(std::move(x));
      break;
    }
    case ActionCode::TypeOf:
      Push(vm.TypeOf(Pop()));
      break;
    case ActionCode::ToNumber:
      Push(PopNumber());
      break;
    case ActionCode::ToString:
      Push(PopString());
      break;
    case ActionCode::InstanceOf: {
      Value constructor = Pop(), object = Pop();
      Push(vm.InstanceOf(object, constructor));
      break;
    }
    case ActionCode::Extends: {
      Value superclass = Pop(), subclass = Pop();
      Object* proto = vm.NewObject(vm.GetMember(superclass, "prototype").AsObject());
      if (proto && subclass.IsObject()) {
        proto->SetOwn("__constructor__", superclass, CaseSensitive(), kDontEnum);
        subclass.AsObject()->SetOwn("prototype", proto, CaseSensitive(), kDontEnum);
      }
      break;
    }
    case ActionCode::CastOp: {
      Value object = Pop(), constructor = Pop();
      Push(vm.InstanceOf(object, constructor) ? object : Value(Null{}));
      break;
    }
    case ActionCode::ImplementsOp: {
      Value constructor = Pop();
      std::vector<Value> interfaces = PopArgs();
      if (Object* c = constructor.AsObject()) {
        if (Object* proto = vm.GetMember(c, "prototype").AsObject()) {
          for (const Value& i : interfaces) proto->interfaces.push_back(i.AsObject());
        }
      }
      break;
    }
    default:
      break;
  }
  return true;
}

bool Executor::StepSwf4(const Action& a) {
  switch (static_cast<ActionCode>(a.code)) {
    case ActionCode::Add: {
      const Value bv = Pop(), xv = Pop();
      const double x = vm.ToNumber(xv), b = vm.ToNumber(bv);
      Push(x + b);
      break;
    }
    case ActionCode::Subtract: {
      // Subtract and Divide convert the top of the stack first.
      const Value bv = Pop(), xv = Pop();
      const double b = vm.ToNumber(bv), x = vm.ToNumber(xv);
      Push(x - b);
      break;
    }
    case ActionCode::Multiply: {
      const Value bv = Pop(), xv = Pop();
      const double x = vm.ToNumber(xv), b = vm.ToNumber(bv);
      Push(x * b);
      break;
    }
    case ActionCode::Divide: {
      const Value bv = Pop(), xv = Pop();
      const double b = vm.ToNumber(bv), x = vm.ToNumber(xv);
      if (b == 0 && version < 5) {
        Push("#ERROR#");
      } else {
        Push(x / b);
      }
      break;
    }
    case ActionCode::Equals: {
      const Value bv = Pop(), xv = Pop();
      // Equals converts its top operand first, unlike the other SWF 4 operators.
      const double b = vm.ToNumber(bv), x = vm.ToNumber(xv);
      Push(Truth(x == b));
      break;
    }
    case ActionCode::Less: {
      const Value bv = Pop(), xv = Pop();
      const double x = vm.ToNumber(xv), b = vm.ToNumber(bv);
      Push(Truth(x < b));
      break;
    }
    case ActionCode::And: {
      const bool b = ToBoolean(Pop(), version), x = ToBoolean(Pop(), version);
      Push(Truth(x && b));
      break;
    }
    case ActionCode::Or: {
      const bool b = ToBoolean(Pop(), version), x = ToBoolean(Pop(), version);
      Push(Truth(x || b));
      break;
    }
    case ActionCode::Not:
      Push(Truth(!ToBoolean(Pop(), version)));
      break;
    case ActionCode::StringEquals: {
      const std::string b = PopString(), x = PopString();
      Push(Truth(x == b));
      break;
    }
    case ActionCode::StringLess: {
      const std::string b = PopString(), x = PopString();
      Push(Truth(x < b));
      break;
    }
    case ActionCode::StringGreater: {
      const std::string b = PopString(), x = PopString();
      Push(Truth(x > b));
      break;
    }
    case ActionCode::StringAdd: {
      const std::string b = PopString(), x = PopString();
      Push(Join(vm, x, b));
      break;
    }
    case ActionCode::StringLength:
      // From SWF 6 on strings are Unicode and the single-byte actions count as the others do.
      Push(static_cast<double>(version >= 6 ? Characters(PopString(), true).size()
                                            : PopString().size()));
      break;
    case ActionCode::MBStringLength:
      Push(static_cast<double>(Characters(PopString(), true).size()));
      break;
    case ActionCode::StringExtract:
    case ActionCode::MBStringExtract: {
      const double count = PopNumber(), index = PopNumber();
      const std::string s = PopString();
      const bool mb = a.code == static_cast<uint8_t>(ActionCode::MBStringExtract);
      Push(Extract(s, index, count, mb));
      break;
    }
    case ActionCode::CharToAscii: {
      const std::string s = PopString();
      if (version >= 6) {
        Push(static_cast<double>(FirstCharacterCode(s)));
        break;
      }
      Push(s.empty() ? 0.0 : static_cast<double>(static_cast<unsigned char>(s[0])));
      break;
    }
    case ActionCode::MBCharToAscii:
      Push(static_cast<double>(FirstCharacterCode(PopString())));
      break;
    case ActionCode::AsciiToChar: {
      if (version >= 6) {
        Push(EncodeCharacter(ToUint32(PopNumber()) & 0xFFFF));
        break;
      }
      const uint32_t c = ToUint32(PopNumber()) & 0xFF;
      Push(std::string(1, static_cast<char>(c)));
      break;
    }
    case ActionCode::MBAsciiToChar:
      Push(EncodeCharacter(ToUint32(PopNumber()) & 0xFFFF));
      break;
    case ActionCode::ToInteger: {
      const double d = PopNumber();
      Push(static_cast<double>(ToInt32(d)));
      break;
    }
    case ActionCode::Trace: {
      Value v = Pop();
      vm.Trace(v.IsUndefined() ? std::string("undefined") : vm.ToString(v));
      break;
    }
    case ActionCode::GetTime:
      Push(vm.Milliseconds());
      break;
    case ActionCode::RandomNumber: {
      const double max = PopNumber();
      Push(vm.Random(max));
      break;
    }

    default:
      break;
  }
  return true;
}

bool Executor::StepObjects(const Action& a) {
  switch (static_cast<ActionCode>(a.code)) {
    case ActionCode::GetVariable: {
      const std::string name = PopString();
      Push(GetVariable(name));
      break;
    }
    case ActionCode::SetVariable: {
      Value value = Pop();
      const std::string name = PopString();
      SetVariable(name, std::move(value));
      break;
    }
    case ActionCode::DefineLocal: {
      Value value = Pop();
      DefineLocal(PopString(), std::move(value));
      break;
    }
    case ActionCode::DefineLocal2: {
      const std::string name = PopString();
      // A timeline variable that exists anywhere up its prototypes is left alone.
      const bool exists = act.function ? act.locals && act.locals->FindOwn(name, CaseSensitive())
                                       : !act.target || vm.HasProperty(act.target, name);
      if (!exists) DefineLocal(name, Value());
      break;
    }
    case ActionCode::Delete: {
      const std::string name = PopString();
      Value object = Pop();
      Push(vm.DeleteMember(object, name));
      break;
    }
    case ActionCode::Delete2: {
      const std::string name = PopString();
      bool deleted = false;
      Value holder;
      std::string member;
      if (IsPathLike(name) && SplitPath(name, holder, member)) {
        // The player warns where a path leads through a primitive value (and deletes nothing).
        WarnIfPrimitive(holder);
        Push(vm.DeleteMember(holder, member));
        break;
      }
      for (auto it = act.scope.rbegin(); it != act.scope.rend() && !deleted; ++it) {
        Object* o = *it == act.base ? act.target : *it;
        if (o && o->FindOwn(name, CaseSensitive())) deleted = vm.DeleteMember(o, name);
      }
      if (!deleted && vm.Global()->FindOwn(name, CaseSensitive())) {
        deleted = vm.DeleteMember(vm.Global(), name);
      }
      Push(deleted);
      break;
    }
    case ActionCode::GetMember: {
      Value name = Pop();
      Value object = Pop();
      Push(vm.GetMember(object, vm.ToString(name)));
      break;
    }
    case ActionCode::SetMember: {
      Value value = Pop();
      Value name = Pop();
      Value object = Pop();
      vm.SetMember(object, vm.ToString(name), std::move(value));
      break;
    }
    case ActionCode::InitArray: {
      const double n = PopNumber();
      // A count the stack cannot hold makes no array and takes nothing from the stack.
      if (n > static_cast<double>(stack.size())) {
        Push(Undefined{});
        break;
      }
      std::vector<Value> elements;
      const size_t count = n > 0 ? std::min(ToIndex(n), stack.size()) : 0;
      for (size_t i = 0; i < count; ++i) elements.push_back(Pop());
      Push(Value(vm.NewArray(std::move(elements))));
      break;
    }
    case ActionCode::InitObject: {
      const double n = PopNumber();
      Object* o = vm.NewPlainObject();
      const size_t count = n > 0 ? std::min(ToIndex(n), stack.size() / 2) : 0;
      std::vector<std::pair<std::string, Value>> pairs;
      for (size_t i = 0; i < count; ++i) {
        Value value = Pop();
        pairs.emplace_back(PopString(), std::move(value));
      }
      // Properties are made as the pairs come off the stack, the last written first, so that
      // for-in (newest first) lists them in the order the source gives.
      for (auto& [name, value] : pairs) {
        if (o) vm.SetMember(o, name, std::move(value));
      }
      Push(Value(o));
      break;
    }
    case ActionCode::Return:
      result = Pop();
      returned = true;
      break;
    case ActionCode::With: {
      PayloadReader r(a.payload);
      uint16_t size;
      if (!r.U16(size) || code.size() - a.next < size) return false;
      Value object = Pop();
      Object* o = object.IsObject() ? object.AsObject() : vm.BoxPrimitive(object);
      if (o) withs.push_back({a.next + size, o});
      break;
    }

    default:
      break;
  }
  return true;
}

bool Executor::StepTimeline(const Action& a) {
  switch (static_cast<ActionCode>(a.code)) {
    case ActionCode::NextFrame:
    case ActionCode::PrevFrame: {
      ClipRef clip;
      ClipState state;
      if (!TargetClip(clip) || !vm.Host()->State(clip, state)) break;
      if (a.code == static_cast<uint8_t>(ActionCode::NextFrame)) {
        if (state.frame + 1 < state.totalFrames) vm.Host()->Goto(clip, state.frame + 1);
      } else if (state.frame > 0) {
        vm.Host()->Goto(clip, state.frame - 1);
      }
      vm.Host()->SetPlaying(clip, false);
      break;
    }
    case ActionCode::Play:
    case ActionCode::Stop: {
      ClipRef clip;
      if (TargetClip(clip)) {
        vm.Host()->SetPlaying(clip, a.code == static_cast<uint8_t>(ActionCode::Play));
      }
      break;
    }
    case ActionCode::GotoFrame: {
      PayloadReader r(a.payload);
      uint16_t frame;
      if (!r.U16(frame)) return false;
      GotoFrame(frame, false);
      break;
    }
    case ActionCode::GotoLabel: {
      PayloadReader r(a.payload);
      std::string label;
      if (!r.String(label)) return false;
      ClipRef clip;
      if (!TargetClip(clip)) break;
      if (std::optional<size_t> frame = vm.Host()->FindLabel(clip, label)) {
        GotoFrame(*frame, false);
      }
      break;
    }
    case ActionCode::GotoFrame2: {
      PayloadReader r(a.payload);
      uint8_t flags;
      uint16_t bias = 0;
      if (!r.U8(flags)) return false;
      if ((flags & 2) && !r.U16(bias)) return false;
      // A frame given as an object is read as its text, as a label or "target:frame" is.
      Value frame = Pop();
      if (frame.IsObject()) frame = Value(vm.ToString(frame));
      GotoValue(frame, flags & 1, bias);
      break;
    }
    case ActionCode::WaitForFrame: {
      // A movie plays fully loaded: every frame it has is there.
      PayloadReader r(a.payload);
      uint16_t frame;
      uint8_t skip;
      if (!r.U16(frame) || !r.U8(skip)) return false;
      if (!FrameLoaded(frame)) SkipActions(skip);
      break;
    }
    case ActionCode::WaitForFrame2: {
      PayloadReader r(a.payload);
      uint8_t skip;
      if (!r.U8(skip)) return false;
      // Only a whole number names a frame to wait for (from 1, wrapping as a 32-bit integer
      // does); anything else waits for nothing.
      Value v = Pop();
      if (v.IsObject()) v = Value(vm.ToString(v));
      const double frame = v.IsNumber() ? v.AsNumber() : v.IsString() ? vm.ToNumber(v) : NAN;
      if (std::isfinite(frame) && frame == std::trunc(frame)) {
        const int32_t index = static_cast<int32_t>(static_cast<uint32_t>(ToInt32(frame)) - 1u);
        if (index >= 0 && !FrameLoaded(static_cast<size_t>(index))) SkipActions(skip);
      }
      break;
    }
    case ActionCode::SetTarget: {
      PayloadReader r(a.payload);
      std::string target;
      if (!r.String(target)) return false;
      SetTarget(Value(target));
      break;
    }
    case ActionCode::SetTarget2:
      SetTarget(Pop());
      break;
    case ActionCode::GetProperty: {
      const double n = PopNumber();
      Value target = Pop();
      // An index that is no number names no property.
      Push(std::isnan(n) ? Value() : GetProperty(target, ToInt32(n)));
      break;
    }
    case ActionCode::SetProperty: {
      Value value = Pop();
      const int32_t index = ToInt32(PopNumber());
      SetProperty(Pop(), index, value);
      break;
    }
    case ActionCode::CloneSprite: {
      const double depth = PopNumber();
      const std::string name = PopString();
      vm.CloneClip(ResolveTarget(PopString()), name, depth);
      break;
    }
    case ActionCode::RemoveSprite:
      vm.RemoveClip(ResolveTarget(PopString()));
      break;
    case ActionCode::StartDrag: {
      const Value target = ResolveTarget(PopString());
      // The flags are read as values: an object's valueOf is asked, its toString is not.
      auto flag = [&] {
        const Value v = Pop();
        return v.IsObject() ? ValueOfOperand(v) : v;
      };
      const bool lockCenter = ToBoolean(flag(), version);
      std::optional<TwipsRect> bounds;
      // Only a constraint flag that reads as exactly 1 brings a rectangle off the stack: one
      // whose valueOf gives "7" leaves it there.
      if (const Value constrain = flag(); PrimitiveToNumber(constrain, version) == 1) {
        double n[4];  // y2, x2, y1, x1 as they come off the stack
        for (double& v : n) v = PopNumber() * 20;
        auto twips = [](double v) {
          return std::isnan(v) ? 0 : static_cast<int32_t>(std::lround(std::clamp(v, -1e9, 1e9)));
        };
        bounds = TwipsRect{twips(std::fmin(n[1], n[3])), twips(std::fmax(n[1], n[3])),
                           twips(std::fmin(n[0], n[2])), twips(std::fmax(n[0], n[2]))};
      }
      if (Object* o = target.AsObject(); o && o->kind == ObjectKind::Clip) {
        vm.StartDrag(o->clip, lockCenter, bounds);
      }
      break;
    }
    case ActionCode::EndDrag:
      vm.StopDrag();
      break;
    case ActionCode::GetUrl: {
      PayloadReader r(a.payload);
      Interpreter::UrlRequest request;
      if (!r.String(request.url) || !r.String(request.target)) return false;
      // A window named "_level1" is a level to load the movie into.
      if (const std::optional<int32_t> level = LevelNumber(request.target)) request.level = *level;
      vm.RequestUrl(request);
      break;
    }
    case ActionCode::GetUrl2: {
      PayloadReader r(a.payload);
      uint8_t flags = 0;
      if (!r.U8(flags)) return false;
      Interpreter::UrlRequest request;
      request.target = PopString();
      request.url = PopString();
      request.method = flags & 3;
      request.loadTarget = (flags & 0x40) != 0;
      request.loadVariables = (flags & 0x80) != 0;
      if (const std::optional<int32_t> level = LevelNumber(request.target)) {
        request.level = *level;
      } else if (request.loadTarget) {
        const Object* o = ResolveTarget(request.target).AsObject();
        if (!o || o->kind != ObjectKind::Clip) break;  // no such clip: nothing loads
        request.clip = o->clip;
      }
      vm.AttachVariables(request, act.target);
      vm.RequestUrl(request);
      break;
    }
    case ActionCode::TargetPath: {
      Object* o = Pop().AsObject();
      if (o && o->kind == ObjectKind::Clip) {
        Push(vm.ClipDotPath(o->clip));
      } else {
        Push(Undefined{});
      }
      break;
    }

    default:
      break;
  }
  return true;
}

}  // namespace swf::avm1
