#pragma once
// Turns a SegmentList into anti-aliased coverage, one pixel row at a time: a few sub-scanlines
// per row, each sampled at a few points across every pixel, under the non-zero rule.
#include <cstdint>
#include <vector>

#include "player/raster/segments.h"

namespace swf::raster {

// Full coverage of a pixel.
constexpr int kFullCoverage = 256;

class CoverageSink {
 public:
  // coverage[i] (0..kFullCoverage) belongs to pixel (x0 + i, y); x0 < x1, all inside the clip.
  virtual void Row(int y, int x0, int x1, const uint16_t* coverage) = 0;

 protected:
  ~CoverageSink() = default;
};

class ScanConverter {
 public:
  // Sub-scanlines per pixel row when the work allows (a power of two), and samples across a
  // pixel on each: the original's high quality counts coverage on a 4x4 grid.
  static constexpr int kSubScanlines = 4;
  static constexpr int kSamplesAcross = 4;

  // Sorts `segments` in place. Rows without coverage are never passed to the sink. `aliased`
  // samples each pixel once, at its centre, so that coverage is all or nothing.
  // `evenOdd` fills where the outline winds an odd number of times instead of any non-zero one.
  void Run(SegmentList& segments, CoverageSink& sink, bool aliased = false, bool evenOdd = false);

 private:
  struct Crossing {
    int32_t x;  // 1/256 pixel, relative to the row buffer's left end
    int32_t winding;
  };
  void AddSpan(int32_t from, int32_t to);
  bool aliased_ = false;
  void SortCrossings(int32_t maxX);

  std::vector<int32_t> cells_;  // coverage differences along the row
  std::vector<uint16_t> coverage_;
  std::vector<Crossing> crossings_, sorted_;
  std::vector<Crossing> buckets_[kSubScanlines];
  std::vector<uint32_t> active_;
  int touchedMin_ = 0, touchedMax_ = 0;
};

}  // namespace swf::raster
