#include "player/text/device_fonts_native.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

namespace swf {
namespace {

// Sizes outside this range are drawn at its ends: a movie cannot ask for glyph bitmaps of
// any size it likes.
constexpr double kMinSize = 1, kMaxSize = 512;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

// The face that stands in for a name movies use, where a metric-compatible one exists.
std::string StandIn(std::string_view face) {
  const std::string name = Lower(face);
  if (name == "_sans" || name == "arial" || name == "helvetica") return "Liberation Sans";
  if (name == "_serif" || name == "times new roman" || name == "times") return "Liberation Serif";
  if (name == "_typewriter" || name == "courier new" || name == "courier") return "Liberation Mono";
  return std::string(face);
}

uint32_t Blend(uint32_t dst, Rgba c, unsigned coverage) {
  const unsigned a = (c.a * coverage + 127) / 255;
  if (a == 0) return dst;
  const unsigned inv = 255 - a;
  auto channel = [&](unsigned src, int shift) {
    const unsigned d = (dst >> shift) & 0xFF;
    return ((src * a + 127) / 255 + (d * inv + 127) / 255) & 0xFF;
  };
  const unsigned da = dst >> 24;
  const unsigned outA = std::min(255u, a + (da * inv + 127) / 255);
  return channel(c.b, 0) | (channel(c.g, 8) << 8) | (channel(c.r, 16) << 16) | (outA << 24);
}

}  // namespace

struct NativeDeviceFonts::Impl {
  FT_Library library = nullptr;
  FcConfig* config = nullptr;
  std::map<std::tuple<std::string, bool, bool>, std::string> files;  // by name, bold, italic
  std::map<std::string, FT_Face> faces;                              // by file

  std::string Find(const DeviceFontSpec& spec) {
    const auto key = std::make_tuple(Lower(spec.face), spec.bold, spec.italic);
    if (auto it = files.find(key); it != files.end()) return it->second;
    std::string file = Match(StandIn(spec.face), spec.bold, spec.italic, true);
    if (file.empty()) file = Match("DejaVu Sans", spec.bold, spec.italic, false);
    files[key] = file;
    return file;
  }

  // The file fontconfig picks for `family`; with `exact`, only a face of that family.
  std::string Match(const std::string& family, bool bold, bool italic, bool exact) {
    if (!config) return {};
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return {};
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    std::string file;
    if (match) {
      FcChar8* path = nullptr;
      FcChar8* matched = nullptr;
      const bool sameFamily =
          FcPatternGetString(match, FC_FAMILY, 0, &matched) == FcResultMatch &&
          Lower(reinterpret_cast<const char*>(matched)) == Lower(family);
      if ((!exact || sameFamily || Lower(family).rfind("dejavu", 0) == 0) &&
          FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        file = reinterpret_cast<const char*>(path);
      }
      FcPatternDestroy(match);
    }
    return file;
  }

  FT_Face Face(const DeviceFontSpec& spec) {
    const std::string file = Find(spec);
    if (file.empty() || !library) return nullptr;
    if (auto it = faces.find(file); it != faces.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), 0, &face) != 0) face = nullptr;
    faces[file] = face;
    return face;
  }

  // Sets the face to the run's size; false when it cannot be used.
  static bool Size(FT_Face face, double size) {
    const double px = std::clamp(size, kMinSize, kMaxSize);
    return face && FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(px * 64)), 72,
                                    72) == 0;
  }

  // Whole-pixel advances from the unhinted outlines: the same on every machine with the same
  // font files, whatever hinting the system prefers.
  static double Advance(FT_Face face, char32_t c) {
    if (FT_Load_Char(face, c, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return 0;
    return std::round(face->glyph->linearHoriAdvance / 65536.0);
  }
};

NativeDeviceFonts::NativeDeviceFonts() : impl_(std::make_unique<Impl>()) {
  if (FT_Init_FreeType(&impl_->library) != 0) impl_->library = nullptr;
  impl_->config = FcInitLoadConfigAndFonts();
}

NativeDeviceFonts::~NativeDeviceFonts() {
  for (auto& [file, face] : impl_->faces) {
    if (face) FT_Done_Face(face);
  }
  if (impl_->library) FT_Done_FreeType(impl_->library);
  if (impl_->config) FcConfigDestroy(impl_->config);
}

std::string NativeDeviceFonts::ResolvedFile(const DeviceFontSpec& font) {
  return impl_->Find(font);
}

bool NativeDeviceFonts::Measure(const DeviceFontSpec& font, std::u32string_view text,
                                DeviceMetrics& out) {
  FT_Face face = impl_->Face(font);
  if (!Impl::Size(face, font.size)) return false;
  const double scale = font.size / std::clamp(font.size, kMinSize, kMaxSize);
  out.ascent = std::round(face->size->metrics.ascender / 64.0 * scale);
  out.descent = std::round(-face->size->metrics.descender / 64.0 * scale);
  out.advances.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) out.advances[i] = Impl::Advance(face, text[i]) * scale;
  return true;
}

void NativeDeviceFonts::Draw(const Canvas& canvas, const DeviceTextRun& run) {
  FT_Face face = impl_->Face(run.font);
  if (!canvas.base || run.font.size < 1 || !Impl::Size(face, run.font.size)) return;
  PixelRect clip = run.clip;
  clip.left = std::max({clip.left, canvas.clip.left, 0});
  clip.top = std::max({clip.top, canvas.clip.top, 0});
  clip.right = std::min({clip.right, canvas.clip.right, canvas.width});
  clip.bottom = std::min({clip.bottom, canvas.clip.bottom, canvas.height});
  if (clip.Empty() || !std::isfinite(run.origin.x) || !std::isfinite(run.origin.y)) return;
  if (std::abs(run.origin.x) > 1e6 || std::abs(run.origin.y) > 1e6) return;
  double pen = std::round(run.origin.x);
  const int baseline = static_cast<int>(std::lround(run.origin.y));
  for (char32_t c : run.text) {
    const double advance = Impl::Advance(face, c);
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) == 0) {
      const FT_GlyphSlot g = face->glyph;
      const FT_Bitmap& bm = g->bitmap;
      if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
        const int left = static_cast<int>(pen) + g->bitmap_left;
        const int top = baseline - g->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row) {
          const int y = top + static_cast<int>(row);
          if (y < clip.top || y >= clip.bottom) continue;
          uint32_t* dst = canvas.Row(y);
          const uint8_t* src = bm.buffer + static_cast<ptrdiff_t>(row) * bm.pitch;
          for (unsigned col = 0; col < bm.width; ++col) {
            const int x = left + static_cast<int>(col);
            if (x < clip.left || x >= clip.right || src[col] == 0) continue;
            dst[x] = Blend(dst[x], run.color, src[col]);
          }
        }
      }
    }
    pen += advance;
    if (pen > clip.right + 1e4) break;
  }
}

}  // namespace swf
