#pragma once
#include <windows.h>

namespace brim {

// Writes the start-page movie kept in `module`'s resources to `destination`. 1 when the
// resource was found and intact (also when the destination could not be opened: nothing is
// written then), 0 after a reported failure.
int WriteStartPageMovie(HMODULE module, const char* destination, HWND owner);

}  // namespace brim
