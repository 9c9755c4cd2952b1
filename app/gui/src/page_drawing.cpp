#include "orvo/gui/page_drawing.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <cmath>
#include <map>
#include <vector>

#include "orvo/gui/qt_text.h"

namespace orvo::gui {
namespace {

// Shapes the drawing chooses for itself:
// - Centre point axes run 20 plane pixels (at k = 1) from the point along
//   each of its three axis rows, so they read the same at every zoom; in the
//   3D view the same model length is seen in perspective.
constexpr float kCentreAxisPixels = 20.0f;
// - A light is a seven-pixel star (a plus and a diagonal cross) in the light
//   pen, with its attenuation end as a circle of 24 segments in the shade pen,
//   lying in the page's plane (in the 3D view the horizontal plane).
constexpr int kLightCircleSegments = 24;
// - A texture-animation mark is a five-pixel diagonal cross at the middle of
//   the faces of a sub-object that use one animated material (one mark per
//   sub-object and material).
// - Filled faces are the polygon colour at three eighths of its brightness,
//   drawn under all outlines, so the wire stays readable on top.
// - Bounding objects are outlined as their axis-aligned box (twelve edges);
//   occluders, which are flat, by the edges of their own faces.
// - Labels sit four pixels beside the mark, centred on it vertically:
//   attachment names right-aligned to its left, the others to its right.
//   A label that would cover one drawn before moves down or up by whole
//   label heights (down first) to the nearest free place.
constexpr int kLabelGap = 4;
constexpr int kLabelTries = 12;

Rgb shade(const Rgb& c, int num, int den) {
  return Rgb{static_cast<uint8_t>(c.r * num / den), static_cast<uint8_t>(c.g * num / den),
             static_cast<uint8_t>(c.b * num / den)};
}

Vec3 vec(const Vertex& v) {
  return Vec3{v.x, v.y, v.z};
}

bool texture_animated(const ModelMaterial& m) {
  return m.mapfunc_u.style != 0 || m.mapfunc_v.style != 0 || m.anim_frames != 0;
}

class Painter {
 public:
  Painter(QPainter& p, const Projection& projection) : p_(p), pr_(projection) {}

  void pen(const Rgb& colour, bool dotted = false) {
    QPen pen(qcolour(colour));
    pen.setWidth(1);
    pen.setCosmetic(true);
    if (dotted) pen.setStyle(Qt::DotLine);
    p_.setPen(pen);
  }
  void text_colour(const Rgb& colour) { p_.setPen(qcolour(colour)); }

  void line(const Vec3& a, const Vec3& b) {
    if (auto ends = pr_.project_line(a, b)) {
      p_.drawLine(ends->first.x, ends->first.y, ends->second.x, ends->second.y);
    }
  }
  void pixel_line(int x0, int y0, int x1, int y1) { p_.drawLine(x0, y0, x1, y1); }

  // A plus mark of kPlusMarkSize pixels across at the point; its pixel.
  std::optional<Point2i> plus(const Vec3& at) {
    auto q = pr_.project(at);
    if (!q) return q;
    constexpr int h = kPlusMarkSize / 2;
    p_.drawLine(q->x - h, q->y, q->x + h, q->y);
    p_.drawLine(q->x, q->y - h, q->x, q->y + h);
    return q;
  }
  void cross(const Point2i& q, int h) {
    p_.drawLine(q.x - h, q.y - h, q.x + h, q.y + h);
    p_.drawLine(q.x - h, q.y + h, q.x + h, q.y - h);
  }

  void label(const Point2i& at, const std::string& text, bool left_of) {
    const QString s = qs(text);
    const QFontMetrics fm(p_.font());
    const int w = fm.horizontalAdvance(s), h = fm.height();
    const int x = left_of ? at.x - kLabelGap - w : at.x + kLabelGap;
    const QRect first(x, at.y - h / 2, w + 1, h);
    QRect place = first;
    for (int i = 1; i <= kLabelTries && covers_a_label(place); ++i) {
      const int steps = (i + 1) / 2;  // 1, 1, 2, 2, ...
      place = first.translated(0, (i % 2 == 1 ? steps : -steps) * h);
    }
    labels_.push_back(place);
    p_.drawText(place, Qt::AlignLeft | Qt::AlignVCenter, s);
  }

  void fill_triangle(const Vec3& a, const Vec3& b, const Vec3& c) {
    auto pa = pr_.project(a), pb = pr_.project(b), pc = pr_.project(c);
    if (!pa || !pb || !pc) return;
    const QPoint pts[3] = {{pa->x, pa->y}, {pb->x, pb->y}, {pc->x, pc->y}};
    p_.drawPolygon(pts, 3);
  }

  QPainter& qp() { return p_; }
  const Projection& projection() const { return pr_; }

 private:
  bool covers_a_label(const QRect& r) const {
    for (const QRect& l : labels_)
      if (l.intersects(r)) return true;
    return false;
  }

