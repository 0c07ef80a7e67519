#pragma once
// Reading the text tags: fonts and what they add up to, static text and edit fields. Each
// refuses a malformed body with an error kind; nothing is read past a tag's end.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "player/movie_error.h"
#include "player/tag_codes.h"
#include "player/text/font.h"

namespace swf {

inline constexpr size_t kMaxGlyphEdges = 20'000;

// DefineFont, DefineFont2, DefineFont3. `budget` is the movie's element budget (edges).
ErrorKind ParseFont(TagCode code, std::span<const uint8_t> body, int version, uint16_t& id,
                    Font& out, size_t& budget);

// DefineFontInfo and DefineFontInfo2: a name, style and code table for an earlier font.
struct FontInfo {
  std::string name;
  bool bold = false, italic = false;
  std::vector<uint16_t> codes;
};
ErrorKind ParseFontInfo(TagCode code, std::span<const uint8_t> body, uint16_t& fontId,
                        FontInfo& out);
void ApplyFontInfo(const FontInfo& info, Font& font);

// DefineFontName and DefineFontAlignZones: checked, and the name kept.
ErrorKind ParseFontExtra(TagCode code, std::span<const uint8_t> body, uint16_t& fontId,
                         std::string& name);

// DefineText and DefineText2, turned into one shape in the character's space: every glyph
// placed, scaled and coloured as its record says. Glyphs of fonts not (yet) defined are left
// out. `text` gets what the glyphs say; every glyph counts against `budget` too.
using FontLookup = std::function<const Font*(uint16_t id)>;
ErrorKind ParseStaticText(TagCode code, std::span<const uint8_t> body, const FontLookup& fonts,
                          uint16_t& id, Shape& out, StaticText& text, size_t& budget);

ErrorKind ParseEditText(std::span<const uint8_t> body, uint16_t& id, EditTextDef& out);

}  // namespace swf
