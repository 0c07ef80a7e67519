#include "player/input.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "player/avm1/movie_scripts.h"
#include "player/compose.h"

namespace swf {
namespace {

constexpr uint32_t kButtonEvents = kEventPress | kEventRelease | kEventReleaseOutside |
                                   kEventRollOver | kEventRollOut | kEventDragOver |
                                   kEventDragOut;
constexpr const char* kButtonMethods[] = {"onPress",    "onRelease",  "onReleaseOutside",
                                          "onRollOver", "onRollOut",  "onDragOver",
                                          "onDragOut"};

// From the object's own twips to the stage's.
Matrix ToStage(const DisplayObject& o) {
  Matrix m = o.matrix;
  for (const DisplayObject* p = o.parent; p; p = p->parent) m = p->matrix * m;
  return m;
}

// The topmost field under `pixel` that takes a click (to select in or type into), or null. A
// field that cannot be selected takes none, even one that takes typing.
const DisplayObject* FieldAt(const DisplayObject& parent, const Matrix& m, Point pixel) {
  for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
    const DisplayObject& child = *it->second;
    if (!child.visible || child.removed || child.clipDepth > 0) continue;
    const Matrix toPixels = m * child.matrix;
    const bool flat = toPixels.a * toPixels.d - toPixels.b * toPixels.c == 0;
    if (child.field && child.field->selectable && !flat) {
      const Point p = toPixels.Inverse().Apply(pixel);
      const TwipsRect& r = child.field->bounds;
      if (p.x >= r.xMin && p.x < r.xMax && p.y >= r.yMin && p.y < r.yMax) return &child;
    }
    if (const DisplayObject* inner = FieldAt(child, toPixels, pixel)) return inner;
  }
  return nullptr;
}

void CollectClips(DisplayObject& o, std::vector<uint64_t>& out) {
  if (o.IsClip()) out.push_back(o.id);
  for (auto& [depth, child] : o.children) CollectClips(*child, out);
}

// The key a button's or a clip's key handler names: a character, or one of the codes the
// format gives the keys that make none.
uint8_t HandlerKey(int code, int ascii) {
  if (ascii >= 32 && ascii <= 126) return static_cast<uint8_t>(ascii);
  switch (code) {
    case 37: return 1;   // left
    case 39: return 2;   // right
    case 36: return 3;   // home
    case 35: return 4;   // end
    case 45: return 5;   // insert
    case 46: return 6;   // delete
    case 8: return 8;    // backspace
    case 13: return 13;  // enter
    case 38: return 14;  // up
    case 40: return 15;  // down
    case 33: return 16;  // page up
    case 34: return 17;  // page down
    case 9: return 18;   // tab
    case 27: return 19;  // escape
    default: return 0;
  }
}

}  // namespace

InputRouter::InputRouter(const Movie& movie, DisplayList& display, avm1::MovieScripts& scripts)
    : movie_(movie), display_(display), scripts_(scripts) {}

const Movie& InputRouter::Lib(const DisplayObject& object) const {
  const Movie* library = display_.LibraryOf(object);
  return library ? *library : movie_;
}

std::vector<DisplayObject*> InputRouter::Levels() {
  // The highest level is drawn last, on top of the others.
  std::vector<DisplayObject*> levels;
  for (auto it = display_.UpperLevels().rbegin(); it != display_.UpperLevels().rend(); ++it) {
    levels.push_back(it->second.get());
  }
  levels.push_back(&display_.Root());
  return levels;
}

bool InputRouter::Enabled(const DisplayObject& object) {
  avm1::Interpreter& vm = scripts_.vm();
  if (vm.Version() < 6 && object.IsButton()) return true;
  const avm1::Value enabled = vm.GetMember(vm.ClipObject(avm1::ClipRef{object.id}), "enabled");
  return enabled.IsUndefined() || avm1::ToBoolean(enabled, vm.Version());
}

