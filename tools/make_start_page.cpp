// Writes Brimloft's start-page movie: a floating badge (a teal disc inside a translucent ring,
// with a white "B" and a light orbiting the ring). The projector shows only the pixels the
// movie draws, so everything outside the badge stays transparent desktop.
//
//   make_start_page OUT.swf
//
// The output is the same bytes on every run: no clock, no randomness.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "tools/swf_builder.h"

namespace {

constexpr int kStagePixels = 320;
constexpr double kCentre = kStagePixels / 2.0;
constexpr int kOrbitFrames = 48;

constexpr double kDiscRadius = 116;
constexpr double kRingInner = 127;
constexpr double kRingOuter = 150;

int32_t Tw(double pixels) { return swfb::ToTwips(pixels); }

// Letter outlines are drawn in a 100 x 130 pixel design box and placed by offset.
struct Glyph {
  double originX, originY;
  swfb::ContourPoint P(double x, double y, bool control = false) const {
    return {Tw(originX + x), Tw(originY + y), control};
  }
};

// The bold "B": one outer contour and two counters, all clockwise on screen; the counters are
// drawn reversed so they cut holes.
void DrawMonogram(swfb::Shape& s, double originX, double originY) {
  const Glyph g{originX, originY};
  const swfb::ContourPoint outer[] = {
      g.P(0, 0),           g.P(56, 0),   g.P(92, 0, true),   g.P(92, 32),
      g.P(92, 52, true),   g.P(74, 61),  g.P(100, 70, true), g.P(100, 95),
      g.P(100, 130, true), g.P(60, 130), g.P(0, 130),
  };
  const swfb::ContourPoint upperCounter[] = {
      g.P(30, 23),       g.P(52, 23), g.P(64, 23, true), g.P(64, 37),
      g.P(64, 51, true), g.P(52, 51), g.P(30, 51),
  };
  const swfb::ContourPoint lowerCounter[] = {
      g.P(30, 74),        g.P(56, 74),  g.P(70, 74, true), g.P(70, 90.5),
      g.P(70, 107, true), g.P(56, 107), g.P(30, 107),
  };
  s.Contour(outer);
  s.Contour(upperCounter, true);
  s.Contour(lowerCounter, true);
}

swfb::Rect Box(double cx, double cy, double r) {
  return {Tw(cx - r), Tw(cx + r), Tw(cy - r), Tw(cy + r)};
}

// The disc: lit from the upper left by a focal gradient running from bright cyan to deep teal,
// with a thin light rim.
swfb::Shape Disc() {
  swfb::Shape s;
  swfb::Gradient g;
  g.spread = swfb::Spread::Pad;
  g.stops = {{0, {0x7C, 0xF6, 0xFF, 0xFF}},
             {0x70, {0x1F, 0xB5, 0xC8, 0xFF}},
             {0xD0, {0x0B, 0x6A, 0x7A, 0xFF}},
             {0xFF, {0x06, 0x43, 0x50, 0xFF}}};
  // The focal point sits towards the upper left: the gradient's own x axis is turned to point
  // there, and the circle is a little larger than the disc so that the darkest stop meets the rim.
  const swfb::Matrix m =
      swfb::Fill::GradientBox(Box(kCentre, kCentre, kDiscRadius * 1.08), std::numbers::pi * 1.25);
  s.SetFill1(s.AddFill(swfb::Fill::Focal(m, g, 0.55)));
  s.SetLine(s.AddLine(swfb::Line::Solid(Tw(1.5), {0xB8, 0xFA, 0xFF, 0xC0})));
  s.Circle(Tw(kCentre), Tw(kCentre), Tw(kDiscRadius));
  return s;
}

// The ring: translucent, slightly brighter on its outer edge.
swfb::Shape Ring() {
  swfb::Shape s;
  swfb::Gradient g;
  const double inner = kRingInner / kRingOuter;
  g.stops = {{static_cast<uint8_t>(inner * 255), {0x2A, 0xC8, 0xDC, 0x60}},
             {0xF0, {0x5C, 0xE8, 0xF5, 0x90}},
             {0xFF, {0x9A, 0xF4, 0xFB, 0x80}}};
  s.SetFill1(
      s.AddFill(swfb::Fill::Radial(swfb::Fill::GradientBox(Box(kCentre, kCentre, kRingOuter)), g)));
  s.Circle(Tw(kCentre), Tw(kCentre), Tw(kRingOuter));
  s.Circle(Tw(kCentre), Tw(kCentre), Tw(kRingInner), true);
  return s;
}

// The letter: white with a faint cool shading from top to bottom.
swfb::Shape Monogram(double ox, double oy) {
  swfb::Shape s;
  swfb::Gradient g;
  g.stops = {{0, {0xFF, 0xFF, 0xFF, 0xFF}}, {0xFF, {0xCF, 0xEF, 0xF4, 0xFF}}};
  const swfb::Rect box{Tw(ox), Tw(ox + 100), Tw(oy), Tw(oy + 130)};
  s.SetFill1(s.AddFill(swfb::Fill::Linear(swfb::Fill::GradientBox(box, std::numbers::pi / 2), g)));
  DrawMonogram(s, ox, oy);
  return s;
}

swfb::Shape MonogramShadow(double ox, double oy) {
  swfb::Shape s;
  s.SetFill1(s.AddFill(swfb::Fill::Solid({0x02, 0x2A, 0x33, 0x58})));
  DrawMonogram(s, ox, oy);
  return s;
}

// The orbiting light: a soft halo around a bright core, centred on the sprite's origin.
swfb::Shape Light() {
  swfb::Shape s;
  swfb::Gradient g;
  g.stops = {{0, {0xFF, 0xFF, 0xFF, 0xFF}},
             {0x60, {0xD8, 0xFD, 0xFF, 0xD0}},
             {0xFF, {0x7C, 0xF6, 0xFF, 0x00}}};
  s.SetFill1(s.AddFill(swfb::Fill::Radial(swfb::Fill::GradientBox(Box(0, 0, 16)), g)));
  s.Circle(0, 0, Tw(16));
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_start_page OUT.swf\n");
    return 2;
  }

