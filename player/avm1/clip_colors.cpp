// The objects that reach a clip's matrix and colours: Color (percentages and offsets, as
// Flash 5 gave them) and flash.geom.Transform with a clip's `transform` property. Both work on
// the live display object, so what they set shows on the next frame drawn and what they read
// is what the timeline or other scripts left there.
#include <cmath>

#include "player/avm1/library.h"
#include "player/compose.h"
#include "player/display_list.h"

namespace swf::avm1 {
namespace {

DisplayObject* Live(Interpreter& vm, const Value& clip) {
  Object* o = clip.AsObject();
  if (!vm.Host() || !o || o->kind != ObjectKind::Clip) return nullptr;
  return vm.Host()->Find(o->clip);
}

// What a Color's target names: a clip, or a path to one. An empty path names nothing.
DisplayObject* ColorTarget(Interpreter& vm, const Value& self) {
  const Value target = vm.GetMember(self, "target");
  if (target.IsObject()) return Live(vm, target);
  if (target.IsUndefined() || target.IsNull() || !vm.Host()) return nullptr;
  const std::string path = vm.ToString(target);
  if (path.empty()) return nullptr;
  const std::optional<ClipRef> clip = vm.ResolveClip(path);
  return clip ? vm.Host()->Find(*clip) : nullptr;
}

// Values pass into the 16-bit fields as the original stores them, wrapping rather than
// clamping.
int16_t Wrap16(double v) { return static_cast<int16_t>(ToUint32(v) & 0xFFFF); }

void InstallColor(Interpreter& vm) {
  Object* ctor = DefineClass(vm, vm.Global(), "Color",
                             [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                               if (Object* o = self.AsObject()) {
                                 o->SetOwn("target", Arg(a, 0), vm.CaseSensitive(), kDontEnum);
                                 if (o->kind != ObjectKind::Clip) {
                                   LockPrototypeLink(vm, o);
                                   LockOwnProperties(o);
                                 }
                               }
                               return Value();
                             });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  AddMethod(vm, proto, "getRGB", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    DisplayObject* d = ColorTarget(vm, self);
    if (!d) return Value();
    const ColorTransform& c = d->colors;
    return Value(static_cast<double>((c.rAdd << 16) | (c.gAdd << 8) | c.bAdd));
  });
  AddMethod(vm, proto, "setRGB", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    DisplayObject* d = ColorTarget(vm, self);
    if (!d || a.empty()) return Value();
    const uint32_t rgb = ToUint32(vm.ToNumber(a[0]));
    ColorTransform& c = d->colors;
    c.rMul = c.gMul = c.bMul = 0;
    c.rAdd = static_cast<int16_t>((rgb >> 16) & 0xFF);
    c.gAdd = static_cast<int16_t>((rgb >> 8) & 0xFF);
    c.bAdd = static_cast<int16_t>(rgb & 0xFF);
    d->scripted = true;
    return Value();
  });
  AddMethod(vm, proto, "getTransform",
            [](Interpreter& vm, const Value& self, std::span<const Value>) {
              DisplayObject* d = ColorTarget(vm, self);
              Object* out = d ? vm.NewPlainObject() : nullptr;
              if (!out) return Value();
              const ColorTransform& c = d->colors;
              const std::pair<const char*, double> fields[] = {
                  {"ra", c.rMul / 2.56}, {"rb", c.rAdd}, {"ga", c.gMul / 2.56}, {"gb", c.gAdd},
                  {"ba", c.bMul / 2.56}, {"bb", c.bAdd}, {"aa", c.aMul / 2.56}, {"ab", c.aAdd}};
              for (const auto& [name, v] : fields) vm.SetMember(out, name, v);
              return Value(out);
            });
  // Only the fields the object has itself change; percentages go to 1/256 steps, cut short.
  AddMethod(vm, proto, "setTransform",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              DisplayObject* d = ColorTarget(vm, self);
              Object* in = Arg(a, 0).AsObject();
              if (!d || !in) return Value();
              ColorTransform& c = d->colors;
              const std::pair<const char*, int16_t*> muls[] = {
                  {"ra", &c.rMul}, {"ga", &c.gMul}, {"ba", &c.bMul}, {"aa", &c.aMul}};
              const std::pair<const char*, int16_t*> adds[] = {
                  {"rb", &c.rAdd}, {"gb", &c.gAdd}, {"bb", &c.bAdd}, {"ab", &c.aAdd}};
              for (const auto& [name, field] : muls) {
                if (in->FindOwn(name, vm.CaseSensitive()))
                  *field = Wrap16(vm.ToNumber(vm.GetMember(in, name)) * 2.56);
              }
              for (const auto& [name, field] : adds) {
                if (in->FindOwn(name, vm.CaseSensitive()))
                  *field = Wrap16(vm.ToNumber(vm.GetMember(in, name)));
              }
              d->scripted = true;
              return Value();
            });
}

