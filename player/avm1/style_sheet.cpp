// TextField.StyleSheet: named styles (CSS property names, CSS values) kept in a hidden object,
// and transform, which reads one style into a TextFormat the way the player reads CSS values.
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/avm1/builtin_support.h"
#include "player/avm1/text.h"

namespace swf::avm1 {
namespace {

enum StyleSheetSlot : size_t { kStyles, kStyleSheetMarker, kStyleSheetSlots };
constexpr std::string_view kStyleSheetTag = "StyleSheet";

Object* Styles(const Value& self) {
  Object* o = self.AsObject();
  if (!o || o->internal.size() != kStyleSheetSlots || !o->internal[kStyleSheetMarker].IsString() ||
      o->internal[kStyleSheetMarker].AsString() != kStyleSheetTag) {
    return nullptr;
  }
  return o->internal[kStyles].AsObject();
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A CSS number as the player reads it: blanks, an optional minus, then digits; whatever
// follows ("px", "pt", a fraction) is ignored. NaN when no digit comes.
double CssInteger(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && s[i] == '-') {
    negative = true;
    ++i;
  }
  double n = 0;
  bool any = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    n = n * 10 + (s[i] - '0');
    any = true;
  }
  if (!any) return NAN;
  return negative ? -n : n;
}

// "  A ,, B" lists A and B: each name loses its leading blanks, empty names go.
std::string FontList(std::string_view s) {
  std::string out;
  size_t at = 0;
  while (at <= s.size()) {
    size_t end = s.find(',', at);
    if (end == std::string_view::npos) end = s.size();
    size_t b = at;
    while (b < end && IsBlank(s[b])) ++b;
    if (b < end) {
      if (!out.empty()) out += ',';
      out.append(s.substr(b, end - b));
    }
    at = end + 1;
  }
  return out;
}

std::optional<double> HexColor(std::string_view s) {
  if (s.size() != 7 || s[0] != '#') return std::nullopt;
  double rgb = 0;
  for (size_t i = 1; i < 7; ++i) {
    const char c = static_cast<char>(s[i] | 0x20);
    const int d = s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return std::nullopt;
    rgb = rgb * 16 + d;
  }
  return rgb;
}

// What a CSS style object says, as fields read it: each value counts only when it is truthy,
// and is then read as text.
TextStyle ReadStyle(Interpreter& vm, Object* s, std::string& display) {
  TextStyle t;
  auto text = [&](const char* name, std::string& out) {
    const Value v = vm.GetMember(s, name);
    if (!ToBoolean(v, vm.Version())) return false;
    out = vm.ToString(v);
    return true;
  };
  std::string v;
  if (text("color", v)) {
    if (const std::optional<double> rgb = HexColor(v)) {
      const auto n = static_cast<uint32_t>(*rgb);
      t.color = Rgba{static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                     static_cast<uint8_t>(n), 255};
    }
  }
  if (text("display", v) && (v == "inline" || v == "none" || v == "block")) display = v;
  if (text("fontFamily", v)) t.font = FontList(v);
  if (text("fontSize", v)) {
    const double n = CssInteger(v);
    if (n > 0) t.size = n;
  }
  if (text("fontStyle", v)) {
    if (v == "normal" || v == "italic") t.italic = v == "italic";
  }
  if (text("fontWeight", v)) {
    if (v == "normal" || v == "bold") t.bold = v == "bold";
  }
  {
    // Kerning takes the word "true" or a whole number other than zero; a boolean is neither.
    const Value k = vm.GetMember(s, "kerning");
    bool on = false;
    if (k.IsString()) {
      on = k.AsString() == "true" || (!std::isnan(CssInteger(k.AsString())) &&
                                      CssInteger(k.AsString()) != 0);
    } else if (k.IsNumber()) {
      on = std::trunc(k.AsNumber()) != 0;
    }
    if (on) t.kerning = true;
  }
  if (text("leading", v)) {
    const double n = CssInteger(v);
    t.leading = std::isnan(n) ? 0.0 : n;
  }
  if (text("letterSpacing", v)) t.letterSpacing = CssInteger(v);
  if (text("marginLeft", v)) {
    const double n = CssInteger(v);
    t.leftMargin = std::isnan(n) || n < 0 ? 0.0 : n;
  }
  if (text("marginRight", v)) {
    const double n = CssInteger(v);
    t.rightMargin = std::isnan(n) || n < 0 ? 0.0 : n;
  }
  if (text("textAlign", v)) {
    static constexpr std::pair<const char*, TextAlign> kAligns[] = {
        {"left", TextAlign::Left},
        {"center", TextAlign::Center},
        {"right", TextAlign::Right},
        {"justify", TextAlign::Justify}};
    for (const auto& [name, align] : kAligns) {
      if (NamesEqual(v, name, false)) t.align = align;
    }
  }
  if (text("textDecoration", v)) {
    if (v == "none" || v == "underline") t.underline = v == "underline";
  }
  return t;
}

// A TextFormat with what `style` says; null when there is no style at all.
Value Transform(Interpreter& vm, const Value& style) {
  if (style.IsUndefined() || style.IsNull()) return Null{};
  Object* ctor = vm.GetMember(vm.Global(), "TextFormat").AsObject();
  Object* format = ctor ? vm.Construct(ctor, {}).AsObject() : nullptr;
  if (!format) return Null{};
  vm.SetMember(format, "kerning", false);
  Object* s = style.AsObject();
  if (!s) return format;
  std::string display;
  const TextStyle t = ReadStyle(vm, s, display);
  if (t.color) {
    vm.SetMember(format, "color",
                 static_cast<double>((t.color->r << 16) | (t.color->g << 8) | t.color->b));
  }
  if (!display.empty()) vm.SetMember(format, "display", display);
  if (t.font) vm.SetMember(format, "font", *t.font);
  if (t.size) vm.SetMember(format, "size", *t.size);
  if (t.italic) vm.SetMember(format, "italic", *t.italic);
  if (t.bold) vm.SetMember(format, "bold", *t.bold);
  if (t.kerning) vm.SetMember(format, "kerning", *t.kerning);
  if (t.leading) vm.SetMember(format, "leading", *t.leading);
  if (t.letterSpacing) vm.SetMember(format, "letterSpacing", *t.letterSpacing);
  if (t.leftMargin) vm.SetMember(format, "leftMargin", *t.leftMargin);
  if (t.rightMargin) vm.SetMember(format, "rightMargin", *t.rightMargin);
  if (t.align) {
    static const char* const kNames[] = {"left", "right", "center", "justify"};
    vm.SetMember(format, "align", kNames[static_cast<int>(*t.align) & 3]);
  }
  if (t.underline) vm.SetMember(format, "underline", *t.underline);
  return format;
}

// A style as the sheet keeps it and hands it out: a plain copy of the object's values.
Object* CopyStyle(Interpreter& vm, Object* from) {
  Object* copy = vm.NewPlainObject();
  if (!copy || !from) return copy;
  for (const Property& p : from->props) {
    if (p.hidden || (p.flags & kDontEnum) || p.getter) continue;
    copy->SetOwn(p.name, p.value, vm.CaseSensitive());
  }
  return copy;
}

}  // namespace

