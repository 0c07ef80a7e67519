// Reading a run of number work once, so that each pass through a loop costs one check of
// its inputs and then plain arithmetic.
#include "player/avm1/quick_block.h"

#include <algorithm>
#include <array>

#include "player/avm1/action_reader.h"
#include "player/avm1/executor.h"

namespace swf::avm1 {
namespace {

// Follows the actions' stack while a run is read.
class BlockReader {
 public:
  explicit BlockReader(QuickBlock& q) : q_(q) {
    regSlot_.fill(-1);
    result_.fill(false);
  }

  bool Full() const { return slots_ + 4 > QuickBlock::kMaxSlots; }
  size_t Depth() const { return stack_.size(); }

  void PushRegister(uint16_t r) {
    if (regSlot_[r] < 0) {
      regSlot_[r] = NewSlot();
      q_.registers.push_back({static_cast<uint8_t>(regSlot_[r]), r});
    }
    Use(r);
    stack_.push_back(static_cast<uint8_t>(regSlot_[r]));
  }
  void PushConstant(uint16_t i) {
    const uint8_t s = NewSlot();
    q_.constants.push_back({s, i});
    stack_.push_back(s);
  }
  void PushNumber(double v) { stack_.push_back(Number(v)); }
  void Binary(QuickOp::Kind kind) {
    const uint8_t b = Pop(), a = Pop(), t = Result();
    q_.ops.push_back({kind, ActionCode::End, t, a, b});
    stack_.push_back(t);
  }
  void Step(double by) {
    const uint8_t a = Pop(), one = Number(by), t = Result();
    q_.ops.push_back({QuickOp::Kind::Add, ActionCode::End, t, a, one});
    stack_.push_back(t);
  }
  void Store(uint16_t r) {
    const bool fresh = regSlot_[r] < 0;
    if (fresh) regSlot_[r] = NewSlot();
    Use(r);
    const auto rs = static_cast<uint8_t>(regSlot_[r]);
    if (std::find(writtenSlots_.begin(), writtenSlots_.end(), rs) == writtenSlots_.end()) {
      writtenSlots_.push_back(rs);
      q_.written.push_back({rs, r});
    }
    const uint8_t top = stack_.back();
    if (top == rs) return;
    const bool shared = std::count(stack_.begin(), stack_.end() - 1, rs) > 0;
    // A step's result stored straight away is worked out into the register itself.
    if (!shared && result_[top] && !q_.ops.empty() && q_.ops.back().dst == top) {
      q_.ops.back().dst = rs;
      stack_.back() = rs;
      return;
    }
    // What the stack still holds of the register's old value keeps that value.
    for (size_t i = 0; i + 1 < stack_.size(); ++i) {
      if (stack_[i] != rs) continue;
      const uint8_t keep = NewSlot();
      q_.ops.push_back({QuickOp::Kind::Copy, ActionCode::End, keep, rs});
      for (size_t j = i; j + 1 < stack_.size(); ++j) {
        if (stack_[j] == rs) stack_[j] = keep;
      }
    }
    q_.ops.push_back({QuickOp::Kind::Copy, ActionCode::End, rs, top});
  }
  void Drop() { stack_.pop_back(); }
  void Compare(ActionCode c, const DecodedAction* a) {
    const uint8_t b = Pop(), x = Pop();
    q_.ops.push_back({QuickOp::Kind::Compare, c, 0, x, b, Exit(q_.actions + 1), a});
  }
  void Not() { q_.ops.push_back({QuickOp::Kind::Not}); }
  void If(const DecodedAction* a) {
    q_.ops.push_back({QuickOp::Kind::If, ActionCode::End, 0, 0, 0, Exit(q_.actions + 1), a});
  }
  void End() { Exit(q_.actions); }

 private:
  uint8_t NewSlot() { return static_cast<uint8_t>(slots_++); }
  // A slot only the step making it writes, and only the stack's top reads.
  uint8_t Result() {
    const uint8_t s = NewSlot();
    result_[s] = true;
    return s;
  }
  uint8_t Number(double v) {
    const uint8_t s = NewSlot();
    q_.numbers.push_back({s, v});
    return s;
  }
  uint8_t Pop() {
    const uint8_t s = stack_.back();
    stack_.pop_back();
    return s;
  }
  void Use(uint16_t r) { q_.registersUsed = std::max<size_t>(q_.registersUsed, size_t{r} + 1); }
  uint16_t Exit(size_t actions) {
    q_.exits.push_back({stack_, q_.written.size(), actions});
    return static_cast<uint16_t>(q_.exits.size() - 1);
  }

