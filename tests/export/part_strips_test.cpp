// Render strips of a part: strip or list by the 1.5 x t rule, the geometry
// the records describe, detail levels with pm_enable, skipped materials and
// blend classes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "orvo/export/part_strips.h"

namespace {

using namespace orvo;

// A grid of `n` x `n` quads (2 n^2 triangles) in the z = 0 plane, one
// material, wound consistently; `bump` lifts the inner vertices so the
// reducer has something to weigh.
std::unique_ptr<Model> grid(int n, float bump = 0.0f) {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->num_materials = 1;
  m->materials[0].u_tiling = m->materials[0].v_tiling = 1;
  SubObject part;
  for (int y = 0; y <= n; ++y)
    for (int x = 0; x <= n; ++x) {
      const bool inner = x > 0 && y > 0 && x < n && y < n;
      part.verts.push_back({float(x), float(y), inner ? bump * float((x * 7 + y * 3) % 5) : 0.0f});
      part.tverts.push_back({float(x) / n, float(y) / n});
    }
  const auto at = [n](int x, int y) { return y * (n + 1) + x; };
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      for (const auto& tri : {std::array{at(x, y), at(x + 1, y), at(x, y + 1)},
                              std::array{at(x + 1, y), at(x + 1, y + 1), at(x, y + 1)}}) {
        Face f;
        f.v = {tri[0], tri[1], tri[2], tri[0]};
        f.t = f.v;
        f.nz = 1;
        f.smoothing = 1;  // one smoothing group: each grid point is one vertex
        part.faces.push_back(f);
      }
    }
  m->subobjects.push_back(part);
  return m;
}

struct Built {
  VertexTable table;
  PartStrips strips;
};

Built build(const Model& m, int levels, float fraction = 0.5f) {
  CornerContext c;
  c.model = &m;
  Built b;
  add_part_corners(b.table, c, 0);
  tools::Result<PartStrips> s = build_part_strips(c, b.table, 0, levels, fraction, nullptr);
  EXPECT_TRUE(s.ok()) << (s.ok() ? "" : s.error().message);
  if (s.ok()) b.strips = std::move(*s);
  return b;
}

// A triangle as its three positions, rotated to start at the smallest.
using Tri = std::array<std::array<float, 3>, 3>;
Tri canonical(Tri t) {
  std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
  return t;
}
std::multiset<Tri> described(const Built& b, int level) {
  std::multiset<Tri> out;
  for (const StripRecord& r : b.strips.levels[static_cast<std::size_t>(level)].strips) {
    const std::vector<uint32_t> tris = record_triangles(r);
    for (std::size_t i = 0; i + 2 < tris.size(); i += 3) {
      Tri t;
      for (int k = 0; k < 3; ++k) {
        const Vec3 p = b.table.records()[tris[i + static_cast<std::size_t>(k)]].position;
        t[static_cast<std::size_t>(k)] = {p.x, p.y, p.z};
      }
      out.insert(canonical(t));
    }
  }
  return out;
}

TEST(PartStrips, StripOrListByTheLengthRule) {
  // One triangle: strip of 3 > 1.5 -> a 3-index list. Two triangles sharing
  // an edge: strip of 4 > 3 -> a list too. A 12 x 12 grid: long rows, a strip.
  struct Case {
    int n;
    Primitive primitive;
  };
  for (const Case& c : {Case{1, Primitive::kList}, Case{12, Primitive::kStrip}}) {
    const auto m = grid(c.n);
    const Built b = build(*m, 1);
    ASSERT_EQ(b.strips.levels.size(), 1u);
    ASSERT_EQ(b.strips.levels[0].strips.size(), 1u);
    EXPECT_EQ(b.strips.levels[0].strips[0].primitive, c.primitive) << c.n;
  }
  auto one = grid(1);
  one->subobjects[0].faces.pop_back();
  const Built single = build(*one, 1);
  EXPECT_EQ(single.strips.levels[0].strips[0].primitive, Primitive::kList);
  EXPECT_EQ(single.strips.levels[0].strips[0].indices.size(), 3u);
}

TEST(PartStrips, RecordsDescribeExactlyTheSourceFacesInCornerOrder) {
  const auto m = grid(6);
  const Built b = build(*m, 1);
  std::multiset<Tri> expected;
  for (const Face& f : m->subobjects[0].faces) {
    Tri t;
    for (int k = 0; k < 3; ++k) {  // corner k is stored corner 2 - k, in file axes
      const Vertex& v = m->subobjects[0].verts[static_cast<std::size_t>(f.v[static_cast<std::size_t>(2 - k)])];
      t[static_cast<std::size_t>(k)] = {-v.y, v.z, v.x};
    }
    expected.insert(canonical(t));
  }
  EXPECT_EQ(described(b, 0), expected);
  for (const StripRecord& r : b.strips.levels[0].strips)
    for (uint16_t i : r.indices) EXPECT_LE(i, r.span);
}

