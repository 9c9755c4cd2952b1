// Collision and bounding data of the export: fixed-point values, normal
// choice, face planes and boxes, part boxes (plain and skinned), which level
// gives what, volumes and occluders, and values that do not fit.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "orvo/export/collision.h"

namespace {

using namespace orvo;
namespace f3 = orvo::file3di;

std::unique_ptr<Model> level() {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->num_materials = 1;
  return m;
}

// A part of one face facing +z over the given three corners.
SubObject triangle(Vec3 a, Vec3 b, Vec3 c) {
  SubObject part;
  for (Vec3 p : {a, b, c}) part.verts.push_back({p.x, p.y, p.z});
  Face f;
  f.v = {0, 1, 2, 0};
  f.nz = 1;
  part.faces.push_back(f);
  return part;
}

BoundingObject volume(int type, int part, Vec3 min, Vec3 max) {
  BoundingObject b;
  b.type = type;
  b.subobj = part;
  b.min_x = min.x, b.min_y = min.y, b.min_z = min.z;
  b.max_x = max.x, b.max_y = max.y, b.max_z = max.z;
  b.size_x = max.x - min.x, b.size_y = max.y - min.y, b.size_z = max.z - min.z;
  return b;
}

// The sum of `count` over the parts of `c`.
template <class Count>
std::size_t total(const f3::CModel& c, Count count) {
  std::size_t n = 0;
  for (const f3::CollisionPart& p : c.parts) n += count(p);
  return n;
}

CollisionModel build(const Model& lod0, const Model* lod1 = nullptr) {
  tools::Result<CollisionModel> r = build_collision_model({&lod0, lod1, nullptr, nullptr});
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().message);
  return r.ok() ? std::move(*r) : CollisionModel{};
}

TEST(Collision, VerticesAreStoredInEightEightTruncatedTowardZero) {
  auto m = level();
  m->subobjects.push_back(triangle({1.5f, -2.25f, 0.004f}, {-1.02f, 0.999f, -0.004f}, {0, 0, 0}));
  const std::vector<f3::CollisionVertex> v = build(*m).model.parts.at(0).vertices;
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ((std::array{v[0].x, v[0].y, v[0].z}), (std::array<int16_t, 3>{384, -576, 1}));
  EXPECT_EQ((std::array{v[1].x, v[1].y, v[1].z}), (std::array<int16_t, 3>{-261, 255, -1}));
}

TEST(Collision, FaceReusesATableNormalWithinTolerance) {
  auto m = level();
  SubObject part = triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  Face near = part.faces[0];
  near.ny = 5e-5f;  // squared distance 2.5e-9 from +z
  part.faces.push_back(near);
  m->subobjects.push_back(part);
  const f3::CollisionPart p = build(*m).model.parts.at(0);
  ASSERT_EQ(p.normals.size(), 1u);
  EXPECT_EQ(p.normals[0].nz, 16384);
  EXPECT_EQ(f3::dominant_axis(p.normals[0]), 1);
  EXPECT_EQ(p.faces[1].normal, 0);
}

TEST(Collision, NearestNormalTakesTheFirstAmongEquals) {
  const std::vector<Vec3> table{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 0}};
  struct Case {
    Vec3 n;
    int expected;
  } cases[] = {{{0.6f, 0.6f, 0}, 0}, {{0, 0.6f, 0.6f}, 1}, {{0, 0.9f, 0}, 1}, {{0, 0, -1}, 0}, {{0, 0.1f, 0.9f}, 2}};
  for (const Case& t : cases) EXPECT_EQ(nearest_normal(table, t.n), t.expected) << t.n.x << " " << t.n.y;
  EXPECT_EQ(nearest_normal({}, {0, 0, 1}), 0);
}

TEST(Collision, FacePlaneDistanceAndBox) {
  auto m = level();
  m->subobjects.push_back(triangle({1, 2, 3}, {-1.5f, 0, 0.5f}, {0, 4, -2}));
  const std::vector<f3::CollisionFace> faces = build(*m).model.parts.at(0).faces;
  ASSERT_EQ(faces.size(), 1u);
  EXPECT_EQ(faces[0].corners, (std::array<uint16_t, 3>{0, 1, 2}));
  EXPECT_EQ(faces[0].distance, -3 * 65536);
  EXPECT_EQ(faces[0].box, (f3::Box6i{-98304, 65536, 0, 4 * 65536, -2 * 65536, 3 * 65536}));
}

