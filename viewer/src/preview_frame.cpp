#include "orvo/viewer/preview_frame.h"

#include <algorithm>
#include <cmath>

#include "orvo/viewer/part_motion.h"
#include "tools/base/text.h"

namespace orvo::preview {

namespace {

constexpr float kPi = 3.14159265358979f;

Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

Vec3 normalised(const Vec3& v) {
  const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (l <= 0.0f) return {0.0f, 0.0f, 1.0f};
  return {v[0] / l, v[1] / l, v[2] / l};
}

float dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// A camera at `eye` looking along heading h (about z, from +x towards +y)
// and pitch p (up from the ground).
Camera make_camera(const Vec3& eye, float heading, float pitch, int width, int height) {
  Camera c;
  c.eye = eye;
  const Vec3 forward = {std::cos(heading) * std::cos(pitch), std::sin(heading) * std::cos(pitch), std::sin(pitch)};
  Vec3 right = cross(forward, {0.0f, 0.0f, 1.0f});
  if (dot(right, right) < 1e-12f) right = {-std::sin(heading), std::cos(heading), 0.0f};  // looking straight down or up
  right = normalised(right);
  const Vec3 up = cross(right, forward);
  // Rows of the orientation are the camera's axes in world space; the view
  // matrix is its transpose with the eye moved to the origin.
  c.orientation = render::identity_matrix();
  for (int i = 0; i < 3; ++i) {
    c.orientation[0 + i] = right[i];
    c.orientation[4 + i] = up[i];
    c.orientation[8 + i] = -forward[i];
  }
  c.view = render::identity_matrix();
  for (int i = 0; i < 3; ++i) {
    c.view[i * 4 + 0] = right[i];
    c.view[i * 4 + 1] = up[i];
    c.view[i * 4 + 2] = -forward[i];
  }
  c.view[12] = -dot(eye, right);
  c.view[13] = -dot(eye, up);
  c.view[14] = dot(eye, forward);
  const float w = static_cast<float>(std::max(width, 1));
  const float h = static_cast<float>(std::max(height, 1));
  const float fx = 2.0f * kFocalPerWidth;  // focal length over half the width
  const float fy = fx * w / h;
  const float n = kNearPlane, f = kFarPlane;
  c.projection = Mat4{};
  c.projection[0] = fx;
  c.projection[5] = fy;
  c.projection[10] = (f + n) / (n - f);
  c.projection[11] = -1.0f;
  c.projection[14] = 2.0f * f * n / (n - f);
  c.distance = std::sqrt(dot(eye, eye));
  return c;
}

float binary_angle(int32_t v) {
  return static_cast<float>(static_cast<int16_t>(static_cast<uint32_t>(v) >> 16)) * (2.0f * kPi / 65536.0f);
}

}  // namespace

Mat4 multiply(const Mat4& a, const Mat4& b) {
  Mat4 r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += a[i * 4 + k] * b[k * 4 + j];
      r[i * 4 + j] = s;
    }
  return r;
}

const Mat4& file_to_model() {
  // File (fx, fy, fz) = model (-y, z, x): x = fz, y = -fx, z = fy.
  static const Mat4 m = {0, -1, 0, 0,  //
                         0, 0,  1, 0,  //
                         1, 0,  0, 0,  //
                         0, 0,  0, 1};
  return m;
}

Camera orbit_camera(float yaw, float pitch, float zoom, int width, int height) {
  const float d = 100.0f / std::max(zoom, 1e-6f) + 0.1f;
  const Vec3 eye = {std::cos(yaw) * std::cos(pitch) * d, std::sin(yaw) * std::cos(pitch) * d, std::sin(pitch) * d};
  return make_camera(eye, yaw + kPi, -pitch, width, height);
}

Camera fly_camera(const std::array<int32_t, 6>& fly, int width, int height) {
  const Vec3 eye = {static_cast<float>(fly[0]) / 65536.0f, static_cast<float>(fly[1]) / 65536.0f,
                    static_cast<float>(fly[2]) / 65536.0f};
  return make_camera(eye, binary_angle(fly[3]), binary_angle(fly[4]), width, height);
}

Mat4 model_placement(const Vec3& centre, float spin_a, float spin_b) {
  Mat4 move = render::identity_matrix();
  move[12] = -centre[0];
  move[13] = -centre[1];
  move[14] = -centre[2];
  Mat4 turn_a = render::identity_matrix();  // about z
  turn_a[0] = std::cos(spin_a);
  turn_a[1] = std::sin(spin_a);
  turn_a[4] = -std::sin(spin_a);
  turn_a[5] = std::cos(spin_a);
  Mat4 turn_b = render::identity_matrix();  // about y
  turn_b[0] = std::cos(spin_b);
  turn_b[2] = -std::sin(spin_b);
  turn_b[8] = std::sin(spin_b);
  turn_b[10] = std::cos(spin_b);
  return multiply(multiply(multiply(file_to_model(), move), turn_a), turn_b);
}

