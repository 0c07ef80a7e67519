// XML text comes from whatever a movie loads or builds. The reader must end on any input with
// its tree within the depth and node bounds, and a decoded escape must give back what went in.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "player/avm1/xml_parser.h"

namespace {

size_t Check(const std::vector<swf::avm1::XmlTreeNode>& nodes, size_t depth) {
  if (depth > swf::avm1::kMaxXmlDepth + 1) __builtin_trap();
  size_t count = nodes.size();
  for (const auto& n : nodes) count += Check(n.children, depth + 1);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const bool ignoreWhite : {false, true}) {
    const swf::avm1::XmlDocument doc = swf::avm1::ParseXml(text, ignoreWhite);
    if (Check(doc.nodes, 0) > swf::avm1::kMaxXmlNodes) __builtin_trap();
    if (doc.status > 0 || doc.status < -10) __builtin_trap();
  }
  if (swf::avm1::DecodeXmlEntities(swf::avm1::EscapeXml(text)) != text) __builtin_trap();
  return 0;
}