  QPainter& p_;
  const Projection& pr_;
  std::vector<QRect> labels_;  // the labels drawn so far
};

const Vertex* vertex_of(const SubObject& so, int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= so.verts.size()) return nullptr;
  return &so.verts[static_cast<std::size_t>(index)];
}

void draw_polys(Painter& d, const Model& model, const ViewState& view) {
  const bool smooth_only = (view.display_flags & kShowSmoothOnly) != 0;
  const bool facets = (view.display_flags & kShowFacets) != 0;
  const auto each_face = [&](auto&& fn) {
    for (int i = 0; i < model.num_subobjects(); ++i) {
      if (!subobject_visible(view.layer_visible, view.layer_by, i)) continue;
      const SubObject& so = model.subobjects[static_cast<std::size_t>(i)];
      for (const Face& f : so.faces) {
        if (!face_visible(view.layer_visible, view.layer_by, smooth_only, f)) continue;
        const Vertex* a = vertex_of(so, f.v[0]);
        const Vertex* b = vertex_of(so, f.v[1]);
        const Vertex* c = vertex_of(so, f.v[2]);
        if (a && b && c) fn(f, vec(*a), vec(*b), vec(*c));
      }
    }
  };
  const auto colour = [](const Face& f) { return f.smoothing != 0 ? kSmoothPolyColour : kPolyColour; };

  if (facets) {
    d.qp().setPen(Qt::NoPen);
    each_face([&](const Face& f, const Vec3& a, const Vec3& b, const Vec3& c) {
      d.qp().setBrush(qcolour(shade(colour(f), 3, 8)));
      d.fill_triangle(a, b, c);
    });
    d.qp().setBrush(Qt::NoBrush);
  }
  each_face([&](const Face& f, const Vec3& a, const Vec3& b, const Vec3& c) {
    d.pen(colour(f));
    d.line(a, b);
    d.line(b, c);
    d.line(c, a);
  });
}

void draw_texture_animation_marks(Painter& d, const Model& model) {
  d.pen(kTextureAnimColour);
  for (const SubObject& so : model.subobjects) {
    struct Sum {
      double x = 0, y = 0, z = 0;
      int n = 0;
    };
    std::map<int, Sum> sums;
    for (const Face& f : so.faces) {
      if (f.material < 0 || f.material >= kMaxMaterials) continue;
      if (!texture_animated(model.materials[static_cast<std::size_t>(f.material)])) continue;
      const Vertex* a = vertex_of(so, f.v[0]);
      const Vertex* b = vertex_of(so, f.v[1]);
      const Vertex* c = vertex_of(so, f.v[2]);
      if (!a || !b || !c) continue;
      Sum& s = sums[f.material];
      s.x += (a->x + b->x + c->x) / 3.0;
      s.y += (a->y + b->y + c->y) / 3.0;
      s.z += (a->z + b->z + c->z) / 3.0;
      ++s.n;
    }
    for (const auto& [material, s] : sums) {
      const Vec3 mid{static_cast<float>(s.x / s.n), static_cast<float>(s.y / s.n), static_cast<float>(s.z / s.n)};
      if (auto q = d.projection().project(mid)) d.cross(*q, kPlusMarkSize / 2);
    }
  }
}

void draw_attachment_points(Painter& d, const Model& model, bool text) {
  for (const AttachPoint& a : model.attach) {
    d.pen(kAttachColour);
    auto q = d.plus(Vec3{a.x, a.y, a.z});
    if (q && text) {
      d.text_colour(kAttachTextColour);
      d.label(*q, a.name.str(), true);
    }
  }
}

void draw_centre_points(Painter& d, const Model& model, bool text) {
  const float length = kCentreAxisPixels / d.projection().scale();
  for (std::size_t i = 0; i < model.centers.size(); ++i) {
    const CenterPoint& c = model.centers[i];
    const Vec3 at{c.x, c.y, c.z};
    for (std::size_t r = 0; r < 3; ++r) {
      d.pen(kCentreAxisColours[r]);
      const Row3& row = c.rows[r];
      d.line(at, Vec3{c.x + row.x * length, c.y + row.y * length, c.z + row.z * length});
    }
    d.pen(kCentreAxisColours[0]);
    auto q = d.plus(at);
    if (q && text) {
      d.text_colour(kCentreLabelColour);
      d.label(*q, centre_label(static_cast<int>(i)), false);
    }
  }
}

void draw_box(Painter& d, const BoundingObject& b) {
  const float xs[2] = {b.min_x, b.max_x}, ys[2] = {b.min_y, b.max_y}, zs[2] = {b.min_z, b.max_z};
  const auto corner = [&](int i) { return Vec3{xs[i & 1], ys[(i >> 1) & 1], zs[(i >> 2) & 1]}; };
  for (int i = 0; i < 8; ++i) {
    for (int bit = 1; bit < 8; bit <<= 1) {
      if ((i & bit) == 0) d.line(corner(i), corner(i | bit));
    }
  }
}

void draw_bounding_objects(Painter& d, const Model& model, const ViewState& view) {
  for (std::size_t i = 0; i < model.bobj.size(); ++i) {
    const BoundingObject& b = model.bobj[i];
    if (!bounding_visible(view.layer_visible, view.layer_by, b, static_cast<int>(i))) continue;
    const Pen pen = bounding_pen(b.type);
    d.pen(pen.colour, pen.dotted);
    if (bounding_type_is_occluder(b.type) && !b.faces.empty()) {
      for (const Face& f : b.faces) {
        const auto at = [&](int k) -> std::optional<Vec3> {
          const int32_t v = f.v[static_cast<std::size_t>(k)];
          if (v < 0 || static_cast<std::size_t>(v) >= b.verts.size()) return std::nullopt;
          return vec(b.verts[static_cast<std::size_t>(v)]);
        };
        auto p0 = at(0), p1 = at(1), p2 = at(2);
        if (!p0 || !p1 || !p2) continue;
        d.line(*p0, *p1);
        d.line(*p1, *p2);
        d.line(*p2, *p0);
      }
    } else {
      draw_box(d, b);
    }
  }
}

void draw_lights(Painter& d, const Model& model) {
  // The two model axes the attenuation circle lies in.
  int u = 0, v = 1;
  if (d.projection().plane() == Plane::kXZ) v = 2;
  if (d.projection().plane() == Plane::kYZ) u = 1, v = 2;
  for (const ModelLight& l : model.lights) {
    const Vec3 at{l.x, l.y, l.z};
    if (l.atten_end > 0.0f) {
      d.pen(kLightShadeColour);
      const auto on_circle = [&](int k) {
        const double a = 2.0 * 3.14159265358979 * k / kLightCircleSegments;
        float c[3] = {l.x, l.y, l.z};
        c[u] += static_cast<float>(std::cos(a)) * l.atten_end;
        c[v] += static_cast<float>(std::sin(a)) * l.atten_end;
        return Vec3{c[0], c[1], c[2]};
      };
      for (int k = 0; k < kLightCircleSegments; ++k) d.line(on_circle(k), on_circle(k + 1));
    }
    if (auto q = d.projection().project(at)) {
      d.pen(kLightColour);
      d.pixel_line(q->x - 3, q->y, q->x + 3, q->y);
      d.pixel_line(q->x, q->y - 3, q->x, q->y + 3);
      d.cross(*q, 2);
    }
  }
}

void draw_user_points(Painter& d, const Model& model, bool text) {
  for (const UserPoint& u : model.userpts) {
    d.pen(kUserPointColour);
    auto q = d.plus(Vec3{u.x, u.y, u.z});
    if (q && text) {
      d.text_colour(kUserPointColour);
      d.label(*q, user_point_label(u), false);
    }
  }
}

// The default GUI font at its screen size in pixels: the picture holds 1000
// pixels per metre, so a size in points would shrink to nothing there. On a
// printer the size follows the printer's resolution.
QFont drawing_font(const QPaintDevice* device, bool printing) {
  QFont font = QApplication::font();
  int pixels = QFontInfo(font).pixelSize();
  if (printing && device != nullptr) pixels = pixels * device->logicalDpiY() / 96;
  font.setPixelSize(std::max(pixels, 1));
  return font;
}

}  // namespace

