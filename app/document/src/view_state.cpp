#include "orvo/document/view_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
