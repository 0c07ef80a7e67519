#pragma once
#include <windows.h>

namespace brim {

// The one way the program reports a failure to the user: string `id` from the string table in
// a message box captioned "Quorvel" with a single OK button. A missing string shows nothing and
// gives 0.
int ShowMessage(UINT id, HWND owner);

}  // namespace brim
