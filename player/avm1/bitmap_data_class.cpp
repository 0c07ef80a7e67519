// flash.display.BitmapData: the script side of the bitmaps in player/bitmap_data.h. A script
// object keeps its pixels in `bitmap`; a clip showing the bitmap (attachBitmap) shares them,
// so they live as long as either needs them.
//
// The methods answer as the original's do: -1 when `this` is not a live bitmap or arguments
// are missing, -2 when the source is not a bitmap, -3 when it is disposed, -4 when a rectangle
// lacks one of its four numbers, and otherwise 0 or what the method gives.
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "player/avm1/arrays.h"
#include "player/avm1/bitmap_script.h"
#include "player/avm1/library.h"
#include "player/bitmap_data.h"

namespace swf::avm1 {
namespace {

constexpr double kFailed = -1;

BitmapData* Live(const Value& v) {
  Object* o = v.AsObject();
  return o && o->bitmap && !o->bitmap->disposed() ? o->bitmap.get() : nullptr;
}

int32_t Int(Interpreter& vm, const Value& v) { return ToInt32(vm.ToNumber(v)); }
uint32_t Uint(Interpreter& vm, const Value& v) { return ToUint32(vm.ToNumber(v)); }

// A rectangle with all four numbers, or nothing.
std::optional<PixelRect> RectArg(Interpreter& vm, const Value& v) {
  if (!v.IsObject()) return std::nullopt;
  Value parts[4];
  const char* names[4] = {"x", "y", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    parts[i] = vm.GetMember(v, names[i]);
    if (parts[i].IsUndefined()) return std::nullopt;
  }
  auto clampInt = [](double d) {
    if (std::isnan(d)) return 0.0;
    // Small enough that a corner plus a size still fits an int.
    return std::clamp(std::trunc(d), -1e9, 1e9);
  };
  const double x = clampInt(vm.ToNumber(parts[0])), y = clampInt(vm.ToNumber(parts[1]));
  const double w = clampInt(vm.ToNumber(parts[2])), h = clampInt(vm.ToNumber(parts[3]));
  return PixelRect{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + w),
                   static_cast<int>(y + h)};
}

// A point's coordinates; anything that is not one stands for (0, 0).
std::pair<int, int> PointArg(Interpreter& vm, const Value& v) {
  if (!v.IsObject()) return {0, 0};
  return {Int(vm, vm.GetMember(v, "x")), Int(vm, vm.GetMember(v, "y"))};
}

Object* Display(Interpreter& vm) {
  return vm.GetMember(vm.GetMember(vm.Global(), "flash"), "display").AsObject();
}

Value NewRectangle(Interpreter& vm, const PixelRect& r) {
  const Value ctor =
      vm.GetMember(vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom"), "Rectangle");
  const Value args[4] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
  return vm.Construct(ctor, args);
}

// A fresh script object of BitmapData's class around `pixels`.
Value Wrap(Interpreter& vm, std::shared_ptr<BitmapData> pixels) {
  if (!pixels) return Value();
  const Value proto = vm.GetMember(vm.GetMember(Display(vm), "BitmapData"), "prototype");
  Object* o = vm.NewObject(proto.AsObject());
  if (!o) return Value();
  o->bitmap = std::move(pixels);
  return o;
}

// Pixel work costs the running script as instructions do, so that a loop of huge fills ends
// with the script's budget like any other long loop. False when the budget cannot pay for it:
// the script stops and the work is left undone, so no one call can take unbounded time.
bool Charge(Interpreter& vm, int64_t pixels) {
  return vm.ChargeWork(static_cast<uint64_t>(std::max<int64_t>(pixels, 0) / 64 + 1));
}

int64_t Area(const PixelRect& r) {
  return r.Empty() ? 0 : int64_t{r.right - r.left} * (r.bottom - r.top);
}

// The source checks shared by copyPixels, threshold, merge and the others. Returns the error
// code, 0 when fine.
double SourceError(Interpreter& vm, const Value& source, const Value& rect,
                   std::optional<PixelRect>& outRect) {
  Object* o = source.AsObject();
  if (!o || !o->bitmap) return -2;
  if (o->bitmap->disposed()) return -3;
  outRect = RectArg(vm, rect);
  return outRect ? 0 : -4;
}

// a - b for coordinates a script chose freely, kept inside an int.
int Offset(int a, int b) {
  return static_cast<int>(
      std::clamp<int64_t>(int64_t{a} - b, -(int64_t{1} << 30), int64_t{1} << 30));
}

using Method = Value (*)(Interpreter&, BitmapData&, std::span<const Value>);

struct MethodDef {
  const char* name;
  size_t minArgs;
  Method fn;
};

ThresholdOp OpArg(Interpreter& vm, const Value& v) {
  const std::string op = vm.ToString(v);
  if (op == "<=") return ThresholdOp::LessEqual;
  if (op == ">") return ThresholdOp::Greater;
  if (op == ">=") return ThresholdOp::GreaterEqual;
  if (op == "!=") return ThresholdOp::NotEqual;
  if (op == "==") return ThresholdOp::Equal;
  // "<", and whatever the original does not know.
  return ThresholdOp::Less;
}

const MethodDef kMethods[] = {
    {"getPixel", 2,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       return Value(static_cast<double>(b.GetPixel32(Int(vm, a[0]), Int(vm, a[1])) & 0xFFFFFF));
     }},
    {"getPixel32", 2,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       return Value(
           static_cast<double>(static_cast<int32_t>(b.GetPixel32(Int(vm, a[0]), Int(vm, a[1])))));
     }},
    {"setPixel", 3,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       const int x = Int(vm, a[0]), y = Int(vm, a[1]);
       if (b.Contains(x, y)) {
         const uint32_t alpha = b.Row(y)[x] & 0xFF000000u;
         b.SetPixel32(x, y, alpha | (Uint(vm, a[2]) & 0xFFFFFF));
       }
       return Value(0);
     }},
    {"setPixel32", 3,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       b.SetPixel32(Int(vm, a[0]), Int(vm, a[1]), Uint(vm, a[2]));
       return Value(0);
     }},
    {"fillRect", 2,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       std::optional<PixelRect> r = RectArg(vm, a[0]);
       if (!r) return Value(kFailed);
       // A negative width or height fills back from the corner instead of nothing.
       if (r->right < r->left) std::swap(r->left, r->right);
       if (r->bottom < r->top) std::swap(r->top, r->bottom);
       if (!Charge(vm, Area(Intersect(*r, b.Bounds())))) return Value(kFailed);
       b.FillRect(*r, Uint(vm, a[1]));
       return Value(0);
     }},
    {"floodFill", 3,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       if (!Charge(vm, int64_t{b.width()} * b.height())) return Value(kFailed);
       FloodFill(b, Int(vm, a[0]), Int(vm, a[1]), Uint(vm, a[2]));
       return Value(0);
     }},
    {"scroll", 2,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       if (!Charge(vm, int64_t{b.width()} * b.height())) return Value(kFailed);
       Scroll(b, Int(vm, a[0]), Int(vm, a[1]));
       return Value(0);
     }},
    {"clone", 0,
     [](Interpreter& vm, BitmapData& b, std::span<const Value>) {
       std::shared_ptr<BitmapData> copy =
           BitmapData::Create(b.width(), b.height(), b.transparent(), 0);
       if (!copy) return Value();
       copy->image().pixels = b.image().pixels;
       return Wrap(vm, std::move(copy));
     }},
    {"dispose", 0,
     [](Interpreter&, BitmapData& b, std::span<const Value>) {
       b.Dispose();
       return Value(0);
     }},
    {"compare", 1,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       const BitmapData* other = Live(a[0]);
       if (!other) return Value(-2);
       if (!Charge(vm, int64_t{b.width()} * b.height())) return Value(kFailed);
       CompareResult r = Compare(b, *other);
       if (r.code != 1) return Value(r.code);
       return Wrap(vm, std::move(r.difference));
     }},
    {"getColorBoundsRect", 2,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       const bool find = a.size() < 3 || ToBoolean(vm.ToPrimitive(a[2]), vm.Version());
       if (!Charge(vm, int64_t{b.width()} * b.height())) return Value(kFailed);
       return NewRectangle(vm, ColorBounds(b, Uint(vm, a[0]), Uint(vm, a[1]), find));
     }},
    {"colorTransform", 2,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       const std::optional<PixelRect> r = RectArg(vm, a[0]);
       double v[8];
       if (!r || !ReadColorTransform(a[1], v)) return Value(kFailed);
       if (!Charge(vm, Area(Intersect(*r, b.Bounds())))) return Value(kFailed);
       ApplyColorTransform(b, *r, {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]});
       return Value(0);
     }},
    {"copyPixels", 3,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       std::optional<PixelRect> r;
       if (const double e = SourceError(vm, a[0], a[1], r)) return Value(e);
       const auto [dx, dy] = PointArg(vm, a[2]);
       // The alpha bitmap counts only with the point to read it from.
       const BitmapData* alpha = a.size() > 4 ? Live(a[3]) : nullptr;
       const auto [ax, ay] = PointArg(vm, Arg(a, 4));
       const bool merge = a.size() > 5 && ToBoolean(vm.ToPrimitive(a[5]), vm.Version());
       if (!Charge(vm, Area(Intersect(*r, a[0].AsObject()->bitmap->Bounds())))) {
         return Value(kFailed);
       }
       CopyPixels(b, *a[0].AsObject()->bitmap, *r, dx, dy, alpha, ax, ay, merge);
       return Value(0);
     }},
    {"copyChannel", 5,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       std::optional<PixelRect> r;
       if (const double e = SourceError(vm, a[0], a[1], r)) return Value(e);
       const auto [dx, dy] = PointArg(vm, a[2]);
       if (!Charge(vm, Area(Intersect(*r, a[0].AsObject()->bitmap->Bounds())))) {
         return Value(kFailed);
       }
       CopyChannel(b, *a[0].AsObject()->bitmap, *r, dx, dy, Uint(vm, a[3]), Uint(vm, a[4]));
       return Value(kFailed);
     }},
    {"threshold", 5,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       std::optional<PixelRect> r;
       if (const double e = SourceError(vm, a[0], a[1], r)) return Value(e);
       const auto [dx, dy] = PointArg(vm, a[2]);
       const uint32_t color = a.size() > 5 ? Uint(vm, a[5]) : 0;
       const uint32_t mask = a.size() > 6 ? Uint(vm, a[6]) : 0xFFFFFFFFu;
       const bool copy = a.size() > 7 && ToBoolean(vm.ToPrimitive(a[7]), vm.Version());
       if (!Charge(vm, Area(Intersect(*r, a[0].AsObject()->bitmap->Bounds())))) {
         return Value(kFailed);
       }
       return Value(
           static_cast<double>(Threshold(b, *a[0].AsObject()->bitmap, *r, dx, dy, OpArg(vm, a[3]),
                                         Uint(vm, a[4]), color, mask, copy)));
     }},
    {"merge", 7,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       std::optional<PixelRect> r;
       if (const double e = SourceError(vm, a[0], a[1], r)) return Value(e);
       const auto [dx, dy] = PointArg(vm, a[2]);
       const uint32_t m[4] = {Uint(vm, a[3]), Uint(vm, a[4]), Uint(vm, a[5]), Uint(vm, a[6])};
       if (!Charge(vm, Area(Intersect(*r, a[0].AsObject()->bitmap->Bounds())))) {
         return Value(kFailed);
       }
       Merge(b, *a[0].AsObject()->bitmap, *r, dx, dy, m);
       return Value(0);
     }},
    {"paletteMap", 3,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       std::optional<PixelRect> r;
       if (const double e = SourceError(vm, a[0], a[1], r)) return Value(e);
       const auto [dx, dy] = PointArg(vm, a[2]);
       std::vector<uint32_t> lists[4];
       const std::vector<uint32_t>* tables[4] = {};
       for (size_t i = 0; i < 4; ++i) {
         Object* array = Arg(a, 3 + i).AsObject();
         if (!array || array->kind != ObjectKind::Array) continue;
         for (const Value& v : ListItems(vm, array, 256)) lists[i].push_back(Uint(vm, v));
         tables[i] = &lists[i];
       }
       if (!Charge(vm, Area(Intersect(*r, a[0].AsObject()->bitmap->Bounds())))) {
         return Value(kFailed);
       }
       PaletteMap(b, *a[0].AsObject()->bitmap, *r, dx, dy, tables);
       return Value(0);
     }},
    {"pixelDissolve", 5,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       std::optional<PixelRect> r;
       if (const double e = SourceError(vm, a[0], a[1], r)) return Value(e);
       const auto [dx, dy] = PointArg(vm, a[2]);
       const int32_t seed = Int(vm, a[3]);
       // A negative count is read as a huge unsigned one.
       const uint32_t count = Uint(vm, a[4]);
       const uint32_t fill = a.size() > 5 ? Uint(vm, a[5]) : 0;
       if (!Charge(vm, Area(Intersect(*r, a[0].AsObject()->bitmap->Bounds())))) {
         return Value(kFailed);
       }
       return Value(PixelDissolve(b, *a[0].AsObject()->bitmap, *r, dx, dy, seed, count, fill));
     }},
    {"noise", 1,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       const int low = a.size() > 1 ? Int(vm, a[1]) : 0;
       const int high = a.size() > 2 ? Int(vm, a[2]) : 255;
       uint32_t channels = a.size() > 3 ? Uint(vm, a[3]) : 7;
       const bool gray = a.size() > 4 && ToBoolean(vm.ToPrimitive(a[4]), vm.Version());
       if (!Charge(vm, int64_t{b.width()} * b.height() * 4)) return Value(kFailed);
       Noise(b, Int(vm, a[0]), low, high, channels, gray);
       return Value(0);
     }},
    {"perlinNoise", 6,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       PerlinParams p;
       p.baseX = vm.ToNumber(a[0]);
       p.baseY = vm.ToNumber(a[1]);
       p.octaves = std::clamp(Int(vm, a[2]), 0, 32);
       p.seed = Int(vm, a[3]);
       p.stitch = ToBoolean(vm.ToPrimitive(a[4]), vm.Version());
       p.fractal = ToBoolean(vm.ToPrimitive(a[5]), vm.Version());
       if (a.size() > 6) p.channels = Uint(vm, a[6]);
       p.gray = a.size() > 7 && ToBoolean(vm.ToPrimitive(a[7]), vm.Version());
       if (Object* offsets = Arg(a, 8).AsObject(); offsets && offsets->kind == ObjectKind::Array) {
         for (const Value& o : ListItems(vm, offsets, 32)) {
           p.offsets.push_back(
               {vm.ToNumber(vm.GetMember(o, "x")), vm.ToNumber(vm.GetMember(o, "y"))});
         }
       }
       if (!Charge(vm, int64_t{b.width()} * b.height() * 4 * std::max(1, p.octaves) * 8))
         return Value(kFailed);
       PerlinNoise(b, p);
       return Value(0);
     }},
    {"hitTest", 2,
     [](Interpreter& vm, BitmapData& b, std::span<const Value> a) {
       const auto [fx, fy] = PointArg(vm, a[0]);
       const int threshold = Int(vm, a[1]);
       const Value& second = Arg(a, 2);
       if (const BitmapData* other = Live(second)) {
         const auto [sx, sy] = PointArg(vm, Arg(a, 3));
         const int secondThreshold = a.size() > 4 ? Int(vm, a[4]) : 1;
         if (!Charge(vm, int64_t{b.width()} * b.height())) return Value(kFailed);
         return Value(HitTestBitmap(b, threshold, fx, fy, *other, secondThreshold, sx, sy));
       }
       if (second.IsObject() && !vm.GetMember(second, "width").IsUndefined()) {
         std::optional<PixelRect> r = RectArg(vm, second);
         if (!r) return Value(false);
         if (!Charge(vm, Area(Intersect(*r, b.Bounds())))) return Value(kFailed);
         const PixelRect local{Offset(r->left, fx), Offset(r->top, fy), Offset(r->right, fx),
                               Offset(r->bottom, fy)};
         return Value(HitTestRect(b, threshold, local));
       }
       const auto [px, py] = PointArg(vm, second);
       return Value(HitTestPoint(b, threshold, Offset(px, fx), Offset(py, fy)));
     }},
};

