// brimloft-pack: builds a stand-alone projector without a desktop session, from the same code
// as the program's own "Create Projector".
//
//   brimloft-pack --player flash.ocx --movie game.swf [--icon app.ico] [--icon2 tray.ico]
//                 --base Brimloft.exe -o Game.exe
//
// Prints what it wrote; on any failure prints one line saying why and exits non-zero, leaving
// the destination as it was. Unlike the desktop, it refuses icons it cannot use and movies
// that are not SWF files. Resource
// directories new to the program get the time in SOURCE_DATE_EPOCH when it is set, so that the
// same inputs give the same file.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "packaging/projector_builder.h"
#include "packaging/resource_updater.h"
#if defined(_WIN32)
#include "packaging/projector_win32.h"
#endif

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: brimloft-pack --player flash.ocx --movie game.swf [--icon app.ico]\n"
               "                     [--icon2 tray.ico] --base Brimloft.exe -o Game.exe\n");
  return 2;
}

double Percent(uint64_t part, uint64_t whole) {
  return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

}  // namespace

int main(int argc, char** argv) {
  brim::BuildRequest request;
  request.iconsRequired = true;
  struct {
    const char* flag;
    std::string* value;
  } const options[] = {
      {"--player", &request.controlPath}, {"--movie", &request.moviePath},
      {"--icon", &request.mainIconPath},  {"--icon2", &request.secondIconPath},
      {"--base", &request.basePath},      {"-o", &request.outputPath},
  };
  for (int i = 1; i < argc; ++i) {
    bool known = false;
    for (const auto& o : options) {
      if (std::strcmp(argv[i], o.flag) == 0 && i + 1 < argc && o.value->empty() &&
          argv[i + 1][0] != '\0') {
        *o.value = argv[++i];
        known = true;
        break;
      }
    }
    if (!known) return Usage();
  }
  if (request.controlPath.empty() || request.moviePath.empty() || request.basePath.empty() ||
      request.outputPath.empty()) {
    return Usage();
  }
  request.resourceTime = brim::CurrentResourceTime();
  // A projector finds its movie only by the signature of an SWF file; anything else would be
  // packed, and the projector would start without it. The desktop does not look; we do.
  if (std::FILE* movie = std::fopen(request.moviePath.c_str(), "rb")) {
    char signature[3] = {};
    const size_t got = std::fread(signature, 1, sizeof signature, movie);
    std::fclose(movie);
    if (got != sizeof signature || (signature[0] != 'F' && signature[0] != 'C') ||
        signature[1] != 'W' || signature[2] != 'S') {
      std::fprintf(stderr, "brimloft-pack: %s is not an SWF movie (FWS or CWS)\n",
                   request.moviePath.c_str());
      return 1;
    }
  }

#if defined(_WIN32)
  brim::Win32OutputFiles files;
#else
  brim::PosixOutputFiles files;
#endif
  const brim::BuildReport r = brim::BuildProjector(request, files);
  if (r.status != brim::BuildStatus::kDone) {
    std::fprintf(stderr, "brimloft-pack: %s (%s)\n", brim::BuildStatusText(r.status),
                 r.detail.c_str());
    return 1;
  }

  std::printf("wrote %s: %" PRIu64 " bytes\n", request.outputPath.c_str(), r.outputSize);
  std::printf("  program  %" PRIu64 " bytes (from %" PRIu64 ")%s%s%s\n", r.imageSize, r.baseSize,
              r.startPageRemoved ? ", start page removed" : "",
              r.mainIconReplaced ? ", icon 211 replaced" : "",
              r.secondIconReplaced ? ", icon 222 replaced" : "");
  if (r.resourceStatus != brim::ResourceStatus::kOk) {
    std::printf("  program  resources left as they were: %s\n",
                brim::ResourceStatusText(r.resourceStatus));
  }
  std::printf("  player   %u.%u.%u.%u, %" PRIu64 " bytes compressed to %" PRIu64 " (%.1f%%)\n",
              r.flashVersionMS >> 16, r.flashVersionMS & 0xFFFF, r.flashVersionLS >> 16,
              r.flashVersionLS & 0xFFFF, r.controlSize, r.compressedControlSize,
              Percent(r.compressedControlSize, r.controlSize));
  std::printf("  movie    %" PRIu64 " bytes\n", r.movieSize);
  return 0;
}
