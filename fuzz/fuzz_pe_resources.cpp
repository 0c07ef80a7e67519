// The builder edits the resources of a program file it is given: headers, section table and
// resource section are all outside bytes. A rewrite that is made must read back the same.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "packaging/resource_updater.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brim::MemoryByteSource source({data, size});
  brim::ResourceEdit edit;
  if (edit.Begin(source) != brim::ResourceStatus::kOk) return 0;
  const size_t count = edit.Resources().Entries().size();
  std::vector<brim::FilePatch> patches;
  if (edit.Prepare(1, patches) != brim::ResourceStatus::kOk) return 0;
  std::vector<uint8_t> image(data, data + size);
  brim::ApplyPatches(image, patches);
  if (image.size() < size) __builtin_trap();
  brim::MemoryByteSource rewritten(image);
  brim::ResourceEdit again;
  if (again.Begin(rewritten) != brim::ResourceStatus::kOk ||
      again.Resources().Entries().size() != count) {
    __builtin_trap();
  }
  return 0;
}
