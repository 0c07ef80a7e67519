#pragma once
// The pointer and the keyboard as a host reports them, turned into what the movie sees: button
// states and actions, clips acting as buttons, clip events, the Mouse and Key listeners,
// dragging, and the keyboard focus moved with Tab.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "player/display_list.h"
#include "player/geometry.h"
#include "player/movie.h"

namespace swf {
namespace avm1 {
class MovieScripts;
}

enum class Cursor { Arrow, Hand, IBeam };

// Whether a display object is a text field that takes a selection (the I-beam shows over it).
using SelectableTextQuery = std::function<bool(const DisplayObject&)>;

class InputRouter {
 public:
  // All three must outlive this.
  InputRouter(const Movie& movie, DisplayList& display, avm1::MovieScripts& scripts);

  // `pixel` is in the viewport; `view` maps the stage (twips) onto it.
  void MouseMove(Point pixel, const Matrix& view);
  void MouseDown(Point pixel, const Matrix& view);
  void MouseUp(Point pixel, const Matrix& view);
  // `delta` in lines, positive away from the user.
  void MouseWheel(int delta);
  // A button other than the left one, by the key code scripts read it as.
  void OtherButton(int key, bool down);
  // Key codes as the platform's virtual keys number them; `typed` holds the characters the key
  // makes (none, one, or after a dead key two), `ascii` the one it made (0 for none).
  void KeyDown(int code, std::u32string_view typed);
  void KeyUp(int code, int ascii);
  Cursor CursorAt(Point pixel, const Matrix& view);
  // After a frame: what lies under a pointer that did not move may have changed.
  void Refresh(const Matrix& view);
  void SetSelectableTextQuery(SelectableTextQuery query) { textQuery_ = std::move(query); }

  // The object that takes the pointer at `pixel`: a button or a clip acting as one, or null.
  DisplayObject* TargetAt(Point pixel, const Matrix& view);
  // Whether the focus was last moved with the keyboard, so that its highlight shows; a press
  // of the pointer hides it.
  bool FocusShown() const { return focusShown_; }
  // Runs the roll events that scripts' setFocus calls left waiting: each moves the over state
  // from what had it to the object given the focus, when that takes the pointer.
  void DeliverFocusRolls();

 private:
  // The movie whose characters `object` shows.
  const Movie& Lib(const DisplayObject& object) const;
  // The main timeline and the levels above it, the topmost first.
  std::vector<DisplayObject*> Levels();
  bool ActsAsButton(const DisplayObject& clip);
  bool Enabled(const DisplayObject& object);
  bool TracksAsMenu(const DisplayObject& object);
  // Whether `id` is a button, or a clip acting as one, that is enabled: what rolls over when
  // the focus reaches it.
  bool RollsOnFocus(uint64_t id);
  bool Contains(const DisplayObject& object, const Matrix& m, Point pixel);
  DisplayObject* Pick(DisplayObject& parent, const Matrix& m, Point pixel);
  // The topmost enabled button under `pixel` among those `button` holds, the innermost first.
  DisplayObject* InnerButton(uint64_t button, const Matrix& m, Point pixel);
  // Runs what a transition of `target` means: a button's state and actions, or a clip's
  // handler; then what it queued.
  void Fire(uint64_t target, uint32_t clipEvent, uint16_t condition, uint8_t buttonState);
  // Sends `event` to every clip (the newest first) and `message` to the Mouse or Key listeners.
  void Everyone(uint32_t event, const char* broadcaster, const char* message);
  // Runs the handler of `key`, if any object has one; false when none has.
  bool KeyPress(uint8_t key);
  // What one character of a key press does: a key handler, typing, Tab, or a click.
  void Deliver(int code, int ascii);
  // Ctrl with a letter in the focused field `id`: select all, copy, cut or paste.
  void EditShortcut(uint64_t id, int code);
  void MoveFocus(bool backwards);
  // Whether keys reach `focus`, and Enter and space click it.
  bool KeysReach(uint64_t focus) const { return focus && focus != released_; }
  void Drag(const Matrix& view);
  void UpdateHover(Point pixel, const Matrix& view);

  const Movie& movie_;
  DisplayList& display_;
  avm1::MovieScripts& scripts_;
  SelectableTextQuery textQuery_;
  uint64_t hover_ = 0;    // what the pointer is over
  uint64_t pressed_ = 0;  // what took the press, holding the pointer until it is released
  bool down_ = false;
  bool pointerSeen_ = false;  // the host has placed the pointer at least once
  bool focusShown_ = false;
  // The focused object that has lost the keyboard's hold: the pointer moved after the focus
  // got there, so keys no longer reach it until the focus moves again. 0 when none.
  uint64_t released_ = 0;
  Point pixel_;
};

}  // namespace swf
