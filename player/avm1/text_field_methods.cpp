// TextField and TextFormat: what scripts read and change on edit fields, createTextField,
// and keeping fields and the variables they show in step.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "player/avm1/arrays.h"
#include "player/avm1/builtin_support.h"
#include "player/avm1/interpreter.h"
#include "player/avm1/script_error.h"
#include "player/avm1/text.h"
#include "player/compose.h"
#include "player/display_list.h"

namespace swf::avm1 {
namespace {

// ASSetPropFlags' bits for what only movies of SWF 6, 7 and 8 on can see.
constexpr uint16_t kSwf6Only = 0x80, kSwf7Only = 0x400, kSwf8Only = 0x1000;

DisplayObject* FieldObject(Interpreter& vm, const Value& self) {
  Object* o = self.AsObject();
  if (!vm.Host() || !o || o->kind != ObjectKind::Clip) return nullptr;
  DisplayObject* d = vm.Host()->Find(o->clip);
  return d && d->field ? d : nullptr;
}

TextField* FieldOf(Interpreter& vm, const Value& self) {
  DisplayObject* d = FieldObject(vm, self);
  return d ? d->field.get() : nullptr;
}

DeviceFonts* Fonts(Interpreter& vm) {
  DisplayList* display = vm.Host() ? vm.Host()->Display() : nullptr;
  return display ? display->deviceFonts() : nullptr;
}

bool Utf8(Interpreter& vm) { return vm.Version() >= 6; }

uint32_t ToRgb(Interpreter& vm, const Value& v) {
  const double n = vm.ToNumber(v);
  if (std::isnan(n) || std::isinf(n)) return 0;
  return static_cast<uint32_t>(static_cast<int64_t>(n)) & 0xFFFFFF;
}

Rgba RgbOf(uint32_t rgb) {
  return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
          static_cast<uint8_t>(rgb), 255};
}

double RgbValue(Rgba c) { return static_cast<double>((c.r << 16) | (c.g << 8) | c.b); }

// The variable a field shows, as a host path from the main timeline: its name is looked up
// on the field's parent unless it names its own timeline. A button is no timeline: a field
// in one of its states shows a variable of the clip that holds the button.
std::string VariablePath(Interpreter& vm, const DisplayObject& field) {
  const std::string& v = field.field->variable;
  const DisplayObject* timeline = field.parent;
  while (timeline && timeline->IsButton()) timeline = timeline->parent;
  if (v.empty() || !timeline) return {};
  if (v[0] == '/' || v.rfind("_root", 0) == 0 || v.rfind("_level", 0) == 0) return v;
  if (v.find(':') != std::string::npos) return vm.ClipTarget(ClipRef{timeline->id}) + "/" + v;
  return vm.ClipDotPath(ClipRef{timeline->id}) + "." + v;
}

void BroadcastFrom(Interpreter& vm, Object* self, const char* message) {
  const Value broadcast = vm.GetMember(self, "broadcastMessage");
  const Value args[] = {Value(message), Value(self)};
  if (IsFunction(broadcast)) vm.Call(broadcast, self, args);
}

// What the field shows changed through a script: the bound variable follows.
void Publish(Interpreter& vm, const DisplayObject& d) {
  const std::string path = VariablePath(vm, d);
  if (path.empty()) return;
  const TextField& f = *d.field;
  vm.SetPathVariable(path, f.html ? f.HtmlText() : EncodeText(f.text(), Utf8(vm)));
}

// A field's style sheet is kept with its script object, where the collector finds it.
Value FieldSheet(Interpreter& vm, const DisplayObject& d) {
  Object* o = vm.ClipObject(ClipRef{d.id});
  return o && o->internal.size() == 1 ? o->internal[0] : Value();
}

// Markup a script gives a field with a style sheet: read with the sheet's styles, and kept to be
// given back as it was. Reading the styles may run scripts, so the field is looked up again.
void SetStyledText(Interpreter& vm, const DisplayObject& d, const std::string& html) {
  const ClipRef ref{d.id};
  TextStyles styles;
  SheetStyles(vm, FieldSheet(vm, d), styles);
  DisplayObject* now = vm.Host() ? vm.Host()->Find(ref) : nullptr;
  if (!now || !now->field) return;
  TextField& f = *now->field;
  f.SetHtmlText(html, &styles);
  f.styledSource = html;
  f.FitToText(Fonts(vm));
  Publish(vm, *now);
}

// TextFormat values, by name, in the order the player's own objects list them. A TextFormat
// keeps them in its internal slots, in this order; the prototype's properties read and convert
// them.
enum FormatSlot : size_t {
  kFont, kSize, kColor, kUrl, kTarget, kBold, kItalic, kUnderline, kAlign, kLeftMargin,
  kRightMargin, kIndent, kLeading, kBlockIndent, kTabStops, kBullet, kDisplay, kKerning,
  kLetterSpacing, kFormatSlots
};
const char* const kFormatNames[kFormatSlots] = {
    "font",        "size",   "color",   "url",         "target",      "bold",     "italic",
    "underline",   "align",  "leftMargin", "rightMargin", "indent",   "leading",  "blockIndent",
    "tabStops",    "bullet", "display", "kerning",     "letterSpacing"};
// The last slot tells a TextFormat from another object with hidden values.
constexpr std::string_view kFormatMarker = "TextFormat";

std::vector<Value>* FormatSlots(const Value& v) {
  Object* o = v.AsObject();
  if (!o || o->internal.size() != kFormatSlots + 1 || !o->internal[kFormatSlots].IsString() ||
      o->internal[kFormatSlots].AsString() != kFormatMarker) {
    return nullptr;
  }
  return &o->internal;
}

void InitFormatSlots(Object* o) {
  o->internal.assign(kFormatSlots, Null{});
  o->internal[kDisplay] = "block";
  o->internal.push_back(kFormatMarker);
}

// The player's whole-number conversion: to nearest (ties to even), and anything out of range
// (NaN and the infinities too) becomes the lowest 32-bit integer.
double NearestInt(double n) {
  const double r = std::nearbyint(n);
  return std::isnan(r) || r < -2147483648.0 || r > 2147483647.0 ? -2147483648.0 : r;
}
// The constructor's conversion cuts toward zero instead.
double TruncatedInt(double n) {
  const double r = std::trunc(n);
  return std::isnan(r) || r < -2147483648.0 || r > 2147483647.0 ? -2147483648.0 : r;
}

const char* AlignName(TextAlign a) {
  switch (a) {
    case TextAlign::Right:
      return "right";
    case TextAlign::Center:
      return "center";
    case TextAlign::Justify:
      return "justify";
    default:
      return "left";
  }
}

std::optional<TextAlign> AlignFromName(std::string_view a) {
  if (NamesEqual(a, "left", false)) return TextAlign::Left;
  if (NamesEqual(a, "right", false)) return TextAlign::Right;
  if (NamesEqual(a, "center", false)) return TextAlign::Center;
  if (NamesEqual(a, "justify", false)) return TextAlign::Justify;
  return std::nullopt;
}

// Font names are kept to this many characters.
constexpr size_t kMaxFontNameChars = 64;

// What a script's value becomes in slot `slot`; `constructing` for the constructor's arguments,
// which convert numbers differently and drop an unknown alignment.
Value ConvertFormatValue(Interpreter& vm, size_t slot, const Value& v, const Value& old,
                         bool constructing) {
  if (slot == kDisplay) {
    const std::string s = v.IsUndefined() || v.IsNull() ? std::string() : vm.ToString(v);
    return s == "inline" || s == "none" ? Value(s) : Value("block");
  }
  if (v.IsUndefined() || v.IsNull()) return slot == kAlign && !constructing ? old : Value(Null{});
  switch (slot) {
    case kFont: {
      std::string s = vm.ToString(v);
      const std::vector<std::string> chars = Characters(s, vm.Version() >= 6);
      if (chars.size() > kMaxFontNameChars) {
        s.clear();
        for (size_t i = 0; i < kMaxFontNameChars; ++i) s += chars[i];
      }
      return s;
    }
    case kUrl:
    case kTarget:
      return vm.ToString(v);
    case kBold:
    case kItalic:
    case kUnderline:
    case kBullet:
    case kKerning:
      return ToBoolean(v, vm.Version());
    case kColor:
      return static_cast<double>(ToUint32(vm.ToNumber(v)));
    case kAlign: {
      const std::optional<TextAlign> a = AlignFromName(vm.ToString(v));
      if (!a) return constructing ? Value(Null{}) : old;
      return AlignName(*a);
    }
    case kLetterSpacing:
      return vm.ToNumber(v);
    case kTabStops: {
      if (!v.IsObject()) return Null{};
      std::vector<Value> stops;
      for (const Value& stop : ListItems(vm, v, kMaxFieldChars)) {
        stops.emplace_back(NearestInt(vm.ToNumber(stop)));
      }
      Object* out = vm.NewArray(std::move(stops));
      return out ? Value(out) : Value(Null{});
    }
    case kLeftMargin:
    case kRightMargin:
      if (!constructing) {
        const double n = vm.ToNumber(v);
        return std::isnan(n) || n < 0 ? 0.0 : NearestInt(n);
      }
      [[fallthrough]];
    default:  // size, indent, leading, blockIndent
      return constructing ? TruncatedInt(vm.ToNumber(v)) : NearestInt(vm.ToNumber(v));
  }
}

// A TextFormat object with every value of `f`.
Object* FormatObject(Interpreter& vm, const CharFormat& f) {
  Object* ctor = vm.GetMember(vm.Global(), "TextFormat").AsObject();
  Object* o = ctor ? vm.Construct(ctor, {}).AsObject() : nullptr;
  if (!o) return nullptr;
  if (!FormatSlots(o)) InitFormatSlots(o);
  std::vector<Value>& s = o->internal;
  s[kFont] = f.font;
  s[kSize] = f.size;
  s[kColor] = RgbValue(f.color);
  s[kUrl] = f.url;
  s[kTarget] = f.target;
  s[kBold] = f.bold;
  s[kItalic] = f.italic;
  s[kUnderline] = f.underline;
  s[kAlign] = AlignName(f.align);
  s[kLeftMargin] = f.leftMargin;
  s[kRightMargin] = f.rightMargin;
  s[kIndent] = f.indent;
  s[kLeading] = f.leading;
  s[kBlockIndent] = f.blockIndent;
  s[kBullet] = f.bullet;
  std::vector<Value> stops(f.tabStops.begin(), f.tabStops.end());
  Object* tabs = vm.NewArray(std::move(stops));
  s[kTabStops] = tabs ? Value(tabs) : Value(Null{});
  s[kKerning] = f.kerning;
  s[kLetterSpacing] = f.letterSpacing;
  return o;
}

// The values a TextFormat object sets (null and undefined leave the format's own).
void ApplyFormat(Interpreter& vm, const Value& format, CharFormat& f) {
  Object* o = format.AsObject();
  if (!o) return;
  auto get = [&](const char* name, Value& out) {
    out = vm.GetMember(o, name);
    return !out.IsUndefined() && !out.IsNull();
  };
  Value v;
  if (get("font", v)) f.font = vm.ToString(v);
  if (get("size", v)) f.size = std::round(vm.ToNumber(v));
  if (get("color", v)) f.color = RgbOf(ToRgb(vm, v));
  if (get("url", v)) f.url = vm.ToString(v);
  if (get("target", v)) f.target = vm.ToString(v);
  if (get("bold", v)) f.bold = ToBoolean(v, vm.Version());
  if (get("italic", v)) f.italic = ToBoolean(v, vm.Version());
  if (get("underline", v)) f.underline = ToBoolean(v, vm.Version());
  if (get("align", v)) {
    if (const std::optional<TextAlign> a = AlignFromName(vm.ToString(v))) f.align = *a;
  }
  auto number = [&](const char* name, double& out) {
    if (!get(name, v)) return;
    const double n = vm.ToNumber(v);
    if (!std::isnan(n)) out = std::round(n);
  };
  number("leftMargin", f.leftMargin);
  number("rightMargin", f.rightMargin);
  number("indent", f.indent);
  number("leading", f.leading);
  number("blockIndent", f.blockIndent);
  // Letter spacing keeps its fraction: a tenth of a pixel still widens the text.
  if (get("letterSpacing", v)) {
    const double n = vm.ToNumber(v);
    if (!std::isnan(n)) f.letterSpacing = n;
  }
  if (get("bullet", v)) f.bullet = ToBoolean(v, vm.Version());
  if (get("kerning", v)) f.kerning = ToBoolean(v, vm.Version());
  if (get("tabStops", v)) {
    f.tabStops.clear();
    if (ThisArray(v)) {
      for (const Value& e : ListItems(vm, v, kMaxFieldChars)) {
        const double n = vm.ToNumber(e);
        f.tabStops.push_back(std::isnan(n) ? 0 : static_cast<int>(std::clamp(n, -1e9, 1e9)));
      }
    }
  }
}

// The format every character of [begin, end) shares; values that differ are null.
Object* CommonFormat(Interpreter& vm, const TextField& f, size_t begin, size_t end) {
  const auto& formats = f.formats();
  end = std::min(end, formats.size());
  if (begin >= end) return FormatObject(vm, begin < formats.size() ? formats[begin] : f.newFormat);
  Object* o = FormatObject(vm, formats[begin]);
  if (!o) return nullptr;
  for (size_t i = begin + 1; i < end; ++i) {
    const CharFormat& a = formats[begin];
    const CharFormat& b = formats[i];
    auto differ = [&](const char* name, bool d) {
      if (!d) return;
      for (size_t slot = 0; slot < kFormatSlots; ++slot) {
        if (std::string_view(kFormatNames[slot]) == name) o->internal[slot] = Null{};
      }
    };
    differ("font", a.font != b.font);
    differ("size", a.size != b.size);
    differ("color", !(a.color == b.color));
    differ("url", a.url != b.url);
    differ("target", a.target != b.target);
    differ("bold", a.bold != b.bold);
    differ("italic", a.italic != b.italic);
    differ("underline", a.underline != b.underline);
    differ("align", a.align != b.align);
    differ("leftMargin", a.leftMargin != b.leftMargin);
    differ("rightMargin", a.rightMargin != b.rightMargin);
    differ("indent", a.indent != b.indent);
    differ("leading", a.leading != b.leading);
    differ("blockIndent", a.blockIndent != b.blockIndent);
    differ("bullet", a.bullet != b.bullet);
    differ("kerning", a.kerning != b.kerning);
    differ("letterSpacing", a.letterSpacing != b.letterSpacing);
  }
  return o;
}

// The range arguments of getTextFormat/setTextFormat: none (all), one index, or two.
bool Range(Interpreter& vm, std::span<const Value> args, size_t count, size_t length,
           size_t& begin, size_t& end) {
  begin = 0;
  end = length;
  if (count == 0) return true;
  auto index = [&](const Value& v, size_t& out) {
    const double n = vm.ToNumber(v);
    if (std::isnan(n) || n < 0) return false;
    out = static_cast<size_t>(std::min(n, static_cast<double>(length)));
    return true;
  };
  if (!index(args[0], begin)) return false;
  if (count == 1) {
    end = begin + 1;
    return begin < length;
  }
  if (!index(args[1], end)) return false;
  return begin <= end;
}

}  // namespace

