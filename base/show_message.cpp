#include "base/show_message.h"

namespace brim {

int ShowMessage(UINT id, HWND owner) {
  char text[256];
  if (LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text) <= 0) return 0;
  return MessageBoxA(owner, text, "Quorvel", MB_OK);
}

}  // namespace brim
