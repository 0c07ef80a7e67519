// Resource sections come from whatever program or control file the builder is given. The first
// four bytes are the section's address, the rest its bytes. Whatever is read must come back
// unchanged from the section we write for it.
#include <cstddef>
#include <cstdint>

#include "packaging/resource_section.h"

namespace {

bool SameEntries(const std::vector<brim::ResourceEntry>& a,
                 const std::vector<brim::ResourceEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!brim::SameKey(a[i].type, b[i].type) || !brim::SameKey(a[i].name, b[i].name) ||
        a[i].language != b[i].language || a[i].codePage != b[i].codePage ||
        a[i].reserved != b[i].reserved || a[i].data != b[i].data) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint32_t rva =
      data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
  brim::ResourceTable table;
  if (table.Parse({data + 4, size - 4}, rva) != brim::ResourceStatus::kOk) {
    if (!table.Entries().empty()) __builtin_trap();
    return 0;
  }
  auto section = table.Build(rva, 512, 0);
  if (!section) return 0;
  brim::ResourceTable again;
  if (again.Parse(*section, rva) != brim::ResourceStatus::kOk) __builtin_trap();
  again.Measure(512);
  if (!SameEntries(table.Entries(), again.Entries())) __builtin_trap();
  return 0;
}
