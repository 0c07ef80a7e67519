// Arbitrary bytes as a frame script, run under the instruction budget: the first byte picks the
// movie version, the rest is the action block. A second run checks the interpreter is still
// usable after whatever the first did, with movie time passed (timers fire) and the heap
// collected in between.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "player/avm1/interpreter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int version = 4 + data[0] % 5;  // SWF 4 to 8
  const std::span<const uint8_t> code(data + 1, size - 1);
  swf::avm1::Interpreter vm(version, nullptr);
  // A smaller budget than a movie gets keeps endless loops from slowing the search down.
  vm.SetInstructionBudget(100'000);
  size_t traced = 0;
  vm.SetTrace([&](std::string_view line) { traced += line.size(); });
  vm.RunFrameScript(code);
  vm.AdvanceClock(1000);
  vm.Collect();
  vm.RunFrameScript(code);
  vm.AdvanceClock(1000);
  return 0;
}
