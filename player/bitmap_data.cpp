#include "player/bitmap_data.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <type_traits>

namespace swf {
namespace {

std::atomic<size_t> g_livePixels{0};

uint32_t Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFFu; }

}  // namespace

bool BitmapSizeAllowed(int width, int height, int swfVersion) {
  if (width <= 0 || height <= 0) return false;
  if (swfVersion < 10) return width <= 2880 && height <= 2880;
  return width <= 8191 && height <= 8191 &&
         static_cast<int64_t>(width) * height < (int64_t{1} << 24);
}

uint32_t PremultiplyArgb(uint32_t argb) {
  const uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
  return a << 24 | scale(Channel(argb, 16)) << 16 | scale(Channel(argb, 8)) << 8 |
         scale(Channel(argb, 0));
}

uint32_t UnpremultiplyArgb(uint32_t p) {
  const uint32_t a = p >> 24;
  if (a == 255) return p;
  if (a == 0) return 0;
  // The original divides through a truncated 8.8 reciprocal of alpha, rounding halves down, so
  // a channel read back can land one below the exact quotient.
  const uint32_t reciprocal = 0xFF00u / a;
  auto scale = [reciprocal](uint32_t c) {
    return std::min<uint32_t>(255, (c * reciprocal + 127) >> 8);
  };
  return a << 24 | scale(Channel(p, 16)) << 16 | scale(Channel(p, 8)) << 8 | scale(Channel(p, 0));
}

std::shared_ptr<BitmapData> BitmapData::Create(int width, int height, bool transparent,
                                               uint32_t fillArgb) {
  if (width <= 0 || height <= 0 || width > 8191 || height > 8191) return nullptr;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  size_t live = g_livePixels.load();
  do {
    if (count > kMaxLiveBitmapPixels - std::min(live, kMaxLiveBitmapPixels)) return nullptr;
  } while (!g_livePixels.compare_exchange_weak(live, live + count));
  std::shared_ptr<BitmapData> bmp(new BitmapData);
  bmp->transparent_ = transparent;
  bmp->image_.width = width;
  bmp->image_.height = height;
  bmp->image_.pixels.assign(count, bmp->Store(fillArgb));
  return bmp;
}

BitmapData::~BitmapData() { g_livePixels -= image_.pixels.size(); }

void BitmapData::Dispose() {
  g_livePixels -= image_.pixels.size();
  image_ = Bitmap{};
  disposed_ = true;
  Touch();
}

uint32_t BitmapData::GetPixel32(int x, int y) const {
  if (!Contains(x, y)) return 0;
  const uint32_t p = Row(y)[x];
  // An opaque bitmap hands back its words as they are, whatever a copy put there.
  return transparent_ ? UnpremultiplyArgb(p) : p;
}

void BitmapData::SetPixel32(int x, int y, uint32_t argb) {
  if (!Contains(x, y)) return;
  Row(y)[x] = Store(argb);
  Touch();
}

void BitmapData::FillRect(PixelRect rect, uint32_t argb) {
  rect = Intersect(rect, Bounds());
  if (rect.Empty()) return;
  const uint32_t p = Store(argb);
  for (int y = rect.top; y < rect.bottom; ++y)
    std::fill(Row(y) + rect.left, Row(y) + rect.right, p);
  Touch();
}

CopyArea ClipCopy(const BitmapData& src, PixelRect rect, const BitmapData& dst, int dx, int dy) {
  // Work in 64 bits: a script's rectangle and point can be anywhere.
  const int64_t sl = std::max<int64_t>({rect.left, 0, int64_t{rect.left} - dx});
  const int64_t st = std::max<int64_t>({rect.top, 0, int64_t{rect.top} - dy});
  const int64_t sr = std::min<int64_t>(
      {rect.right, src.width(), int64_t{rect.left} + (int64_t{dst.width()} - dx)});
  const int64_t sb = std::min<int64_t>(
      {rect.bottom, src.height(), int64_t{rect.top} + (int64_t{dst.height()} - dy)});
  // The destination of the source's (rect.left, rect.top) is (dx, dy).
  CopyArea area;
  if (sr <= sl || sb <= st) return area;
  area.from = {static_cast<int>(sl), static_cast<int>(st), static_cast<int>(sr),
               static_cast<int>(sb)};
  area.dx = static_cast<int>(sl - rect.left + dx);
  area.dy = static_cast<int>(st - rect.top + dy);
  return area;
}

