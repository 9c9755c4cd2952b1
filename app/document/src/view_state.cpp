#include "orvo/document/view_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "orvo/document/projection.h"
#include "orvo/model/model.h"

namespace orvo {

namespace {

constexpr const char* kVersion = "1.05";
constexpr int kBuild = 2;
constexpr const char* kVersionSuffix = "e";
constexpr double kPi = 3.1415926539;  // the value the fly camera's angles use

}  // namespace

bool zoom_in(ViewState& v) {
  v.zoom *= 1.1f;
  if (v.zoom > kMaxZoom) {
    v.zoom = kMaxZoom;
    return false;
  }
  return true;
}

bool zoom_out(ViewState& v) {
  v.zoom *= 0.9f;
  if (v.zoom < kMinZoom) {
    v.zoom = kMinZoom;
    return false;
  }
  return true;
}

void pan_sideways(ViewState& v, int direction) {
  const float s = static_cast<float>(v.grid_step) / 16.0f * static_cast<float>(direction);
  switch (v.plane) {
    case kPlaneXY:
    case kPlaneXZ: v.centre[0] -= s; break;
    case kPlaneYZ: v.centre[1] -= s; break;
    default:
      v.centre[0] += std::sin(v.yaw) * s;
      v.centre[1] -= std::cos(v.yaw) * s;
      break;
  }
}

void pan_up_down(ViewState& v, int direction) {
  const float s = static_cast<float>(v.grid_step) / 16.0f * static_cast<float>(direction);
  switch (v.plane) {
    case kPlaneXY: v.centre[1] -= s; break;
    case kPlaneXZ:
    case kPlaneYZ: v.centre[2] -= s; break;
    default:
      v.centre[0] += std::cos(v.yaw) * std::sin(v.pitch) * s;
      v.centre[1] += std::sin(v.yaw) * std::sin(v.pitch) * s;
      v.centre[2] -= std::cos(v.pitch) * s;
      break;
  }
}

bool grow_grid_step(ViewState& v) {
  if (v.grid_step >= kMaxGridStep) return false;
  v.grid_step *= 2;
  return true;
}

bool shrink_grid_step(ViewState& v) {
  if (v.grid_step <= kMinGridStep) return false;
  v.grid_step /= 2;
  return true;
}

void set_fly_camera_from_orbit(ViewState& v) {
  const double yaw = v.yaw, pitch = v.pitch;
  const double d = (100.0 / v.zoom + 0.1) * 65536.0;
  v.fly_camera[0] = static_cast<int32_t>(std::cos(yaw) * std::cos(pitch) * d);
  v.fly_camera[1] = static_cast<int32_t>(std::sin(yaw) * std::cos(pitch) * d);
  v.fly_camera[2] = static_cast<int32_t>(std::sin(pitch) * d);
  // Binary angles in the upper 16 bits (the shift of the truncated value,
  // done on unsigned so a negative angle wraps as the game's does).
  const auto angle = [](double a) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(a * 0.5 / kPi * 65535.0)) << 16);
  };
  v.fly_camera[3] = angle(yaw + kPi);
  v.fly_camera[4] = angle(-pitch);
  v.fly_camera[5] = 0;
}

