// MovieClip.prototype and the clip properties: what scripts call and read on a clip by name.
#include <cmath>
#include <limits>
#include <numbers>

#include "player/avm1/drawing_styles.h"
#include "player/avm1/interpreter.h"
#include "player/avm1/script_error.h"
#include "player/compose.h"
#include "player/display_list.h"

namespace swf::avm1 {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// A field's position is where its box's top-left corner lands, not its own origin: a box that
// starts left of the origin (as placed fields do, and as autoSize makes it) moves _x with it.
Point FieldCorner(const DisplayObject& o) {
  if (!o.field) return {};
  return {double(o.field->bounds.xMin), double(o.field->bounds.yMin)};
}

bool ClipOf(Interpreter& vm, const Value& self, ClipRef& out) {
  Object* o = self.AsObject();
  if (!vm.Host() || !o || o->kind != ObjectKind::Clip) return false;
  out = o->clip;
  return true;
}

// The live display object behind a script value, or null.
DisplayObject* ObjectOf(Interpreter& vm, const Value& self) {
  ClipRef clip;
  return ClipOf(vm, self, clip) ? vm.Host()->Find(clip) : nullptr;
}

// From the object's own twips to the stage's.
Matrix ToStage(const DisplayObject& o) {
  Matrix m = o.matrix;
  for (const DisplayObject* p = o.parent; p; p = p->parent) m = p->matrix * m;
  return m;
}

double XScale(const DisplayObject& o) {
  if (o.xscale) return *o.xscale;
  return std::hypot(o.matrix.a, o.matrix.b) * 100;
}

double YScale(const DisplayObject& o) {
  if (o.yscale) return *o.yscale;
  // A matrix that mirrors shows as a half turn, both scales kept positive.
  return std::hypot(o.matrix.c, o.matrix.d) * 100;
}

double Rotation(const DisplayObject& o) {
  if (o.rotation) return *o.rotation;
  return std::atan2(o.matrix.b, o.matrix.a) * kDegrees;
}

// Rebuilds the matrix's scale and rotation part from the three values scripts see.
void SetTransform(DisplayObject& o, double xscale, double yscale, double rotation) {
  o.xscale = xscale;
  o.yscale = yscale;
  o.rotation = rotation;
  const double r = rotation / kDegrees;
  const double sx = xscale / 100, sy = yscale / 100;
  o.matrix.a = sx * std::cos(r);
  o.matrix.b = sx * std::sin(r);
  o.matrix.c = -sy * std::sin(r);
  o.matrix.d = sy * std::cos(r);
}

Bounds ParentBounds(const Movie& movie, const DisplayObject& o) {
  return ObjectBounds(movie, o, o.matrix);
}

// Twips as scripts see pixels: whole twentieths.
double Pixels(double twips) { return std::round(twips) / 20; }

// What a script depth argument comes to in timeline numbering, or nothing when it is not a
// depth a script may use.
std::optional<int32_t> DepthArg(Interpreter& vm, const Value& v) {
  const double d = vm.ToNumber(v);
  if (std::isnan(d)) return std::nullopt;
  const double whole = std::trunc(d);
  if (whole < kMinScriptDepth || whole > kMaxScriptDepth) return std::nullopt;
  return static_cast<int32_t>(whole) + kScriptDepthOffset;
}

// A clip named by a target path ("../a", "/a/b", "a.b") from `from`, or null.
DisplayObject* PathFrom(Interpreter& vm, DisplayObject& from, std::string_view path) {
  DisplayObject* at = &from;
  size_t i = 0;
  if (!path.empty() && path[0] == '/') {
    while (at->parent) at = at->parent;
    i = 1;
  }
  while (at && i < path.size()) {
    if (path.compare(i, 2, "..") == 0) {
      at = at->parent;
      i += 2;
      continue;
    }
    if (path[i] == '/' || path[i] == '.' || path[i] == ':') {
      ++i;
      continue;
    }
    size_t end = path.find_first_of("/.:", i);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(i, end - i);
    i = end;
    if (NamesEqual(name, "_root", false)) {
      while (at->parent) at = at->parent;
      continue;
    }
    if (const std::optional<int32_t> level = LevelNumber(name)) {
      at = vm.Host()->Display() ? vm.Host()->Display()->Level(*level) : nullptr;
      continue;
    }
    if (NamesEqual(name, "_parent", false)) {
      at = at->parent;
      continue;
    }
    DisplayObject* next = nullptr;
    for (const auto& [depth, child] : at->children) {
      if (child->IsClip() && NamesEqual(child->name, name, vm.CaseSensitive())) {
        next = child.get();
        break;
      }
    }
    at = next;
  }
  return at;
}

void CopyInit(Interpreter& vm, Object* clip, const Value& init) {
  Object* from = init.AsObject();
  if (!clip || !from) return;
  for (const std::string& name : vm.EnumerableNames(from)) {
    vm.SetMember(clip, name, vm.GetMember(from, name));
  }
}

void GotoArg(Interpreter& vm, ClipRef clip, Value frame, bool play) {
  ClipHost& host = *vm.Host();
  if (frame.IsString()) {
    // "/:5" or "_root:label": a frame of the main timeline, whichever clip is asked.
    const std::string& s = frame.AsString();
    const size_t colon = s.rfind(':');
    if (colon != std::string::npos) {
      const std::string target = s.substr(0, colon);
      if (target == "/" || NamesEqual(target, "_root", vm.CaseSensitive()) ||
          NamesEqual(target, "_level0", vm.CaseSensitive())) {
        clip = host.Root();
      }
      frame = s.substr(colon + 1);
    }
  }
  size_t index;
  const double n = frame.IsString() ? StringToNumber(frame.AsString(), 5) : vm.ToNumber(frame);
  if (!std::isnan(n)) {
    if (n < 1) return;
    index = ToIndex(n) - 1;
  } else if (std::optional<size_t> label = host.FindLabel(clip, vm.ToString(frame))) {
    index = *label;
  } else {
    return;
  }
  host.SetPlaying(clip, play);
  host.Goto(clip, index);
}

Value PointArg(Interpreter& vm, const Value& point, bool toGlobal, const DisplayObject& o) {
  Object* p = point.AsObject();
  if (!p) return {};
  const double x = vm.ToNumber(vm.GetMember(p, "x")), y = vm.ToNumber(vm.GetMember(p, "y"));
  const Matrix m = ToStage(o);
  const Point out = (toGlobal ? m : m.Inverse()).Apply({x * 20, y * 20});
  vm.SetMember(p, "x", out.x / 20);
  vm.SetMember(p, "y", out.y / 20);
  return {};
}

// A video's own properties. No stream is ever decoded, so the picture it holds is 0 by 0.
bool VideoProperty(Interpreter& vm, DisplayObject& video, std::string_view name, Value& out,
                   const Value* set) {
  auto is = [&](std::string_view n) { return NamesEqual(name, n, vm.CaseSensitive()); };
  if (is("width") || is("height")) {
    if (!set) out = 0.0;
  } else if (is("smoothing")) {
    if (set) video.smoothing = ToBoolean(*set, vm.Version());
    out = video.smoothing;
  } else if (is("deblocking")) {
    if (set) {
      const double n = vm.ToNumber(*set);
      video.deblocking = std::isfinite(n) && n >= 0 && n <= 255 ? static_cast<uint8_t>(n) : 0;
    }
    out = static_cast<double>(video.deblocking);
  } else {
    return false;
  }
  return true;
}

}  // namespace