namespace {

// Rows of a copy taken from a snapshot when source and destination are the same bitmap and
// overlap.
const BitmapData* Snapshot(const BitmapData& src, const BitmapData& dst,
                           std::shared_ptr<BitmapData>& keep) {
  if (&src != &dst) return &src;
  keep = BitmapData::Create(src.width(), src.height(), src.transparent(), 0);
  if (!keep) return nullptr;
  keep->image().pixels = src.image().pixels;
  return keep.get();
}

// Writes each pixel of the copied area as `combine(source)` or `combine(source, destination)`
// gives it, pixels read unpremultiplied (ARGB; the destination only when asked for); the result
// is stored as the destination keeps its pixels.
template <typename Combine>
void CombineCopy(BitmapData& dst, const BitmapData& srcIn, PixelRect rect, int dx, int dy,
                 Combine combine) {
  const CopyArea area = ClipCopy(srcIn, rect, dst, dx, dy);
  if (area.from.Empty()) return;
  std::shared_ptr<BitmapData> keep;
  const BitmapData* src = Snapshot(srcIn, dst, keep);
  if (!src) return;
  for (int y = area.from.top; y < area.from.bottom; ++y) {
    for (int x = area.from.left; x < area.from.right; ++x) {
      const int tx = x - area.from.left + area.dx, ty = y - area.from.top + area.dy;
      uint32_t out;
      if constexpr (std::is_invocable_v<Combine, uint32_t, uint32_t>) {
        out = combine(src->GetPixel32(x, y), dst.GetPixel32(tx, ty));
      } else {
        out = combine(src->GetPixel32(x, y));
      }
      dst.Row(ty)[tx] = dst.Store(out);
    }
  }
  dst.Touch();
}

uint32_t Over(uint32_t dst, uint32_t src) {
  const uint32_t a = src >> 24;
  // What shows through is scaled by 256 - alpha and truncated, as the original blends.
  auto ch = [&](int shift) {
    return std::min<uint32_t>(255, Channel(src, shift) + (Channel(dst, shift) * (256 - a) >> 8));
  };
  return ch(24) << 24 | ch(16) << 16 | ch(8) << 8 | ch(0);
}

}  // namespace

void CopyPixels(BitmapData& dst, const BitmapData& srcIn, PixelRect rect, int dx, int dy,
                const BitmapData* alpha, int alphaX, int alphaY, bool mergeAlpha) {
  const CopyArea area = ClipCopy(srcIn, rect, dst, dx, dy);
  if (area.from.Empty()) return;
  std::shared_ptr<BitmapData> keep;
  const BitmapData* src = Snapshot(srcIn, dst, keep);
  if (!src) return;
  // An opaque destination always has the source laid over it; a transparent one only when
  // asked to merge.
  const bool blend = mergeAlpha || !dst.transparent();
  for (int y = area.from.top; y < area.from.bottom; ++y) {
    const uint32_t* in = src->Row(y);
    uint32_t* out = dst.Row(y - area.from.top + area.dy);
    for (int x = area.from.left; x < area.from.right; ++x) {
      uint32_t p = src->transparent() ? in[x] : in[x] | 0xFF000000u;
      if (alpha) {
        const int ax = x - rect.left + alphaX, ay = y - rect.top + alphaY;
        const uint32_t k = alpha->Contains(ax, ay) ? alpha->Row(ay)[ax] >> 24 : 0;
        auto scale = [k](uint32_t c) { return c * k >> 8; };
        if (k != 255)
          p = scale(p >> 24) << 24 | scale(Channel(p, 16)) << 16 | scale(Channel(p, 8)) << 8 |
              scale(Channel(p, 0));
      }
      uint32_t& d = out[x - area.from.left + area.dx];
      uint32_t result = blend ? Over(d, p) : p;
      if (!dst.transparent()) result |= 0xFF000000u;
      d = result;
    }
  }
  dst.Touch();
}