void Interpreter::InstallTextMethods() {
  const bool cs = CaseSensitive();
  // SWF 5 movies get a prototype of their own: it stands on nothing (a field has no toString
  // there), the constructor does not show it, and the methods are SWF 6's.
  const bool swf5 = Version() < 6;
  textFieldProto_ = NewObject(swf5 ? nullptr : objectProto_);
  Object* field = NewNative([](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  if (!textFieldProto_ || !field) return;
  field->SetOwn("prototype", textFieldProto_, cs, kDontEnum | kDontDelete | (swf5 ? kSwf6Only : 0));
  for (Property& p : field->props) p.hidden = HiddenFromVersion(p.flags, Version());
  if (swf5) {
    // `new TextField` still makes an object of the hidden prototype.
    field->construct = [field](Interpreter& vm, const Value&, std::span<const Value>) {
      Object* o = vm.NewObject(vm.textFieldProto_);
      if (o) o->SetOwn("constructor", field, vm.CaseSensitive(), kDontEnum);
      return o ? Value(o) : Value();
    };
  }
  textFieldProto_->SetOwn("constructor", field, cs, kDontEnum);
  global_->SetOwn("TextField", field, cs, kDontEnum);

  using Getter = Value (*)(Interpreter&, DisplayObject&, TextField&);
  using Setter = void (*)(Interpreter&, DisplayObject&, TextField&, const Value&);
  auto property = [&](const char* name, Getter get, Setter set) {
    Object* g = NewNative([get](Interpreter& vm, const Value& self, std::span<const Value>) {
      DisplayObject* d = FieldObject(vm, self);
      return d ? get(vm, *d, *d->field) : Value();
    });
    Object* s = nullptr;
    if (set) {
      s = NewNative([set](Interpreter& vm, const Value& self, std::span<const Value> args) {
        if (DisplayObject* d = FieldObject(vm, self)) set(vm, *d, *d->field, Arg(args, 0));
        return Value();
      });
    }
    Property p;
    p.name = name;
    p.getter = g;
    p.setter = s;
    textFieldProto_->props.push_back(std::move(p));
  };
#define FIELD_FLAG(name, member)                                                              \
  property(                                                                                   \
      name, [](Interpreter&, DisplayObject&, TextField& f) { return Value(f.member); },       \
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {                     \
        f.member = ToBoolean(v, vm.Version());                                                \
        f.Touch();                                                                            \
      })
  // Made in the reverse of the order for-in lists them.
  const size_t swf8From = textFieldProto_->props.size();
  for (const char* name : {"gridFitType", "antiAliasType"}) {
    property(name, [](Interpreter&, DisplayObject&, TextField&) { return Value("none"); },
             nullptr);
  }
  for (const char* name : {"thickness", "sharpness"}) {
    property(name, [](Interpreter&, DisplayObject&, TextField&) { return Value(0); }, nullptr);
  }
  property(
      "filters", [](Interpreter& vm, DisplayObject&, TextField&) { return Value(vm.NewArray()); },
      nullptr);
  // Those five are there from SWF 8 on: older movies see them listed but cannot read them.
  for (size_t i = swf8From; i < textFieldProto_->props.size(); ++i) {
    Property& p = textFieldProto_->props[i];
    p.flags = kSwf8Only;
    p.hidden = HiddenFromVersion(p.flags, Version());
  }
  property(
      "scroll",
      [](Interpreter&, DisplayObject&, TextField& f) { return Value(f.scroll); },
      [](Interpreter& vm, DisplayObject& d, TextField& f, const Value& v) {
        const double n = vm.ToNumber(v);
        if (std::isnan(n)) return;
        const int old = f.scroll;
        f.scroll = static_cast<int>(std::clamp(n, 1.0, double(f.MaxScroll(Fonts(vm)))));
        if (f.scroll != old) BroadcastFrom(vm, vm.ClipObject(ClipRef{d.id}), "onScroller");
      });
  property(
      "maxscroll",
      [](Interpreter& vm, DisplayObject&, TextField& f) { return Value(f.MaxScroll(Fonts(vm))); },
      nullptr);
  property(
      "borderColor",
      [](Interpreter&, DisplayObject&, TextField& f) { return Value(RgbValue(f.borderColor)); },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        f.borderColor = RgbOf(ToRgb(vm, v));
      });
  property(
      "backgroundColor",
      [](Interpreter&, DisplayObject&, TextField& f) { return Value(RgbValue(f.backgroundColor)); },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        f.backgroundColor = RgbOf(ToRgb(vm, v));
      });
  property(
      "textColor",
      [](Interpreter&, DisplayObject&, TextField& f) { return Value(RgbValue(f.newFormat.color)); },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        const Rgba c = RgbOf(ToRgb(vm, v));
        f.newFormat.color = c;
        for (CharFormat& cf : f.MutableFormats()) cf.color = c;
        f.Touch();
      });
  property(
      "tabIndex",
      [](Interpreter&, DisplayObject&, TextField& f) {
        return f.tabIndex ? Value(*f.tabIndex) : Value();
      },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        if (v.IsUndefined()) {
          f.tabIndex.reset();
        } else {
          f.tabIndex = vm.ToNumber(v);
        }
      });
  property(
      "autoSize",
      [](Interpreter&, DisplayObject&, TextField& f) {
        static const char* const kNames[] = {"none", "left", "center", "right"};
        return Value(kNames[static_cast<int>(f.autoSize)]);
      },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        AutoSize a = AutoSize::None;
        if (v.IsBool()) {
          a = v.AsBool() ? AutoSize::Left : AutoSize::None;
        } else {
          const std::string s = vm.ToString(v);
          if (NamesEqual(s, "left", false)) a = AutoSize::Left;
          if (NamesEqual(s, "center", false)) a = AutoSize::Center;
          if (NamesEqual(s, "right", false)) a = AutoSize::Right;
        }
        f.autoSize = a;
        f.FitToText(Fonts(vm));
      });
  property(
      "text",
      [](Interpreter& vm, DisplayObject&, TextField& f) {
        return Value(EncodeText(f.text(), Utf8(vm)));
      },
      [](Interpreter& vm, DisplayObject& d, TextField& f, const Value& v) {
        if (f.hasStyleSheet) {
          SetStyledText(vm, d, vm.ToString(v));
          return;
        }
        f.SetText(DecodeText(vm.ToString(v), Utf8(vm)));
        f.FitToText(Fonts(vm));
        Publish(vm, d);
      });
  property(
      "type",
      [](Interpreter&, DisplayObject&, TextField& f) {
        return Value(f.editable ? "input" : "dynamic");
      },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        const std::string s = vm.ToString(v);
        if (NamesEqual(s, "input", false)) f.editable = true;
        if (NamesEqual(s, "dynamic", false)) f.editable = false;
      });
  property(
      "htmlText",
      [](Interpreter& vm, DisplayObject&, TextField& f) {
        if (f.styledSource) return Value(*f.styledSource);
        return Value(f.html || f.hasStyleSheet ? f.HtmlText() : EncodeText(f.text(), Utf8(vm)));
      },
      [](Interpreter& vm, DisplayObject& d, TextField& f, const Value& v) {
        if (f.hasStyleSheet) {
          SetStyledText(vm, d, vm.ToString(v));
          return;
        }
        if (f.html) {
          f.SetHtmlText(vm.ToString(v));
        } else {
          f.SetText(DecodeText(vm.ToString(v), Utf8(vm)));
        }
        f.FitToText(Fonts(vm));
        Publish(vm, d);
      });
  property(
      "variable",
      [](Interpreter&, DisplayObject&, TextField& f) {
        return f.variable.empty() ? Value(Null{}) : Value(f.variable);
      },
      [](Interpreter& vm, DisplayObject& d, TextField& f, const Value& v) {
        f.variable = v.IsUndefined() || v.IsNull() ? std::string() : vm.ToString(v);
        vm.SyncField(d);
      });
  property(
      "hscroll", [](Interpreter&, DisplayObject&, TextField& f) { return Value(f.hscroll); },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        const int32_t n = ToInt32(vm.ToNumber(v));
        f.hscroll = std::clamp(n, 0, f.MaxHScroll(Fonts(vm)));
      });
  property(
      "maxhscroll",
      [](Interpreter& vm, DisplayObject&, TextField& f) { return Value(f.MaxHScroll(Fonts(vm))); },
      nullptr);
  property(
      "maxChars",
      [](Interpreter&, DisplayObject&, TextField& f) {
        return f.maxChars ? Value(static_cast<double>(f.maxChars)) : Value(Null{});
      },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        const double n = vm.ToNumber(v);
        f.maxChars = std::isnan(n) || n < 1 ? 0 : static_cast<size_t>(std::min(n, 65535.0));
      });
  FIELD_FLAG("embedFonts", embedFonts);
  property(
      "html", [](Interpreter&, DisplayObject&, TextField& f) { return Value(f.html); },
      [](Interpreter& vm, DisplayObject&, TextField& f, const Value& v) {
        f.html = ToBoolean(v, vm.Version());
      });
  FIELD_FLAG("border", border);
  FIELD_FLAG("background", background);
  FIELD_FLAG("wordWrap", wordWrap);
  FIELD_FLAG("password", password);
  FIELD_FLAG("multiline", multiline);
  FIELD_FLAG("selectable", selectable);
  property(
      "length",
      [](Interpreter&, DisplayObject&, TextField& f) {
        return Value(static_cast<double>(f.text().size()));
      },
      nullptr);
  property(
      "bottomScroll",
      [](Interpreter& vm, DisplayObject&, TextField& f) { return Value(f.BottomScroll(Fonts(vm))); },
      nullptr);
  property(
      "textWidth",
      [](Interpreter& vm, DisplayObject&, TextField& f) {
        return Value(std::floor(f.TextWidth(Fonts(vm))));
      },
      nullptr);
  property(
      "textHeight",
      [](Interpreter& vm, DisplayObject&, TextField& f) {
        return Value(std::round(f.TextHeight(Fonts(vm))));
      },
      nullptr);
  property("restrict", [](Interpreter&, DisplayObject&, TextField&) { return Value(Null{}); },
           nullptr);
  FIELD_FLAG("condenseWhite", condenseWhite);
  FIELD_FLAG("mouseWheelEnabled", mouseWheelEnabled);
  property(
      "styleSheet", [](Interpreter& vm, DisplayObject& d, TextField&) { return FieldSheet(vm, d); },
      [](Interpreter& vm, DisplayObject& d, TextField& f, const Value& v) {
        // Only a plain object is taken (a clip or a function is not); anything else takes the
        // sheet away.
        Object* o = vm.ClipObject(ClipRef{d.id});
        if (!o) return;
        const Object* sheet = v.AsObject();
        const bool taken = sheet && sheet->kind != ObjectKind::Clip && !sheet->IsCallable();
        o->internal.assign(1, taken ? v : Value());
        f.hasStyleSheet = taken;
        if (!f.hasStyleSheet) {
          f.styledSource.reset();
        } else if (f.styledSource) {
          // The markup is read again with what the sheet says now.
          const std::string source = *f.styledSource;
          SetStyledText(vm, d, source);
        }
      });
