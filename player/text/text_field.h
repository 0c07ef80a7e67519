#pragma once
// An edit field as it runs: its text with a format for every character, the properties scripts
// change, the selection, and the layout that turns them into lines of glyphs. Drawing and
// measuring go through the movie's embedded fonts or, for device text, the host's DeviceFonts.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "player/canvas.h"
#include "player/geometry.h"
#include "player/shape.h"
#include "player/text/device_fonts.h"
#include "player/text/font.h"

namespace swf {

struct Movie;

// A field holds at most this many characters, whatever a script or a variable puts in.
inline constexpr size_t kMaxFieldChars = 1u << 16;

// The look of one character, and of the paragraph it starts. Sizes and margins in pixels.
struct CharFormat {
  std::string font = "Times New Roman";
  double size = 12;
  Rgba color{0, 0, 0, 255};
  bool bold = false, italic = false, underline = false;
  std::string url, target;
  TextAlign align = TextAlign::Left;
  double leftMargin = 0, rightMargin = 0, indent = 0, leading = 0, blockIndent = 0;
  double letterSpacing = 0;
  bool kerning = false, bullet = false;
  std::vector<int> tabStops;
  bool operator==(const CharFormat&) const = default;
};

// What one style of a script's style sheet sets; what it leaves out stays as it was.
struct TextStyle {
  std::optional<std::string> font;
  std::optional<double> size, leftMargin, rightMargin, leading, letterSpacing;
  std::optional<Rgba> color;
  std::optional<bool> bold, italic, underline, kerning;
  std::optional<TextAlign> align;
  void ApplyTo(CharFormat& f) const;
};
// A style sheet's styles by lower-cased name: a tag's name ("p", "li", "a") or a class's (".x").
using TextStyles = std::map<std::string, TextStyle, std::less<>>;

enum class AutoSize : uint8_t { None, Left, Center, Right };

class TextField {
 public:
  // `movie` (for its fonts) must outlive the field; `def` may be null (a field a script made).
  TextField(const Movie* movie, const EditTextDef* def, int version);

  // The field's box in its own twips.
  TwipsRect bounds;
  bool wordWrap = false, multiline = false, password = false, border = false, background = false;
  bool selectable = true, editable = false, html = false, embedFonts = false;
  bool condenseWhite = false;
  bool mouseWheelEnabled = true;
  AutoSize autoSize = AutoSize::None;
  Rgba borderColor{0, 0, 0, 255}, backgroundColor{255, 255, 255, 255};
  size_t maxChars = 0;  // 0: no limit
  std::optional<double> tabIndex;  // its place in the Tab order, when a script gave one
  std::string variable;
  CharFormat newFormat;  // what typed and plainly set text gets
  int scroll = 1;        // first line shown, from 1
  int hscroll = 0;       // pixels
  size_t selBegin = 0, selEnd = 0;  // the caret when equal
  // A field with a style sheet reads what scripts set as HTML, gives back the markup as it was
  // set, and takes no typing.
  bool hasStyleSheet = false;
  std::optional<std::string> styledSource;

  const std::u32string& text() const { return text_; }
  const std::vector<CharFormat>& formats() const { return formats_; }
  // Replaces the whole text, all of it in newFormat. '\n' and "\r\n" become '\r'.
  void SetText(std::u32string_view text);
  // Replaces [begin, end) with `text` in `format`; the selection follows.
  void Replace(size_t begin, size_t end, std::u32string_view text, const CharFormat& format);
  // The HTML subset fields read; unknown tags are dropped, their text kept. With `styles`,
  // tags and classes take the looks the style sheet gives them before their own attributes.
  void SetHtmlText(std::string_view html, const TextStyles* styles = nullptr);
  std::string HtmlText() const;
  // What one keystroke of typing does: inserts at the caret, replacing the selection, within
  // maxChars. False when nothing changed.
  bool TypeText(std::u32string_view text);
  // Backspace (forward false) and Delete (forward true).
  bool DeleteText(bool forward);
  // Direct access for format changes; Touch() after changing, so the layout is redone.
  std::vector<CharFormat>& MutableFormats() { return formats_; }
  void Touch() { laidOut_ = false; }

  // Layout: pixels in the field's space, (0, 0) at its box's top-left corner.
  double TextWidth(DeviceFonts* fonts);
  double TextHeight(DeviceFonts* fonts);
  int MaxScroll(DeviceFonts* fonts);
  int BottomScroll(DeviceFonts* fonts);
  int MaxHScroll(DeviceFonts* fonts);
  size_t LineCount(DeviceFonts* fonts);
  // Grows or shrinks the box to the text when autoSize asks for it.
  void FitToText(DeviceFonts* fonts);

  // Draws the field; `toPixels` maps the field's twips to canvas pixels. A field with the
  // keyboard focus shows its selection, or its caret when it takes typing.
  void Draw(const Canvas& canvas, const Matrix& toPixels, const ColorTransform& colors,
            const CoverageMask* clip, DeviceFonts* fonts, bool focused = false);

  // The font a format asks for, when the field draws with the movie's fonts.
  const Font* EmbeddedFont(const CharFormat& format) const;
  int version() const { return version_; }

 private:
  struct Piece {  // characters laid out together in one font
    size_t first = 0, count = 0;
    double x = 0;
    std::vector<double> advances;
    const Font* font = nullptr;  // null: device text
  };
  struct Line {
    size_t first = 0, end = 0;  // characters [first, end)
    double x = 0, width = 0, top = 0, ascent = 0, descent = 0, leading = 0;
    std::vector<Piece> pieces;
    std::optional<double> bulletX;  // the first line of a bulleted paragraph: its bullet's place
  };
  void Layout(DeviceFonts* fonts);
  // The line holding character `index` (the last line for the end of the text), and how far
  // into that line, in pixels, the character starts.
  size_t LineOf(size_t index) const;
  double XInLine(const Line& line, size_t index) const;
  // The coverage of the box less `inset` pixels on every side, within `clip`; false when the
  // canvas has no room at all.
  bool FieldMask(const Canvas& canvas, const Matrix& toPixels, const CoverageMask* clip,
                 double inset, CoverageMask& mask) const;
  void DrawCaret(const Canvas& canvas, const Matrix& toPixels, const ColorTransform& colors,
                 const CoverageMask& inside, size_t firstLine) const;
  void DrawBox(const Canvas& canvas, const Matrix& toPixels, const ColorTransform& colors,
               const CoverageMask* clip) const;
  void Measure(const CharFormat& format, std::u32string_view text, DeviceFonts* fonts,
               const Font*& font, DeviceMetrics& out) const;
  void Changed() { laidOut_ = false; }

  const Movie* movie_;
  int version_;
  std::u32string text_;
  std::vector<CharFormat> formats_;
  bool laidOut_ = false;
  DeviceFonts* laidOutWith_ = nullptr;
  TwipsRect laidOutBounds_;
  std::vector<Line> lines_;
  double textWidth_ = 0, textHeight_ = 0;
  double fitWidth_ = 0;  // the widest line with its margins: what autoSize fits the box to
};

// UTF-8 (or, before SWF 6, one byte a character) to characters and back.
std::u32string DecodeText(std::string_view text, bool utf8);
std::string EncodeText(std::u32string_view text, bool utf8);

}  // namespace swf
