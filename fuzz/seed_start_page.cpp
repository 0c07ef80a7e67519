// Seeds for fuzz_start_page: scrambled resources of a small movie and of an empty one.
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/start_page_codec.h"
#include "tools/swf_builder.h"

namespace {

bool Save(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.string().c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seed_start_page DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);

  swfb::Movie movie({.compressed = true});
  movie.SetBackgroundColor({0, 0, 0, 255});
  movie.ShowFrame();
  const std::vector<uint8_t> swf = movie.Build();
  const std::vector<uint8_t> odd(swf.begin(), swf.begin() + 7);
  if (!Save(dir / "seed_movie", brim::ScrambleStartPage(swf, brim::kStartPageKey)) ||
      !Save(dir / "seed_odd", brim::ScrambleStartPage(odd, brim::kStartPageKey)) ||
      !Save(dir / "seed_empty", brim::ScrambleStartPage({}, brim::kStartPageKey))) {
    std::fprintf(stderr, "seed_start_page: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
