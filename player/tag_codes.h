#pragma once
// The tag codes the engine knows by name. Anything else in a tag stream is skipped.
#include <cstdint>

namespace swf {

enum class TagCode : uint16_t {
  End = 0,
  ShowFrame = 1,
  DefineShape = 2,
  PlaceObject = 4,
  RemoveObject = 5,
  DefineBits = 6,
  DefineButton = 7,
  JpegTables = 8,
  SetBackgroundColor = 9,
  DefineFont = 10,
  DefineText = 11,
  DoAction = 12,
  DefineFontInfo = 13,
  DefineSound = 14,
  StartSound = 15,
  DefineButtonSound = 17,
  SoundStreamHead = 18,
  SoundStreamBlock = 19,
  DefineBitsLossless = 20,
  DefineBitsJpeg2 = 21,
  DefineShape2 = 22,
  DefineButtonCxform = 23,
  Protect = 24,
  PlaceObject2 = 26,
  RemoveObject2 = 28,
  DefineShape3 = 32,
  DefineButton2 = 34,
  DefineText2 = 33,
  DefineBitsJpeg3 = 35,
  DefineBitsLossless2 = 36,
  DefineEditText = 37,
  DefineSprite = 39,
  FrameLabel = 43,
  SoundStreamHead2 = 45,
  DefineMorphShape = 46,
  DefineFont2 = 48,
  ExportAssets = 56,
  DoInitAction = 59,
  DefineVideoStream = 60,
  ScriptLimits = 65,
  DefineFontInfo2 = 62,
  FileAttributes = 69,
  PlaceObject3 = 70,
  DefineFontAlignZones = 73,
  DefineFont3 = 75,
  DefineShape4 = 83,
  DefineMorphShape2 = 84,
  DefineFontName = 88,
  DefineBitsJpeg4 = 90,
};

// Not a tag: where an error happened before or outside any tag (the header, the compression).
inline constexpr uint16_t kNoTag = 0xFFFF;

}  // namespace swf
