#pragma once
// Where a movie's own "sprite bound" (four values in movie pixels) lies in the host window,
// given how the control scales the movie into it.
#include "render/surface_pixels.h"

namespace brim {

struct SpriteBoundValues {
  int left = 0, right = 0, top = 0, bottom = 0;
  bool AllZero() const { return left == 0 && right == 0 && top == 0 && bottom == 0; }
};

// The text-to-number convention of the movie variables: leading white space, an optional sign,
// decimal digits up to the first other character; 0 when there are none.
int ParseMovieInteger(const wchar_t* text);

// Maps `values` from a movieWidth x movieHeight movie into a clientWidth x clientHeight client
// area for the control's scale mode (0 show all, 1 no border, 3 no scale, anything else exact
// fit), the movie centred. A movie size of 0 cannot be mapped: the whole client area is given.
PixelRect MapSpriteBound(const SpriteBoundValues& values, int clientWidth, int clientHeight,
                         int movieWidth, int movieHeight, int scaleMode);

}  // namespace brim
