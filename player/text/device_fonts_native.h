#pragma once
// Device text on Linux: FreeType for outlines and fontconfig to find files. The standard
// names go to the metric-compatible Liberation faces, so layout matches what Windows measures
// with Arial, Times New Roman and Courier New; other names go through fontconfig, and DejaVu
// Sans stands in when nothing matches.
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "player/text/device_fonts.h"

namespace swf {

class NativeDeviceFonts : public DeviceFonts {
 public:
  NativeDeviceFonts();
  ~NativeDeviceFonts() override;
  NativeDeviceFonts(const NativeDeviceFonts&) = delete;
  NativeDeviceFonts& operator=(const NativeDeviceFonts&) = delete;

  bool Measure(const DeviceFontSpec& font, std::u32string_view text, DeviceMetrics& out) override;
  void Draw(const Canvas& canvas, const DeviceTextRun& run) override;

  // The file a face name resolves to (for tests and diagnostics); empty when none.
  std::string ResolvedFile(const DeviceFontSpec& font);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace swf
