// Vertex processing of the export: corner frames and smoothing, corner
// records (order, axes, colours, tiling, bending, fake skinning), the normal
// table and the vertex table's merging.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "orvo/export/collision.h"
#include "orvo/export/vertex_table.h"

namespace {

using namespace orvo;

// Two triangles sharing the edge (1, 2) in the z = 0 plane, facing +z, with
// texture coordinates that follow x and y.
std::unique_ptr<Model> two_faces(uint32_t smoothing0, uint32_t smoothing1) {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->num_materials = 1;
  m->materials[0].u_tiling = m->materials[0].v_tiling = 1.0f;
  SubObject part;
  part.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  part.tverts = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  Face a;
  a.v = {0, 1, 2, 0};
  a.t = {0, 1, 2, 0};
  a.nz = 1;
  a.smoothing = smoothing0;
  Face b = a;
  b.v = {1, 3, 2, 1};
  b.t = {1, 3, 2, 1};
  b.smoothing = smoothing1;
  part.faces = {a, b};
  m->subobjects.push_back(part);
  return m;
}

CornerContext context_for(const Model& m) {
  CornerContext c;
  c.model = &m;
  return c;
}

TEST(VertexTable, SmoothingMasksDecideWhetherCornersShareAVertex) {
  // Tilt face b so that a shared smoothed normal differs from both faces'.
  for (const auto& [mask_a, mask_b, expected] : {std::tuple{1u, 1u, 4u}, std::tuple{1u, 2u, 6u}}) {
    auto m = two_faces(mask_a, mask_b);
    Face& b = m->subobjects[0].faces[1];
    b.nx = 0.6f;
    b.nz = 0.8f;
    m->subobjects[0].verts[3].z = -0.75f;
    VertexTable table;
    add_part_corners(table, context_for(*m), 0);
    EXPECT_EQ(table.size(), expected) << mask_a << " " << mask_b;
  }
}

TEST(VertexTable, CornersComeInStoredOrderTwoOneZeroInFileAxes) {
  auto m = two_faces(0, 0);
  m->subobjects[0].verts[2] = {0, 1, 5};
  const auto frames = corner_frames(m->subobjects[0]);
  const ExportVertex first = build_corner(context_for(*m), 0, 0, frames, 0);
  EXPECT_EQ(first.position, (Vec3{-1, 5, 0}));  // stored corner 2 = (0, 1, 5) as (-y, z, x)
  EXPECT_EQ(first.normal, (Vec3{0, 1, 0}));     // +z is the file's up
  // The face tangent follows u (+x), the binormal v (+y): stored as
  // (ty, -tz, -tx) and (-by, bz, bx).
  const ExportVertex flat = build_corner(context_for(*two_faces(0, 0)), 0, 0, frames, 1);
  EXPECT_EQ(flat.tangent, (Vec3{0, 0, -1}));
  EXPECT_EQ(flat.binormal, (Vec3{-1, 0, 0}));
  EXPECT_EQ(flat.part, 0);
  EXPECT_EQ(flat.bones, (std::array<int32_t, 4>{-1, -1, -1, -1}));
}

TEST(VertexTable, ColoursAndTiling) {
  struct Case {
    bool colours;
    int32_t entry;
    int32_t color_type;
    uint32_t expected;
  };
  for (const Case& c : {Case{false, 0, 0, 0xFF000000u}, Case{true, kNoFaceColour, 0, 0xFF7F7F7Fu},
                        Case{true, 0x102030, 0, 0xFF102030u}, Case{true, 0x808080, 1, 0xFF402010u}}) {
    auto m = two_faces(0, 0);
    m->materials[0].color_type = c.color_type;
    m->materials[0].color_green = {128, 64, 32};
    if (c.colours) m->subobjects[0].facecolors = {{{c.entry, c.entry, c.entry}}, {{c.entry, c.entry, c.entry}}};
    const auto frames = corner_frames(m->subobjects[0]);
    EXPECT_EQ(build_corner(context_for(*m), 0, 0, frames, 0).colour, c.expected) << std::hex << c.expected;
  }
  auto m = two_faces(0, 0);
  m->materials[0].u_tiling = 4;
  m->materials[0].v_tiling = 2;
  m->materials[0].multitexture_flags = 1;
  const auto frames = corner_frames(m->subobjects[0]);
  const ExportVertex v = build_corner(context_for(*m), 0, 0, frames, 1);  // stored corner 1: uv (1, 0)
  EXPECT_FLOAT_EQ(v.u1, 2.5f);
  EXPECT_FLOAT_EQ(v.v1, -0.5f);
  EXPECT_FLOAT_EQ(v.u2, 2.5f);  // no second-layer material: its own tiling
  m->materials[0].color_type = m->materials[0].alpha_type = 1;
  const ExportVertex untextured = build_corner(context_for(*m), 0, 0, frames, 1);
  EXPECT_EQ(untextured.u1, 0.0f);
  EXPECT_EQ(untextured.v1, 0.0f);
}

TEST(VertexTable, RadialNormalsAndFakeSkinWeights) {
  const RadialLight light{{0, 0, 0}, {1, 1, 1}};
  // Far out (L = 1) on the x axis: file (0, 0, 1) raised by 0.9 in y.
  const Vec3 far = bend_normal({1, 0, 0}, light, {});
  EXPECT_NEAR(far.y / far.z, 0.9f, 1e-6);
  // Between 0.45 and 0.5 the unit offset as it is.
  const Vec3 mid = bend_normal({0.47f, 0, 0}, light, {});
  EXPECT_NEAR(mid.z, 1.0f, 1e-6);
  EXPECT_NEAR(mid.y, 0.0f, 1e-6);
  // Near the centre (a = 0.5 at L = 0.225): scaled by 0.5, lowered by 1.
  const Vec3 near = bend_normal({0.225f, 0, 0}, light, {});
  EXPECT_NEAR(near.y / near.z, -2.0f, 1e-5);
  EXPECT_EQ(bend_normal({0, 0, 0}, light, {1, 2, 3}), (Vec3{1, 2, 3}));

  const Vec3 lo{-1, -1, 0}, hi{1, 1, 2};
  EXPECT_EQ(fakeskin_weight({0, 0, 0}, lo, hi), 0.0f);          // bottom of the box
  EXPECT_EQ(fakeskin_weight({1, 1, 2}, lo, hi), 1.0f);          // top, on the corner
  EXPECT_NEAR(fakeskin_weight({0, 0, 2}, lo, hi), 0.1f, 1e-6);  // top, at the centre
}

TEST(VertexTable, NormalTableMergesNormalsWithinTheTolerance) {
  auto m = two_faces(1, 1);
  m->subobjects[0].faces[1].nz = 1.00005f;  // within 1e-4 of face a's normal
  const auto frames = corner_frames(m->subobjects[0]);
  EXPECT_EQ(part_normal_table(m->subobjects[0], frames).size(), 1u);
  m->subobjects[0].faces[1].nz = 1.0002f;  // beyond it; the smoothed corners add their sum
  const auto table = part_normal_table(m->subobjects[0], corner_frames(m->subobjects[0]));
  EXPECT_EQ(table.size(), 2u);
}

TEST(VertexTable, NearestNormalIsTheOneTheScanFinds) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> unit(-1, 1);
  std::vector<Vec3> table;
  for (int i = 0; i < 300; ++i) table.push_back({unit(rng), unit(rng), unit(rng)});
  table.push_back(table[7]);  // equal entries: the first wins
  const NormalIndex index(table);
  const auto scan = [&](Vec3 n) {
    float best = 1000;
    int found = 0;
    for (std::size_t i = 0; i < table.size(); ++i) {
      const float d = (table[i].x - n.x) * (table[i].x - n.x) + (table[i].y - n.y) * (table[i].y - n.y) +
                      (table[i].z - n.z) * (table[i].z - n.z);
      if (d < best) best = d, found = int(i);
    }
    return found;
  };
  for (int i = 0; i < 2000; ++i) {
    Vec3 n = i % 2 ? table[rng() % table.size()] : Vec3{unit(rng), unit(rng), unit(rng)};
    if (i % 4 == 1) n.x += 5e-5f;  // near an entry, not on it
    ASSERT_EQ(index.nearest(n), scan(n)) << i;
  }
}

