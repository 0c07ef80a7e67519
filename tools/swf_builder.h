#pragma once
// Writes SWF movies from code, for tests, fuzz seeds and build-time generators.
//
// Everything is in the file's own units: coordinates in twips (20 per pixel), matrix scale and
// rotate terms in 16.16 fixed point, colour-transform terms in 8.8 (256 = 1.0). The builder
// writes what it is told, including values a player would refuse, so that tests can make
// malformed movies as easily as good ones; Tag() and AppendRaw() go further and write bytes
// verbatim.
//
// A movie is a main timeline (Movie) holding definitions and control tags; a sprite (Sprite)
// is a timeline of control tags only, written into the movie with DefineSprite. Definitions
// return the character id they used: the next free one unless a non-zero id is given.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/geometry.h"

namespace swfb {

// Straight (not premultiplied) colour; the engine's own type, so values compare directly.
using Rgba = swf::Rgba;

// Pixels to twips, rounded to the nearest twip.
constexpr int32_t ToTwips(double pixels) {
  return static_cast<int32_t>(pixels >= 0 ? pixels * 20 + 0.5 : pixels * 20 - 0.5);
}

// Doubles to the file's fixed-point raws, rounded to nearest.
constexpr int32_t ToFixed16(double v) {
  return static_cast<int32_t>(v >= 0 ? v * 65536 + 0.5 : v * 65536 - 0.5);
}
constexpr int16_t ToFixed8(double v) {
  return static_cast<int16_t>(v >= 0 ? v * 256 + 0.5 : v * 256 - 0.5);
}

enum class TagCode : uint16_t {
  End = 0,
  ShowFrame = 1,
  DefineShape = 2,
  PlaceObject = 4,
  RemoveObject = 5,
  DefineBits = 6,
  JPEGTables = 8,
  SetBackgroundColor = 9,
  DoAction = 12,
  DefineBitsLossless = 20,
  DefineBitsJPEG2 = 21,
  DefineShape2 = 22,
  PlaceObject2 = 26,
  RemoveObject2 = 28,
  DefineShape3 = 32,
  DefineText2 = 33,
  DefineButton2 = 34,
  DefineBitsJPEG3 = 35,
  DefineBitsLossless2 = 36,
  DefineSprite = 39,
  FrameLabel = 43,
  ExportAssets = 56,
  DefineText = 11,
  DefineEditText = 37,
  DefineFont2 = 48,
  DoInitAction = 59,
  PlaceObject3 = 70,
  DefineShape4 = 83,
};

// Rectangle in twips, fields in the order the file stores them.
struct Rect {
  int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  friend constexpr bool operator==(Rect, Rect) = default;
};

// MATRIX record. Scale and rotate terms are 16.16 raws, translation is in twips. The optional
// scale and rotate parts are written only when they differ from identity, unless forced.
struct Matrix {
  int32_t scaleX = 0x10000, scaleY = 0x10000;
  int32_t rotateSkew0 = 0, rotateSkew1 = 0;
  int32_t translateX = 0, translateY = 0;
  bool forceScale = false, forceRotate = false;

  static Matrix Translate(int32_t xTwips, int32_t yTwips);
  static Matrix Scale(double sx, double sy, int32_t xTwips = 0, int32_t yTwips = 0);
  // Rotation by `radians` (clockwise on screen, y pointing down) after scaling by sx, sy,
  // then translation.
  static Matrix Transform(double sx, double sy, double radians, int32_t xTwips = 0,
                          int32_t yTwips = 0);
  // The engine's affine form: x' = a*x + c*y + tx, with tx, ty in twips.
  static Matrix FromAffine(const swf::Matrix& m);

  bool HasScale() const { return forceScale || scaleX != 0x10000 || scaleY != 0x10000; }
  bool HasRotate() const { return forceRotate || rotateSkew0 != 0 || rotateSkew1 != 0; }
  friend bool operator==(const Matrix&, const Matrix&) = default;
};

// CXFORM / CXFORMWITHALPHA record: channel * mul / 256 + add. The multiply and add parts are
// written only when they differ from identity, unless forced. The record stores each term in
// at most 15 signed bits, so terms are clamped to -16384..16383.
struct ColorTransform {
  int16_t rMul = 256, gMul = 256, bMul = 256, aMul = 256;
  int16_t rAdd = 0, gAdd = 0, bAdd = 0, aAdd = 0;
  bool forceMul = false, forceAdd = false;