Vec3 light_direction(float frame_angle, float light_yaw, float light_pitch) {
  // The start direction (-0.7071, -0.7071, -0.7071) has a horizontal part of
  // length 1 at 225 degrees; the angles turn it and tip it.
  const float a = frame_angle + light_yaw + 1.25f * kPi;
  const float tip = std::atan2(-0.7071f, 1.0f) + light_pitch;
  return normalised({std::cos(a) * std::cos(tip), std::sin(a) * std::cos(tip), std::sin(tip)});
}

int choose_level(const render::Model& model, float distance) {
  int level = -1;
  const double d = static_cast<double>(distance) * 65536.0;
  for (uint32_t k = 0; k < model.lod_count && k < model.lods.size(); ++k) {
    if (model.lods[k] == nullptr) continue;
    const int32_t at = model.header.lod_distance[k];
    // A switch distance of 0 (a threshold never set) never takes over from
    // a nearer level.
    if (level < 0 || (at > 0 && d >= static_cast<double>(at))) level = static_cast<int>(k);
  }
  return level;
}

int FrameRate::frame(uint64_t now_ms) {
  if (!started_) {
    started_ = true;
    last_ms_ = now_ms;
  }
  ++frames_;
  const uint64_t elapsed = now_ms - last_ms_;
  if (frames_ >= 40 && elapsed > 500) {
    fps_ = static_cast<int>(static_cast<uint64_t>(frames_) * 1000 / elapsed);
    frames_ = 0;
    last_ms_ = now_ms;
  }
  return fps_;
}

std::vector<OverlayLine> overlay_lines(const FrameStats& stats, const RenderCapabilities* caps, int width, int height,
                                       bool show_stats) {
  std::vector<OverlayLine> lines;
  if (show_stats) {
    lines.push_back({tools::format_text("Size: %i", stats.size), 32, 48, false});
    lines.push_back({tools::format_text("Polys: %i", stats.polys), 32, 64, false});
    lines.push_back({tools::format_text("Verts: %i", stats.verts), 32, 80, false});
    lines.push_back({tools::format_text("Strips: %i", stats.strips), 32, 96, false});
  }
  lines.push_back({tools::format_text("FPS: %i", stats.fps), 32, 120, false});
  const int right = width - 32;
  lines.push_back({tools::format_text("%ix%i", width, height), right, 32, true});
  if (caps == nullptr) {
    lines.push_back({"Err", right, 64, true});
  } else if (!caps->hardware_tnl) {
    lines.push_back({"HW T&L : NO", right, 64, true});
  } else {
    lines.push_back({"HW T&L : YES", right, 64, true});
    lines.push_back({caps->vertex_shaders ? "Shaders : YES" : "Shaders : NO", right, 80, true});
  }
  return lines;
}

FrameStats level_stats(const render::Lod& lod) {
  FrameStats s;
  auto add = [&s](std::span<const render::Strip> strips) {
    for (const render::Strip& strip : strips) {
      ++s.strips;
      s.verts += static_cast<int>(strip.vertex_span);
      const int n = static_cast<int>(strip.index_count);
      s.polys += strip.primitive == 1 ? std::max(n - 2, 0) : n / 3;
    }
  };
  if (lod.skinned) {
    add(lod.skin_group.class0);
    add(lod.skin_group.class1);
  } else {
    for (const render::Part& p : lod.parts) {
      if (p.levels.empty()) continue;
      add(p.levels[0].class0);
      add(p.levels[0].class1);
    }
  }
  return s;
}

Blend blend_of(uint8_t blending_mode) {
  switch (blending_mode) {
    case 2: return Blend::kAlpha;
    case 3: return Blend::kPremultiplied;
    case 4: return Blend::kAdditive;
    case 5: return Blend::kMultiplicative;
    default: return Blend::kOpaque;
  }
}