void CopyChannel(BitmapData& dst, const BitmapData& srcIn, PixelRect rect, int dx, int dy,
                 uint32_t srcChannel, uint32_t dstChannels) {
  int from = -1;
  switch (srcChannel) {
    case kRedChannel:
      from = 16;
      break;
    case kGreenChannel:
      from = 8;
      break;
    case kBlueChannel:
      from = 0;
      break;
    case kAlphaChannel:
      from = 24;
      break;
    default:
      break;  // no channel: the destination's channels are cleared
  }
  // The destination is one channel, or nothing happens.
  if (dstChannels != kRedChannel && dstChannels != kGreenChannel && dstChannels != kBlueChannel &&
      dstChannels != kAlphaChannel) {
    return;
  }
  uint32_t keepMask = 0xFFFFFFFFu;
  if (dstChannels & kRedChannel) keepMask &= 0xFF00FFFFu;
  if (dstChannels & kGreenChannel) keepMask &= 0xFFFF00FFu;
  if (dstChannels & kBlueChannel) keepMask &= 0xFFFFFF00u;
  if ((dstChannels & kAlphaChannel) && dst.transparent()) keepMask &= 0x00FFFFFFu;
  CombineCopy(dst, srcIn, rect, dx, dy, [&](uint32_t s, uint32_t d) {
    const uint32_t v = from < 0 ? 0 : Channel(s, from);
    const uint32_t spread = v << 24 | v << 16 | v << 8 | v;
    return (d & keepMask) | (spread & ~keepMask);
  });
}

void ApplyColorTransform(BitmapData& bmp, PixelRect rect, const ScriptColorTransform& ct) {
  rect = Intersect(rect, bmp.Bounds());
  if (rect.Empty()) return;
  // Multipliers work in 1/256 steps, as a clip's colour transform does.
  auto fixed = [](double m) {
    return static_cast<int64_t>(std::clamp(m, -32768.0, 32767.0) * 256);
  };
  auto offset = [](double o) { return static_cast<int64_t>(std::clamp(o, -65536.0, 65536.0)); };
  const int64_t mul[4] = {fixed(ct.bMul), fixed(ct.gMul), fixed(ct.rMul), fixed(ct.aMul)};
  const int64_t add[4] = {offset(ct.bAdd), offset(ct.gAdd), offset(ct.rAdd), offset(ct.aAdd)};
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      const uint32_t p = bmp.GetPixel32(x, y);
      uint32_t out = 0;
      for (int i = 0; i < 4; ++i) {
        const int64_t c = (static_cast<int64_t>(Channel(p, i * 8)) * mul[i] >> 8) + add[i];
        out |= static_cast<uint32_t>(std::clamp<int64_t>(c, 0, 255)) << (i * 8);
      }
      bmp.Row(y)[x] = bmp.Store(out);
    }
  }
  bmp.Touch();
}

