// Per-frame cost of the surface's pixel work, at a movie's usual size and at full HD, as
// ratios to copying the same bytes with memcpy in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bench/ratio_reporter.h"
#include "render/surface_pixels.h"

namespace {

struct Frame {
  Frame(int w, int h) : pixels(static_cast<size_t>(w) * h), copy(pixels.size()) {
    view = {reinterpret_cast<uint8_t*>(pixels.data()), w, h, w * 4, 32};
  }
  // What a movie leaves after drawing: a soft-edged disc and a band of half-transparent
  // pixels on a transparent background.
  void DrawTypicalMovie() {
    const double cx = view.width / 2.0, cy = view.height / 2.0, r = view.height * 0.4;
    for (int y = 0; y < view.height; ++y) {
      uint32_t* row = view.Row(y);
      for (int x = 0; x < view.width; ++x) {
        const double d = std::hypot(x - cx, y - cy);
        const double cover = std::clamp(r - d + 0.5, 0.0, 1.0);
        uint32_t a = static_cast<uint32_t>(cover * 255);
        if (y > view.height * 0.8 && y < view.height * 0.85) a = 0x90;
        row[x] = a << 24 | (a / 2) << 16 | (a / 3) << 8 | (a / 4);
      }
    }
  }
  std::vector<uint32_t> pixels, copy;
  brim::BottomUpBitmap view;
};

class CountRuns : public brim::RunBatcher::BatchSink {
 public:
  void Flush(const brim::RunBatcher::Batch& batch) override { rects += batch.rects.size(); }
  size_t rects = 0;
};

void Memcpy(benchmark::State& state) {
  Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    std::memcpy(f.copy.data(), f.pixels.data(), f.pixels.size() * 4);
    benchmark::DoNotOptimize(f.copy.data());
  }
}

void Prefill(benchmark::State& state) {
  Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    brim::PrefillUndrawn(f.view, {0, 0, f.view.width, f.view.height});
    benchmark::DoNotOptimize(f.pixels.data());
  }
}

void FixUp(benchmark::State& state) {
  Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  f.DrawTypicalMovie();
  for (auto _ : state) {
    brim::FixUpDrawn(f.view, {0, 0, f.view.width, f.view.height});
    benchmark::DoNotOptimize(f.pixels.data());
  }
}

void ShapeRuns(benchmark::State& state) {
  Frame f(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  f.DrawTypicalMovie();
  const std::vector<uint32_t> drawn = f.pixels;
  size_t rects = 0;
  for (auto _ : state) {
    state.PauseTiming();
    f.pixels = drawn;  // the scan converts colours in place; start each frame afresh
    state.ResumeTiming();
    CountRuns sink;
    brim::RunBatcher batcher(sink);
    brim::ScanOpaqueRuns(f.view, {0, 0, f.view.width, f.view.height}, batcher);
    batcher.Finish();
    rects = sink.rects;
  }
  state.counters["rects"] = static_cast<double>(rects);
}

}  // namespace

int main(int argc, char** argv) {
  for (auto [name, fn] : {std::pair{"memcpy", &Memcpy}, std::pair{"prefill", &Prefill},
                          std::pair{"fixup", &FixUp}, std::pair{"shape-runs", &ShapeRuns}}) {
    for (auto [w, h] : {std::pair{550, 400}, std::pair{1920, 1080}}) {
      benchmark::RegisterBenchmark(
          (std::string(name) + "/" + std::to_string(w) + "x" + std::to_string(h)).c_str(), fn)
          ->Args({w, h})
          ->Unit(benchmark::kMicrosecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  brim::RatioReporter reporter("memcpy");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