bool InputRouter::ActsAsButton(const DisplayObject& clip) {
  // Fields and videos may carry the same handlers, but the pointer does not work them.
  if (!clip.IsClip()) return false;
  if (clip.clipActions) {
    for (const ClipAction& a : *clip.clipActions) {
      if (a.events & kButtonEvents) return true;
    }
  }
  avm1::Interpreter& vm = scripts_.vm();
  avm1::Object* self = vm.ClipObject(avm1::ClipRef{clip.id});
  if (!self) return false;
  for (const char* name : kButtonMethods) {
    const avm1::Object* f = vm.GetMember(self, name).AsObject();
    if (f && f->IsCallable()) return true;
  }
  return false;
}

bool InputRouter::TracksAsMenu(const DisplayObject& object) {
  avm1::Interpreter& vm = scripts_.vm();
  if (vm.Version() >= 6) {
    const avm1::Value menu =
        vm.GetMember(vm.ClipObject(avm1::ClipRef{object.id}), "trackAsMenu");
    if (!menu.IsUndefined()) return avm1::ToBoolean(menu, vm.Version());
  }
  const Button* def = object.IsButton() ? std::get_if<Button>(Lib(object).Find(object.characterId))
                                        : nullptr;
  return def && def->trackAsMenu;
}

bool InputRouter::Contains(const DisplayObject& object, const Matrix& m, Point pixel) {
  if (object.IsButton()) return ButtonContains(Lib(object), object, m, pixel);
  // A clip may name another clip whose shapes take the pointer for it.
  avm1::Interpreter& vm = scripts_.vm();
  const avm1::Object* area =
      vm.GetMember(vm.ClipObject(avm1::ClipRef{object.id}), "hitArea").AsObject();
  if (area && area->kind == avm1::ObjectKind::Clip) {
    const DisplayObject* shown = display_.Find(area->clip.serial);
    if (!shown || shown->removed) return false;
    const Matrix view = m * ToStage(object).Inverse();
    return ObjectContains(Lib(*shown), *shown, view * ToStage(*shown), pixel);
  }
  return ObjectContains(Lib(object), object, m, pixel);
}

namespace {

// The objects that may take the pointer, the topmost first, each before what it holds. Scripts
// run while the list is judged (handlers looked up, hit areas asked for) may change the tree,
// so it is taken first and its objects are found again by handle.
struct Candidate {
  uint64_t id;
  Matrix toPixels;
  size_t end;  // one past the last entry inside this one
};

void Flatten(const DisplayObject& parent, const Matrix& m, std::vector<Candidate>& out,
             bool fields = false) {
  for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
    const DisplayObject& child = *it->second;
    if (!child.visible || child.removed || child.clipDepth > 0) continue;
    if (!child.IsClip() && !child.IsButton() && !(fields && child.field)) continue;
    const size_t at = out.size();
    out.push_back({child.id, m * child.matrix, 0});
    if (child.IsClip()) Flatten(child, m * child.matrix, out, fields);
    out[at].end = out.size();
  }
}

}  // namespace

DisplayObject* InputRouter::Pick(DisplayObject& parent, const Matrix& m, Point pixel) {
  std::vector<Candidate> list;
  Flatten(parent, m, list);
  for (size_t i = 0; i < list.size();) {
    const Candidate& c = list[i];
    DisplayObject* o = display_.Find(c.id);
    if (!o || o->removed) {
      i = c.end;
      continue;
    }
    if (!o->IsButton() && !ActsAsButton(*o)) {
      ++i;
      continue;
    }
    // A clip acting as a button takes the pointer for everything inside it, but a button
    // drawn inside a button takes it before its holder.
    if (Contains(*o, c.toPixels, pixel)) {
      if (o->IsButton()) {
        if (DisplayObject* inner = InnerButton(c.id, c.toPixels, pixel)) return inner;
      }
      if ((o = display_.Find(c.id)) && Enabled(*o)) return display_.Find(c.id);
    }
    i = c.end;
  }
  return nullptr;
}