  swfb::MovieHeader header;
  header.version = 8;
  header.stage = {0, Tw(kStagePixels), 0, Tw(kStagePixels)};
  header.frameRate = 24;
  swfb::Movie movie(header);
  movie.SetBackgroundColor({0x0B, 0x3C, 0x46, 0xFF});

  const double letterX = kCentre - 50, letterY = kCentre - 65;
  const uint16_t ring = movie.DefineShape(Ring(), 4);
  const uint16_t disc = movie.DefineShape(Disc(), 4);
  const uint16_t shadow = movie.DefineShape(MonogramShadow(letterX + 3, letterY + 4), 3);
  const uint16_t letter = movie.DefineShape(Monogram(letterX, letterY), 3);
  const uint16_t light = movie.DefineShape(Light(), 3);

  // The light circles the middle of the ring once every 48 frames, two seconds at 24 fps.
  swfb::Sprite orbit;
  const double orbitRadius = (kRingInner + kRingOuter) / 2;
  for (int frame = 0; frame < kOrbitFrames; ++frame) {
    const double angle = -std::numbers::pi / 2 + 2 * std::numbers::pi * frame / kOrbitFrames;
    swfb::Place p;
    p.depth = 1;
    p.matrix = swfb::Matrix::Translate(Tw(orbitRadius * std::cos(angle)),
                                       Tw(orbitRadius * std::sin(angle)));
    if (frame == 0) {
      p.characterId = light;
    } else {
      p.move = true;
    }
    orbit.PlaceObject2(p);
    orbit.ShowFrame();
  }
  const uint16_t orbitId = movie.DefineSprite(orbit);

  uint16_t depth = 1;
  for (const uint16_t id : {ring, disc, shadow, letter}) {
    swfb::Place p;
    p.depth = depth++;
    p.characterId = id;
    movie.PlaceObject2(p);
  }
  swfb::Place orbitPlace;
  orbitPlace.depth = depth;
  orbitPlace.characterId = orbitId;
  orbitPlace.matrix = swfb::Matrix::Translate(Tw(kCentre), Tw(kCentre));
  orbitPlace.name = "orbit";
  movie.PlaceObject2(orbitPlace);
  movie.ShowFrame();

  if (!movie.Save(argv[1])) {
    std::fprintf(stderr, "make_start_page: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