TEST(PartStrips, DetailLevelsReduceWithinThePart) {
  const auto m = grid(10, 0.3f);
  const Built full = build(*m, 1);
  const Built b = build(*m, kDetailLevels, 0.2f);
  ASSERT_EQ(b.strips.levels.size(), std::size_t(kDetailLevels));
  EXPECT_EQ(described(b, 0), described(full, 0));  // level 0 holds every triangle
  std::size_t previous = described(b, 0).size();
  for (int g = 1; g < kDetailLevels; ++g) {
    const std::size_t count = described(b, g).size();
    EXPECT_LE(count, previous) << g;
    previous = count;
    for (const StripRecord& r : b.strips.levels[static_cast<std::size_t>(g)].strips)
      for (uint32_t i : record_triangles(r)) EXPECT_LT(i, b.table.size());
  }
  EXPECT_LT(previous, described(b, 0).size());
}

TEST(PartStrips, SkippedMaterialsAndBlendClasses) {
  auto m = grid(2);
  m->num_materials = 2;
  m->materials[1] = m->materials[0];
  m->materials[1].blending_mode = 2;
  m->materials[0].render_attributes = 0x20;
  for (std::size_t i = 0; i < m->subobjects[0].faces.size(); i += 2) m->subobjects[0].faces[i].material = 1;
  const Built b = build(*m, 1);
  ASSERT_EQ(b.strips.levels[0].strips.size(), 1u);
  EXPECT_EQ(b.strips.levels[0].strips[0].material, 1);
  EXPECT_EQ(b.strips.levels[0].class_counts[1], 1);
  EXPECT_EQ(b.strips.levels[0].class_counts[0], 0);
}

bool same_strips(const PartStrips& a, const PartStrips& b) {
  if (a.levels.size() != b.levels.size() || a.messages != b.messages) return false;
  for (std::size_t g = 0; g < a.levels.size(); ++g) {
    const std::vector<StripRecord>& x = a.levels[g].strips;
    const std::vector<StripRecord>& y = b.levels[g].strips;
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
      if (x[i].material != y[i].material || x[i].indices != y[i].indices || x[i].primitive != y[i].primitive ||
          x[i].base != y[i].base || x[i].span != y[i].span || x[i].blend_class != y[i].blend_class)
        return false;
  }
  return true;
}

TEST(PartStrips, TheVertexPassesCornersGiveTheStripsOfTheLookUp) {
  // Two materials, one not drawn, corners welded by the reducer's coarser
  // rule (a bump below 1/256): the strips from the corners the vertex pass
  // found are those from building and looking up every corner again, at
  // one and at 16 detail levels, before and after the table is reordered.
  auto m = grid(8, 0.002f);
  m->num_materials = 3;
  m->materials[1] = m->materials[0];
  m->materials[2] = m->materials[0];
  m->materials[2].render_attributes = 0x20;
  std::vector<Face>& faces = m->subobjects[0].faces;
  for (std::size_t i = 0; i < faces.size(); ++i) faces[i].material = int32_t(i % 5 == 0 ? 2 : i % 3 == 0 ? 1 : 0);
  faces[7].smoothing = 0;
  CornerContext c;
  c.model = m.get();
  VertexTable table;
  PartCorners corners;
  add_part_corners(table, c, 0, corners);
  ASSERT_EQ(corners.vertex.size(), faces.size());
  EXPECT_EQ(corners.vertex[0][0], kNoVertex);  // material 2 is not drawn
  for (bool reordered : {false, true}) {
    if (reordered) {
      std::vector<uint32_t> order(table.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = uint32_t((i * 7 + 3) % order.size());
      ASSERT_EQ(std::set<uint32_t>(order.begin(), order.end()).size(), order.size());
      table.reorder(order);
      renumber(corners, order);
    }
    for (int levels : {1, kDetailLevels}) {
      const tools::Result<PartStrips> looked_up = build_part_strips(c, table, 0, levels, 0.3f, nullptr);
      const tools::Result<PartStrips> kept = build_part_strips(c, table, corners, 0, levels, 0.3f, nullptr);
      ASSERT_TRUE(looked_up.ok() && kept.ok());
      EXPECT_TRUE(same_strips(*looked_up, *kept)) << levels << (reordered ? " reordered" : "");
    }
  }
  // A drawn face without its vertex is refused, as a corner missing from the table is.
  corners.vertex[1] = {kNoVertex, kNoVertex, kNoVertex};
  const tools::Result<PartStrips> missing = build_part_strips(c, table, corners, 0, 1, 0.3f, nullptr);
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.error().message.find("face 1: a corner is not in the vertex table"), std::string::npos);
}

TEST(PartStrips, SortingNumbersVerticesByFirstUseThenTheRest) {
  StripRecord low;  // the lowest level meets 4 and 2
  low.indices = {2, 0};
  low.base = 2;
  StripRecord high;  // the highest meets 0, 2 again, 1
  high.indices = {0, 2, 1};
  std::vector<uint32_t> order = first_use_order(6, {&low, &high});
  EXPECT_EQ(order, (std::vector<uint32_t>{2, 3, 1, 4, 0, 5}));  // 3 and 5 never met: at the end

  const auto m = grid(3);
  Built b = build(*m, 1);
  const std::vector<ExportVertex> before = b.table.records();
  std::vector<uint32_t> reversed(before.size());
  for (std::size_t i = 0; i < reversed.size(); ++i) reversed[i] = uint32_t(reversed.size() - 1 - i);
  b.table.reorder(reversed);
  EXPECT_TRUE(same_vertex(b.table.records().front(), before.back()));
  EXPECT_EQ(b.table.find(before.front()), uint32_t(before.size() - 1));
}

}  // namespace