DisplayObject* InputRouter::InnerButton(uint64_t button, const Matrix& m, Point pixel) {
  const DisplayObject* holder = display_.Find(button);
  if (!holder) return nullptr;
  // Asking whether one is enabled may run scripts, so the buttons are taken first.
  std::vector<std::pair<uint64_t, Matrix>> inner;
  for (auto it = holder->children.rbegin(); it != holder->children.rend(); ++it) {
    const DisplayObject& child = *it->second;
    if (child.IsButton() && child.visible && !child.removed) {
      inner.emplace_back(child.id, m * child.matrix);
    }
  }
  for (const auto& [id, at] : inner) {
    if (DisplayObject* deeper = InnerButton(id, at, pixel)) return deeper;
    DisplayObject* o = display_.Find(id);
    if (o && !o->removed && ButtonContains(Lib(*o), *o, at, pixel) && Enabled(*o)) {
      return display_.Find(id);
    }
  }
  return nullptr;
}

DisplayObject* InputRouter::TargetAt(Point pixel, const Matrix& view) {
  std::vector<uint64_t> levels;
  for (const DisplayObject* level : Levels()) levels.push_back(level->id);
  for (uint64_t id : levels) {
    DisplayObject* level = display_.Find(id);
    if (!level || level->removed || !level->visible) continue;
    const Matrix m = view * level->matrix;
    if (DisplayObject* found = Pick(*level, m, pixel)) return found;
    if (!(level = display_.Find(id))) continue;
    // A level acting as a button takes the pointer over its own shapes.
    if (ActsAsButton(*level) && (level = display_.Find(id)) && Enabled(*level) &&
        (level = display_.Find(id)) && ObjectContains(Lib(*level), *level, m, pixel)) {
      return level;
    }
  }
  return nullptr;
}

void InputRouter::Fire(uint64_t target, uint32_t clipEvent, uint16_t condition,
                       uint8_t buttonState) {
  DisplayObject* o = display_.Find(target);
  if (!o || o->removed) return;
  // A disabled object hears nothing of the pointer and keeps the state it was in.
  if (!Enabled(*o) || !(o = display_.Find(target))) return;
  if (o->IsButton()) {
    if (buttonState) display_.SetButtonState(*o, buttonState);
    const Button* def = std::get_if<Button>(Lib(*o).Find(o->characterId));
    if (def && o->parent) {
      for (const ButtonAction& action : def->actions) {
        if ((action.conditions & condition) && action.keyCode == 0) {
          display_.Queue({o->parent->id, &action.block, 0, nullptr});
        }
      }
    }
    // Buttons of SWF 6 and later are objects with handlers of their own.
    if (scripts_.vm().Version() >= 6) display_.Queue({o->id, nullptr, clipEvent, nullptr});
  } else {
    display_.Queue({o->id, nullptr, clipEvent, o->clipActions});
  }
  display_.Flush();
}

void InputRouter::Everyone(uint32_t event, const char* broadcaster, const char* message) {
  std::vector<uint64_t> clips;
  for (DisplayObject* level : Levels()) CollectClips(*level, clips);
  std::sort(clips.begin(), clips.end(), std::greater<>());
  const bool key = event == kEventKeyDown || event == kEventKeyUp;
  const uint64_t focus = scripts_.vm().Input().focus;
  // Key events reach the focused clip's or button's method (a field has none for them), and
  // every clip's handlers for them.
  const DisplayObject* focused = key && KeysReach(focus) ? display_.Find(focus) : nullptr;
  if (focused && !focused->field) display_.Queue({focus, nullptr, event, nullptr});
  for (uint64_t id : clips) {
    const DisplayObject* clip = display_.Find(id);
    if (!clip) continue;
    if (key) {
      const bool handles =
          clip->clipActions && std::any_of(clip->clipActions->begin(), clip->clipActions->end(),
                                           [&](const ClipAction& a) { return a.events & event; });
      if (!handles) continue;
    }
    display_.Queue({id, nullptr, event, clip->clipActions});
  }
  display_.Flush();
  scripts_.vm().Broadcast(broadcaster, message);
  display_.Flush();
}

