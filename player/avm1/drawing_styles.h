#pragma once
// The styles scripts give the drawing methods (lineStyle, beginGradientFill,
// lineGradientStyle) read from their arguments the way the player reads them: bad arguments
// make a call do nothing rather than draw something half-made.
#include <optional>
#include <span>

#include "player/avm1/value.h"
#include "player/shape.h"

namespace swf::avm1 {

class Interpreter;

// A colour as the drawing methods take it: 0xRRGGBB and an alpha from 0 to 100 (NaN is 0).
Rgba ScriptColor(uint32_t rgb, double alphaPercent);

// lineStyle(thickness, rgb, alpha, pixelHinting, noScale, capsStyle, jointStyle, miterLimit);
// nothing when the thickness is missing (no line from then on).
std::optional<LineStyle> LineStyleFromArgs(Interpreter& vm, std::span<const Value> args);

// beginGradientFill / lineGradientStyle(fillType, colors, alphas, ratios, matrix,
// spreadMethod, interpolationMethod, focalPointRatio).
struct GradientCall {
  enum class Kind { Ignored, NoFill, Gradient } kind = Kind::Ignored;
  FillStyle fill;
};
GradientCall GradientFromArgs(Interpreter& vm, std::span<const Value> args);

}  // namespace swf::avm1
