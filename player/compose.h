#pragma once
// Turning the display list into pixels: the view transform, masks, nested sprites.
#include <cstddef>
#include <cstdint>

#include "player/canvas.h"
#include "player/display_list.h"
#include "player/geometry.h"
#include "player/movie.h"

namespace swf {

// As the control reports them.
enum class ScaleMode : int { ShowAll = 0, NoBorder = 1, ExactFit = 2, NoScale = 3 };

// The stage's rendering quality. Low draws without anti-aliasing, as the original does at that
// setting; the others smooth edges.
enum class Quality : int { Low = 0, Medium = 1, High = 2, Best = 3 };

// Drawing a frame stops after this many edges: a movie cannot make one frame take unbounded time.
inline constexpr size_t kMaxEdgesPerFrame = 4'000'000;

// Maps the stage (twips) onto a viewport of `width` x `height` pixels, centred.
Matrix ViewMatrix(const TwipsRect& stage, ScaleMode mode, int width, int height);

// Draws the display list onto `canvas` with `view` (twips to pixels) over what is there.
// Device text goes to `fonts` (none drawn when null). The field with the keyboard focus, if
// `focus` names one, shows its caret or selection.
void ComposeFrame(const Canvas& canvas, const Movie& movie, const DisplayObject& root,
                  const Matrix& view, Quality quality = Quality::High,
                  DeviceFonts* fonts = nullptr, uint64_t focus = 0);

// Draws `object` itself (its own matrix and colour transform left out) onto `canvas`, with
// `toPixels` mapping its twips to the canvas's pixels, over what is there.
void ComposeObject(const Canvas& canvas, const Movie& movie, const DisplayObject& object,
                   const Matrix& toPixels, const ColorTransform& colors, Quality quality,
                   DeviceFonts* fonts);

// The yellow frame around `object` (mapped by `toPixels` from its own twips) that shows which
// object has the keyboard focus.
void DrawFocusHighlight(const Canvas& canvas, const Movie& movie, const DisplayObject& object,
                        const Matrix& toPixels);

// Whether a drawn (unmasked) part of a shape lies under `pixel`.
bool HitTestFrame(const Movie& movie, const DisplayObject& root, const Matrix& view, Point pixel);

// Whether the hit-state shapes of `button`, mapped by `m` into pixels, lie under `pixel`.
bool ButtonContains(const Movie& movie, const DisplayObject& button, const Matrix& m, Point pixel);

// A box in some space; `empty` when nothing was measured into it.
struct Bounds {
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  bool empty = true;
  void Add(Point p);
};
// What `object` and everything in it covers, mapped by `m` (from the object's own twips).
Bounds ObjectBounds(const Movie& movie, const DisplayObject& object, const Matrix& m);
// Whether a shape of `object` (or of anything in it), mapped by `m` into pixels, lies under
// `pixel`, masks ignored.
bool ObjectContains(const Movie& movie, const DisplayObject& object, const Matrix& m, Point pixel);
// hitTest(x, y, true): like ObjectContains, but clip layers inside `object` and a mask a script
// set on it cut the hit, and edit fields and turned static text count as boxes.
bool ObjectShapeContains(const Movie& movie, const DisplayObject& object, const Matrix& m,
                         Point pixel);

}  // namespace swf
