#include "player/text/text_parser.h"

#include <algorithm>

#include "player/byte_reader.h"
#include "player/shape_parser.h"

namespace swf {
namespace {

// A glyph's outline: shape records with one implied fill style and no line styles. Style
// changes other than fill 0/1 and moves are not part of a glyph and end it.
ErrorKind ReadGlyphShape(std::span<const uint8_t> data, Shape& out, size_t& budget) {
  ByteReader r(data);
  out = {};
  out.fills.push_back({});
  const unsigned fillBits = r.UBits(4);
  const unsigned lineBits = r.UBits(4);
  Path path;
  Point pen;
  size_t edges = 0;
  bool any = false;
  auto flush = [&] {
    if (!path.edges.empty()) out.paths.push_back(path);
    path.edges.clear();
  };
  auto grow = [&](Point p) {
    const auto x = static_cast<int32_t>(p.x), y = static_cast<int32_t>(p.y);
    if (!any) {
      out.bounds = {x, x, y, y};
      any = true;
      return;
    }
    out.bounds.xMin = std::min(out.bounds.xMin, x);
    out.bounds.xMax = std::max(out.bounds.xMax, x);
    out.bounds.yMin = std::min(out.bounds.yMin, y);
    out.bounds.yMax = std::max(out.bounds.yMax, y);
  };
  while (true) {
    if (!r.Ok()) return ErrorKind::Truncated;
    if (r.UBits(1) == 0) {
      const uint32_t flags = r.UBits(5);
      if (flags == 0) break;
      if (flags & 0x10) return ErrorKind::Malformed;  // new style arrays
      flush();
      if (flags & 0x01) {
        const unsigned bits = r.UBits(5);
        pen.x = r.SBits(bits);
        pen.y = r.SBits(bits);
      }
      if (flags & 0x02) path.fill0 = r.UBits(fillBits) ? 1 : 0;
      if (flags & 0x04) path.fill1 = r.UBits(fillBits) ? 1 : 0;
      if (flags & 0x08) r.UBits(lineBits);
      continue;
    }
    if (++edges > kMaxGlyphEdges || budget == 0) return ErrorKind::TooLarge;
    --budget;
    const Edge edge = ReadEdge(r, pen);
    if (edge.curved) grow(edge.control);
    grow(edge.from);
    grow(edge.to);
    path.edges.push_back(edge);
  }
  flush();
  out.edgeBounds = out.bounds;
  return ErrorKind::None;
}

// The glyph shapes an offset table points at. Offsets count from the table's start; each
// shape ends where the next begins (the last at `end`).
ErrorKind ReadGlyphs(std::span<const uint8_t> table, const std::vector<uint32_t>& offsets,
                     size_t end, Font& out, size_t& budget) {
  out.glyphs.resize(offsets.size());
  for (size_t i = 0; i < offsets.size(); ++i) {
    const size_t from = offsets[i];
    const size_t to = i + 1 < offsets.size() ? offsets[i + 1] : end;
    if (from > to || to > table.size()) return ErrorKind::Malformed;
    if (ErrorKind e = ReadGlyphShape(table.subspan(from, to - from), out.glyphs[i].shape, budget);
        e != ErrorKind::None) {
      return e;
    }
  }
  return ErrorKind::None;
}

}  // namespace

std::optional<size_t> Font::Find(uint16_t code) const {
  for (size_t i = 0; i < glyphs.size(); ++i) {
    if (glyphs[i].code == code) return i;
  }
  return std::nullopt;
}

ErrorKind ParseFont(TagCode code, std::span<const uint8_t> body, int version, uint16_t& id,
                    Font& out, size_t& budget) {
  ByteReader r(body);
  out = {};
  id = r.U16();
  if (code == TagCode::DefineFont) {
    const std::span<const uint8_t> table = r.Rest();
    ByteReader t(table);
    const uint16_t first = t.U16();
    if (!r.Ok() || !t.Ok()) return ErrorKind::Truncated;
    if (first % 2 != 0 || first > table.size()) return ErrorKind::Malformed;
    std::vector<uint32_t> offsets{first};
    for (size_t i = 1; i < first / 2u; ++i) offsets.push_back(t.U16());
    if (!t.Ok()) return ErrorKind::Truncated;
    // Codes come from a DefineFontInfo; until then glyph i stands for nothing in particular.
    return ReadGlyphs(table, offsets, table.size(), out, budget);
  }
  if (code != TagCode::DefineFont2 && code != TagCode::DefineFont3) return ErrorKind::Malformed;
  const uint8_t flags = r.U8();
  out.hasLayout = flags & 0x80;
  const bool wideOffsets = flags & 0x08;
  const bool wideCodes = flags & 0x04;
  out.italic = flags & 0x02;
  out.bold = flags & 0x01;
  r.U8();  // language
  const uint8_t nameLength = r.U8();
  const std::span<const uint8_t> name = r.Bytes(nameLength);
  out.name.assign(name.begin(), name.end());
  // Some tools store the terminating zero with the name.
  while (!out.name.empty() && out.name.back() == '\0') out.name.pop_back();
  const uint16_t count = r.U16();
  if (!r.Ok()) return ErrorKind::Truncated;
  if (code == TagCode::DefineFont3) out.unitsPerEm = 1024.0 * 20;
  // A font without glyphs only names a device font; what follows may be left out.
  if (count == 0) return ErrorKind::None;
  const std::span<const uint8_t> table = r.Rest();
  ByteReader t(table);
  std::vector<uint32_t> offsets(count);
  for (uint32_t& o : offsets) o = wideOffsets ? t.U32() : t.U16();
  const uint32_t codeTable = wideOffsets ? t.U32() : t.U16();
  if (!t.Ok()) return ErrorKind::Truncated;
  if (codeTable > table.size()) return ErrorKind::Malformed;
  if (ErrorKind e = ReadGlyphs(table, offsets, codeTable, out, budget); e != ErrorKind::None) {
    return e;
  }
  ByteReader rest(table.subspan(std::min<size_t>(codeTable, table.size())));
  for (Glyph& g : out.glyphs) g.code = wideCodes ? rest.U16() : rest.U8();
  if (!rest.Ok()) return ErrorKind::Truncated;
  if (out.hasLayout) {
    out.ascent = rest.U16();
    out.descent = rest.U16();
    out.leading = rest.S16();
    // Stored unsigned in practice: advances past 32767 units are wide glyphs, not negative ones.
    for (Glyph& g : out.glyphs) g.advance = rest.U16();
    for (size_t i = 0; i < out.glyphs.size(); ++i) rest.Rect();
    // Kerning pairs: checked, but text is laid out without them.
    const uint16_t pairs = rest.U16();
    rest.Skip(static_cast<size_t>(pairs) * (wideCodes ? 6 : 4));
    if (!rest.Ok()) return ErrorKind::Truncated;
  }
  (void)version;
  return ErrorKind::None;
}

ErrorKind ParseFontInfo(TagCode code, std::span<const uint8_t> body, uint16_t& fontId,
                        FontInfo& out) {
  ByteReader r(body);
  out = {};
  fontId = r.U16();
  const uint8_t nameLength = r.U8();
  const std::span<const uint8_t> name = r.Bytes(nameLength);
  out.name.assign(name.begin(), name.end());
  while (!out.name.empty() && out.name.back() == '\0') out.name.pop_back();
  const uint8_t flags = r.U8();
  out.italic = flags & 0x04;
  out.bold = flags & 0x02;
  bool wide = flags & 0x01;
  if (code == TagCode::DefineFontInfo2) {
    r.U8();  // language
    wide = true;
  }
  if (!r.Ok()) return ErrorKind::Truncated;
  while (!r.AtEnd()) {
    out.codes.push_back(wide ? r.U16() : r.U8());
    if (!r.Ok()) return ErrorKind::Truncated;
  }
  return ErrorKind::None;
}

void ApplyFontInfo(const FontInfo& info, Font& font) {
  font.name = info.name;
  font.bold = info.bold;
  font.italic = info.italic;
  for (size_t i = 0; i < font.glyphs.size() && i < info.codes.size(); ++i) {
    font.glyphs[i].code = info.codes[i];
  }
}

ErrorKind ParseFontExtra(TagCode code, std::span<const uint8_t> body, uint16_t& fontId,
                         std::string& name) {
  ByteReader r(body);
  fontId = r.U16();
  if (code == TagCode::DefineFontName) {
    name = r.String();
    r.String();  // copyright
  } else {
    r.U8();  // hinting strength; the zones themselves only steer hinting
  }
  return r.Ok() ? ErrorKind::None : ErrorKind::Truncated;
}

ErrorKind ParseStaticText(TagCode code, std::span<const uint8_t> body, const FontLookup& fonts,
                          uint16_t& id, Shape& out, StaticText& text, size_t& budget) {
  ByteReader r(body);
  out = {};
  text = {};
  id = r.U16();
  out.bounds = r.Rect();
  out.edgeBounds = out.bounds;
  const Matrix matrix = r.MatrixRecord();
  text.matrix = matrix;
  const uint8_t glyphBits = r.U8();
  const uint8_t advanceBits = r.U8();
  if (!r.Ok()) return ErrorKind::Truncated;
  if (glyphBits > 32 || advanceBits > 32) return ErrorKind::Malformed;
  const Font* font = nullptr;
  uint16_t fontId = 0;
  Rgba color{0, 0, 0, 255};
  double height = 0, x = 0, y = 0;
  uint32_t fill = 0;
  while (true) {
    const uint8_t flags = r.U8();
    if (!r.Ok()) return ErrorKind::Truncated;
    if (flags == 0) break;
    if (flags & 0x08) {
      fontId = r.U16();
      font = fonts ? fonts(fontId) : nullptr;
    }
    if (flags & 0x04) {
      FillStyle style;
      style.color = code == TagCode::DefineText2 ? r.RgbaColor() : r.Rgb();
      color = style.color;
      out.fills.push_back(style);
      fill = static_cast<uint32_t>(out.fills.size());
    }
    if (flags & 0x01) x = r.S16();
    if (flags & 0x02) y = r.S16();
    if (flags & 0x08) height = r.U16();
    const uint8_t count = r.U8();
    StaticTextRun& run = text.runs.emplace_back();
    run.fontId = fontId;
    run.height = height;
    run.color = color;
    run.y = y;
    for (uint8_t i = 0; i < count && r.Ok(); ++i) {
      const uint32_t index = r.UBits(glyphBits);
      const int32_t advance = r.SBits(advanceBits);
      if (budget == 0) return ErrorKind::TooLarge;
      --budget;
      run.glyphs.push_back({index, x});
      if (font && fill && index < font->glyphs.size()) {
        const Glyph& glyph = font->glyphs[index];
        const double scale = height / font->unitsPerEm;
        const Matrix place = matrix * Matrix{scale, 0, 0, scale, x, y};
        for (const Path& p : glyph.shape.paths) {
          if (budget < p.edges.size()) return ErrorKind::TooLarge;
          budget -= p.edges.size();
          Path placed;
          placed.fill0 = p.fill0 ? fill : 0;
          placed.fill1 = p.fill1 ? fill : 0;
          for (const Edge& e : p.edges) {
            placed.edges.push_back(
                {place.Apply(e.from), place.Apply(e.control), place.Apply(e.to), e.curved});
          }
          out.paths.push_back(std::move(placed));
        }
      }
      x += advance;
    }
    r.AlignToByte();
  }
  return ErrorKind::None;
}

ErrorKind ParseEditText(std::span<const uint8_t> body, uint16_t& id, EditTextDef& out) {
  ByteReader r(body);
  out = {};
  id = r.U16();
  out.bounds = r.Rect();
  const uint8_t a = r.U8();
  const uint8_t b = r.U8();
  const bool hasText = a & 0x80;
  out.wordWrap = a & 0x40;
  out.multiline = a & 0x20;
  out.password = a & 0x10;
  out.readOnly = a & 0x08;
  const bool hasColor = a & 0x04;
  const bool hasMaxLength = a & 0x02;
  const bool hasFont = a & 0x01;
  const bool hasFontClass = b & 0x80;
  out.autoSize = b & 0x40;
  const bool hasLayout = b & 0x20;
  out.noSelect = b & 0x10;
  out.border = b & 0x08;
  out.wasStatic = b & 0x04;
  out.html = b & 0x02;
  out.useOutlines = b & 0x01;
  if (hasFont) out.fontId = r.U16();
  if (hasFontClass) out.fontClass = r.String();
  if (hasFont || hasFontClass) out.height = r.U16();
  if (hasColor) out.color = r.RgbaColor();
  if (hasMaxLength) out.maxLength = r.U16();
  if (hasLayout) {
    const uint8_t align = r.U8();
    out.align = align <= 3 ? static_cast<TextAlign>(align) : TextAlign::Left;
    out.leftMargin = r.U16();
    out.rightMargin = r.U16();
    out.indent = r.S16();
    out.leading = r.S16();
  }
  out.variable = r.String();
  if (hasText) out.initialText = r.String();
  return r.Ok() ? ErrorKind::None : ErrorKind::Truncated;
}

}  // namespace swf
