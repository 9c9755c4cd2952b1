// The preview frame's decisions without a GPU: the camera sees a point where
// the wire view draws it, the level by distance, the frame-rate measure, the
// overlay's lines and the passes a material is drawn with.
#include "orvo/viewer/preview_frame.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orvo/viewer/part_motion.h"

namespace orvo::preview {
namespace {

// A world point on screen through the camera, in pixels (y down).
std::array<float, 2> on_screen(const Camera& c, const Vec3& p, int w, int h) {
  const Mat4 vp = multiply(c.view, c.projection);
  const float x = p[0] * vp[0] + p[1] * vp[4] + p[2] * vp[8] + vp[12];
  const float y = p[0] * vp[1] + p[1] * vp[5] + p[2] * vp[9] + vp[13];
  const float wc = p[0] * vp[3] + p[1] * vp[7] + p[2] * vp[11] + vp[15];
  return {(x / wc + 1.0f) * 0.5f * static_cast<float>(w), (1.0f - y / wc) * 0.5f * static_cast<float>(h)};
}

TEST(PreviewCamera, SeesPointsWhereTheWireViewDrawsThem) {
  // The wire view: heading h = -(yaw + pi), depth e, side a, up b, and
  // u = -a / e * 500, v = b / e * 500 scaled by W / 800 about the centre.
  const int w = 800, h = 600;
  for (const auto& [yaw, pitch] : {std::pair{0.0f, 0.0f}, {0.7f, 0.3f}, {-2.0f, -0.5f}, {3.0f, 1.2f}}) {
    const float zoom = 4.0f;
    const Camera c = orbit_camera(yaw, pitch, zoom, w, h);
    const float d = 100.0f / zoom + 0.1f;
    EXPECT_NEAR(c.distance, d, 1e-3f);
    const float hd = -(yaw + 3.14159265f);
    for (const Vec3& p : {Vec3{1, 2, 3}, Vec3{-4, 0.5f, -1}, Vec3{0, 0, 0}}) {
      const float e =
          std::cos(pitch) * std::cos(hd) * p[0] - std::sin(hd) * std::cos(pitch) * p[1] - std::sin(pitch) * p[2] + d;
      const float a = std::sin(hd) * p[0] + std::cos(hd) * p[1];
      const float b =
          std::sin(pitch) * std::cos(hd) * p[0] - std::sin(pitch) * std::sin(hd) * p[1] + std::cos(pitch) * p[2];
      const float k = static_cast<float>(w) / 800.0f;
      const std::array<float, 2> s = on_screen(c, p, w, h);
      EXPECT_NEAR(s[0], w / 2.0f - a / e * 500.0f * k, 0.05f) << yaw << " " << pitch;
      EXPECT_NEAR(s[1], h / 2.0f - b / e * 500.0f * k, 0.05f) << yaw << " " << pitch;
    }
  }
}

TEST(PreviewCamera, OrbitIsTheFlyCameraOfItsPositionAndAngles) {
  // As the fly camera set-up takes it from the orbit camera.
  const float yaw = 0.9f, pitch = 0.4f, zoom = 5.0f;
  const float d = (100.0f / zoom + 0.1f) * 65536.0f;
  const std::array<int32_t, 6> fly = {
      static_cast<int32_t>(std::cos(yaw) * std::cos(pitch) * d),
      static_cast<int32_t>(std::sin(yaw) * std::cos(pitch) * d),
      static_cast<int32_t>(std::sin(pitch) * d),
      static_cast<int32_t>(static_cast<uint32_t>((yaw + 3.1415926539) * 0.5 / 3.1415926539 * 65535) << 16),
      static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(-pitch * 0.5 / 3.1415926539 * 65535)) << 16),
      0};
  const Camera a = orbit_camera(yaw, pitch, zoom, 640, 480);
  const Camera b = fly_camera(fly, 640, 480);
  for (std::size_t i = 0; i < 16; ++i) EXPECT_NEAR(a.view[i], b.view[i], 2e-3f * (i >= 12 ? 20.0f : 1.0f)) << i;
}

TEST(PreviewPlacement, FileAxesComeBackAsModelAxesAroundTheCentre) {
  // File (-y, z, x) of the model point (1, 2, 3) is (-2, 3, 1).
  const Vec3 p = render::transform_point({-2, 3, 1}, model_placement({1, 0, 0}, 0.0f, 0.0f));
  EXPECT_NEAR(p[0], 0.0f, 1e-6f);
  EXPECT_NEAR(p[1], 2.0f, 1e-6f);
  EXPECT_NEAR(p[2], 3.0f, 1e-6f);
  // Spin a turns about the vertical axis.
  const Vec3 q = render::transform_point({0, 0, 1}, model_placement({0, 0, 0}, 1.5707963f, 0.0f));
  EXPECT_NEAR(q[0], 0.0f, 1e-5f);
  EXPECT_NEAR(q[1], 1.0f, 1e-5f);
}

TEST(PreviewLight, StartsDownTheDiagonalAndTurnsAboutTheVertical) {
  const Vec3 d = light_direction(0.0f, 0.0f, 0.0f);
  const float s = 1.0f / std::sqrt(3.0f);
  EXPECT_NEAR(d[0], -s, 1e-3f);
  EXPECT_NEAR(d[1], -s, 1e-3f);
  EXPECT_NEAR(d[2], -s, 1e-3f);
  const Vec3 e = light_direction(3.14159265f, 0.0f, 0.0f);
  EXPECT_NEAR(e[0], s, 1e-3f);
  EXPECT_NEAR(e[2], -s, 1e-3f);
}

