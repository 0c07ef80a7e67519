#pragma once
// The control's decisions that need no window or COM call: what a movie text names, how often
// the frame clock ticks, how the property texts read, and where the movie's canvas lies in a
// locked piece of the host's bitmap. Kept free of <windows.h> so that they read on their own.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "player/ascii.h"
#include "player/canvas.h"
#include "player/geometry.h"

namespace brim::control {

// Texts a caller hands the control are refused beyond these lengths (in characters).
inline constexpr size_t kMaxMovieTextChars = 2048;
inline constexpr size_t kMaxPropertyTextChars = 4096;
inline constexpr size_t kMaxVariableNameChars = 1024;
inline constexpr size_t kMaxVariableValueChars = 65536;
// A movie file larger than this is refused before it is read into memory.
inline constexpr uint64_t kMaxMovieFileBytes = 256u << 20;

// The highest SWF version the engine plays, as FlashVersion reports it (major in the high word).
inline constexpr long kPlayerVersion = 8L << 16;

// A movie whose header gives no usable rate plays at the authoring tools' default.
inline constexpr double kDefaultFrameRate = 12;

// Milliseconds between frames for a movie's frame rate, kept within 1..1000 frames a second.
inline uint32_t FrameIntervalMs(double framesPerSecond) {
  double rate = framesPerSecond;
  if (!(rate > 0) || !std::isfinite(rate)) rate = kDefaultFrameRate;
  rate = std::clamp(rate, 1.0, 1000.0);
  return static_cast<uint32_t>(std::lround(1000.0 / rate));
}

using swf::EqualsIgnoringCase;

enum class WindowMode { Window, Opaque, Transparent };

// Unknown texts mean a plain window, as for a movie embedded without the parameter.
inline WindowMode ParseWindowMode(std::wstring_view text) {
  if (EqualsIgnoringCase(text, "transparent")) return WindowMode::Transparent;
  if (EqualsIgnoringCase(text, "opaque")) return WindowMode::Opaque;
  return WindowMode::Window;
}

// Scale texts, indexed by the numbers get_ScaleMode reports (0 show all .. 3 no scale).
inline constexpr std::string_view kScaleNames[] = {"showall", "noborder", "exactfit", "noscale"};

inline std::optional<int> ParseScale(std::wstring_view text) {
  for (int i = 0; i < 4; ++i) {
    if (EqualsIgnoringCase(text, kScaleNames[i])) return i;
  }
  return std::nullopt;
}

// A hexadecimal digit's value, or -1.
inline int HexDigit(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// "#RRGGBB" or "RRGGBB" as 0xRRGGBB.
inline std::optional<long> ParseHtmlColor(std::wstring_view text) {
  if (!text.empty() && text.front() == L'#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  long value = 0;
  for (wchar_t c : text) {
    const int digit = HexDigit(static_cast<uint32_t>(c));
    if (digit < 0) return std::nullopt;
    value = value * 16 + digit;
  }
  return value;
}

// The movie property's way of saying "no movie".
inline bool IsUnloadRequest(std::wstring_view text) { return text.empty() || text == L"."; }

// The file a movie text names, in UTF-8 with backslashes: a plain path as it is, or a file URL
// ("file:///C:/dir/a%20b.swf", "file://server/share/x.swf", "file:///C|/x.swf"). Other URL
// schemes, malformed escapes and escaped NULs give nothing: the control reads local files only.
inline std::optional<std::string> MoviePathFromText(std::string_view text) {
  const size_t scheme = text.find("://");
  if (scheme != std::string_view::npos && scheme >= 2 &&
      std::all_of(text.begin(), text.begin() + scheme,
                  [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); })) {
    if (!EqualsIgnoringCase(text.substr(0, scheme), "file")) return std::nullopt;
  }
  std::string path;
  if (text.size() >= 5 && EqualsIgnoringCase(text.substr(0, 5), "file:")) {
    std::string_view rest = text.substr(5);
    if (rest.substr(0, 3) == "///") {
      rest.remove_prefix(3);
    } else if (rest.size() >= 12 && EqualsIgnoringCase(rest.substr(0, 12), "//localhost/")) {
      rest.remove_prefix(12);
    } else if (rest.substr(0, 2) == "//") {
      path = "\\\\";  // a server's share
      rest.remove_prefix(2);
    }
    for (size_t i = 0; i < rest.size(); ++i) {
      char c = rest[i];
      if (c == '%') {
        if (i + 2 >= rest.size()) return std::nullopt;
        const int high = HexDigit(static_cast<unsigned char>(rest[i + 1]));
        const int low = HexDigit(static_cast<unsigned char>(rest[i + 2]));
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        c = static_cast<char>(high * 16 + low);
        i += 2;
      }
      path.push_back(c);
    }
    // Old-style drive letters: "C|/dir".
    if (path.size() >= 2 && path[1] == '|') path[1] = ':';
  } else {
    path.assign(text);
  }
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

struct IntRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
};

inline IntRect Intersect(const IntRect& a, const IntRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// Where the movie's view `view` is drawn when only the piece `locked` of a bitmap may be
// written (both in the bitmap's coordinates, `locked` inside `view`): a canvas over exactly the
// locked pixels, `lockedFirst` being the address of their top-left one and `pitch` the bytes
// from one row to the next, and the position of the view's top-left in that canvas.
struct LockedCanvas {
  swf::Canvas canvas;  // no base when there is nothing to draw
  swf::Point viewOrigin;
};

inline LockedCanvas CanvasForLock(uint8_t* lockedFirst, int32_t pitch, const IntRect& locked,
                                  const IntRect& view) {
  LockedCanvas out;
  const IntRect inside = Intersect(locked, view);
  if (!lockedFirst || inside.Empty() || inside.left != locked.left || inside.top != locked.top ||
      inside.right != locked.right || inside.bottom != locked.bottom) {
    return out;
  }
  out.canvas.base = lockedFirst;
  out.canvas.pitch = pitch;
  out.canvas.width = locked.Width();
  out.canvas.height = locked.Height();
  out.canvas.clip = {0, 0, locked.Width(), locked.Height()};
  out.viewOrigin = {static_cast<double>(view.left - locked.left),
                    static_cast<double>(view.top - locked.top)};
  return out;
}

// Premultiplied opaque pixel for a 0xRRGGBB colour.
inline uint32_t OpaquePixel(long rgb) {
  return 0xFF000000u | (static_cast<uint32_t>(rgb) & 0xFFFFFFu);
}

}  // namespace brim::control