namespace {
constexpr const char* kQualityNames[] = {"LOW", "MEDIUM", "HIGH", "BEST"};
}  // namespace

bool Interpreter::GetClipProperty(const ClipRef& clip, std::string_view name, Value& out) {
  DisplayObject* o = host_ ? host_->Find(clip) : nullptr;
  if (o && o->kind == DisplayKind::Video && VideoProperty(*this, *o, name, out, nullptr)) {
    return true;
  }
  if (!o || name.empty() || (name[0] != '_')) return false;
  // Clip properties keep their case-blind names even where variables are case-sensitive; the
  // names of other timelines follow the movie's case rules like variables.
  auto is = [&](std::string_view n) { return NamesEqual(name, n, false); };
  auto named = [&](std::string_view n) { return NamesEqual(name, n, CaseSensitive()); };
  const Movie* movie = host_->Display()->LibraryOf(*o);
  if (is("_x")) {
    out = (o->matrix.tx + FieldCorner(*o).x) / 20;
  } else if (is("_y")) {
    out = (o->matrix.ty + FieldCorner(*o).y) / 20;
  } else if (is("_xscale")) {
    out = XScale(*o);
  } else if (is("_yscale")) {
    out = YScale(*o);
  } else if (is("_rotation")) {
    out = Rotation(*o);
  } else if (is("_alpha")) {
    out = o->colors.aMul / 256.0 * 100;
  } else if (is("_visible")) {
    out = o->visible;
  } else if (is("_width") || is("_height")) {
    const Bounds b = movie ? ParentBounds(*movie, *o) : Bounds{};
    out = b.empty ? 0.0 : Pixels(is("_width") ? b.xMax - b.xMin : b.yMax - b.yMin);
  } else if (is("_currentframe")) {
    out = static_cast<double>(o->frame + 1);
  } else if (is("_totalframes") || is("_framesloaded")) {
    out = static_cast<double>(o->TotalFrames());
  } else if (is("_name")) {
    out = o->name;
  } else if (is("_target")) {
    out = ClipTarget(clip);
  } else if (is("_url")) {
    out = std::string();
  } else if (is("_droptarget")) {
    const uint64_t drop = input_.dropTarget;
    out = drop && host_->Find(ClipRef{drop}) ? ClipTarget(ClipRef{drop}) : std::string();
  } else if (is("_xmouse") || is("_ymouse")) {
    const Point local = ToStage(*o).Inverse().Apply(input_.mouse);
    out = Pixels(is("_xmouse") ? local.x : local.y);
  } else if (named("_root")) {
    out = ClipObject(host_->RootOf(clip));
  } else if (const std::optional<int32_t> level = LevelNumber(name, CaseSensitive())) {
    const std::optional<ClipRef> at = host_->Level(*level);
    out = at ? Value(ClipObject(*at)) : Value();
  } else if (named("_parent")) {
    std::optional<ClipRef> parent = host_->Parent(clip);
    out = parent ? Value(ClipObject(*parent)) : Value();
  } else if (is("_highquality")) {
    out = quality_ == 3 ? 2.0 : quality_ == 2 ? 1.0 : 0.0;
  } else if (is("_quality")) {
    out = kQualityNames[quality_];
  } else if (is("_focusrect")) {
    // A root answers for the whole movie; any other object only for what was set on it.
    if (!o->parent) {
      out = input_.focusRect;
    } else {
      out = o->focusRect ? Value(*o->focusRect) : Value(Null{});
    }
  } else if (is("_soundbuftime")) {
    out = static_cast<double>(soundBufferTime_);
  } else {
    return false;
  }
  return true;
}

