// make_projector: appends a movie payload to an executable, the way the projector builder does,
// and on request breaks it in one chosen way, for tests of the payload reader.
//
//   make_projector --exe IN.exe --out OUT.exe --movie M.swf [--runtime FILE]
//                  [--runtime-name NAME] [--version MS LS]
//                  [--damage trailer-length-plus-one|movie-signature]
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "packaging/payload_format.h"
#include "tools/whole_file.h"

namespace {

bool ParseU32(const char* text, uint32_t& value) {
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0' || parsed > 0xFFFFFFFFull) return false;
  value = static_cast<uint32_t>(parsed);
  return true;
}

void StoreU32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

int Usage() {
  std::fprintf(stderr,
               "usage: make_projector --exe IN.exe --out OUT.exe --movie M.swf [--runtime FILE]\n"
               "         [--runtime-name NAME] [--version MS LS]\n"
               "         [--damage trailer-length-plus-one|movie-signature]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* exePath = nullptr;
  const char* outPath = nullptr;
  const char* moviePath = nullptr;
  const char* runtimePath = nullptr;
  std::string runtimeName = "\\flash.ocx";
  std::string damage;
  brim::PayloadContents contents;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--exe" && hasValue) {
      exePath = argv[++i];
    } else if (arg == "--out" && hasValue) {
      outPath = argv[++i];
    } else if (arg == "--movie" && hasValue) {
      moviePath = argv[++i];
    } else if (arg == "--runtime" && hasValue) {
      runtimePath = argv[++i];
    } else if (arg == "--runtime-name" && hasValue) {
      runtimeName = argv[++i];
    } else if (arg == "--damage" && hasValue) {
      damage = argv[++i];
    } else if (arg == "--version" && i + 2 < argc) {
      if (!ParseU32(argv[i + 1], contents.flashVersionMS) ||
          !ParseU32(argv[i + 2], contents.flashVersionLS)) {
        return Usage();
      }
      i += 2;
    } else {
      return Usage();
    }
  }
  if (exePath == nullptr || outPath == nullptr || moviePath == nullptr) return Usage();
  if (!damage.empty() && damage != "trailer-length-plus-one" && damage != "movie-signature") {
    return Usage();
  }

  std::vector<uint8_t> file;
  std::vector<uint8_t> movie;
  std::vector<uint8_t> runtime;
  for (const auto& [path, bytes] : {std::pair{exePath, &file}, std::pair{moviePath, &movie},
                                    std::pair{runtimePath, &runtime}}) {
    if (path != nullptr && !tools::ReadWholeFile(path, *bytes)) {
      std::fprintf(stderr, "make_projector: cannot read %s\n", path);
      return 1;
    }
  }

  const size_t payloadStart = file.size();
  contents.runtimeName = runtimeName.c_str();
  contents.runtime = runtime;
  contents.movie = movie;
  if (!brim::AppendPayload(file, contents)) {
    std::fprintf(stderr, "make_projector: the payload does not fit the format\n");
    return 1;
  }

  const size_t trailer = file.size() - brim::kTrailerSize;
  if (damage == "trailer-length-plus-one") {
    StoreU32(&file[trailer + 8], static_cast<uint32_t>(trailer - payloadStart + 1));
  } else if (damage == "movie-signature") {
    // Every length stays as written; only the movie no longer starts like a SWF file.
    const size_t movieOffset = trailer - movie.size();
    if (movie.empty()) {
      std::fprintf(stderr, "make_projector: no movie bytes to damage\n");
      return 1;
    }
    file[movieOffset] = 'X';
  }

  if (!tools::WriteWholeFile(outPath, file)) {
    std::remove(outPath);
    std::fprintf(stderr, "make_projector: cannot write %s\n", outPath);
    return 1;
  }
  return 0;
}
