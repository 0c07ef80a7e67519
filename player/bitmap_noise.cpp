// The random operations of BitmapData: noise, perlinNoise and pixelDissolve.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

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
      row[x] = bmp.Store(a << 24 | r << 16 | g << 8 | b);
    }
  }
  bmp.Touch();
}

namespace {

// Lattice gradient noise as the original makes it: a permutation of 256 lattice cells and, for
// each of the four channels, 256 unit gradients, all drawn from the seed's generator; cells are
// eased with 3t^2 - 2t^3. Stitching wraps the lattice so the noise tiles the bitmap.
class LatticeNoise {
 public:
  static constexpr int kSize = 256, kMask = 255, kOffset = 4096;
  // Kept in doubles: they double with every octave and may outgrow an int.
  struct Wrap {
    double width = 0, height = 0;  // lattice cells across the tile
    double wrapX = 0, wrapY = 0;   // the first cell index that wraps back
  };

  explicit LatticeNoise(int32_t seed) {
    // The generator here takes a seed of zero or below as 1 - seed, kept inside its range.
    int64_t state = seed;
    if (state <= 0) state = -(state % (kModulus - 1)) + 1;
    if (state > kModulus - 1) state = kModulus - 1;
    auto next = [&state] {
      // Park and Miller's generator without overflow (Schrage's method).
      state = 16807 * (state % 127773) - 2836 * (state / 127773);
      if (state <= 0) state += kModulus;
      return state;
    };
    for (auto& channel : gradients_) {
      for (int i = 0; i < kSize; ++i) {
        lattice_[i] = i;
        for (double& v : channel[i]) v = static_cast<double>(next() % (2 * kSize) - kSize) / kSize;
        const double length = std::hypot(channel[i][0], channel[i][1]);
        if (length > 0) channel[i][0] /= length, channel[i][1] /= length;
      }
    }
    for (int i = kSize - 1; i > 0; --i) {
      const int j = static_cast<int>(next() % kSize);
      std::swap(lattice_[i], lattice_[j]);
    }
    for (int i = 0; i < kSize + 2; ++i) {
      lattice_[kSize + i] = lattice_[i];
      for (auto& channel : gradients_) channel[kSize + i] = channel[i];
    }
  }

  double At(int channel, double x, double y, const Wrap* wrap) const {
    auto split = [](double v, double& cell, double& frac) {
      double t = v + kOffset;
      if (!std::isfinite(t)) t = 0;
      cell = std::trunc(t);
      frac = t - cell;
    };
    double cx0, cy0;
    double rx0, ry0;
    split(x, cx0, rx0);
    split(y, cy0, ry0);
    double cx1 = cx0 + 1, cy1 = cy0 + 1;
    if (wrap) {
      if (cx0 >= wrap->wrapX) cx0 -= wrap->width;
      if (cx1 >= wrap->wrapX) cx1 -= wrap->width;
      if (cy0 >= wrap->wrapY) cy0 -= wrap->height;
      if (cy1 >= wrap->wrapY) cy1 -= wrap->height;
    }
    // Only a cell's place among the 256 matters.
    auto cell = [](double c) {
      const double m = std::fmod(c, kSize);
      return static_cast<int>(m < 0 ? m + kSize : m) & kMask;
    };
    const int bx0 = cell(cx0), bx1 = cell(cx1), by0 = cell(cy0), by1 = cell(cy1);
    const double rx1 = rx0 - 1, ry1 = ry0 - 1;
    const int i = lattice_[bx0], j = lattice_[bx1];
    const auto& g = gradients_[channel];
    auto dot = [&](int cell, double rx, double ry) { return rx * g[cell][0] + ry * g[cell][1]; };
    auto ease = [](double t) { return t * t * (3 - 2 * t); };
    auto lerp = [](double t, double a, double b) { return a + t * (b - a); };
    const double sx = ease(rx0), sy = ease(ry0);
    const double a = lerp(sx, dot(lattice_[i + by0], rx0, ry0), dot(lattice_[j + by0], rx1, ry0));
    const double b = lerp(sx, dot(lattice_[i + by1], rx0, ry1), dot(lattice_[j + by1], rx1, ry1));
    return lerp(sy, a, b);
  }

 private:
  static constexpr int64_t kModulus = 2147483647;
  std::array<int, 2 * kSize + 2> lattice_{};
  std::array<std::array<std::array<double, 2>, 2 * kSize + 2>, 4> gradients_{};
};

}  // namespace