// outer after inner in the fields' own 16 bits: what scripts read back wraps where drawing
// would clamp.
ColorTransform Wrapped(const ColorTransform& outer, const ColorTransform& inner) {
  auto mul = [](int16_t o, int16_t i) { return Wrap16((int32_t{o} * i) >> 8); };
  auto add = [](int16_t om, int16_t ia, int16_t oa) {
    return Wrap16(((int32_t{om} * ia) >> 8) + oa);
  };
  return {mul(outer.rMul, inner.rMul),
          mul(outer.gMul, inner.gMul),
          mul(outer.bMul, inner.bMul),
          mul(outer.aMul, inner.aMul),
          add(outer.rMul, inner.rAdd, outer.rAdd),
          add(outer.gMul, inner.gAdd, outer.gAdd),
          add(outer.bMul, inner.bAdd, outer.bAdd),
          add(outer.aMul, inner.aAdd, outer.aAdd)};
}

Object* Geom(Interpreter& vm) {
  return vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom").AsObject();
}

Value NewGeom(Interpreter& vm, const char* cls, std::span<const Value> args) {
  return vm.Construct(vm.GetMember(Geom(vm), cls), args);
}

Value MatrixValue(Interpreter& vm, const Matrix& m) {
  const Value args[] = {m.a, m.b, m.c, m.d, m.tx / 20, m.ty / 20};
  return NewGeom(vm, "Matrix", args);
}

Value ColorValue(Interpreter& vm, const ColorTransform& c) {
  const Value args[] = {c.rMul / 256.0,
                        c.gMul / 256.0,
                        c.bMul / 256.0,
                        c.aMul / 256.0,
                        static_cast<double>(c.rAdd),
                        static_cast<double>(c.gAdd),
                        static_cast<double>(c.bAdd),
                        static_cast<double>(c.aAdd)};
  return NewGeom(vm, "ColorTransform", args);
}

// The clip a Transform stands for: it keeps the clip object, so a clip that is gone is null.
DisplayObject* TransformClip(Interpreter& vm, const Value& self) {
  Object* o = self.AsObject();
  if (!o || o->internal.size() != 1) return nullptr;
  return Live(vm, o->internal[0]);
}

void SetMatrix(DisplayObject& d, const Matrix& m) {
  d.matrix = m;
  d.xscale.reset();
  d.yscale.reset();
  d.rotation.reset();
  d.scripted = true;
}

