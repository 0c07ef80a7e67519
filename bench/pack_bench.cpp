// Building a projector from a 20 MB movie, as a ratio to copying a file of the projector's
// size (what cp does) in the same run: the cost above the copy is the resource edit and the
// compression of the control. A Wine program stands in for ours and a 1.8 MB Wine DLL for the
// player control.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/ratio_reporter.h"
#include "packaging/projector_builder.h"
#include "tools/whole_file.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kWine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";

struct Setup {
  fs::path dir;
  brim::BuildRequest request;
  std::string sameSize;  // a file as long as the projector, for the copy
  bool ok = false;

  Setup() {
    dir = fs::temp_directory_path() / ("brimloft_pack_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Bitmaps and sounds make up most of a large movie, and they do not compress further.
    std::vector<uint8_t> movie = {'F', 'W', 'S', 6};
    uint32_t seed = 1;
    movie.resize(20 << 20);
    for (size_t i = 4; i < movie.size(); ++i)
      movie[i] = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    request.basePath = std::string(kWine) + "notepad.exe";
    request.controlPath = std::string(kWine) + "d3d9.dll";
    request.moviePath = (dir / "movie.swf").string();
    request.outputPath = (dir / "Game.exe").string();
    request.resourceTime = 1;
    if (!tools::WriteWholeFile(request.moviePath, movie)) return;
    brim::PosixOutputFiles files;
    if (brim::BuildProjector(request, files).status != brim::BuildStatus::kDone) return;
    sameSize = (dir / "same_size.bin").string();
    fs::copy_file(request.outputPath, sameSize);
    ok = true;
  }
  ~Setup() { fs::remove_all(dir); }
};

Setup* g_setup = nullptr;

void Copy(benchmark::State& state) {
  const fs::path to = g_setup->dir / "copy.bin";
  for (auto _ : state) {
    fs::copy_file(g_setup->sameSize, to, fs::copy_options::overwrite_existing);
  }
}

void Build(benchmark::State& state) {
  brim::PosixOutputFiles files;
  for (auto _ : state) {
    if (brim::BuildProjector(g_setup->request, files).status != brim::BuildStatus::kDone) {
      state.SkipWithError("the build failed");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Setup setup;
  if (!setup.ok) {
    std::fprintf(stderr, "pack_bench: cannot build from %snotepad.exe and d3d9.dll\n", kWine);
    return 1;
  }
  g_setup = &setup;
  benchmark::RegisterBenchmark("cp/20MB", &Copy)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("build/20MB", &Build)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  brim::RatioReporter reporter("cp");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
