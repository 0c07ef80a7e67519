#include "player/compose.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "player/bitmap_draw.h"
#include "player/raster/blend.h"
#include "player/raster/filters.h"
#include "player/raster/pixel.h"
#include "player/render.h"

namespace swf {
namespace {

// A clip holding a loaded movie (or a level) finds its characters in that movie's dictionary.
const Movie& Library(const DisplayObject& object, const Movie& around) {
  return object.library ? *object.library : around;
}

// The shape `object` shows: its character's, or a morph's at the object's ratio (made in
// `scratch`). Null for characters without a shape.
const Shape* OwnShape(const Movie& movie, const DisplayObject& object, Shape& scratch) {
  const Character* character = movie.Find(object.characterId);
  if (const Shape* shape = std::get_if<Shape>(character)) return shape;
  if (const MorphShape* morph = std::get_if<MorphShape>(character)) {
    MorphAt(*morph, object.ratio, scratch);
    return &scratch;
  }
  return nullptr;
}

size_t EdgeCount(const Shape& shape) {
  size_t n = 0;
  for (const Path& p : shape.paths) n += p.edges.size();
  return n;
}

// Off-screen buffers for layers and masks, kept from frame to frame: a frame takes them in
// stack order and gives them back, so drawing allocates only while a movie's needs grow. Kept
// for the thread's life and never destroyed, for the same reason as the rasterizer's scratch.
struct BufferPool {
  std::vector<std::unique_ptr<std::vector<uint32_t>>> layers;
  std::vector<std::unique_ptr<CoverageMask>> masks;
  size_t layersUsed = 0, masksUsed = 0;
};

BufferPool& ThreadPool() {
  thread_local BufferPool* pool = nullptr;
  if (!pool) pool = new BufferPool;
  return *pool;
}

// From the object's own twips to the stage's.
Matrix ToStage(const DisplayObject& o) {
  Matrix m = o.matrix;
  for (const DisplayObject* p = o.parent; p; p = p->parent) m = p->matrix * m;
  return m;
}

size_t Area(const PixelRect& r) {
  return r.Empty() ? 0 : static_cast<size_t>(r.right - r.left) * (r.bottom - r.top);
}

// Whole pixels that hold everything `object` draws under `m`, with `margin` more on each side.
PixelRect PixelBounds(const Movie& movie, const DisplayObject& object, const Matrix& m,
                      double margin) {
  const Bounds b = ObjectBounds(movie, object, m);
  if (b.empty) return {};
  auto clampInt = [](double v) { return static_cast<int>(std::clamp(v, -1e8, 1e8)); };
  return {clampInt(std::floor(b.xMin - margin)) - 1, clampInt(std::floor(b.yMin - margin)) - 1,
          clampInt(std::ceil(b.xMax + margin)) + 1, clampInt(std::ceil(b.yMax + margin)) + 1};
}

// Filters together spread an object's pixels at most this far, and never further than the
// target is wide: beyond that a blur only thins out what little reaches the target.
constexpr int kMaxFilterMargin = 2048;
// Filter work a frame may do, in layer pixels times passes times channels per pixel drawn (and a
// little more for tiny views); filters past it are left out, so that a movie full of huge blurs
// costs a bounded time per frame.
constexpr double kFilterWorkPerPixel = 12;
constexpr double kFilterWorkExtra = 1 << 16;

// Off-screen layers a frame may hold at once, in pixels (four bytes each): one layer as large as
// a big screen, or a deep nest of smaller ones. An object whose layer would not fit is drawn
// without the part of its filters' reach beyond the target, and left out when even that does
// not fit, so that a hostile movie cannot make drawing allocate without bound.
constexpr size_t kMaxLayerPixels = size_t{1} << 24;

// Whether the original draws `object` through a bitmap of its own.
bool CachedAsBitmap(const DisplayObject& object) {
  return object.cacheAsBitmap || object.scrollRect || object.opaqueBackground;
}

// Where drawing goes: the caller's canvas or a layer, and the part of it worth drawing.
struct Target {
  Canvas canvas;
  PixelRect area;
};

struct Composer {
  const Movie* movie;
  bool aliased = false;
  double filterScale = 1;  // pixels per stage pixel: filters grow with the view
  double filterWorkLeft = kFilterWorkExtra;
  DeviceFonts* fonts = nullptr;
  uint64_t focus = 0;  // the object with the keyboard focus
  // From the stage's twips to the target's pixels: where a script mask elsewhere in the tree
  // lands.
  Matrix view = Matrix{};
  size_t edgesLeft = kMaxEdgesPerFrame;
  BufferPool& pool = ThreadPool();
  size_t layerPixelsLeft = kMaxLayerPixels;
  int layersOpen = 0;  // off-screen layers the object being drawn lies inside