#undef FIELD_FLAG

  auto method = [&](const char* name, NativeFunction fn) {
    AddMethod(*this, textFieldProto_, name, std::move(fn));
  };
  method("getNewTextFormat", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    TextField* f = FieldOf(vm, self);
    return f ? Value(FormatObject(vm, f->newFormat)) : Value();
  });
  method("setNewTextFormat", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    if (TextField* f = FieldOf(vm, self)) ApplyFormat(vm, Arg(args, 0), f->newFormat);
    return Value();
  });
  method("getTextFormat", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    TextField* f = FieldOf(vm, self);
    size_t begin, end;
    if (!f || !Range(vm, args, std::min<size_t>(args.size(), 2), f->text().size(), begin, end)) {
      return f ? Value(FormatObject(vm, f->newFormat)) : Value();
    }
    return Value(CommonFormat(vm, *f, begin, end));
  });
  method("setTextFormat", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    DisplayObject* d = FieldObject(vm, self);
    if (!d || args.empty()) return Value();
    TextField& f = *d->field;
    const size_t count = args.size() - 1;
    size_t begin, end;
    if (!Range(vm, args, std::min<size_t>(count, 2), f.text().size(), begin, end)) return Value();
    for (size_t i = begin; i < end; ++i) ApplyFormat(vm, args[std::min<size_t>(count, 2)], f.MutableFormats()[i]);
    f.Touch();
    f.FitToText(Fonts(vm));
    return Value();
  });
  auto replace = [](Interpreter& vm, DisplayObject& d, size_t begin, size_t end,
                    const Value& text) {
    TextField& f = *d.field;
    const CharFormat format = begin < f.formats().size() ? f.formats()[begin] : f.newFormat;
    f.Replace(begin, end, DecodeText(vm.ToString(text), Utf8(vm)), format);
    f.FitToText(Fonts(vm));
    Publish(vm, d);
  };
  method("replaceSel", [replace](Interpreter& vm, const Value& self, std::span<const Value> args) {
    DisplayObject* d = FieldObject(vm, self);
    if (!d || args.empty()) return Value();
    const TextField& f = *d->field;
    replace(vm, *d, std::min(f.selBegin, f.selEnd), std::max(f.selBegin, f.selEnd), args[0]);
    return Value();
  });
  method("replaceText", [replace](Interpreter& vm, const Value& self, std::span<const Value> args) {
    DisplayObject* d = FieldObject(vm, self);
    if (!d || args.size() < 3) return Value();
    const double b = vm.ToNumber(args[0]), e = vm.ToNumber(args[1]);
    if (std::isnan(b) || std::isnan(e) || b < 0 || e < b) return Value();
    replace(vm, *d, static_cast<size_t>(std::min(b, 1e9)), static_cast<size_t>(std::min(e, 1e9)),
            args[2]);
    return Value();
  });
  method("getDepth", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    DisplayObject* d = FieldObject(vm, self);
    return d ? Value(d->ScriptDepth()) : Value();
  });
  method("removeTextField", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    DisplayObject* d = FieldObject(vm, self);
    if (!d || !d->parent || d->ScriptDepth() < 0) return Value();
    vm.ReleaseFocusWithin(d->id);
    // The focus events may have run scripts that took the field away already.
    d = FieldObject(vm, self);
    if (d && d->parent && d->ScriptDepth() >= 0) vm.Host()->Display()->Remove(*d);
    return Value();
  });
  if (Property* p = textFieldProto_->FindOwn("replaceText", cs)) p->flags |= kSwf7Only;
  if (Object* broadcaster = GetMember(global_, "AsBroadcaster").AsObject()) {
    for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
      textFieldProto_->SetOwn(name, GetMember(broadcaster, name), cs, kDontEnum);
    }
  }
  for (Property& p : textFieldProto_->props) {
    if (!p.getter && p.name != "constructor") p.flags |= kSwf6Only;
    p.hidden = HiddenFromVersion(p.flags, Version());
  }

  AddMethod(*this, clipProto_, "createTextField",
            [](Interpreter& vm, const Value& self, std::span<const Value> args) {
              Object* o = self.AsObject();
              DisplayObject* parent =
                  vm.Host() && o && o->kind == ObjectKind::Clip ? vm.Host()->Find(o->clip) : nullptr;
              if (!parent || args.size() < 6) return Value();
              const double depth = vm.ToNumber(args[1]);
              if (std::isnan(depth) || depth < kMinScriptDepth || depth > kMaxScriptDepth) {
                return Value();
              }
              double n[4];
              for (int i = 0; i < 4; ++i) {
                n[i] = vm.ToNumber(args[2 + i]);
                if (!std::isfinite(n[i])) n[i] = 0;
                n[i] = std::clamp(std::round(n[i] * 20), -1e8, 1e8);
              }
              const TwipsRect bounds{static_cast<int32_t>(n[0]),
                                     static_cast<int32_t>(n[0] + std::abs(n[2])),
                                     static_cast<int32_t>(n[1]),
                                     static_cast<int32_t>(n[1] + std::abs(n[3]))};
              DisplayObject* made = vm.Host()->Display()->CreateTextField(
                  *parent, static_cast<int32_t>(depth) + kScriptDepthOffset,
                  vm.ToString(args[0]), bounds);
              if (!made || vm.Version() < 8) return Value();
              return Value(vm.ClipObject(ClipRef{made->id}));
            });

  InstallTextSnapshot(*this, clipProto_);
  if (Version() >= 6) InstallStyleSheet(*this, field);

  // TextFormat: every value null until given, kept in the object's internal slots; the
  // prototype's properties convert what scripts write.
  Object* formatProto = NewObject(objectProto_);
  Object* format = NewNative(
      [](Interpreter& vm, const Value& self, std::span<const Value> args) {
        Object* o = self.AsObject();
        if (!o) return Value();
        InitFormatSlots(o);
        // new TextFormat(font, size, color, bold, italic, underline, url, target, align,
        // leftMargin, rightMargin, indent, leading)
        static constexpr FormatSlot kOrder[] = {kFont,   kSize,      kColor,      kBold,
                                                kItalic, kUnderline, kUrl,        kTarget,
                                                kAlign,  kLeftMargin, kRightMargin, kIndent,
                                                kLeading};
        for (size_t i = 0; i < args.size() && i < std::size(kOrder); ++i) {
          const Value v = ConvertFormatValue(vm, kOrder[i], args[i], Null{}, true);
          if (std::vector<Value>* slots = FormatSlots(o)) (*slots)[kOrder[i]] = v;
        }
        return self;
      });
  if (!formatProto || !format) return;
  format->SetOwn("prototype", formatProto, cs, kDontEnum | kDontDelete);
  formatProto->SetOwn("constructor", format, cs, kDontEnum);
  global_->SetOwn("TextFormat", format, cs, kDontEnum);
  AddMethod(*this, formatProto, "getTextExtent",
            [](Interpreter& vm, const Value& self, std::span<const Value> args) {
              if (!vm.Host() || !vm.Host()->Display()) return Value();
              TextField f(vm.Host()->Display()->movie(), nullptr, vm.Version());
              ApplyFormat(vm, self, f.newFormat);
              const double width = vm.ToNumber(Arg(args, 1));
              f.wordWrap = !std::isnan(width) && args.size() > 1;
              f.bounds = {0, static_cast<int32_t>(((f.wordWrap ? width : 1e5) + 4) * 20), 0,
                          2000};
              f.SetText(DecodeText(vm.ToString(Arg(args, 0)), Utf8(vm)));
              DeviceFonts* fonts = Fonts(vm);
              DeviceMetrics m;
              const DeviceFontSpec spec{f.newFormat.font, f.newFormat.size, f.newFormat.bold,
                                        f.newFormat.italic};
              if (!fonts || !fonts->Measure(spec, U"x", m)) FallbackMetrics(spec, U"x", m);
              // The answer is a bare object: no prototype, so it traces as "[type Object]".
              Object* o = vm.NewObject(nullptr);
              if (!o) return Value();
              const bool cs = vm.CaseSensitive();
              const double w = std::floor(f.TextWidth(fonts)), h = std::round(f.TextHeight(fonts));
              o->SetOwn("ascent", std::round(m.ascent), cs);
              o->SetOwn("descent", std::round(m.descent), cs);
              o->SetOwn("width", w, cs);
              o->SetOwn("height", h, cs);
              o->SetOwn("textFieldHeight", h + 4, cs);
              // A width to wrap at is the field's width, whatever the text needs.
              o->SetOwn("textFieldWidth", f.wordWrap ? std::round(width) : w + 4, cs);
              return Value(o);
            });
  for (size_t slot = 0; slot < kFormatSlots; ++slot) {
    Property p;
    p.name = kFormatNames[slot];
    p.flags = kDontEnum | kDontDelete;
    p.getter = NewNative([slot](Interpreter&, const Value& self, std::span<const Value>) {
      const std::vector<Value>* slots = FormatSlots(self);
      return slots ? (*slots)[slot] : Value();
    });
    p.setter = NewNative([slot](Interpreter& vm, const Value& self, std::span<const Value> args) {
      if (!FormatSlots(self)) return Value();
      const Value old = (*FormatSlots(self))[slot];
      const Value v = ConvertFormatValue(vm, slot, Arg(args, 0), old, false);
      // Converting may have run a script that changed the object.
      if (std::vector<Value>* slots = FormatSlots(self)) (*slots)[slot] = v;
      return Value();
    });
    if (!p.getter || !p.setter) return;
    formatProto->props.push_back(std::move(p));
  }
}

