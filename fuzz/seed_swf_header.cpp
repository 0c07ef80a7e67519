// Seeds for fuzz_swf_header: small movies, plain and compressed, with a few stage rectangles.
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz/seed_folder.h"
#include "tools/swf_builder.h"

int main(int argc, char** argv) {
  const auto folder = SeedFolder(argc, argv, "seed_swf_header");
  if (!folder) return 2;
  const std::filesystem::path& dir = *folder;

  const swfb::Rect stages[] = {{0, 11000, 0, 8000}, {-200, 10800, 0, 8000}, {0, 11010, 0, 20}};
  int index = 0;
  for (const auto& stage : stages) {
    for (bool compressed : {false, true}) {
      swfb::Movie movie({.stage = stage, .compressed = compressed});
      movie.SetBackgroundColor({255, 255, 255, 255});
      movie.ShowFrame();
      if (!movie.Save((dir / ("seed_" + std::to_string(index++) + ".swf")).string())) {
        std::fprintf(stderr, "seed_swf_header: cannot write into %s\n", argv[1]);
        return 1;
      }
    }
  }
  return 0;
}
