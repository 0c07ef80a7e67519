#include "player/raster/scan_converter.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace swf::raster {
namespace {

// Sub-scanline crossings we are willing to compute (and sort) for one pass. A full-screen shape
// with a thousand edges on every row stays well inside it; a hostile shape with hundreds of
// thousands of long edges gets fewer sub-scanlines, and past the last step nothing at all,
// rather than taking minutes.
constexpr double kCrossingBudget = 2e7;
constexpr double kLastResortBudget = 1.6e8;

int PickSubScanlines(const std::vector<Segment>& segments) {
  double rows = 0;
  for (const Segment& s : segments) rows += s.yBottom - s.yTop + 1;
  for (int n = ScanConverter::kSubScanlines; n > 1; n /= 4) {
    if (rows * n <= kCrossingBudget) return n;
  }
  return rows <= kLastResortBudget ? 1 : 0;
}

int Log2(int n) {
  int shift = 0;
  while ((1 << shift) < n) ++shift;
  return shift;
}

}  // namespace

void ScanConverter::SortCrossings(int32_t maxX) {
  const size_t n = crossings_.size();
  auto byX = [](const Crossing& p, const Crossing& q) { return p.x < q.x; };
  if (n <= 32) {
    // Usually a handful: insertion sort beats everything else.
    for (size_t i = 1; i < n; ++i) {
      const Crossing c = crossings_[i];
      size_t j = i;
      for (; j > 0 && crossings_[j - 1].x > c.x; --j) crossings_[j] = crossings_[j - 1];
      crossings_[j] = c;
    }
  } else if (n < 2048 || maxX >= (1 << 24)) {
    std::sort(crossings_.begin(), crossings_.end(), byX);
  } else {
    // Shapes with thousands of edges on one row: two counting passes of 12 bits each, linear in
    // the number of crossings.
    sorted_.resize(n);
    for (int shift = 0; shift < 24; shift += 12) {
      std::vector<Crossing>& from = shift == 0 ? crossings_ : sorted_;
      std::vector<Crossing>& to = shift == 0 ? sorted_ : crossings_;
      uint32_t counts[4097] = {};
      for (const Crossing& c : from) ++counts[((c.x >> shift) & 4095) + 1];
      for (int i = 0; i < 4096; ++i) counts[i + 1] += counts[i];
      for (const Crossing& c : from) to[counts[(c.x >> shift) & 4095]++] = c;
    }
  }
}

void ScanConverter::AddSpan(int32_t from, int32_t to) {
  if (aliased_) {
    // The pixels whose centres the span holds, as whole pixels.
    from = ((from + 127) >> 8) << 8;
    to = ((to + 127) >> 8) << 8;
  } else {
    // Coverage is counted on a grid of samples, as many across a pixel as sub-scanlines down
    // it, as the original counts it: an edge that passes between a pixel's side and its
    // outermost samples leaves that pixel whole (or untouched), where an exact area would let
    // a trace of what lies beneath show through.
    constexpr int32_t step = 256 / kSamplesAcross, half = step / 2;
    from = (from + half - 1) / step * step;
    to = (to + half - 1) / step * step;
  }
  if (from >= to) return;
  // The span covers part of pixel `a`, whole pixels after it, and part of pixel `b`; written as
  // differences so that a whole span costs four additions whatever its length.
  const int32_t a = from >> 8, b = to >> 8;
  const int32_t fa = 256 - (from & 255), fb = to & 255;
  cells_[a] += fa;
  cells_[a + 1] += 256 - fa;
  cells_[b] -= 256 - fb;
  cells_[b + 1] -= fb;
  touchedMin_ = std::min(touchedMin_, a);
  touchedMax_ = std::max(touchedMax_, b + 1);
}