TEST(PreviewLevel, LastLevelWhoseSwitchDistanceIsReached) {
  render::Model model;
  std::array<render::Lod, 4> lods{};
  model.lod_count = 4;
  for (std::size_t i = 0; i < 4; ++i) model.lods[i] = &lods[i];
  model.header.lod_distance = {0, 10 << 16, 40 << 16, 20 << 16};  // a farther switch before a nearer one
  EXPECT_EQ(choose_level(model, 5.0f), 0);
  EXPECT_EQ(choose_level(model, 10.0f), 1);
  EXPECT_EQ(choose_level(model, 25.0f), 3);
  EXPECT_EQ(choose_level(model, 45.0f), 3);
  model.lods[3] = nullptr;  // a level the model lacks is never drawn
  EXPECT_EQ(choose_level(model, 25.0f), 1);
  model.header.lod_distance = {0, 0, 0, 0};  // thresholds never set: the first level stays
  EXPECT_EQ(choose_level(model, 500.0f), 0);
  model.lods = {};
  EXPECT_EQ(choose_level(model, 25.0f), -1);
}

TEST(PreviewFrameRate, MeasuresAfterFortyFramesAndHalfASecond) {
  FrameRate rate;
  for (int i = 0; i < 39; ++i) rate.frame(static_cast<uint64_t>(i) * 20);
  EXPECT_EQ(rate.value(), 0);
  EXPECT_EQ(rate.frame(39 * 20), 51);  // 40 frames in 780 ms
  FrameRate slow;
  for (int i = 0; i < 60; ++i) slow.frame(static_cast<uint64_t>(i) * 5);  // 295 ms: too early
  EXPECT_EQ(slow.value(), 0);
}

TEST(PreviewOverlay, StatisticsSizeAndHardwareLevel) {
  const FrameStats stats{12, 300, 200, 9, 60};
  const RenderCapabilities none{}, tnl{true, false, false, false}, all{true, true, true, true};
  struct Case {
    const RenderCapabilities* caps;
    bool show;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {&all,
       true,
       {"Size: 12", "Polys: 300", "Verts: 200", "Strips: 9", "FPS: 60", "640x480", "HW T&L : YES", "Shaders : YES"}},
      {&tnl, false, {"FPS: 60", "640x480", "HW T&L : YES", "Shaders : NO"}},
      {&none, false, {"FPS: 60", "640x480", "HW T&L : NO"}},
      {nullptr, false, {"FPS: 60", "640x480", "Err"}},
  };
  for (const Case& c : cases) {
    const std::vector<OverlayLine> lines = overlay_lines(stats, c.caps, 640, 480, c.show);
    ASSERT_EQ(lines.size(), c.texts.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].text, c.texts[i]);
    EXPECT_EQ(lines.back().x, 640 - 32);
    EXPECT_TRUE(lines.back().right_aligned);
  }
  const std::vector<OverlayLine> lines = overlay_lines(stats, &all, 640, 480, true);
  EXPECT_EQ(lines[0].y, 48);
  EXPECT_EQ(lines[4].y, 120);
  EXPECT_EQ(lines[5].y, 32);
  EXPECT_EQ(lines[7].y, 80);
}

TEST(PreviewPasses, ShadingTypesPassLimitAndLayers) {
  const RenderCapabilities all{true, true, true, true}, tnl{true, false, false, false};
  render::Material m{};
  render::Material layer{};
  m.record.blending_mode = 1;
  // Plain: one pass; a second layer multiplies; the limit cuts.
  EXPECT_EQ(material_passes(m, nullptr, render::Path::kPlain, all, 3).size(), 1u);
  std::vector<Pass> p = material_passes(m, &layer, render::Path::kPlain, all, 3);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_TRUE(p[1].second_layer);
  EXPECT_EQ(p[1].blend, Blend::kMultiplicative);
  EXPECT_EQ(material_passes(m, &layer, render::Path::kPlain, all, 1).size(), 1u);
  m.record.reflect_type = 1;
  EXPECT_EQ(material_passes(m, &layer, render::Path::kPlain, all, 3).size(), 3u);
  EXPECT_EQ(material_passes(m, &layer, render::Path::kPlain, all, 2).size(), 2u);
  m.record.reflect_type = 0;

  // A shaded type: its pixel shader on the tangent path, the bump program
  // without pixel shaders, the plain program on the plain path.
  m.record.shader_type = 4;
  p = material_passes(m, nullptr, render::Path::kTangent, all, 3);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].program, Program::kPixelShader);
  EXPECT_EQ(p[0].pixel_shader, 0);
  EXPECT_EQ(p[1].pixel_shader, 4);
  EXPECT_EQ(p[1].blend, Blend::kAdditive);
  EXPECT_EQ(material_passes(m, nullptr, render::Path::kTangent, tnl, 3)[0].program, Program::kBumpFallback);
  EXPECT_EQ(material_passes(m, nullptr, render::Path::kPlain, all, 3)[0].program, Program::kPlain);
  // Every type a list offers has a shader of the table.
  for (uint8_t type : {1, 2, 4, 5, 6, 8, 11, 12, 14, 15, 16, 20}) {
    const int ps = pixel_shader_of(type);
    EXPECT_GE(ps, 0);
    EXPECT_LT(ps, 14);
  }
  EXPECT_EQ(blend_of(0), Blend::kOpaque);
  EXPECT_EQ(blend_of(4), Blend::kAdditive);
  EXPECT_EQ(blend_of(9), Blend::kOpaque);
}

}  // namespace
}  // namespace orvo::preview