void InputRouter::Drag(const Matrix& view) {
  avm1::InputState& in = scripts_.vm().Input();
  DisplayObject* o = in.drag.clip ? display_.Find(in.drag.clip) : nullptr;
  if (!o || o->removed || !o->parent) {
    in.drag = {};
    return;
  }
  const Point local = ToStage(*o->parent).Inverse().Apply(in.mouse);
  double x = local.x + in.drag.offset.x, y = local.y + in.drag.offset.y;
  if (in.drag.bounds) {
    x = std::clamp(x, double(in.drag.bounds->xMin), double(in.drag.bounds->xMax));
    y = std::clamp(y, double(in.drag.bounds->yMin), double(in.drag.bounds->yMax));
  }
  o->matrix.tx = std::round(x);
  o->matrix.ty = std::round(y);
  o->scripted = true;
  // What the dragged clip is over: the topmost other clip with a shape under the pointer.
  in.dropTarget = 0;
  std::vector<uint64_t> clips;
  for (DisplayObject* level : Levels()) CollectClips(*level, clips);
  std::sort(clips.begin(), clips.end(), std::greater<>());
  for (uint64_t id : clips) {
    const DisplayObject* c = display_.Find(id);
    bool inside = false;
    for (const DisplayObject* p = c; p && !inside; p = p->parent) inside = p == o;
    if (!c || inside || !c->parent) continue;
    if (ObjectContains(Lib(*c), *c, view * ToStage(*c), pixel_)) {
      in.dropTarget = id;
      break;
    }
  }
}

void InputRouter::UpdateHover(Point pixel, const Matrix& view) {
  DisplayObject* now = TargetAt(pixel, view);
  const uint64_t id = now ? now->id : 0;
  if (down_ && pressed_ && now && id != pressed_ && TracksAsMenu(*now)) {
    // A menu item takes over a press that started on another item.
    const uint64_t old = pressed_;
    pressed_ = hover_ = id;
    Fire(old, kEventDragOut, kCondOverDownToIdle, kButtonUp);
    Fire(id, kEventDragOver, kCondIdleToOverDown, kButtonDown);
    return;
  }
  if (down_ && pressed_) {
    // While pressed, only the pressed object hears about the pointer leaving and coming back.
    const bool wasOver = hover_ == pressed_, isOver = id == pressed_;
    hover_ = id;
    if (wasOver && !isOver) Fire(pressed_, kEventDragOut, kCondOverDownToOutDown, kButtonOver);
    if (!wasOver && isOver) Fire(pressed_, kEventDragOver, kCondOutDownToOverDown, kButtonDown);
    return;
  }
  if (id == hover_) return;
  const uint64_t old = hover_;
  // An object disabled while the pointer is over it stays over, untold; enabled again under a
  // pointer that never left, it has nothing new to hear.
  if (!id && old) {
    const DisplayObject* o = display_.Find(old);
    if (o && !o->removed && o->visible && !Enabled(*o)) return;
  }
  hover_ = id;
  if (old) Fire(old, kEventRollOut, kCondOverUpToIdle, kButtonUp);
  if (id) Fire(id, kEventRollOver, kCondIdleToOverUp, kButtonOver);
}

void InputRouter::Refresh(const Matrix& view) {
  if (pointerSeen_) UpdateHover(pixel_, view);
}

void InputRouter::MouseMove(Point pixel, const Matrix& view) {
  pixel_ = pixel;
  pointerSeen_ = true;
  avm1::InputState& in = scripts_.vm().Input();
  in.mouse = view.Inverse().Apply(pixel);
  released_ = in.focus;
  if (in.drag.clip) Drag(view);
  Everyone(kEventMouseMove, "Mouse", "onMouseMove");
  UpdateHover(pixel, view);
}