void AddProperty(Interpreter& vm, Object* proto, const char* name, NativeFunction get) {
  Property p{name, Value(), 0};
  p.getter = vm.NewNative(std::move(get));
  // A setter that ignores what it is given: the size of a bitmap is fixed.
  p.setter =
      vm.NewNative([](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  if (p.getter && p.setter) proto->props.push_back(std::move(p));
}

}  // namespace

std::shared_ptr<BitmapData> BitmapOf(const Value& v) {
  Object* o = v.AsObject();
  return o && o->bitmap && !o->bitmap->disposed() ? o->bitmap : nullptr;
}

Value NewBitmapObject(Interpreter& vm, std::shared_ptr<BitmapData> pixels) {
  return Wrap(vm, std::move(pixels));
}

void InstallBitmapData(Interpreter& vm) {
  const bool cs = vm.CaseSensitive();
  Object* display = FlashPackage(vm, "display");
  if (!display) return;
  // Sets up `self` as a bitmap; false when the arguments make none.
  static constexpr auto init = [](Interpreter& vm, Object* self, std::span<const Value> a) {
    if (!self || a.size() < 2) return false;
    const int32_t w = Int(vm, a[0]), h = Int(vm, a[1]);
    if (!BitmapSizeAllowed(w, h, vm.Version())) return false;
    const bool transparent = a.size() < 3 || ToBoolean(vm.ToPrimitive(a[2]), vm.Version());
    const uint32_t fill = a.size() > 3 ? Uint(vm, a[3]) : 0xFFFFFFFFu;
    if (!vm.ChargeWork(static_cast<uint64_t>(int64_t{w} * h / 64))) return false;
    self->bitmap = BitmapData::Create(w, h, transparent, fill);
    return self->bitmap != nullptr;
  };
  Object* proto = vm.NewPlainObject();
  Object* ctor = vm.NewNative(
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        return init(vm, Unclaimed(vm, self), a) ? self : Value();
      },
      [](Interpreter& vm, const Value&, std::span<const Value> a) -> Value {
        const Value proto = vm.GetMember(vm.GetMember(Display(vm), "BitmapData"), "prototype");
        Object* o = vm.NewObject(proto.AsObject());
        if (!init(vm, o, a)) return Value();
        return o;
      });
  if (!proto || !ctor) return;
  ctor->SetOwn("prototype", proto, cs, kDontEnum | kDontDelete);
  proto->SetOwn("constructor", ctor, cs, kDontEnum);
  display->SetOwn("BitmapData", ctor, cs);
  for (const auto& [name, value] : {std::pair{"RED_CHANNEL", 1}, std::pair{"GREEN_CHANNEL", 2},
                                    std::pair{"BLUE_CHANNEL", 4}, std::pair{"ALPHA_CHANNEL", 8}}) {
    ctor->SetOwn(name, value, cs);
  }
  AddProperty(vm, proto, "width", [](Interpreter&, const Value& self, std::span<const Value>) {
    const BitmapData* b = Live(self);
    return b ? Value(b->width()) : Value(kFailed);
  });
  AddProperty(vm, proto, "height", [](Interpreter&, const Value& self, std::span<const Value>) {
    const BitmapData* b = Live(self);
    return b ? Value(b->height()) : Value(kFailed);
  });
  AddProperty(vm, proto, "transparent",
              [](Interpreter&, const Value& self, std::span<const Value>) {
                const BitmapData* b = Live(self);
                return b ? Value(b->transparent()) : Value(kFailed);
              });
  AddProperty(vm, proto, "rectangle",
              [](Interpreter& vm, const Value& self, std::span<const Value>) {
                const BitmapData* b = Live(self);
                return b ? NewRectangle(vm, b->Bounds()) : Value(kFailed);
              });
  for (const MethodDef& m : kMethods) {
    AddMethod(vm, proto, m.name,
              [m](Interpreter& vm, const Value& self, std::span<const Value> a) -> Value {
                BitmapData* b = Live(self);
                if (!b || a.size() < m.minArgs) return Value(kFailed);
                return m.fn(vm, *b, a);
              });
  }
  InstallBitmapDrawing(vm, proto, ctor);
  ListMembersInOrder(proto, {"width",
                             "height",
                             "rectangle",
                             "transparent",
                             "getPixel",
                             "setPixel",
                             "fillRect",
                             "copyPixels",
                             "applyFilter",
                             "scroll",
                             "threshold",
                             "draw",
                             "pixelDissolve",
                             "getPixel32",
                             "setPixel32",
                             "floodFill",
                             "getColorBoundsRect",
                             "perlinNoise",
                             "colorTransform",
                             "hitTest",
                             "paletteMap",
                             "merge",
                             "noise",
                             "copyChannel",
                             "clone",
                             "dispose",
                             "generateFilterRect",
                             "compare"});
}

}  // namespace swf::avm1
