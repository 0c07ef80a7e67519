// Icon files are whatever the user picked. What is accepted must lie inside the file, and
// must make icon groups that list exactly the images they were given.
#include <cstddef>
#include <cstdint>

#include "packaging/icon_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brim::IconFile icon;
  if (brim::ReadIconFile({data, size}, icon) != brim::IconStatus::kOk) return 0;
  for (const auto& image : icon.images) {
    if (image.bytes.data() < data || image.bytes.data() + image.bytes.size() > data + size ||
        image.bytes.empty()) {
      __builtin_trap();
    }
  }
  brim::ResourceTable table;
  const uint16_t next = brim::ReplaceIconGroups(table, &icon, &icon);
  const size_t images = icon.images.size();
  if (images < 0x7FFF && (next != 1 + 2 * images || table.Entries().size() != 2 * images + 2)) {
    __builtin_trap();
  }
  return 0;
}
