// Writes builder-made movies that reach every part of the player: each shape and fill kind,
// bitmaps, sprites, masks, labels and the compressed container.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/seed_folder.h"
#include "tools/swf_builder.h"

namespace {

swfb::Shape Styled(swfb::Fill fill, bool line) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(fill));
  if (line) s.SetLine(s.AddLine(swfb::Line::Solid(40, {0, 0, 0, 255})));
  s.Rectangle({0, 400, 0, 300});
  s.Circle(200, 150, 100, true);
  s.MoveTo(0, 0).CurveTo(200, -100, 400, 0);
  return s;
}

swfb::Movie Base(bool compressed) {
  swfb::MovieHeader h;
  h.stage = {0, 800, 0, 600};
  h.compressed = compressed;
  swfb::Movie m(h);
  m.SetBackgroundColor({20, 40, 60, 255});
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const auto folder = SeedFolder(argc, argv, "seed_swf_player");
  if (!folder) return 2;
  const std::string dir = folder->string();
  std::vector<std::pair<std::string, swfb::Movie>> movies;

  swfb::Gradient g;
  g.spread = swfb::Spread::Reflect;
  g.stops = {{0, {255, 0, 0, 255}}, {128, {0, 255, 0, 128}}, {255, {0, 0, 255, 255}}};
  const swfb::Matrix box = swfb::Fill::GradientBox({0, 400, 0, 300});
  const swfb::Image image{
      2, 2, {{255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 0}, {9, 9, 9, 255}}};

  for (int version = 1; version <= 4; ++version) {
    swfb::Movie m = Base(version == 2);
    const uint16_t bitmap = m.DefineBitsLossless2(image, swfb::LosslessFormat::Rgb24);
    m.DefineBitsLossless(image, swfb::LosslessFormat::Palette);
    const std::vector<swfb::Fill> fills = {
        swfb::Fill::Solid({255, 0, 0, 200}), swfb::Fill::Linear(box, g), swfb::Fill::Radial(box, g),
        swfb::Fill::Focal(box, g, 0.5),
        swfb::Fill::Bitmap(bitmap, swfb::Matrix::Scale(20, 20), swfb::FillType::RepeatingBitmap)};
    uint16_t depth = 1;
    for (const swfb::Fill& f : fills) {
      if (f.type == swfb::FillType::FocalGradient && version < 4) continue;
      swfb::Place p;
      p.depth = depth++;
      p.characterId = m.DefineShape(Styled(f, depth % 2 == 0), version);
      p.matrix = swfb::Matrix::Transform(1.5, 0.5, 0.3, 40 * depth, 20);
      p.colorTransform = swfb::ColorTransform{200, 256, 100, 180, 10, -20, 30, 0};
      m.PlaceObject2(p);
    }
    m.ShowFrame();
    movies.push_back({"shapes" + std::to_string(version), m});
  }

  {
    swfb::Movie m = Base(false);
    const uint16_t shape = m.DefineShape(Styled(swfb::Fill::Solid({0, 255, 0, 255}), true));
    swfb::Sprite inner;
    swfb::Place mask;
    mask.depth = 1;
    mask.characterId = shape;
    mask.clipDepth = 3;
    inner.PlaceObject2(mask).PlaceObject(shape, 2, swfb::Matrix::Scale(2, 2)).ShowFrame();
    inner.RemoveObject2(2).FrameLabel("gone").ShowFrame();
    const uint16_t sprite = m.DefineSprite(inner);
    swfb::Place p;
    p.depth = 1;
    p.characterId = sprite;
    p.name = "clip";
    m.PlaceObject2(p).FrameLabel("one").ShowFrame();
    p.depth = 2;
    p.matrix = swfb::Matrix::Translate(100, 100);
    m.PlaceObject3(p).ShowFrame();
    m.RemoveObject2(1).ShowFrame();
    movies.push_back({"sprites", m});
  }

  {
    // A button over the whole stage whose press and key actions trace, for the input side.
    swfb::Movie m = Base(false);
    const uint16_t shape = m.DefineShape(Styled(swfb::Fill::Solid({0, 0, 255, 255}), false));
    const swfb::Movie::ButtonRecord records[] = {
        {1 | 8, shape, 1, swfb::Matrix::Scale(8, 8), {}}, {2 | 4, shape, 2, {}, {}}};
    const std::vector<uint8_t> trace = {0x96, 2, 0, 0, 0, 0x26, 0};
    const swfb::Movie::ButtonAction actions[] = {{0x04, trace}, {0x08 | ('a' << 9), trace}};
    m.PlaceObject(m.DefineButton2(records, actions, true), 1, {});
    m.ShowFrame().ShowFrame();
    movies.push_back({"button", m});
  }

  {
    // Morph shapes of both versions at several ratios, under every filter and blend mode.
    swfb::Movie m = Base(false);
    uint16_t depth = 1;
    for (int version = 1; version <= 2; ++version) {
      const uint16_t id = static_cast<uint16_t>(100 + version);
      m.Tag(static_cast<uint16_t>(version == 1 ? 46 : 84),
            swfb::EncodeMorphRectangle(id, {0, 400, 0, 300}, {200, 1400, 100, 900},
                                       {255, 0, 0, 255}, {0, 0, 255, 128}, version));
      // Few placements: every input grown from this one pays for its layers and filters.
      for (uint8_t blend = version; blend <= 14; blend += 7) {
        swfb::Place p;
        p.depth = depth++;
        p.characterId = id;
        p.ratio = static_cast<uint16_t>(blend * 4000);
        p.matrix = swfb::Matrix::Translate(60 * blend, 40 * version);
        p.blendMode = blend;
        p.cacheAsBitmap = blend % 2 == 0;
        if (blend > 7) p.filters = swfb::EncodeEveryFilter();
        m.PlaceObject3(p);
      }
    }
    m.ShowFrame();
    movies.push_back({"effects", m});
  }

  {
    // Text: a device-font field, an HTML field bound to a variable, a field and static text
    // in an embedded font.
    swfb::Movie m = Base(false);
    swfb::FontGlyph glyph;
    glyph.code = 'A';
    glyph.shape.SetFill1(glyph.shape.AddFill(swfb::Fill::Solid({0, 0, 0, 255})));
    glyph.shape.Ellipse(512, -512, 400, 500);
    glyph.advance = 1100;
    const uint16_t font = m.DefineFont2("Seed", std::span(&glyph, 1), 900, 200, 40);
    swfb::EditText device;
    device.bounds = {0, 1600, 0, 600};
    device.text = "device text wraps here";
    device.wordWrap = device.multiline = device.border = true;
    device.align = 2;
    swfb::EditText html = device;
    html.html = true;
    html.text = "<p align='right'><b>bold</b> <font size='+4' color='#ff0000'>big</font></p>x";
    html.variable = "bound";
    swfb::EditText embedded = device;
    embedded.fontId = font;
    embedded.useOutlines = true;
    embedded.text = "AAA A";
    swfb::TextRun run{font, 300, {0, 128, 255, 255}, 40, 400, {{0, 330}, {0, 330}}};
    const uint16_t ids[] = {m.DefineEditText(device), m.DefineEditText(html),
                            m.DefineEditText(embedded),
                            m.DefineText({0, 800, 0, 500}, swfb::Matrix::Scale(1.5, 1), std::span(&run, 1))};
    uint16_t depth = 1;
    for (uint16_t id : ids) {
      swfb::Place p;
      p.depth = depth;
      p.characterId = id;
      p.matrix = swfb::Matrix::Transform(1, 1, 0.2 * depth, 100 * depth, 200 * depth);
      m.PlaceObject2(p);
      ++depth;
    }
    m.DoAction(swfb::Actions().Set("bound", "<i>changed</i>").Bytes()).ShowFrame();
    movies.push_back({"text", m});
  }

  int failures = 0;
  for (const auto& [name, movie] : movies) {
    if (!movie.Save(dir + "/" + name + ".swf")) ++failures;
  }
  if (failures) std::fprintf(stderr, "could not write %d seeds into %s\n", failures, dir.c_str());
  return failures ? 1 : 0;
}
