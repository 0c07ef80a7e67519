// Seeds for fuzz_start_page: scrambled resources of a small movie and of an empty one.
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/start_page_codec.h"
#include "fuzz/seed_folder.h"
#include "tools/swf_builder.h"
#include "tools/whole_file.h"

int main(int argc, char** argv) {
  const auto folder = SeedFolder(argc, argv, "seed_start_page");
  if (!folder) return 2;
  const std::filesystem::path& dir = *folder;

  swfb::Movie movie({.compressed = true});
  movie.SetBackgroundColor({0, 0, 0, 255});
  movie.ShowFrame();
  const std::vector<uint8_t> swf = movie.Build();
  const std::vector<uint8_t> odd(swf.begin(), swf.begin() + 7);
  if (!tools::WriteWholeFile((dir / "seed_movie").string(),
                             brim::ScrambleStartPage(swf, brim::kStartPageKey)) ||
      !tools::WriteWholeFile((dir / "seed_odd").string(),
                             brim::ScrambleStartPage(odd, brim::kStartPageKey)) ||
      !tools::WriteWholeFile((dir / "seed_empty").string(),
                             brim::ScrambleStartPage({}, brim::kStartPageKey))) {
    std::fprintf(stderr, "seed_start_page: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
