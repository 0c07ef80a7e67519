// The random operations of BitmapData: noise, perlinNoise and pixelDissolve.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "player/bitmap_data.h"

namespace swf {
namespace {

// The player's generator: the "minimal standard" multiplicative congruential generator
// (multiplier 16807, modulus 2^31 - 1). Noise of a seed matches the original pixel for pixel.
class MinimalStandard {
 public:
  explicit MinimalStandard(int32_t seed) {
    // Zero and negative seeds start from 1 - seed, as the original's do.
    int64_t s = seed > 0 ? seed : 1 - int64_t{seed};
    s %= kModulus;
    state_ = s == 0 ? 1 : s;
  }
  uint32_t Next() {
    state_ = state_ * 16807 % kModulus;
    return static_cast<uint32_t>(state_);
  }

 private:
  static constexpr int64_t kModulus = 2147483647;
  int64_t state_;
};

}  // namespace

void Noise(BitmapData& bmp, int32_t seed, int low, int high, uint32_t channels, bool gray) {
  if (bmp.disposed()) return;
  low = std::clamp(low, 0, 255);
  high = std::clamp(high, 0, 255);
  const uint32_t range = high >= low ? static_cast<uint32_t>(high - low + 1) : 0;
  MinimalStandard random(seed);
  auto value = [&]() -> uint32_t {
    const uint32_t r = random.Next();
    return range ? low + r % range : static_cast<uint32_t>(low);
  };
  for (int y = 0; y < bmp.height(); ++y) {
    uint32_t* row = bmp.Row(y);
    for (int x = 0; x < bmp.width(); ++x) {
      uint32_t r = 0, g = 0, b = 0, a = 255;
      if (gray) {
        r = g = b = value();
      } else {
        if (channels & kRedChannel) r = value();
        if (channels & kGreenChannel) g = value();
        if (channels & kBlueChannel) b = value();
      }
      // An opaque bitmap draws no alpha from the generator at all.
      if ((channels & kAlphaChannel) && bmp.transparent()) a = value();
      // Noise scales its colours by alpha with a shift, not a division by 255, so a few
      // translucent pixels come out one level darker than a stored colour would.
      auto scale = [a](uint32_t c) { return a == 255 ? c : (c * a + 128) >> 8; };
      row[x] = a == 0 ? 0 : a << 24 | scale(r) << 16 | scale(g) << 8 | scale(b);
    }
  }
  bmp.Touch();
}

namespace {

// Gradient noise on a lattice, with a permutation drawn from the seed.
class GradientNoise {
 public:
  explicit GradientNoise(int32_t seed) {
    std::iota(perm_.begin(), perm_.begin() + 256, 0);
    MinimalStandard random(seed);
    for (int i = 255; i > 0; --i) std::swap(perm_[i], perm_[random.Next() % (i + 1)]);
    std::copy(perm_.begin(), perm_.begin() + 256, perm_.begin() + 256);
  }

  // In -1..1. `wrapX` and `wrapY` (lattice cells, 0 for none) make it tile.
  double At(double x, double y, double z, int wrapX, int wrapY) const {
    const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    const int64_t ix = static_cast<int64_t>(fx), iy = static_cast<int64_t>(fy);
    const int64_t iz = static_cast<int64_t>(fz);
    x -= fx, y -= fy, z -= fz;
    const double u = Fade(x), v = Fade(y), w = Fade(z);
    auto cell = [](int64_t i, int wrap) {
      if (wrap > 0) i = ((i % wrap) + wrap) % wrap;
      return static_cast<int>(i & 255);
    };
    const int x0 = cell(ix, wrapX), x1 = cell(ix + 1, wrapX);
    const int y0 = cell(iy, wrapY), y1 = cell(iy + 1, wrapY);
    const int z0 = static_cast<int>(iz & 255), z1 = static_cast<int>((iz + 1) & 255);
    auto hash = [&](int a, int b, int c) { return perm_[perm_[perm_[a] + b] + c]; };
    auto lerp = [](double t, double a, double b) { return a + t * (b - a); };
    return lerp(
        w,
        lerp(v, lerp(u, Grad(hash(x0, y0, z0), x, y, z), Grad(hash(x1, y0, z0), x - 1, y, z)),
             lerp(u, Grad(hash(x0, y1, z0), x, y - 1, z), Grad(hash(x1, y1, z0), x - 1, y - 1, z))),
        lerp(v,
             lerp(u, Grad(hash(x0, y0, z1), x, y, z - 1), Grad(hash(x1, y0, z1), x - 1, y, z - 1)),
             lerp(u, Grad(hash(x0, y1, z1), x, y - 1, z - 1),
                  Grad(hash(x1, y1, z1), x - 1, y - 1, z - 1))));
  }

