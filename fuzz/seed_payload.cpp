// Seeds for fuzz_payload: real payloads behind a few stand-in executables.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/seed_folder.h"
#include "packaging/payload_format.h"
#include "tools/swf_builder.h"
#include "tools/whole_file.h"

int main(int argc, char** argv) {
  const auto folder = SeedFolder(argc, argv, "seed_payload");
  if (!folder) return 2;
  const std::filesystem::path& dir = *folder;

  std::vector<uint8_t> exe(200, 0x90);
  exe[0] = 'M';
  exe[1] = 'Z';
  swfb::Movie movie;
  movie.ShowFrame();
  const std::vector<uint8_t> fws = movie.Build();
  movie.Header().compressed = true;
  const std::vector<uint8_t> cws = movie.Build();
  const std::vector<uint8_t> runtime(64, 'R');

  const brim::PayloadContents payloads[] = {
      {6 * 65536, 29 * 65536, "\\Flash.ocx", {}, fws},
      {9 * 65536, 0, "\\flash.ocx", runtime, cws},
      {0, 0, "a", runtime, fws},
  };
  int index = 0;
  for (const auto& payload : payloads) {
    std::vector<uint8_t> file = exe;
    if (!brim::AppendPayload(file, payload) ||
        !tools::WriteWholeFile((dir / ("seed_" + std::to_string(index++))).string(), file)) {
      std::fprintf(stderr, "seed_payload: cannot write seed %d\n", index);
      return 1;
    }
  }
  return 0;
}
