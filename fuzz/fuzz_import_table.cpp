// Import tables come from whatever module a control brings along: any bytes, as a file and as
// a mapped image.
#include <cstddef>
#include <cstdint>

#include "render/import_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (brim::ImageLayout layout : {brim::ImageLayout::kFile, brim::ImageLayout::kMapped}) {
    const brim::ImportTable table = brim::ReadImportTable({data, size}, layout);
    for (const auto& module : table.modules) {
      for (const auto& slot : module.slots) {
        // Every slot the walk reports lies inside the image it was given.
        if (layout == brim::ImageLayout::kMapped && slot.slotRva >= size) __builtin_trap();
      }
    }
  }
  brim::MappedImageSize({data, size});
  return 0;
}
