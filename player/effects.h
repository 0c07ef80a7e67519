#pragma once
// How a display object is composited rather than what it draws: its blend mode and its
// bitmap filters, as PlaceObject3 stores them and scripts set them.
#include <cstdint>
#include <vector>

#include "player/geometry.h"

namespace swf {

// Numbered as PlaceObject3 stores them (0 also means normal).
enum class BlendMode : uint8_t {
  Normal = 1,
  Layer = 2,
  Multiply = 3,
  Screen = 4,
  Lighten = 5,
  Darken = 6,
  Difference = 7,
  Add = 8,
  Subtract = 9,
  Invert = 10,
  Alpha = 11,
  Erase = 12,
  Overlay = 13,
  Hardlight = 14,
};

// The blend mode a stored number names; unknown numbers draw as normal.
inline BlendMode BlendModeFromCode(uint8_t code) {
  return code >= 2 && code <= 14 ? static_cast<BlendMode>(code) : BlendMode::Normal;
}

// What a movie may ask of one object's filters: a longer list is refused as damage, and one
// a script assigns is cut short.
inline constexpr int kMaxFiltersPerObject = 64;

enum class FilterKind : uint8_t {
  DropShadow = 0,
  Blur = 1,
  Glow = 2,
  Bevel = 3,
  GradientGlow = 4,
  Convolution = 5,
  ColorMatrix = 6,
  GradientBevel = 7,
};

struct FilterStop {
  Rgba color;
  uint8_t ratio = 0;
};

// One filter; each kind uses the fields its record has.
struct Filter {
  FilterKind kind = FilterKind::Blur;
  double blurX = 4, blurY = 4;  // pixels
  int passes = 1;               // 1 low, 2 medium, 3 high quality
  double angle = 0.785398163;   // radians
  double distance = 4;          // pixels
  double strength = 1;
  bool inner = false, knockout = false, onTop = false;
  bool hideObject = false;             // drop shadow: compositeSource cleared
  Rgba color{0, 0, 0, 255};            // shadow, glow; bevel shadow
  Rgba highlight{255, 255, 255, 255};  // bevel
  std::vector<FilterStop> stops;       // gradient glow and bevel
  float matrix[20] = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
  int columns = 0, rows = 0;  // convolution
  double divisor = 1, bias = 0;
  std::vector<float> kernel;
  Rgba defaultColor{0, 0, 0, 0};
  bool clamp = true, preserveAlpha = true;
};

}  // namespace swf
