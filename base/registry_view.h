#pragma once
// The registry view of this program's own bitness. A 64-bit program reads and writes the 64-bit
// view, a 32-bit one the 32-bit view, as Windows gives each by default; saying so on every key we
// open keeps a control and the projector that looks it up on the same side.
#include <windows.h>

namespace brim {

#if defined(_WIN64)
constexpr REGSAM kOwnRegistryView = KEY_WOW64_64KEY;
#else
constexpr REGSAM kOwnRegistryView = KEY_WOW64_32KEY;
#endif

}  // namespace brim