  bool Charge(const Shape& shape) {
    const size_t edges = EdgeCount(shape);
    if (edges > edgesLeft) {
      edgesLeft = 0;
      return false;
    }
    edgesLeft -= edges;
    return true;
  }

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

  // The shapes of `object` and everything inside it, unioned into `mask`.
  void Coverage(const DisplayObject& object, const Matrix& m, const CoverageMask* clip,
                CoverageMask& mask) {
    LibraryScope scope(*this, object);
    Shape morphed;
    if (const Shape* shape = OwnShape(*movie, object, morphed)) {
      if (Charge(*shape)) DrawShapeCoverage(mask, *shape, {m, {}, movie, clip, aliased});
    }
    if (object.drawing && Charge(object.drawing->shape())) {
      DrawShapeCoverage(mask, object.drawing->shape(), {m, {}, movie, clip, aliased});
    }
    if (object.field) object.field->DrawCoverage(mask, m, clip, aliased, fonts);
    for (const auto& [depth, child] : object.children) {
      // A mask inside a mask does not mask its siblings here; its own shapes still count.
      Coverage(*child, m * child->matrix, clip, mask);
    }
  }

  // Whole pixels a mask may cover under `m`: its bounds, and the text of its fields, which
  // masks whole even where it runs past a field's box.
  PixelRect MaskBounds(const DisplayObject& object, const Matrix& m) {
    PixelRect area = PixelBounds(*movie, object, m, 0);
    AddFieldText(object, m, area);
    return area;
  }
  void AddFieldText(const DisplayObject& object, const Matrix& m, PixelRect& area) {
    if (object.field && object.field->embedFonts) {
      if (const std::optional<TwipsRect> box = object.field->TextBox(fonts)) {
        Bounds b;
        for (const Point p : {Point{double(box->xMin), double(box->yMin)},
                              Point{double(box->xMax), double(box->yMin)},
                              Point{double(box->xMin), double(box->yMax)},
                              Point{double(box->xMax), double(box->yMax)}}) {
          b.Add(m.Apply(p));
        }
        const auto clampInt = [](double v) { return static_cast<int>(std::clamp(v, -1e8, 1e8)); };
        const PixelRect text{clampInt(std::floor(b.xMin)) - 1, clampInt(std::floor(b.yMin)) - 1,
                             clampInt(std::ceil(b.xMax)) + 1, clampInt(std::ceil(b.yMax)) + 1};
        area = area.Empty() ? text : PixelRect{std::min(area.left, text.left),
                                               std::min(area.top, text.top),
                                               std::max(area.right, text.right),
                                               std::max(area.bottom, text.bottom)};
      }
    }
    for (const auto& [depth, child] : object.children) AddFieldText(*child, m * child->matrix, area);
  }

  CoverageMask& TakeMask(const PixelRect& area) {
    if (pool.masksUsed == pool.masks.size()) pool.masks.push_back(std::make_unique<CoverageMask>());
    CoverageMask& mask = *pool.masks[pool.masksUsed++];
    mask.area = area;
    mask.coverage.assign(Area(area), 0);
    return mask;
  }

