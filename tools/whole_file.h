#pragma once
// Whole files in and out, for the build-machine tools and test programs.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tools {

inline bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// False when the file cannot be made or any byte did not reach it.
inline bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace tools
