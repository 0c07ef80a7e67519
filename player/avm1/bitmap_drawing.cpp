// The BitmapData methods that reach into the display list: draw, loadBitmap and the filter
// methods, and MovieClip.attachBitmap, which shows a bitmap in a clip.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "player/avm1/bitmap_script.h"
#include "player/avm1/filter_objects.h"
#include "player/avm1/library.h"
#include "player/bitmap_draw.h"
#include "player/display_list.h"
#include "player/raster/filters.h"

namespace swf::avm1 {
namespace {

// A matrix object's six numbers; anything else is the identity.
Matrix MatrixArg(Interpreter& vm, const Value& v) {
  if (!v.IsObject()) return {};
  Matrix m;
  double* fields[6] = {&m.a, &m.b, &m.c, &m.d, &m.tx, &m.ty};
  const char* names[6] = {"a", "b", "c", "d", "tx", "ty"};
  for (int i = 0; i < 6; ++i) {
    const double d = vm.ToNumber(vm.GetMember(v, names[i]));
    *fields[i] = std::isfinite(d) ? d : 0;
  }
  return m;
}

ColorTransform ColorsArg(const Value& v) {
  double c[8];
  ColorTransform out;
  if (!ReadColorTransform(v, c)) return out;
  auto mul = [](double m) { return static_cast<int16_t>(std::clamp(m * 256, -32768.0, 32767.0)); };
  auto add = [](double a) { return static_cast<int16_t>(std::clamp(a, -32768.0, 32767.0)); };
  out.rMul = mul(c[0]), out.gMul = mul(c[1]), out.bMul = mul(c[2]), out.aMul = mul(c[3]);
  out.rAdd = add(c[4]), out.gAdd = add(c[5]), out.bAdd = add(c[6]), out.aAdd = add(c[7]);
  return out;
}

// A blend mode by its number or its name ("multiply"); normal otherwise.
BlendMode BlendArg(Interpreter& vm, const Value& v) {
  if (v.IsNumber()) return BlendModeFromCode(static_cast<uint8_t>(ToUint32(v.AsNumber())));
  static constexpr const char* kNames[] = {
      "normal", "layer",    "multiply", "screen", "lighten", "darken",  "difference",
      "add",    "subtract", "invert",   "alpha",  "erase",   "overlay", "hardlight"};
  const std::string name = vm.ToString(v);
  for (size_t i = 0; i < std::size(kNames); ++i) {
    if (name == kNames[i]) return BlendModeFromCode(static_cast<uint8_t>(i + 1));
  }
  return BlendMode::Normal;
}

std::optional<PixelRect> ClipRectArg(Interpreter& vm, const Value& v) {
  if (!v.IsObject()) return std::nullopt;
  auto num = [&](const char* name) {
    const double d = vm.ToNumber(vm.GetMember(v, name));
    return std::isfinite(d) ? std::clamp(d, -1e9, 1e9) : 0.0;
  };
  const double x = num("x"), y = num("y"), w = num("width"), h = num("height");
  return PixelRect{static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)),
                   static_cast<int>(std::ceil(x + w)), static_cast<int>(std::ceil(y + h))};
}

DisplayObject* ClipArg(Interpreter& vm, const Value& v) {
  Object* o = v.AsObject();
  if (!o || o->kind != ObjectKind::Clip || !vm.Host()) return nullptr;
  return vm.Host()->Find(o->clip);
}

Value Draw(Interpreter& vm, const Value& self, std::span<const Value> a) {
  std::shared_ptr<BitmapData> target = BitmapOf(self);
  if (!target || a.empty()) return Value(-1);
  DrawInto how;
  how.matrix = MatrixArg(vm, Arg(a, 1));
  how.colors = ColorsArg(Arg(a, 2));
  if (a.size() > 3) how.blend = BlendArg(vm, a[3]);
  if (a.size() > 4) how.clip = ClipRectArg(vm, a[4]);
  how.smooth = a.size() > 5 && ToBoolean(vm.ToPrimitive(a[5]), vm.Version());
  if (!vm.ChargeWork(static_cast<uint64_t>(target->width()) * target->height() / 16 + 1)) {
    return Value(-1);
  }
  if (std::shared_ptr<BitmapData> source = BitmapOf(a[0])) {
    DrawImageInto(*target, source->image(), how);
    return Value(0);
  }
  DisplayObject* clip = ClipArg(vm, a[0]);
  DisplayList* display = vm.Host() ? vm.Host()->Display() : nullptr;
  if (!clip || !display) return Value(-1);
  const Movie* movie = display->LibraryOf(*clip);
  if (!movie) return Value(-1);
  DrawObjectInto(*target, *movie, *clip, how, display->deviceFonts());
  return Value(0);
}

// A library bitmap exported under `name`, as a new BitmapData.
Value LoadBitmap(Interpreter& vm, std::span<const Value> a) {
  DisplayList* display = vm.Host() ? vm.Host()->Display() : nullptr;
  if (!display || a.empty()) return Value();
  const std::optional<uint16_t> id = display->FindExport(display->Root(), vm.ToString(a[0]));
  const Movie* movie = display->LibraryOf(display->Root());
  const Bitmap* image = id && movie ? movie->FindBitmap(*id) : nullptr;
  if (!image || image->width <= 0 || image->height <= 0 ||
      image->pixels.size() != static_cast<size_t>(image->width) * image->height) {
    return Value();
  }
  const bool transparent = std::any_of(image->pixels.begin(), image->pixels.end(),
                                       [](uint32_t p) { return (p >> 24) != 255; });
  std::shared_ptr<BitmapData> pixels =
      BitmapData::Create(image->width, image->height, transparent, 0);
  if (!pixels) return Value();
  pixels->image().pixels = image->pixels;
  return NewBitmapObject(vm, std::move(pixels));
}