TEST(VertexTable, NearestNormalKeepsTheScansAnswerOnTiesAndNearTies) {
  // Clusters of entries around centres on a 2^-12 grid (and on decimal
  // steps near grid cell edges), offset along one axis by multiples of
  // 2^-16 so that an entry and its mirror image are exactly as far from
  // the centre (a tie), or one 2^-24 step further (a near tie, where the
  // centre's precision keeps it); within the merging distance and beyond.
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> grid(-4000, 4000);
  std::vector<Vec3> table;
  std::vector<Vec3> queries;
  for (int c = 0; c < 400; ++c) {
    Vec3 centre{float(grid(rng)) / 4096.0f, float(grid(rng)) / 4096.0f, float(grid(rng)) / 4096.0f};
    if (c % 4 == 3) centre.x = float(grid(rng) / 8) * (c % 8 == 3 ? 8e-4f : 1.6e-3f);
    const float axis_step = float(1 + c % 6) / 65536.0f * (c % 5 == 0 ? 16.0f : 1.0f);
    const bool near = c % 3 == 0;
    const int axis = c % 3;
    const auto along = [&](float d) {
      Vec3 v = centre;
      (axis == 0 ? v.x : axis == 1 ? v.y : v.z) += d;
      return v;
    };
    // The mirror images in either order, and now and then the same entry twice.
    Vec3 far_side = along(axis_step);
    if (near) (axis == 0 ? far_side.x : axis == 1 ? far_side.y : far_side.z) += 1.0f / 16777216.0f;
    if (c % 2 == 0) {
      table.push_back(far_side);
      table.push_back(along(-axis_step));
    } else {
      table.push_back(along(-axis_step));
      table.push_back(far_side);
    }
    if (c % 7 == 0) table.push_back(table[table.size() - 2]);
    queries.push_back(centre);
    queries.push_back(along(axis_step / 2));
    queries.push_back(table.back());
  }
  const NormalIndex index(table);
  int ties = 0, near_ties = 0;
  for (std::size_t q = 0; q < queries.size(); ++q) {
    const Vec3 n = queries[q];
    ASSERT_EQ(index.nearest(n), nearest_normal(table, n)) << q;
    // How often the best distance is shared, or missed by a hair.
    std::vector<float> d;
    for (const Vec3& e : table)
      d.push_back((e.x - n.x) * (e.x - n.x) + (e.y - n.y) * (e.y - n.y) + (e.z - n.z) * (e.z - n.z));
    std::sort(d.begin(), d.end());
    ties += d[0] == d[1] ? 1 : 0;
    near_ties += d[0] != d[1] && d[1] - d[0] <= d[0] * 0.02f ? 1 : 0;
  }
  EXPECT_GT(ties, 100);
  EXPECT_GT(near_ties, 50);
}