  bool HasMul(bool withAlpha) const;
  bool HasAdd(bool withAlpha) const;
  friend bool operator==(const ColorTransform&, const ColorTransform&) = default;
};

// ---------------------------------------------------------------------------------------------
// Low-level writing, public so that tests can check single records and build odd ones.

// Bytes little-endian, bit fields most significant bit first, as the file stores them. Any
// byte-sized write first pads a partly written bit field byte with zeros.
class Writer {
 public:
  void U8(uint8_t v);
  void U16(uint16_t v);
  void U32(uint32_t v);
  void S16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void Bytes(std::span<const uint8_t> b);
  // Null-terminated string.
  void String(std::string_view s);
  void Rgb(Rgba c);
  void RgbaColor(Rgba c);

  // Bit fields of `bits` width (0..32).
  void UB(uint32_t v, int bits);
  void SB(int32_t v, int bits);
  void Align();

  // The bytes so far, the last partial bit byte included.
  const std::vector<uint8_t>& Data() const { return bytes_; }
  std::vector<uint8_t> Take();
  size_t Size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
  int freeBits_ = 0;  // unused low bits of the last byte
};

// Fewest bits that hold `v` as a UB / SB field. SignedBits(0) is 0, so an all-zero record
// (an empty rectangle, a zero translation) takes a zero width and no value bits.
int UnsignedBits(uint32_t v);
int SignedBits(int32_t v);

void WriteRect(Writer& w, const Rect& r);
void WriteMatrix(Writer& w, const Matrix& m);
void WriteColorTransform(Writer& w, const ColorTransform& cx, bool withAlpha);
// RECORDHEADER: the short form when length < 63, the long form otherwise or when forced.
void WriteTagHeader(Writer& w, uint16_t code, uint32_t length, bool forceLong = false);
// Edge records between two points given as a delta in twips. The straight edge picks the
// vertical, horizontal or general form; deltas beyond 17 signed bits do not fit one record
// (Shape splits such edges before writing).
void WriteStraightEdge(Writer& w, int32_t dx, int32_t dy);
void WriteCurvedEdge(Writer& w, int32_t controlDx, int32_t controlDy, int32_t anchorDx,
                     int32_t anchorDy);

// zlib stream of `data` at the best compression level (deterministic for a given zlib).
std::vector<uint8_t> Deflate(std::span<const uint8_t> data);

// ---------------------------------------------------------------------------------------------
// Shapes.

enum class FillType : uint8_t {
  Solid = 0x00,
  LinearGradient = 0x10,
  RadialGradient = 0x12,
  FocalGradient = 0x13,  // DefineShape4
  RepeatingBitmap = 0x40,
  ClippedBitmap = 0x41,
  NonSmoothedRepeatingBitmap = 0x42,
  NonSmoothedClippedBitmap = 0x43,
};

enum class Spread : uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };
enum class Interpolation : uint8_t { Normal = 0, Linear = 1 };
enum class Cap : uint8_t { Round = 0, None = 1, Square = 2 };
enum class Join : uint8_t { Round = 0, Bevel = 1, Miter = 2 };

struct GradientStop {
  uint8_t ratio = 0;
  Rgba color;
};

// Gradient space is the square -16384..16384 twips; the fill's matrix maps it onto the shape.
// Shapes 1-3 allow 8 stops, shape 4 allows 15; the builder writes as many as given (up to 15,
// the width of the count field).
struct Gradient {
  Spread spread = Spread::Pad;
  Interpolation interpolation = Interpolation::Normal;
  std::vector<GradientStop> stops;
  double focalPoint = 0;  // -1..1, focal gradients only
};

struct Fill {
  FillType type = FillType::Solid;
  Rgba color;  // solid fills; shapes 1 and 2 store no alpha
  Matrix matrix;
  Gradient gradient;
  uint16_t bitmapId = 0;