TEST(Collision, PartBoxPlainCoversVolumesSkinnedCoversOwnedVertices) {
  auto plain = level();
  plain->subobjects.push_back(triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 1}));
  plain->bobj.push_back(volume(1, 0, {-2, -2, -1}, {3, 1, 2}));
  plain->bobj.push_back(volume(1, 1, {-50, -50, -50}, {50, 50, 50}));  // another part's
  const f3::CollisionPart p = build(*plain).model.parts.at(0);
  EXPECT_EQ(p.box, (f3::Box6i{-2 * 65536, 3 * 65536, -2 * 65536, 65536, -65536, 2 * 65536}));
  EXPECT_EQ(p.centre, (std::array<int32_t, 3>{32768, -32768, 32768}));
  EXPECT_EQ(p.height, 3 * 65536);
  // Radius from the box centre (0.5, -0.5, 0.5) to the farthest vertex (0, 1, 1).
  EXPECT_EQ(p.radius, static_cast<int32_t>(std::sqrt(2.75f) * 65536));
  EXPECT_EQ(p.horizontal_radius, static_cast<int32_t>(std::sqrt(2.5f) * 65536));

  auto skinned = level();
  skinned->attributes = kModelSkinned;
  skinned->subobjects.push_back(triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  skinned->subobjects.push_back(triangle({4, 4, 4}, {6, 4, 4}, {4, 8, 4}));
  for (Vertex& v : skinned->subobjects[0].verts) v.bones = {1, 1, 1, 1};
  for (Vertex& v : skinned->subobjects[1].verts) v.bones = {0, 0, 0, 0};
  skinned->bobj.push_back(volume(1, 0, {-2, -2, -1}, {3, 1, 2}));
  const f3::CModel s = build(*skinned).model;
  EXPECT_EQ(s.skinned, 1u);
  EXPECT_EQ(s.parts[0].vertices[0].owner, 1);
  EXPECT_EQ(s.parts[0].box, (f3::Box6i{4 * 65536, 6 * 65536, 4 * 65536, 8 * 65536, 4 * 65536, 4 * 65536}));
  EXPECT_EQ(s.parts[0].vertices.size(), 3u);
  EXPECT_EQ(s.parts[1].box, (f3::Box6i{0, 65536, 0, 65536, 0, 0}));
}

