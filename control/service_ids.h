#pragma once
// Identifiers of the services a windowless player asks its container for. Defined here so that
// neither side depends on which import libraries happen to carry them.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>

namespace brim {

// {3050F35F-98B5-11CF-BB82-00AA00BDCE0B}
inline constexpr IID kIID_ITimerService = {
    0x3050F35F, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
// {3050F360-98B5-11CF-BB82-00AA00BDCE0B}
inline constexpr IID kIID_ITimer = {
    0x3050F360, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
// {3050F361-98B5-11CF-BB82-00AA00BDCE0B}
inline constexpr IID kIID_ITimerSink = {
    0x3050F361, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
// {FC4801A1-2BA9-11CF-A229-00AA003D7352}
inline constexpr IID kIID_IBindHost = {
    0xFC4801A1, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};
// {618F8AD4-8B7A-11D0-8FCC-00C04FD9189D}
inline constexpr IID kIID_IDirectDraw3 = {
    0x618F8AD4, 0x8B7A, 0x11D0, {0x8F, 0xCC, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
// {DA044E00-69B2-11D0-A1D5-00AA00B8DFBB}
inline constexpr IID kIID_IDirectDrawSurface3 = {
    0xDA044E00, 0x69B2, 0x11D0, {0xA1, 0xD5, 0x00, 0xAA, 0x00, 0xB8, 0xDF, 0xBB}};
// {332C4427-26CB-11D0-B483-00C04FD90119}
inline constexpr IID kIID_IHTMLWindow2 = {
    0x332C4427, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};

// Timer services pass times as milliseconds in a 32-bit unsigned variant.
inline VARIANT MillisecondsVariant(uint32_t milliseconds) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UI4;
  v.ulVal = milliseconds;
  return v;
}

}  // namespace brim