  static Fill Solid(Rgba c);
  static Fill Linear(const Matrix& m, Gradient g);
  static Fill Radial(const Matrix& m, Gradient g);
  static Fill Focal(const Matrix& m, Gradient g, double focalPoint);
  static Fill Bitmap(uint16_t id, const Matrix& m, FillType type = FillType::ClippedBitmap);
  // The matrix that maps gradient space onto a box (twips): a linear gradient runs from the
  // box's left to its right edge, a radial one fills the box's inscribed ellipse.
  static Matrix GradientBox(const Rect& box, double radians = 0);
};

// LINESTYLE for shapes 1-3 (width and colour); LINESTYLE2 for shape 4 uses every field.
struct Line {
  uint16_t width = 20;  // twips
  Rgba color;
  Cap startCap = Cap::Round, endCap = Cap::Round;
  Join join = Join::Round;
  double miterLimit = 3;  // written for Join::Miter only
  bool noHScale = false, noVScale = false, pixelHinting = false, noClose = false;
  std::optional<Fill> fill;  // shape 4: the stroke is painted with this fill, not `color`

  static Line Solid(uint16_t widthTwips, Rgba c);
};

// A point of a closed contour in twips; a control point bends the segment between its
// neighbours into a quadratic curve.
struct ContourPoint {
  int32_t x = 0, y = 0;
  bool control = false;
};

// SHAPEWITHSTYLE drawn with a pen in absolute twips. Style indices are 1-based into the current
// style arrays (0 = none); style changes and moves made between edges merge into one
// style-change record, as the format intends.
//
// Orientation: fill0 lies on the left of the direction of travel and fill1 on the right, with
// y pointing down. The helpers below draw clockwise on screen, so a shape's inside is its fill1;
// pass reverse = true to draw a hole (its inside then is outside the filled region).
class Shape {
 public:
  // 1-based index of the new style in the current arrays.
  uint32_t AddFill(const Fill& f);
  uint32_t AddLine(const Line& l);
  // Starts new style arrays (shape 2 and later): indices start again at 1.
  Shape& NewStyles();

  Shape& SetFill0(uint32_t index);
  Shape& SetFill1(uint32_t index);
  Shape& SetLine(uint32_t index);
  Shape& MoveTo(int32_t x, int32_t y);
  // Edges longer than one record holds are split into several.
  Shape& LineTo(int32_t x, int32_t y);
  Shape& CurveTo(int32_t controlX, int32_t controlY, int32_t x, int32_t y);

  // Closed contours starting with a move to their first point.
  Shape& Contour(std::span<const ContourPoint> points, bool reverse = false);
  Shape& Polygon(std::span<const ContourPoint> corners, bool reverse = false);
  Shape& Rectangle(const Rect& r, bool reverse = false);
  Shape& RoundedRectangle(const Rect& r, int32_t radius, bool reverse = false);
  // Eight quadratic segments, starting at the rightmost point.
  Shape& Ellipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry, bool reverse = false);
  Shape& Circle(int32_t cx, int32_t cy, int32_t r, bool reverse = false) {
    return Ellipse(cx, cy, r, r, reverse);
  }

  // Bounds written in the tag. By default: every point drawn (control points included),
  // grown by half the widest line; the edge bounds of shape 4 are not grown.
  void SetBounds(const Rect& bounds) { bounds_ = bounds; }
  void SetEdgeBounds(const Rect& bounds) { edgeBounds_ = bounds; }
  Rect Bounds() const;
  Rect EdgeBounds() const;
  // Shape 4's flag for the non-zero winding rule.
  void SetNonZeroWinding(bool on) { nonZero_ = on; }

  // SHAPEWITHSTYLE for a DefineShape of `version` (1-4): styles, records, end record.
  std::vector<uint8_t> Encode(int version) const;
  // A DefineShape tag's body after the character id: bounds (and for shape 4 edge bounds and
  // flags), then SHAPEWITHSTYLE.
  std::vector<uint8_t> EncodeDefinition(int version) const;

 private:
  struct Styles {
    std::vector<Fill> fills;
    std::vector<Line> lines;
  };
  struct Record {
    enum Kind : uint8_t { StyleChange, Straight, Curved } kind = StyleChange;
    // Style change: which fields are present, and the style-array set it switches to.
    bool hasMove = false, hasFill0 = false, hasFill1 = false, hasLine = false;
    bool newStyles = false;
    size_t stylesIndex = 0;
    uint32_t fill0 = 0, fill1 = 0, line = 0;
    int32_t x = 0, y = 0;    // move target, or edge delta
    int32_t cx = 0, cy = 0;  // curve control delta
  };
  Record& PendingChange();
  void AddPoint(int32_t x, int32_t y);
  void StraightTo(int32_t x, int32_t y);

  std::vector<Styles> styles_{1};
  std::vector<Record> records_;
  bool changeOpen_ = false;
  int32_t penX_ = 0, penY_ = 0;
  bool anyPoint_ = false;
  Rect pointBounds_;
  std::optional<Rect> bounds_, edgeBounds_;
  bool nonZero_ = false;
};