void ScanConverter::Run(SegmentList& list, CoverageSink& sink, bool aliased, bool evenOdd) {
  std::vector<Segment>& segs = list.segments();
  if (segs.empty()) return;
  const PixelRect& clip = list.clip();
  aliased_ = aliased;
  const int subs = aliased ? std::min(1, PickSubScanlines(segs)) : PickSubScanlines(segs);
  if (subs == 0) return;
  const int shift = Log2(subs);

  std::sort(segs.begin(), segs.end(),
            [](const Segment& p, const Segment& q) { return p.yTop < q.yTop; });

  const int x0 = std::max(clip.left, static_cast<int>(std::floor(list.minX())));
  const int x1 = std::min(clip.right, static_cast<int>(std::floor(list.maxX())) + 1);
  if (x1 <= x0) return;
  const int width = x1 - x0;
  const int32_t spanEnd = width * 256;
  const double left = x0, right = x1;
  cells_.assign(static_cast<size_t>(width) + 2, 0);
  coverage_.resize(static_cast<size_t>(width) + 1);
  active_.clear();

  const size_t n = segs.size();
  size_t next = 0;
  const int yEnd = std::min(clip.bottom, static_cast<int>(std::ceil(list.maxY())));
  int y = std::max(clip.top, static_cast<int>(std::floor(segs[0].yTop)));
  while (y < yEnd) {
    if (active_.empty()) {
      if (next >= n) break;
      // Sparse rows: jump straight to the next row that any segment reaches.
      y = std::max(y, static_cast<int>(std::floor(segs[next].yTop)));
      if (y >= yEnd) break;
    }
    const double rowBottom = y + 1.0;
    while (next < n && segs[next].yTop < rowBottom)
      active_.push_back(static_cast<uint32_t>(next++));

    touchedMin_ = INT_MAX;
    touchedMax_ = -1;
    // Each segment visits only the sub-scanlines it crosses, dropping its crossings into one
    // bucket per sub-scanline; a sample exactly on a shared vertex counts for one side only.
    for (int sub = 0; sub < subs; ++sub) buckets_[sub].clear();
    for (uint32_t index : active_) {
      const Segment& s = segs[index];
      const int first = std::max(0, static_cast<int>(std::ceil((s.yTop - y) * subs - 0.5)));
      const int end = std::min(subs, static_cast<int>(std::ceil((s.yBottom - y) * subs - 0.5)));
      if (first >= end) continue;
      double x = s.xTop + (y + (first + 0.5) / subs - s.yTop) * s.slope;
      const double step = s.slope / subs;
      for (int sub = first; sub < end; ++sub, x += step) {
        double cx = x;
        if (!(cx > left)) cx = left;
        if (cx > right) cx = right;
        // Aliased, a pixel is in when its centre lies on or right of a crossing: the crossing
        // becomes the first such pixel, exactly, rather than a rounded position.
        const double at = aliased ? std::ceil(cx - left - 0.5) * 256 : (cx - left) * 256 + 0.5;
        buckets_[sub].push_back({static_cast<int32_t>(at), s.winding});
      }
    }
    for (int sub = 0; sub < subs; ++sub) {
      crossings_.swap(buckets_[sub]);
      if (crossings_.empty()) {
        crossings_.swap(buckets_[sub]);
        continue;
      }
      SortCrossings(spanEnd);
      int winding = 0;
      int32_t start = 0;
      const int inside = evenOdd ? 1 : -1;  // the bits of the winding number that decide
      for (const Crossing& c : crossings_) {
        const int before = winding & inside;
        winding += c.winding;
        const int after = winding & inside;
        if (before == 0 && after != 0) {
          start = c.x;
        } else if (before != 0 && after == 0) {
          AddSpan(start, c.x);
        }
      }
      winding &= inside;
      if (winding != 0) AddSpan(start, spanEnd);  // an outline left open runs to the clip
      crossings_.swap(buckets_[sub]);
    }

    if (touchedMax_ >= 0) {
      const int last = std::min(touchedMax_, width);  // exclusive
      int32_t sum = 0;
      int first = -1, end = -1;
      for (int i = touchedMin_; i < last; ++i) {
        sum += cells_[i];
        cells_[i] = 0;
        const int32_t value = sum >> shift;
        coverage_[i] = static_cast<uint16_t>(value > kFullCoverage ? kFullCoverage : value);
        if (value > 0) {
          if (first < 0) first = i;
          end = i + 1;
        }
      }
      for (int i = last; i <= touchedMax_ && i < width + 2; ++i) cells_[i] = 0;
      if (first >= 0) sink.Row(y, x0 + first, x0 + end, coverage_.data() + first);
    }

    active_.erase(std::remove_if(active_.begin(), active_.end(),
                                 [&](uint32_t index) { return segs[index].yBottom <= rowBottom; }),
                  active_.end());
    ++y;
  }
}

}  // namespace swf::raster
