#include "orvo/document/projection.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace orvo {
namespace {

constexpr float kPerspective = 500.0f;

int trunc_int(float v) {
  return static_cast<int>(v);
}

// The two model axes a plane shows across and up the page.
std::pair<int, int> plane_axes(Plane plane) {
  switch (plane) {
    case Plane::kXZ: return {0, 2};
    case Plane::kYZ: return {1, 2};
    default: return {0, 1};
  }
}

float axis(const Vec3& p, int i) {
  return i == 0 ? p.x : i == 1 ? p.y : p.z;
}
float& axis(Vec3& p, int i) {
  return i == 0 ? p.x : i == 1 ? p.y : p.z;
}

Vec3 to_vec(const std::array<float, 3>& c) {
  return Vec3{c[0], c[1], c[2]};
}

// printf's "%.4f" in the "C" locale.
void append_fixed4(std::string& out, float value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::fixed, 4);
  out.append(buf, r.ptr);
}

// Integers and names only: printf formats these the same in every locale.
template <typename... Args>
std::string format(const char* fmt, Args... args) {
  char buf[128];
  int n = std::snprintf(buf, sizeof buf, fmt, args...);
  return std::string(buf, static_cast<std::size_t>(n < 0 ? 0 : std::min<int>(n, sizeof buf - 1)));
}

}  // namespace

Projection::Projection(const ViewCamera& camera, int width, int height)
    : plane_(static_cast<Plane>(camera.plane)),
      width_(width),
      height_(height),
      centre_(camera.centre),
      s_(camera.zoom * 5.0f),
      k_(static_cast<float>(width) / 800.0f),
      cx_((width + 1) / 2),
      cy_((height + 1) / 2) {
  const float h = -(camera.yaw + 3.14159f);
  cos_h_ = std::cos(h);
  sin_h_ = std::sin(h);
  cos_p_ = std::cos(camera.pitch);
  sin_p_ = std::sin(camera.pitch);
  d_ = 100.0f / camera.zoom + 1.0f;
  near_ = 0.2f * d_;
}

Projection::ViewPoint Projection::to_view(const Vec3& p) const {
  const float dx = p.x - centre_[0], dy = p.y - centre_[1], dz = p.z - centre_[2];
  return ViewPoint{
      sin_h_ * dx + cos_h_ * dy,
      sin_p_ * cos_h_ * dx - sin_p_ * sin_h_ * dy + cos_p_ * dz,
      cos_p_ * cos_h_ * dx - sin_h_ * cos_p_ * dy - sin_p_ * dz + d_,
  };
}

Point2i Projection::to_pixel(int u, float v) const {
  return Point2i{trunc_int(static_cast<float>(cx_) + static_cast<float>(u) * k_),
                 trunc_int(static_cast<float>(cy_) - v * k_)};
}

Point2i Projection::from_view(const ViewPoint& q) const {
  const int u = -trunc_int(q.a / q.e * kPerspective);
  return to_pixel(u, q.b / q.e * kPerspective);
}

std::optional<Point2i> Projection::project(const Vec3& p) const {
  if (plane_ == Plane::k3D) {
    const ViewPoint q = to_view(p);
    if (q.e < near_) return std::nullopt;
    return from_view(q);
  }
  const auto [iu, iv] = plane_axes(plane_);
  const int u = trunc_int(s_ * (axis(p, iu) - centre_[iu]));
  const int v = trunc_int(s_ * (axis(p, iv) - centre_[iv]));
  return to_pixel(u, static_cast<float>(v));
}

std::optional<std::pair<Point2i, Point2i>> Projection::project_line(const Vec3& a, const Vec3& b) const {
  if (plane_ != Plane::k3D) return std::make_pair(*project(a), *project(b));
  ViewPoint p = to_view(a), q = to_view(b);
  if (p.e < near_ && q.e < near_) return std::nullopt;
  // Move the near end onto the near limit along the segment.
  auto cut = [this](ViewPoint& inside_out, const ViewPoint& other) {
    const float t = (near_ - inside_out.e) / (other.e - inside_out.e);
    inside_out.a += t * (other.a - inside_out.a);
    inside_out.b += t * (other.b - inside_out.b);
    inside_out.e = near_;
  };
  if (p.e < near_) cut(p, q);
  if (q.e < near_) cut(q, p);
  return std::make_pair(from_view(p), from_view(q));
}

std::optional<Vec3> Projection::unproject(int x, int y) const {
  const int u = trunc_int(static_cast<float>(x - cx_) / k_);
  const int v = trunc_int(static_cast<float>(cy_ - y) / k_);
  Vec3 p = to_vec(centre_);
  if (plane_ == Plane::k3D) {
    // The view's side, up and depth directions in model axes (orthonormal),
    // and the ray from the eye (depth 0) through the pixel, at depth t:
    // D(t) = t (-u/500 side + v/500 up + depth) - d depth, relative to the
    // centre. It meets z = centre z where its z component is 0.
    const float side[3] = {sin_h_, cos_h_, 0.0f};
    const float up[3] = {sin_p_ * cos_h_, -sin_p_ * sin_h_, cos_p_};
    const float depth[3] = {cos_p_ * cos_h_, -sin_h_ * cos_p_, -sin_p_};
    const float du = -static_cast<float>(u) / kPerspective, dv = static_cast<float>(v) / kPerspective;
    float dir[3];
    for (int i = 0; i < 3; ++i) dir[i] = du * side[i] + dv * up[i] + depth[i];
    if (std::fabs(dir[2]) < 0.0001f) return std::nullopt;
    const float t = d_ * depth[2] / dir[2];
    if (t < near_) return std::nullopt;
    p.x += t * dir[0] - d_ * depth[0];
    p.y += t * dir[1] - d_ * depth[1];
    p.z = centre_[2];
    return p;
  }
  const auto [iu, iv] = plane_axes(plane_);
  axis(p, iu) += static_cast<float>(u) / s_;
  axis(p, iv) += static_cast<float>(v) / s_;
  return p;
}

