#pragma once
// Failures on request, for the test build of the control only (flash_faulty.ocx): the
// environment variable BRIMLOFT_FAULT names the one step that fails, so that tests can see what
// a host does with a control that refuses it. In the shipped control this is always false.
#include <windows.h>

#include <cstring>

namespace brim {

inline bool FaultRequested([[maybe_unused]] const char* step) {
#if defined(BRIMLOFT_FAULT_INJECTION)
  char wanted[64] = {};
  const DWORD n = GetEnvironmentVariableA("BRIMLOFT_FAULT", wanted, sizeof wanted);
  return n > 0 && n < sizeof wanted && std::strcmp(wanted, step) == 0;
#else
  return false;
#endif
}

}  // namespace brim
