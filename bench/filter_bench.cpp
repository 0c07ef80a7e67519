// Blur filters on a layer, as ratios to a straightforward blur that sums every tap of the box
// for every pixel ("naive/WxH"): the running sums should win by about the box's width, and
// stay flat when the box grows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/ratio_reporter.h"
#include "player/raster/filters.h"

namespace {

constexpr double kBlur = 31;
constexpr int kPasses = 2;

std::vector<uint32_t> Layer(int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (i / 7) % 3 ? 0xFF804020u : 0;
  return pixels;
}

// The same blur, one tap at a time.
void NaiveBlur(std::vector<uint32_t>& pixels, int width, int height, int taps) {
  std::vector<uint32_t> out(pixels.size());
  const int r = taps / 2;
  for (int pass = 0; pass < kPasses; ++pass) {
    for (int dir = 0; dir < 2; ++dir) {
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          uint32_t sums[4] = {};
          for (int k = -r; k <= r; ++k) {
            const int sx = dir == 0 ? x + k : x, sy = dir == 0 ? y : y + k;
            if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
            const uint32_t p = pixels[static_cast<size_t>(sy) * width + sx];
            for (int c = 0; c < 4; ++c) sums[c] += (p >> (8 * c)) & 255;
          }
          uint32_t v = 0;
          for (int c = 0; c < 4; ++c) v |= (sums[c] / taps) << (8 * c);
          out[static_cast<size_t>(y) * width + x] = v;
        }
      }
      pixels.swap(out);
    }
  }
}

void Naive(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<uint32_t> pixels = Layer(w, h);
  for (auto _ : state) {
    NaiveBlur(pixels, w, h, static_cast<int>(kBlur));
    benchmark::DoNotOptimize(pixels.data());
  }
}

void Blur(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<uint32_t> pixels = Layer(w, h);
  swf::Filter f;
  f.kind = swf::FilterKind::Blur;
  f.blurX = f.blurY = kBlur;
  f.passes = kPasses;
  for (auto _ : state) {
    swf::raster::ApplyFilter(f, 1, pixels, w, h);
    benchmark::DoNotOptimize(pixels.data());
  }
}

}  // namespace

BENCHMARK(Naive)->Args({256, 256})->Args({550, 400})->Unit(benchmark::kMillisecond);
BENCHMARK(Blur)->Args({256, 256})->Args({550, 400})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  brim::RatioReporter reporter("Naive");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