bool Interpreter::SetClipProperty(const ClipRef& clip, std::string_view name, const Value& value) {
  DisplayObject* o = host_ ? host_->Find(clip) : nullptr;
  if (Value ignored;
      o && o->kind == DisplayKind::Video && VideoProperty(*this, *o, name, ignored, &value)) {
    return true;
  }
  if (!o || name.empty() || name[0] != '_') return false;
  auto is = [&](std::string_view n) { return NamesEqual(name, n, false); };
  auto number = [&](double& out) {
    // Nothing (undefined or null) leaves a property as it was, even where it counts as 0.
    if (value.IsUndefined() || value.IsNull()) return false;
    out = ToNumber(value);
    return !std::isnan(out);
  };
  double n = 0;
  if (is("_x") || is("_y")) {
    const Point corner = FieldCorner(*o);
    if (number(n)) {
      // A position past what whole twips can hold (an infinite one) lands on the lowest.
      const double twips = std::round(n * 20);
      (is("_x") ? o->matrix.tx : o->matrix.ty) =
          (std::isfinite(twips) ? twips : -2147483648.0) - (is("_x") ? corner.x : corner.y);
    }
  } else if (is("_xscale")) {
    if (number(n)) SetTransform(*o, n, YScale(*o), Rotation(*o));
  } else if (is("_yscale")) {
    if (number(n)) SetTransform(*o, XScale(*o), n, Rotation(*o));
  } else if (is("_rotation")) {
    if (number(n)) {
      n = std::fmod(n, 360);
      if (n > 180) n -= 360;
      if (n < -180) n += 360;
      SetTransform(*o, XScale(*o), YScale(*o), n);
    }
  } else if (is("_alpha")) {
    // An infinite alpha wraps to nothing, as the fixed-point value it is stored in does.
    if (number(n)) {
      o->colors.aMul =
          std::isfinite(n) ? static_cast<int16_t>(std::clamp(n * 2.56, -32768.0, 32767.0)) : 0;
    }
  } else if (is("_visible")) {
    if (number(n)) o->visible = n != 0;
    // What cannot be seen cannot keep the keyboard focus.
    if (!o->visible) DropFocusWithin(o->id);
  } else if (is("_width") || is("_height")) {
    const Movie* movie = host_->Display()->LibraryOf(*o);
    if (!number(n) || !std::isfinite(n) || !movie) return true;
    if (o->field) {
      // A field changes its box, not its scale, and takes the size as its box's own: a
      // scaled field ends up as much wider as its scale makes it.
      TwipsRect& b = o->field->bounds;
      if (n < 0) return true;
      const auto extent = static_cast<int32_t>(std::clamp(std::round(n * 20), 0.0, 1e8));
      (is("_width") ? b.xMax : b.yMax) = (is("_width") ? b.xMin : b.yMin) + extent;
      o->field->Touch();
      // A field that sizes itself to its text does so again at once.
      o->field->FitToText(host_->Display()->deviceFonts());
      return true;
    }
    // The clip's box in its parent is sized as a whole: its turned but unscaled box is
    // stretched to the asked extent one way and to the box's present (whole-twip) extent the
    // other way, each stretch becoming that axis's scale. On a turned clip the asked side then
    // need not be the one that changes.
    const double rotation = Rotation(*o);
    const double turn = rotation / kDegrees;
    Matrix turned;
    turned.a = turned.d = std::cos(turn);
    turned.b = std::sin(turn);
    turned.c = -turned.b;
    const Bounds unscaled = ObjectBounds(*movie, *o, turned);
    const double width = unscaled.xMax - unscaled.xMin, height = unscaled.yMax - unscaled.yMin;
    const bool wide = is("_width");
    // Bounds come in whole twips: less than half of one is nothing to stretch. Stretching
    // nothing to some size takes an infinite scale, which leaves whatever the clip gets
    // later nowhere; asking for no size at all leaves it as it is.
    const double extent = std::round(wide ? width : height) <= 0 ? 0 : (wide ? width : height);
    if (extent == 0 && n == 0) return true;
    const double scale = extent == 0 ? std::copysign(std::numeric_limits<double>::infinity(), n)
                                     : n * 20 / extent * 100;
    double other = wide ? YScale(*o) : XScale(*o);
    const Bounds now = ParentBounds(*movie, *o);
    const double across = wide ? height : width;
    if (!now.empty && across > 0) {
      const double present = std::round(wide ? now.yMax - now.yMin : now.xMax - now.xMin);
      other = std::copysign(present / across * 100, other);
    }
    if (wide) {
      SetTransform(*o, scale, other, rotation);
    } else {
      SetTransform(*o, other, scale, rotation);
    }
  } else if (is("_name")) {
    // A reference a script already holds keeps the path the clip had when it got it: once
    // the clip has gone, the reference names whatever clip stands there.
    if (clips_.count(clip.serial)) departedPaths_.try_emplace(clip.serial, ClipDotPath(clip));
    o->name = ToString(value);
  } else if (is("_currentframe") || is("_totalframes") || is("_framesloaded") || is("_target") ||
             is("_droptarget") || is("_url") || is("_xmouse") || is("_ymouse") || is("_parent") ||
             is("_root")) {
    // Read-only: the write is dropped.
  } else if (is("_focusrect")) {
    // Nothing leaves the setting as it was on a root and clears an object's own. The
    // movie-wide flag is a number underneath: an object counts as 0 there, and NaN is not 0.
    const bool nothing = value.IsUndefined() || value.IsNull();
    if (!o->parent) {
      if (!nothing) input_.focusRect = !value.IsObject() && ToNumber(value) != 0;
    } else {
      o->focusRect = nothing ? std::nullopt : std::optional<bool>(ToBoolean(value, Version()));
    }
    return true;
  } else if (is("_highquality")) {
    // 2 or more is best, 0 up to 1 low, anything else (a negative number too) high.
    if (number(n)) quality_ = n >= 2 ? 3 : (n >= 0 && n < 1) ? 0 : 2;
    return true;
  } else if (is("_quality")) {
    const std::string asked = ToString(value);
    for (int q = 0; q < 4; ++q) {
      if (NamesEqual(asked, kQualityNames[q], false)) quality_ = q;
    }
    return true;
  } else if (is("_soundbuftime")) {
    // Whole seconds; what no 32-bit integer holds (an infinity) is the lowest one.
    if (number(n)) {
      soundBufferTime_ = std::isfinite(n) && std::fabs(n) < 2147483648.0
                             ? static_cast<int32_t>(n)
                             : std::numeric_limits<int32_t>::min();
    }
    return true;
  } else {
    return false;
  }
  o->scripted = o->scripted || !(is("_name") || is("_visible"));
  return true;
}

