// Arbitrary bytes as a movie: parse, play a few frames, draw them into a small canvas.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "player/player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  swf::Player player;
  // Runaway scripts are found as well with a smaller budget, and end sooner.
  player.SetScriptBudget(200'000);
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
    if (frame == 1) {
      // One click and one key somewhere on the stage, so buttons and handlers run too. Every
      // input event reaches every clip, so once is what keeps a run quick.
      player.SetViewport(scale, kSize, kSize);
      const swf::Point at{(data[0] % kSize) + 0.5, (data[size / 2] % kSize) + 0.5};
      player.MouseDown(at);
      player.MouseUp({at.y, at.x});
      player.KeyDown(data[size - 1] & 1 ? 9 : data[size / 3], data[size / 4] & 0x7F);
      player.CursorAt(at);
    }
    player.Tick();
  }
  if (player.FrameCount() > 1) player.GotoFrame(0);
  if (!player.FrameLabels().empty()) player.GotoLabel(player.FrameLabels().back().name);
  player.Render(canvas, swf::RenderMode::Opaque, scale, kSize, kSize);
  return 0;
}