void InstallTransform(Interpreter& vm) {
  Object* geom = Geom(vm);
  if (!geom) return;
  auto make = [](Interpreter& vm, const Value&, std::span<const Value> a) -> Value {
    // Without a clip to stand for there is no Transform at all.
    if (!Live(vm, Arg(a, 0))) return Value();
    Object* proto = PrototypeOf(vm, vm.GetMember(Geom(vm), "Transform").AsObject());
    Object* o = vm.NewObject(proto);
    if (!o) return Value();
    o->internal.assign(1, Arg(a, 0));
    return Value(o);
  };
  Object* ctor = vm.NewNative(make, make);
  Object* proto = vm.NewPlainObject();
  if (!ctor || !proto) return;
  const bool cs = vm.CaseSensitive();
  ctor->SetOwn("prototype", proto, cs, kDontEnum | kDontDelete);
  proto->SetOwn("constructor", ctor, cs, kDontEnum);
  geom->SetOwn("Transform", ctor, cs, kDontEnum);

  AddAccessor(
      vm, proto, "matrix",
      [](Interpreter& vm, const Value& self, std::span<const Value>) {
        DisplayObject* d = TransformClip(vm, self);
        return d ? MatrixValue(vm, d->matrix) : Value();
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        DisplayObject* d = TransformClip(vm, self);
        const Value m = Arg(a, 0);
        if (!d || !vm.InstanceOf(m, vm.GetMember(Geom(vm), "Matrix"))) return Value();
        auto n = [&](const char* f) { return vm.ToNumber(vm.GetMember(m, f)); };
        SetMatrix(*d, {n("a"), n("b"), n("c"), n("d"), n("tx") * 20, n("ty") * 20});
        return Value();
      });
  AddAccessor(
      vm, proto, "colorTransform",
      [](Interpreter& vm, const Value& self, std::span<const Value>) {
        DisplayObject* d = TransformClip(vm, self);
        return d ? ColorValue(vm, d->colors) : Value();
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        DisplayObject* d = TransformClip(vm, self);
        double v[8];
        if (!d || !ReadColorTransform(Arg(a, 0), v)) return Value();
        d->colors = {Wrap16(v[0] * 256), Wrap16(v[1] * 256), Wrap16(v[2] * 256), Wrap16(v[3] * 256),
                     Wrap16(v[4]),       Wrap16(v[5]),       Wrap16(v[6]),       Wrap16(v[7])};
        d->scripted = true;
        return Value();
      });
  AddAccessor(vm, proto, "concatenatedMatrix",
              [](Interpreter& vm, const Value& self, std::span<const Value>) {
                DisplayObject* d = TransformClip(vm, self);
                if (!d) return Value();
                Matrix m = d->matrix;
                for (const DisplayObject* p = d->parent; p; p = p->parent) m = p->matrix * m;
                return MatrixValue(vm, m);
              });
  AddAccessor(vm, proto, "concatenatedColorTransform",
              [](Interpreter& vm, const Value& self, std::span<const Value>) {
                DisplayObject* d = TransformClip(vm, self);
                if (!d) return Value();
                ColorTransform c = d->colors;
                for (const DisplayObject* p = d->parent; p; p = p->parent)
                  c = Wrapped(p->colors, c);
                return ColorValue(vm, c);
              });
  AddAccessor(vm, proto, "pixelBounds",
              [](Interpreter& vm, const Value& self, std::span<const Value>) {
                DisplayObject* d = TransformClip(vm, self);
                const Movie* movie =
                    vm.Host() && vm.Host()->Display() ? vm.Host()->Display()->movie() : nullptr;
                if (!d || !movie) return Value();
                Matrix m = d->matrix;
                for (const DisplayObject* p = d->parent; p; p = p->parent) m = p->matrix * m;
                const Bounds b = ObjectBounds(*movie, *d, m);
                const Value args[] = {std::round(b.xMin / 20), std::round(b.yMin / 20),
                                      std::round((b.xMax - b.xMin) / 20),
                                      std::round((b.yMax - b.yMin) / 20)};
                return b.empty ? NewGeom(vm, "Rectangle", std::span<const Value>(args, 0))
                               : NewGeom(vm, "Rectangle", args);
              });

  // A clip's `transform` is a new Transform each time it is read; setting it to another
  // clip's copies that clip's matrix and colours.
  if (vm.Version() < 8) return;
  AddAccessor(
      vm, vm.clipProto_, "transform",
      [](Interpreter& vm, const Value& self, std::span<const Value>) {
        const Value args[] = {self};
        return vm.Construct(vm.GetMember(Geom(vm), "Transform"), args);
      },
      [](Interpreter& vm, const Value& self, std::span<const Value> a) {
        DisplayObject* to = Live(vm, self);
        DisplayObject* from = TransformClip(vm, Arg(a, 0));
        if (!to || !from) return Value();
        SetMatrix(*to, from->matrix);
        to->colors = from->colors;
        return Value();
      });
}

}  // namespace

void InstallClipColors(Interpreter& vm) {
  InstallColor(vm);
  InstallTransform(vm);
}

}  // namespace swf::avm1
