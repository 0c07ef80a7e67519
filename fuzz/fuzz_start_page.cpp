// The start-page resource is read from the program's own image, which anyone can edit.
#include <cstddef>
#include <cstdint>

#include "app/start_page_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> movie;
  const brim::StartPageStatus status =
      brim::UnscrambleStartPage({data, size}, brim::kStartPageKey, movie);
  if (status != brim::StartPageStatus::Ok) return 0;
  if (movie.size() + 8 > size) __builtin_trap();
  // Whatever reads back must pack into a resource that reads back the same.
  std::vector<uint8_t> again;
  if (brim::UnscrambleStartPage(brim::ScrambleStartPage(movie, brim::kStartPageKey),
                                brim::kStartPageKey, again) != brim::StartPageStatus::Ok ||
      again != movie) {
    __builtin_trap();
  }
  return 0;
}