void Interpreter::InitTextField(Object* field) {
  if (!field) return;
  const bool cs = CaseSensitive();
  if (Object* list = NewArray({Value(field)})) field->SetOwn("_listeners", list, cs, kDontEnum);
}

void Interpreter::SyncField(DisplayObject& d) {
  if (!d.field || d.removed) return;
  TextField& f = *d.field;
  const std::string path = VariablePath(*this, d);
  if (path.empty()) return;
  const std::optional<std::string> value = GetPathVariable(path);
  if (!value) {
    // A variable that is not there yet starts with what the field shows.
    Publish(*this, d);
    return;
  }
  const std::string shown = f.html ? f.HtmlText() : EncodeText(f.text(), Utf8(*this));
  if (*value == shown) return;
  if (f.html) {
    f.SetHtmlText(*value);
  } else {
    f.SetText(DecodeText(*value, Utf8(*this)));
  }
  f.FitToText(Fonts(*this));
}

void Interpreter::SyncFields(DisplayObject& clip) {
  for (auto& [depth, child] : clip.children) {
    if (child->field) SyncField(*child);
    SyncFields(*child);
  }
}

bool Interpreter::TypeIntoField(const ClipRef& clip, std::u32string_view text, int erase) {
  DisplayObject* d = host_ ? host_->Find(clip) : nullptr;
  if (!d || !d->field || !d->field->editable || d->field->hasStyleSheet) return false;
  TextField& f = *d->field;
  const bool changed = erase ? f.DeleteText(erase > 0) : f.TypeText(text);
  if (!changed) return false;
  f.FitToText(Fonts(*this));
  Publish(*this, *d);
  const OutermostBlock block(*this);
  try {
    BroadcastFrom(*this, ClipObject(clip), "onChanged");
  } catch (const ScriptException& e) {
    Trace("Warning: Uncaught exception, " + ToString(e.value));
  }
  return true;
}

}  // namespace swf::avm1
