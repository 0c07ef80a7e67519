// Laying a field's text out in lines, and drawing it.
#include <algorithm>
#include <cmath>
#include <functional>

#include "player/movie.h"
#include "player/render.h"
#include "player/text/text_field.h"

namespace swf {
namespace {

// Text keeps this far from the field's box on every side.
constexpr double kGutter = 2;
// A bulleted paragraph's text starts this far in from its margin, whatever its size; the
// bullet sits in that room.
constexpr double kBulletIndent = 36;

bool NamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

Shape Rectangle(const TwipsRect& r, std::optional<Rgba> fill, std::optional<Rgba> line) {
  Shape s;
  s.bounds = s.edgeBounds = r;
  Path p;
  if (fill) {
    s.fills.push_back({});
    s.fills.back().color = *fill;
    p.fill1 = 1;
  }
  if (line) {
    LineStyle style;
    style.width = 0;
    style.color = *line;
    s.lines.push_back(style);
    p.line = 1;
  }
  const Point corners[] = {{double(r.xMin), double(r.yMin)},
                           {double(r.xMax), double(r.yMin)},
                           {double(r.xMax), double(r.yMax)},
                           {double(r.xMin), double(r.yMax)}};
  for (int i = 0; i < 4; ++i) p.edges.push_back({corners[i], {}, corners[(i + 1) % 4], false});
  s.paths.push_back(std::move(p));
  return s;
}

// A box given in pixels of the field's space, in the field's twips.
TwipsRect FieldRect(const TwipsRect& bounds, double left, double top, double right, double bottom) {
  const auto twips = [](double origin, double v) {
    return static_cast<int32_t>(std::clamp(std::round(origin + v * 20), -1e9, 1e9));
  };
  return {twips(bounds.xMin, left), twips(bounds.xMin, right), twips(bounds.yMin, top),
          twips(bounds.yMin, bottom)};
}

// How far a tab at `x` (pixels from the text's left edge) moves on: to the next of the
// paragraph's stops, or with none set, to the next multiple of the default spacing (a little
// over 32 px in the original at 12 px text; we take 32). Past the last stop set, a tab takes
// no room at all.
double TabAdvance(const std::vector<int>& stops, double x) {
  constexpr double kDefaultSpacing = 32;
  if (stops.empty()) return (std::floor(x / kDefaultSpacing) + 1) * kDefaultSpacing - x;
  for (int stop : stops) {
    if (stop > x) return stop - x;
  }
  return 0;
}

// The part of the canvas drawing may touch.
PixelRect CanvasArea(const Canvas& canvas) {
  return Intersect(canvas.clip, PixelRect{0, 0, canvas.width, canvas.height});
}

// Adds a glyph's outline, placed by `place`, to `run`, whose one fill it takes.
void AppendGlyph(Shape& run, const Shape& glyph, const Matrix& place) {
  for (const Path& path : glyph.paths) {
    if (path.fill0 == path.fill1) continue;
    Path p;
    p.fill0 = path.fill0 ? 1 : 0;
    p.fill1 = path.fill1 ? 1 : 0;
    p.edges.reserve(path.edges.size());
    for (const Edge& e : path.edges) {
      p.edges.push_back({place.Apply(e.from), place.Apply(e.control), place.Apply(e.to), e.curved});
    }
    run.paths.push_back(std::move(p));
  }
}

}  // namespace

void FallbackMetrics(const DeviceFontSpec& font, std::u32string_view text, DeviceMetrics& out) {
  out.ascent = std::round(font.size * 0.9);
  out.descent = std::round(font.size * 0.25);
  out.advances.assign(text.size(), std::round(font.size * 0.5));
}

const Font* TextField::EmbeddedFont(const CharFormat& format) const {
  if (!movie_) return nullptr;
  const Font* byName = nullptr;
  for (const auto& [id, character] : movie_->dictionary) {
    const Font* f = std::get_if<Font>(&character);
    if (!f || f->glyphs.empty() || !NamesMatch(f->name, format.font)) continue;
    if (f->bold == format.bold && f->italic == format.italic) return f;
    if (!byName) byName = f;
  }
  return byName;
}

void TextField::Measure(const CharFormat& format, std::u32string_view text, DeviceFonts* fonts,
                        const Font*& font, DeviceMetrics& out) const {
  font = nullptr;
  if (DrawsEmbedded()) {
    font = EmbeddedFont(format);
    out.advances.assign(text.size(), 0);
    if (!font) {
      out.ascent = out.descent = 0;
      return;
    }
    const double scale = format.size / font->unitsPerEm;
    // The movie's fonts measure in whole twips, every figure cut towards zero.
    out.ascent = std::trunc(font->ascent * scale * 20) / 20;
    out.descent = std::trunc(font->descent * scale * 20) / 20;
    for (size_t i = 0; i < text.size(); ++i) {
      const std::optional<size_t> g = text[i] <= 0xFFFF ? font->Find(static_cast<uint16_t>(text[i]))
                                                        : std::nullopt;
      if (g) out.advances[i] = std::trunc(font->glyphs[*g].advance * scale * 20) / 20;
    }
    return;
  }
  const DeviceFontSpec spec{format.font, format.size, format.bold, format.italic};
  if (!fonts || !fonts->Measure(spec, text, out) || out.advances.size() != text.size()) {
    FallbackMetrics(spec, text, out);
  }
}

void TextField::Layout(DeviceFonts* fonts) {
  if (laidOut_ && laidOutWith_ == fonts && laidOutBounds_ == bounds) return;
  laidOut_ = true;
  laidOutWith_ = fonts;
  laidOutBounds_ = bounds;
  lines_.clear();
  textWidth_ = textHeight_ = fitWidth_ = 0;
  const std::u32string shown = password ? std::u32string(text_.size(), U'*') : text_;
  const size_t n = shown.size();
  // Every character's advance and its run's vertical metrics.
  std::vector<double> advance(n, 0), ascent(n, 0), descent(n, 0);
  std::vector<const Font*> fontOf(n, nullptr);
  for (size_t i = 0; i < n;) {
    size_t j = i + 1;
    while (j < n && formats_[j] == formats_[i] && shown[j] != U'\r') ++j;
    DeviceMetrics m;
    const Font* font = nullptr;
    Measure(formats_[i], std::u32string_view(shown).substr(i, j - i), fonts, font, m);
    for (size_t k = i; k < j; ++k) {
      // Spacing that would stop a character moving the pen forward is left out for it, so
      // tight negative spacing on small text never runs characters back over each other.
      const double spaced = m.advances[k - i] + formats_[i].letterSpacing;
      advance[k] = spaced > 0 ? spaced : m.advances[k - i];
      ascent[k] = m.ascent;
      descent[k] = m.descent;
      fontOf[k] = font;
    }
    i = j;
  }
  const double width = (bounds.xMax - bounds.xMin) / 20.0 - 2 * kGutter;
  double top = 0;
  size_t at = 0;
  while (true) {
    // One paragraph: [at, end).
    size_t end = at;
    while (end < n && shown[end] != U'\r') ++end;
    const CharFormat& para = at < n ? formats_[at] : newFormat;
    bool first = true;
    size_t start = at;
    do {
      Line line;
      line.first = start;
      // A negative indent pulls the first line back no further than the field's own edge.
      const double left =
          std::max(0.0, para.leftMargin + para.blockIndent + (first ? para.indent : 0)) +
          (para.bullet ? kBulletIndent : 0);
      const double room = width - left - para.rightMargin;
      double x = 0;
      size_t stop = start, lastBreak = std::u32string::npos;
      while (stop < end) {
        if (shown[stop] == U'\t') advance[stop] = TabAdvance(para.tabStops, left + x);
        // A line that starts past its right edge (a first line indented that far) keeps its
        // first word whole instead of giving up one character of it.
        if (wordWrap && x + advance[stop] > room && stop > start && shown[stop] != U' ' &&
            (room > 0 || lastBreak != std::u32string::npos)) {
          break;
        }
        if (shown[stop] == U' ') lastBreak = stop + 1;
        x += advance[stop];
        ++stop;
      }
      if (stop < end && lastBreak != std::u32string::npos && lastBreak > start) stop = lastBreak;
      line.end = stop;
      // Spaces at the end of a line count towards its width as scripts read it, but hang past
      // the margin when the line is aligned.
      size_t visibleEnd = stop;
      while (visibleEnd > start && shown[visibleEnd - 1] == U' ') --visibleEnd;
      double hanging = 0;
      for (size_t k = start; k < stop; ++k) {
        line.width += advance[k];
        if (k >= visibleEnd) hanging += advance[k];
        line.ascent = std::max(line.ascent, ascent[k]);
        line.descent = std::max(line.descent, descent[k]);
        if (line.pieces.empty() || !(formats_[k] == formats_[line.pieces.back().first]) ||
            fontOf[k] != line.pieces.back().font) {
          Piece p;
          p.first = k;
          p.font = fontOf[k];
          p.x = 0;
          for (const Piece& q : line.pieces) {
            for (double a : q.advances) p.x += a;
          }
          line.pieces.push_back(std::move(p));
        }
        line.pieces.back().count++;
        line.pieces.back().advances.push_back(advance[k]);
      }
      // Widths are whole twips; adding up fractions of pixels must not leave them a hair short.
      line.width = std::round(line.width * 20) / 20;
      hanging = std::round(hanging * 20) / 20;
      if (start == stop) {
        DeviceMetrics m;
        const Font* font = nullptr;
        Measure(para, U" ", fonts, font, m);
        line.ascent = m.ascent;
        line.descent = m.descent;
      }
      line.leading = para.leading;
      if (first && para.bullet && start < end) {
        // Where in its room the original puts the bullet we cannot tell; at the room's start.
        line.bulletX = left - kBulletIndent;
      }
      switch (para.align) {
        case TextAlign::Right:
          line.x = left + std::max(0.0, room - (line.width - hanging));
          break;
        case TextAlign::Center:
          line.x = left + std::max(0.0, (room - (line.width - hanging)) / 2);
          break;
        default:
          line.x = left;
      }
      line.top = top;
      top += line.ascent + line.descent + line.leading;
      // What scripts read as the text's width is the widest line's own, margins left out. The
      // spaces a line wraps after count only when it is aligned left.
      const bool wrapped = stop < end;
      textWidth_ = std::max(textWidth_, wrapped && para.align != TextAlign::Left
                                            ? line.width - hanging
                                            : line.width);
      fitWidth_ = std::max(fitWidth_, line.width + left + para.rightMargin);
      lines_.push_back(std::move(line));
      first = false;
      start = stop;
    } while (start < end && lines_.size() < kMaxFieldChars);
    if (end >= n) break;
    at = end + 1;
  }
  // Every line's leading counts, the last one's too; the empty line after a closing line
  // break adds nothing of its own.
  if (!lines_.empty()) {
    const Line& last = lines_.back();
    textHeight_ = n > 0 && last.first == last.end && last.first == n ? last.top : top;
  }
  if (n == 0) textWidth_ = textHeight_ = fitWidth_ = 0;
}

double TextField::TextWidth(DeviceFonts* fonts) {
  Layout(fonts);
  return textWidth_;
}

double TextField::TextHeight(DeviceFonts* fonts) {
  Layout(fonts);
  return textHeight_;
}

size_t TextField::LineCount(DeviceFonts* fonts) {
  Layout(fonts);
  return lines_.size();
}

int TextField::BottomScroll(DeviceFonts* fonts) {
  Layout(fonts);
  const double room = (bounds.yMax - bounds.yMin) / 20.0 - 2 * kGutter;
  const size_t first = std::clamp<size_t>(static_cast<size_t>(std::max(scroll, 1)) - 1, 0,
                                          lines_.empty() ? 0 : lines_.size() - 1);
  size_t last = first;
  const double base = first < lines_.size() ? lines_[first].top : 0;
  for (size_t i = first; i < lines_.size(); ++i) {
    if (lines_[i].top - base + lines_[i].ascent + lines_[i].descent > room && i > first) break;
    last = i;
  }
  return static_cast<int>(last) + 1;
}

int TextField::MaxScroll(DeviceFonts* fonts) {
  Layout(fonts);
  const double room = (bounds.yMax - bounds.yMin) / 20.0 - 2 * kGutter;
  if (lines_.empty()) return 1;
  // The first line from which the rest fits.
  const double bottom = lines_.back().top + lines_.back().ascent + lines_.back().descent;
  size_t first = 0;
  while (first + 1 < lines_.size() && bottom - lines_[first].top > room) ++first;
  return static_cast<int>(first) + 1;
}

int TextField::MaxHScroll(DeviceFonts* fonts) {
  // Wrapped lines are never wider than the box, so there is nothing to scroll sideways.
  if (wordWrap) return 0;
  Layout(fonts);
  const double room = (bounds.xMax - bounds.xMin) / 20.0 - 2 * kGutter;
  return std::max(0, static_cast<int>(std::ceil(fitWidth_ - room)));
}

void TextField::FitToText(DeviceFonts* fonts) {
  if (autoSize == AutoSize::None) return;
  Layout(fonts);
  const auto w = static_cast<int32_t>(std::lround((fitWidth_ + 2 * kGutter) * 20));
  const auto h = static_cast<int32_t>(std::lround((textHeight_ + 2 * kGutter) * 20));
  if (!wordWrap) {
    const int32_t old = bounds.xMax - bounds.xMin;
    switch (autoSize) {
      case AutoSize::Right:
        bounds.xMin = bounds.xMax - w;
        break;
      case AutoSize::Center:
        bounds.xMin += (old - w) / 2;
        bounds.xMax = bounds.xMin + w;
        break;
      default:
        bounds.xMax = bounds.xMin + w;
    }
  }
  bounds.yMax = bounds.yMin + h;
  laidOutBounds_ = bounds;  // a change of height alone leaves the lines as they are
}

void TextField::DrawBox(const Canvas& canvas, const Matrix& toPixels, const ColorTransform& colors,
                        const CoverageMask* clip) const {
  const std::optional<Rgba> fill = background ? std::optional<Rgba>(backgroundColor) : std::nullopt;
  if (toPixels.b != 0 || toPixels.c != 0) {
    // Turned or skewed: the box as it falls, with a hairline border.
    DrawShape(canvas, Rectangle(bounds, fill, border ? std::optional<Rgba>(borderColor) : std::nullopt),
              {toPixels, colors, nullptr, clip});
    return;
  }
  // Upright boxes sit on whole pixels.
  const Point a = toPixels.Apply({double(bounds.xMin), double(bounds.yMin)});
  const Point b = toPixels.Apply({double(bounds.xMax), double(bounds.yMax)});
  const double clampTo = 1e7;
  const auto px = [&](double v) {
    return static_cast<int32_t>(std::clamp(std::ceil(v - 0.5), -clampTo, clampTo)) * 20;
  };
  // The far sides keep the box's own size, rounded, from where the near sides landed.
  const int32_t left = px(std::min(a.x, b.x)), right = left + px(std::fabs(b.x - a.x));
  const int32_t top = px(std::min(a.y, b.y)), bottom = top + px(std::fabs(b.y - a.y));
  const Matrix pixels{0.05, 0, 0, 0.05, 0, 0};
  if (fill) DrawShape(canvas, Rectangle({left, right, top, bottom}, fill, std::nullopt), {pixels, colors, nullptr, clip});
  if (!border || right < left || bottom < top) return;
  // A one-pixel outline through the box's corners: it covers the pixels from the top-left
  // corner to the bottom-right one, that last one excepted, as a pen stroked around it would.
  const TwipsRect sides[] = {{left, right + 20, top, top + 20},
                             {left, left + 20, top + 20, bottom + 20},
                             {right, right + 20, top + 20, bottom},
                             {left + 20, right, bottom, bottom + 20}};
  for (const TwipsRect& side : sides) {
    if (side.xMax > side.xMin && side.yMax > side.yMin) {
      DrawShape(canvas, Rectangle(side, borderColor, std::nullopt), {pixels, colors, nullptr, clip});
    }
  }
  if (DrawsEmbedded()) {
    // Drawn with the movie's fonts, the outline closes on that last pixel, though only partly
    // (between a half and two thirds in the original's renders; we take three fifths).
    Rgba corner = borderColor;
    corner.a = static_cast<uint8_t>(corner.a * 3 / 5);
    DrawShape(canvas, Rectangle({right, right + 20, bottom, bottom + 20}, corner, std::nullopt),
              {pixels, colors, nullptr, clip});
  }
}

size_t TextField::LineOf(size_t index) const {
  size_t line = 0;
  while (line + 1 < lines_.size() && lines_[line + 1].first <= index) ++line;
  return line;
}

double TextField::XInLine(const Line& line, size_t index) const {
  double x = 0;
  for (const Piece& piece : line.pieces) {
    for (size_t k = 0; k < piece.count && piece.first + k < index; ++k) x += piece.advances[k];
  }
  return x;
}

bool TextField::FieldMask(const PixelRect& area, const Matrix& toPixels, const CoverageMask* clip,
                          double inset, CoverageMask& mask) const {
  mask.area = area;
  if (mask.area.Empty()) return false;
  mask.coverage.assign(static_cast<size_t>(mask.area.right - mask.area.left) *
                           static_cast<size_t>(mask.area.bottom - mask.area.top),
                       0);
  TwipsRect box = bounds;
  const auto in = static_cast<int32_t>(inset * 20);
  // A box too small for its gutter keeps nothing of its inside.
  box.xMin += in;
  box.xMax = std::max(box.xMin, box.xMax - in);
  box.yMin += in;
  box.yMax = std::max(box.yMin, box.yMax - in);
  DrawShapeCoverage(mask, Rectangle(box, Rgba{}, std::nullopt), {toPixels, {}, nullptr, clip});
  return true;
}

void TextField::Draw(const Canvas& canvas, const Matrix& placed, const ColorTransform& colors,
                     const CoverageMask* clip, DeviceFonts* fonts, bool focused) {
  FitToText(fonts);
  Layout(fonts);
  Matrix toPixels = placed;
  if (!DrawsEmbedded()) {
    // Device text only draws upright and unmirrored, so a field of it that is turned, skewed
    // or flipped shows nothing at all, box included. A turn too slight to move the box's far
    // corners by a pixel is not a turn.
    const double w = std::fabs(double(bounds.xMax) - bounds.xMin);
    const double h = std::fabs(double(bounds.yMax) - bounds.yMin);
    if (placed.a <= 0 || placed.d <= 0 || std::fabs(placed.b) * w >= 1 ||
        std::fabs(placed.c) * h >= 1) {
      return;
    }
    toPixels.b = toPixels.c = 0;
  }
  if (background || border) DrawBox(canvas, toPixels, colors, clip);
  if (lines_.empty()) return;
  // Text stays inside the box less its gutter: scrolled text is cut where it would run into
  // the gutter, not at the box's edge. The caret may stand in the gutter, so it is cut by the
  // whole box.
  CoverageMask inside;
  if (!FieldMask(CanvasArea(canvas), toPixels, clip, kGutter, inside)) return;
  // The box less its gutter in canvas pixels, for device text.
  const double in = kGutter * 20;
  const double inLeft = bounds.xMin + in, inTop = bounds.yMin + in;
  const double inRight = std::max(inLeft, bounds.xMax - in);
  const double inBottom = std::max(inTop, bounds.yMax - in);
  PixelRect box{canvas.width, canvas.height, 0, 0};
  for (const Point p : {Point{inLeft, inTop}, Point{inRight, inTop}, Point{inLeft, inBottom},
                        Point{inRight, inBottom}}) {
    const Point q = toPixels.Apply(p);
    box.left = std::min(box.left, static_cast<int>(std::floor(q.x)));
    box.top = std::min(box.top, static_cast<int>(std::floor(q.y)));
    box.right = std::max(box.right, static_cast<int>(std::ceil(q.x)));
    box.bottom = std::max(box.bottom, static_cast<int>(std::ceil(q.y)));
  }
  box.left = std::max(box.left, inside.area.left);
  box.top = std::max(box.top, inside.area.top);
  box.right = std::min(box.right, inside.area.right);
  box.bottom = std::min(box.bottom, inside.area.bottom);
  const double scaleY = std::hypot(toPixels.c, toPixels.d) * 20;
  const size_t firstLine = FirstShownLine();
  const double shift = lines_[firstLine].top;
  const double room = (bounds.yMax - bounds.yMin) / 20.0;
  // The selection shows only while the field has the focus: the selected text turns white on
  // a black band as tall as its line.
  const size_t selLow = std::min({selBegin, selEnd, text_.size()});
  const size_t selHigh = std::min(std::max(selBegin, selEnd), text_.size());
  const bool selecting = focused && selectable && selLow < selHigh;
  if (selecting) {
    for (size_t li = firstLine; li < lines_.size(); ++li) {
      const Line& line = lines_[li];
      const double y = kGutter + line.top - shift;
      if (y > room) break;
      if (line.end <= selLow || line.first >= selHigh) continue;
      const double left = kGutter + line.x - hscroll;
      const double x0 = left + XInLine(line, std::max(selLow, line.first));
      const double x1 = left + XInLine(line, std::min(selHigh, line.end));
      if (x1 <= x0) continue;
      DrawShape(canvas,
                Rectangle(FieldRect(bounds, x0, y, x1, y + line.ascent + line.descent),
                          Rgba{0, 0, 0, 255}, std::nullopt),
                {toPixels, colors, nullptr, &inside});
    }
  }
  const auto colorAt = [&](size_t index, const CharFormat& format) {
    return selecting && index >= selLow && index < selHigh ? Rgba{255, 255, 255, format.color.a}
                                                           : format.color;
  };
  Shape glyph;
  for (size_t li = firstLine; li < lines_.size(); ++li) {
    const Line& line = lines_[li];
    const double y = kGutter + line.top - shift;
    if (y > room) break;
    const double baseline = y + line.ascent;
    if (line.bulletX && line.first < formats_.size()) {
      const CharFormat& format = formats_[line.first];
      const double x = kGutter + *line.bulletX - hscroll;
      if (!DrawsEmbedded()) {
        DeviceTextRun run;
        run.font = {format.font, format.size * scaleY, format.bold, format.italic};
        // Filled rather than copied from a literal, which GCC 12 wrongly warns may overlap.
        run.text.assign(1, char32_t{0x2022});
        run.origin = toPixels.Apply({bounds.xMin + x * 20, bounds.yMin + baseline * 20});
        run.color = colors.Apply(format.color);
        run.clip = box;
        if (fonts && !box.Empty()) fonts->Draw(canvas, run);
      } else if (const Font* font = EmbeddedFont(format)) {
        if (const std::optional<size_t> g = font->Find(0x2022)) {
          glyph = font->glyphs[*g].shape;
          if (!glyph.fills.empty()) glyph.fills[0].color = format.color;
          const double scale = format.size * 20 / font->unitsPerEm;
          DrawShape(canvas, glyph,
                    {toPixels * Matrix{scale, 0, 0, scale, bounds.xMin + x * 20,
                                       bounds.yMin + baseline * 20},
                     colors, nullptr, &inside});
        }
      }
    }
    for (const Piece& piece : line.pieces) {
      const CharFormat& format = formats_[piece.first];
      const double left = kGutter + line.x + piece.x - hscroll;
      // The movie's fonts draw below, a run of glyphs at a time.
      if (piece.font) continue;
      // Device text goes out in runs, split where the selection starts and ends.
      double x = left;
      for (size_t k = 0; k < piece.count;) {
        const size_t at = piece.first + k;
        size_t stop = piece.first + piece.count;
        if (selecting && at < selLow) stop = std::min(stop, selLow);
        if (selecting && at >= selLow && at < selHigh) stop = std::min(stop, selHigh);
        // A tab draws nothing; it only moves the next run on by what the layout gave it.
        if (!password && text_[at] == U'\t') {
          x += piece.advances[k++];
          continue;
        }
        for (size_t t = at + 1; t < stop; ++t) {
          if (!password && text_[t] == U'\t') stop = t;
        }
        DeviceTextRun run;
        run.font = {format.font, format.size * scaleY, format.bold, format.italic};
        run.text = password ? std::u32string(stop - at, U'*') : text_.substr(at, stop - at);
        run.origin = toPixels.Apply({bounds.xMin + x * 20, bounds.yMin + baseline * 20});
        run.color = colors.Apply(colorAt(at, format));
        run.clip = box;
        if (fonts && !box.Empty()) fonts->Draw(canvas, run);
        for (; piece.first + k < stop; ++k) x += piece.advances[k];
      }
    }
  }
  EmbeddedGlyphs(
      firstLine, [&](size_t i) { return colorAt(i, formats_[i]); },
      [&](const Shape& run) {
    DrawShape(canvas, run, {toPixels, colors, nullptr, &inside});
  });
  if (focused && editable && !selecting) {
    CoverageMask whole;
    if (FieldMask(CanvasArea(canvas), toPixels, clip, 0, whole)) {
      DrawCaret(canvas, toPixels, colors, whole, firstLine);
    }
  }
}

size_t TextField::FirstShownLine() const {
  return std::min<size_t>(static_cast<size_t>(std::max(scroll, 1)) - 1, lines_.size() - 1);
}

void TextField::EmbeddedGlyphs(size_t firstLine, const std::function<Rgba(size_t)>& colorOf,
                               const std::function<void(const Shape&)>& emit) const {
  // Glyphs of one colour go out as one outline: where neighbours meet or overlap inside a
  // pixel their coverage adds up as one shape's does, instead of leaving a faint seam.
  const double shift = lines_[firstLine].top;
  const double room = (bounds.yMax - bounds.yMin) / 20.0;
  Shape run;
  run.nonZero = true;
  run.fills.emplace_back();
  const auto flush = [&] {
    if (!run.paths.empty()) emit(run);
    run.paths.clear();
  };
  for (size_t li = firstLine; li < lines_.size(); ++li) {
    const Line& line = lines_[li];
    const double y = kGutter + line.top - shift;
    if (y > room) break;
    const double baseline = y + line.ascent;
    for (const Piece& piece : line.pieces) {
      if (!piece.font) continue;
      const double scale = formats_[piece.first].size * 20 / piece.font->unitsPerEm;
      double x = kGutter + line.x + piece.x - hscroll;
      for (size_t k = 0; k < piece.count; ++k) {
        const char32_t c = password ? U'*' : text_[piece.first + k];
        const std::optional<size_t> g =
            c <= 0xFFFF ? piece.font->Find(static_cast<uint16_t>(c)) : std::nullopt;
        if (g && !piece.font->glyphs[*g].shape.fills.empty()) {
          const Rgba color = colorOf(piece.first + k);
          if (!(color == run.fills[0].color)) {
            flush();
            run.fills[0].color = color;
          }
          AppendGlyph(run, piece.font->glyphs[*g].shape,
                      Matrix{scale, 0, 0, scale, bounds.xMin + x * 20, bounds.yMin + baseline * 20});
        }
        x += piece.advances[k];
      }
    }
  }
  flush();
}

void TextField::DrawCoverage(CoverageMask& mask, const Matrix& toPixels, const CoverageMask* clip,
                             bool aliased, DeviceFonts* fonts) {
  FitToText(fonts);
  Layout(fonts);
  // Only the movie's own glyphs mask, whole, even where they run past the field's box; the
  // box, its colours and device text count for nothing.
  if (!embedFonts || lines_.empty()) return;
  EmbeddedGlyphs(FirstShownLine(), [](size_t) { return Rgba{}; }, [&](const Shape& run) {
    DrawShapeCoverage(mask, run, {toPixels, {}, nullptr, clip, aliased});
  });
}

std::optional<TwipsRect> TextField::TextBox(DeviceFonts* fonts) {
  FitToText(fonts);
  Layout(fonts);
  if (lines_.empty() || text_.empty()) return std::nullopt;
  const size_t first = FirstShownLine();
  double left = 0, right = 0, top = 0, bottom = 0;
  for (size_t li = first; li < lines_.size(); ++li) {
    const Line& line = lines_[li];
    // Glyphs may reach past their advances, by as much as their height at most.
    const double x = kGutter + line.x - hscroll, reach = line.ascent + line.descent;
    const double y = kGutter + line.top - lines_[first].top;
    left = li == first ? x - reach : std::min(left, x - reach);
    right = li == first ? x + line.width + reach : std::max(right, x + line.width + reach);
    top = li == first ? y : top;
    bottom = y + reach;
  }
  return FieldRect(bounds, left, top, right, bottom);
}

void TextField::DrawCaret(const Canvas& canvas, const Matrix& toPixels,
                          const ColorTransform& colors, const CoverageMask& inside,
                          size_t firstLine) const {
  const size_t at = std::min(selEnd, text_.size());
  const size_t li = LineOf(at);
  if (li < firstLine) return;
  const Line& line = lines_[li];
  const double top = kGutter + line.top - lines_[firstLine].top;
  if (top > (bounds.yMax - bounds.yMin) / 20.0) return;
  const double x = kGutter + line.x + XInLine(line, at) - hscroll;
  const double height = line.ascent + line.descent;
  const Rgba color = at < formats_.size() ? formats_[at].color
                     : at > 0             ? formats_[at - 1].color
                                          : newFormat.color;
  if (toPixels.b != 0 || toPixels.c != 0) {
    const double width = 1 / std::max(std::hypot(toPixels.a, toPixels.b) * 20, 1e-6);
    DrawShape(canvas,
              Rectangle(FieldRect(bounds, x, top, x + width, top + height), color, std::nullopt),
              {toPixels, colors, nullptr, &inside});
    return;
  }
  // Upright, the caret is one whole pixel wide, its top and bottom where the line's are.
  const Point p = toPixels.Apply({bounds.xMin + x * 20, bounds.yMin + top * 20});
  const double tall = height * std::fabs(toPixels.d) * 20;
  const auto twips = [](double v) {
    return static_cast<int32_t>(std::clamp(std::round(v * 20), -1e9, 1e9));
  };
  const double column = std::ceil(p.x - 0.5);  // halves go left, as the box's sides do
  const Matrix pixels{0.05, 0, 0, 0.05, 0, 0};
  DrawShape(canvas,
            Rectangle({twips(column), twips(column + 1), twips(p.y), twips(p.y + tall)}, color,
                      std::nullopt),
            {pixels, colors, nullptr, &inside});
}

}  // namespace swf
