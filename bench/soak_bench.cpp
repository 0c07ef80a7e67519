// A movie whose every frame makes a thousand pairs of objects that point at each other and
// drops the previous thousand, played for N frames (default 3000): the script heap must stay
// the same size however long it plays.
//   soak_bench [N]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/avm1_assembler.h"
#include "player/player.h"
#include "tools/swf_builder.h"

int main(int argc, char** argv) {
  // Arguments meant for the other benchmarks (--benchmark_...) leave the default.
  const long given = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  const long frames = given > 0 ? given : 3000;
  using brim::Asm;
  using brim::Reg;
  // keep = []; for (i = 0; i < 1000; i++) { a = {}; b = {other: a}; a.other = b; keep.push(a); }
  Asm body;
  body.Push({0, "Object"}).Op(0x40).Store(2);                  // a = new Object()
  body.Push({"other", Reg{2}, 1}).Op(0x43).Store(4);           // b = {other: a}
  body.Push({Reg{2}, "other", Reg{4}}).Op(0x4F);               // a.other = b
  body.Push({Reg{2}, 1, "keep"}).Op(0x1C).Push({"push"}).Op(0x52).Op(0x17);
  Asm f;
  f.Push({"keep", 0}).Op(0x42).Op(0x1D);
  f.Push({0}).Store(3).Label("top").Push({Reg{3}, 1000}).Op(0x48).Op(0x12).If("end");
  f.Then(body).Push({Reg{3}}).Op(0x50).Store(3).Jump("top").Label("end");
  Asm script;
  script.Function("churn", {}, 5, f).Push({0, "churn"}).Op(0x3D).Op(0x17);

  swfb::Movie movie;
  const std::vector<uint8_t> code = script.Bytes();
  movie.DoAction(code).ShowFrame().ShowFrame();
  const std::vector<uint8_t> file = movie.Build();
  swf::Player player;
  if (!player.Load(file).Ok()) {
    std::fprintf(stderr, "soak_bench: the movie does not load\n");
    return 1;
  }
  const size_t start = player.ScriptObjectCount();
  size_t peak = start;
  const auto begun = std::chrono::steady_clock::now();
  for (long i = 1; i < frames; ++i) {
    player.Tick();
    if (player.ScriptObjectCount() > peak) peak = player.ScriptObjectCount();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
  std::printf("soak: %ld frames in %.2f s, script objects at start %zu, peak %zu, end %zu\n",
              frames, seconds, start, peak, player.ScriptObjectCount());
  // Growing with the frame count means something keeps the garbage.
  return peak < start + 10 * 2000 ? 0 : 1;
}
