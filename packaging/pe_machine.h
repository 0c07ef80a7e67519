#pragma once
// Which processor a PE module is built for. A process can load only modules of its own
// machine type, so a projector checks a player control before loading it rather than let the
// loader fail somewhere inside the control's set-up.
#include <cstdint>
#include <optional>

#include "packaging/payload_format.h"

namespace brim {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
// The machine type of the program this code is compiled into.
constexpr uint16_t kOwnMachine = sizeof(void*) == 8 ? kMachineAmd64 : kMachineI386;

// The file header's machine field of a PE image: "MZ", the new-header offset at 0x3C, "PE\0\0"
// there and the machine right after it. Nothing when any of that is missing or out of range.
std::optional<uint16_t> ReadPeMachine(ByteSource& source);

// Whether the image in `source` is one this program could load.
inline bool IsOwnMachine(ByteSource& source) { return ReadPeMachine(source) == kOwnMachine; }

}  // namespace brim
