// pack_start_page IN.swf OUT.bin: turns the start-page movie into the resource the program
// embeds and unscrambles at run time.
#include <cstdio>
#include <vector>

#include "app/start_page_codec.h"
#include "tools/whole_file.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pack_start_page IN.swf OUT.bin\n");
    return 2;
  }
  std::vector<uint8_t> movie;
  if (!tools::ReadWholeFile(argv[1], movie)) {
    std::fprintf(stderr, "pack_start_page: cannot read %s\n", argv[1]);
    return 1;
  }
  // Packing something that is not a movie would only fail later, inside the program.
  if (movie.size() < 3 || (movie[0] != 'F' && movie[0] != 'C') || movie[1] != 'W' ||
      movie[2] != 'S') {
    std::fprintf(stderr, "pack_start_page: %s is not a SWF file\n", argv[1]);
    return 1;
  }
  const std::vector<uint8_t> resource = brim::ScrambleStartPage(movie, brim::kStartPageKey);
  if (resource.empty()) {
    std::fprintf(stderr, "pack_start_page: %s is too large\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> check;
  if (brim::UnscrambleStartPage(resource, brim::kStartPageKey, check) !=
          brim::StartPageStatus::Ok ||
      check != movie) {
    std::fprintf(stderr, "pack_start_page: the packed resource does not read back\n");
    return 1;
  }
  if (!tools::WriteWholeFile(argv[2], resource)) {
    std::remove(argv[2]);  // a half-written resource must not look up to date
    std::fprintf(stderr, "pack_start_page: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
