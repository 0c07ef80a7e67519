// The collector frees what nothing reaches, cycles included, and keeps what a root still
// holds: reading a kept object after a collection is what proves (under ASan) it was kept.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "player/avm1/interpreter.h"

namespace {

using swf::avm1::Interpreter;
using swf::avm1::Object;
using swf::avm1::Value;

TEST(Avm1Collector, FreesCyclesAndKeepsWhatRootsHold) {
  const struct {
    const char* root;
    std::function<void(Interpreter&, Object*)> hold;
  } cases[] = {
      {"global variable", [](Interpreter& vm, Object* o) { vm.SetMember(vm.Global(), "kept", o); }},
      {"prototype of a kept object",
       [](Interpreter& vm, Object* o) {
         Object* child = vm.NewObject(o);
         vm.SetMember(vm.Global(), "child", child);
       }},
      {"interval argument",
       [](Interpreter& vm, Object* o) {
         const Value args[] = {vm.GetMember(vm.Global(), "escape"), Value(100), Value(o)};
         vm.Call(vm.GetMember(vm.Global(), "setInterval"), Value(), args);
       }},
      {"watcher data",
       [](Interpreter& vm, Object* o) {
         Object* watched = vm.NewPlainObject();
         vm.SetMember(vm.Global(), "watched", watched);
         const Value args[] = {Value("p"), vm.GetMember(vm.Global(), "escape"), Value(o)};
         vm.Call(vm.GetMember(watched, "watch"), watched, args);
       }},
      {"root source",
       [](Interpreter& vm, Object* o) { vm.AddRootSource([o](const auto& keep) { keep(o); }); }},
  };
  for (const auto& c : cases) {
    Interpreter vm(8, nullptr);
    vm.Collect();
    const size_t start = vm.HeapSize();
    for (int i = 0; i < 1000; ++i) {
      Object* a = vm.NewPlainObject();
      Object* b = vm.NewArray({Value(a)});
      vm.SetMember(a, "other", b);
    }
    EXPECT_EQ(vm.Collect(), 2000u) << c.root;
    EXPECT_EQ(vm.HeapSize(), start) << c.root;

    Object* kept = vm.NewPlainObject();
    vm.SetMember(kept, "tag", Value("alive"));
    c.hold(vm, kept);
    vm.Collect();
    EXPECT_EQ(vm.ToString(vm.GetMember(kept, "tag")), "alive") << c.root;
  }
}

}  // namespace
