#include "packaging/pe_machine.h"

#include "base/pe_layout.h"

namespace brim {

namespace {

using pe::kNewHeaderOffsetField;

}  // namespace

std::optional<uint16_t> ReadPeMachine(ByteSource& source) {
  uint8_t dos[kNewHeaderOffsetField + 4];
  if (!source.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const int64_t newHeader = LoadU32(dos + kNewHeaderOffsetField);
  uint8_t pe[6];
  if (!source.ReadAt(newHeader, pe, sizeof pe) || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 ||
      pe[3] != 0) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(pe[4] | (pe[5] << 8));
}

}  // namespace brim
