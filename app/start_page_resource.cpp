#include "app/start_page_resource.h"

#include <cstdio>
#include <new>
#include <span>
#include <vector>

#include "app/start_page_codec.h"
#include "base/show_message.h"
#include "resources/resource_ids.h"

namespace brim {

int WriteStartPageMovie(HMODULE module, const char* destination, HWND owner) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_START_PAGE), "BINARY");
  if (!found) {
    ShowMessage(IDS_BINARY_NOT_FOUND, owner);
    return 0;
  }
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) {
    ShowMessage(IDS_BINARY_LOAD_FAILED, owner);
    return 0;
  }
  const void* bytes = LockResource(loaded);
  if (!bytes) {
    ShowMessage(IDS_BINARY_LOCK_FAILED, owner);
    return 0;
  }
  std::vector<uint8_t> movie;
  StartPageStatus status;
  try {
    status = UnscrambleStartPage(std::span(static_cast<const uint8_t*>(bytes), size), kStartPageKey,
                                 movie);
  } catch (const std::bad_alloc&) {
    ShowMessage(IDS_OUT_OF_MEMORY, owner);
    return 0;
  }
  // A damaged resource is reported like the memory failure the user can do nothing about.
  if (status != StartPageStatus::Ok) {
    ShowMessage(IDS_OUT_OF_MEMORY, owner);
    return 0;
  }
  if (std::FILE* out = std::fopen(destination, "w+b")) {
    std::fwrite(movie.data(), 1, movie.size(), out);
    std::fclose(out);
  }
  return 1;
}

}  // namespace brim