  std::vector<uint32_t>& TakeLayer(const PixelRect& area) {
    if (pool.layersUsed == pool.layers.size()) {
      pool.layers.push_back(std::make_unique<std::vector<uint32_t>>());
    }
    std::vector<uint32_t>& pixels = *pool.layers[pool.layersUsed++];
    pixels.assign(Area(area), 0);
    return pixels;
  }

  // How far the object moves when its top-left bounds corner, in pixels under `m` (not
  // rounded, unlike the bounds a script reads), goes to the nearest whole pixel.
  Point SnapOffset(const DisplayObject& object, const Matrix& m) const {
    const Bounds local = ObjectBounds(*movie, object, Matrix{});
    if (local.empty) return {0, 0};
    Bounds b;
    for (const Point corner : {Point{local.xMin, local.yMin}, Point{local.xMax, local.yMin},
                               Point{local.xMin, local.yMax}, Point{local.xMax, local.yMax}}) {
      b.Add(m.Apply(corner));
    }
    if (!std::isfinite(b.xMin) || !std::isfinite(b.yMin)) return {0, 0};
    return {std::floor(b.xMin + 0.5) - b.xMin, std::floor(b.yMin + 0.5) - b.yMin};
  }

  // Draws `object` into a layer of its own and blends that onto the target.
  void DrawLayered(const Target& t, const DisplayObject& object, const Matrix& m,
                   const ColorTransform& colors, const CoverageMask* clip) {
    int margin = 0;
    for (const Filter& f : object.filters) {
      margin = std::min(margin + raster::FilterMargin(f, filterScale), kMaxFilterMargin);
    }
    margin = std::min(margin, std::max(t.area.right - t.area.left, t.area.bottom - t.area.top));
    // A filter spreads what lies just outside the target into it: draw that too.
    const PixelRect reach{t.area.left - margin, t.area.top - margin, t.area.right + margin,
                          t.area.bottom + margin};
    PixelRect area = Intersect(PixelBounds(*movie, object, m, margin), reach);
    if (Area(area) > layerPixelsLeft) area = Intersect(area, t.area);
    if (area.Empty() || Area(area) > layerPixelsLeft) return;
    layerPixelsLeft -= Area(area);
    std::vector<uint32_t>& pixels = TakeLayer(area);
    const int width = area.right - area.left, height = area.bottom - area.top;
    const Target layer{{reinterpret_cast<uint8_t*>(pixels.data()),
                        width * 4,
                        width,
                        height,
                        {0, 0, width, height}},
                       {0, 0, width, height}};
    Matrix shifted = m;
    // A cached or filtered object is drawn into its bitmap with its bounds' corner on a pixel
    // corner, and the bitmap lands on the nearest whole pixel: the original moves it by up to
    // half a pixel rather than blending it across pixel boundaries.
    const Point snap =
        object.cacheAsBitmap || !object.filters.empty() ? SnapOffset(object, m) : Point{0, 0};
    shifted.tx += snap.x - area.left;
    shifted.ty += snap.y - area.top;
    // The object is drawn as itself, then coloured as a whole: overlapping parts of a faded
    // group do not show through each other, and its filters' glows fade with it.
    ++layersOpen;
    Draw(layer, object, shifted, ColorTransform{}, nullptr);
    --layersOpen;
    for (const Filter& f : object.filters) {
      // A blur works on four channels, a bevel on two, a convolution on every tap of its
      // kernel, the others on one.
      double planes = 1;
      if (f.kind == FilterKind::Blur) planes = 4;
      if (f.kind == FilterKind::Bevel || f.kind == FilterKind::GradientBevel) planes = 2;
      if (f.kind == FilterKind::Convolution) {
        const int side = raster::kMaxConvolutionSide;
        planes = std::max(1.0, std::clamp(f.columns, 0, side) * std::clamp(f.rows, 0, side) / 8.0);
      }
      const double work = static_cast<double>(width) * height * std::max(1, f.passes) * planes;
      if (work > filterWorkLeft) break;
      filterWorkLeft -= work;
      raster::ApplyFilter(f, filterScale, pixels, width, height);
    }
    if (!colors.IsIdentity()) {
      for (uint32_t& p : pixels) {
        if (p != 0 || colors.aAdd > 0) p = raster::TransformPremultiplied(colors, p);
      }
    }
    raster::CompositeLayer(t.canvas, {area, pixels.data()}, object.blendMode, clip);
    --pool.layersUsed;
    layerPixelsLeft += Area(area);
  }

