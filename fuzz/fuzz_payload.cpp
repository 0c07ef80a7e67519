// Projector payloads come from whatever file the program was started as.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "packaging/payload_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brim::MemoryByteSource source({data, size});
  brim::PayloadInfo info;
  if (brim::LocatePayload(source, info)) {
    // Whatever was accepted must describe bytes that are really there.
    const int64_t trailer = static_cast<int64_t>(size) - static_cast<int64_t>(brim::kTrailerSize);
    if (info.movieOffset < info.runtimeOffset || info.movieLength < 3 ||
        info.movieOffset + info.movieLength != trailer ||
        std::strlen(info.runtimeName) >= brim::kRuntimeNameCapacity) {
      __builtin_trap();
    }
  }
  return 0;
}