int pixel_shader_of(uint8_t shader_type) {
  switch (shader_type) {
    case 0: return -1;
    case 1: return 0;    // Diffuse Bump Map
    case 2: return 3;    // Phong Bump Map: the phong ramp looked up by N·L and N·H
    case 4: return 0;    // Diffuse+Specular Bump: diffuse, then the specular environment pass
    case 5: return 5;    // Chrome Bump: the environment only
    case 6: return 1;    // diffuse, specular and gloss map bump: the gloss layer, then the environment
    case 8: return 13;   // MDT Diffuse Bump Map
    case 11: return 9;   // MDT Phong Bump Map
    case 12: return 10;  // MDT Phong Bump Map + RT: the specular colour from the vertices
    case 14: return 7;   // Ghost: the texture's alpha
    case 15: return 8;   // Skin Local Diffuse Bump Map
    case 16: return 11;  // Skin Local Phong Bump Map
    case 20: return 12;  // Dirty Metal: reflection with its overlay colour
    default: return 2;   // phong lighting by the normal map and the light vector texture
  }
}

namespace {

// The texture stages each pixel shader reads, as the passes bind them.
std::array<Source, 4> shader_stages(int ps) {
  using S = Source;
  switch (ps) {
    case 0: return {S::kNormalMap, S::kBase, S::kNone, S::kNone};
    case 1: return {S::kNormalMap, S::kBase, S::kSecondLayer, S::kNone};
    case 2: return {S::kLightVector, S::kNormalMap, S::kBase, S::kNone};
    case 3: return {S::kNormalMap, S::kNone, S::kPhongRamp, S::kBase};
    case 4:
    case 5:
    case 6: return {S::kNormalMap, S::kNone, S::kNone, S::kEnvironment};
    case 7: return {S::kBase, S::kNone, S::kNone, S::kNone};
    case 8: return {S::kNormalMap, S::kNone, S::kLightVector, S::kBase};
    case 9:
    case 10: return {S::kNormalMap, S::kLightVector, S::kHalfVector, S::kBase};
    case 11:
    case 12: return {S::kNormalMap, S::kNone, S::kPhongRamp, S::kBase};
    case 13: return {S::kNormalMap, S::kLightVector, S::kNone, S::kBase};
    default: return {};
  }
}

}  // namespace

uint32_t shader_cube_stages(int k) {
  const std::array<Source, 4> stages = shader_stages(k);
  uint32_t mask = 0;
  for (std::size_t i = 0; i < stages.size(); ++i)
    if (stages[i] == Source::kLightVector || stages[i] == Source::kHalfVector) mask |= 1u << i;
  return mask;
}

std::vector<Pass> material_passes(const render::Material& material, const render::Material* second, render::Path path,
                                  const RenderCapabilities& caps, int pass_limit) {
  std::vector<Pass> passes;
  const uint8_t type = material.record.shader_type;
  const Blend blend = blend_of(material.record.blending_mode);
  if (type != 0 && path == render::Path::kTangent) {
    Pass first;
    first.blend = type == 14 ? Blend::kAdditive : blend;
    if (caps.pixel_shaders) {
      first.program = Program::kPixelShader;
      first.pixel_shader = pixel_shader_of(type);
      first.stages = shader_stages(first.pixel_shader);
      if (first.pixel_shader == 1 && second == nullptr) first.stages[2] = Source::kGrey;
    } else {
      first.program = Program::kBumpFallback;
      first.stages = {Source::kNormalMap, Source::kBase, Source::kNone, Source::kNone};
    }
    passes.push_back(first);
    if (caps.pixel_shaders && (type == 4 || type == 6)) {
      Pass env;
      env.program = Program::kPixelShader;
      env.pixel_shader = type == 4 ? 4 : 6;
      env.stages = shader_stages(env.pixel_shader);
      env.blend = Blend::kAdditive;
      env.reflection = true;
      passes.push_back(env);
    }
  } else {
    Pass first;
    first.blend = blend;
    first.stages[0] = Source::kBase;
    passes.push_back(first);
  }
  // The second texture layer darkens or lights what the first drew, on the
  // second texture coordinates; the shaded types that read it as their gloss
  // layer have it already.
  if (second != nullptr && !(passes.front().program == Program::kPixelShader && passes.front().pixel_shader == 1)) {
    Pass layer;
    layer.second_layer = true;
    const Blend own = blend_of(second->record.blending_mode);
    layer.blend = own == Blend::kOpaque ? Blend::kMultiplicative : own;
    layer.stages[0] = Source::kSecondLayer;
    passes.push_back(layer);
  }
  if (material.record.reflect_type != 0 && type == 0) {
    Pass reflect;
    reflect.reflection = true;
    reflect.blend = Blend::kAdditive;
    reflect.stages[0] = Source::kEnvironment;
    passes.push_back(reflect);
  }
  if (pass_limit < 1) pass_limit = 1;
  if (passes.size() > static_cast<std::size_t>(pass_limit)) passes.resize(static_cast<std::size_t>(pass_limit));
  return passes;
}

}  // namespace orvo::preview