  // The pixels whose centres a box in the object's own twips holds under `m` (a centre on the
  // box's left or top edge counts as inside).
  static PixelRect BoxPixels(const Matrix& m, double xMin, double yMin, double xMax, double yMax) {
    Bounds b;
    for (const Point corner :
         {Point{xMin, yMin}, Point{xMax, yMin}, Point{xMin, yMax}, Point{xMax, yMax}}) {
      b.Add(m.Apply(corner));
    }
    auto whole = [](double v) {
      return static_cast<int>(std::clamp(std::ceil(v - 0.5), -1e8, 1e8));
    };
    if (b.empty || !std::isfinite(b.xMin + b.yMin + b.xMax + b.yMax)) return {};
    return {whole(b.xMin), whole(b.yMin), whole(b.xMax), whole(b.yMax)};
  }

  // An opaque background: its colour over the object's bounds, beneath everything it draws.
  void FillBackground(const Target& t, const DisplayObject& object, const Matrix& m,
                      const ColorTransform& colors, const CoverageMask* clip) {
    const Bounds b = ObjectBounds(*movie, object, Matrix{});
    if (b.empty) return;
    const PixelRect area =
        Intersect(Intersect(BoxPixels(m, b.xMin, b.yMin, b.xMax, b.yMax), t.area), t.canvas.clip);
    if (area.Empty()) return;
    Rgba c = *object.opaqueBackground;
    c.a = 255;
    const uint32_t color = raster::TransformPremultiplied(colors, raster::Premultiply(c));
    for (int y = area.top; y < area.bottom; ++y) {
      uint32_t* row = t.canvas.Row(y);
      for (int x = area.left; x < area.right; ++x) {
        const uint32_t coverage = clip ? clip->At(x, y) : 255;
        if (coverage) row[x] = raster::BlendOver(row[x], color, coverage == 255 ? 256 : coverage);
      }
    }
  }