void Interpreter::CallClipMethod(const ClipRef& clip, std::string_view name) {
  Object* self = ClipObject(clip);
  if (!self) return;
  const OutermostBlock block(*this);
  try {
    const Value method = GetMember(self, name);
    Object* f = method.AsObject();
    if (f && f->IsCallable()) Call(method, self, {});
  } catch (const ScriptException& e) {
    Trace("Warning: Uncaught exception, " + ToString(e.value));
  }
}

void Interpreter::ConstructClip(const ClipRef& clip, const std::function<void()>& first) {
  DisplayObject* o = host_ ? host_->Find(clip) : nullptr;
  // The symbol a clip was made from lies in the movie its parent shows.
  const Movie* movie = o ? host_->Display()->LibraryOf(o->parent ? *o->parent : *o) : nullptr;
  if (!o || o->constructed || !movie || !clipClasses_) {
    if (first) first();
    return;
  }
  o->constructed = true;
  Object* ctor = nullptr;
  for (const auto& [symbol, e] : movie->exports) {
    if (e.character != o->characterId) continue;
    if (const Property* p = clipClasses_->FindOwn(symbol, false)) ctor = p->value.AsObject();
    if (ctor) break;
  }
  Object* self = ClipObject(clip);
  if (ctor && self) {
    if (Object* proto = GetMember(ctor, "prototype").AsObject()) self->proto = proto;
  }
  if (first) first();
  if (!ctor || !self || !host_->Find(clip)) return;
  // As `new` marks what it makes.
  if (version_ >= 6) self->SetOwn("__constructor__", ctor, CaseSensitive(), kDontEnum);
  if (version_ <= 6) self->SetOwn("constructor", ctor, CaseSensitive(), kDontEnum);
  const OutermostBlock block(*this);
  try {
    Call(ctor, self, {});
  } catch (const ScriptException& e) {
    Trace("Warning: Uncaught exception, " + ToString(e.value));
  }
}

void Interpreter::CloneClip(const Value& source, const std::string& name, double depth) {
  DisplayObject* o = ObjectOf(*this, source);
  if (!o || !o->parent || std::isnan(depth)) return;
  // The SWF 4 action numbers depths as the timeline does.
  const double whole = std::trunc(depth);
  if (whole < kMinScriptDepth + kScriptDepthOffset ||
      whole > kMaxScriptDepth + kScriptDepthOffset) {
    return;
  }
  host_->Display()->Duplicate(*o, static_cast<int32_t>(whole), name);
}