TEST(VertexTable, MergingGivesTheIndicesOfTheLinearSearch) {
  std::mt19937 rng(5);
  std::vector<ExportVertex> pool(50);
  for (ExportVertex& v : pool) v.position = {float(rng() % 7), float(rng() % 3), 0.0f};
  pool[1].position = {-0.0f, 0, 0};  // -0.0 is not 0.0
  pool[2].position = {0.0f, 0, 0};
  VertexTable table;
  std::vector<ExportVertex> linear;
  for (int i = 0; i < 2000; ++i) {
    const ExportVertex& v = pool[rng() % pool.size()];
    uint32_t expected = 0;
    while (expected < linear.size() && !same_vertex(linear[expected], v)) ++expected;
    if (expected == linear.size()) linear.push_back(v);
    ASSERT_EQ(table.add(v), expected);
  }
  EXPECT_EQ(table.size(), linear.size());
}

TEST(VertexTable, FewestVerticesNeverExceedsTheTable) {
  // Random levels sharing part numbers: points on a small lattice (so
  // levels and parts meet), random smoothing, colours, materials (one not
  // drawn) and now and then a corner naming no vertex or a -0.0.
  std::mt19937 rng(3);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::unique_ptr<Model>> owned;
    std::vector<const Model*> levels;
    for (int l = 0; l < 1 + round % 4; ++l) {
      auto m = two_faces(1, 1);
      m->num_materials = 2;
      m->materials[1].render_attributes = round % 3 == 0 ? 0x20 : 0;
      m->subobjects.resize(1 + rng() % 3);
      for (SubObject& part : m->subobjects) {
        part = SubObject{};
        for (int v = 0; v < 12; ++v) part.verts.push_back({float(rng() % 3), float(rng() % 2), 0.0f});
        if (round % 5 == 0) part.verts[0].x = -0.0f;
        part.tverts = {{0, 0}, {1, 0}, {0, 1}};
        for (int f = 0; f < 10; ++f) {
          Face face;
          face.v = {int32_t(rng() % 12), int32_t(rng() % 12), int32_t(rng() % 13), 0};  // 12: no such vertex
          face.t = {int32_t(rng() % 3), int32_t(rng() % 3), int32_t(rng() % 3), 0};
          face.nz = rng() % 2 ? 1.0f : -1.0f;
          face.smoothing = rng() % 3;
          face.material = int32_t(rng() % 2);
          part.faces.push_back(face);
        }
      }
      levels.push_back(m.get());
      owned.push_back(std::move(m));
    }
    VertexTable table;
    for (const Model* m : levels)
      for (int p = 0; p < m->num_subobjects(); ++p) add_part_corners(table, context_for(*m), p);
    EXPECT_LE(fewest_vertices(levels), table.size()) << round;
  }
  // Counted per part; the same points in another level once; faces not
  // drawn left out; a corner naming no vertex at the origin, which -0.0 is
  // not.
  auto m = two_faces(1, 1);
  EXPECT_EQ(fewest_vertices({m.get(), m.get()}), 4u);
  m->subobjects.push_back(m->subobjects[0]);
  EXPECT_EQ(fewest_vertices({m.get()}), 8u);
  m->num_materials = 2;
  m->materials[1].render_attributes = 0x20;
  m->subobjects[1].faces[1].material = 1;  // vertex 3 only on it
  EXPECT_EQ(fewest_vertices({m.get()}), 7u);
  m->subobjects[1].faces[0].v[1] = 40;  // vertex 1 gone, the origin met again
  EXPECT_EQ(fewest_vertices({m.get()}), 6u);
  m->subobjects[1].verts[0].x = -0.0f;
  EXPECT_EQ(fewest_vertices({m.get()}), 7u);
}

TEST(VertexTable, MaterialsMarkedNotExportedGiveNoCorners) {
  auto m = two_faces(0, 0);
  m->materials[0].render_attributes = 0x20;
  VertexTable table;
  add_part_corners(table, context_for(*m), 0);
  EXPECT_EQ(table.size(), 0u);
}

}  // namespace
