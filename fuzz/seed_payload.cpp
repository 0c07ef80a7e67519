// Seeds for fuzz_payload: real payloads behind a few stand-in executables.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "packaging/payload_format.h"
#include "tools/swf_builder.h"

namespace {

bool Save(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.string().c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seed_payload DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);

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
        !Save(dir / ("seed_" + std::to_string(index++)), file)) {
      std::fprintf(stderr, "seed_payload: cannot write seed %d\n", index);
      return 1;
    }
  }
  return 0;
}
