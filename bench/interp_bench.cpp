// The ActionScript interpreter against Duktape, an embeddable ECMAScript engine, on the same
// programs in the same run: numeric loops, string building, property access on objects and
// arrays, and function calls through closures. Each program is a function called with n;
// both engines must give the same answer, or the run stops. The ratios printed at the end are
// our time over Duktape's.
#include <benchmark/benchmark.h>
#include <duktape.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/avm1_assembler.h"
#include "bench/ratio_reporter.h"
#include "player/avm1/interpreter.h"

namespace {

using brim::Asm;
using brim::Reg;
using brim::Undef;

enum : uint8_t {
  kSubtract = 0x0B,
  kMultiply = 0x0C,
  kNot = 0x12,
  kCallFunction = 0x3D,
  kReturn = 0x3E,
  kModulo = 0x3F,
  kInitArray = 0x42,
  kInitObject = 0x43,
  kAdd2 = 0x47,
  kLess2 = 0x48,
  kGetMember = 0x4E,
  kSetMember = 0x4F,
  kIncrement = 0x50,
  kCallMethod = 0x52,
  kGetVariable = 0x1C,
  kSetVariable = 0x1D,
};

struct Program {
  const char* name;
  int n;
  std::string js;
  std::vector<uint8_t> avm1;  // defines the function `run` on the timeline
};

// The loop skeleton around a body, as the compiler lays it out.
std::vector<uint8_t> LoopFunction(uint8_t registers, const Asm& before, const Asm& body,
                                  const Asm& after, const Asm& helpers = {}) {
  Asm f;
  f.Then(before);
  f.Push({0}).Store(3).Label("top").Push({Reg{3}, Reg{1}}).Op(kLess2).Op(kNot).If("end");
  f.Then(body);
  f.Push({Reg{3}}).Op(kIncrement).Store(3).Jump("top").Label("end");
  f.Then(after).Op(kReturn);
  Asm script;
  script.Then(helpers);
  script.Function("run", {{"n", 1}}, registers, f);
  return script.Bytes();
}

std::vector<Program> Programs() {
  std::vector<Program> out;
  // s = (s + i * 2) % 1000003
  out.push_back({"numeric", 200000,
                 "function run(n){var s=0;for(var i=0;i<n;i++){s=(s+i*2)%1000003;}return s;}",
                 LoopFunction(4, Asm().Push({0}).Store(2),
                              Asm()
                                  .Push({Reg{2}, Reg{3}, 2})
                                  .Op(kMultiply)
                                  .Op(kAdd2)
                                  .Push({1000003})
                                  .Op(kModulo)
                                  .Store(2),
                              Asm().Push({Reg{2}}))});
  // s += "x" + i
  out.push_back({"strings", 5000,
                 "function run(n){var s='';for(var i=0;i<n;i++){s+='x'+i;}return s.length;}",
                 LoopFunction(4, Asm().Push({std::string()}).Store(2),
                              Asm().Push({Reg{2}, "x", Reg{3}}).Op(kAdd2).Op(kAdd2).Store(2),
                              Asm().Push({Reg{2}, "length"}).Op(kGetMember))});
  // o.a = o.b + o.c; o.b = o.a - 1; arr[i % 100] = arr[(i + 1) % 100] + 1
  {
    Asm before;
    before.Push({"a", 1, "b", 2, "c", 3, 3}).Op(kInitObject).Store(2);
    for (int i = 0; i < 100; ++i) before.Push({0});
    before.Push({100}).Op(kInitArray).Store(4);
    Asm body;
    body.Push({Reg{2}, "a", Reg{2}, "b"}).Op(kGetMember).Push({Reg{2}, "c"}).Op(kGetMember);
    body.Op(kAdd2).Op(kSetMember);
    body.Push({Reg{2}, "b", Reg{2}, "a"}).Op(kGetMember).Push({1}).Op(kSubtract).Op(kSetMember);
    body.Push({Reg{4}, Reg{3}, 100}).Op(kModulo).Push({Reg{4}, Reg{3}}).Op(kIncrement);
    body.Push({100}).Op(kModulo).Op(kGetMember).Push({1}).Op(kAdd2).Op(kSetMember);
    Asm after;
    after.Push({Reg{2}, "a"}).Op(kGetMember).Push({Reg{4}, 50}).Op(kGetMember).Op(kAdd2);
    out.push_back({"properties", 100000,
                   "function run(n){var o={a:1,b:2,c:3};var arr=[];for(var j=0;j<100;j++)"
                   "arr.push(0);for(var i=0;i<n;i++){o.a=o.b+o.c;o.b=o.a-1;"
                   "arr[i%100]=arr[(i+1)%100]+1;}return o.a+arr[50];}",
                   LoopFunction(5, before, body, after)});
  }
  // s = add(f(s), i) % 1000 with f a closure over make's k
  {
    Asm helpers;
    helpers.Function("add", {{"a", 1}, {"b", 2}}, 3,
                     Asm().Push({Reg{1}, Reg{2}}).Op(kAdd2).Op(kReturn));
    helpers.Function(
        "make", {{"k", 0}}, 1,
        Asm().Function("", {{"x", 1}}, 2,
                       Asm().Push({Reg{1}, "k"}).Op(kGetVariable).Op(kAdd2).Op(kReturn))
            .Op(kReturn));
    Asm before;
    before.Push({0}).Store(2).Push({3, 1, "make"}).Op(kCallFunction).Store(4);
    Asm body;
    body.Push({Reg{3}, Reg{2}, 1, Reg{4}, Undef{}}).Op(kCallMethod);
    body.Push({2, "add"}).Op(kCallFunction).Push({1000}).Op(kModulo).Store(2);
    out.push_back({"calls", 50000,
                   "function add(a,b){return a+b;}function make(k){return function(x){return x+k;};}"
                   "function run(n){var f=make(3);var s=0;for(var i=0;i<n;i++){s=add(f(s),i)%1000;}"
                   "return s;}",
                   LoopFunction(5, before, body, Asm().Push({Reg{2}}), helpers)});
  }
  return out;
}

std::string RunAvm1(const Program& p, swf::avm1::Interpreter& vm) {
  Asm call;
  call.Push({"result", p.n, 1, "run"}).Op(kCallFunction).Op(kSetVariable);
  vm.RunFrameScript(call.Bytes());
  return vm.GetPathVariable("result").value_or("undefined");
}

std::string RunDuktape(const Program& p, duk_context* ctx) {
  duk_get_global_string(ctx, "run");
  duk_push_int(ctx, p.n);
  duk_call(ctx, 1);
  std::string out = duk_safe_to_string(ctx, -1);
  duk_pop(ctx);
  return out;
}

void Avm1(benchmark::State& state, const Program& p) {
  swf::avm1::Interpreter vm(8, nullptr);
  vm.SetInstructionBudget(uint64_t{1} << 40);
  vm.RunFrameScript(p.avm1);
  std::string result;
  for (auto _ : state) {
    result = RunAvm1(p, vm);
    // Each run's garbage goes, as it would between a movie's frames.
    vm.Collect();
  }
  state.SetLabel(result);
}

void Duktape(benchmark::State& state, const Program& p) {
  duk_context* ctx = duk_create_heap_default();
  duk_eval_string_noresult(ctx, p.js.c_str());
  std::string result;
  for (auto _ : state) result = RunDuktape(p, ctx);
  state.SetLabel(result);
  duk_destroy_heap(ctx);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<Program> programs = Programs();
  for (const Program& p : programs) {
    // The same answer from both, or the comparison means nothing.
    swf::avm1::Interpreter vm(8, nullptr);
    vm.SetInstructionBudget(uint64_t{1} << 40);
    vm.RunFrameScript(p.avm1);
    duk_context* ctx = duk_create_heap_default();
    duk_eval_string_noresult(ctx, p.js.c_str());
    const std::string ours = RunAvm1(p, vm), theirs = RunDuktape(p, ctx);
    duk_destroy_heap(ctx);
    if (ours != theirs) {
      std::fprintf(stderr, "%s: interpreter gives %s, Duktape %s\n", p.name, ours.c_str(),
                   theirs.c_str());
      return 1;
    }
    benchmark::RegisterBenchmark((std::string("duktape/") + p.name).c_str(), Duktape, p)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("avm1/") + p.name).c_str(), Avm1, p)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  brim::RatioReporter reporter("duktape");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
