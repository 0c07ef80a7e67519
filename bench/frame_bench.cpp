// Whole frames at 1920x1080 drawn by the engine: a filter-heavy one (panels each carrying a
// drop shadow, blur, glow, bevel, gradient glow, colour matrix, convolution and gradient bevel),
// the same panels without their filters, and a text-heavy one (wrapped paragraphs in device
// fonts). Each is reported as a ratio to memcpy of one frame's bytes, so the figures travel
// between machines; the filter frame over the plain one is what the filters cost.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "player/player.h"
#include "player/text/device_fonts_native.h"
#include "tools/swf_builder.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kColumns = 8, kRows = 6;

swfb::Movie Stage() {
  swfb::MovieHeader header;
  header.stage = {0, swfb::ToTwips(kWidth), 0, swfb::ToTwips(kHeight)};
  swfb::Movie movie(header);
  movie.SetBackgroundColor({0xF0, 0xF0, 0xE8, 255});
  return movie;
}

// A grid of rounded panels with a gradient, each placed with every filter kind or with none.
std::vector<uint8_t> PanelMovie(bool filtered) {
  swfb::Movie movie = Stage();
  swfb::Shape panel;
  panel.SetFill1(panel.AddFill(swfb::Fill::Solid({0x30, 0x70, 0xC0, 255})));
  const int w = kWidth / kColumns, h = kHeight / kRows;
  panel.RoundedRectangle({0, swfb::ToTwips(w - 40), 0, swfb::ToTwips(h - 40)}, swfb::ToTwips(12));
  const uint16_t id = movie.DefineShape(panel);
  const std::vector<uint8_t> filters = swfb::EncodeEveryFilter();
  for (int i = 0; i < kColumns * kRows; ++i) {
    swfb::Place p;
    p.depth = static_cast<uint16_t>(i + 1);
    p.characterId = id;
    p.matrix = swfb::Matrix::Translate(swfb::ToTwips(i % kColumns * w + 20),
                                       swfb::ToTwips(i / kColumns * h + 20));
    if (filtered) p.filters = filters;
    movie.PlaceObject3(p);
  }
  movie.ShowFrame();
  return movie.Build();
}

// Columns of wrapped paragraphs in the three standard device fonts at three sizes.
std::vector<uint8_t> TextMovie() {
  swfb::Movie movie = Stage();
  std::string paragraph;
  while (paragraph.size() < 600) {
    paragraph += "The quick brown fox jumps over the lazy dog, 0123456789 times. ";
  }
  const char* fonts[] = {"_sans", "_serif", "_typewriter"};
  const int columns = 4, rows = 3, w = kWidth / columns, h = kHeight / rows;
  for (int i = 0; i < columns * rows; ++i) {
    swfb::EditText field;
    field.bounds = {0, swfb::ToTwips(w - 20), 0, swfb::ToTwips(h - 20)};
    field.text = paragraph;
    field.font = fonts[i % 3];
    field.height = static_cast<uint16_t>(swfb::ToTwips(12 + 2 * (i % 3)));
    field.wordWrap = field.multiline = true;
    movie.PlaceObject(movie.DefineEditText(field), static_cast<uint16_t>(i + 1),
                      swfb::Matrix::Translate(swfb::ToTwips(i % columns * w + 10),
                                              swfb::ToTwips(i / columns * h + 10)));
  }
  movie.ShowFrame();
  return movie.Build();
}

void DrawFrames(benchmark::State& state, const std::vector<uint8_t>& file) {
  static swf::NativeDeviceFonts fonts;
  swf::Player player;
  player.SetDeviceFonts(&fonts);
  if (!player.Load(file).Ok()) {
    state.SkipWithError("the movie did not load");
    return;
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
  const swf::Canvas canvas{reinterpret_cast<uint8_t*>(pixels.data()), kWidth * 4, kWidth,
                           kHeight, {0, 0, kWidth, kHeight}};
  for (auto _ : state) {
    player.Render(canvas, swf::RenderMode::Opaque, swf::ScaleMode::ShowAll, kWidth, kHeight);
    benchmark::DoNotOptimize(pixels.data());
  }
}

void Memcpy(benchmark::State& state) {
  std::vector<uint32_t> from(static_cast<size_t>(kWidth) * kHeight, 0xFF336699u), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size() * 4);
    benchmark::DoNotOptimize(to.data());
  }
}

void Filters(benchmark::State& state) { DrawFrames(state, PanelMovie(true)); }
void Panels(benchmark::State& state) { DrawFrames(state, PanelMovie(false)); }
void Text(benchmark::State& state) { DrawFrames(state, TextMovie()); }

BENCHMARK(Memcpy)->Name("memcpy/1920x1080")->Unit(benchmark::kMillisecond);
BENCHMARK(Panels)->Name("panels/1920x1080")->Unit(benchmark::kMillisecond);
BENCHMARK(Filters)->Name("filters/1920x1080")->Unit(benchmark::kMillisecond);
BENCHMARK(Text)->Name("text/1920x1080")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  brim::RatioReporter reporter("memcpy");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return 0;
}