void InputRouter::MouseDown(Point pixel, const Matrix& view) {
  if (pixel.x != pixel_.x || pixel.y != pixel_.y) MouseMove(pixel, view);
  down_ = true;
  focusShown_ = false;
  scripts_.vm().Input().keys[1] = true;  // scripts read the left button as key 1
  Everyone(kEventMouseDown, "Mouse", "onMouseDown");
  UpdateHover(pixel, view);
  pressed_ = hover_;
  // A press anywhere but on a field takes the focus away, before the pressed object hears of it.
  if (scripts_.vm().Input().focus) {
    bool onField = false;
    for (const DisplayObject* level : Levels()) {
      if (!level->removed && level->visible && FieldAt(*level, view * level->matrix, pixel)) {
        onField = true;
      }
    }
    if (!onField) {
      scripts_.vm().SetFocus(0);
      display_.Flush();
    }
  }
  if (pressed_) {
    Fire(pressed_, kEventPress, kCondOverUpToOverDown, kButtonDown);
    return;
  }
  // A press on a field that takes typing or a selection gives it the focus, the caret at
  // the end of its text.
  for (const DisplayObject* level : Levels()) {
    if (level->removed || !level->visible) continue;
    const DisplayObject* field = FieldAt(*level, view * level->matrix, pixel);
    if (!field) continue;
    const uint64_t id = field->id;
    if (scripts_.vm().SetFocus(id)) {
      if (DisplayObject* now = display_.Find(id); now && now->field) {
        now->field->selBegin = now->field->selEnd = now->field->text().size();
      }
    }
    display_.Flush();
    break;
  }
}

void InputRouter::MouseUp(Point pixel, const Matrix& view) {
  if (pixel.x != pixel_.x || pixel.y != pixel_.y) MouseMove(pixel, view);
  // A drag begun since the pointer last moved still follows it to where it is let go.
  if (scripts_.vm().Input().drag.clip) Drag(view);
  down_ = false;
  scripts_.vm().Input().keys[1] = false;
  Everyone(kEventMouseUp, "Mouse", "onMouseUp");
  const uint64_t pressed = pressed_;
  pressed_ = 0;
  if (!pressed) return;
  const DisplayObject* now = TargetAt(pixel, view);
  if (now && now->id == pressed) {
    Fire(pressed, kEventRelease, kCondOverDownToOverUp, kButtonOver);
    hover_ = pressed;
    return;
  }
  Fire(pressed, kEventReleaseOutside, kCondOutDownToIdle, kButtonUp);
  hover_ = 0;
  UpdateHover(pixel, view);
}

void InputRouter::MouseWheel(int delta) {
  avm1::Interpreter& vm = scripts_.vm();
  const DisplayObject* over = hover_ ? display_.Find(hover_) : nullptr;
  const avm1::Value args[] = {
      avm1::Value(static_cast<double>(delta)),
      over ? avm1::Value(vm.ClipObject(avm1::ClipRef{over->id})) : avm1::Value()};
  vm.Broadcast("Mouse", "onMouseWheel", args);
  display_.Flush();
}

void InputRouter::OtherButton(int key, bool down) {
  scripts_.vm().Input().keys[static_cast<size_t>(key)] = down;
}

void InputRouter::KeyDown(int code, std::u32string_view typed) {
  avm1::InputState& in = scripts_.vm().Input();
  if (code > 0 && code < 256) {
    if (code == 20 && !in.keys[20]) in.capsLock = !in.capsLock;
    if (code == 144 && !in.keys[144]) in.numLock = !in.numLock;
    in.keys[static_cast<size_t>(code)] = true;
  }
  // With Ctrl held (and not Alt, with which it makes AltGr) a letter makes its control
  // character, whatever a host reported.
  const char32_t control = static_cast<char32_t>(code - 'A' + 1);
  if (in.keys[17] && !in.keys[18] && code >= 'A' && code <= 'Z') typed = {&control, 1};
  in.lastCode = code;
  in.lastAscii = typed.empty() ? 0 : static_cast<int>(typed.front());
  Everyone(kEventKeyDown, "Key", "onKeyDown");
  if (typed.empty()) {
    Deliver(code, 0);
    return;
  }
  // A key after a dead key may make two characters (the accent the next key did not take, then
  // its own): each goes its own way, to a key handler or into the focused field.
  for (const char32_t c : typed) Deliver(code, static_cast<int>(c));
}