uint32_t Threshold(BitmapData& dst, const BitmapData& srcIn, PixelRect rect, int dx, int dy,
                   ThresholdOp op, uint32_t threshold, uint32_t color, uint32_t mask,
                   bool copySource) {
  const CopyArea area = ClipCopy(srcIn, rect, dst, dx, dy);
  if (area.from.Empty()) return 0;
  std::shared_ptr<BitmapData> keep;
  const BitmapData* src = Snapshot(srcIn, dst, keep);
  if (!src) return 0;
  const uint32_t want = threshold & mask;
  // The colour goes in premultiplied even into an opaque bitmap, and pixels are compared as
  // they are stored, as the original does.
  const uint32_t stored = PremultiplyArgb(color);
  uint32_t passed = 0;
  for (int y = area.from.top; y < area.from.bottom; ++y) {
    for (int x = area.from.left; x < area.from.right; ++x) {
      const uint32_t v = src->Row(y)[x] & mask;
      bool pass = false;
      switch (op) {
        case ThresholdOp::Less:
          pass = v < want;
          break;
        case ThresholdOp::LessEqual:
          pass = v <= want;
          break;
        case ThresholdOp::Greater:
          pass = v > want;
          break;
        case ThresholdOp::GreaterEqual:
          pass = v >= want;
          break;
        case ThresholdOp::Equal:
          pass = v == want;
          break;
        case ThresholdOp::NotEqual:
          pass = v != want;
          break;
      }
      uint32_t& d = dst.Row(y - area.from.top + area.dy)[x - area.from.left + area.dx];
      if (pass) {
        d = stored;
        ++passed;
      } else if (copySource) {
        d = src->Row(y)[x];
      }
    }
  }
  dst.Touch();
  return passed;
}

CompareResult Compare(const BitmapData& a, const BitmapData& b) {
  if (a.width() != b.width()) return {-3, nullptr};
  if (a.height() != b.height()) return {-4, nullptr};
  std::shared_ptr<BitmapData> diff;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const uint32_t p = a.GetPixel32(x, y), q = b.GetPixel32(x, y);
      if (p == q) continue;
      if (!diff) {
        diff = BitmapData::Create(a.width(), a.height(), true, 0);
        if (!diff) return {0, nullptr};
      }
      uint32_t out;
      if ((p & 0xFFFFFFu) != (q & 0xFFFFFFu)) {
        out = 0xFF000000u;
        for (int shift : {16, 8, 0}) {
          out |= ((Channel(p, shift) - Channel(q, shift)) & 0xFFu) << shift;
        }
      } else {
        out = ((Channel(p, 24) - Channel(q, 24)) & 0xFFu) << 24 | 0xFFFFFFu;
      }
      diff->SetPixel32(x, y, out);
    }
  }
  if (!diff) return {0, nullptr};
  return {1, diff};
}

PixelRect ColorBounds(const BitmapData& bmp, uint32_t mask, uint32_t color, bool find) {
  int left = bmp.width(), top = bmp.height(), right = 0, bottom = 0;
  bool found = false;
  // The original masks the stored (premultiplied) word and compares it with the colour as the
  // bitmap would store it, unmasked; an opaque bitmap leaves alpha out of the comparison.
  const uint32_t keep = bmp.transparent() ? 0xFFFFFFFFu : 0x00FFFFFFu;
  const uint32_t want = (bmp.transparent() ? PremultiplyArgb(color) : color) & keep;
  for (int y = 0; y < bmp.height(); ++y) {
    const uint32_t* row = bmp.Row(y);
    for (int x = 0; x < bmp.width(); ++x) {
      if (((row[x] & mask & keep) == want) != find) continue;
      left = std::min(left, x);
      top = std::min(top, y);
      right = std::max(right, x);
      bottom = std::max(bottom, y);
      found = true;
    }
  }
  // The original measures the far corner from (0, 0): a match at the corner pixel alone comes
  // out empty.
  if (!found || (right == 0 && bottom == 0)) return {};
  return {left, top, right + 1, bottom + 1};
}