 private:
  static double Fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
  static double Grad(int hash, double x, double y, double z) {
    const int h = hash & 15;
    const double u = h < 8 ? x : y;
    const double v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
    return ((h & 1) ? -u : u) + ((h & 2) ? -v : v);
  }
  std::array<int, 512> perm_{};
};

}  // namespace

void PerlinNoise(BitmapData& bmp, const PerlinParams& p) {
  if (bmp.disposed() || p.octaves <= 0) return;
  const GradientNoise noise(p.seed);
  const int octaves = std::min(p.octaves, 32);
  // Each channel reads its own plane of the noise.
  const bool alpha = (p.channels & kAlphaChannel) && bmp.transparent();
  const int shifts[4] = {16, 8, 0, 24};
  bool wanted[4] = {(p.channels & kRedChannel) != 0, (p.channels & kGreenChannel) != 0,
                    (p.channels & kBlueChannel) != 0, alpha};
  if (p.gray) wanted[0] = true, wanted[1] = wanted[2] = false;
  const double baseX = p.baseX == 0 ? 1 : std::fabs(p.baseX);
  const double baseY = p.baseY == 0 ? 1 : std::fabs(p.baseY);
  for (int y = 0; y < bmp.height(); ++y) {
    uint32_t* row = bmp.Row(y);
    for (int x = 0; x < bmp.width(); ++x) {
      uint32_t channel[4] = {0, 0, 0, 255};
      for (int c = 0; c < 4; ++c) {
        if (!wanted[c]) continue;
        double sum = 0, amplitude = 1, total = 0, frequency = 1;
        for (int o = 0; o < octaves; ++o) {
          const Point offset = o < static_cast<int>(p.offsets.size()) ? p.offsets[o] : Point{};
          const double nx = (x + offset.x) * frequency / baseX;
          const double ny = (y + offset.y) * frequency / baseY;
          const int wrapX =
              p.stitch ? std::max(1, static_cast<int>(bmp.width() * frequency / baseX)) : 0;
          const int wrapY =
              p.stitch ? std::max(1, static_cast<int>(bmp.height() * frequency / baseY)) : 0;
          const double n = noise.At(nx, ny, c * 37.5 + 0.5, wrapX, wrapY);
          sum += (p.fractal ? n : std::fabs(n)) * amplitude;
          total += amplitude;
          amplitude /= 2;
          frequency *= 2;
        }
        double v = sum / total;
        v = p.fractal ? (v + 1) / 2 : v;
        channel[c] = static_cast<uint32_t>(std::clamp(v * 255, 0.0, 255.0));
      }
      if (p.gray) channel[1] = channel[2] = channel[0];
      uint32_t argb = 0;
      for (int c = 0; c < 4; ++c) argb |= channel[c] << shifts[c];
      row[x] = bmp.Store(argb);
    }
  }
  bmp.Touch();
}

int32_t PixelDissolve(BitmapData& dst, const BitmapData& src, PixelRect rect, int dx, int dy,
                      int32_t seed, int64_t count, uint32_t fill) {
  const CopyArea area = ClipCopy(src, rect, dst, dx, dy);
  if (area.from.Empty()) return seed;
  const int64_t w = area.from.right - area.from.left, h = area.from.bottom - area.from.top;
  const int64_t total = w * h;
  // The original dissolves one pixel more than asked (none asked still changes one), and a
  // negative count, read as a huge unsigned one, dissolves the whole area.
  count = count < 0 ? total : std::min(count + 1, total);
  // Visit the area in an order that touches every pixel once: a stride coprime with its size,
  // starting where the seed says.
  const int64_t start = (static_cast<int64_t>(static_cast<uint32_t>(seed)) * 16807) % total;
  int64_t stride = total > 2 ? (total * 5 / 8) | 1 : 1;
  while (std::gcd(stride, total) != 1) stride += 2;
  const bool same = &src == &dst;
  const uint32_t stored = dst.Store(fill);
  int64_t index = start;
  for (int64_t i = 0; i < count; ++i) {
    const int sx = static_cast<int>(area.from.left + index % w);
    const int sy = static_cast<int>(area.from.top + index / w);
    uint32_t& d = dst.Row(sy - area.from.top + area.dy)[sx - area.from.left + area.dx];
    // The stored word goes across as it is: an opaque bitmap then keeps a translucent source's
    // premultiplied word, alpha and all.
    d = same ? stored : src.Row(sy)[sx];
    index = (index + stride) % total;
  }
  dst.Touch();
  return static_cast<int32_t>((index * 16807 + 1) % 2147483647);
}

}  // namespace swf
