// A player control's file comes from a projector's payload or from whatever the registry names.
#include <cstddef>
#include <cstdint>

#include "packaging/pe_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brim::MemoryByteSource source({data, size});
  const auto machine = brim::ReadPeMachine(source);
  // Whatever was accepted must have been read from bytes that are really there.
  if (machine && (size < 0x40 || data[0] != 'M' || data[1] != 'Z')) __builtin_trap();
  return 0;
}