void InputRouter::Deliver(int code, int ascii) {
  avm1::InputState& in = scripts_.vm().Input();
  const uint8_t key = HandlerKey(code, ascii);
  if (key && KeyPress(key)) return;
  // A field that has the focus and takes typing gets the character, after the listeners.
  if (const DisplayObject* field = in.focus ? display_.Find(in.focus) : nullptr;
      field && !field->removed && field->field && field->field->editable && code != 9) {
    avm1::Interpreter& vm = scripts_.vm();
    const avm1::ClipRef ref{field->id};
    if (ascii >= 1 && ascii <= 26 && code >= 'A' && code <= 'Z') {
      EditShortcut(field->id, code);
    } else if (code == 8 || code == 46) {
      vm.TypeIntoField(ref, {}, code == 8 ? -1 : 1);
    } else if (ascii == 13 || ascii >= 32) {
      const char32_t typed = ascii == 13 ? U'\r' : static_cast<char32_t>(ascii);
      vm.TypeIntoField(ref, std::u32string_view(&typed, 1));
    }
    display_.Flush();
    return;
  }
  if (code == 9) {
    MoveFocus(in.keys[16]);
  } else if (code == 13 || code == 32) {
    // Enter and space click what has the focus, when that takes clicks and shows the focus
    // with a rectangle (its own setting, or else the movie's).
    const DisplayObject* focus = KeysReach(in.focus) ? display_.Find(in.focus) : nullptr;
    if (focus && !focus->removed && focus->focusRect.value_or(in.focusRect) &&
        (focus->IsButton() || ActsAsButton(*focus)) && Enabled(*focus)) {
      const uint64_t id = focus->id;
      Fire(id, kEventPress, kCondOverUpToOverDown, kButtonDown);
      Fire(id, kEventRelease, kCondOverDownToOverUp, hover_ == id ? kButtonOver : kButtonUp);
    }
  }
}

void InputRouter::EditShortcut(uint64_t id, int code) {
  DisplayObject* d = display_.Find(id);
  if (!d || !d->field) return;
  TextField& f = *d->field;
  const size_t b = std::min({f.selBegin, f.selEnd, f.text().size()});
  const size_t e = std::min(std::max(f.selBegin, f.selEnd), f.text().size());
  Clipboard* clipboard = scripts_.vm().Input().clipboard;
  avm1::Interpreter& vm = scripts_.vm();
  switch (code) {
    case 'A':
      f.selBegin = 0;
      f.selEnd = f.text().size();
      break;
    case 'C':
    case 'X':
      // What a password field hides cannot be taken out of it.
      if (f.password || b == e || !clipboard) break;
      clipboard->SetText(std::u32string_view(f.text()).substr(b, e - b));
      if (code == 'X') vm.TypeIntoField(avm1::ClipRef{id}, {}, 1);
      break;
    case 'V':
      // Pasting goes through the field's rules for typing: its allowed characters, its length.
      if (const std::u32string text = clipboard ? clipboard->Text() : U""; !text.empty()) {
        vm.TypeIntoField(avm1::ClipRef{id}, text);
      }
      break;
    default:
      break;
  }
}

void InputRouter::KeyUp(int code, int ascii) {
  avm1::InputState& in = scripts_.vm().Input();
  if (code > 0 && code < 256) in.keys[static_cast<size_t>(code)] = false;
  in.lastCode = code;
  in.lastAscii = ascii;
  Everyone(kEventKeyUp, "Key", "onKeyUp");
}

