#include "player/compose.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "player/render.h"

namespace swf {
namespace {

size_t EdgeCount(const Shape& shape) {
  size_t n = 0;
  for (const Path& p : shape.paths) n += p.edges.size();
  return n;
}

// A clip holding a loaded movie (or a level) finds its characters in that movie's dictionary.
const Movie& Library(const DisplayObject& object, const Movie& around) {
  return object.library ? *object.library : around;
}

struct Composer {
  const Canvas& canvas;
  const Movie* movie;
  PixelRect area;  // canvas clip within the canvas
  size_t edgesLeft = kMaxEdgesPerFrame;

  bool Charge(const Shape& shape) {
    const size_t edges = EdgeCount(shape);
    if (edges > edgesLeft) {
      edgesLeft = 0;
      return false;
    }
    edgesLeft -= edges;
    return true;
  }

  // The shapes of `object` and everything inside it, unioned into `mask`.
  // Switches to the dictionary of a loaded movie while its clip is drawn.
  struct LibraryScope {
    Composer& c;
    const Movie* saved;
    LibraryScope(Composer& composer, const DisplayObject& object)
        : c(composer), saved(composer.movie) {
      c.movie = &Library(object, *saved);
    }
    ~LibraryScope() { c.movie = saved; }
  };

  void Coverage(const DisplayObject& object, const Matrix& m, const CoverageMask* clip,
                CoverageMask& mask) {
    LibraryScope scope(*this, object);
    if (const Shape* shape = std::get_if<Shape>(movie->Find(object.characterId))) {
      if (Charge(*shape)) DrawShapeCoverage(mask, *shape, {m, {}, movie, clip});
    }
    if (object.drawing && Charge(object.drawing->shape())) {
      DrawShapeCoverage(mask, object.drawing->shape(), {m, {}, movie, clip});
    }
    for (const auto& [depth, child] : object.children) {
      // A mask inside a mask does not mask its siblings here; its own shapes still count.
      Coverage(*child, m * child->matrix, clip, mask);
    }
  }

