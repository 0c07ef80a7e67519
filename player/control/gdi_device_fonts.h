#pragma once
// Device text on Windows: measured with GDI on a memory DC, and drawn with ExtTextOutW onto
// the DC the container gave Draw, after the engine's pixels are in place. The runs the engine
// lays out while it renders are kept until then, so GDI draws over the finished frame (and a
// host that watches ExtTextOutW sees every run).
#include <windows.h>

#include <vector>

#include "base/handles.h"
#include "player/text/device_fonts.h"

namespace brim {

class GdiDeviceFonts : public swf::DeviceFonts {
 public:
  GdiDeviceFonts();

  bool Measure(const swf::DeviceFontSpec& font, std::u32string_view text,
               swf::DeviceMetrics& out) override;
  void Draw(const swf::Canvas& canvas, const swf::DeviceTextRun& run) override;

  // Draws the runs kept since the last call onto `dc`, canvas pixel (0, 0) at `origin`, and
  // forgets them.
  void Flush(HDC dc, POINT origin);
  // Forgets the kept runs without drawing them (a drawing that failed half way).
  void Discard() { runs_.clear(); }

 private:
  UniqueMemoryDC measure_;
  std::vector<swf::DeviceTextRun> runs_;
};

}  // namespace brim
