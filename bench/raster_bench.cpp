// Frames per second for a vector-heavy scene: a few hundred curved shapes with gradient and
// solid fills and strokes, drawn by our rasterizer and, for scale, by Cairo's image backend
// with the same geometry, paints and anti-aliasing. Prints our time over Cairo's.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "player/render.h"

namespace {

constexpr int kShapes = 300;
constexpr double kStageW = 550, kStageH = 400;  // the scene's own size in pixels

struct SceneShape {
  swf::Shape shape;
  // The same outline and paint, kept in a form Cairo takes directly (stage pixels).
  std::vector<swf::Edge> outline;  // twips, closed, quadratic
  int paintKind = 0;               // 0 solid, 1 linear, 2 radial
  swf::Rgba a, b;
  double cx = 0, cy = 0, radius = 0;
  double strokePx = 0;
  swf::Rgba strokeColor;
};

uint32_t g_seed = 12345;
double Random() {
  g_seed = g_seed * 1664525u + 1013904223u;
  return (g_seed >> 8) / 16777216.0;
}

swf::Rgba RandomColor(uint8_t alpha) {
  return {static_cast<uint8_t>(Random() * 255), static_cast<uint8_t>(Random() * 255),
          static_cast<uint8_t>(Random() * 255), alpha};
}

std::vector<SceneShape> MakeScene() {
  std::vector<SceneShape> scene;
  for (int i = 0; i < kShapes; ++i) {
    SceneShape s;
    s.cx = Random() * kStageW;
    s.cy = Random() * kStageH;
    s.radius = 10 + Random() * 60;
    // A wobbly blob: 8 quadratic curves around the centre.
    const int n = 8;
    std::vector<swf::Point> on(n), control(n);
    for (int k = 0; k < n; ++k) {
      const double angle = 2 * M_PI * k / n, mid = angle + M_PI / n;
      const double r = s.radius * (0.7 + 0.3 * Random());
      on[k] = {(s.cx + r * std::cos(angle)) * 20, (s.cy + r * std::sin(angle)) * 20};
      const double rc = s.radius * (1.0 + 0.4 * Random());
      control[k] = {(s.cx + rc * std::cos(mid)) * 20, (s.cy + rc * std::sin(mid)) * 20};
    }
    for (int k = 0; k < n; ++k) s.outline.push_back({on[k], control[k], on[(k + 1) % n], true});
    s.paintKind = i % 3;
    s.a = RandomColor(255);
    s.b = RandomColor(i % 2 ? 255 : 160);
    s.strokePx = 1 + Random() * 3;
    s.strokeColor = RandomColor(255);

    swf::FillStyle fill;
    if (s.paintKind == 0) {
      fill.kind = swf::FillKind::Solid;
      fill.color = s.b;
    } else {
      fill.kind = s.paintKind == 1 ? swf::FillKind::LinearGradient : swf::FillKind::RadialGradient;
      const double k = 2 * s.radius * 20 / 32768;
      fill.matrix = {k, 0, 0, k, s.cx * 20, s.cy * 20};
      fill.gradient.stops = {{0, s.a}, {255, s.b}};
    }
    swf::LineStyle line;
    line.width = static_cast<uint16_t>(s.strokePx * 20);
    line.color = s.strokeColor;
    s.shape.fills = {fill};
    s.shape.lines = {line};
    s.shape.paths = {swf::Path{1, 0, 1, s.outline}};
    scene.push_back(std::move(s));
  }
  return scene;
}

const std::vector<SceneShape>& Scene() {
  static const std::vector<SceneShape> scene = MakeScene();
  return scene;
}

void OurFrame(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
  swf::Canvas canvas;
  canvas.base = reinterpret_cast<uint8_t*>(pixels.data());
  canvas.pitch = w * 4;
  canvas.width = w;
  canvas.height = h;
  canvas.clip = {0, 0, w, h};
  swf::DrawParams params;
  const double scale = std::min(w / kStageW, h / kStageH);
  params.toPixels = {scale / 20, 0, 0, scale / 20, 0, 0};
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), 0xFFFFFFFFu);
    for (const SceneShape& s : Scene()) swf::DrawShape(canvas, s.shape, params);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void SetSource(cairo_t* cr, swf::Rgba c) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

void CairoFrame(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  const double scale = std::min(w / kStageW, h / kStageH);
  cairo_scale(cr, scale / 20, scale / 20);  // geometry in twips, like ours
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (auto _ : state) {
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_restore(cr);
    for (const SceneShape& s : Scene()) {
      cairo_new_path(cr);
      const swf::Point start = s.outline.front().from;
      cairo_move_to(cr, start.x, start.y);
      for (const swf::Edge& e : s.outline) {
        // The quadratic as the equivalent cubic.
        double x0, y0;
        cairo_get_current_point(cr, &x0, &y0);
        cairo_curve_to(cr, x0 + 2.0 / 3 * (e.control.x - x0), y0 + 2.0 / 3 * (e.control.y - y0),
                       e.to.x + 2.0 / 3 * (e.control.x - e.to.x),
                       e.to.y + 2.0 / 3 * (e.control.y - e.to.y), e.to.x, e.to.y);
      }
      cairo_close_path(cr);
      cairo_pattern_t* pattern = nullptr;
      const double r = s.radius * 20, cx = s.cx * 20, cy = s.cy * 20;
      if (s.paintKind == 1) {
        pattern = cairo_pattern_create_linear(cx - r, cy, cx + r, cy);
      } else if (s.paintKind == 2) {
        pattern = cairo_pattern_create_radial(cx, cy, 0, cx, cy, r);
      }
      if (pattern) {
        cairo_pattern_add_color_stop_rgba(pattern, 0, s.a.r / 255.0, s.a.g / 255.0, s.a.b / 255.0,
                                          s.a.a / 255.0);
        cairo_pattern_add_color_stop_rgba(pattern, 1, s.b.r / 255.0, s.b.g / 255.0, s.b.b / 255.0,
                                          s.b.a / 255.0);
        cairo_set_source(cr, pattern);
      } else {
        SetSource(cr, s.b);
      }
      cairo_fill_preserve(cr);
      if (pattern) cairo_pattern_destroy(pattern);
      SetSource(cr, s.strokeColor);
      cairo_set_line_width(cr, s.strokePx * 20);
      cairo_stroke(cr);
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

BENCHMARK(OurFrame)->Args({550, 400})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(CairoFrame)->Args({550, 400})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

// Keeps each run's time so that the two renderers can be compared at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* size : {"550/400", "1920/1080"}) {
    const auto ours = reporter.times.find(std::string("OurFrame/") + size);
    const auto cairo = reporter.times.find(std::string("CairoFrame/") + size);
    if (ours == reporter.times.end() || cairo == reporter.times.end()) continue;
    std::printf("%s: ours %.2f ms (%.1f fps), cairo %.2f ms (%.1f fps), ours/cairo time %.2f\n",
                size, ours->second, 1000 / ours->second, cairo->second, 1000 / cairo->second,
                ours->second / cairo->second);
  }
  benchmark::Shutdown();
  return 0;
}