// ---------------------------------------------------------------------------------------------
// Bitmaps.

// Straight RGBA pixels, row by row from the top.
struct Image {
  uint16_t width = 0, height = 0;
  std::vector<Rgba> pixels;
};

enum class LosslessFormat : uint8_t {
  Palette = 3,  // up to 256 colours, rows padded to 32 bits
  Rgb15 = 4,    // DefineBitsLossless only; rows padded to 32 bits
  Rgb24 = 5,    // DefineBitsLossless: 0RGB; DefineBitsLossless2: premultiplied ARGB
};

// The body of a DefineBitsLossless (alpha = false) or DefineBitsLossless2 (alpha = true) tag
// without the character id. Empty when the image cannot be stored that way (pixel count not
// width * height, more than 256 colours for a palette, 15-bit with alpha).
std::vector<uint8_t> EncodeLossless(const Image& image, LosslessFormat format, bool alpha);

// ---------------------------------------------------------------------------------------------
// Timelines and movies.

// PlaceObject2 / PlaceObject3 fields; each present field sets its flag.
struct Place {
  uint16_t depth = 1;
  std::optional<uint16_t> characterId;
  bool move = false;
  std::optional<Matrix> matrix;
  std::optional<ColorTransform> colorTransform;  // written with alpha
  std::optional<uint16_t> ratio;
  std::optional<std::string> name;
  std::optional<uint16_t> clipDepth;
  // PlaceObject3 only.
  std::optional<std::string> className;
  std::optional<uint8_t> blendMode;
  std::optional<uint8_t> cacheAsBitmap;
  // A FILTERLIST as written, count byte included (EncodeEveryFilter makes one).
  std::optional<std::vector<uint8_t>> filters;
};

// A FILTERLIST with one filter of each of the eight kinds, in kind order.
std::vector<uint8_t> EncodeEveryFilter();
// A DefineMorphShape (version 1) or DefineMorphShape2 (version 2) body: rectangle `from`
// becoming rectangle `to`, its solid fill going from colour `a` to `b` and its outline from
// 20 to 60 twips wide.
std::vector<uint8_t> EncodeMorphRectangle(uint16_t id, const Rect& from, const Rect& to, Rgba a,
                                          Rgba b, int version);

// Control tags and frames; shared by the main timeline and sprites.
class Timeline {
 public:
  // Any tag, written verbatim with a header of the right length.
  Timeline& Tag(uint16_t code, std::span<const uint8_t> body, bool forceLongHeader = false);
  Timeline& Tag(TagCode code, std::span<const uint8_t> body, bool forceLongHeader = false) {
    return Tag(static_cast<uint16_t>(code), body, forceLongHeader);
  }
  // Bytes appended to the tag stream as they are (headers included, or broken on purpose).
  Timeline& AppendRaw(std::span<const uint8_t> bytes);