bool SheetStyles(Interpreter& vm, const Value& sheet, TextStyles& out) {
  out.clear();
  Object* styles = Styles(sheet);
  if (!styles) return false;
  // Reading a style may run a script's getters: walk a copy of the list.
  std::vector<std::pair<std::string, Value>> list;
  for (const Property& p : styles->props) list.emplace_back(p.name, p.value);
  for (const auto& [name, value] : list) {
    Object* style = value.AsObject();
    if (!style) continue;
    std::string key = name;
    for (char& c : key) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    std::string display;
    TextStyle t = ReadStyle(vm, style, display);
    // Letter spacing that is no number says nothing to a field.
    if (t.letterSpacing && std::isnan(*t.letterSpacing)) t.letterSpacing.reset();
    out.insert_or_assign(std::move(key), std::move(t));
  }
  return true;
}

void InstallStyleSheet(Interpreter& vm, Object* textField) {
  const bool cs = vm.CaseSensitive();
  Object* proto = vm.NewPlainObject();
  Object* ctor = vm.NewNative([](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    Object* styles = vm.NewObject(nullptr);
    if (!o || !styles) return Value();
    o->internal.assign(kStyleSheetSlots, Value());
    o->internal[kStyles] = styles;
    o->internal[kStyleSheetMarker] = kStyleSheetTag;
    return self;
  });
  if (!textField || !proto || !ctor) return;
  ctor->SetOwn("prototype", proto, cs, kDontEnum | kDontDelete);
  proto->SetOwn("constructor", ctor, cs, kDontEnum);
  textField->SetOwn("StyleSheet", ctor, cs, kDontEnum);

  AddMethod(vm, proto, "setStyle", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* styles = Styles(self);
    if (!styles || args.empty()) return Value();
    const std::string name = vm.ToString(args[0]);
    Object* style = Arg(args, 1).AsObject();
    if (!style) {
      styles->DeleteOwn(name, false);
      return Value();
    }
    if (Object* copy = CopyStyle(vm, style)) {
      styles->DeleteOwn(name, false);
      styles->SetOwn(name, copy, false);
    }
    return Value();
  });
  AddMethod(vm, proto, "getStyle", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* styles = Styles(self);
    if (!styles) return Value();
    const Property* p = styles->FindOwn(vm.ToString(Arg(args, 0)), false);
    if (!p || !p->value.AsObject()) return Value(Null{});
    return Value(CopyStyle(vm, p->value.AsObject()));
  });
  AddMethod(vm, proto, "getStyleNames", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* styles = Styles(self);
    std::vector<Value> names;
    if (styles) {
      for (const Property& p : styles->props) names.emplace_back(p.name);
    }
    return Value(vm.NewArray(std::move(names)));
  });
  AddMethod(vm, proto, "clear", [](Interpreter&, const Value& self, std::span<const Value>) {
    if (Object* styles = Styles(self)) styles->props.clear();
    return Value();
  });
  AddMethod(vm, proto, "transform", [](Interpreter& vm, const Value&, std::span<const Value> args) {
    return Transform(vm, Arg(args, 0));
  });
}

}  // namespace swf::avm1