void FloodFill(BitmapData& bmp, int x, int y, uint32_t argb) {
  if (!bmp.Contains(x, y)) return;
  const uint32_t from = bmp.Row(y)[x], to = bmp.Store(argb);
  if (from == to) return;
  // An explicit stack of spans: the whole bitmap may be one area.
  std::vector<std::pair<int, int>> pending{{x, y}};
  while (!pending.empty()) {
    auto [px, py] = pending.back();
    pending.pop_back();
    uint32_t* row = bmp.Row(py);
    if (row[px] != from) continue;
    int l = px, r = px;
    while (l > 0 && row[l - 1] == from) --l;
    while (r + 1 < bmp.width() && row[r + 1] == from) ++r;
    std::fill(row + l, row + r + 1, to);
    for (int ny : {py - 1, py + 1}) {
      if (ny < 0 || ny >= bmp.height()) continue;
      const uint32_t* next = bmp.Row(ny);
      for (int i = l; i <= r; ++i) {
        if (next[i] == from && (i == l || next[i - 1] != from)) pending.emplace_back(i, ny);
      }
    }
  }
  bmp.Touch();
}

void Scroll(BitmapData& bmp, int dx, int dy) {
  if (bmp.disposed()) return;
  CopyPixels(bmp, bmp, bmp.Bounds(), dx, dy, nullptr, 0, 0, false);
}

void Merge(BitmapData& dst, const BitmapData& srcIn, PixelRect rect, int dx, int dy,
           const uint32_t (&multipliers)[4]) {
  // multipliers: red, green, blue, alpha.
  const int shifts[4] = {16, 8, 0, 24};
  CombineCopy(dst, srcIn, rect, dx, dy, [&](uint32_t s, uint32_t d) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
      const uint32_t m = std::min<uint32_t>(multipliers[i], 256);
      const uint32_t c = (Channel(s, shifts[i]) * m + Channel(d, shifts[i]) * (256 - m)) >> 8;
      out |= std::min<uint32_t>(c, 255) << shifts[i];
    }
    return out;
  });
}

void PaletteMap(BitmapData& dst, const BitmapData& srcIn, PixelRect rect, int dx, int dy,
                const std::vector<uint32_t>* const (&tables)[4]) {
  const int shifts[4] = {16, 8, 0, 24};
  CombineCopy(dst, srcIn, rect, dx, dy, [&](uint32_t s) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
      const uint32_t c = Channel(s, shifts[i]);
      const std::vector<uint32_t>* t = tables[i];
      out += t && c < t->size() ? (*t)[c] : c << shifts[i];
    }
    return out;
  });
}

bool HitTestPoint(const BitmapData& bmp, int threshold, int x, int y) {
  if (!bmp.Contains(x, y)) return false;
  const uint32_t a = bmp.transparent() ? bmp.Row(y)[x] >> 24 : 255;
  // A fully transparent pixel never counts, whatever the threshold.
  return a > 0 && static_cast<int>(a) >= threshold;
}

bool HitTestRect(const BitmapData& bmp, int threshold, PixelRect rect) {
  rect = Intersect(rect, bmp.Bounds());
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      if (HitTestPoint(bmp, threshold, x, y)) return true;
    }
  }
  return false;
}

bool HitTestBitmap(const BitmapData& a, int aThreshold, int ax, int ay, const BitmapData& b,
                   int bThreshold, int bx, int by) {
  // Where the two overlap, in a's pixels.
  const int64_t left = std::max<int64_t>(0, int64_t{bx} - ax);
  const int64_t top = std::max<int64_t>(0, int64_t{by} - ay);
  const int64_t right = std::min<int64_t>(a.width(), int64_t{bx} - ax + b.width());
  const int64_t bottom = std::min<int64_t>(a.height(), int64_t{by} - ay + b.height());
  for (int64_t y = top; y < bottom; ++y) {
    for (int64_t x = left; x < right; ++x) {
      if (HitTestPoint(a, aThreshold, static_cast<int>(x), static_cast<int>(y)) &&
          HitTestPoint(b, bThreshold, static_cast<int>(x + ax - bx),
                       static_cast<int>(y + ay - by))) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace swf