bool frame_model(ViewState& view, const Model& model, int width, int height) {
  if (width <= 0 || height <= 0) return false;
  std::array<float, 3> low{}, high{};
  bool any = false;
  for (const SubObject& so : model.subobjects)
    for (const Vertex& v : so.verts) {
      const std::array<float, 3> p{v.x, v.y, v.z};
      for (std::size_t i = 0; i < 3; ++i) {
        low[i] = any ? std::min(low[i], p[i]) : p[i];
        high[i] = any ? std::max(high[i], p[i]) : p[i];
      }
      any = true;
    }
  if (!any) return false;
  std::array<float, 3> centre{}, size{};
  for (std::size_t i = 0; i < 3; ++i) {
    centre[i] = (low[i] + high[i]) / 2.0f;
    size[i] = high[i] - low[i];
  }
  // Scale s = zoom · 5 and page factor k = W / 800 make an extent L take
  // L · zoom · 5 · W / 800 pixels.
  const double w = width, h = height;
  double zoom = kMaxZoom;
  if (view.plane == kPlane3D) {
    // The bounding sphere seen from distance d (= 100 / zoom + 1) takes
    // tan(a) · 500 · k pixels to each side, sin(a) = r / d: a distance at
    // which the model fits from any direction. From there the camera comes
    // closer, by halving the step, while every vertex stays inside the
    // framed part of the page as seen from the view's own direction.
    double r = 0.0;
    for (const SubObject& so : model.subobjects)
      for (const Vertex& v : so.verts) {
        const double dx = v.x - centre[0], dy = v.y - centre[1], dz = v.z - centre[2];
        r = std::max(r, std::sqrt(dx * dx + dy * dy + dz * dz));
      }
    const double tan_a = kFrameFill * std::min(w, h) / 2.0 / (500.0 * w / 800.0);
    const auto zoom_at = [](double d) { return d > 1.0 ? 100.0 / (d - 1.0) : double{kMaxZoom}; };
    const float margin_x = static_cast<float>(w * (1.0 - kFrameFill) / 2.0);
    const float margin_y = static_cast<float>(h * (1.0 - kFrameFill) / 2.0);
    const auto fits = [&](double d) {
      ViewCamera camera = view_camera(view);
      camera.centre = centre;
      camera.zoom = static_cast<float>(std::min(zoom_at(d), double{kMaxZoom}));
      const Projection p(camera, width, height);
      for (const SubObject& so : model.subobjects)
        for (const Vertex& v : so.verts) {
          const std::optional<Point2i> q = p.project(Vec3{v.x, v.y, v.z});
          if (!q || q->x < margin_x || q->x > w - margin_x || q->y < margin_y || q->y > h - margin_y) return false;
        }
      return true;
    };
    double far = r * std::sqrt(1.0 + tan_a * tan_a) / tan_a;
    double near = r;
    if (far > 1.0 && fits(far)) {
      for (int i = 0; i < 32; ++i) {
        const double mid = (near + far) / 2.0;
        (fits(mid) ? far : near) = mid;
      }
    }
    zoom = zoom_at(far);
  } else {
    const std::size_t across = view.plane == kPlaneYZ ? 1 : 0;
    const std::size_t up = view.plane == kPlaneXY ? 1 : 2;
    const double per_unit = 5.0 * w / 800.0;  // pixels per unit at zoom 1
    if (size[across] > 0.0f) zoom = std::min(zoom, kFrameFill * w / (size[across] * per_unit));
    if (size[up] > 0.0f) zoom = std::min(zoom, kFrameFill * h / (size[up] * per_unit));
  }
  view.zoom = static_cast<float>(std::clamp(zoom, double{kMinZoom}, double{kMaxZoom}));
  view.centre = centre;
  return true;
}

std::string window_title(std::string_view model_name) {
  char text[400];
  if (model_name.empty()) {
    std::snprintf(text, sizeof text, "TanuORVO v%s.%02d%s", kVersion, kBuild, kVersionSuffix);
  } else {
    std::snprintf(text, sizeof text, "TanuORVO v%s.%02d%s - %.*s", kVersion, kBuild, kVersionSuffix,
                  static_cast<int>(std::min<std::size_t>(model_name.size(), 300)), model_name.data());
  }
  return text;
}

bool layer_visible(const ViewState& v, int layer_by, int index) {
  if (layer_by < 0 || layer_by > 2 || index < 0 || index >= kLayersPerBank) return true;
  return v.layer_visible[static_cast<std::size_t>(layer_by * kLayersPerBank + index)] != 0;
}

}  // namespace orvo
