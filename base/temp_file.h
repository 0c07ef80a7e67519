#pragma once
// Temporary files of this run: named "QVL….tmp" in the temporary folder (the Windows folder
// when there is none), created empty by the naming itself so that no other run can take the name.
#include <windows.h>

#include "base/bounded_text.h"

namespace brim {

// A new file of this run in `folder`.
inline bool MakeTempFileNameIn(const char* folder, char (&path)[kPathCapacity]) {
  if (GetTempFileNameA(folder, "QVL", 0, path) == 0) {
    path[0] = '\0';
    return false;
  }
  return true;
}

inline bool MakeTempFileName(char (&path)[kPathCapacity]) {
  char directory[kPathCapacity];
  const DWORD n = GetTempPathA(sizeof directory, directory);
  if (n == 0 || n >= sizeof directory) {
    const UINT w = GetWindowsDirectoryA(directory, sizeof directory);
    if (w == 0 || w >= sizeof directory) return false;
  }
  return MakeTempFileNameIn(directory, path);
}

}  // namespace brim
