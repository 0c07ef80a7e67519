#include "player/avm1/drawing_styles.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "player/avm1/builtin_support.h"
#include "player/avm1/interpreter.h"

namespace swf::avm1 {
namespace {

// Gradients hold at most this many colours, as the format's gradient records do.
constexpr size_t kMaxStops = 15;
// A gradient's square is 32768 twips wide; a script's box of w pixels scales it by w / 1638.4.
constexpr double kGradientPixels = 1638.4;

double Number(Interpreter& vm, const Value& v) { return vm.ToNumber(v); }

double Member(Interpreter& vm, const Value& object, const char* name) {
  return vm.ToNumber(vm.GetMember(object, name));
}

bool Has(Interpreter& vm, const Value& object, const char* name) {
  return !vm.GetMember(object, name).IsUndefined();
}

// The elements of an array-like argument, or nothing when it is not an object.
std::optional<std::vector<Value>> Elements(Interpreter& vm, const Value& v) {
  if (!v.AsObject()) return std::nullopt;
  const double length = Member(vm, v, "length");
  if (!(length >= 0)) return std::vector<Value>{};
  std::vector<Value> out;
  const size_t n = static_cast<size_t>(std::min(length, static_cast<double>(kMaxStops)));
  for (size_t i = 0; i < n; ++i) out.push_back(vm.GetMember(v, std::to_string(i)));
  return out;
}

// The gradient's matrix from shape pixels' point of view, in twips: a box
// {matrixType: "box", x, y, w, h, r}, a flash.geom.Matrix-like {a, b, c, d, tx, ty}, or the
// older 3x3 form {a, b, d, e, g, h} that maps a unit square.
std::optional<Matrix> GradientMatrix(Interpreter& vm, const Value& m) {
  if (!m.AsObject()) return std::nullopt;
  if (vm.ToString(vm.GetMember(m, "matrixType")) == "box") {
    const double x = Member(vm, m, "x"), y = Member(vm, m, "y"), w = Member(vm, m, "w"),
                 h = Member(vm, m, "h"), r = Member(vm, m, "r");
    const double sx = w / kGradientPixels, sy = h / kGradientPixels;
    return Matrix{std::cos(r) * sx, std::sin(r) * sx,       -std::sin(r) * sy,
                  std::cos(r) * sy, (x + w / 2) * 20, (y + h / 2) * 20};
  }
  if (Has(vm, m, "tx") || Has(vm, m, "ty") || Has(vm, m, "c")) {
    return Matrix{Member(vm, m, "a"),       Member(vm, m, "b"),       Member(vm, m, "c"),
                  Member(vm, m, "d"),       Member(vm, m, "tx") * 20, Member(vm, m, "ty") * 20};
  }
  return Matrix{Member(vm, m, "a") / kGradientPixels, Member(vm, m, "b") / kGradientPixels,
                Member(vm, m, "d") / kGradientPixels, Member(vm, m, "e") / kGradientPixels,
                Member(vm, m, "g") * 20,              Member(vm, m, "h") * 20};
}

}  // namespace

Rgba ScriptColor(uint32_t rgb, double alphaPercent) {
  const double a = std::isnan(alphaPercent) ? 0 : std::clamp(alphaPercent, 0.0, 100.0);
  return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
          static_cast<uint8_t>(rgb), static_cast<uint8_t>(std::lround(a * 2.55))};
}

std::optional<LineStyle> LineStyleFromArgs(Interpreter& vm, std::span<const Value> args) {
  const double thickness = args.empty() ? NAN : Number(vm, args[0]);
  if (std::isnan(thickness)) return std::nullopt;
  LineStyle line;
  line.width = static_cast<uint16_t>(std::lround(std::clamp(thickness, 0.0, 255.0) * 20));
  const Value rgb = Arg(args, 1), alpha = Arg(args, 2);
  line.color = ScriptColor(rgb.IsUndefined() ? 0 : ToUint32(Number(vm, rgb)),
                           alpha.IsUndefined() ? 100 : Number(vm, alpha));
  line.pixelHinting = ToBoolean(Arg(args, 3), vm.Version());
  const std::string scale = args.size() > 4 ? vm.ToString(args[4]) : "normal";
  line.noHScale = scale == "none" || scale == "vertical";
  line.noVScale = scale == "none" || scale == "horizontal";
  if (args.size() > 5) {
    const std::string caps = vm.ToString(args[5]);
    if (caps == "none") line.startCap = line.endCap = CapStyle::None;
    if (caps == "square") line.startCap = line.endCap = CapStyle::Square;
  }
  if (args.size() > 6) {
    const std::string joint = vm.ToString(args[6]);
    if (joint == "bevel") line.join = JoinStyle::Bevel;
    if (joint == "miter") line.join = JoinStyle::Miter;
  }
  const double miter = args.size() > 7 ? Number(vm, args[7]) : 3;
  line.miterLimit = std::isnan(miter) ? 3 : std::clamp(miter, 1.0, 255.0);
  return line;
}

GradientCall GradientFromArgs(Interpreter& vm, std::span<const Value> args) {
  GradientCall call;
  if (args.empty() || args[0].IsUndefined()) {
    call.kind = GradientCall::Kind::NoFill;
    return call;
  }
  const std::string type = vm.ToString(args[0]);
  if ((type != "linear" && type != "radial") || args.size() < 5 || args.size() > 8) return call;
  const auto colors = Elements(vm, args[1]), alphas = Elements(vm, args[2]),
             ratios = Elements(vm, args[3]);
  const auto matrix = GradientMatrix(vm, args[4]);
  if (!colors || !alphas || !ratios || !matrix || colors->empty() ||
      colors->size() != alphas->size() || colors->size() != ratios->size()) {
    return call;
  }
  FillStyle& fill = call.fill;
  fill.matrix = *matrix;
  for (size_t i = 0; i < colors->size(); ++i) {
    double ratio = Number(vm, (*ratios)[i]);
    if (std::isnan(ratio)) ratio = 0;
    ratio = std::trunc(ratio);
    if (ratio < 0 || ratio > 255) return call;
    fill.gradient.stops.push_back(
        {static_cast<uint8_t>(ratio),
         ScriptColor(ToUint32(Number(vm, (*colors)[i])), Number(vm, (*alphas)[i]))});
  }
  const std::string spread = args.size() > 5 ? vm.ToString(args[5]) : "";
  fill.gradient.spread = spread == "reflect"  ? SpreadMode::Reflect
                         : spread == "repeat" ? SpreadMode::Repeat
                                              : SpreadMode::Pad;
  if (args.size() > 6 && vm.ToString(args[6]) == "linearRGB") {
    fill.gradient.interpolation = InterpolationMode::Linear;
  }
  fill.kind = FillKind::LinearGradient;
  if (type == "radial") {
    const double focal = args.size() > 7 ? Number(vm, args[7]) : 0;
    fill.kind = focal != 0 && !std::isnan(focal) ? FillKind::FocalGradient : FillKind::RadialGradient;
    // The focal point is kept as an 8.8 fixed-point number, cut towards zero like the one a
    // movie stores; the difference shows where a repeating gradient's bands fall.
    fill.gradient.focalPoint =
        std::isnan(focal) ? 0 : std::trunc(std::clamp(focal, -1.0, 1.0) * 256) / 256;
  }
  call.kind = GradientCall::Kind::Gradient;
  return call;
}

}  // namespace swf::avm1
