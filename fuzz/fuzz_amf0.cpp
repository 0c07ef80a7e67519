// AMF0 comes from other movies and from servers. The reader must end on any input with its tree
// within the nesting bound; what it read must become script objects (references, cycles and
// all) that the writer writes back into bytes the reader takes whole.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/avm1/amf0.h"
#include "player/avm1/interpreter.h"

namespace {

size_t Depth(const swf::avm1::AmfNode& node) {
  size_t deepest = 0;
  for (const auto& item : node.items) deepest = std::max(deepest, Depth(item) + 1);
  return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static swf::avm1::Interpreter vm(8, nullptr);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<swf::avm1::Value> values;
  swf::avm1::AmfObjects objects(vm);
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t before = pos;
    const auto node = swf::avm1::ReadAmf0(bytes, pos);
    if (!node) {
      if (pos != before) __builtin_trap();  // a refused value moves nothing
      break;
    }
    if (pos <= before || pos > bytes.size()) __builtin_trap();
    if (Depth(*node) > swf::avm1::kMaxAmfDepth) __builtin_trap();
    values.push_back(objects.Make(*node));
  }
  std::string written;
  swf::avm1::WriteAmf0(vm, values, written);
  size_t at = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    if (!swf::avm1::ReadAmf0(written, at)) __builtin_trap();
  }
  if (at != written.size()) __builtin_trap();
  values.clear();
  vm.Collect();
  return 0;
}
