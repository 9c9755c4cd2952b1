// Part motion: fixed rates and rotation functions about the pivot, rotation
// order, transform_as, parents, billboards, the outer matrix with hidden
// parts, and malformed indices.
#include "orvo/viewer/part_motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace orvo::render {
namespace {

namespace f3 = orvo::file3di;
constexpr float kPi = std::numbers::pi_v<float>;
constexpr int16_t kQuarterTurn = 4096;  // 90 degrees in 1/16384 turn

// A LOD whose tables live in the fixture.
struct Scene {
  std::vector<Part> parts;
  std::vector<PartMotion> motions;
  std::vector<Matrix4f> matrices{identity_matrix()};
  std::vector<Matrix4f> base;
  ControlRegisterValues regs;

  explicit Scene(std::vector<Vec3f> pivots) {
    for (const Vec3f& p : pivots) {
      Part part{};
      part.pivot = p;
      parts.push_back(part);
      PartMotion m;
      m.parent = 255;
      m.transform_as = static_cast<uint8_t>(motions.size());
      motions.push_back(m);
      base.push_back(identity_matrix());
    }
  }
  Lod lod(bool with_motion = true) {
    Lod l{};
    l.part_motion = with_motion;
    l.parts = parts;
    l.motions = motions;
    l.matrices = matrices;
    return l;
  }
  std::vector<Matrix4f> run(uint32_t ms, const Matrix4f* outer = nullptr, bool with_motion = true,
                            const Matrix4f& camera = identity_matrix()) {
    std::vector<Matrix4f> out(parts.size());
    part_transforms(lod(with_motion), base, outer, camera, ms, regs, out);
    return out;
  }
};

void expect_vec(const Vec3f& got, const Vec3f& want) {
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 1e-4f) << "component " << k;
}

void expect_mat(const Matrix4f& got, const Matrix4f& want) {
  for (int k = 0; k < 16; ++k) EXPECT_NEAR(got[k], want[k], 1e-4f) << "element " << k;
}

f3::GeneratorField field(uint8_t style, int16_t start, int16_t end, int16_t rate = 0, uint8_t phase = 0) {
  return {style, phase, rate, start, end};
}

TEST(PartMotionField, ValuesInFixedPointFloatForm) {
  ControlRegisterValues regs;
  regs.set(7, 65536);
  regs.set(8, 0);
  struct Row {
    const char* name;
    f3::GeneratorField f;
    std::optional<float> want;
  };
  const Row rows[] = {
      {"Set gives 256 S", field(0x18, 100, 900), 25600.0f},
      // Square wave, first half of the cycle: L = 65280.
      {"wave", field(0x31, 0, 256, 256), 65280.0f},
      {"register at 1.0 gives 256 E", field(0x71, 10, 20, 0, 7), 5120.0f},
      {"register at 0 gives 256 S", field(0x71, 10, 20, 0, 8), 2560.0f},
      {"style 0", field(0x00, 10, 20), std::nullopt},
      {"operation nibble 0", field(0x05, 10, 20), std::nullopt},
      {"mapping-only style", field(0x10, 10, 20), std::nullopt},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto v = motion_field_value(r.f, 0, regs);
    ASSERT_EQ(v.has_value(), r.want.has_value());
    if (v) {
      EXPECT_FLOAT_EQ(*v, *r.want);
    }
  }
  EXPECT_NEAR(*motion_angle(field(0x18, kQuarterTurn, 0), 0, regs), kPi / 2, 1e-6f);
  EXPECT_FLOAT_EQ(*motion_scale(field(0x18, 3 * 128, 0), 0, regs), 1.5f);  // 1.5 in 8.8
}

TEST(PartMotion, FixedYawRateTurnsOncePerSecondAboutThePivot) {
  Scene s({{1, 0, 0}});
  s.motions[0].flags = f3::kMotionMoves | f3::kMotionRotateRates;
  s.motions[0].rotate_rates = {1.0f, 0.0f, 0.0f};
  const struct {
    uint32_t ms;
    Vec3f want;
  } rows[] = {{0, {2, 0, 0}}, {250, {1, 0, -1}}, {500, {0, 0, 0}}, {1000, {2, 0, 0}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.ms);
    const auto out = s.run(r.ms);
    expect_vec(transform_point({2, 0, 0}, out[0]), r.want);
    expect_vec(transform_point({1, 0, 0}, out[0]), {1, 0, 0});
  }
}