  Timeline& ShowFrame();
  Timeline& FrameLabel(std::string_view name, bool namedAnchor = false);
  // Action bytes as given; the caller ends them with ActionEnd (0) if it wants one.
  Timeline& DoAction(std::span<const uint8_t> actions);
  Timeline& PlaceObject(uint16_t characterId, uint16_t depth, const Matrix& m,
                        std::optional<ColorTransform> cx = {});
  Timeline& PlaceObject2(const Place& p);
  Timeline& PlaceObject3(const Place& p);
  Timeline& RemoveObject(uint16_t characterId, uint16_t depth);
  Timeline& RemoveObject2(uint16_t depth);

  // ShowFrame tags written so far.
  uint16_t FrameCount() const { return frames_; }
  // The tag stream so far, without an End tag.
  const std::vector<uint8_t>& Tags() const { return tags_; }

 protected:
  void Put(uint16_t code, const std::vector<uint8_t>& body, bool forceLong = false);

 private:
  std::vector<uint8_t> tags_;
  uint16_t frames_ = 0;
};

class Sprite : public Timeline {};

// Action bytecode for DoAction, a few records at a time. Bytes() ends it with ActionEnd.
class Actions {
 public:
  enum Op : uint8_t {
    kStop = 0x07,
    kStringAdd = 0x21,
    kGetVariable = 0x1C,
    kSetVariable = 0x1D,
    kTrace = 0x26,
  };
  Actions& Do(Op op) {
    bytes_.push_back(op);
    return *this;
  }
  Actions& Push(std::string_view text) {
    std::vector<uint8_t> p{0};
    p.insert(p.end(), text.begin(), text.end());
    p.push_back(0);
    return Record(0x96, p);
  }
  // `name` = `value`, both strings.
  Actions& Set(std::string_view name, std::string_view value) {
    return Push(name).Push(value).Do(kSetVariable);
  }
  Actions& TraceVariable(std::string_view name) { return Push(name).Do(kGetVariable).Do(kTrace); }
  Actions& GetUrl(std::string_view url, std::string_view target) {
    std::vector<uint8_t> p(url.begin(), url.end());
    p.push_back(0);
    p.insert(p.end(), target.begin(), target.end());
    p.push_back(0);
    return Record(0x83, p);
  }
  // URL and target from the stack (pushed in that order).
  Actions& GetUrl2(uint8_t flags = 0) { return Record(0x9A, {flags}); }
  Actions& Record(uint8_t code, const std::vector<uint8_t>& payload) {
    bytes_.push_back(code);
    bytes_.push_back(static_cast<uint8_t>(payload.size()));
    bytes_.push_back(static_cast<uint8_t>(payload.size() >> 8));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    return *this;
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = bytes_;
    out.push_back(0);
    return out;
  }

 private:
  std::vector<uint8_t> bytes_;
};

// DefineEditText. With `font` set and no `fontId`, the movie gets a glyph-less DefineFont2 of
// that name first: the field shows the text in that device font.
struct EditText {
  Rect bounds;
  std::string text;
  std::string font = "_sans";
  uint16_t fontId = 0;
  uint16_t height = 480;  // twips
  Rgba color{0, 0, 0, 255};
  bool border = false;  // border and background together, as the tag has them
  bool wordWrap = false, multiline = false, readOnly = true, noSelect = false, html = false;
  bool password = false, autoSize = false, useOutlines = false;
  std::optional<uint16_t> maxLength;
  std::string variable;
  // Layout: alignment (0 left, 1 right, 2 centre, 3 justify), margins, indent, leading.
  std::optional<uint8_t> align;
  uint16_t leftMargin = 0, rightMargin = 0, indent = 0;
  int16_t leading = 0;
};

// One glyph of an embedded font: `shape` has a single solid fill (its colour is not written)
// and no lines, in font units (1024 to the em).
struct FontGlyph {
  uint16_t code = 0;
  Shape shape;
  int16_t advance = 0;
};

// One DefineText record: a font, size, colour and position, and glyphs (index into the font,
// advance in twips).
struct TextRun {
  uint16_t fontId = 0;
  uint16_t height = 240;  // twips
  Rgba color{0, 0, 0, 255};
  int16_t x = 0, y = 0;
  std::vector<std::pair<uint16_t, int32_t>> glyphs;
};

