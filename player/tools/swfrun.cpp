// swfrun: plays a movie without drawing it and prints what its scripts trace.
//   swfrun movie.swf [--frames N] [--view WxH] [--log-pages]
// --view shows the movie in a window of that many pixels, as a projector window would;
// --log-pages prints among its trace lines each page the movie asks to open (with what it sends)
// and each request with a body or socket of its own.
// The first frame counts as 1; N defaults to 1. Movies and variables the movie loads are read
// from files named relative to the movie's folder.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/folder_loads.h"
#include "player/player.h"
#include "player/text/device_fonts_native.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: swfrun movie.swf [--frames N] [--view WxH] [--log-pages]\n");
    return 2;
  }
  long frames = 1;
  int viewWidth = 0, viewHeight = 0;
  bool logPages = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) {
      frames = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--log-pages") {
      logPages = true;
    } else if (arg == "--view" && i + 1 < argc &&
               std::sscanf(argv[++i], "%dx%d", &viewWidth, &viewHeight) == 2) {
    } else {
      std::fprintf(stderr, "swfrun: unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  auto read = [](const std::filesystem::path& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), {});
    return true;
  };
  std::vector<uint8_t> bytes;
  if (!read(argv[1], bytes)) {
    std::fprintf(stderr, "swfrun: cannot read %s\n", argv[1]);
    return 1;
  }
  swf::NativeDeviceFonts fonts;
  swf::Player player;
  player.SetDeviceFonts(&fonts);
  if (viewWidth > 0 && viewHeight > 0) {
    player.SetViewport(swf::ScaleMode::ShowAll, viewWidth, viewHeight);
  }
  swf::FolderLoads loads(player, std::filesystem::path(argv[1]).parent_path());
  if (logPages) {
    loads.Watch([](const swf::Player::UrlRequest& r) {
      for (const std::string& line : swf::DescribeRequest(r)) std::printf("%s\n", line.c_str());
    });
  }
  player.SetTraceSink([](std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  });
  const swf::MovieError e = player.Load(bytes);
  if (!e.Ok()) {
    std::fprintf(stderr, "swfrun: %s is not a movie this player can read\n", argv[1]);
    return 1;
  }
  loads.Deliver();
  for (long f = 1; f < frames; ++f) {
    player.Tick();
    loads.Deliver();
  }
  return 0;
}
