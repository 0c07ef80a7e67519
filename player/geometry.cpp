#include "player/geometry.h"

#include <algorithm>

namespace swf {
namespace {

int16_t ClampToInt16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

uint8_t ApplyChannel(uint8_t c, int16_t mul, int16_t add) {
  // Arithmetic shift rounds towards minus infinity, as the stored 8.8 multipliers expect.
  const int32_t v = ((static_cast<int32_t>(c) * mul) >> 8) + add;
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

}  // namespace

ColorTransform ColorTransform::operator*(const ColorTransform& inner) const {
  // outer(inner(c)) = c * (om * im) + (om * ia + oa), all multipliers in 1/256.
  auto mul = [](int16_t outer, int16_t inner) {
    return ClampToInt16((static_cast<int32_t>(outer) * inner) >> 8);
  };
  auto add = [](int16_t outerMul, int16_t innerAdd, int16_t outerAdd) {
    return ClampToInt16(((static_cast<int32_t>(outerMul) * innerAdd) >> 8) + outerAdd);
  };
  ColorTransform r;
  r.rMul = mul(rMul, inner.rMul);
  r.gMul = mul(gMul, inner.gMul);
  r.bMul = mul(bMul, inner.bMul);
  r.aMul = mul(aMul, inner.aMul);
  r.rAdd = add(rMul, inner.rAdd, rAdd);
  r.gAdd = add(gMul, inner.gAdd, gAdd);
  r.bAdd = add(bMul, inner.bAdd, bAdd);
  r.aAdd = add(aMul, inner.aAdd, aAdd);
  return r;
}

Rgba ColorTransform::Apply(Rgba c) const {
  return {ApplyChannel(c.r, rMul, rAdd), ApplyChannel(c.g, gMul, gAdd),
          ApplyChannel(c.b, bMul, bAdd), ApplyChannel(c.a, aMul, aAdd)};
}

}  // namespace swf
