#include "render/sprite_bound.h"

#include <cstdint>

namespace brim {

int ParseMovieInteger(const wchar_t* text) {
  if (!text) return 0;
  while (*text == L' ' || (*text >= L'\t' && *text <= L'\r')) ++text;
  bool negative = false;
  if (*text == L'+' || *text == L'-') negative = *text++ == L'-';
  int64_t value = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    // Saturate rather than overflow: a movie can hand over any number of digits.
    if (value < INT32_MAX) value = value * 10 + (*text - L'0');
  }
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int>(negative ? -value : value);
}

PixelRect MapSpriteBound(const SpriteBoundValues& v, int cw, int ch, int mw, int mh,
                         int scaleMode) {
  if (mw <= 0 || mh <= 0) return {0, 0, cw, ch};
  int dw = cw, dh = ch;
  const double sx = static_cast<double>(cw) / mw;
  const double sy = static_cast<double>(ch) / mh;
  if (scaleMode == 0 || scaleMode == 1) {
    // Equal quotients take the vertical one, whichever mode.
    double s = sy;
    if (sx != sy) s = (scaleMode == 0) == (sx < sy) ? sx : sy;
    dw = static_cast<int>(mw * s);
    dh = static_cast<int>(mh * s);
  } else if (scaleMode == 3) {
    dw = mw;
    dh = mh;
  }
  // 64-bit intermediates: the values come from the movie and may be anything.
  auto scale = [](int value, int displayed, int movie) {
    return static_cast<int>(static_cast<int64_t>(value) * displayed / movie);
  };
  PixelRect r{scale(v.left, dw, mw), scale(v.top, dh, mh), scale(v.right, dw, mw) + 1,
              scale(v.bottom, dh, mh) + 1};
  const int dx = (cw - dw) / 2, dy = (ch - dh) / 2;
  r.left += dx;
  r.right += dx;
  r.top += dy;
  r.bottom += dy;
  return r;
}

}  // namespace brim