TEST(PartMotion, SineYawFunctionSwingsBetweenItsEnds) {
  Scene s({{0, 0, 0}});
  s.motions[0].flags = f3::kMotionMoves | f3::kMotionRotateFuncs;
  s.motions[0].rotate_funcs[0] = field(0x32, 0, kQuarterTurn, 256);  // 0..90 degrees, once a second
  float lo = 10, hi = -10;
  for (uint32_t ms = 0; ms < 1000; ms += 5) {
    const auto out = s.run(ms);
    const float a = std::atan2(out[0][8], out[0][0]);
    EXPECT_GE(a, -1e-5f) << ms;
    EXPECT_LE(a, kPi / 2 + 1e-5f) << ms;
    lo = std::min(lo, a);
    hi = std::max(hi, a);
  }
  EXPECT_NEAR(lo, 0.0f, 0.02f);
  EXPECT_NEAR(hi, kPi / 2, 0.02f);
}

TEST(PartMotion, ReverseOrderAppliesRollBeforeYaw) {
  const float q = kPi / 2;
  const struct {
    uint32_t extra_flags;
    Matrix4f want;
  } rows[] = {
      {0, affine_product(rotation_y(q), rotation_z(q))},
      {f3::kMotionReverseOrder, affine_product(rotation_z(q), rotation_y(q))},
  };
  for (const auto& r : rows) {
    Scene s({{0, 0, 0}});
    s.motions[0].flags = f3::kMotionMoves | f3::kMotionRotateFuncs | r.extra_flags;
    s.motions[0].rotate_funcs[0] = field(0x18, kQuarterTurn, 0);
    s.motions[0].rotate_funcs[2] = field(0x18, kQuarterTurn, 0);
    expect_mat(s.run(0)[0], r.want);
  }
}

TEST(PartMotion, TransformAsTakesThatPartsBaseAndPivot) {
  Scene s({{5, 0, 0}, {0, 9, 0}});
  s.base[0] = affine_product(rotation_z(kPi / 2), translation_matrix(0, 0, 3));
  s.base[0][15] = 0.0f;  // the part it moves as is hidden
  s.motions[1].flags = f3::kMotionMoves;
  s.motions[1].transform_as = 0;
  const auto out = s.run(0);
  // Turned by the first piece's base transform about its pivot, which stays in place.
  expect_vec(transform_point({5, 0, 0}, out[1]), {5, 0, 0});
  expect_vec(transform_point({6, 0, 0}, out[1]), {5, 1, 0});
  EXPECT_EQ(out[1][15], 0.0f);
}

