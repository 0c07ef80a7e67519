// A field's text and formats: setting, replacing, typing, and the HTML subset.
#include "player/text/text_field.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "player/movie.h"

namespace swf {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string LowerCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

std::u32string Normalised(std::u32string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') continue;
    out.push_back(text[i] == U'\n' ? U'\r' : text[i]);
  }
  return out;
}

// One tag's attributes, names lower-cased.
struct HtmlTag {
  std::string name;
  bool closing = false;
  std::vector<std::pair<std::string, std::string>> attributes;
  const std::string* Find(std::string_view key) const {
    for (const auto& [k, v] : attributes) {
      if (k == key) return &v;
    }
    return nullptr;
  }
};

HtmlTag ReadTag(std::string_view body) {
  HtmlTag tag;
  size_t i = 0;
  auto skipSpace = [&] {
    while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' ||
                               body[i] == '\n')) {
      ++i;
    }
  };
  skipSpace();
  if (i < body.size() && body[i] == '/') {
    tag.closing = true;
    ++i;
  }
  const size_t nameStart = i;
  while (i < body.size() && body[i] != ' ' && body[i] != '/' && body[i] != '\t' &&
         body[i] != '\r' && body[i] != '\n') {
    ++i;
  }
  tag.name = LowerCopy(body.substr(nameStart, i - nameStart));
  while (i < body.size()) {
    skipSpace();
    const size_t keyStart = i;
    while (i < body.size() && body[i] != '=' && body[i] != ' ' && body[i] != '/') ++i;
    std::string key = LowerCopy(body.substr(keyStart, i - keyStart));
    skipSpace();
    std::string value;
    if (i < body.size() && body[i] == '=') {
      ++i;
      skipSpace();
      if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
        const char quote = body[i++];
        const size_t end = body.find(quote, i);
        const size_t stop = end == std::string_view::npos ? body.size() : end;
        value = std::string(body.substr(i, stop - i));
        i = stop + 1;
      } else {
        const size_t start = i;
        while (i < body.size() && body[i] != ' ') ++i;
        value = std::string(body.substr(start, i - start));
      }
    } else if (i == keyStart) {
      ++i;  // a stray character
    }
    if (!key.empty()) tag.attributes.emplace_back(std::move(key), std::move(value));
  }
  return tag;
}

// "&amp;" and the others at `at` (just after the '&'); the characters they stand for, or
// nothing when it is not one.
std::optional<char32_t> Entity(std::string_view html, size_t& at) {
  const size_t semi = html.find(';', at);
  if (semi == std::string_view::npos || semi - at > 10) return std::nullopt;
  const std::string name = LowerCopy(html.substr(at, semi - at));
  char32_t c = 0;
  if (name == "lt") {
    c = U'<';
  } else if (name == "gt") {
    c = U'>';
  } else if (name == "amp") {
    c = U'&';
  } else if (name == "quot") {
    c = U'"';
  } else if (name == "apos") {
    c = U'\'';
  } else if (name == "nbsp") {
    c = 0xA0;
  } else if (name.size() > 1 && name[0] == '#') {
    const bool hex = name[1] == 'x';
    char* end = nullptr;
    const std::string digits = name.substr(hex ? 2 : 1);
    const unsigned long v = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
    if (digits.empty() || *end || v == 0 || v > 0x10FFFF) return std::nullopt;
    c = static_cast<char32_t>(v);
  } else {
    return std::nullopt;
  }
  at = semi + 1;
  return c;
}

// "#rrggbb" as fields read it: blanks after the '#' are skipped, hex digits read up to the first
// other character, and only the last six count. No digit at all leaves the colour alone.
std::optional<uint32_t> HtmlColor(std::string_view v) {
  if (v.empty() || v[0] != '#') return std::nullopt;
  size_t i = 1;
  while (i < v.size() && (v[i] == ' ' || v[i] == '\t' || v[i] == '\r' || v[i] == '\n')) ++i;
  uint32_t rgb = 0;
  bool any = false;
  for (; i < v.size(); ++i) {
    const char c = Lower(v[i]);
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) break;
    rgb = ((rgb << 4) | static_cast<uint32_t>(d)) & 0xFFFFFF;
    any = true;
  }
  if (!any) return std::nullopt;
  return rgb;
}