void Interpreter::RemoveClip(const Value& clip) {
  DisplayObject* o = ObjectOf(*this, clip);
  // Only clips at the depths scripts use come off; the timeline's own stay.
  if (!o || !o->parent || o->ScriptDepth() < 0) return;
  const uint64_t id = o->id;
  ReleaseFocusWithin(id);
  // The focus events may have run scripts that took the clip away already.
  o = ObjectOf(*this, clip);
  if (!o || o->id != id) return;
  host_->Display()->Remove(*o);
}

void Interpreter::InstallClipMethods() {
  const bool cs = CaseSensitive();
  auto method = [&](const char* name, NativeFunction fn) {
    clipProto_->SetOwn(name, NewNative(std::move(fn)), cs, kDontEnum);
  };
  global_->SetOwn("MovieClip", NewNative({}), cs, kDontEnum);
  if (Object* ctor = global_->FindOwn("MovieClip", cs)->value.AsObject()) {
    ctor->SetOwn("prototype", clipProto_, cs, kDontEnum);
  }
  for (const bool play : {false, true}) {
    method(play ? "play" : "stop",
           [play](Interpreter& vm, const Value& self, std::span<const Value>) {
             ClipRef clip;
             if (ClipOf(vm, self, clip)) vm.Host()->SetPlaying(clip, play);
             return Value();
           });
    method(play ? "gotoAndPlay" : "gotoAndStop",
           [play](Interpreter& vm, const Value& self, std::span<const Value> args) {
             ClipRef clip;
             if (ClipOf(vm, self, clip) && !args.empty()) GotoArg(vm, clip, args[0], play);
             return Value();
           });
  }
  for (const int step : {1, -1}) {
    method(step > 0 ? "nextFrame" : "prevFrame",
           [step](Interpreter& vm, const Value& self, std::span<const Value>) {
             ClipRef clip;
             ClipState state;
             if (!ClipOf(vm, self, clip) || !vm.Host()->State(clip, state)) return Value();
             vm.Host()->SetPlaying(clip, false);
             if (step > 0 && state.frame + 1 < state.totalFrames) {
               vm.Host()->Goto(clip, state.frame + 1);
             }
             if (step < 0 && state.frame > 0) vm.Host()->Goto(clip, state.frame - 1);
             return Value();
           });
  }
  auto arg = [](std::span<const Value> args, size_t i) {
    return i < args.size() ? args[i] : Value();
  };

  method("attachMovie", [arg](Interpreter& vm, const Value& self, std::span<const Value> args) {
    DisplayObject* o = ObjectOf(vm, self);
    DisplayList* display = vm.Host() ? vm.Host()->Display() : nullptr;
    if (!o || !display || !display->LibraryOf(*o) || args.size() < 3) return Value();
    const std::optional<uint16_t> id = display->FindExport(*o, vm.ToString(args[0]));
    const std::optional<int32_t> depth = DepthArg(vm, args[2]);
    if (!id || !depth || !std::get_if<Sprite>(display->LibraryOf(*o)->Find(*id))) {
      return Value();
    }
    DisplayObject* made = display->Attach(*o, *id, *depth, vm.ToString(args[1]));
    if (!made) return Value();
    Object* clip = vm.ClipObject(ClipRef{made->id});
    CopyInit(vm, clip, arg(args, 3));
    // An attached clip has its class before attachMovie returns.
    vm.ConstructClip(ClipRef{made->id});
    return Value(clip);
  });
  method(
      "createEmptyMovieClip", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
        DisplayObject* o = ObjectOf(vm, self);
        if (!o || args.size() < 2) return Value();
        const std::optional<int32_t> depth = DepthArg(vm, args[1]);
        if (!depth) return Value();
        DisplayObject* made = vm.Host()->Display()->CreateEmpty(*o, *depth, vm.ToString(args[0]));
        return made ? Value(vm.ClipObject(ClipRef{made->id})) : Value();
      });
  method("duplicateMovieClip",
         [arg](Interpreter& vm, const Value& self, std::span<const Value> args) {
           DisplayObject* o = ObjectOf(vm, self);
           if (!o || !o->parent || args.size() < 2) return Value();
           const std::string name = vm.ToString(args[0]);
           const std::optional<int32_t> depth = DepthArg(vm, args[1]);
           if (!depth) return Value();
           DisplayObject* made = vm.Host()->Display()->Duplicate(*o, *depth, name);
           if (!made) return Value();
           Object* clip = vm.ClipObject(ClipRef{made->id});
           CopyInit(vm, clip, arg(args, 2));
           return Value(clip);
         });
  method("removeMovieClip", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    vm.RemoveClip(self);
    return Value();
  });
  // A movie arrives whole: what has loaded is all there is. A main timeline counts its whole
  // file, a sprite its own tags.
  for (const char* name : {"getBytesLoaded", "getBytesTotal"}) {
    method(name, [](Interpreter& vm, const Value& self, std::span<const Value>) {
      DisplayObject* o = ObjectOf(vm, self);
      if (!o) return Value();
      if (o->library || !o->parent) {
        const Movie* movie = vm.Host()->Display()->LibraryOf(*o);
        return Value(movie ? static_cast<double>(movie->header.fileLength) : 0.0);
      }
      const Movie* movie = vm.Host()->Display()->LibraryOf(*o->parent);
      const Sprite* sprite =
          movie ? std::get_if<Sprite>(movie->Find(o->characterId)) : nullptr;
      return Value(sprite ? static_cast<double>(sprite->byteLength) : 0.0);
    });
  }
  method("getDepth", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    DisplayObject* o = ObjectOf(vm, self);
    return o ? Value(static_cast<double>(o->ScriptDepth())) : Value();
  });
  method("getNextHighestDepth", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    DisplayObject* o = ObjectOf(vm, self);
    if (!o) return Value();
    int32_t next = 0;
    if (!o->children.empty())
      next = std::max(next, o->children.rbegin()->second->ScriptDepth() + 1);
    return Value(static_cast<double>(next));
  });
  method("getInstanceAtDepth", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    DisplayObject* o = ObjectOf(vm, self);
    if (!o || args.empty()) return Value();
    const std::optional<int32_t> depth = DepthArg(vm, args[0]);
    if (!depth) return Value();
    auto it = o->children.find(*depth);
    if (it == o->children.end()) return Value();
    // Shapes answer as their parent, as the original does.
    return Value(vm.ClipObject(ClipRef{it->second->IsClip() ? it->second->id : o->id}));
  });
  method("swapDepths", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    DisplayObject* o = ObjectOf(vm, self);
    if (!o || !o->parent || args.empty() || args[0].IsUndefined()) return Value();
    std::optional<int32_t> depth;
    DisplayObject* other = ObjectOf(vm, args[0]);
    if (!other && args[0].IsString()) other = PathFrom(vm, *o, args[0].AsString());
    if (other) {
      if (other->parent == o->parent) depth = other->depth;
    } else {
      // Depths wrap as 32-bit integers, and anything that is not a number is depth 0.
      const int32_t d = ToInt32(vm.ToNumber(args[0]));
      if (d >= kMinScriptDepth && d <= kMaxScriptDepth) depth = d + kScriptDepthOffset;
    }
    if (depth) vm.Host()->Display()->SwapDepth(*o, *depth);
    return Value();
  });
  method("setMask", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    DisplayObject* o = ObjectOf(vm, self);
    if (!o || args.empty()) return Value();
    DisplayList& display = *vm.Host()->Display();
    if (args[0].IsNull() || args[0].IsUndefined()) {
      display.SetMask(*o, nullptr);
      return Value(true);
    }
    // A clip, or a path read as the calling script reads one; any other object names nothing
    // and leaves the mask there was.
    DisplayObject* mask = ObjectOf(vm, args[0]);
    if (!mask && !args[0].IsObject()) {
      const std::string path = vm.ToString(args[0]);
      if (const std::optional<ClipRef> clip = vm.ResolveClipFromScript(path)) {
        mask = vm.Host()->Find(*clip);
      }
    }
    if (!mask) return Value(false);
    display.SetMask(*o, mask);
    return Value(true);
  });
  method("getSWFVersion", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    DisplayObject* o = ObjectOf(vm, self);
    const Movie* movie = o ? vm.Host()->Display()->LibraryOf(*o) : nullptr;
    return movie ? Value(static_cast<double>(movie->header.version)) : Value();
  });
  // Loading into a clip: the same requests the loadMovie and loadVariables actions make, with
  // the clip already known. An empty address unloads.
  const auto load = [arg](bool variables, bool unload) -> NativeFunction {
    return [arg, variables, unload](Interpreter& vm, const Value& self,
                                    std::span<const Value> args) {
      ClipRef clip;
      if (!ClipOf(vm, self, clip)) return Value();
      Interpreter::UrlRequest request;
      if (!unload) {
        request.url = vm.ToString(arg(args, 0));
        if (request.url.empty()) return Value();
        const std::string how = vm.ToString(arg(args, 1));
        request.method = NamesEqual(how, "GET", false) ? 1 : NamesEqual(how, "POST", false) ? 2 : 0;
      }
      request.target = vm.ClipDotPath(clip);
      request.loadTarget = true;
      request.loadVariables = variables;
      request.clip = clip;
      vm.AttachVariables(request, self.AsObject());
      vm.RequestUrl(request);
      return Value();
    };
  };
  // Opens a page (or loads into a level) as the GetURL2 action does, for this clip.
  method("getURL", [arg](Interpreter& vm, const Value& self, std::span<const Value> args) {
    ClipRef clip;
    if (!ClipOf(vm, self, clip) || args.empty()) return Value();
    Interpreter::UrlRequest request;
    request.url = vm.ToString(args[0]);
    if (!arg(args, 1).IsUndefined()) request.target = vm.ToString(args[1]);
    const std::string how = vm.ToString(arg(args, 2));
    request.method = NamesEqual(how, "GET", false) ? 1 : NamesEqual(how, "POST", false) ? 2 : 0;
    if (const std::optional<int32_t> level = LevelNumber(request.target)) request.level = *level;
    vm.AttachVariables(request, self.AsObject());
    vm.RequestUrl(request);
    return Value();
  });
  method("loadMovie", load(false, false));
  method("loadVariables", load(true, false));
  method("unloadMovie", load(false, true));
  const NativeFunction bounds = [](Interpreter& vm, const Value& self,
                                      std::span<const Value> args) {
    DisplayObject* o = ObjectOf(vm, self);
    const Movie* movie = o ? vm.Host()->Display()->LibraryOf(*o) : nullptr;
    if (!o || !movie) return Value();
    // Measured in the clip's own space, then carried as one box into the space asked for.
    Bounds b = ObjectBounds(*movie, *o, Matrix{});
    if (!args.empty()) {
      // Anything but a clip names one by the path it reads as ("undefined" included).
      DisplayObject* into = ObjectOf(vm, args[0]);
      if (!into) {
        const std::string path = vm.ToString(args[0]);
        if (!path.empty()) into = PathFrom(vm, *o, path);
      }
      if (!into) return Value();
      if (into != o && !b.empty) {
        // The way back from the stage lands on whole twips, as the original's does.
        Matrix back = ToStage(*into).Inverse();
        back.tx = std::round(back.tx);
        back.ty = std::round(back.ty);
        const Matrix m = back * ToStage(*o);
        Bounds moved;
        for (const Point p : {Point{b.xMin, b.yMin}, Point{b.xMax, b.yMin}, Point{b.xMin, b.yMax},
                              Point{b.xMax, b.yMax}}) {
          moved.Add(m.Apply(p));
        }
        b = {std::round(moved.xMin), std::round(moved.yMin), std::round(moved.xMax),
             std::round(moved.yMax), false};
      }
    }
    if (b.empty) b = {6710886.35 * 20, 6710886.35 * 20, 6710886.35 * 20, 6710886.35 * 20, false};
    Object* out = vm.NewPlainObject();
    if (!out) return Value();
    vm.SetMember(out, "xMin", Pixels(b.xMin));
    vm.SetMember(out, "xMax", Pixels(b.xMax));
    vm.SetMember(out, "yMin", Pixels(b.yMin));
    vm.SetMember(out, "yMax", Pixels(b.yMax));
    return Value(out);
  };
  // Strokes are measured with their shapes here, so the two agree.
  method("getBounds", bounds);
  method("getRect", bounds);
  method("hitTest", [arg](Interpreter& vm, const Value& self, std::span<const Value> args) {
    DisplayObject* o = ObjectOf(vm, self);
    const Movie* movie = o ? vm.Host()->Display()->LibraryOf(*o) : nullptr;
    if (!o || !movie || args.empty()) return Value(false);
    // Everything is compared on the stage; a point is given in the main timeline's space.
    const Bounds mine = ObjectBounds(*movie, *o, ToStage(*o));
    if (args.size() >= 2) {
      const double x = vm.ToNumber(args[0]) * 20, y = vm.ToNumber(args[1]) * 20;
      if (std::isnan(x) || std::isnan(y)) return Value(false);
      DisplayObject* root = o;
      while (root->parent) root = root->parent;
      const Point p = root->matrix.Apply({x, y});
      if (ToBoolean(arg(args, 2), vm.Version())) {
        const Matrix toPixels = Matrix{1.0 / 20, 0, 0, 1.0 / 20, 0, 0} * ToStage(*o);
        return Value(ObjectShapeContains(*movie, *o, toPixels, {p.x / 20, p.y / 20}));
      }
      return Value(!mine.empty && p.x >= mine.xMin && p.x <= mine.xMax && p.y >= mine.yMin &&
                   p.y <= mine.yMax);
    }
    // An empty path names no clip here.
    DisplayObject* other = !args[0].IsString()          ? ObjectOf(vm, args[0])
                           : args[0].AsString().empty() ? nullptr
                                                        : PathFrom(vm, *o, args[0].AsString());
    if (!other) return Value(false);
    const Bounds theirs = ObjectBounds(*movie, *other, ToStage(*other));
    return Value(!mine.empty && !theirs.empty && mine.xMin <= theirs.xMax &&
                 theirs.xMin <= mine.xMax && mine.yMin <= theirs.yMax && theirs.yMin <= mine.yMax);
  });
  for (const bool toGlobal : {true, false}) {
    method(toGlobal ? "localToGlobal" : "globalToLocal",
           [toGlobal, arg](Interpreter& vm, const Value& self, std::span<const Value> args) {
             DisplayObject* o = ObjectOf(vm, self);
             return o ? PointArg(vm, arg(args, 0), toGlobal, *o) : Value();
           });
  }
  clipClasses_ = NewObject(nullptr);
  if (Object* object = global_->FindOwn("Object", cs)
                           ? global_->FindOwn("Object", cs)->value.AsObject()
                           : nullptr) {
    object->SetOwn("registerClass",
                   NewNative([](Interpreter& vm, const Value&, std::span<const Value> args) {
                     if (args.size() < 2 || !vm.clipClasses_) return Value(false);
                     const std::string symbol = vm.ToString(args[0]);
                     if (args[1].AsObject() && args[1].AsObject()->IsCallable()) {
                       // Before SWF 7 a name in other letters replaces the old entry, and
                       // the spelling written last is the one a connection sends.
                       vm.clipClasses_->DeleteOwn(symbol, vm.CaseSensitive());
                       vm.clipClasses_->SetOwn(symbol, args[1], vm.CaseSensitive());
                     } else if (args[1].IsNull() || args[1].IsUndefined()) {
                       vm.clipClasses_->DeleteOwn(symbol, false);
                     } else {
                       return Value(false);  // only a function can be a clip's class
                     }
                     return Value(true);
                   }),
                   cs, kDontEnum);
  }
  InstallDrawingMethods();
  for (const char* name : {"startDrag", "stopDrag"}) {
    // Nothing drags without a pointer; the calls are accepted.
    method(name, [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
}

void Interpreter::InstallDrawingMethods() {
  const bool cs = CaseSensitive();
  // Each drawing method: the clip's drawing (made on first use) and the arguments as numbers.
  using Draw = void (*)(Drawing&, const std::vector<double>&, size_t given);
  auto method = [&](const char* name, Draw draw) {
    clipProto_->SetOwn(
        name, NewNative([draw](Interpreter& vm, const Value& self, std::span<const Value> args) {
          DisplayObject* o = ObjectOf(vm, self);
          if (!o || !o->IsClip()) return Value();
          std::vector<double> n;
          for (const Value& a : args) n.push_back(vm.ToNumber(a));
          n.resize(std::max<size_t>(n.size(), 6), std::nan(""));
          if (!o->drawing) o->drawing = std::make_shared<Drawing>();
          draw(*o->drawing, n, args.size());
          return Value();
        }),
        cs, kDontEnum);
  };
  // The player keeps drawn points in whole twips.
  static constexpr auto twips = [](double x, double y) {
    return Point{std::round(x * 20), std::round(y * 20)};
  };
  method("beginFill", [](Drawing& d, const std::vector<double>& n, size_t given) {
    if (given == 0 || std::isnan(n[0])) {
      d.EndFill();
    } else {
      // A missing alpha is a whole one.
      d.BeginFill(ScriptColor(ToUint32(n[0]), std::isnan(n[1]) ? 100 : n[1]));
    }
  });
  method("endFill", [](Drawing& d, const std::vector<double>&, size_t) { d.EndFill(); });
  // The style methods read their arguments as the player does, strings and arrays included.
  using Style = void (*)(Interpreter&, Drawing&, std::span<const Value>);
  auto styleMethod = [&](const char* name, Style style) {
    clipProto_->SetOwn(
        name, NewNative([style](Interpreter& vm, const Value& self, std::span<const Value> args) {
          DisplayObject* o = ObjectOf(vm, self);
          if (!o || !o->IsClip()) return Value();
          if (!o->drawing) o->drawing = std::make_shared<Drawing>();
          style(vm, *o->drawing, args);
          return Value();
        }),
        cs, kDontEnum);
  };
  styleMethod("lineStyle", [](Interpreter& vm, Drawing& d, std::span<const Value> args) {
    if (const auto line = LineStyleFromArgs(vm, args)) {
      d.SetLine(*line);
    } else {
      d.SetLine(std::nullopt);
    }
  });
  styleMethod("beginGradientFill", [](Interpreter& vm, Drawing& d, std::span<const Value> args) {
    const GradientCall call = GradientFromArgs(vm, args);
    if (call.kind == GradientCall::Kind::NoFill) d.EndFill();
    if (call.kind == GradientCall::Kind::Gradient) d.BeginFill(call.fill);
  });
  styleMethod("lineGradientStyle", [](Interpreter& vm, Drawing& d, std::span<const Value> args) {
    const GradientCall call = GradientFromArgs(vm, args);
    if (call.kind == GradientCall::Kind::Gradient) d.SetLineFill(call.fill);
  });
  method("moveTo", [](Drawing& d, const std::vector<double>& n, size_t given) {
    if (given >= 2) d.MoveTo(twips(n[0], n[1]));
  });
  method("lineTo", [](Drawing& d, const std::vector<double>& n, size_t given) {
    if (given >= 2) d.LineTo(twips(n[0], n[1]));
  });
  method("curveTo", [](Drawing& d, const std::vector<double>& n, size_t given) {
    if (given >= 4) d.CurveTo(twips(n[0], n[1]), twips(n[2], n[3]));
  });
  method("clear", [](Drawing& d, const std::vector<double>&, size_t) { d.Clear(); });
}

}  // namespace swf::avm1
