#include "player/movie.h"

#include <algorithm>
#include <cstring>

#include "player/ascii.h"
#include "player/bitmap_parser.h"
#include "player/byte_reader.h"
#include "player/shape_parser.h"
#include "player/text/text_parser.h"

namespace swf {
namespace {

constexpr uint16_t kMaxFrames = 0xFFFF;

struct ParseState {
  std::span<const uint8_t> file;  // the uncompressed file, to turn positions into offsets
  Movie& movie;
  size_t elementBudget = kMaxMovieElements;
  size_t pixelBudget = kMaxMovieBitmapPixels;
  std::span<const uint8_t> jpegTables;
  // Where the main timeline's data ran out in the middle of a tag, if it did.
  MovieError cut;

  size_t OffsetOf(std::span<const uint8_t> part) const {
    return static_cast<size_t>(part.data() - file.data());
  }
};

MovieError TagError(ErrorKind kind, const Tag& tag) { return {kind, tag.code, tag.offset}; }

double Fixed16(ByteReader& r) { return static_cast<int32_t>(r.U32()) / 65536.0; }
double Fixed8(ByteReader& r) { return static_cast<int16_t>(r.U16()) / 256.0; }
float Float32(ByteReader& r) {
  const uint32_t bits = r.U32();
  float f;
  static_assert(sizeof f == sizeof bits);
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// The flag byte that ends the shadow, glow and bevel records.
void ReadFilterFlags(ByteReader& r, Filter& f, bool hasOnTop) {
  const uint8_t flags = r.U8();
  f.inner = flags & 0x80;
  f.knockout = flags & 0x40;
  f.hideObject = !(flags & 0x20);
  if (hasOnTop) f.onTop = flags & 0x10;
  f.passes = hasOnTop ? flags & 0x0F : flags & 0x1F;
}

// FILTERLIST. False when a record is unknown or cut short.
bool ReadFilters(ByteReader& r, std::vector<Filter>& out) {
  const uint8_t count = r.U8();
  if (count > kMaxFiltersPerObject) return false;
  for (uint8_t i = 0; i < count && r.Ok(); ++i) {
    Filter f;
    const uint8_t kind = r.U8();
    if (kind > static_cast<uint8_t>(FilterKind::GradientBevel)) return false;
    f.kind = static_cast<FilterKind>(kind);
    switch (f.kind) {
      case FilterKind::DropShadow:
      case FilterKind::Glow:
        f.color = r.RgbaColor();
        f.blurX = Fixed16(r);
        f.blurY = Fixed16(r);
        if (f.kind == FilterKind::DropShadow) {
          f.angle = Fixed16(r);
          f.distance = Fixed16(r);
        }
        f.strength = Fixed8(r);
        ReadFilterFlags(r, f, false);
        break;
      case FilterKind::Blur: {
        f.blurX = Fixed16(r);
        f.blurY = Fixed16(r);
        f.passes = r.U8() >> 3;
        break;
      }
      case FilterKind::Bevel:
        // Stored highlight first, whatever the record's field names suggest.
        f.highlight = r.RgbaColor();
        f.color = r.RgbaColor();
        f.blurX = Fixed16(r);
        f.blurY = Fixed16(r);
        f.angle = Fixed16(r);
        f.distance = Fixed16(r);
        f.strength = Fixed8(r);
        ReadFilterFlags(r, f, true);
        break;
      case FilterKind::GradientGlow:
      case FilterKind::GradientBevel: {
        const uint8_t colors = r.U8();
        f.stops.resize(colors);
        for (FilterStop& stop : f.stops) stop.color = r.RgbaColor();
        for (FilterStop& stop : f.stops) stop.ratio = r.U8();
        f.blurX = Fixed16(r);
        f.blurY = Fixed16(r);
        f.angle = Fixed16(r);
        f.distance = Fixed16(r);
        f.strength = Fixed8(r);
        ReadFilterFlags(r, f, true);
        break;
      }
      case FilterKind::Convolution: {
        f.columns = r.U8();
        f.rows = r.U8();
        f.divisor = Float32(r);
        f.bias = Float32(r);
        f.kernel.resize(static_cast<size_t>(f.columns) * f.rows);
        for (float& k : f.kernel) k = Float32(r);
        f.defaultColor = r.RgbaColor();
        const uint8_t flags = r.U8();
        f.clamp = flags & 0x02;
        f.preserveAlpha = flags & 0x01;
        break;
      }
      case FilterKind::ColorMatrix:
        for (float& m : f.matrix) m = Float32(r);
        break;
    }
    if (r.Ok()) out.push_back(std::move(f));
  }
  return r.Ok();
}

// The onClipEvent handlers after a PlaceObject2/3. Handlers read before damage are kept.
void ReadClipActions(ByteReader& r, int version, std::vector<ClipAction>& out) {
  // SWF 5 stores event flags in 16 bits, later versions in 32.
  auto flags = [&]() -> uint32_t { return version >= 6 ? r.U32() : r.U16(); };
  r.U16();  // reserved
  flags();  // the union of all handlers' events
  for (;;) {
    const uint32_t events = flags();
    if (!r.Ok() || events == 0) return;
    uint32_t size = r.U32();
    ClipAction action;
    action.events = events;
    if (events & kEventKeyPress) {
      action.keyCode = r.U8();
      if (size > 0) --size;
    }
    const std::span<const uint8_t> rest = r.Rest();
    if (!r.Ok() || size > rest.size()) return;
    action.bytes.assign(rest.begin(), rest.begin() + size);
    r = ByteReader(rest.subspan(size));
    out.push_back(std::move(action));
  }
}

ErrorKind ReadPlaceObject(TagCode code, std::span<const uint8_t> body, int version,
                          PlaceObject& out) {
  ByteReader r(body);
  if (code == TagCode::PlaceObject) {
    out.characterId = r.U16();
    out.depth = r.U16();
    out.matrix = r.MatrixRecord();
    if (r.Ok() && !r.AtEnd()) out.colorTransform = r.ColorTransformRecord(false);
    return r.Ok() ? ErrorKind::None : ErrorKind::Truncated;
  }
  // The fields present, first flag byte (PlaceObject2 and 3) ...
  enum : uint8_t {
    kMove = 0x01,
    kHasCharacter = 0x02,
    kHasMatrix = 0x04,
    kHasColorTransform = 0x08,
    kHasRatio = 0x10,
    kHasName = 0x20,
    kHasClipDepth = 0x40,
    kHasClipActions = 0x80,
  };
  // ... and second (PlaceObject3).
  enum : uint8_t {
    kHasFilters = 0x01,
    kHasBlendMode = 0x02,
    kHasCacheAsBitmap = 0x04,
    kHasClassName = 0x08,
    kHasImage = 0x10,
    kHasVisible = 0x20,
    kHasOpaqueBackground = 0x40,
  };
  const uint8_t flags = r.U8();
  const uint8_t flags2 = code == TagCode::PlaceObject3 ? r.U8() : 0;
  out.depth = r.U16();
  out.move = flags & kMove;
  if ((flags2 & kHasClassName) || ((flags2 & kHasImage) && (flags & kHasCharacter))) r.String();
  if (flags & kHasCharacter) out.characterId = r.U16();
  if (flags & kHasMatrix) out.matrix = r.MatrixRecord();
  if (flags & kHasColorTransform) out.colorTransform = r.ColorTransformRecord(true);
  if (flags & kHasRatio) out.ratio = r.U16();
  if (flags & kHasName) out.name = r.String();
  if (flags & kHasClipDepth) out.clipDepth = r.U16();
  if (!r.Ok()) return ErrorKind::Truncated;
  // What follows (filters, blend mode, caching, clip actions) is read as far as it is intact;
  // a damaged tail is not worth refusing the movie for.
  if (flags2 & kHasFilters) {
    std::vector<Filter> filters;
    if (!ReadFilters(r, filters)) return ErrorKind::None;
    out.filters = std::move(filters);
  }
  if (flags2 & kHasBlendMode) {
    const uint8_t blend = r.U8();
    if (r.Ok()) out.blendMode = blend == 0 ? 1 : blend;
  }
  if (flags2 & kHasCacheAsBitmap) {
    // Writers that set the flag without the byte exist; the flag alone turns caching on.
    const uint8_t cache = r.Remaining() ? r.U8() : 1;
    out.cacheAsBitmap = cache != 0;
  }
  if (flags2 & kHasVisible) {
    const uint8_t visible = r.U8();
    if (r.Ok()) out.visible = visible != 0;
  }
  if (flags2 & kHasOpaqueBackground) {
    const Rgba background = r.RgbaColor();
    if (r.Ok()) out.opaqueBackground = background;
  }
  if ((flags & kHasClipActions) && r.Ok()) ReadClipActions(r, version, out.clipActions);
  return ErrorKind::None;
}

// DefineButton and DefineButton2. A record or action cut short refuses the button.
ErrorKind ReadButton(TagCode code, std::span<const uint8_t> body, size_t& budget, uint16_t& id,
                     Button& out) {
  ByteReader r(body);
  id = r.U16();
  const bool second = code == TagCode::DefineButton2;
  out.firstKind = !second;
  size_t actionsAt = 0;
  if (second) {
    out.trackAsMenu = r.U8() & 1;
    const size_t offsetField = r.Position();
    const uint16_t offset = r.U16();
    if (offset) actionsAt = offsetField + offset;
  }
  enum : uint8_t { kHasFilters = 0x10, kHasBlendMode = 0x20 };
  for (;;) {
    const uint8_t flags = r.U8();
    if (!r.Ok()) return ErrorKind::Truncated;
    if (flags == 0) break;
    if (budget == 0) return ErrorKind::TooLarge;
    --budget;
    ButtonRecord record;
    record.states = flags & 0x0F;
    record.characterId = r.U16();
    record.depth = r.U16();
    record.matrix = r.MatrixRecord();
    if (second) {
      record.colors = r.ColorTransformRecord(true);
      if (flags & kHasFilters) {
        const size_t start = r.Position();
        std::vector<Filter> filters;
        if (!ReadFilters(r, filters)) return ErrorKind::Malformed;
        record.filters.assign(body.begin() + static_cast<ptrdiff_t>(start),
                              body.begin() + static_cast<ptrdiff_t>(r.Position()));
      }
      if (flags & kHasBlendMode) record.blendMode = r.U8();
    }
    if (!r.Ok()) return ErrorKind::Truncated;
    out.records.push_back(std::move(record));
  }
  if (!second) {
    const auto rest = r.Rest();
    out.actions.push_back({kCondOverDownToOverUp, 0, {false, 0, {rest.begin(), rest.end()}}});
    return ErrorKind::None;
  }
  if (!actionsAt) return ErrorKind::None;
  if (actionsAt < r.Position() || actionsAt > body.size()) return ErrorKind::Malformed;
  std::span<const uint8_t> rest = body.subspan(actionsAt);
  while (!rest.empty()) {
    ByteReader a(rest);
    const uint16_t size = a.U16();
    const uint16_t conditions = a.U16();
    if (!a.Ok() || (size != 0 && size < 4) || size > rest.size()) return ErrorKind::Malformed;
    if (budget == 0) return ErrorKind::TooLarge;
    --budget;
    const auto bytes = rest.subspan(4, (size ? size : rest.size()) - 4);
    ButtonAction action;
    action.conditions = conditions & 0x1FF;
    action.keyCode = static_cast<uint8_t>(conditions >> 9);
    action.block.bytes.assign(bytes.begin(), bytes.end());
    out.actions.push_back(std::move(action));
    if (size == 0) break;
    rest = rest.subspan(size);
  }
  return ErrorKind::None;
}

bool IsDefinition(TagCode code) {
  switch (code) {
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineShape4:
    case TagCode::DefineBits:
    case TagCode::DefineBitsJpeg2:
    case TagCode::DefineBitsJpeg3:
    case TagCode::DefineBitsJpeg4:
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2:
    case TagCode::DefineSprite:
    case TagCode::DefineButton:
    case TagCode::DefineButton2:
    case TagCode::DefineButtonCxform:
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2:
    case TagCode::JpegTables:
    case TagCode::SetBackgroundColor:
    case TagCode::ExportAssets:
    case TagCode::ScriptLimits:
    case TagCode::FileAttributes:
    case TagCode::DefineSound:
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
    case TagCode::DefineFont3:
    case TagCode::DefineFontInfo:
    case TagCode::DefineFontInfo2:
    case TagCode::DefineFontName:
    case TagCode::DefineFontAlignZones:
    case TagCode::DefineText:
    case TagCode::DefineText2:
    case TagCode::DefineEditText:
    case TagCode::DefineVideoStream:
      return true;
    default:
      return false;
  }
}

MovieError ParseTimeline(std::span<const uint8_t> data, uint16_t declaredFrames, bool root,
                         ParseState& st, Timeline& out);

MovieError ParseDefinition(const Tag& tag, ParseState& st) {
  const TagCode code = static_cast<TagCode>(tag.code);
  Movie& movie = st.movie;
  uint16_t id = 0;
  ErrorKind kind = ErrorKind::None;
  switch (code) {
    case TagCode::SetBackgroundColor: {
      ByteReader r(tag.body);
      const Rgba color = r.Rgb();
      if (!r.Ok()) return TagError(ErrorKind::Truncated, tag);
      movie.background = color;
      return {};
    }
    case TagCode::JpegTables:
      st.jpegTables = tag.body;
      return {};
    case TagCode::ScriptLimits: {
      // The timeout is the host's business; a movie left without any recursion at all would
      // not even run its frame scripts, so a depth of 0 is taken as one.
      ByteReader r(tag.body);
      const uint16_t depth = r.U16();
      if (r.Ok()) movie.maxRecursion = std::max<uint16_t>(depth, 1);
      return {};
    }
    case TagCode::FileAttributes: {
      ByteReader r(tag.body);
      const uint8_t flags = r.U8();
      if (r.Ok()) movie.useNetwork = (flags & 1) != 0;
      return {};
    }
    case TagCode::DefineSound: {
      ByteReader r(tag.body);
      id = r.U16();
      const uint8_t format = r.U8();
      const uint32_t samples = r.U32();
      if (!r.Ok()) return TagError(ErrorKind::Truncated, tag);
      static constexpr double kRates[] = {5512.5, 11025, 22050, 44100};
      movie.sounds.try_emplace(id, Movie::SoundInfo{samples, kRates[(format >> 2) & 3]});
      return {};
    }
    case TagCode::ExportAssets: {
      ByteReader r(tag.body);
      const uint16_t count = r.U16();
      for (uint16_t i = 0; i < count && r.Ok(); ++i) {
        const uint16_t character = r.U16();
        std::string name = r.String();
        // A later export of a name replaces the earlier one.
        if (r.Ok())
          movie.exports.insert_or_assign(std::move(name),
                                         Movie::Export{character, movie.timeline.frames.size()});
      }
      return {};
    }
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineShape4: {
      Shape shape;
      kind = ParseShape(code, tag.body, id, shape, st.elementBudget);
      if (kind == ErrorKind::None) movie.dictionary.try_emplace(id, std::move(shape));
      break;
    }
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2: {
      MorphShape morph;
      kind = ParseMorphShape(code, tag.body, id, morph, st.elementBudget);
      if (kind == ErrorKind::None) movie.dictionary.try_emplace(id, std::move(morph));
      break;
    }
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2: {
      Bitmap bitmap;
      kind = ParseLossless(code, tag.body, st.pixelBudget, id, bitmap);
      if (kind == ErrorKind::None) movie.dictionary.try_emplace(id, std::move(bitmap));
      break;
    }
    case TagCode::DefineBits:
    case TagCode::DefineBitsJpeg2:
    case TagCode::DefineBitsJpeg3:
    case TagCode::DefineBitsJpeg4: {
      std::optional<Bitmap> bitmap;
      kind = ParseJpeg(code, tag.body, st.jpegTables, st.pixelBudget, id, bitmap);
      if (kind == ErrorKind::None && bitmap) movie.dictionary.try_emplace(id, std::move(*bitmap));
      break;
    }
    case TagCode::DefineButton:
    case TagCode::DefineButton2: {
      Button button;
      kind = ReadButton(code, tag.body, st.elementBudget, id, button);
      if (kind == ErrorKind::None) movie.dictionary.try_emplace(id, std::move(button));
      break;
    }
    case TagCode::DefineButtonCxform: {
      // Colours for the records of a button of the first kind, which has no place for them.
      ByteReader r(tag.body);
      id = r.U16();
      const ColorTransform colors = r.ColorTransformRecord(false);
      if (!r.Ok()) return TagError(ErrorKind::Truncated, tag);
      auto it = movie.dictionary.find(id);
      if (Button* button = it == movie.dictionary.end() ? nullptr : std::get_if<Button>(&it->second);
          button && button->firstKind) {
        for (ButtonRecord& record : button->records) record.colors = colors;
      }
      return {};
    }
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
    case TagCode::DefineFont3: {
      Font font;
      kind = ParseFont(code, tag.body, movie.header.version, id, font, st.elementBudget);
      if (kind == ErrorKind::None) movie.dictionary.try_emplace(id, std::move(font));
      break;
    }
    case TagCode::DefineFontInfo:
    case TagCode::DefineFontInfo2: {
      FontInfo info;
      kind = ParseFontInfo(code, tag.body, id, info);
      auto it = movie.dictionary.find(id);
      if (kind == ErrorKind::None && it != movie.dictionary.end()) {
        if (Font* font = std::get_if<Font>(&it->second)) ApplyFontInfo(info, *font);
      }
      break;
    }
    case TagCode::DefineFontName:
    case TagCode::DefineFontAlignZones: {
      // The full name (with its style words) is for display; fields ask for the family name
      // the font itself carries.
      std::string name;
      kind = ParseFontExtra(code, tag.body, id, name);
      break;
    }
    case TagCode::DefineText:
    case TagCode::DefineText2: {
      Shape text;
      StaticText says;
      const FontLookup fonts = [&movie](uint16_t fontId) {
        return std::get_if<Font>(movie.Find(fontId));
      };
      kind = ParseStaticText(code, tag.body, fonts, id, text, says, st.elementBudget);
      if (kind == ErrorKind::None && movie.dictionary.try_emplace(id, std::move(text)).second) {
        movie.staticTexts.try_emplace(id, std::move(says));
      }
      break;
    }
    case TagCode::DefineEditText: {
      EditTextDef field;
      kind = ParseEditText(tag.body, id, field);
      if (kind == ErrorKind::None) movie.dictionary.try_emplace(id, std::move(field));
      break;
    }
    case TagCode::DefineVideoStream: {
      ByteReader r(tag.body);
      id = r.U16();
      VideoStream video;
      video.frameCount = r.U16();
      video.width = r.U16();
      video.height = r.U16();
      const uint8_t flags = r.U8();
      video.codec = r.U8();
      if (!r.Ok()) return TagError(ErrorKind::Truncated, tag);
      video.deblocking = (flags >> 1) & 7;
      video.smoothing = (flags & 1) != 0;
      movie.dictionary.try_emplace(id, video);
      break;
    }
    case TagCode::DefineSprite: {
      ByteReader r(tag.body);
      id = r.U16();
      const uint16_t frames = r.U16();
      if (!r.Ok()) return TagError(ErrorKind::Truncated, tag);
      Sprite sprite;
      sprite.byteLength = static_cast<uint32_t>(tag.body.size() - 4);
      if (MovieError e = ParseTimeline(r.Rest(), frames, false, st, sprite.timeline); !e.Ok()) {
        return e;
      }
      movie.dictionary.try_emplace(id, std::move(sprite));
      break;
    }
    default:
      break;
  }
  if (kind != ErrorKind::None) return TagError(kind, tag);
  return {};
}

MovieError ParseTimeline(std::span<const uint8_t> data, uint16_t declaredFrames, bool root,
                         ParseState& st, Timeline& out) {
  TagStream tags(data, st.OffsetOf(data));
  Frame frame;
  bool frameHasContent = false;
  Tag tag;
  auto charge = [&]() { return st.elementBudget > 0 ? (--st.elementBudget, true) : false; };
  while (tags.Next(tag)) {
    const TagCode code = static_cast<TagCode>(tag.code);
    switch (code) {
      case TagCode::ShowFrame:
        if (out.frames.size() >= kMaxFrames || !charge()) return TagError(ErrorKind::TooLarge, tag);
        out.frames.push_back(std::move(frame));
        frame = {};
        frameHasContent = false;
        break;
      case TagCode::PlaceObject:
      case TagCode::PlaceObject2:
      case TagCode::PlaceObject3: {
        PlaceObject place;
        if (ErrorKind e = ReadPlaceObject(code, tag.body, st.movie.header.version, place);
            e != ErrorKind::None) {
          return TagError(e, tag);
        }
        if (!charge()) return TagError(ErrorKind::TooLarge, tag);
        frame.commands.emplace_back(std::move(place));
        frameHasContent = true;
        break;
      }
      case TagCode::RemoveObject:
      case TagCode::RemoveObject2: {
        ByteReader r(tag.body);
        if (code == TagCode::RemoveObject) r.U16();  // the character id is not needed
        RemoveObject remove{r.U16()};
        if (!r.Ok()) return TagError(ErrorKind::Truncated, tag);
        if (!charge()) return TagError(ErrorKind::TooLarge, tag);
        frame.commands.emplace_back(remove);
        frameHasContent = true;
        break;
      }
      case TagCode::FrameLabel: {
        ByteReader r(tag.body);
        std::string label = r.String();
        if (!r.Ok()) return TagError(ErrorKind::Malformed, tag);
        frame.labels.push_back(std::move(label));
        frameHasContent = true;
        break;
      }
      case TagCode::DoAction:
        frame.actions.push_back({false, 0, {tag.body.begin(), tag.body.end()}, frame.commands.size()});
        frameHasContent = true;
        break;
      case TagCode::DoInitAction: {
        ByteReader r(tag.body);
        const uint16_t sprite = r.U16();
        if (!r.Ok()) return TagError(ErrorKind::Truncated, tag);
        const auto bytes = r.Rest();
        frame.actions.push_back({true, sprite, {bytes.begin(), bytes.end()}, frame.commands.size()});
        frameHasContent = true;
        break;
      }
      default:
        // Definitions belong to the movie; inside a sprite they are not allowed and skipped.
        if (root && IsDefinition(code)) {
          if (MovieError e = ParseDefinition(tag, st); !e.Ok()) return e;
        }
        break;
    }
  }
  if (!tags.error().Ok()) {
    // A sprite cut short is a broken definition; a main timeline cut short (a download that
    // stopped) plays what arrived.
    if (!root) return tags.error();
    st.cut = tags.error();
  }
  // Commands after the last ShowFrame still make a frame, as players show them.
  if (frameHasContent && out.frames.size() < kMaxFrames) out.frames.push_back(std::move(frame));
  if (!root) {
    out.loops = tags.ended() && !frameHasContent;
    out.playFrames = std::max<size_t>(1, out.frames.size());
  }
  out.frameCount =
      static_cast<uint16_t>(std::max<size_t>({size_t{1}, declaredFrames, out.frames.size()}));
  return {};
}

}  // namespace

const Frame& Timeline::At(size_t index) const {
  static const Frame kEmpty;
  return index < frames.size() ? frames[index] : kEmpty;
}

std::optional<size_t> Timeline::FindLabel(std::string_view label) const {
  for (size_t i = 0; i < frames.size(); ++i) {
    for (const std::string& l : frames[i].labels) {
      if (EqualsIgnoringCase(l, label)) return i;
    }
  }
  return std::nullopt;
}

const Character* Movie::Find(uint16_t id) const {
  auto it = dictionary.find(id);
  return it == dictionary.end() ? nullptr : &it->second;
}

const Bitmap* Movie::FindBitmap(uint16_t id) const { return std::get_if<Bitmap>(Find(id)); }

std::optional<uint16_t> Movie::FindExport(std::string_view name, size_t framesReached) const {
  for (const auto& [exported, e] : exports) {
    if (EqualsIgnoringCase(exported, name) && e.frame < framesReached) return e.character;
  }
  return std::nullopt;
}

MovieError ParseMovie(std::span<const uint8_t> file, Movie& out) {
  out.header = {};
  out.background = {255, 255, 255, 255};
  out.timeline = {};
  out.dictionary.clear();
  out.exports.clear();
  MovieFile container;
  if (MovieError e = ReadMovieFile(file, container); !e.Ok()) return e;
  out.header = container.header;
  ParseState st{container.bytes, out, kMaxMovieElements, kMaxMovieBitmapPixels, {}, {}};
  const auto tags = std::span<const uint8_t>(container.bytes).subspan(container.tagsOffset);
  if (MovieError e = ParseTimeline(tags, container.header.frameCount, true, st, out.timeline);
      !e.Ok()) {
    return e;
  }
  const MovieError cut = container.cut.Ok() ? st.cut : container.cut;
  if (cut.Ok()) return {};
  // What arrived before the cut plays when there is any of it: something to show or to run.
  const auto& frames = out.timeline.frames;
  if (std::any_of(frames.begin(), frames.end(),
                  [](const Frame& f) { return !f.commands.empty() || !f.actions.empty(); })) {
    return {};
  }
  out.timeline = {};
  out.dictionary.clear();
  return cut;
}

}  // namespace swf