  void Draw(const DisplayObject& object, const Matrix& m, const ColorTransform& colors,
            const CoverageMask* clip) {
    LibraryScope scope(*this, object);
    if (const Shape* shape = std::get_if<Shape>(movie->Find(object.characterId))) {
      if (Charge(*shape)) DrawShape(canvas, *shape, {m, colors, movie, clip});
    }
    if (object.drawing && Charge(object.drawing->shape())) {
      DrawShape(canvas, object.drawing->shape(), {m, colors, movie, clip});
    }
    if (object.children.empty()) return;
    struct Layer {
      int32_t untilDepth;
      CoverageMask mask;
    };
    std::vector<std::unique_ptr<Layer>> masks;
    for (const auto& [depth, child] : object.children) {
      while (!masks.empty() && depth > masks.back()->untilDepth) masks.pop_back();
      const CoverageMask* current = masks.empty() ? clip : &masks.back()->mask;
      const Matrix childMatrix = m * child->matrix;
      if (child->clipDepth > 0) {
        auto layer = std::make_unique<Layer>();
        layer->untilDepth = child->clipDepth;
        layer->mask.area = area;
        layer->mask.coverage.assign(static_cast<size_t>(area.right - area.left) *
                                        static_cast<size_t>(area.bottom - area.top),
                                    0);
        Coverage(*child, childMatrix, current, layer->mask);
        masks.push_back(std::move(layer));
        continue;
      }
      if (child->visible) Draw(*child, childMatrix, colors * child->colors, current);
    }
  }
};

// The character's own shape, or what a script drew into the clip.
bool OwnHit(const Movie& around, const DisplayObject& object, const Matrix& m, Point pixel) {
  const Movie& movie = Library(object, around);
  if (const Shape* shape = std::get_if<Shape>(movie.Find(object.characterId))) {
    if (ShapeContains(*shape, m, pixel)) return true;
  }
  return object.drawing && ShapeContains(object.drawing->shape(), m, pixel);
}

bool ShapeHit(const Movie& around, const DisplayObject& object, const Matrix& m, Point pixel) {
  const Movie& movie = Library(object, around);
  if (OwnHit(movie, object, m, pixel)) return true;
  for (const auto& [depth, child] : object.children) {
    if (ShapeHit(movie, *child, m * child->matrix, pixel)) return true;
  }
  return false;
}

bool Hit(const Movie& around, const DisplayObject& object, const Matrix& m, Point pixel) {
  const Movie& movie = Library(object, around);
  if (OwnHit(movie, object, m, pixel)) return true;
  struct Mask {
    int32_t untilDepth;
    bool contains;
  };
  std::vector<Mask> masks;
  for (const auto& [depth, child] : object.children) {
    while (!masks.empty() && depth > masks.back().untilDepth) masks.pop_back();
    const bool open =
        std::all_of(masks.begin(), masks.end(), [](const Mask& k) { return k.contains; });
    const Matrix childMatrix = m * child->matrix;
    if (child->clipDepth > 0) {
      masks.push_back({child->clipDepth, open && ShapeHit(movie, *child, childMatrix, pixel)});
      continue;
    }
    if (open && child->visible && Hit(movie, *child, childMatrix, pixel)) return true;
  }
  return false;
}

}  // namespace

void Bounds::Add(Point p) {
  if (empty) {
    xMin = xMax = p.x;
    yMin = yMax = p.y;
    empty = false;
    return;
  }
  xMin = std::min(xMin, p.x);
  xMax = std::max(xMax, p.x);
  yMin = std::min(yMin, p.y);
  yMax = std::max(yMax, p.y);
}

namespace {

Bounds MapBounds(const Bounds& b, const Matrix& m) {
  Bounds out;
  if (b.empty) return out;
  for (const Point corner : {Point{b.xMin, b.yMin}, Point{b.xMax, b.yMin}, Point{b.xMin, b.yMax},
                             Point{b.xMax, b.yMax}}) {
    out.Add(m.Apply(corner));
  }
  // Measured in whole twips at every level.
  out.xMin = std::round(out.xMin);
  out.yMin = std::round(out.yMin);
  out.xMax = std::round(out.xMax);
  out.yMax = std::round(out.yMax);
  return out;
}

// In the object's own twips. Each level measures its children as boxes in its own space, as
// the original does, so a rotated child adds the corners of its box rather than its outline.
Bounds LocalBounds(const Movie& around, const DisplayObject& object) {
  const Movie& movie = Library(object, around);
  Bounds out;
  const Character* character = object.characterId ? movie.Find(object.characterId) : nullptr;
  if (const Shape* shape = std::get_if<Shape>(character)) {
    const TwipsRect& r = shape->bounds;
    out.Add({static_cast<double>(r.xMin), static_cast<double>(r.yMin)});
    out.Add({static_cast<double>(r.xMax), static_cast<double>(r.yMax)});
  } else if (const Bitmap* bitmap = std::get_if<Bitmap>(character)) {
    out.Add({0, 0});
    out.Add({bitmap->width * 20.0, bitmap->height * 20.0});
  }
  if (object.drawing && !object.drawing->Empty()) {
    const TwipsRect& r = object.drawing->shape().bounds;
    out.Add({static_cast<double>(r.xMin), static_cast<double>(r.yMin)});
    out.Add({static_cast<double>(r.xMax), static_cast<double>(r.yMax)});
  }
  for (const auto& [depth, child] : object.children) {
    const Bounds inner = MapBounds(LocalBounds(movie, *child), child->matrix);
    if (inner.empty) continue;
    out.Add({inner.xMin, inner.yMin});
    out.Add({inner.xMax, inner.yMax});
  }
  return out;
}

}  // namespace

Bounds ObjectBounds(const Movie& movie, const DisplayObject& object, const Matrix& m) {
  return MapBounds(LocalBounds(movie, object), m);
}

bool ObjectContains(const Movie& movie, const DisplayObject& object, const Matrix& m, Point pixel) {
  return ShapeHit(movie, object, m, pixel);
}

Matrix ViewMatrix(const TwipsRect& stage, ScaleMode mode, int width, int height) {
  const double stageWidth = Twips{stage.xMax - stage.xMin}.Pixels();
  const double stageHeight = Twips{stage.yMax - stage.yMin}.Pixels();
  double sx = 1, sy = 1;
  if (stageWidth > 0 && stageHeight > 0 && width > 0 && height > 0) {
    const double fx = width / stageWidth, fy = height / stageHeight;
    switch (mode) {
      case ScaleMode::ShowAll:
        sx = sy = std::min(fx, fy);
        break;
      case ScaleMode::NoBorder:
        sx = sy = std::max(fx, fy);
        break;
      case ScaleMode::ExactFit:
        sx = fx, sy = fy;
        break;
      case ScaleMode::NoScale:
        break;
    }
  }
  const double left = (width - stageWidth * sx) / 2;
  const double top = (height - stageHeight * sy) / 2;
  return {sx / 20,
          0,
          0,
          sy / 20,
          left - Twips{stage.xMin}.Pixels() * sx,
          top - Twips{stage.yMin}.Pixels() * sy};
}

void ComposeFrame(const Canvas& canvas, const Movie& movie, const DisplayObject& root,
                  const Matrix& view) {
  PixelRect area = canvas.clip;
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, canvas.width);
  area.bottom = std::min(area.bottom, canvas.height);
  if (area.Empty() || !canvas.base) return;
  Composer composer{canvas, &movie, area};
  composer.Draw(root, view * root.matrix, root.colors, nullptr);
}

bool HitTestFrame(const Movie& movie, const DisplayObject& root, const Matrix& view, Point pixel) {
  return Hit(movie, root, view * root.matrix, pixel);
}

}  // namespace swf