bool InputRouter::KeyPress(uint8_t key) {
  // Only the topmost handler of a key runs: the last found in drawing order.
  FrameActions chosen;
  std::vector<const DisplayObject*> stack;
  for (const DisplayObject* level : Levels()) stack.push_back(level);
  while (!stack.empty()) {
    const DisplayObject* o = stack.back();
    stack.pop_back();
    // Hidden objects, and whatever they hold, do not hear keys.
    if (!o->visible) continue;
    if (o->IsButton() && o->parent) {
      if (const Button* def = std::get_if<Button>(Lib(*o).Find(o->characterId))) {
        for (const ButtonAction& action : def->actions) {
          if (action.keyCode == key) chosen = {o->parent->id, &action.block, 0, nullptr};
        }
      }
    }
    if (o->clipActions) {
      for (const ClipAction& a : *o->clipActions) {
        if ((a.events & kEventKeyPress) && a.keyCode == key) {
          chosen = {o->id, nullptr, kEventKeyPress, o->clipActions, key};
        }
      }
    }
    for (auto it = o->children.rbegin(); it != o->children.rend(); ++it) {
      // A button held by a button does not hear keys: its holder answers for it.
      if (o->IsButton() && it->second->IsButton()) continue;
      stack.push_back(it->second.get());
    }
  }
  if (!chosen.clip) return false;
  display_.Queue(chosen);
  display_.Flush();
  return true;
}

