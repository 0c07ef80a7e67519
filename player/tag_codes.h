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
  DefineSound = 14,
  StartSound = 15,
  SoundStreamHead = 18,
  SoundStreamBlock = 19,
  DefineBitsLossless = 20,
  DefineBitsJpeg2 = 21,
  DefineShape2 = 22,
  Protect = 24,
  PlaceObject2 = 26,
  RemoveObject2 = 28,
  DefineShape3 = 32,
  DefineBitsJpeg3 = 35,
  DefineBitsLossless2 = 36,
  DefineEditText = 37,
  DefineSprite = 39,
  FrameLabel = 43,
  SoundStreamHead2 = 45,
  DefineMorphShape = 46,
  ExportAssets = 56,
  DoInitAction = 59,
  ScriptLimits = 65,
  FileAttributes = 69,
  PlaceObject3 = 70,
  DefineShape4 = 83,
  DefineBitsJpeg4 = 90,
};

// Not a tag: where an error happened before or outside any tag (the header, the compression).
inline constexpr uint16_t kNoTag = 0xFFFF;

}  // namespace swf