std::string ColorText(Rgba c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", c.r, c.g, c.b);
  return buf;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

void Escape(std::u32string_view text, bool utf8, std::string& out) {
  for (char32_t c : text) {
    switch (c) {
      case U'<':
        out += "&lt;";
        break;
      case U'>':
        out += "&gt;";
        break;
      case U'&':
        out += "&amp;";
        break;
      case U'"':
        out += "&quot;";
        break;
      case U'\'':
        out += "&apos;";
        break;
      default:
        out += EncodeText(std::u32string_view(&c, 1), utf8);
    }
  }
}

}  // namespace

std::u32string DecodeText(std::string_view text, bool utf8) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (!utf8 || b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    char32_t c = b & (0x3F >> std::max(extra, 0));
    bool ok = extra > 0;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + k >= text.size()) {
        ok = false;
        break;
      }
      const auto cont = static_cast<unsigned char>(text[i + k]);
      if ((cont & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (cont & 0x3F);
    }
    if (!ok) {
      out.push_back(b);  // a broken sequence counts byte by byte
      ++i;
      continue;
    }
    out.push_back(c);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

std::string EncodeText(std::u32string_view text, bool utf8) {
  std::string out;
  for (char32_t c : text) {
    if (!utf8 || c < 0x80) {
      out.push_back(static_cast<char>(c & 0xFF));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

TextField::TextField(const Movie* movie, const EditTextDef* def, int version)
    : movie_(movie), version_(version) {
  if (!def) return;
  bounds = def->bounds;
  wordWrap = def->wordWrap;
  multiline = def->multiline;
  password = def->password;
  border = background = def->border;
  selectable = !def->noSelect;
  editable = !def->readOnly;
  html = def->html;
  embedFonts = def->useOutlines;
  autoSize = def->autoSize ? AutoSize::Left : AutoSize::None;
  maxChars = def->maxLength;
  variable = def->variable;
  const Font* font = movie && def->fontId ? std::get_if<Font>(movie->Find(def->fontId)) : nullptr;
  if (font && !font->name.empty()) {
    newFormat.font = font->name;
    // An HTML field's own text says which parts are bold or italic.
    newFormat.bold = font->bold && !def->html;
    newFormat.italic = font->italic && !def->html;
  } else if (!def->fontClass.empty()) {
    newFormat.font = def->fontClass;
  }
  // A field with outlines but without a usable font shows device text instead.
  outlinesMissing = embedFonts && (!font || font->glyphs.empty());
  newFormat.size = def->height / 20.0;
  newFormat.color = def->color;
  newFormat.color.a = 255;
  newFormat.align = def->align;
  // The tag's twips become whole pixels, as a script reads them back.
  newFormat.leftMargin = std::nearbyint(def->leftMargin / 20.0);
  newFormat.rightMargin = std::nearbyint(def->rightMargin / 20.0);
  newFormat.indent = std::nearbyint(def->indent / 20.0);
  newFormat.leading = std::nearbyint(def->leading / 20.0);
  if (html) {
    SetHtmlText(def->initialText);
  } else {
    SetText(DecodeText(def->initialText, version >= 6));
  }
}

void TextField::SetText(std::u32string_view text) {
  styledSource.reset();
  text_ = Normalised(text);
  if (text_.size() > kMaxFieldChars) text_.resize(kMaxFieldChars);
  formats_.assign(text_.size(), newFormat);
  selBegin = selEnd = std::min(selEnd, text_.size());
  Changed();
}

void TextField::Replace(size_t begin, size_t end, std::u32string_view text,
                        const CharFormat& format) {
  end = std::min(end, text_.size());
  begin = std::min(begin, end);
  styledSource.reset();
  std::u32string inserted = Normalised(text);
  const size_t room = kMaxFieldChars - (text_.size() - (end - begin));
  if (inserted.size() > room) inserted.resize(room);
  text_.replace(begin, end - begin, inserted);
  formats_.erase(formats_.begin() + static_cast<ptrdiff_t>(begin),
                 formats_.begin() + static_cast<ptrdiff_t>(end));
  formats_.insert(formats_.begin() + static_cast<ptrdiff_t>(begin), inserted.size(), format);
  selBegin = selEnd = begin + inserted.size();
  Changed();
}

bool TextField::Allows(char32_t c) const {
  if (!restrictTo) return true;
  const std::u32string& r = *restrictTo;
  // A list that starts by excluding lets everything else through.
  bool allowed = !r.empty() && r[0] == U'^';
  bool excluding = false;
  for (size_t i = 0; i < r.size(); ++i) {
    if (r[i] == U'^') {
      excluding = !excluding;
      continue;
    }
    const bool escaped = r[i] == U'\\' && i + 1 < r.size();
    if (escaped) ++i;
    char32_t low = r[i], high = r[i];
    if (i + 2 < r.size() && r[i + 1] == U'-') {
      i += 2;
      if (r[i] == U'\\' && i + 1 < r.size()) ++i;
      high = r[i];
    }
    if (c >= low && c <= high) allowed = !excluding;
  }
  return allowed;
}

bool TextField::TypeText(std::u32string_view text) {
  std::u32string typed = Normalised(text);
  if (!multiline) std::erase(typed, U'\r');
  std::erase_if(typed, [this](char32_t c) { return c != U'\r' && !Allows(c); });
  const size_t b = std::min(selBegin, selEnd), e = std::max(selBegin, selEnd);
  if (maxChars) {
    const size_t kept = text_.size() - (std::min(e, text_.size()) - std::min(b, text_.size()));
    typed.resize(std::min(typed.size(), maxChars > kept ? maxChars - kept : 0));
  }
  if (typed.empty() && b == e) return false;
  const CharFormat format = b < formats_.size() ? formats_[b]
                            : b > 0 && b - 1 < formats_.size() ? formats_[b - 1]
                                                                : newFormat;
  Replace(b, e, typed, format);
  return true;
}

bool TextField::DeleteText(bool forward) {
  size_t b = std::min(selBegin, selEnd), e = std::max(selBegin, selEnd);
  if (b == e) {
    if (forward) {
      if (e >= text_.size()) return false;
      ++e;
    } else {
      if (b == 0) return false;
      --b;
    }
  }
  Replace(b, e, U"", newFormat);
  return true;
}

namespace {

// Sizes in FONT tags: an optional sign (relative to the size around it), then whole digits;
// anything after them is ignored, no digit leaves the size alone, and the result stays within
// what fields can show.
std::optional<double> HtmlFontSize(std::string_view v, double around) {
  size_t i = 0;
  const bool relative = !v.empty() && (v[0] == '+' || v[0] == '-');
  const bool negative = relative && v[0] == '-';
  if (relative) ++i;
  double n = 0;
  bool any = false;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    n = std::min(n * 10 + (v[i] - '0'), 1e6);
    any = true;
  }
  if (!any) return std::nullopt;
  const double size = relative ? around + (negative ? -n : n) : n;
  return std::clamp(size, 1.0, 127.0);
}

// "1,2,3": a number between each pair of commas, in whole pixels.
std::vector<int> HtmlTabStops(std::string_view v) {
  std::vector<int> out;
  size_t at = 0;
  while (at < v.size() && out.size() < 1024) {
    size_t end = v.find(',', at);
    if (end == std::string_view::npos) end = v.size();
    const double n = std::atof(std::string(v.substr(at, end - at)).c_str());
    out.push_back(std::isfinite(n) ? static_cast<int>(std::clamp(n, -1e9, 1e9)) : 0);
    at = end + 1;
  }
  return out;
}

// What a paragraph break takes from the paragraph around it; the rest of its format comes from
// the characters before it.
void TakeParagraph(CharFormat& to, const CharFormat& from) {
  to.align = from.align;
  to.leftMargin = from.leftMargin;
  to.rightMargin = from.rightMargin;
  to.indent = from.indent;
  to.leading = from.leading;
  to.blockIndent = from.blockIndent;
  to.tabStops = from.tabStops;
  to.bullet = from.bullet;
}

}  // namespace

void TextStyle::ApplyTo(CharFormat& f) const {
  if (font) f.font = *font;
  if (size) f.size = *size;
  if (color) f.color = *color;
  if (bold) f.bold = *bold;
  if (italic) f.italic = *italic;
  if (underline) f.underline = *underline;
  if (kerning) f.kerning = *kerning;
  if (align) f.align = *align;
  if (leftMargin) f.leftMargin = *leftMargin;
  if (rightMargin) f.rightMargin = *rightMargin;
  if (leading) f.leading = *leading;
  if (letterSpacing) f.letterSpacing = *letterSpacing;
}

void TextField::SetHtmlText(std::string_view html, const TextStyles* styles) {
  styledSource.reset();
  const bool utf8 = version_ >= 6;
  std::u32string text;
  std::vector<CharFormat> formats;
  struct Open {
    std::string name;
    CharFormat format;
  };
  std::vector<Open> stack{{"", newFormat}};
  auto current = [&]() -> const CharFormat& { return stack.back().format; };
  auto add = [&](char32_t c, const CharFormat& f) {
    if (text.size() >= kMaxFieldChars) return;
    text.push_back(c);
    formats.push_back(f);
  };
  // A closing </p> ends its line in the look of the last FONT that closed, or else of the last
  // text, or else of the field's own format: not in whatever styles are open around it.
  std::optional<CharFormat> lastFontClosed, lastText;
  bool lastWasSpace = false;
  bool inParagraph = false;  // <p> does not nest: an inner one neither breaks nor ends a line
  // Paragraphs and <br> break lines only in a multiline field, from SWF 7 on; before, always.
  const bool breaks = multiline || version_ < 7;
  for (size_t i = 0; i < html.size();) {
    if (html[i] == '<') {
      const size_t close = html.find('>', i);
      if (close == std::string_view::npos) break;  // an unfinished tag ends the text
      const HtmlTag tag = ReadTag(html.substr(i + 1, close - i - 1));
      i = close + 1;
      if (tag.closing) {
        if (tag.name == "li" && breaks) {
          add(U'\r', current());
          lastWasSpace = true;
        } else if (tag.name == "p" && inParagraph && breaks) {
          CharFormat f = lastFontClosed ? *lastFontClosed : lastText ? *lastText : newFormat;
          TakeParagraph(f, current());
          add(U'\r', f);
          lastWasSpace = true;
        }
        if (tag.name == "p") inParagraph = false;
        // A closing tag that does not close the innermost open one is ignored.
        if (stack.size() > 1 && stack.back().name == tag.name) {
          if (tag.name == "font") lastFontClosed = current();
          stack.pop_back();
        }
        continue;
      }
      if (tag.name == "br" || tag.name == "sbr") {
        if (breaks) {
          add(U'\r', current());
          lastWasSpace = true;
        }
        continue;
      }
      CharFormat f = current();
      // A style sheet styles the tags it names (though not the ones that set looks themselves)
      // and the class a tag asks for; the tag's own attributes come after.
      static constexpr std::string_view kUnstyled[] = {"b",  "i",   "u",   "font", "textformat",
                                                       "br", "sbr", "img", "span"};
      const bool tagStyled = styles && std::find(std::begin(kUnstyled), std::end(kUnstyled),
                                                 tag.name) == std::end(kUnstyled);
      bool styled = false;
      if (tagStyled) {
        if (auto it = styles->find(tag.name); it != styles->end()) it->second.ApplyTo(f);
        styled = true;
      }
      if (const std::string* v = tag.Find("class"); v && styles) {
        if (tag.name == "p" || tag.name == "li" || tag.name == "a" || tag.name == "span" ||
            tagStyled) {
          if (auto it = styles->find("." + LowerCopy(*v)); it != styles->end()) {
            it->second.ApplyTo(f);
          }
          styled = true;
        }
      }
      if (tag.name == "b") {
        f.bold = true;
      } else if (tag.name == "i") {
        f.italic = true;
      } else if (tag.name == "u") {
        f.underline = true;
      } else if (tag.name == "font") {
        if (const std::string* v = tag.Find("face")) f.font = *v;
        if (const std::string* v = tag.Find("size")) {
          if (const std::optional<double> size = HtmlFontSize(*v, f.size)) f.size = *size;
        }
        if (const std::string* v = tag.Find("color")) {
          if (const std::optional<uint32_t> rgb = HtmlColor(*v)) {
            f.color = {static_cast<uint8_t>(*rgb >> 16), static_cast<uint8_t>(*rgb >> 8),
                       static_cast<uint8_t>(*rgb), 255};
          }
        }
        if (const std::string* v = tag.Find("letterspacing")) f.letterSpacing = std::atof(v->c_str());
        // Kerning in markup counts from SWF 8 on; earlier movies leave it off.
        if (const std::string* v = tag.Find("kerning"); v && version_ >= 8) {
          f.kerning = std::atoi(v->c_str()) != 0;
        }
      } else if (tag.name == "a") {
        if (const std::string* v = tag.Find("href")) f.url = *v;
        if (const std::string* v = tag.Find("target")) f.target = *v;
      } else if (tag.name == "p" || tag.name == "li") {
        // A list item starts on a line of its own; a paragraph only ends one.
        if (tag.name == "li" && breaks && !text.empty() && text.back() != U'\r') {
          add(U'\r', current());
        }
        if (tag.name == "p") inParagraph = true;
        if (const std::string* v = tag.Find("align")) {
          const std::string a = LowerCopy(*v);
          f.align = a == "right"    ? TextAlign::Right
                    : a == "center" ? TextAlign::Center
                    : a == "justify" ? TextAlign::Justify
                                     : TextAlign::Left;
        }
        if (tag.name == "li") f.bullet = true;
      } else if (tag.name == "textformat") {
        if (const std::string* v = tag.Find("leftmargin")) f.leftMargin = std::atof(v->c_str());
        if (const std::string* v = tag.Find("rightmargin")) f.rightMargin = std::atof(v->c_str());
        if (const std::string* v = tag.Find("indent")) f.indent = std::atof(v->c_str());
        if (const std::string* v = tag.Find("leading")) f.leading = std::atof(v->c_str());
        if (const std::string* v = tag.Find("blockindent")) f.blockIndent = std::atof(v->c_str());
        if (const std::string* v = tag.Find("tabstops")) f.tabStops = HtmlTabStops(*v);
      } else if (!styled && !(styles && tag.name == "span")) {
        continue;  // a tag fields do not know: its text stays, the tag goes
      }
      if (stack.size() < 256) stack.push_back({tag.name, std::move(f)});
      continue;
    }
    // Text up to the next tag; a run of nothing but blanks and line ends is dropped whole.
    const size_t nodeEnd = std::min(html.find('<', i), html.size());
    if (html.find_first_not_of(" \t\r\n", i) >= nodeEnd) {
      i = nodeEnd;
      continue;
    }
    std::u32string run;
    lastWasSpace = false;  // blanks fold together only within one run of text
    while (i < html.size() && html[i] != '<') {
      if (html[i] == '&') {
        size_t at = i + 1;
        if (const std::optional<char32_t> c = Entity(html, at)) {
          run.push_back(*c);
          i = at;
          lastWasSpace = false;
          continue;
        }
      }
      const size_t start = i;
      ++i;
      while (i < html.size() && (static_cast<unsigned char>(html[i]) & 0xC0) == 0x80) ++i;
      const std::u32string c = DecodeText(html.substr(start, i - start), utf8);
      for (char32_t ch : c) {
        const bool space = ch == U' ' || ch == U'\t' || ch == U'\r' || ch == U'\n';
        if (condenseWhite && space) {
          if (!lastWasSpace) run.push_back(U' ');
          lastWasSpace = true;
          continue;
        }
        lastWasSpace = false;
        run.push_back(ch == U'\n' ? U'\r' : ch);
      }
    }
    for (char32_t c : run) add(c, current());
    lastText = current();
  }
  text_ = std::move(text);
  formats_ = std::move(formats);
  selBegin = selEnd = std::min(selEnd, text_.size());
  Changed();
}

std::string TextField::HtmlText() const {
  const bool utf8 = version_ >= 6;
  std::string out;
  size_t at = 0;
  const size_t n = text_.size();
  // No text, no paragraph; a final line end does not open an empty one after it.
  if (n == 0) return out;
  do {
    size_t end = at;
    while (end < n && text_[end] != U'\r') ++end;
    const CharFormat& para = at < n ? formats_[at] : newFormat;
    const bool textFormat = para.leftMargin || para.rightMargin || para.indent || para.leading ||
                            para.blockIndent || !para.tabStops.empty();
    if (textFormat) {
      out += "<TEXTFORMAT";
      if (para.leftMargin) out += " LEFTMARGIN=\"" + Number(para.leftMargin) + "\"";
      if (para.rightMargin) out += " RIGHTMARGIN=\"" + Number(para.rightMargin) + "\"";
      if (para.indent) out += " INDENT=\"" + Number(para.indent) + "\"";
      if (para.blockIndent) out += " BLOCKINDENT=\"" + Number(para.blockIndent) + "\"";
      if (para.leading) out += " LEADING=\"" + Number(para.leading) + "\"";
      if (!para.tabStops.empty()) {
        out += " TABSTOPS=\"";
        for (size_t k = 0; k < para.tabStops.size(); ++k) {
          out += (k ? "," : "") + std::to_string(para.tabStops[k]);
        }
        out += "\"";
      }
      out += ">";
    }
    static const char* const kAlign[] = {"LEFT", "RIGHT", "CENTER", "JUSTIFY"};
    out += para.bullet ? std::string("<LI>")
                       : "<P ALIGN=\"" + std::string(kAlign[static_cast<int>(para.align) & 3]) +
                             "\">";
    // FONT tags nest: a run whose font reads as one already open closes back to it; any other
    // opens one more FONT with only what differs from the one around it. Links and styles sit
    // innermost, closed and opened again whenever the run's set of them changes.
    auto fontSame = [](const CharFormat& a, const CharFormat& b) {
      return a.font == b.font && a.size == b.size && a.color == b.color &&
             a.letterSpacing == b.letterSpacing && a.kerning == b.kerning;
    };
    auto styleSame = [](const CharFormat& a, const CharFormat& b) {
      return a.url == b.url && a.target == b.target && a.bold == b.bold &&
             a.italic == b.italic && a.underline == b.underline;
    };
    std::vector<CharFormat> fonts;
    auto openFont = [&](const CharFormat& f) {
      const CharFormat* from = fonts.empty() ? nullptr : &fonts.back();
      std::string font;
      if (!from || from->font != f.font) font += " FACE=\"" + f.font + "\"";
      if (!from || from->size != f.size) font += " SIZE=\"" + Number(f.size) + "\"";
      if (!from || !(from->color == f.color)) font += " COLOR=\"" + ColorText(f.color) + "\"";
      if (!from || from->letterSpacing != f.letterSpacing) {
        font += " LETTERSPACING=\"" + Number(f.letterSpacing) + "\"";
      }
      if (!from || from->kerning != f.kerning) {
        font += std::string(" KERNING=\"") + (f.kerning ? "1" : "0") + "\"";
      }
      out += "<FONT" + font + ">";
      fonts.push_back(f);
    };
    std::string closeStyles;
    const CharFormat* styled = nullptr;
    auto endStyles = [&] {
      out += closeStyles;
      closeStyles.clear();
      styled = nullptr;
    };
    auto startStyles = [&](const CharFormat& f) {
      styled = &f;
      if (!f.url.empty()) {
        out += "<A HREF=\"" + f.url + "\" TARGET=\"" + f.target + "\">";
        closeStyles = "</A>" + closeStyles;
      }
      const bool on[] = {f.bold, f.italic, f.underline};
      static const char* const kStyle[] = {"B", "I", "U"};
      for (size_t k = 0; k < 3; ++k) {
        if (!on[k]) continue;
        out += std::string("<") + kStyle[k] + ">";
        closeStyles = std::string("</") + kStyle[k] + ">" + closeStyles;
      }
    };
    // The line end belongs to its paragraph: its look shows as a run of its own when it
    // differs from the text before it, though the character itself is not written.
    const size_t stop = end < n ? end + 1 : end;
    size_t i = at;
    do {
      const CharFormat& f = i < n ? formats_[i] : para;
      size_t j = i;
      while (j < stop && fontSame(formats_[j], f) && styleSame(formats_[j], f)) ++j;
      if (fonts.empty()) {
        openFont(f);
      } else if (!fontSame(fonts.back(), f)) {
        endStyles();
        size_t same = fonts.size();
        for (size_t k = fonts.size(); k-- > 0;) {
          if (fontSame(fonts[k], f)) {
            same = k;
            break;
          }
        }
        if (same < fonts.size()) {
          while (fonts.size() > same + 1) {
            out += "</FONT>";
            fonts.pop_back();
          }
        } else {
          openFont(f);
        }
      }
      if (styled && !styleSame(*styled, f)) endStyles();
      if (!styled) startStyles(f);
      const size_t from = std::min(i, end), to = std::min(j, end);
      Escape(std::u32string_view(text_).substr(from, to - from), utf8, out);
      i = j;
    } while (i < stop);
    endStyles();
    for (size_t k = 0; k < fonts.size(); ++k) out += "</FONT>";
    out += para.bullet ? "</LI>" : "</P>";
    if (textFormat) out += "</TEXTFORMAT>";
    at = end + 1;
  } while (at < n);
  return out;
}

}  // namespace swf