TEST(PartMotion, OuterMatrixKeepsHiddenPartsHidden) {
  Scene s({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
  s.base[1][15] = 0.0f;
  s.base[2][15] = 0.0f;
  s.motions[0].transform_as = 2;  // visible itself, moving as a hidden part
  for (auto& m : s.motions) m.flags = f3::kMotionMoves;
  const Matrix4f outer = translation_matrix(1, 2, 3);
  const auto out = s.run(0, &outer);
  expect_vec(transform_point({0, 0, 0}, out[0]), {1, 2, 3});
  EXPECT_EQ(out[0][15], 0.0f);
  expect_vec(transform_point({0, 0, 0}, out[1]), {0, 0, 0});  // not multiplied
  EXPECT_EQ(out[1][15], 0.0f);
}

TEST(PartMotion, WithoutMotionRecordsBasesPassThrough) {
  const Matrix4f outer = rotation_x(0.5f);
  const Matrix4f* outers[] = {nullptr, &outer};
  for (const Matrix4f* b : outers) {
    SCOPED_TRACE(b ? "with outer" : "without outer");
    Scene s({{1, 2, 3}, {4, 5, 6}});
    s.motions[0].flags = f3::kMotionMoves | f3::kMotionRotateRates;  // ignored: the LOD has no motion
    s.motions[0].rotate_rates = {1, 1, 1};
    s.base[0] = translation_matrix(7, 8, 9);
    s.base[1] = rotation_z(0.3f);
    s.base[1][15] = 0.0f;
    const auto out = s.run(123, b, false);
    EXPECT_EQ(out[0], b ? affine_product(s.base[0], *b) : s.base[0]);
    EXPECT_EQ(out[1], s.base[1]);
  }
}

TEST(PartMotion, FaceCameraModes) {
  const Matrix4f camera = affine_product(rotation_y(0.4f), rotation_x(-0.3f));
  const Vec3f pivot{1, 2, 3};
  const Matrix4f base = translation_matrix(10, 0, 0);
  const Vec3f q{11, 2, 3};  // the pivot through the base

  Scene s({pivot});
  s.base[0] = base;
  s.motions[0].flags = f3::kMotionMoves | f3::kMotionFaceCamera | f3::kMotionScaleOne;
  s.motions[0].scale_funcs[0] = field(0x18, 512, 0);  // scale 2
  auto out = s.run(0, nullptr, true, camera);
  expect_vec(transform_point(pivot, out[0]), q);
  expect_vec(transform_direction({1, 0, 0}, out[0]), transform_direction({2, 0, 0}, camera));
  expect_vec(transform_direction({0, 0, 1}, out[0]), transform_direction({0, 0, 2}, camera));

  s.motions[0].flags = f3::kMotionMoves | f3::kMotionFaceCameraUpright | f3::kMotionScaleOne;
  out = s.run(0, nullptr, true, camera);
  const Vec3f w = transform_direction(pivot, camera);
  expect_vec({out[0][0], out[0][1], out[0][2]}, {camera[0], camera[1], camera[2]});  // no scale
  expect_vec({out[0][4], out[0][5], out[0][6]}, {0, 1, 0});
  expect_vec({out[0][8], out[0][9], out[0][10]}, {-camera[2], 0, camera[0]});
  expect_vec({out[0][12], out[0][13], out[0][14]}, {q[0] - w[0], q[1] - w[1], q[2] - w[2]});
}

TEST(PartMotion, ChildrenFollowTheirParentsPivotPlacement) {
  Scene s({{0, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  s.motions[0].flags = f3::kMotionMoves | f3::kMotionRotateRates;
  s.motions[0].rotate_rates = {1, 0, 0};
  s.motions[1].parent = 0;
  s.motions[2].parent = 1;
  const auto out = s.run(250);  // a quarter turn
  expect_vec(transform_point({2, 0, 0}, out[1]), {0, 0, -2});
  expect_vec(transform_point({3, 0, 0}, out[2]), {1, 0, -2});
}

TEST(PartMotion, MalformedIndicesStayInsideTheTables) {
  Matrix4f singular{};
  const struct {
    const char* name;
    size_t part;
    uint8_t parent, transform_as;
    uint32_t matrix;
    Vec3f pivot_lands;
  } rows[] = {
      {"parent beyond the parts: pivot untransformed", 1, 200, 1, 0, {0, 1, 0}},
      {"parent is itself: its base", 1, 1, 1, 0, {0, 6, 0}},
      {"parent after the part: its base", 0, 1, 0, 0, {1, 5, 0}},
      {"transform_as beyond the parts: itself", 1, 200, 200, 0, {0, 1, 0}},
      {"matrix beyond the table", 1, 200, 1, 99, {0, 1, 0}},
      {"singular matrix", 1, 200, 1, 2, {0, 1, 0}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Scene s({{1, 0, 0}, {0, 1, 0}});
    s.matrices.push_back(rotation_x(1.0f));
    s.matrices.push_back(singular);
    s.base[0] = translation_matrix(10, 0, 0);
    s.base[1] = translation_matrix(0, 5, 0);
    PartMotion& m = s.motions[r.part];
    m.flags = f3::kMotionMoves | f3::kMotionRotateRates;
    m.rotate_rates = {0, 0, 0.25f};
    m.parent = r.parent;
    m.transform_as = r.transform_as;
    m.matrix = r.matrix;
    const auto out = s.run(1000);
    expect_vec(transform_point(s.parts[r.part].pivot, out[r.part]), r.pivot_lands);
    for (float e : out[r.part]) EXPECT_TRUE(std::isfinite(e));
  }
}

}  // namespace
}  // namespace orvo::render