TEST(Collision, GeometryFromTheCollisionLevelVolumesFromLevelZero) {
  auto lod0 = level();
  lod0->subobjects.push_back(triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  lod0->subobjects[0].num_bobj = 2;
  lod0->bobj = {volume(1, 0, {0, 0, 0}, {1, 1, 1}), volume(2, 0, {0, 0, 0}, {2, 2, 2})};
  auto lod1 = level();
  lod1->polycollision = 1;
  lod1->subobjects.push_back(triangle({0, 0, 0}, {2, 0, 0}, {0, 2, 0}));
  lod1->subobjects.push_back(triangle({0, 0, 5}, {2, 0, 5}, {0, 2, 5}));
  lod1->attach.push_back({Name32{}, 1.5f, 0, -1});
  const f3::CModel c = build(*lod0, lod1.get()).model;
  ASSERT_EQ(c.parts.size(), 2u);
  EXPECT_EQ(total(c, [](const f3::CollisionPart& p) { return p.vertices.size(); }), 6u);
  EXPECT_EQ(c.box[1], 2 * 65536);  // max x of level 1
  EXPECT_EQ(c.parts[0].volumes.size(), 2u);
  EXPECT_EQ(c.parts[0].volumes[1].planes.size(), 6u);
  EXPECT_EQ(c.parts[1].volumes.size(), 0u);
  ASSERT_EQ(c.points.size(), 1u);
  EXPECT_EQ(c.points[0][0], 98304);
  EXPECT_EQ(c.points[0][2], -65536);
}

TEST(Collision, VolumesGoWithThePartOfTheirNumberInVolumeOrder) {
  auto m = level();
  m->subobjects.push_back(triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  m->subobjects.push_back(triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  m->bobj = {volume(2, 1, {0, 0, 0}, {1, 1, 1}),  volume(3, 0, {0, 0, 0}, {1, 1, 1}),
             volume(20, 0, {0, 0, 0}, {1, 1, 1}), volume(4, 0, {0, 0, 0}, {1, 1, 1}),
             volume(5, 5, {0, 0, 0}, {1, 1, 1}),  volume(6, -1, {0, 0, 0}, {1, 1, 1})};
  m->bobj[4].name = "CB06";
  m->bobj[5].name = "CB00";
  m->subobjects[0].verts[0].x = 200;  // clamped: its warning follows those of the volumes
  const CollisionModel c = build(*m);
  const auto types = [&](std::size_t part) {
    std::vector<uint32_t> out;
    for (const f3::CollisionVolume& v : c.model.parts.at(part).volumes) out.push_back(v.type);
    return out;
  };
  EXPECT_EQ(types(0), (std::vector<uint32_t>{3, 4}));
  EXPECT_EQ(types(1), (std::vector<uint32_t>{2}));
  EXPECT_EQ(c.debug_lines.size(), 5u);  // every collision volume, left out or not
  ASSERT_EQ(c.warnings.size(), 3u);
  EXPECT_EQ(c.warnings[0], "volume CB06 names sub-object 6, which the collision LOD does not have: left out");
  EXPECT_EQ(c.warnings[1], "volume CB00 names sub-object 0, which the collision LOD does not have: left out");
  EXPECT_NE(c.warnings[2].find("stored clamped"), std::string::npos) << c.warnings[2];
}

TEST(Collision, CollisionLevelIsTheFirstWithPolycollision) {
  auto off = level(), on = level();
  on->polycollision = 1;
  struct Case {
    LevelSlots slots;
    int expected;
  } cases[] = {{{off.get(), off.get(), off.get(), off.get()}, 0},
               {{off.get(), nullptr, on.get(), on.get()}, 2},
               {{on.get(), on.get(), nullptr, nullptr}, 0},
               {{off.get(), nullptr, nullptr, on.get()}, 3}};
  for (const Case& t : cases) EXPECT_EQ(collision_lod(t.slots), t.expected);
}

TEST(Collision, OccludersAreLeftOutAndCollected) {
  auto m = level();
  m->subobjects.push_back(triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  m->bobj = {volume(20, 0, {0, 0, 0}, {1, 1, 1}), volume(22, 0, {0, 0, 0}, {1, 1, 1}),
             volume(24, 0, {0, 0, 0}, {1, 1, 1})};
  const CollisionModel c = build(*m);
  EXPECT_EQ(total(c.model, [](const f3::CollisionPart& p) { return p.volumes.size(); }), 0u);
  EXPECT_TRUE(c.debug_lines.empty());
  EXPECT_TRUE(c.warnings.empty());
  EXPECT_EQ(c.occluders, (std::vector<int>{0, 1, 2}));
}

TEST(Collision, VolumeTypesAsStored) {
  auto m = level();
  m->subobjects.push_back(triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  const std::vector<int> types{4, 11, 12, 13, 14, 15, 16, 19, 0};
  for (int t : types) m->bobj.push_back(volume(t, 0, {0, 0, 0}, {1, 1, 1}));
  const CollisionModel c = build(*m);
  std::vector<uint32_t> stored;
  for (const f3::CollisionVolume& v : c.model.parts.at(0).volumes) stored.push_back(v.type);
  EXPECT_EQ(stored, (std::vector<uint32_t>{4, 0, 0, 0, 14, 0, 16, 19, 0}));
}

TEST(Collision, VolumeShapePlanesAndDebugLine) {
  auto m = level();
  for (int i = 0; i < 4; ++i) m->subobjects.push_back(triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  BoundingObject b = volume(1, 3, {-1.5f, 2, -300}, {4, 10.75f, 7});
  b.cx = 1, b.cy = 6, b.cz = 0;
  b.verts = {{-1.5f, 2, -300}, {4, 10, 7}};
  m->bobj.push_back(b);
  const CollisionModel c = build(*m);
  ASSERT_EQ(c.model.parts.at(3).volumes.size(), 1u);
  const f3::CollisionVolume& v = c.model.parts[3].volumes[0];
  EXPECT_EQ(v.half_size, (std::array<int32_t, 3>{180224, 286720, 10059776}));
  EXPECT_EQ(v.height, 307 * 65536);
  EXPECT_EQ(v.horizontal_radius, 5 * 65536);  // (4, 10) from (1, 6)
  ASSERT_EQ(v.planes.size(), 6u);
  EXPECT_EQ(v.planes[0][0], -65536);
  EXPECT_EQ(v.planes[0][3], -98304);  // the min x plane: -x - 1.5 = 0
  EXPECT_EQ(v.planes[5][3], -7 * 65536);
  // Whole units by an arithmetic shift: -1.5 shows as -2.
  EXPECT_EQ(c.debug_lines.at(0), "BBPart 03     bbmin ( -2,  2,-300)   bbmax (  4, 10,  7)\n");
}

TEST(Collision, FaceFlagsAndSurfaceTypeFromTheMaterial) {
  struct Case {
    int32_t render, physical;
    uint32_t flags;
    uint8_t surface;
  } cases[] = {{0, 0, 0, 0},
               {0x21, 0, 0x3, 0},
               {0, 0x1f0 | 0x1000 | 0x2000, 0x1f0 | 0x400 | 0x800, 0},
               {0, 0x1 | 0x4, 0, 12},                 // the last match wins
               {0, 0x800 | 0x10000 | 0x40000, 0, 1},  // dirt after water and glass
               {0, 0x400, 0, 16}};
  for (const Case& t : cases) {
    ModelMaterial m;
    m.render_attributes = t.render;
    m.physical_attributes = t.physical;
    EXPECT_EQ(collision_face_flags(m), t.flags) << t.render << " " << t.physical;
    EXPECT_EQ(surface_type(m), t.surface) << t.physical;
  }
}

TEST(Collision, BoundingValuesSkipMaterialsLeftOutOfBounds) {
  auto m = level();
  m->num_materials = 2;
  m->materials[1].render_attributes = kRenderDontDraw;
  m->subobjects.push_back(triangle({3, 4, -1}, {0, 0, 2}, {-1, 0, 0}));
  m->subobjects.push_back(triangle({100, 100, 100}, {0, 0, 0}, {0, 0, 0}));
  m->subobjects[1].faces[0].material = 1;
  const BoundingValues bv = model_bounding_values(*m);
  EXPECT_EQ(bv.min, (Vec3{-1, 0, -1}));
  EXPECT_EQ(bv.max, (Vec3{3, 4, 2}));
  EXPECT_FLOAT_EQ(bv.radius, std::sqrt(26.0f));
  EXPECT_FLOAT_EQ(bv.horizontal_radius, 5);
  EXPECT_FLOAT_EQ(bv.height, 3);
  const BoundingValues none = model_bounding_values(*level());
  EXPECT_EQ(none.min.x, 10000);
  EXPECT_EQ(none.max.z, -10000);
}

TEST(Collision, ValuesBeyondTheirFields) {
  // Collision vertices beyond +-128 units are clamped with a warning; other
  // values that 16.16 cannot hold refuse the model.
  struct Case {
    Vec3 vertex;
    float volume_x;
    bool ok;
    int16_t stored_x;
    std::string message;
  } cases[] = {
      {{127.99f, 0, 0}, 0, true, 32765, ""},
      {{130.5f, 0, 0}, 0, true, 32767, "sub-object 01 \"hull\": 1 collision vertices lie beyond +-128 units"},
      {{-129, 0, 0}, 0, true, -32768, "(first: vertex 0 x = -129)"},
      {{0, 0, 0}, 40000, false, 0, "volume \"CB01\" box max x = 40000 does not fit a 16.16 value"},
      {{NAN, 0, 0}, 0, false, 0, "sub-object 01 \"hull\": collision vertex 0 is not a number"},
  };
  for (const Case& t : cases) {
    auto m = level();
    m->subobjects.push_back(triangle(t.vertex, {1, 0, 0}, {0, 1, 0}));
    m->subobjects[0].name = "hull";
    BoundingObject b = volume(1, 1, {0, 0, 0}, {t.volume_x, 1, 1});  // of no part here: left out
    b.name = "CB01";
    m->bobj.push_back(b);
    const tools::Result<CollisionModel> r = build_collision_model({m.get(), nullptr, nullptr, nullptr});
    ASSERT_EQ(r.ok(), t.ok) << t.message;
    if (t.ok) {
      EXPECT_EQ(r->model.parts.at(0).vertices.at(0).x, t.stored_x);
      ASSERT_EQ(r->warnings.size(), t.message.empty() ? 1u : 2u);  // the volume left out, then the clamping
      if (!t.message.empty()) {
        EXPECT_NE(r->warnings[1].find(t.message), std::string::npos) << r->warnings[1];
      }
    } else {
      EXPECT_EQ(r.error().kind, ErrorKind::kDoesNotFit);
      EXPECT_NE(r.error().message.find(t.message), std::string::npos) << r.error().message;
    }
  }
}

}  // namespace
