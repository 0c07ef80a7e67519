// Seeds for fuzz_resource_section: sections with numbered and named types and names, several
// languages and data of odd lengths, each behind its four-byte address.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/seed_folder.h"
#include "packaging/resource_section.h"
#include "tools/whole_file.h"

int main(int argc, char** argv) {
  const auto folder = SeedFolder(argc, argv, "seed_resource_section");
  if (!folder) return 2;
  std::vector<brim::ResourceTable> tables(3);
  const std::vector<uint8_t> bytes(7, 0x5A);
  tables[0].Update(brim::kRtVersion, 1, 0x409, bytes);
  tables[1].Update(brim::ResourceKey::Ascii("BINARY"), 235, 0x409, bytes);
  tables[1].Update(brim::kRtIcon, 1, 0, std::span<const uint8_t>(bytes.data(), 3));
  tables[1].Update(brim::kRtIcon, 1, 0x407, std::span<const uint8_t>(bytes.data(), 5));
  tables[2].Update(brim::ResourceKey::Ascii("TYPELIB"), brim::ResourceKey::Ascii("Name"), 0, bytes);
  tables[2].Update(brim::kRtGroupIcon, 211, 0, bytes);
  const uint32_t rva = 0x3000;
  int index = 0;
  for (auto& table : tables) {
    auto section = table.Build(rva, 16, 0);
    if (!section) return 1;
    std::vector<uint8_t> seed = {0x00, 0x30, 0x00, 0x00};
    seed.insert(seed.end(), section->begin(), section->end());
    if (!tools::WriteWholeFile((*folder / ("seed_" + std::to_string(index++))).string(), seed)) {
      std::fprintf(stderr, "seed_resource_section: cannot write into %s\n", argv[1]);
      return 1;
    }
  }
  return 0;
}