void draw_page(QPainter& p, const Model& model, const ViewState& view, int width, int height, bool printing) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.setBackgroundMode(Qt::TransparentMode);
  p.setFont(drawing_font(p.device(), printing));
  p.fillRect(0, 0, width, height, printing ? Qt::white : Qt::black);

  const ViewCamera camera = view_camera(view);
  const Projection projection(camera, width, height);
  Painter d(p, projection);
  const uint32_t flags = view.display_flags;
  const bool text = (flags & kShowText) != 0;

  if (view.grid_shown != 0 && !printing) {
    for (const GridLine& g : grid_lines(projection, camera, view.grid_step)) {
      d.pen(g.colour());
      d.pixel_line(g.from.x, g.from.y, g.to.x, g.to.y);
    }
  }
  if (flags & kShowPolys) {
    draw_polys(d, model, view);
    draw_texture_animation_marks(d, model);
  }
  if (flags & kShowAttachmentPoints) draw_attachment_points(d, model, text);
  if (flags & kShowCentrePoints) draw_centre_points(d, model, text);
  if (flags & kShowBoundingObjects) draw_bounding_objects(d, model, view);
  if (flags & kShowLights) draw_lights(d, model);
  if (flags & kShowUserPoints) draw_user_points(d, model, text);
  p.restore();
}

}  // namespace orvo::gui