void PerlinNoise(BitmapData& bmp, const PerlinParams& p) {
  if (bmp.disposed()) return;
  const LatticeNoise noise(p.seed);
  const int octaves = std::clamp(p.octaves, 0, 32);
  // A base that is not a number spoils every sample, and the channels asked for come out 0; a
  // zero base samples along a single lattice line.
  const bool flat = std::isnan(p.baseX) || std::isnan(p.baseY);
  double freqX = p.baseX == 0 ? 0 : 1 / std::fabs(p.baseX);
  double freqY = p.baseY == 0 ? 0 : 1 / std::fabs(p.baseY);
  LatticeNoise::Wrap base;
  const LatticeNoise::Wrap* wrap = nullptr;
  if (p.stitch && !flat) {
    // The frequencies move to the nearest ones that fit a whole number of cells in the bitmap.
    auto fit = [](double freq, double size) {
      if (freq == 0) return freq;
      const double lo = std::floor(size * freq) / size, hi = std::ceil(size * freq) / size;
      return freq / lo < hi / freq ? lo : hi;
    };
    freqX = fit(freqX, bmp.width());
    freqY = fit(freqY, bmp.height());
    base.width = std::trunc(bmp.width() * freqX + 0.5);
    base.height = std::trunc(bmp.height() * freqY + 0.5);
    base.wrapX = LatticeNoise::kOffset + base.width;
    base.wrapY = LatticeNoise::kOffset + base.height;
    wrap = &base;
  }
  // The channels asked for take the sets of gradients in turn (red, green, blue, alpha), so a
  // lone blue channel looks like a lone red one; gray counts as one channel.
  const bool alpha = (p.channels & kAlphaChannel) && bmp.transparent();
  const int shifts[4] = {16, 8, 0, 24};
  bool wanted[4] = {(p.channels & kRedChannel) != 0, (p.channels & kGreenChannel) != 0,
                    (p.channels & kBlueChannel) != 0, alpha};
  if (p.gray) wanted[0] = true, wanted[1] = wanted[2] = false;
  int set[4] = {};
  for (int c = 0, next = 0; c < 4; ++c) {
    if (wanted[c]) set[c] = next++;
  }
  for (int y = 0; y < bmp.height(); ++y) {
    uint32_t* row = bmp.Row(y);
    for (int x = 0; x < bmp.width(); ++x) {
      uint32_t channel[4] = {0, 0, 0, 255};
      for (int c = 0; c < 4; ++c) {
        if (!wanted[c] || flat) {
          if (wanted[c]) channel[c] = 0;
          continue;
        }
        LatticeNoise::Wrap w = base;
        double sum = 0, ratio = 1, scale = 1;
        for (int o = 0; o < octaves; ++o) {
          const Point offset = o < static_cast<int>(p.offsets.size()) ? p.offsets[o] : Point{};
          const double n = noise.At(set[c], (x + offset.x) * freqX * scale,
                                    (y + offset.y) * freqY * scale, wrap ? &w : nullptr);
          sum += (p.fractal ? n : std::fabs(n)) / ratio;
          ratio *= 2;
          scale *= 2;
          if (wrap) {
            w.width *= 2;
            w.wrapX = 2 * w.wrapX - LatticeNoise::kOffset;
            w.height *= 2;
            w.wrapY = 2 * w.wrapY - LatticeNoise::kOffset;
          }
        }
        // Both round to a whole level of the sum first; fractal noise then halves it around the
        // middle, dropping the half.
        if (p.fractal) {
          const double twice = std::clamp(std::floor(sum * 255 + 255.5), 0.0, 510.0);
          channel[c] = static_cast<uint32_t>(twice) / 2;
        } else {
          channel[c] = static_cast<uint32_t>(std::clamp(sum * 255 + 0.5, 0.0, 255.0));
        }
      }
      if (p.gray) channel[1] = channel[2] = channel[0];
      // The channels go into the bitmap as they come, not scaled by the alpha beside them;
      // reading such a pixel back saturates the colours a low alpha cannot hold.
      uint32_t word = 0;
      for (int c = 0; c < 4; ++c) word |= channel[c] << shifts[c];
      row[x] = word;
    }
  }
  bmp.Touch();
}

int32_t PixelDissolve(BitmapData& dst, const BitmapData& src, PixelRect rect, int dx, int dy,
                      int32_t seed, uint32_t count, uint32_t fill) {
  const CopyArea area = ClipCopy(src, rect, dst, dx, dy);
  if (area.from.Empty()) return seed;
  const int64_t w = area.from.right - area.from.left, h = area.from.bottom - area.from.top;
  const int64_t total = w * h;
  const bool same = &src == &dst;
  const uint32_t stored = dst.Store(fill);
  auto dissolve = [&](int64_t index) {
    const int sx = static_cast<int>(area.from.left + index % w);
    const int sy = static_cast<int>(area.from.top + index / w);
    uint32_t& d = dst.Row(sy - area.from.top + area.dy)[sx - area.from.left + area.dx];
    // The stored word goes across as it is: an opaque bitmap then keeps a translucent source's
    // premultiplied word, alpha and all.
    d = same ? stored : src.Row(sy)[sx];
  };
  // The first pixel of the area always goes; a count of none stops there, seed untouched.
  dissolve(0);
  dst.Touch();
  if (count == 0 || total < 2) return seed;
  // The others are visited by a maximal-length shift register just wide enough to number them:
  // each step halves the state and, when a one drops out, flips the tap bits. The seed is the
  // starting state (none becomes the taps), and states past the area are passed over, so a
  // large seed first shrinks into the register.
  static constexpr uint32_t kTaps[] = {0x3,      0x6,      0xC,      0x14,     0x30,
                                       0x60,     0xB8,     0x110,    0x240,    0x500,
                                       0xCA0,    0x1B00,   0x3500,   0x6000,   0xB400,
                                       0x12000,  0x20400,  0x72000,  0x90000,  0x140000,
                                       0x300000, 0x420000, 0xD80000, 0x1200000, 0x3880000};
  int bits = 2;
  while (bits < 26 && (int64_t{1} << bits) <= total - 1) ++bits;
  const uint32_t taps = kTaps[bits - 2];
  uint32_t state = static_cast<uint32_t>(seed);
  if (state == 0) state = taps;
  auto step = [taps](uint32_t s) { return (s & 1) ? (s >> 1) ^ taps : s >> 1; };
  auto nextInside = [&] {
    // A large seed can shift down to nothing; it then starts again from the taps.
    while (state == 0 || state >= total) state = state == 0 ? taps : step(state);
  };
  // A count past the area goes on turning the register; the area's states come round in a
  // fixed order, so only the remainder of a whole round matters.
  const int64_t rounds = std::min<int64_t>(count, total - 1);
  for (int64_t i = 0; i < rounds; ++i) {
    nextInside();
    dissolve(state);
    state = step(state);
  }
  for (int64_t i = (count - rounds) % (total - 1); i > 0; --i) {
    nextInside();
    state = step(state);
  }
  return static_cast<int32_t>(state);
}

}  // namespace swf
