// Mark and sweep over the interpreter's heap. Objects refer to each other freely (a prototype
// and its constructor, a closure and the scope it lives in), so counting references would leak
// every such cycle; instead everything reachable from the roots is marked and the rest freed.
#include <algorithm>

#include "player/avm1/interpreter.h"

namespace swf::avm1 {
namespace {

class Marker {
 public:
  void Object(struct Object* o) {
    if (o && !o->marked) {
      o->marked = true;
      pending_.push_back(o);
    }
  }
  void Value(const avm1::Value& v) { Object(v.AsObject()); }

  // Walks with a list of its own rather than recursing: a long chain of objects must not
  // overflow the native stack.
  void Drain() {
    while (!pending_.empty()) {
      struct Object* o = pending_.back();
      pending_.pop_back();
      Object(o->proto);
      for (const Property& p : o->props) {
        Value(p.value);
        Object(p.getter);
        Object(p.setter);
      }
      for (const avm1::Value& v : o->elements) Value(v);
      for (const avm1::Value& v : o->internal) Value(v);
      for (struct Object* s : o->scope) Object(s);
      Object(o->target);
      Value(o->primitive);
      Object(o->boundThis);
      Object(o->home);
      for (struct Object* i : o->interfaces) Object(i);
      for (const Watcher& w : o->watchers) {
        Object(w.callback);
        Value(w.userData);
      }
    }
  }

 private:
  std::vector<struct Object*> pending_;
};

}  // namespace

size_t Interpreter::Collect() {
  if (depth_ != 0) return 0;
  deferredThrow_.reset();
  Marker m;
  for (Object* o : {global_, standInRoot_, objectProto_, functionProto_, arrayProto_, stringProto_,
                    numberProto_, booleanProto_, clipProto_, buttonProto_, textFieldProto_,
                    videoProto_, clipClasses_, stringCtor_, numberCtor_, booleanCtor_}) {
    m.Object(o);
  }
  for (const Value& v : stack_) m.Value(v);
  for (const Value& v : globalRegisters_) m.Value(v);
  for (Object* o : callers_) m.Object(o);
  for (const Timer& t : timers_) {
    m.Object(t.function);
    m.Object(t.object);
    for (const Value& v : t.args) m.Value(v);
  }
  // A clip on the stage keeps its object (and what scripts hung on it); one that has left
  // keeps it only while something else still refers to it.
  for (const auto& [serial, o] : clips_) {
    if (host_ && host_->Find(o->clip)) m.Object(o);
  }
  for (const RootSource& source : rootSources_) source([&m](Object* o) { m.Object(o); });
  m.Drain();

  std::erase_if(clips_, [](const auto& entry) { return !entry.second->marked; });
  std::erase_if(departedPaths_, [this](const auto& entry) { return !clips_.count(entry.first); });
  const size_t before = heap_.size();
  std::erase_if(heap_, [](const std::unique_ptr<Object>& o) { return !o->marked; });
  for (const std::unique_ptr<Object>& o : heap_) o->marked = false;
  liveAfterCollect_ = heap_.size();
  return before - heap_.size();
}

void Interpreter::CollectIfDue() {
  // Growth in proportion to what survived keeps the cost of marking a small share of the
  // work that made the garbage.
  if (heap_.size() >= 2 * liveAfterCollect_ + 4096) Collect();
}

}  // namespace swf::avm1
