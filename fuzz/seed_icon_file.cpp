// Seeds for fuzz_icon_file: an icon with a bitmap and a PNG image, one with no images.
#include <cstdio>
#include <filesystem>
#include <tuple>
#include <vector>

#include "fuzz/seed_folder.h"
#include "tools/whole_file.h"

int main(int argc, char** argv) {
  const auto folder = SeedFolder(argc, argv, "seed_icon_file");
  if (!folder) return 2;
  const std::vector<uint8_t> bitmap(40 + 16 * 16 * 4, 0x11);
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
  std::vector<uint8_t> two = {0, 0, 1, 0, 2, 0};
  const uint32_t first = 6 + 32, second = first + static_cast<uint32_t>(bitmap.size());
  for (const auto& [side, bytes, offset] :
       {std::tuple{16, &bitmap, first}, std::tuple{0, &png, second}}) {
    two.insert(two.end(),
               {static_cast<uint8_t>(side), static_cast<uint8_t>(side), 0, 0, 1, 0, 32, 0});
    for (uint32_t v : {static_cast<uint32_t>(bytes->size()), offset}) {
      for (int i = 0; i < 4; ++i) two.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
  }
  two.insert(two.end(), bitmap.begin(), bitmap.end());
  two.insert(two.end(), png.begin(), png.end());
  if (!tools::WriteWholeFile((*folder / "seed_two").string(), two) ||
      !tools::WriteWholeFile((*folder / "seed_none").string(), {0, 0, 1, 0, 0, 0})) {
    std::fprintf(stderr, "seed_icon_file: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