  void Draw(const Target& target, const DisplayObject& object, const Matrix& placed,
            const ColorTransform& colors, const CoverageMask* clip) {
    LibraryScope scope(*this, object);
    if (object.opaqueBackground) FillBackground(target, object, placed, colors, clip);
    // A scroll window shows the content from its corner on, and nothing outside it.
    Target t = target;
    Matrix m = placed;
    if (object.scrollRect) {
      const DisplayObject::ScrollRect& r = *object.scrollRect;
      const PixelRect window = BoxPixels(placed, 0, 0, r.width * 20, r.height * 20);
      t.area = Intersect(t.area, window);
      t.canvas.clip = Intersect(t.canvas.clip, window);
      if (t.area.Empty()) return;
      m = placed * Matrix{1, 0, 0, 1, -r.x * 20, -r.y * 20};
    }
    Shape morphed;
    if (const Shape* shape = OwnShape(*movie, object, morphed)) {
      if (Charge(*shape)) DrawShape(t.canvas, *shape, {m, colors, movie, clip, aliased});
    }
    if (object.drawing && Charge(object.drawing->shape())) {
      DrawShape(t.canvas, object.drawing->shape(), {m, colors, movie, clip, aliased});
    }
    if (object.field) object.field->Draw(t.canvas, m, colors, clip, fonts, object.id == focus);
    if (object.bitmap && !object.bitmap->disposed()) {
      DrawImage(t.canvas, object.bitmap->image(), m * Matrix{20, 0, 0, 20, 0, 0}, colors,
                object.smoothing && !aliased, clip, aliased);
    }
    if (object.children.empty()) return;
    struct Layer {
      int32_t untilDepth;
      CoverageMask* mask;
    };
    std::vector<Layer> masks;
    const size_t masksBefore = pool.masksUsed;
    for (const auto& [depth, child] : object.children) {
      while (!masks.empty() && depth > masks.back().untilDepth) {
        masks.pop_back();
        --pool.masksUsed;
      }
      const CoverageMask* current = masks.empty() ? clip : masks.back().mask;
      const Matrix childMatrix = m * child->matrix;
      if (child->clipDepth > 0) {
        // Only the part of the target the mask's shapes reach can show anything.
        const PixelRect area = Intersect(MaskBounds(*child, childMatrix), t.area);
        CoverageMask& mask = TakeMask(area);
        if (!area.Empty()) Coverage(*child, childMatrix, current, mask);
        masks.push_back({child->clipDepth, &mask});
        continue;
      }
      // A clip another masks by script cuts it out and is not drawn itself.
      if (!child->visible || child->masking) continue;
      // Alpha and erase work on the layer of a group; with none around them, there is nothing
      // for them to cut into, and they show nothing.
      if ((child->blendMode == BlendMode::Alpha || child->blendMode == BlendMode::Erase) &&
          layersOpen == 0) {
        continue;
      }
      if (child->maskedBy) {
        const DisplayObject& mask = *child->maskedBy;
        const Matrix maskMatrix = view * ToStage(mask);
        const PixelRect area = Intersect(MaskBounds(mask, maskMatrix), t.area);
        CoverageMask& cut = TakeMask(area);
        if (!area.Empty()) Coverage(mask, maskMatrix, current, cut);
        current = &cut;
      }
      const ColorTransform childColors = colors * child->colors;
      if (child->blendMode != BlendMode::Normal || !child->filters.empty() ||
          CachedAsBitmap(*child)) {
        DrawLayered(t, *child, childMatrix, childColors, current);
      } else {
        Draw(t, *child, childMatrix, childColors, current);
      }
      if (child->maskedBy) --pool.masksUsed;
    }
    pool.masksUsed = masksBefore;
  }
};

// The character's own shape, or what a script drew into the clip.
bool OwnHit(const Movie& around, const DisplayObject& object, const Matrix& m, Point pixel) {
  const Movie& movie = Library(object, around);
  Shape morphed;
  if (const Shape* shape = OwnShape(movie, object, morphed)) {
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

bool InBox(const TwipsRect& r, const Matrix& m, Point pixel) {
  const Matrix inverse = m.Inverse();
  if (!inverse.IsFinite()) return false;
  const Point p = inverse.Apply(pixel);
  return p.x >= r.xMin && p.x <= r.xMax && p.y >= r.yMin && p.y <= r.yMax;
}

// Whether a child of `object` (under matrix `m`) is hit: a clip layer takes no hit itself, but
// cuts the children it covers to where it is hit (`layerHit`); `childHit` tests the others.
template <typename LayerHit, typename ChildTest>
bool ChildHit(const DisplayObject& object, const Matrix& m, LayerHit layerHit, ChildTest childHit) {
  struct Layer {
    int32_t untilDepth;
    bool contains;
  };
  std::vector<Layer> layers;
  for (const auto& [depth, child] : object.children) {
    while (!layers.empty() && depth > layers.back().untilDepth) layers.pop_back();
    const bool open =
        std::all_of(layers.begin(), layers.end(), [](const Layer& l) { return l.contains; });
    const Matrix childMatrix = m * child->matrix;
    if (child->clipDepth > 0) {
      layers.push_back({child->clipDepth, open && layerHit(*child, childMatrix)});
      continue;
    }
    if (open && childHit(*child, childMatrix)) return true;
  }
  return false;
}

// hitTest's shape test. Clip layers inside `object` cut what they cover (a layer takes no hit
// itself); script masks inside it and visibility do not count. An edit field takes the hit
// across its box, and static text turned or slanted on the way to the stage across the upright
// box around it there, as the original answers.
bool ShapeFlagHit(const Movie& around, const DisplayObject& object, const Matrix& m, Point pixel) {
  const Movie& movie = Library(object, around);
  if (object.field && InBox(object.field->bounds, m, pixel)) return true;
  const Shape* text = movie.staticTexts.contains(object.characterId)
                          ? std::get_if<Shape>(movie.Find(object.characterId))
                          : nullptr;
  if (text && (m.b != 0 || m.c != 0)) {
    Bounds box;
    const TwipsRect& r = text->bounds;
    for (const Point corner :
         {Point{double(r.xMin), double(r.yMin)}, Point{double(r.xMax), double(r.yMin)},
          Point{double(r.xMin), double(r.yMax)}, Point{double(r.xMax), double(r.yMax)}}) {
      box.Add(m.Apply(corner));
    }
    if (pixel.x >= box.xMin && pixel.x <= box.xMax && pixel.y >= box.yMin && pixel.y <= box.yMax) {
      return true;
    }
  } else if (OwnHit(movie, object, m, pixel)) {
    return true;
  }
  const auto hit = [&](const DisplayObject& child, const Matrix& at) {
    return ShapeFlagHit(movie, child, at, pixel);
  };
  return ChildHit(object, m, hit, hit);
}

// A character as a button's hit state shows it: a shape, or a sprite's first frame.
bool CharacterHit(const Movie& movie, uint16_t id, const Matrix& m, Point pixel, int nesting) {
  const Character* character = movie.Find(id);
  if (const Shape* shape = std::get_if<Shape>(character)) return ShapeContains(*shape, m, pixel);
  if (nesting >= kMaxNesting) return false;
  // A button in a button's hit state is hit where its own hit state is.
  if (const Button* button = std::get_if<Button>(character)) {
    for (const ButtonRecord& record : button->records) {
      if ((record.states & kButtonHit) &&
          CharacterHit(movie, record.characterId, m * record.matrix, pixel, nesting + 1)) {
        return true;
      }
    }
    return false;
  }
  const Sprite* sprite = std::get_if<Sprite>(character);
  if (!sprite) return false;
  for (const DisplayCommand& command : sprite->timeline.At(0).commands) {
    const auto* place = std::get_if<PlaceObject>(&command);
    if (place && place->characterId &&
        CharacterHit(movie, *place->characterId, m * place->matrix.value_or(Matrix{}), pixel,
                     nesting + 1)) {
      return true;
    }
  }
  return false;
}

bool Hit(const Movie& around, const DisplayObject& object, const Matrix& m, Point pixel) {
  const Movie& movie = Library(object, around);
  if (OwnHit(movie, object, m, pixel)) return true;
  if (object.IsButton() && ButtonContains(movie, object, m, pixel)) return true;
  const auto layerHit = [&](const DisplayObject& layer, const Matrix& at) {
    return ShapeHit(movie, layer, at, pixel);
  };
  const auto childHit = [&](const DisplayObject& child, const Matrix& at) {
    return child.visible && Hit(movie, child, at, pixel);
  };
  return ChildHit(object, m, layerHit, childHit);
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
  // Measured in whole twips at every level. A corner an infinite scale sends nowhere (an
  // infinity, or infinity times zero) lands on the lowest 32-bit twip, as it does in the
  // integer the original keeps it in.
  auto twips = [](double v) { return std::isfinite(v) ? std::round(v) : -2147483648.0; };
  for (const Point corner : {Point{b.xMin, b.yMin}, Point{b.xMax, b.yMin}, Point{b.xMin, b.yMax},
                             Point{b.xMax, b.yMax}}) {
    const Point p = m.Apply(corner);
    out.Add({twips(p.x), twips(p.y)});
  }
  return out;
}

// Under `m`: each shape, bitmap, field and drawing is measured as its own box carried through
// the whole chain of matrices down to it, as the original does; boxes are whole twips.
Bounds BoundsUnder(const Movie& around, const DisplayObject& object, const Matrix& m) {
  const Movie& movie = Library(object, around);
  Bounds own;
  if (object.scrollRect) {
    // Only the window shows, whatever lies behind it.
    own.Add({0, 0});
    own.Add({object.scrollRect->width * 20, object.scrollRect->height * 20});
    return MapBounds(own, m);
  }
  const Character* character = object.characterId ? movie.Find(object.characterId) : nullptr;
  Shape morphed;
  const Shape* shape = std::get_if<Shape>(character);
  if (const MorphShape* morph = std::get_if<MorphShape>(character)) {
    MorphAt(*morph, object.shownRatio, morphed);
    shape = &morphed;
  }
  if (shape) {
    const TwipsRect& r = shape->bounds;
    own.Add({static_cast<double>(r.xMin), static_cast<double>(r.yMin)});
    own.Add({static_cast<double>(r.xMax), static_cast<double>(r.yMax)});
  } else if (const Bitmap* bitmap = std::get_if<Bitmap>(character);
             bitmap && bitmap->width > 0 && bitmap->height > 0) {
    own.Add({0, 0});
    own.Add({bitmap->width * 20.0, bitmap->height * 20.0});
  } else if (const VideoStream* video = std::get_if<VideoStream>(character)) {
    own.Add({0, 0});
    own.Add({video->width * 20.0, video->height * 20.0});
  }
  if (object.bitmap && !object.bitmap->disposed()) {
    own.Add({0, 0});
    own.Add({object.bitmap->width() * 20.0, object.bitmap->height() * 20.0});
  }
  if (object.field) {
    const TwipsRect& r = object.field->bounds;
    own.Add({static_cast<double>(r.xMin), static_cast<double>(r.yMin)});
    own.Add({static_cast<double>(r.xMax), static_cast<double>(r.yMax)});
  }
  if (object.drawing && !object.drawing->Empty()) {
    const TwipsRect& r = object.drawing->shape().bounds;
    own.Add({static_cast<double>(r.xMin), static_cast<double>(r.yMin)});
    own.Add({static_cast<double>(r.xMax), static_cast<double>(r.yMax)});
  }
  Bounds out = MapBounds(own, m);
  for (const auto& [depth, child] : object.children) {
    const Bounds inner = BoundsUnder(movie, *child, m * child->matrix);
    if (inner.empty) continue;
    out.Add({inner.xMin, inner.yMin});
    out.Add({inner.xMax, inner.yMax});
  }
  return out;
}

}  // namespace

Bounds ObjectBounds(const Movie& movie, const DisplayObject& object, const Matrix& m) {
  return BoundsUnder(movie, object, m);
}

bool ButtonContains(const Movie& movie, const DisplayObject& button, const Matrix& m, Point pixel) {
  const Button* def = std::get_if<Button>(movie.Find(button.characterId));
  if (!def) return false;
  for (const ButtonRecord& record : def->records) {
    if ((record.states & kButtonHit) &&
        CharacterHit(movie, record.characterId, m * record.matrix, pixel, 0)) {
      return true;
    }
  }
  return false;
}

bool ObjectContains(const Movie& movie, const DisplayObject& object, const Matrix& m, Point pixel) {
  return ShapeHit(movie, object, m, pixel);
}

bool ObjectShapeContains(const Movie& movie, const DisplayObject& object, const Matrix& m,
                         Point pixel) {
  // A clip a script masks is hit only where its mask is.
  if (const DisplayObject* mask = object.maskedBy) {
    const Matrix toMask = m * ToStage(object).Inverse() * ToStage(*mask);
    if (!ShapeFlagHit(movie, *mask, toMask, pixel)) return false;
  }
  return ShapeFlagHit(movie, object, m, pixel);
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
                  const Matrix& view, Quality quality, DeviceFonts* fonts, uint64_t focus) {
  PixelRect area = canvas.clip;
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, canvas.width);
  area.bottom = std::min(area.bottom, canvas.height);
  if (area.Empty() || !canvas.base) return;
  Composer composer{&movie, quality == Quality::Low,
                    std::sqrt(std::fabs(view.a * view.d - view.b * view.c)) * 20,
                    kFilterWorkExtra + kFilterWorkPerPixel * static_cast<double>(Area(area)),
                    fonts, focus};
  composer.view = view;
  composer.Draw({canvas, area}, root, view * root.matrix, root.colors, nullptr);
}

void ComposeObject(const Canvas& canvas, const Movie& movie, const DisplayObject& object,
                   const Matrix& toPixels, const ColorTransform& colors, Quality quality,
                   DeviceFonts* fonts) {
  PixelRect area = Intersect(canvas.clip, {0, 0, canvas.width, canvas.height});
  if (area.Empty() || !canvas.base) return;
  Composer composer{&movie, quality == Quality::Low, 1,
                    kFilterWorkExtra + kFilterWorkPerPixel * static_cast<double>(Area(area)),
                    fonts};
  composer.view = toPixels * ToStage(object).Inverse();
  composer.Draw({canvas, area}, object, toPixels, colors, nullptr);
}

void DrawFocusHighlight(const Canvas& canvas, const Movie& movie, const DisplayObject& object,
                        const Matrix& toPixels) {
  const Movie& library = Library(object, movie);
  Bounds b;
  if (const Button* button =
          object.IsButton() ? std::get_if<Button>(library.Find(object.characterId)) : nullptr) {
    // A button is framed where it takes the pointer: no hit area, no frame.
    for (const ButtonRecord& record : button->records) {
      const Shape* shape = std::get_if<Shape>(library.Find(record.characterId));
      if (!(record.states & kButtonHit) || !shape) continue;
      Bounds own;
      own.Add({double(shape->bounds.xMin), double(shape->bounds.yMin)});
      own.Add({double(shape->bounds.xMax), double(shape->bounds.yMax)});
      const Bounds placed = MapBounds(own, toPixels * record.matrix);
      b.Add({placed.xMin, placed.yMin});
      b.Add({placed.xMax, placed.yMax});
    }
  } else {
    b = ObjectBounds(library, object, toPixels);
  }
  if (b.empty || !canvas.base) return;
  // A band three pixels wide on whole pixels, inside the object's box.
  const auto px = [](double v) {
    return static_cast<int32_t>(std::clamp(std::floor(v), -1e7, 1e7)) * 20;
  };
  const int32_t left = px(b.xMin), top = px(b.yMin), right = px(b.xMax), bottom = px(b.yMax);
  constexpr int32_t kBand = 3 * 20;
  Shape band;
  band.fills.push_back({});
  band.fills.back().color = Rgba{255, 255, 0, 255};
  Path path;
  path.fill1 = 1;
  // Outer box one way round, inner box the other: the fill is what lies between them.
  const auto box = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool reverse) {
    Point corners[] = {{double(x0), double(y0)}, {double(x1), double(y0)},
                       {double(x1), double(y1)}, {double(x0), double(y1)}};
    if (reverse) std::swap(corners[1], corners[3]);
    for (int i = 0; i < 4; ++i) path.edges.push_back({corners[i], {}, corners[(i + 1) % 4], false});
  };
  box(left, top, right, bottom, false);
  if (right - left > 2 * kBand && bottom - top > 2 * kBand) {
    box(left + kBand, top + kBand, right - kBand, bottom - kBand, true);
  }
  band.paths.push_back(std::move(path));
  band.bounds = band.edgeBounds = {left, right, top, bottom};
  DrawShape(canvas, band, {Matrix{0.05, 0, 0, 0.05, 0, 0}, {}, nullptr, nullptr, true});
}

bool HitTestFrame(const Movie& movie, const DisplayObject& root, const Matrix& view, Point pixel) {
  return Hit(movie, root, view * root.matrix, pixel);
}

}  // namespace swf
