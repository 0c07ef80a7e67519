#include "packaging/output_files_win32.h"

#include <windows.h>

#include "base/temp_file.h"

namespace brim {

std::optional<std::string> Win32OutputFiles::CreateTempBeside(const std::string& destination) {
  const size_t separator = destination.find_last_of("\\/");
  const std::string folder =
      separator == std::string::npos ? std::string(".") : destination.substr(0, separator + 1);
  if (folder.size() >= kPathCapacity) return std::nullopt;
  char path[kPathCapacity];
  if (!MakeTempFileNameIn(folder.c_str(), path)) return std::nullopt;
  return std::string(path);
}

bool Win32OutputFiles::Replace(const std::string& temp, const std::string& destination) {
  return MoveFileExA(temp.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace brim
