#pragma once
// Embedded fonts and the text characters that use them, as plain data: DefineFont 1 to 3 with
// their info, name and layout; DefineText's glyph runs (turned into a shape when read);
// DefineEditText's field definition.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "player/geometry.h"
#include "player/shape.h"

namespace swf {

struct Glyph {
  Shape shape;         // in font units, a single fill (index 1) where the glyph is inked
  uint16_t code = 0;   // the character it draws (UCS-2, or the movie's code page for old fonts)
  double advance = 0;  // font units; 0 without a layout table
};

struct Font {
  std::string name;
  bool bold = false, italic = false;
  bool hasLayout = false;
  // Font units per em: 1024 (DefineFont, DefineFont2), 20480 (DefineFont3).
  double unitsPerEm = 1024;
  double ascent = 0, descent = 0, leading = 0;  // font units
  std::vector<Glyph> glyphs;

  // The glyph that draws `code`, if the font has one.
  std::optional<size_t> Find(uint16_t code) const;
};

// What static text says, kept beside the shape it draws as: each record's glyphs by index into
// a font that may only be defined later, and where each one starts (in the text's own space,
// before its matrix).
struct StaticTextRun {
  uint16_t fontId = 0;
  double height = 0;  // twips
  Rgba color{0, 0, 0, 255};
  double y = 0;
  struct Placed {
    uint32_t glyph = 0;
    double x = 0;
  };
  std::vector<Placed> glyphs;
};
struct StaticText {
  Matrix matrix;
  std::vector<StaticTextRun> runs;
};

enum class TextAlign : uint8_t { Left = 0, Right = 1, Center = 2, Justify = 3 };

// DefineEditText.
struct EditTextDef {
  TwipsRect bounds;
  bool wordWrap = false, multiline = false, password = false, readOnly = true;
  bool autoSize = false, noSelect = false, border = false, html = false, useOutlines = false;
  bool wasStatic = false;
  uint16_t fontId = 0;  // 0: none given
  std::string fontClass;
  uint16_t height = 240;  // twips
  Rgba color{0, 0, 0, 255};
  uint16_t maxLength = 0;  // 0: no limit
  TextAlign align = TextAlign::Left;
  uint16_t leftMargin = 0, rightMargin = 0;  // twips
  int16_t indent = 0, leading = 0;           // twips
  std::string variable;
  std::string initialText;
};

}  // namespace swf