struct MovieHeader {
  uint8_t version = 8;
  Rect stage{0, 11000, 0, 8000};
  double frameRate = 24;
  bool compressed = false;  // "CWS": everything after the first 8 bytes zlib-compressed
  // Written instead of the true values, for malformed-movie tests.
  std::optional<uint16_t> frameCount;
  std::optional<uint32_t> fileLength;
};

class Movie : public Timeline {
 public:
  explicit Movie(const MovieHeader& header = {}) : header_(header) {}

  MovieHeader& Header() { return header_; }
  // The id the next definition given id 0 will use.
  uint16_t NextId() const { return nextId_; }

  Movie& SetBackgroundColor(Rgba c);
  // DefineShape (version 1), DefineShape2, 3 or 4.
  uint16_t DefineShape(const Shape& shape, int version = 3, uint16_t id = 0);
  uint16_t DefineBitsLossless(const Image& image, LosslessFormat format, uint16_t id = 0) {
    return DefineLossless(image, format, false, id);
  }
  uint16_t DefineBitsLossless2(const Image& image, LosslessFormat format, uint16_t id = 0) {
    return DefineLossless(image, format, true, id);
  }
  Movie& JpegTables(std::span<const uint8_t> tables);
  // JPEG data without tables, decoded with the movie's JPEGTables.
  uint16_t DefineBits(std::span<const uint8_t> jpeg, uint16_t id = 0);
  uint16_t DefineBitsJpeg2(std::span<const uint8_t> jpeg, uint16_t id = 0);
  // `alpha` holds one byte per pixel, uncompressed; the builder compresses it.
  uint16_t DefineBitsJpeg3(std::span<const uint8_t> jpeg, std::span<const uint8_t> alpha,
                           uint16_t id = 0);
  uint16_t DefineSprite(const Sprite& sprite, uint16_t id = 0);
  // DefineButton2: records and condition actions, each action's conditions word written as
  // the format packs it (transition bits, the key code shifted left by 9).
  struct ButtonRecord {
    uint8_t states = 0;  // 1 up, 2 over, 4 down, 8 hit
    uint16_t characterId = 0;
    uint16_t depth = 1;
    Matrix matrix;
    ColorTransform colors;
  };
  struct ButtonAction {
    uint16_t conditions = 0;
    std::vector<uint8_t> actions;  // ended with ActionEnd by the caller
  };
  uint16_t DefineButton2(std::span<const ButtonRecord> records,
                         std::span<const ButtonAction> actions, bool trackAsMenu = false,
                         uint16_t id = 0);
  Movie& DoInitAction(uint16_t spriteId, std::span<const uint8_t> actions);
  Movie& ExportAssets(uint16_t characterId, std::string_view name);
  // A DefineFont2 without glyphs: a device font by name.
  uint16_t DefineDeviceFont(std::string_view name, bool bold = false, bool italic = false,
                            uint16_t id = 0);
  uint16_t DefineEditText(const EditText& field, uint16_t id = 0);
  // DefineFont2 with glyphs, wide codes and offsets, and a layout table.
  uint16_t DefineFont2(std::string_view name, std::span<const FontGlyph> glyphs, int16_t ascent,
                       int16_t descent, int16_t leading = 0, uint16_t id = 0);
  // DefineText (RGB colours) or, with `alpha`, DefineText2.
  uint16_t DefineText(const Rect& bounds, const Matrix& matrix, std::span<const TextRun> runs,
                      bool alpha = false, uint16_t id = 0);

  // The whole file, with the End tag. Header values come from the header and the timeline,
  // except those the header overrides.
  std::vector<uint8_t> Build() const;
  // Build() written to `path`; false when the file cannot be written.
  bool Save(const std::string& path) const;

 private:
  // DefineBitsLossless (no alpha) or DefineBitsLossless2.
  uint16_t DefineLossless(const Image& image, LosslessFormat format, bool alpha, uint16_t id);
  uint16_t TakeId(uint16_t id);

  MovieHeader header_;
  uint16_t nextId_ = 1;
};

}  // namespace swfb
