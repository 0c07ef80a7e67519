// flash.filters: each filter object keeps its settings in hidden slots, behind properties on
// its class's prototype that convert and clamp what a script writes the way the original does
// (colours to 24 bits, alphas to whole 255ths, sizes and counts to their ranges).
#include "player/avm1/arrays.h"
#include "player/avm1/filter_objects.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "player/avm1/library.h"
#include "player/display_list.h"

namespace swf::avm1 {
namespace {

// The classes, numbered as the engine numbers filter kinds where it has one.
enum Class : int {
  kDropShadow = 0,
  kBlur = 1,
  kGlow = 2,
  kBevel = 3,
  kGradientGlow = 4,
  kConvolution = 5,
  kColorMatrix = 6,
  kGradientBevel = 7,
  kDisplacementMap = 8,
};

// Where each setting lives in an object's `internal`. Lists (gradient stops, matrices) follow
// from kList on.
enum Slot : size_t {
  kMarker,
  kClass,
  kBlurX,
  kBlurY,
  kQuality,
  kAngle,  // radians
  kDistance,
  kStrength,
  kKnockout,
  kInner,
  kHideObject,
  kType,  // "inner", "outer" or "full"
  kColor,
  kAlpha,  // 0..255
  kHighlightColor,
  kHighlightAlpha,
  kCount,  // gradient stops in use
  kMatrixX,
  kMatrixY,
  kDivisor,
  kBias,
  kPreserveAlpha,
  kClamp,
  kComponentX,
  kComponentY,
  kScaleX,
  kScaleY,
  kMode,
  kMapBitmap,
  kMapX,
  kMapY,
  kList,
};

constexpr const char* kMarkerText = "flash.filters";
// Gradient filters hold at most this many stops; their colours, alphas and ratios lie in three
// runs of this length from kList.
constexpr int kMaxStops = 16;
// A convolution's matrix is at most 15 by 15; a script may hand it a longer list, which is
// kept only up to this many numbers, so that a hostile movie cannot make every filter huge.
constexpr int kMaxMatrixSide = 15;
constexpr int kMaxKernel = 1024;
constexpr double kDefaultAngle = 0.785398163;  // 45 degrees, as the original keeps it

Object* FilterObject(const Value& v) {
  Object* o = v.AsObject();
  if (!o || o->internal.size() < kList || !o->internal[kMarker].IsString() ||
      o->internal[kMarker].AsString() != kMarkerText) {
    return nullptr;
  }
  return o;
}

int ClassOf(const Object* o) { return static_cast<int>(o->internal[kClass].AsNumber()); }

double SlotNumber(const Object* o, size_t slot) {
  const Value& v = o->internal[slot];
  return v.IsNumber() ? v.AsNumber() : 0;
}

bool SlotBool(const Object* o, size_t slot) {
  const Value& v = o->internal[slot];
  return v.IsBool() && v.AsBool();
}

double Clamp(double v, double lo, double hi) {
  if (!(v >= lo)) return std::isnan(v) ? lo : lo;
  return std::min(v, hi);
}

// An alpha as its whole 255ths: solid colours cut the fraction off, gradient stops round it.
double AlphaByte(double alpha, bool round) {
  if (std::isnan(alpha)) return round ? 255 : 0;
  const double scaled = std::clamp(alpha, 0.0, 1.0) * 255;
  return round ? std::round(scaled) : std::floor(scaled);
}

double Color24(Interpreter& vm, const Value& v) {
  return static_cast<double>(ToUint32(vm.ToNumber(v)) & 0xFFFFFF);
}

int Count(Interpreter& vm, const Value& v, int max) {
  return static_cast<int>(ListLength(vm, v, static_cast<size_t>(max)));
}

Value Element(Interpreter& vm, const Value& list, int i) {
  return ListItem(vm, list, static_cast<size_t>(i));
}

void InitSlots(Object* o, int cls) {
  o->internal.assign(kList, Value());
  o->internal[kMarker] = kMarkerText;
  o->internal[kClass] = static_cast<double>(cls);
  const std::pair<Slot, Value> defaults[] = {
      {kBlurX, 4.0},       {kBlurY, 4.0},        {kQuality, 1.0},        {kAngle, kDefaultAngle},
      {kDistance, 4.0},    {kStrength, 1.0},     {kKnockout, false},     {kInner, false},
      {kHideObject, false}, {kType, "inner"},    {kColor, 0.0},          {kAlpha, 255.0},
      {kHighlightColor, static_cast<double>(0xFFFFFF)},                  {kHighlightAlpha, 255.0},
      {kCount, 0.0},       {kMatrixX, 0.0},      {kMatrixY, 0.0},        {kDivisor, 1.0},
      {kBias, 0.0},        {kPreserveAlpha, true}, {kClamp, true},       {kComponentX, 0.0},
      {kComponentY, 0.0},  {kScaleX, 0.0},       {kScaleY, 0.0},         {kMode, "wrap"},
      {kMapX, 0.0},        {kMapY, 0.0},
  };
  for (const auto& [slot, value] : defaults) o->internal[slot] = value;
  switch (cls) {
    case kGlow:
      o->internal[kColor] = static_cast<double>(0xFF0000);
      o->internal[kBlurX] = o->internal[kBlurY] = 6.0;
      o->internal[kStrength] = 2.0;
      break;
    case kGradientGlow:
    case kGradientBevel:
      o->internal.resize(kList + 3 * kMaxStops, 0.0);
      break;
    case kColorMatrix:
      o->internal.resize(kList + 20, 0.0);
      for (size_t i = 0; i < 4; ++i) o->internal[kList + i * 6] = 1.0;
      break;
    case kConvolution:
    case kDisplacementMap:
      o->internal[kAlpha] = 0.0;
      break;
    default:
      break;
  }
}

// One property of a filter class: reads and writes the object's slots.
struct Accessor {
  const char* name;
  Value (*get)(Interpreter& vm, Object* o);
  void (*set)(Interpreter& vm, Object* o, const Value& v);
};

template <Slot S>
Value Plain(Interpreter&, Object* o) {
  return o->internal[S];
}
template <Slot S>
void SetBool(Interpreter& vm, Object* o, const Value& v) {
  o->internal[S] = ToBoolean(v, vm.Version());
}
template <Slot S>
void SetColor(Interpreter& vm, Object* o, const Value& v) {
  o->internal[S] = Color24(vm, v);
}
template <Slot S>
Value GetAlpha(Interpreter&, Object* o) {
  return SlotNumber(o, S) / 255;
}
template <Slot S>
void SetAlpha(Interpreter& vm, Object* o, const Value& v) {
  o->internal[S] = AlphaByte(vm.ToNumber(v), false);
}
void SetBlurX(Interpreter& vm, Object* o, const Value& v) {
  o->internal[kBlurX] = Clamp(vm.ToNumber(v), 0, 255);
}
void SetBlurY(Interpreter& vm, Object* o, const Value& v) {
  o->internal[kBlurY] = Clamp(vm.ToNumber(v), 0, 255);
}
void SetQuality(Interpreter& vm, Object* o, const Value& v) {
  o->internal[kQuality] = static_cast<double>(std::clamp(ToInt32(vm.ToNumber(v)), 0, 15));
}
void SetStrength(Interpreter& vm, Object* o, const Value& v) {
  o->internal[kStrength] = Clamp(vm.ToNumber(v), 0, 255);
}
void SetDistance(Interpreter& vm, Object* o, const Value& v) {
  o->internal[kDistance] = vm.ToNumber(v);
}
Value GetAngle(Interpreter&, Object* o) {
  return SlotNumber(o, kAngle) * 180 / std::numbers::pi;
}
void SetAngle(Interpreter& vm, Object* o, const Value& v) {
  o->internal[kAngle] = std::fmod(vm.ToNumber(v), 360.0) * std::numbers::pi / 180;
}
void SetType(Interpreter& vm, Object* o, const Value& v) {
  const std::string s = vm.ToString(v);
  o->internal[kType] = s == "inner" || s == "outer" ? s : std::string("full");
}

// Gradient stops: colours decide how many there are; alphas and ratios fill in what there is.
Value GetStops(Interpreter& vm, Object* o, int run) {
  std::vector<Value> out;
  const int n = static_cast<int>(SlotNumber(o, kCount));
  for (int i = 0; i < n; ++i) {
    const double v = SlotNumber(o, kList + run * kMaxStops + i);
    out.emplace_back(run == 1 ? v / 255 : v);
  }
  return Value(vm.NewArray(std::move(out)));
}
void SetColors(Interpreter& vm, Object* o, const Value& v) {
  if (v.IsUndefined() || v.IsNull()) return;
  const int n = Count(vm, v, kMaxStops);
  for (int i = 0; i < n; ++i) o->internal[kList + i] = Color24(vm, Element(vm, v, i));
  o->internal[kCount] = static_cast<double>(n);
}
void SetAlphas(Interpreter& vm, Object* o, const Value& v) {
  if (v.IsUndefined() || v.IsNull()) return;
  const int n = static_cast<int>(SlotNumber(o, kCount));
  for (int i = 0; i < n; ++i) {
    o->internal[kList + kMaxStops + i] = AlphaByte(vm.ToNumber(Element(vm, v, i)), true);
  }
}
void SetRatios(Interpreter& vm, Object* o, const Value& v) {
  if (v.IsUndefined() || v.IsNull()) return;
  const int n = std::min(static_cast<int>(SlotNumber(o, kCount)), Count(vm, v, kMaxStops));
  for (int i = 0; i < n; ++i) {
    const int r = ToInt32(vm.ToNumber(Element(vm, v, i)));
    o->internal[kList + 2 * kMaxStops + i] = static_cast<double>(std::clamp(r, 0, 255));
  }
  o->internal[kCount] = static_cast<double>(n);
}

Value GetList(Interpreter& vm, Object* o) {
  return Value(vm.NewArray({o->internal.begin() + kList, o->internal.end()}));
}
void SetColorMatrix(Interpreter& vm, Object* o, const Value& v) {
  if (v.IsUndefined() || v.IsNull()) return;
  for (int i = 0; i < 20; ++i) o->internal[kList + i] = vm.ToNumber(Element(vm, v, i));
}

// A convolution's matrix always holds at least matrixX * matrixY numbers, zeros filling in.
void PadKernel(Object* o) {
  const size_t need =
      kList + static_cast<size_t>(SlotNumber(o, kMatrixX) * SlotNumber(o, kMatrixY));
  if (o->internal.size() < need) o->internal.resize(need, 0.0);
}
void SetKernel(Interpreter& vm, Object* o, const Value& v) {
  if (v.IsUndefined() || v.IsNull()) return;
  const int n = Count(vm, v, kMaxKernel);
  o->internal.resize(kList);
  for (int i = 0; i < n; ++i) o->internal.push_back(vm.ToNumber(Element(vm, v, i)));
  PadKernel(o);
}
template <Slot S>
void SetSide(Interpreter& vm, Object* o, const Value& v) {
  o->internal[S] = static_cast<double>(std::clamp(ToInt32(vm.ToNumber(v)), 0, kMaxMatrixSide));
  PadKernel(o);
}
template <Slot S>
void SetNumber(Interpreter& vm, Object* o, const Value& v) {
  o->internal[S] = vm.ToNumber(v);
}
template <Slot S>
void SetInt(Interpreter& vm, Object* o, const Value& v) {
  o->internal[S] = static_cast<double>(ToInt32(vm.ToNumber(v)));
}
template <Slot S>
void SetScale(Interpreter& vm, Object* o, const Value& v) {
  o->internal[S] = Clamp(vm.ToNumber(v), -65535, 65535);
}
void SetMode(Interpreter& vm, Object* o, const Value& v) {
  const std::string s = vm.ToString(v);
  o->internal[kMode] = s == "clamp" || s == "ignore" || s == "color" ? s : std::string("wrap");
}

Object* Namespace(Interpreter& vm, const char* name) {
  return vm.GetMember(vm.GetMember(vm.Global(), "flash"), name).AsObject();
}

Value GetMapBitmap(Interpreter&, Object* o) { return o->internal[kMapBitmap]; }
void SetMapBitmap(Interpreter& vm, Object* o, const Value& v) {
  const Value cls = vm.GetMember(Namespace(vm, "display"), "BitmapData");
  if (v.IsObject() && cls.IsObject() && vm.InstanceOf(v, cls)) o->internal[kMapBitmap] = v;
}
// A new Point each time, so that changing it changes nothing here.
Value GetMapPoint(Interpreter& vm, Object* o) {
  const Value args[] = {o->internal[kMapX], o->internal[kMapY]};
  return vm.Construct(vm.GetMember(Namespace(vm, "geom"), "Point"), args);
}
// An object with both coordinates gives the point; anything else the origin.
void SetMapPoint(Interpreter& vm, Object* o, const Value& v) {
  const Value x = v.IsObject() ? vm.GetMember(v, "x") : Value();
  const Value y = v.IsObject() ? vm.GetMember(v, "y") : Value();
  const bool whole = !x.IsUndefined() && !y.IsUndefined();
  o->internal[kMapX] = whole ? static_cast<double>(ToInt32(vm.ToNumber(x))) : 0.0;
  o->internal[kMapY] = whole ? static_cast<double>(ToInt32(vm.ToNumber(y))) : 0.0;
}

constexpr Accessor kDistanceProp{"distance", Plain<kDistance>, SetDistance};
constexpr Accessor kAngleProp{"angle", GetAngle, SetAngle};
constexpr Accessor kColorProp{"color", Plain<kColor>, SetColor<kColor>};
constexpr Accessor kAlphaProp{"alpha", GetAlpha<kAlpha>, SetAlpha<kAlpha>};
constexpr Accessor kQualityProp{"quality", Plain<kQuality>, SetQuality};
constexpr Accessor kStrengthProp{"strength", Plain<kStrength>, SetStrength};
constexpr Accessor kKnockoutProp{"knockout", Plain<kKnockout>, SetBool<kKnockout>};
constexpr Accessor kInnerProp{"inner", Plain<kInner>, SetBool<kInner>};
constexpr Accessor kBlurXProp{"blurX", Plain<kBlurX>, SetBlurX};
constexpr Accessor kBlurYProp{"blurY", Plain<kBlurY>, SetBlurY};
constexpr Accessor kTypeProp{"type", Plain<kType>, SetType};
constexpr Accessor kColorsProp{"colors", [](Interpreter& vm, Object* o) { return GetStops(vm, o, 0); },
                               SetColors};
constexpr Accessor kAlphasProp{"alphas", [](Interpreter& vm, Object* o) { return GetStops(vm, o, 1); },
                               SetAlphas};
constexpr Accessor kRatiosProp{"ratios", [](Interpreter& vm, Object* o) { return GetStops(vm, o, 2); },
                               SetRatios};

struct ClassInfo {
  const char* name;
  int cls;
  std::vector<Accessor> props;  // in the order for-in lists them, oldest first
};

std::vector<ClassInfo> Classes() {
  const std::vector<Accessor> gradient = {kDistanceProp, kAngleProp,   kColorsProp,
                                          kAlphasProp,   kRatiosProp,  kBlurXProp,
                                          kBlurYProp,    kQualityProp, kStrengthProp,
                                          kKnockoutProp, kTypeProp};
  return {
      {"BevelFilter",
       kBevel,
       {kDistanceProp,
        kAngleProp,
        {"highlightColor", Plain<kHighlightColor>, SetColor<kHighlightColor>},
        {"highlightAlpha", GetAlpha<kHighlightAlpha>, SetAlpha<kHighlightAlpha>},
        {"shadowColor", Plain<kColor>, SetColor<kColor>},
        {"shadowAlpha", GetAlpha<kAlpha>, SetAlpha<kAlpha>},
        kQualityProp,
        kStrengthProp,
        kKnockoutProp,
        kBlurXProp,
        kBlurYProp,
        kTypeProp}},
      {"BlurFilter", kBlur, {kBlurXProp, kBlurYProp, kQualityProp}},
      {"ColorMatrixFilter", kColorMatrix, {{"matrix", GetList, SetColorMatrix}}},
      {"ConvolutionFilter",
       kConvolution,
       {{"matrixX", Plain<kMatrixX>, SetSide<kMatrixX>},
        {"matrixY", Plain<kMatrixY>, SetSide<kMatrixY>},
        {"matrix", GetList, SetKernel},
        {"divisor", Plain<kDivisor>, SetNumber<kDivisor>},
        {"bias", Plain<kBias>, SetNumber<kBias>},
        {"preserveAlpha", Plain<kPreserveAlpha>, SetBool<kPreserveAlpha>},
        {"clamp", Plain<kClamp>, SetBool<kClamp>},
        kColorProp,
        kAlphaProp}},
      {"DisplacementMapFilter",
       kDisplacementMap,
       {{"mapBitmap", GetMapBitmap, SetMapBitmap},
        {"mapPoint", GetMapPoint, SetMapPoint},
        {"componentX", Plain<kComponentX>, SetInt<kComponentX>},
        {"componentY", Plain<kComponentY>, SetInt<kComponentY>},
        {"scaleX", Plain<kScaleX>, SetScale<kScaleX>},
        {"scaleY", Plain<kScaleY>, SetScale<kScaleY>},
        {"mode", Plain<kMode>, SetMode},
        kColorProp,
        kAlphaProp}},
      {"DropShadowFilter",
       kDropShadow,
       {kDistanceProp, kAngleProp, kColorProp, kAlphaProp, kQualityProp, kInnerProp,
        kKnockoutProp, kBlurXProp, kBlurYProp, kStrengthProp,
        {"hideObject", Plain<kHideObject>, SetBool<kHideObject>}}},
      {"GlowFilter",
       kGlow,
       {kColorProp, kAlphaProp, kQualityProp, kInnerProp, kKnockoutProp, kBlurXProp, kBlurYProp,
        kStrengthProp}},
      {"GradientBevelFilter", kGradientBevel, gradient},
      {"GradientGlowFilter", kGradientGlow, gradient},
  };
}

// Each constructor's arguments, in order, as the properties they set.
std::vector<const char*> ConstructorArgs(int cls) {
  switch (cls) {
    case kBevel:
      return {"distance", "angle",    "highlightColor", "highlightAlpha", "shadowColor",
              "shadowAlpha", "blurX", "blurY",          "strength",       "quality",
              "type",     "knockout"};
    case kBlur:
      return {"blurX", "blurY", "quality"};
    case kColorMatrix:
      return {"matrix"};
    case kConvolution:
      return {"matrixX", "matrixY", "matrix", "divisor", "bias",
              "preserveAlpha", "clamp", "color", "alpha"};
    case kDisplacementMap:
      return {"mapBitmap", "mapPoint", "componentX", "componentY", "scaleX",
              "scaleY",    "mode",     "color",      "alpha"};
    case kDropShadow:
      return {"distance", "angle",   "color",    "alpha",  "blurX",     "blurY",
              "strength", "quality", "inner",    "knockout", "hideObject"};
    case kGlow:
      return {"color", "alpha", "blurX", "blurY", "strength", "quality", "inner", "knockout"};
    case kGradientBevel:
    case kGradientGlow:
      return {"distance", "angle", "colors", "alphas", "ratios", "blurX",
              "blurY",    "strength", "quality", "type", "knockout"};
    default:
      return {};
  }
}

const char* ClassName(int cls) {
  for (const ClassInfo& c : Classes()) {
    if (c.cls == cls) return c.name;
  }
  return "BitmapFilter";
}

Object* NewFilter(Interpreter& vm, int cls) {
  const Value ctor = vm.GetMember(Namespace(vm, "filters"), ClassName(cls));
  Object* o = vm.Construct(ctor, {}).AsObject();
  return FilterObject(o) && ClassOf(o) == cls ? o : nullptr;
}

Rgba ColorOf(const Object* o, size_t colorSlot, size_t alphaSlot) {
  const uint32_t c = static_cast<uint32_t>(SlotNumber(o, colorSlot));
  return {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
          static_cast<uint8_t>(std::clamp(SlotNumber(o, alphaSlot), 0.0, 255.0))};
}

void PutColor(Object* o, size_t colorSlot, size_t alphaSlot, Rgba c) {
  o->internal[colorSlot] = static_cast<double>((c.r << 16) | (c.g << 8) | c.b);
  o->internal[alphaSlot] = static_cast<double>(c.a);
}

DisplayObject* Live(Interpreter& vm, const Value& clip) {
  Object* o = clip.AsObject();
  if (!vm.Host() || !o || o->kind != ObjectKind::Clip) return nullptr;
  return vm.Host()->Find(o->clip);
}

// Named as scripts name them, in the order PlaceObject3 numbers them from 1.
constexpr const char* kBlendNames[] = {"normal",     "layer",    "multiply", "screen", "lighten",
                                       "darken",     "difference", "add",    "subtract", "invert",
                                       "alpha",      "erase",    "overlay",  "hardlight"};

void InstallClipEffects(Interpreter& vm);

}  // namespace

bool FilterFromObject(Interpreter&, const Value& v, Filter& f) {
  const Object* o = FilterObject(v);
  if (!o) return false;
  const int cls = ClassOf(o);
  if (cls < kDropShadow || cls > kGradientBevel) return false;
  f = Filter{};
  f.kind = static_cast<FilterKind>(cls);
  f.blurX = SlotNumber(o, kBlurX);
  f.blurY = SlotNumber(o, kBlurY);
  f.passes = static_cast<int>(SlotNumber(o, kQuality));
  f.angle = SlotNumber(o, kAngle);
  f.distance = SlotNumber(o, kDistance);
  f.strength = SlotNumber(o, kStrength);
  f.knockout = SlotBool(o, kKnockout);
  f.color = ColorOf(o, kColor, kAlpha);
  switch (cls) {
    case kDropShadow:
      f.hideObject = SlotBool(o, kHideObject);
      f.inner = SlotBool(o, kInner);
      break;
    case kGlow:
      f.inner = SlotBool(o, kInner);
      f.distance = 0;
      break;
    case kBevel:
    case kGradientGlow:
    case kGradientBevel: {
      const Value& type = o->internal[kType];
      const std::string t = type.IsString() ? type.AsString() : "full";
      f.inner = t == "inner";
      f.onTop = t == "full";
      if (cls == kBevel) {
        f.highlight = ColorOf(o, kHighlightColor, kHighlightAlpha);
        break;
      }
      const int n = static_cast<int>(SlotNumber(o, kCount));
      for (int i = 0; i < n && i < kMaxStops; ++i) {
        f.stops.push_back(
            {ColorOf(o, kList + i, kList + kMaxStops + i),
             static_cast<uint8_t>(std::clamp(SlotNumber(o, kList + 2 * kMaxStops + i), 0.0, 255.0))});
      }
      break;
    }
    case kColorMatrix:
      for (size_t i = 0; i < 20 && kList + i < o->internal.size(); ++i) {
        f.matrix[i] = static_cast<float>(SlotNumber(o, kList + i));
      }
      break;
    case kConvolution: {
      f.columns = static_cast<int>(SlotNumber(o, kMatrixX));
      f.rows = static_cast<int>(SlotNumber(o, kMatrixY));
      const size_t n = static_cast<size_t>(f.columns) * f.rows;
      for (size_t i = 0; i < n && kList + i < o->internal.size(); ++i) {
        f.kernel.push_back(static_cast<float>(SlotNumber(o, kList + i)));
      }
      f.kernel.resize(n, 0);
      f.divisor = SlotNumber(o, kDivisor);
      f.bias = SlotNumber(o, kBias);
      f.preserveAlpha = SlotBool(o, kPreserveAlpha);
      f.clamp = SlotBool(o, kClamp);
      f.defaultColor = f.color;
      f.color = Rgba{0, 0, 0, 255};
      break;
    }
    default:
      break;
  }
  return true;
}

Value FilterToObject(Interpreter& vm, const Filter& f) {
  const int cls = static_cast<int>(f.kind);
  Object* o = NewFilter(vm, cls);
  if (!o) return Value();
  auto& s = o->internal;
  s[kBlurX] = std::clamp(f.blurX, 0.0, 255.0);
  s[kBlurY] = std::clamp(f.blurY, 0.0, 255.0);
  s[kQuality] = static_cast<double>(std::clamp(f.passes, 0, 15));
  s[kAngle] = f.angle;
  s[kDistance] = f.distance;
  s[kStrength] = std::clamp(f.strength, 0.0, 255.0);
  s[kKnockout] = f.knockout;
  s[kInner] = f.inner;
  s[kHideObject] = f.hideObject;
  s[kType] = f.onTop ? "full" : f.inner ? "inner" : "outer";
  PutColor(o, kColor, kAlpha, f.kind == FilterKind::Convolution ? f.defaultColor : f.color);
  PutColor(o, kHighlightColor, kHighlightAlpha, f.highlight);
  switch (f.kind) {
    case FilterKind::GradientGlow:
    case FilterKind::GradientBevel: {
      const int n = std::min(static_cast<int>(f.stops.size()), kMaxStops);
      for (int i = 0; i < n; ++i) {
        PutColor(o, kList + i, kList + kMaxStops + i, f.stops[i].color);
        s[kList + 2 * kMaxStops + i] = static_cast<double>(f.stops[i].ratio);
      }
      s[kCount] = static_cast<double>(n);
      break;
    }
    case FilterKind::ColorMatrix:
      for (size_t i = 0; i < 20; ++i) s[kList + i] = static_cast<double>(f.matrix[i]);
      break;
    case FilterKind::Convolution:
      s[kMatrixX] = static_cast<double>(std::clamp(f.columns, 0, kMaxMatrixSide));
      s[kMatrixY] = static_cast<double>(std::clamp(f.rows, 0, kMaxMatrixSide));
      s.resize(kList);
      for (size_t i = 0; i < f.kernel.size() && i < static_cast<size_t>(kMaxKernel); ++i) {
        s.push_back(static_cast<double>(f.kernel[i]));
      }
      PadKernel(o);
      s[kDivisor] = f.divisor;
      s[kBias] = f.bias;
      s[kPreserveAlpha] = f.preserveAlpha;
      s[kClamp] = f.clamp;
      break;
    default:
      break;
  }
  return Value(o);
}

void InstallFilters(Interpreter& vm) {
  Object* filters = FlashPackage(vm, "filters");
  if (!filters) return;

  // The base class makes nothing of its own: its instances stay plain objects.
  Object* baseCtor =
      DefineClass(vm, filters, "BitmapFilter",
                  [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  Object* baseProto = PrototypeOf(vm, baseCtor);
  // Every filter class copies its filters through the one clone they inherit.
  if (baseProto) {
    baseProto->SetOwn("clone",
                      vm.NewNative([](Interpreter& vm, const Value& self, std::span<const Value>) {
                        Object* from = FilterObject(self);
                        Object* copy = from ? NewFilter(vm, ClassOf(from)) : nullptr;
                        if (!copy) return Value();
                        copy->internal = from->internal;
                        return Value(copy);
                      }),
                      vm.CaseSensitive());
  }

  InstallClipEffects(vm);
  // The classes are made in the original's order, which for-in shows.
  constexpr Class kMadeInOrder[] = {kDropShadow,  kBlur,         kGlow,
                                    kBevel,       kGradientGlow, kGradientBevel,
                                    kConvolution, kColorMatrix,  kDisplacementMap};
  std::vector<ClassInfo> classes = Classes();
  std::stable_sort(classes.begin(), classes.end(), [&](const ClassInfo& a, const ClassInfo& b) {
    const auto rank = [&](int cls) {
      return std::find(std::begin(kMadeInOrder), std::end(kMadeInOrder), cls) -
             std::begin(kMadeInOrder);
    };
    return rank(a.cls) < rank(b.cls);
  });
  for (const ClassInfo& info : classes) {
    const int cls = info.cls;
    Object* ctor = DefineClass(
        vm, filters, info.name,
        [cls](Interpreter& vm, const Value& self, std::span<const Value> a) {
          Object* o = Unclaimed(vm, self);
          if (!o) return Value();
          InitSlots(o, cls);
          // Each argument given goes through its property's setter, clamped as a write is.
          const std::vector<const char*> names = ConstructorArgs(cls);
          for (size_t i = 0; i < a.size() && i < names.size(); ++i) {
            if (!a[i].IsUndefined()) vm.SetMember(self, names[i], a[i]);
          }
          return self;
        },
        baseProto);
    Object* proto = PrototypeOf(vm, ctor);
    if (!proto) continue;
    for (const Accessor& p : info.props) {
      AddAccessor(
          vm, proto, p.name,
          [get = p.get, cls](Interpreter& vm, const Value& self, std::span<const Value>) {
            Object* o = FilterObject(self);
            return o && ClassOf(o) == cls ? get(vm, o) : Value();
          },
          [set = p.set, cls](Interpreter& vm, const Value& self, std::span<const Value> a) {
            Object* o = FilterObject(self);
            if (o && ClassOf(o) == cls) set(vm, o, Arg(a, 0));
            return Value();
          });
    }
    // The original's filter properties show in for-in.
    for (Property& p : proto->props) {
      if (p.name != "constructor") p.flags = static_cast<uint16_t>(p.flags & ~kDontEnum);
    }
  }
}

namespace {

// A clip's `filters`, `blendMode` and `cacheAsBitmap` work on the live display object. The
// filters cross as copies both ways: the array read is new each time, and changing one of its
// filters changes nothing until the array is assigned again.
void InstallClipEffects(Interpreter& vm) {
  if (vm.Version() < 8 || !vm.clipProto_) return;
  AddAccessor(
      vm, vm.clipProto_, "filters",
      [](Interpreter& vm, const Value& self, std::span<const Value>) {
        DisplayObject* d = Live(vm, self);
        if (!d) return Value();
        std::vector<Value> out;
        for (const Filter& f : d->filters) out.push_back(FilterToObject(vm, f));
        return Value(vm.NewArray(std::move(out)));
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        DisplayObject* d = Live(vm, self);
        const Value list = Arg(a, 0);
        if (!d) return Value();
        std::vector<Filter> filters;
        if (list.IsObject()) {
          const int n = Count(vm, list, kMaxFiltersPerObject);
          for (int i = 0; i < n; ++i) {
            Filter f;
            if (FilterFromObject(vm, Element(vm, list, i), f)) filters.push_back(std::move(f));
          }
        }
        d->filters = std::move(filters);
        return Value();
      });
  AddAccessor(
      vm, vm.clipProto_, "blendMode",
      [](Interpreter& vm, const Value& self, std::span<const Value>) {
        DisplayObject* d = Live(vm, self);
        if (!d) return Value();
        return Value(kBlendNames[static_cast<int>(d->blendMode) - 1]);
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        DisplayObject* d = Live(vm, self);
        const Value v = Arg(a, 0);
        if (!d) return Value();
        if (v.IsNumber()) {
          const double n = v.AsNumber();
          if (n >= 1 && n <= 14) d->blendMode = BlendModeFromCode(static_cast<uint8_t>(n));
          return Value();
        }
        const std::string name = vm.ToString(v);
        for (size_t i = 0; i < std::size(kBlendNames); ++i) {
          if (name == kBlendNames[i]) d->blendMode = BlendModeFromCode(static_cast<uint8_t>(i + 1));
        }
        return Value();
      });
  AddAccessor(
      vm, vm.clipProto_, "cacheAsBitmap",
      [](Interpreter& vm, const Value& self, std::span<const Value>) {
        DisplayObject* d = Live(vm, self);
        return d ? Value(d->cacheAsBitmap) : Value();
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        if (DisplayObject* d = Live(vm, self)) d->cacheAsBitmap = ToBoolean(Arg(a, 0), vm.Version());
        return Value();
      });
  // A copy both ways, as with the filters: a new Rectangle each read, and changing it changes
  // nothing until it is assigned again. Anything but an object turns the window off.
  AddAccessor(
      vm, vm.clipProto_, "scrollRect",
      [](Interpreter& vm, const Value& self, std::span<const Value>) {
        DisplayObject* d = Live(vm, self);
        if (!d || !d->scrollRect) return Value();
        const Value ctor =
            vm.GetMember(vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom"), "Rectangle");
        const DisplayObject::ScrollRect& r = *d->scrollRect;
        const Value args[4] = {r.x, r.y, r.width, r.height};
        return vm.Construct(ctor, args);
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        DisplayObject* d = Live(vm, self);
        const Value v = Arg(a, 0);
        if (!d) return Value();
        if (!v.IsObject()) {
          d->scrollRect.reset();
          return Value();
        }
        // Bounded so that the window's twips and corners stay well inside what drawing handles.
        auto number = [&](const char* name) {
          const double n = vm.ToNumber(vm.GetMember(v, name));
          return std::isfinite(n) ? std::clamp(n, -1e7, 1e7) : 0.0;
        };
        DisplayObject::ScrollRect r{number("x"), number("y"), number("width"), number("height")};
        r.width = std::max(r.width, 0.0);
        r.height = std::max(r.height, 0.0);
        d->scrollRect = r;
        return Value();
      });
  AddAccessor(
      vm, vm.clipProto_, "opaqueBackground",
      [](Interpreter& vm, const Value& self, std::span<const Value>) {
        DisplayObject* d = Live(vm, self);
        if (!d || !d->opaqueBackground) return Value();
        const Rgba& c = *d->opaqueBackground;
        return Value(static_cast<double>((uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b));
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        DisplayObject* d = Live(vm, self);
        const Value v = Arg(a, 0);
        if (!d) return Value();
        if (v.IsUndefined() || v.IsNull()) {
          d->opaqueBackground.reset();
          return Value();
        }
        const uint32_t rgb = ToUint32(vm.ToNumber(v));
        d->opaqueBackground = Rgba{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                                   static_cast<uint8_t>(rgb), 255};
        return Value();
      });
}

}  // namespace
}  // namespace swf::avm1
