// TextSnapshot: the static text a clip shows, as it was when the snapshot was taken, to read,
// search and mark as selected. Edit fields are not part of it, nor are the clip's own clips.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "player/avm1/arrays.h"
#include "player/avm1/builtin_support.h"
#include "player/avm1/text.h"
#include "player/display_list.h"
#include "player/movie.h"

namespace swf::avm1 {
namespace {

// A snapshot keeps, in its internal slots: the marker, its characters (UTF-8), one '1' or '0'
// a character for whether it starts a line, one for whether it is selected, and an array
// with every character's run information.
enum SnapshotSlot : size_t { kMarker, kText, kLineStarts, kSelected, kRuns, kSnapshotSlots };
constexpr std::string_view kSnapshotMarker = "TextSnapshot";

struct Snapshot {
  std::u32string text;
  std::string lineStarts, selected;
  Object* runs = nullptr;
};

bool IsSnapshot(const Object* o) {
  return o && o->internal.size() == kSnapshotSlots && o->internal[kMarker].IsString() &&
         o->internal[kMarker].AsString() == kSnapshotMarker;
}

// The characters of every static text directly inside `clip`, in depth order.
void Collect(Interpreter& vm, const DisplayObject& clip, std::u32string& text,
             std::string& lineStarts, std::vector<Value>& runs) {
  DisplayList* display = vm.Host() ? vm.Host()->Display() : nullptr;
  if (!display || clip.staticTextHandedOn) return;
  const bool cs = vm.CaseSensitive();
  for (const auto& [depth, child] : clip.children) {
    if (child->kind != DisplayKind::Shape || child->removed) continue;
    const Movie* movie = display->LibraryOf(*child);
    if (!movie) continue;
    const auto says = movie->staticTexts.find(child->characterId);
    if (says == movie->staticTexts.end()) continue;
    const Matrix toClip = child->matrix * says->second.matrix;
    bool first = true;
    double lastY = 0;
    for (const StaticTextRun& run : says->second.runs) {
      const Font* font = std::get_if<Font>(movie->Find(run.fontId));
      if (!font) continue;
      const bool newLine = !text.empty() && (first || run.y != lastY);
      first = false;
      lastY = run.y;
      size_t indexInRun = 0;
      for (const StaticTextRun::Placed& g : run.glyphs) {
        if (g.glyph >= font->glyphs.size() || text.size() >= kMaxFieldChars) continue;
        lineStarts.push_back(newLine && indexInRun == 0 ? '1' : '0');
        text.push_back(font->glyphs[g.glyph].code);
        const Point at = toClip.Apply({g.x, run.y});
        Object* info = vm.NewPlainObject();
        if (!info) continue;
        info->SetOwn("indexInRun", static_cast<double>(indexInRun++), cs);
        info->SetOwn("selected", false, cs);
        info->SetOwn("font", font->name, cs);
        info->SetOwn("color", static_cast<double>((run.color.r << 16) | (run.color.g << 8) |
                                                  run.color.b),
                     cs);
        info->SetOwn("height", run.height / 20, cs);
        info->SetOwn("matrix_tx", at.x / 20, cs);
        info->SetOwn("matrix_ty", at.y / 20, cs);
        runs.push_back(info);
      }
    }
  }
}

bool Read(const Value& self, Snapshot& out) {
  Object* o = self.AsObject();
  if (!IsSnapshot(o)) return false;
  out.text = DecodeText(o->internal[kText].IsString() ? o->internal[kText].AsString() : "", true);
  out.lineStarts = o->internal[kLineStarts].IsString() ? o->internal[kLineStarts].AsString() : "";
  out.selected = o->internal[kSelected].IsString() ? o->internal[kSelected].AsString() : "";
  out.runs = o->internal[kRuns].AsObject();
  out.lineStarts.resize(out.text.size(), '0');
  out.selected.resize(out.text.size(), '0');
  return true;
}

// An index argument as a whole number.
int64_t IndexArg(Interpreter& vm, const Value& v) {
  const double n = vm.ToNumber(v);
  return std::isnan(n) ? 0 : static_cast<int64_t>(std::clamp(std::trunc(n), -1e15, 1e15));
}

// [begin, end) as getText and the selection methods read their two indices: the start kept
// inside the text, and at least one character taken.
void Span(Interpreter& vm, std::span<const Value> args, size_t count, size_t& begin,
          size_t& end) {
  const int64_t n = static_cast<int64_t>(count);
  const int64_t b = std::clamp<int64_t>(IndexArg(vm, Arg(args, 0)), 0, n - 1);
  const int64_t e = std::clamp<int64_t>(IndexArg(vm, Arg(args, 1)), b + 1, n);
  begin = static_cast<size_t>(b);
  end = static_cast<size_t>(e);
}

std::string Text(const Snapshot& s, size_t begin, size_t end, bool lineEndings, bool onlySelected) {
  std::u32string out;
  for (size_t i = begin; i < end && i < s.text.size(); ++i) {
    if (onlySelected && s.selected[i] != '1') continue;
    if (lineEndings && !out.empty() && s.lineStarts[i] == '1') out.push_back(U'\n');
    out.push_back(s.text[i]);
  }
  return EncodeText(out, true);
}

char32_t Lower(char32_t c) { return c >= U'A' && c <= U'Z' ? c + 32 : c; }

}  // namespace

void InstallTextSnapshot(Interpreter& vm, Object* clipProto) {
  const bool cs = vm.CaseSensitive();
  Object* proto = vm.NewPlainObject();
  Object* ctor = vm.NewNative([](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Object* o = self.AsObject();
    if (!o) return Value();
    std::u32string text;
    std::string lineStarts;
    std::vector<Value> runs;
    Object* clip = Arg(args, 0).AsObject();
    const DisplayObject* d = vm.Host() && clip && clip->kind == ObjectKind::Clip
                                 ? vm.Host()->Find(clip->clip)
                                 : nullptr;
    // Only a movie clip, given alone, makes a snapshot; anything else leaves a plain object.
    if (!d || !d->IsClip() || args.size() != 1) return Value();
    Collect(vm, *d, text, lineStarts, runs);
    o->internal.assign(kSnapshotSlots, Value());
    o->internal[kMarker] = kSnapshotMarker;
    o->internal[kText] = EncodeText(text, true);
    o->internal[kLineStarts] = lineStarts;
    o->internal[kSelected] = std::string(text.size(), '0');
    o->internal[kRuns] = vm.NewArray(std::move(runs));
    return Value();
  });
  if (!proto || !ctor) return;
  ctor->SetOwn("prototype", proto, cs, kDontEnum | kDontDelete);
  proto->SetOwn("constructor", ctor, cs, kDontEnum);
  vm.Global()->SetOwn("TextSnapshot", ctor, cs, kDontEnum);

  // The methods are there from SWF 6 on; an older movie sees them listed but cannot call them.
  constexpr uint16_t kSwf6Only = 0x80;
  auto method = [&](const char* name, NativeFunction fn) {
    Object* f = vm.NewNative(std::move(fn));
    if (!f) return;
    proto->SetOwn(name, f, cs, kSwf6Only);
    if (Property* p = proto->FindOwn(name, cs)) p->hidden = HiddenFromVersion(p->flags, vm.Version());
  };
  method("getCount", [](Interpreter&, const Value& self, std::span<const Value> args) {
    Snapshot s;
    if (!Read(self, s) || !args.empty()) return Value();
    return Value(static_cast<double>(s.text.size()));
  });
  method("setSelected", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Snapshot s;
    if (!Read(self, s) || args.size() != 3 || s.text.empty()) return Value();
    size_t begin, end;
    Span(vm, args, s.text.size(), begin, end);
    const bool select = ToBoolean(args[2], vm.Version());
    for (size_t i = begin; i < end; ++i) {
      s.selected[i] = select ? '1' : '0';
      if (s.runs) {
        if (Object* info = ListItem(vm, s.runs, i).AsObject()) {
          info->SetOwn("selected", select, vm.CaseSensitive());
        }
      }
    }
    self.AsObject()->internal[kSelected] = s.selected;
    return Value();
  });
  method("getSelected", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Snapshot s;
    if (!Read(self, s) || args.size() != 2) return Value();
    if (s.text.empty()) return Value(false);
    size_t begin, end;
    Span(vm, args, s.text.size(), begin, end);
    return Value(s.selected.find('1', begin) < end);
  });
  method("getText", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Snapshot s;
    if (!Read(self, s) || args.size() < 2 || args.size() > 3 || s.text.empty()) return Value();
    size_t begin, end;
    Span(vm, args, s.text.size(), begin, end);
    return Value(Text(s, begin, end, ToBoolean(Arg(args, 2), vm.Version()), false));
  });
  method("getSelectedText", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Snapshot s;
    if (!Read(self, s) || args.size() > 1) return Value();
    return Value(Text(s, 0, s.text.size(), ToBoolean(Arg(args, 0), vm.Version()), true));
  });
  method("hitTestTextNearPos", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Snapshot s;
    if (!Read(self, s) || args.size() < 2 || !s.runs) return Value();
    const double x = vm.ToNumber(args[0]), y = vm.ToNumber(args[1]);
    const double reach = args.size() > 2 ? vm.ToNumber(args[2]) : 0;
    double best = reach;
    double found = -1;
    const std::vector<Value> runs = ListItems(vm, s.runs, kMaxArrayElements);
    for (size_t i = 0; i < runs.size(); ++i) {
      Object* info = runs[i].AsObject();
      if (!info) continue;
      const double tx = vm.ToNumber(vm.GetMember(info, "matrix_tx"));
      const double ty = vm.ToNumber(vm.GetMember(info, "matrix_ty"));
      const double h = vm.ToNumber(vm.GetMember(info, "height"));
      // A character covers from its baseline up to its height; distance counts from that box.
      const double dy = y > ty ? y - ty : y < ty - h ? ty - h - y : 0;
      const double d = std::hypot(x - tx, dy);
      if (d <= best) {
        best = d;
        found = static_cast<double>(i);
      }
    }
    return Value(found);
  });
  method("findText", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Snapshot s;
    if (!Read(self, s) || args.size() != 3) return Value();
    const int64_t start = IndexArg(vm, args[0]);
    const std::u32string what = DecodeText(vm.ToString(args[1]), vm.Version() >= 6);
    const bool caseSensitive = ToBoolean(args[2], vm.Version());
    if (start < 0 || static_cast<size_t>(start) >= s.text.size() || what.empty()) return Value(-1);
    auto same = [&](char32_t a, char32_t b) { return caseSensitive ? a == b : Lower(a) == Lower(b); };
    const auto at = std::search(s.text.begin() + start, s.text.end(), what.begin(), what.end(), same);
    return Value(at == s.text.end() ? -1.0 : static_cast<double>(at - s.text.begin()));
  });
  method("setSelectColor", [](Interpreter&, const Value&, std::span<const Value>) {
    // Selected static text is only marked for scripts; the colour it would be drawn in has
    // nothing to change here.
    return Value();
  });
  method("getTextRunInfo", [](Interpreter& vm, const Value& self, std::span<const Value> args) {
    Snapshot s;
    if (!Read(self, s) || args.size() != 2 || !s.runs) return Value();
    Object* out = vm.NewArray();
    if (!out || s.text.empty()) return Value(out);
    const std::vector<Value> runs = ListItems(vm, s.runs, kMaxArrayElements);
    const int64_t n = static_cast<int64_t>(runs.size());
    const int64_t b = std::clamp<int64_t>(IndexArg(vm, args[0]), 0, n);
    const int64_t e = std::clamp<int64_t>(IndexArg(vm, args[1]), 0, n - 1);
    for (int64_t i = b; i <= e; ++i) ArrayPush(vm, out, runs[static_cast<size_t>(i)]);
    return Value(out);
  });

  if (clipProto) {
    AddMethod(vm, clipProto, "getTextSnapshot",
              [](Interpreter& vm, const Value& self, std::span<const Value>) {
                // Whatever TextSnapshot names now makes the snapshot.
                const Value make = vm.GetMember(vm.Global(), "TextSnapshot");
                if (!IsFunction(make)) return Value();
                return vm.Construct(make, std::span<const Value>(&self, 1));
              });
  }
}

}  // namespace swf::avm1