// MovieClip.attachBitmap(bitmap, depth, pixelSnapping, smoothing).
Value AttachBitmap(Interpreter& vm, const Value& self, std::span<const Value> a) {
  DisplayObject* parent = ClipArg(vm, self);
  DisplayList* display = vm.Host() ? vm.Host()->Display() : nullptr;
  std::shared_ptr<BitmapData> pixels = BitmapOf(Arg(a, 0));
  if (!parent || !display || !pixels || a.size() < 2) return Value();
  const double d = vm.ToNumber(a[1]);
  if (std::isnan(d) || d < kMinScriptDepth || d > kMaxScriptDepth) return Value();
  DisplayObject* made =
      display->CreateEmpty(*parent, static_cast<int32_t>(d) + kScriptDepthOffset, "");
  if (!made) return Value();
  made->kind = DisplayKind::Bitmap;
  made->bitmap = std::move(pixels);
  made->smoothing = a.size() > 3 && ToBoolean(vm.ToPrimitive(a[3]), vm.Version());
  return Value();
}

// How far a filter reaches beyond the pixels it is given, bounded so that a tiny rectangle with
// a huge blur does not ask for a huge buffer.
constexpr int kMaxApplyMargin = 512;
// The largest working buffer applyFilter takes, in pixels.
constexpr int64_t kMaxApplyPixels = int64_t{1} << 24;

// applyFilter(source, sourceRect, destPoint, filter): the filter a clip's `filters` would take,
// drawn over the source rectangle (transparent around it) and written at the point. 0 when
// done; negative, as the original answers, for a bad bitmap, rectangle or filter.
Value ApplyFilterMethod(Interpreter& vm, const Value& self, std::span<const Value> a) {
  const std::shared_ptr<BitmapData> dst = BitmapOf(self);
  if (!dst) return Value(-1);
  if (a.size() < 4) return Value(-1);
  const std::shared_ptr<BitmapData> src = BitmapOf(a[0]);
  if (!src) return Value(-2);
  Filter filter;
  if (!a[1].IsObject() || !FilterFromObject(vm, a[3], filter)) return Value(-4);
  auto number = [&](const Value& from, const char* name) {
    const double n = vm.ToNumber(vm.GetMember(from, name));
    return std::isfinite(n) ? static_cast<int>(std::clamp(std::trunc(n), -1e9, 1e9)) : 0;
  };
  const int rx = number(a[1], "x"), ry = number(a[1], "y");
  const int rw = number(a[1], "width"), rh = number(a[1], "height");
  const int dx = a[2].IsObject() ? number(a[2], "x") : 0;
  const int dy = a[2].IsObject() ? number(a[2], "y") : 0;
  const CopyArea area =
      ClipCopy(*src, {rx, ry, rx + std::max(rw, 0), ry + std::max(rh, 0)}, *dst, dx, dy);
  if (area.from.Empty()) return Value(0);
  const int margin = std::clamp(raster::FilterMargin(filter, 1), 0, kMaxApplyMargin);
  const int w = area.from.right - area.from.left + 2 * margin;
  const int h = area.from.bottom - area.from.top + 2 * margin;
  if (int64_t{w} * h > kMaxApplyPixels) return Value(-4);
  if (!vm.ChargeWork(static_cast<uint64_t>(int64_t{w} * h * std::max(filter.passes, 1) / 16 + 1))) {
    return Value(0);
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h, 0);
  for (int y = area.from.top; y < area.from.bottom; ++y) {
    const uint32_t* row = src->Row(y);
    std::copy(row + area.from.left, row + area.from.right,
              pixels.begin() + static_cast<ptrdiff_t>(y - area.from.top + margin) * w + margin);
  }
  raster::ApplyFilter(filter, 1, pixels, w, h);
  // Only the rectangle itself is written, where the point puts it.
  const int landX = area.dx, landY = area.dy;
  for (int y = 0; y < area.from.bottom - area.from.top; ++y) {
    uint32_t* out = dst->Row(landY + y) + landX;
    const uint32_t* in = pixels.data() + static_cast<size_t>(y + margin) * w + margin;
    for (int x = 0; x < area.from.right - area.from.left; ++x) {
      out[x] = dst->transparent() ? in[x] : in[x] | 0xFF000000u;
    }
  }
  dst->Touch();
  return Value(0);
}

}  // namespace

void InstallBitmapDrawing(Interpreter& vm, Object* proto, Object* ctor) {
  AddMethod(vm, proto, "draw", Draw);
  AddMethod(vm, ctor, "loadBitmap", [](Interpreter& vm, const Value&, std::span<const Value> a) {
    return LoadBitmap(vm, a);
  });
  AddMethod(vm, proto, "applyFilter", ApplyFilterMethod);
  AddMethod(vm, proto, "generateFilterRect",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) -> Value {
              if (!BitmapOf(self) || a.size() < 2) return Value(-1);
              // Without a filter to measure, the rectangle stays as it is.
              const Value r = a[0];
              if (!r.IsObject()) return Value(-1);
              const Value ctor = vm.GetMember(
                  vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom"), "Rectangle");
              const Value args[4] = {vm.GetMember(r, "x"), vm.GetMember(r, "y"),
                                     vm.GetMember(r, "width"), vm.GetMember(r, "height")};
              return vm.Construct(ctor, args);
            });
  AddMethod(vm, vm.clipProto_, "attachBitmap", AttachBitmap);
}

}  // namespace swf::avm1
