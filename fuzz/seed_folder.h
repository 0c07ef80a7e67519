#pragma once
// The folder a seed program writes into: its one argument, made if missing.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

inline std::optional<std::filesystem::path> SeedFolder(int argc, char** argv, const char* name) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", name);
    return std::nullopt;
  }
  std::filesystem::path dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  return dir;
}
