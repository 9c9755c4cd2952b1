// Vertex processing of the export: corner frames and smoothing, corner
// records (order, axes, colours, tiling, bending, fake skinning), the normal
// table and the vertex table's merging.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

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

TEST(VertexTable, MaterialsMarkedNotExportedGiveNoCorners) {
  auto m = two_faces(0, 0);
  m->materials[0].render_attributes = 0x20;
  VertexTable table;
  add_part_corners(table, context_for(*m), 0);
  EXPECT_EQ(table.size(), 0u);
}

}  // namespace
