#pragma once
// Text in fonts the movie does not carry: the host measures and draws it. The engine lays
// device text out with the host's metrics and asks it to draw each run where the layout put
// it; a host may draw at once into the canvas or collect the runs and draw them later on its
// own surface.
#include <string>
#include <vector>

#include "player/canvas.h"
#include "player/geometry.h"

namespace swf {

struct DeviceFontSpec {
  std::string face;  // as the movie names it: "_sans", "Arial", ... (UTF-8)
  double size = 12;  // em height in pixels
  bool bold = false, italic = false;
};

// Pixels.
struct DeviceMetrics {
  double ascent = 0, descent = 0;
  std::vector<double> advances;  // one for each character measured
};

struct DeviceTextRun {
  DeviceFontSpec font;
  std::u32string text;
  Point origin;  // canvas pixels: the baseline's left end
  Rgba color;
  PixelRect clip;  // canvas pixels; nothing is drawn outside it
};

class DeviceFonts {
 public:
  virtual ~DeviceFonts() = default;
  // Fills `out` for `text` in `font`. False when the host has no font at all to offer.
  virtual bool Measure(const DeviceFontSpec& font, std::u32string_view text,
                       DeviceMetrics& out) = 0;
  virtual void Draw(const Canvas& canvas, const DeviceTextRun& run) = 0;
};

// What device text measures when no host is there to ask: plain fixed proportions, so that
// layout, scrolling and the script-visible sizes still work.
void FallbackMetrics(const DeviceFontSpec& font, std::u32string_view text, DeviceMetrics& out);

}  // namespace swf