Pen bounding_pen(int type) {
  if (bounding_type_is_occluder(type)) return Pen{Rgb{192, 128, 64}};
  if (type == 8) return Pen{Rgb{32, 255, 64}};
  switch (type) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 9:
    case 10:
    case 19: return Pen{Rgb{64, 128, 255}};
    default: return Pen{Rgb{64, 160, 255}, true};
  }
}

std::vector<GridLine> grid_lines(const Projection& projection, const ViewCamera& camera, int grid_step) {
  std::vector<GridLine> lines;
  if (projection.plane() == Plane::k3D || grid_step < 1) return lines;
  const auto [iu, iv] = plane_axes(projection.plane());
  const Vec3 centre = to_vec(camera.centre);
  const float step = static_cast<float>(grid_step);
  const int right = projection.width() - 1, bottom = projection.height() - 1;
  lines.reserve(2 * kGridLines);
  for (int direction = 0; direction < 2; ++direction) {
    const int along = direction == 0 ? iu : iv;
    const float first = (std::floor(axis(centre, along) / step) - 16.0f) * step;
    for (int i = 0; i < kGridLines; ++i) {
      Vec3 p = centre;
      axis(p, along) = first + static_cast<float>(i) * step;
      const Point2i at = *projection.project(p);
      GridLine line;
      line.vertical = direction == 0;
      line.major = i % 16 == 0;
      line.from = line.vertical ? Point2i{at.x, 0} : Point2i{0, at.y};
      line.to = line.vertical ? Point2i{at.x, bottom} : Point2i{right, at.y};
      lines.push_back(line);
    }
  }
  return lines;
}

std::string user_point_label(const UserPoint& point) {
  const char* prefix = point.kind == 'L' ? "UPL " : point.kind == 'G' ? "UPG " : point.kind == 'S' ? "UPS " : "UP ";
  return prefix + point.name.str();
}

std::string centre_label(int index) {
  return format("_%02ld", static_cast<long>(index) + 1);
}

std::vector<std::string> item_pane_lines(const Model& model, int layer_by) {
  std::vector<std::string> lines;
  lines.push_back("Object: " + model.name.str());
  if (layer_by == 1) {
    lines.push_back(format("Materials: %i", model.num_materials));
    for (int i = 0; i < model.num_materials && i < kMaxMaterials; ++i) lines.push_back(model.materials[i].name.str());
  } else if (layer_by == 2) {
    lines.push_back(format("Num Bound: %i", static_cast<int>(model.bobj.size())));
    for (const BoundingObject& b : model.bobj) lines.push_back(b.name.str());
  } else {
    lines.push_back(format("Sub Objects: %i", model.num_subobjects()));
    long verts = 0, polys = 0;
    for (const SubObject& so : model.subobjects) {
      lines.push_back(
          format("%s %4i %4i", so.name.c_str(), static_cast<int>(so.verts.size()), static_cast<int>(so.faces.size())));
      verts += static_cast<long>(so.verts.size());
      polys += static_cast<long>(so.faces.size());
    }
    if (!model.subobjects.empty()) {
      lines.push_back(format("Vertices: %i", static_cast<int>(verts)));
      lines.push_back(format("Polys: %i", static_cast<int>(polys)));
    }
  }
  return lines;
}

std::string centre_pane_text(const std::array<float, 3>& centre) {
  std::string out;
  const char* labels[3] = {"X:", "\nY:", "\nZ:"};
  for (int i = 0; i < 3; ++i) {
    out += labels[i];
    append_fixed4(out, centre[i]);
  }
  return out;
}

std::string hover_text(const std::optional<Vec3>& point) {
  if (!point) return "N/A" + std::string(kHoverNoneLength - 3, ' ');
  std::string out = "(";
  append_fixed4(out, point->x);
  out += ", ";
  append_fixed4(out, point->y);
  out += ", ";
  append_fixed4(out, point->z);
  out += ")   ";
  return out;
}

bool layer_visible(const LayerFlags& layers, int bank, int index) {
  if (bank < 0 || bank > 2 || index < 0 || index >= kLayerBankSize) return true;
  return layers[static_cast<std::size_t>(bank * kLayerBankSize + index)] != 0;
}

bool subobject_visible(const LayerFlags& layers, int layer_by, int index) {
  return layer_by != 0 || layer_visible(layers, 0, index);
}

bool face_visible(const LayerFlags& layers, int layer_by, bool smooth_only, const Face& face) {
  if (layer_by == 1 && !layer_visible(layers, 1, face.material)) return false;
  return !smooth_only || face.smoothing != 0;
}

bool bounding_visible(const LayerFlags& layers, int layer_by, const BoundingObject& object, int index) {
  if (layer_by == 0) return layer_visible(layers, 0, object.subobj);
  if (layer_by == 2) return layer_visible(layers, 2, index);
  return true;
}

}  // namespace orvo
