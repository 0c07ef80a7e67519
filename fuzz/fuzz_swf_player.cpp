// Arbitrary bytes as a movie: parse, play a few frames, draw them into a small canvas.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "player/player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  swf::Player player;
  if (!player.Load(std::span<const uint8_t>(data, size)).Ok()) return 0;
  constexpr int kSize = 48;
  std::vector<uint32_t> pixels(kSize * kSize, 0x01000000);
  const swf::Canvas canvas{
      reinterpret_cast<uint8_t*>(pixels.data()), kSize * 4, kSize, kSize, {0, 0, kSize, kSize}};
  // The last input byte picks a scale mode, so every mode meets odd stages.
  const auto scale = static_cast<swf::ScaleMode>(data[size - 1] & 3);
  for (int frame = 0; frame < 3; ++frame) {
    player.Render(canvas, frame == 1 ? swf::RenderMode::Opaque : swf::RenderMode::Transparent,
                  scale, kSize, kSize);
    player.HitTest({kSize / 2.0, kSize / 2.0}, scale, kSize, kSize);
    player.Tick();
  }
  if (player.FrameCount() > 1) player.GotoFrame(0);
  if (!player.FrameLabels().empty()) player.GotoLabel(player.FrameLabels().back().name);
  player.Render(canvas, swf::RenderMode::Opaque, scale, kSize, kSize);
  return 0;
}