  QuickBlock& q_;
  std::array<int16_t, 256> regSlot_;
  std::array<bool, QuickBlock::kMaxSlots> result_;
  std::vector<uint8_t> stack_, writtenSlots_;
  size_t slots_ = 0;
};

}  // namespace

std::shared_ptr<const QuickBlock> ReadQuickBlock(DecodedCode& code, const DecodedAction* start) {
  // Long enough for a loop's body and its test; a loop closing on itself ends the run too.
  constexpr size_t kMaxActions = 64;
  auto q = std::make_shared<QuickBlock>();
  q->start = start->action.offset;
  BlockReader r(*q);
  bool compared = false;  // the top of the stack is a comparison's result
  auto arrive = [&](const DecodedAction* a) {
    if (a != start) {
      q->minArrive = std::min<uint64_t>(q->minArrive, a->action.offset);
      q->maxArrive = std::max<uint64_t>(q->maxArrive, a->action.offset);
    }
    q->maxNext = std::max<uint64_t>(q->maxNext, a->action.next);
  };
  auto jumpsTo = [&](const DecodedAction* a) {
    q->minTarget = std::min(q->minTarget, a->target);
    q->maxTarget = std::max(q->maxTarget, a->target);
  };
  // Whether the action fits the run, judged before anything of it is taken in.
  auto fits = [&](const DecodedAction* a) {
    if (a->broken || r.Full()) return false;
    const auto c = static_cast<ActionCode>(a->action.code);
    if (compared) return c == ActionCode::Not || c == ActionCode::If;
    switch (c) {
      case ActionCode::Push:
        if (a->operands.size() > 4) return false;
        for (const PushOperand& op : a->operands) {
          if (op.kind == PushOperand::Kind::Value && !op.value.IsNumber()) return false;
          if (op.kind == PushOperand::Kind::Register && op.index > 255) return false;
        }
        return true;
      case ActionCode::Add2:
      case ActionCode::Add:
      case ActionCode::Subtract:
      case ActionCode::Multiply:
      case ActionCode::Divide:
      case ActionCode::Modulo:
      case ActionCode::Less2:
      case ActionCode::Greater:
      case ActionCode::Equals2:
      case ActionCode::Less:
      case ActionCode::Equals:
        return r.Depth() >= 2;
      case ActionCode::Increment:
      case ActionCode::Decrement:
      case ActionCode::StoreRegister:
      case ActionCode::Pop:
        return r.Depth() >= 1;
      case ActionCode::Jump:
        return true;
      default:
        return false;
    }
  };
  const DecodedAction* a = start;
  while (a && q->actions < kMaxActions && fits(a)) {
    const auto c = static_cast<ActionCode>(a->action.code);
    const DecodedAction* next = nullptr;
    bool ended = false;
    switch (c) {
      case ActionCode::Push:
        for (const PushOperand& op : a->operands) {
          if (op.kind == PushOperand::Kind::Register) {
            r.PushRegister(op.index);
          } else if (op.kind == PushOperand::Kind::Constant) {
            r.PushConstant(op.index);
          } else {
            r.PushNumber(op.value.AsNumber());
          }
        }
        break;
      case ActionCode::Add2:
      case ActionCode::Add:
        r.Binary(QuickOp::Kind::Add);
        break;
      case ActionCode::Subtract:
        r.Binary(QuickOp::Kind::Subtract);
        break;
      case ActionCode::Multiply:
        r.Binary(QuickOp::Kind::Multiply);
        break;
      case ActionCode::Divide:
        q->divides = true;
        r.Binary(QuickOp::Kind::Divide);
        break;
      case ActionCode::Modulo:
        r.Binary(QuickOp::Kind::Modulo);
        break;
      case ActionCode::Less2:
      case ActionCode::Greater:
      case ActionCode::Equals2:
      case ActionCode::Less:
      case ActionCode::Equals:
        r.Compare(c, a);
        compared = true;
        break;
      case ActionCode::Increment:
      case ActionCode::Decrement:
        r.Step(c == ActionCode::Increment ? 1 : -1);
        break;
      case ActionCode::StoreRegister:
        r.Store(a->reg);
        break;
      case ActionCode::Pop:
        r.Drop();
        break;
      case ActionCode::Not:
        r.Not();
        break;
      case ActionCode::If:
        jumpsTo(a);
        r.If(a);
        ended = true;
        break;
      default:  // Jump
        jumpsTo(a);
        if (a->target >= 0) next = code.After(a, static_cast<size_t>(a->target));
        // A jump with nowhere readable to go ends the run there.
        ended = !next;
        break;
    }
    arrive(a);
    ++q->actions;
    q->last = a;
    q->endAt = c == ActionCode::Jump ? static_cast<uint64_t>(a->target) : a->action.next;
    if (ended) break;
    if (c != ActionCode::Jump) next = code.After(a, a->action.next);
    if (!next || next->action.code == 0) break;
    a = next;
  }
  if (q->actions < 2) return nullptr;
  if (q->last->action.code != static_cast<uint8_t>(ActionCode::If)) {
    q->compared = compared;
    r.End();
  }
  return q;
}

const DecodedAction* Executor::RunBlock(const QuickBlock& q, size_t end, size_t first, size_t limit,
                                        uint64_t& budget, size_t& done, size_t& at) {
  // Everything the actions would check one by one, checked once: anything amiss and the
  // actions run one at a time, as they would without the block.
  if (budget < q.actions || (q.divides && version < 5)) return nullptr;
  if (q.registersUsed > act.registers.size()) return nullptr;
  if (q.minArrive < base + first || q.maxArrive >= base + limit || q.maxNext > end) {
    return nullptr;
  }
  if (q.minTarget < static_cast<int64_t>(base) ||
      q.maxTarget > static_cast<int64_t>(base + code.size())) {
    return nullptr;
  }
  Value* const registers = act.registers.data();
  double slots[QuickBlock::kMaxSlots];
  for (const QuickBlock::Load& l : q.registers) {
    if (!registers[l.index].IsNumber()) return nullptr;
    slots[l.slot] = registers[l.index].AsNumber();
  }
  const ConstantPool* pool = act.Pool();
  for (const QuickBlock::Load& l : q.constants) {
    if (!pool || l.index >= pool->size() || !(*pool)[l.index].IsNumber()) return nullptr;
    slots[l.slot] = (*pool)[l.index].AsNumber();
  }
  for (const QuickBlock::Number& n : q.numbers) slots[n.slot] = n.value;
  // The registers the run wrote and the values the stack would hold, as the actions would
  // have left them.
  auto leave = [&](const QuickExit& e) {
    for (size_t i = 0; i < e.written; ++i) registers[q.written[i].index] = slots[q.written[i].slot];
    for (const uint8_t s : e.stack) stack.push_back(Value(slots[s]));
    budget -= e.actions;
    done += e.actions;
  };
  bool truth = false;
again:
  for (const QuickOp& op : q.ops) {
    switch (op.kind) {
      case QuickOp::Kind::Add:
        slots[op.dst] = slots[op.a] + slots[op.b];
        break;
      case QuickOp::Kind::Subtract:
        slots[op.dst] = slots[op.a] - slots[op.b];
        break;
      case QuickOp::Kind::Multiply:
        slots[op.dst] = slots[op.a] * slots[op.b];
        break;
      case QuickOp::Kind::Divide:
        slots[op.dst] = slots[op.a] / slots[op.b];
        break;
      case QuickOp::Kind::Modulo:
        slots[op.dst] = Modulo(slots[op.a], slots[op.b]);
        break;
      case QuickOp::Kind::Copy:
        slots[op.dst] = slots[op.a];
        break;
      case QuickOp::Kind::Compare: {
        Value result = Compare(op.code, slots[op.a], slots[op.b]);
        if (!result.IsBool()) {
          // Undefined (NaN met): the script goes on from the comparison the usual way.
          leave(q.exits[op.exit]);
          stack.push_back(std::move(result));
          at = op.action->action.next - base;
          return op.action;
        }
        truth = result.AsBool();
        break;
      }
      case QuickOp::Kind::Not:
        truth = !truth;
        break;
      case QuickOp::Kind::If: {
        const QuickExit& e = q.exits[op.exit];
        const uint64_t to =
            truth ? static_cast<uint64_t>(op.action->target) : op.action->action.next;
        // A loop that is all this run goes round again here: its registers stay in their
        // slots until it leaves, and its inputs are numbers still, since nothing else ran.
        if (to == q.start && e.stack.empty() && budget - e.actions >= q.actions) {
          budget -= e.actions;
          done += e.actions;
          goto again;
        }
        leave(e);
        at = static_cast<size_t>(to - base);
        return op.action;
      }
    }
  }
  leave(q.exits.back());
  if (q.compared) stack.push_back(Value(truth));
  at = q.endAt - base;
  return q.last;
}

}  // namespace swf::avm1
