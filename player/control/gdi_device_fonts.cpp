#include "player/control/gdi_device_fonts.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace brim {
namespace {

using UniqueFont = UniqueHandle<traits::Simple<HFONT, nullptr, traits::DeleteGdiObject>>;

// Sizes outside this range are drawn at its ends, as the engine's own fonts are.
constexpr double kMinSize = 1, kMaxSize = 512;

// The Windows face a movie's generic names stand for.
std::wstring FaceName(const std::string& face) {
  std::string lower = face;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  if (lower == "_sans") return L"Arial";
  if (lower == "_serif") return L"Times New Roman";
  if (lower == "_typewriter") return L"Courier New";
  std::wstring wide(static_cast<size_t>(std::max(
                        0, MultiByteToWideChar(CP_UTF8, 0, face.c_str(), -1, nullptr, 0))),
                    L'\0');
  if (!wide.empty()) {
    MultiByteToWideChar(CP_UTF8, 0, face.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.pop_back();  // the terminator
  }
  // LOGFONT holds 31 characters of a face name.
  if (wide.size() > LF_FACESIZE - 1) wide.resize(LF_FACESIZE - 1);
  return wide;
}

UniqueFont MakeFont(const swf::DeviceFontSpec& spec, double size) {
  const int height = -static_cast<int>(std::lround(std::clamp(size, kMinSize, kMaxSize)));
  return UniqueFont(CreateFontW(height, 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL,
                                spec.italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, FaceName(spec.face).c_str()));
}

// UTF-16 for GDI, with where each of the engine's characters starts in it.
std::wstring Utf16(std::u32string_view text, std::vector<size_t>* starts) {
  std::wstring out;
  for (char32_t c : text) {
    if (starts) starts->push_back(out.size());
    if (c > 0xFFFF && c <= 0x10FFFF) {
      c -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 | (c >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 | (c & 0x3FF)));
    } else {
      out.push_back(c > 0xFFFF ? L'?' : static_cast<wchar_t>(c));
    }
  }
  return out;
}

}  // namespace

GdiDeviceFonts::GdiDeviceFonts() : measure_(CreateCompatibleDC(nullptr)) {}

bool GdiDeviceFonts::Measure(const swf::DeviceFontSpec& font, std::u32string_view text,
                             swf::DeviceMetrics& out) {
  if (!measure_) return false;
  UniqueFont handle = MakeFont(font, font.size);
  if (!handle) return false;
  SelectGuard select(measure_.get(), handle.get());
  const double scale = font.size / std::clamp(font.size, kMinSize, kMaxSize);
  TEXTMETRICW metrics{};
  if (!GetTextMetricsW(measure_.get(), &metrics)) return false;
  out.ascent = metrics.tmAscent * scale;
  out.descent = metrics.tmDescent * scale;
  std::vector<size_t> starts;
  const std::wstring wide = Utf16(text, &starts);
  out.advances.assign(text.size(), 0);
  if (wide.empty()) return true;
  std::vector<int> ends(wide.size());
  SIZE size{};
  if (!GetTextExtentExPointW(measure_.get(), wide.c_str(), static_cast<int>(wide.size()), 0,
                             nullptr, ends.data(), &size)) {
    return false;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t last = (i + 1 < text.size() ? starts[i + 1] : wide.size()) - 1;
    const int before = starts[i] ? ends[starts[i] - 1] : 0;
    out.advances[i] = (ends[last] - before) * scale;
  }
  return true;
}

void GdiDeviceFonts::Draw(const swf::Canvas&, const swf::DeviceTextRun& run) {
  // Kept for Flush: GDI draws after the engine has finished with the pixels.
  constexpr size_t kMaxRuns = 10'000;
  if (runs_.size() < kMaxRuns && run.font.size >= kMinSize) runs_.push_back(run);
}

void GdiDeviceFonts::Flush(HDC dc, POINT origin) {
  std::vector<swf::DeviceTextRun> runs;
  runs.swap(runs_);
  if (!dc) return;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = GetTextColor(dc);
  const UINT oldAlign = SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
  for (const swf::DeviceTextRun& run : runs) {
    if (!std::isfinite(run.origin.x) || !std::isfinite(run.origin.y) ||
        std::abs(run.origin.x) > 1e6 || std::abs(run.origin.y) > 1e6 || run.clip.Empty()) {
      continue;
    }
    UniqueFont font = MakeFont(run.font, run.font.size);
    if (!font) continue;
    SelectGuard select(dc, font.get());
    SetTextColor(dc, RGB(run.color.r, run.color.g, run.color.b));
    const RECT clip{origin.x + run.clip.left, origin.y + run.clip.top, origin.x + run.clip.right,
                    origin.y + run.clip.bottom};
    const std::wstring wide = Utf16(run.text, nullptr);
    ExtTextOutW(dc, origin.x + static_cast<int>(std::lround(run.origin.x)),
                origin.y + static_cast<int>(std::lround(run.origin.y)), ETO_CLIPPED, &clip,
                wide.c_str(), static_cast<UINT>(wide.size()), nullptr);
  }
  SetTextAlign(dc, oldAlign);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
}

}  // namespace brim
