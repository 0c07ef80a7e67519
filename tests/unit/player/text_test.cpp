// Text: embedded glyphs drawn where static text and fields put them, device text laid out in
// lines, the HTML subset, typing limits, bound variables and refused malformed text tags.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/player.h"
#include "player/text/text_field.h"
#include "tests/unit/pixel_support.h"
#include "tools/swf_builder.h"

namespace {

using pixeltest::kMarker;
using pixeltest::PixelNear;
using pixeltest::Surface;

constexpr uint32_t kRed = 0xFFFF0000;

swfb::Movie Stage() {
  swfb::MovieHeader header;
  header.stage = {0, 2000, 0, 2000};  // 100 x 100 pixels
  return swfb::Movie(header);
}

// A font whose 'A' is a full em square standing on the baseline.
uint16_t SquareFont(swfb::Movie& m) {
  swfb::FontGlyph a;
  a.code = 'A';
  a.shape.SetFill1(a.shape.AddFill(swfb::Fill::Solid({0, 0, 0, 255})));
  a.shape.Rectangle({0, 1024, -1024, 0});
  a.advance = 1024;
  return m.DefineFont2("Square", std::span(&a, 1), 1024, 0);
}

swfb::Place At(uint16_t id) {
  swfb::Place p;
  p.depth = 1;
  p.characterId = id;
  return p;
}

// The body of the one tag `m` holds.
std::vector<uint8_t> OnlyTagBody(const swfb::Movie& m) {
  const std::vector<uint8_t>& t = m.Tags();
  const size_t length = (t[0] | t[1] << 8) & 63;
  return length == 63 ? std::vector<uint8_t>(t.begin() + 6, t.end())
                      : std::vector<uint8_t>(t.begin() + 2, t.end());
}

TEST(Text, EmbeddedGlyphsDrawWhereTheirTextPutsThem) {
  struct Case {
    const char* name;
    bool field;
    int glyphLeft, glyphTop;  // pixels: the 20-pixel square's top-left corner
  };
  // Static text puts the baseline where its record says; a field two pixels inside its box,
  // one ascent down.
  for (const Case& c : {Case{"static", false, 20, 20}, Case{"field", true, 2, 2}}) {
    SCOPED_TRACE(c.name);
    swfb::Movie m = Stage();
    const uint16_t font = SquareFont(m);
    uint16_t id;
    if (c.field) {
      swfb::EditText e;
      e.bounds = {0, 2000, 0, 1000};
      e.fontId = font;
      e.height = 400;
      e.color = {255, 0, 0, 255};
      e.useOutlines = true;
      e.text = "A";
      id = m.DefineEditText(e);
    } else {
      swfb::TextRun run{font, 400, {255, 0, 0, 255}, 400, 800, {{0, 400}}};
      id = m.DefineText({0, 2000, 0, 2000}, {}, std::span(&run, 1));
    }
    m.PlaceObject2(At(id)).ShowFrame();
    swf::Player player;
    ASSERT_TRUE(player.Load(m.Build()).Ok());
    Surface s(100, 100);
    player.Render(s.canvas, swf::RenderMode::Transparent, swf::ScaleMode::NoScale, 100, 100);
    EXPECT_TRUE(PixelNear(s.At(c.glyphLeft + 10, c.glyphTop + 10), kRed));
    EXPECT_EQ(s.At(c.glyphLeft + 30, c.glyphTop + 10), kMarker);
    EXPECT_EQ(s.At(c.glyphLeft + 10, c.glyphTop + 25), kMarker);
  }
}

// Every character 10 pixels wide, 8 above the baseline and 2 below.
class FixedFonts : public swf::DeviceFonts {
 public:
  bool Measure(const swf::DeviceFontSpec&, std::u32string_view text,
               swf::DeviceMetrics& out) override {
    out.ascent = 8;
    out.descent = 2;
    out.advances.assign(text.size(), 10);
    return true;
  }
  void Draw(const swf::Canvas&, const swf::DeviceTextRun& run) override { runs.push_back(run); }
  std::vector<swf::DeviceTextRun> runs;
};

TEST(Text, DeviceTextBreaksAndAlignsLines) {
  struct Case {
    const char* text;
    double width;  // pixels
    bool wordWrap;
    swf::TextAlign align;
    std::vector<std::pair<std::u32string, swf::Point>> runs;  // text, baseline origin
    double textWidth, textHeight;
  };
  const Case cases[] = {
      {"ab cd", 100, false, swf::TextAlign::Left, {{U"ab cd", {2, 10}}}, 50, 10},
      {"ab cd", 44, true, swf::TextAlign::Left, {{U"ab ", {2, 10}}, {U"cd", {2, 20}}}, 30, 20},
      // Aligned otherwise, the space a line wraps after hangs and leaves textWidth too.
      {"ab cd", 44, true, swf::TextAlign::Center, {{U"ab ", {12, 10}}, {U"cd", {12, 20}}}, 20,
       20},
      {"ab\ncd", 100, false, swf::TextAlign::Right, {{U"ab", {78, 10}}, {U"cd", {78, 20}}}, 20,
       20},
      {"abcdef", 34, true, swf::TextAlign::Center, {{U"abc", {2, 10}}, {U"def", {2, 20}}}, 30, 20},
      {"ab", 100, false, swf::TextAlign::Center, {{U"ab", {40, 10}}}, 20, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FixedFonts fonts;
    swf::TextField f(nullptr, nullptr, 8);
    f.bounds = {0, static_cast<int32_t>(c.width * 20), 0, 2000};
    f.wordWrap = c.wordWrap;
    f.newFormat.align = c.align;
    f.SetText(swf::DecodeText(c.text, true));
    Surface s(100, 100);
    f.Draw(s.canvas, {0.05, 0, 0, 0.05, 0, 0}, {}, nullptr, &fonts);
    ASSERT_EQ(fonts.runs.size(), c.runs.size());
    for (size_t i = 0; i < c.runs.size(); ++i) {
      EXPECT_EQ(fonts.runs[i].text, c.runs[i].first) << i;
      EXPECT_DOUBLE_EQ(fonts.runs[i].origin.x, c.runs[i].second.x) << i;
      EXPECT_DOUBLE_EQ(fonts.runs[i].origin.y, c.runs[i].second.y) << i;
    }
    EXPECT_EQ(f.TextWidth(&fonts), c.textWidth);
    EXPECT_EQ(f.TextHeight(&fonts), c.textHeight);
  }
}

TEST(Text, ScrollingShowsLaterLines) {
  FixedFonts fonts;
  swf::TextField f(nullptr, nullptr, 8);
  f.bounds = {0, 2000, 0, 24 * 20};  // room for two 10-pixel lines
  f.SetText(U"a\rb\rc\rd");
  EXPECT_EQ(f.MaxScroll(&fonts), 3);
  f.scroll = 3;
  EXPECT_EQ(f.BottomScroll(&fonts), 4);
  Surface s(100, 100);
  f.Draw(s.canvas, {0.05, 0, 0, 0.05, 0, 0}, {}, nullptr, &fonts);
  ASSERT_FALSE(fonts.runs.empty());
  EXPECT_EQ(fonts.runs[0].text, U"c");
  EXPECT_DOUBLE_EQ(fonts.runs[0].origin.y, 10);
}

TEST(Text, HtmlSubsetReadsAndWrites) {
  struct Case {
    const char* html;
    std::u32string text;
    bool bold;
    swf::TextAlign align;
    const char* written;  // htmlText afterwards; null: not checked
    bool multiline = true;
  };
  const Case cases[] = {
      {"<b>x</b>", U"x", true, swf::TextAlign::Left,
       "<P ALIGN=\"LEFT\"><FONT FACE=\"Times New Roman\" SIZE=\"12\" COLOR=\"#000000\" "
       "LETTERSPACING=\"0\" KERNING=\"0\"><B>x</B></FONT></P>"},
      {"a<br>b", U"a\rb", false, swf::TextAlign::Left, nullptr},
      // A one-line field ignores line breaks in the markup, but not in the text.
      {"a<br>b<p>c</p>", U"abc", false, swf::TextAlign::Left, nullptr, false},
      {"a\nb", U"a\rb", false, swf::TextAlign::Left, nullptr, false},
      // Runs of nothing but blanks go; a final line end opens no empty paragraph.
      {"<b>x</b> \n <i>y</i>", U"xy", true, swf::TextAlign::Left, nullptr},
      {"<p>x</p>", U"x\r", false, swf::TextAlign::Left,
       "<P ALIGN=\"LEFT\"><FONT FACE=\"Times New Roman\" SIZE=\"12\" COLOR=\"#000000\" "
       "LETTERSPACING=\"0\" KERNING=\"0\">x</FONT></P>"},
      {"&lt;&amp;&#65;&bogus;", U"<&A&bogus;", false, swf::TextAlign::Left, nullptr},
      {"<p align=\"center\">c</p><p>d</p>", U"c\rd\r", false, swf::TextAlign::Center, nullptr},
      {"<font color=\"#ff0000\" size=\"20\">r</font><unknown>s</unknown>", U"rs", false,
       swf::TextAlign::Left,
       "<P ALIGN=\"LEFT\"><FONT FACE=\"Times New Roman\" SIZE=\"20\" COLOR=\"#FF0000\" "
       "LETTERSPACING=\"0\" KERNING=\"0\">r<FONT SIZE=\"12\" COLOR=\"#000000\">s</FONT></FONT>"
       "</P>"},
      {"<textformat leading=\"2\">t", U"t", false, swf::TextAlign::Left,
       "<TEXTFORMAT LEADING=\"2\"><P ALIGN=\"LEFT\"><FONT FACE=\"Times New Roman\" SIZE=\"12\" "
       "COLOR=\"#000000\" LETTERSPACING=\"0\" KERNING=\"0\">t</FONT></P></TEXTFORMAT>"},
      {"<b>unclosed <", U"unclosed ", true, swf::TextAlign::Left, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    swf::TextField f(nullptr, nullptr, 8);
    f.html = true;
    f.multiline = c.multiline;
    f.SetHtmlText(c.html);
    EXPECT_EQ(f.text(), c.text);
    ASSERT_FALSE(f.formats().empty());
    EXPECT_EQ(f.formats()[0].bold, c.bold);
    EXPECT_EQ(f.formats()[0].align, c.align);
    if (c.written) EXPECT_EQ(f.HtmlText(), c.written);
  }
}

TEST(Text, TypingKeepsToTheFieldsLimits) {
  struct Case {
    size_t maxChars;
    bool multiline;
    const char* before;
    std::u32string typed;
    std::u32string after;
    std::optional<std::u32string> restrictTo = std::nullopt;
  };
  const Case cases[] = {
      {0, false, "ab", U"c", U"abc"},
      {3, false, "ab", U"cd", U"abc"},
      {3, false, "abc", U"d", U"abc"},
      {0, false, "a", U"b\nc", U"abc"},
      {0, true, "a", U"b\r\nc", U"ab\rc"},
      // restrict: ranges, a leading ^ for all but, ^ switching midway, escapes, nothing at all.
      {0, false, "", U"aZ9-", U"Z9", U"A-Z0-9"},
      {0, false, "", U"ab1", U"ab", U"^0-9"},
      {0, false, "", U"acz", U"az", U"a-z^c"},
      {0, false, "", U"a-^", U"-^", U"\\-\\^"},
      {0, false, "x", U"y", U"x", U""},
  };
  for (const Case& c : cases) {
    swf::TextField f(nullptr, nullptr, 8);
    f.maxChars = c.maxChars;
    f.multiline = c.multiline;
    f.restrictTo = c.restrictTo;
    f.SetText(swf::DecodeText(c.before, true));
    f.selBegin = f.selEnd = f.text().size();
    f.TypeText(c.typed);
    EXPECT_EQ(f.text(), c.after) << c.before;
  }
  swf::TextField f(nullptr, nullptr, 8);
  f.SetText(U"abc");
  f.selBegin = 1;
  f.selEnd = 2;
  EXPECT_TRUE(f.DeleteText(false));
  EXPECT_EQ(f.text(), U"ac");
  f.selBegin = f.selEnd = 0;
  EXPECT_FALSE(f.DeleteText(false));
}

TEST(Text, BoundFieldFollowsItsVariable) {
  swfb::Movie m = Stage();
  swfb::EditText e;
  e.bounds = {0, 2000, 0, 400};
  e.variable = "shown";
  e.text = "first";
  m.PlaceObject2(At(m.DefineEditText(e))).ShowFrame();
  m.DoAction(swfb::Actions().Set("shown", "second").Bytes()).ShowFrame();
  swf::Player player;
  ASSERT_TRUE(player.Load(m.Build()).Ok());
  EXPECT_EQ(player.GetVariable("shown"), "first");
  player.Tick();
  const auto& children = player.displayList().Root().children;
  ASSERT_EQ(children.size(), 1u);
  ASSERT_TRUE(children.begin()->second->field);
  EXPECT_EQ(children.begin()->second->field->text(), U"second");
}

TEST(Text, MalformedTextTagsAreRefused) {
  swfb::Movie font = Stage(), field = Stage(), text = Stage();
  SquareFont(font);
  field.DefineEditText({.text = "x", .font = ""});
  swfb::TextRun run{1, 400, {}, 0, 0, {{0, 400}}};
  text.DefineText({}, {}, std::span(&run, 1));
  struct Case {
    const char* name;
    uint16_t code;
    std::vector<uint8_t> body;
  };
  const Case cases[] = {{"font", 48, OnlyTagBody(font)},
                        {"field", 37, OnlyTagBody(field)},
                        {"text", 11, OnlyTagBody(text)}};
  for (const Case& c : cases) {
    for (size_t cut : {size_t{1}, size_t{3}, c.body.size() / 2, c.body.size() - 1}) {
      swfb::Movie m = Stage();
      m.Tag(c.code, std::span(c.body).first(cut)).ShowFrame();
      swf::Player player;
      EXPECT_FALSE(player.Load(m.Build()).Ok()) << c.name << " cut to " << cut;
    }
  }
}

}  // namespace