void InputRouter::MoveFocus(bool backwards) {
  avm1::Interpreter& vm = scripts_.vm();
  struct Stop {
    uint64_t id;
    std::optional<double> tabIndex;
    double x, y;
  };
  std::vector<Stop> all;
  auto member = [&](uint64_t id, const char* name) {
    return vm.GetMember(vm.ClipObject(avm1::ClipRef{id}), name);
  };
  auto flag = [&](uint64_t id, const char* name) -> std::optional<bool> {
    const avm1::Value v = member(id, name);
    if (v.IsUndefined()) return std::nullopt;
    return avm1::ToBoolean(v, vm.Version());
  };
  std::vector<Candidate> list;
  // Hidden objects and whatever they hold are passed over.
  for (const DisplayObject* level : Levels()) Flatten(*level, Matrix{}, list, true);
  for (size_t i = 0; i < list.size(); ++i) {
    const uint64_t id = list[i].id;
    const DisplayObject* o = display_.Find(id);
    if (!o || o->removed) {
      i = list[i].end - 1;
      continue;
    }
    const bool clip = o->IsClip();
    const bool field = o->field != nullptr;
    const bool typed = field && o->field->editable;
    std::optional<bool> tabbable = flag(id, "tabEnabled");
    const avm1::Value index = member(id, "tabIndex");
    // A field takes part only while it can be typed into, and then unless a script says not.
    if (field) tabbable = typed && tabbable.value_or(true);
    // Unless a script says otherwise, buttons, clips acting as them and clips given a place
    // in the tab order take part.
    if (!tabbable && (o = display_.Find(id))) {
      tabbable = o->IsButton() || ActsAsButton(*o) || index.IsNumber();
    }
    if (*tabbable) {
      if ((o = display_.Find(id))) {
        const Bounds b = ObjectBounds(Lib(*o), *o, ToStage(*o));
        // Tab indexes are whole 32-bit numbers (4294967293 comes before -2), and -1 is the
        // same as none.
        std::optional<double> place;
        if (index.IsNumber() && avm1::ToInt32(index.AsNumber()) != -1) {
          place = avm1::ToInt32(index.AsNumber());
        }
        all.push_back({id, place,
                       b.empty ? 0 : b.xMin, b.empty ? 0 : b.yMin});
      }
    }
    if (clip && !flag(id, "tabChildren").value_or(true)) i = list[i].end - 1;
  }
  // Once any object has a tab index, only those with one take part, in its order; otherwise
  // the order is the reading order of where they stand.
  const bool indexed =
      std::any_of(all.begin(), all.end(), [](const Stop& c) { return c.tabIndex.has_value(); });
  if (indexed) {
    std::erase_if(all, [](const Stop& c) { return !c.tabIndex; });
    // Objects sharing a tab index go from the bottom of the display up.
    std::reverse(all.begin(), all.end());
    std::stable_sort(all.begin(), all.end(),
                     [](const Stop& a, const Stop& b) { return *a.tabIndex < *b.tabIndex; });
  } else {
    std::stable_sort(all.begin(), all.end(), [](const Stop& a, const Stop& b) {
      return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
  }
  if (all.empty()) return;
  const uint64_t focus = vm.Input().focus;
  auto at = std::find_if(all.begin(), all.end(), [&](const Stop& c) { return c.id == focus; });
  size_t next;
  if (at == all.end()) {
    next = backwards ? all.size() - 1 : 0;
  } else {
    const size_t i = static_cast<size_t>(at - all.begin());
    next = backwards ? (i + all.size() - 1) % all.size() : (i + 1) % all.size();
  }
  const uint64_t target = all[next].id;
  if (target == focus) {
    // The only stop: Tab lets go of it, and the next one takes it again as if newly reached,
    // a field's text all selected. Let go, a field keeps a caret at the end of its text.
    DisplayObject* o = display_.Find(target);
    TextField* field = o && !o->removed ? o->field.get() : nullptr;
    const bool release = KeysReach(focus);
    released_ = release ? focus : 0;
    focusShown_ = !release;
    if (field) {
      field->selEnd = field->text().size();
      field->selBegin = release ? field->selEnd : 0;
    }
    return;
  }
  released_ = 0;
  // The keyboard moves the pointer's over state with it: what was over is rolled out of and
  // a button (or a clip acting as one) given the focus is rolled over, before the focus moves.
  if (target != hover_) {
    const uint64_t old = hover_;
    hover_ = 0;
    if (old) Fire(old, kEventRollOut, kCondOverUpToIdle, kButtonUp);
    if (RollsOnFocus(target)) {
      hover_ = target;
      Fire(target, kEventRollOver, kCondIdleToOverUp, kButtonOver);
    }
  }
  vm.SetFocus(target);
  focusShown_ = true;
  display_.Flush();
}

bool InputRouter::RollsOnFocus(uint64_t id) {
  const DisplayObject* o = display_.Find(id);
  // Asking whether a clip acts as a button may run scripts, which may take it away.
  return o && !o->removed && (o->IsButton() || ActsAsButton(*o)) && (o = display_.Find(id)) &&
         Enabled(*o);
}

void InputRouter::DeliverFocusRolls() {
  std::vector<uint64_t>& waiting = scripts_.vm().Input().focusRolls;
  // The events run scripts, which may call setFocus again: those wait their turn behind.
  for (size_t i = 0; i < waiting.size(); ++i) {
    const uint64_t target = waiting[i];
    released_ = 0;
    const uint64_t old = hover_;
    hover_ = 0;
    if (old) Fire(old, kEventRollOut, kCondOverUpToIdle, kButtonUp);
    if (target && RollsOnFocus(target)) {
      hover_ = target;
      Fire(target, kEventRollOver, kCondIdleToOverUp, kButtonOver);
    }
  }
  waiting.clear();
}

Cursor InputRouter::CursorAt(Point pixel, const Matrix& view) {
  if (const DisplayObject* target = TargetAt(pixel, view)) {
    avm1::Interpreter& vm = scripts_.vm();
    const avm1::Value hand =
        vm.GetMember(vm.ClipObject(avm1::ClipRef{target->id}), "useHandCursor");
    if (hand.IsUndefined() || avm1::ToBoolean(hand, vm.Version())) return Cursor::Hand;
    return Cursor::Arrow;
  }
  if (textQuery_) {
    std::vector<const DisplayObject*> stack;
    for (const DisplayObject* level : Levels()) stack.push_back(level);
    while (!stack.empty()) {
      const DisplayObject* o = stack.back();
      stack.pop_back();
      if (!o->visible) continue;
      if (o->parent && textQuery_(*o)) {
        const Bounds b = ObjectBounds(Lib(*o), *o, view * ToStage(*o));
        if (!b.empty && pixel.x >= b.xMin && pixel.x < b.xMax && pixel.y >= b.yMin &&
            pixel.y < b.yMax) {
          return Cursor::IBeam;
        }
      }
      for (const auto& [depth, child] : o->children) stack.push_back(child.get());
    }
  }
  return Cursor::Arrow;
}

}  // namespace swf
