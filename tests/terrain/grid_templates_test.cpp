#include "loamer/grid_templates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <vector>

namespace loamer {
namespace {

struct P {
  int x;
  int z;
  friend bool operator==(const P&, const P&) = default;
};

P corner(const GridTemplate& t, std::size_t tri, int k) {
  const VertexOffset& v = t.vertices[t.triangles[tri * 3 + static_cast<std::size_t>(k)]];
  return {v.dx, v.dz};
}

// The winding measure of (a, b, e); negative for every template triangle.
long cross(P a, P b, P e) {
  return long{b.x - a.x} * (e.z - a.z) - long{e.x - a.x} * (b.z - a.z);
}

class GridTemplates : public ::testing::TestWithParam<int> {
 protected:
  static const std::array<GridTemplate, 4>& all() {
    static const std::array<GridTemplate, 4> templates = make_grid_templates();
    return templates;
  }
  const GridTemplate& tpl() const { return all()[static_cast<std::size_t>(GetParam())]; }
  bool x_odd() const { return (GetParam() & 1) != 0; }
  bool z_odd() const { return (GetParam() & 2) != 0; }

  // The dz of the vertices on the edge x = `x`, or the dx of those on the
  // edge z = `z`.
  std::set<int> on_edge_x(const GridTemplate& t, int x) const {
    std::set<int> out;
    for (const VertexOffset& v : t.vertices)
      if (v.dx == x) out.insert(v.dz);
    return out;
  }
  std::set<int> on_edge_z(const GridTemplate& t, int z) const {
    std::set<int> out;
    for (const VertexOffset& v : t.vertices)
      if (v.dz == z) out.insert(v.dx);
    return out;
  }
};

TEST_P(GridTemplates, CountsAndNumberingByFirstAppearance) {
  const GridTemplate& t = tpl();
  EXPECT_EQ(t.index, GetParam());
  ASSERT_EQ(t.triangles.size(), 3 * kTemplateTriangleCount);
  ASSERT_EQ(t.vertices.size(), kTemplateVertexCount);

  uint16_t next = 0;
  for (const uint16_t i : t.triangles) {
    ASSERT_LE(i, next);
    if (i == next) ++next;
  }
  EXPECT_EQ(next, kTemplateVertexCount);

  std::set<std::pair<int, int>> distinct;
  for (const VertexOffset& v : t.vertices) {
    EXPECT_LE(v.dx, kLeafBlockSize);
    EXPECT_LE(v.dz, kLeafBlockSize);
    distinct.insert({v.dx, v.dz});
  }
  EXPECT_EQ(distinct.size(), kTemplateVertexCount);
}

TEST_P(GridTemplates, CoversTheBlockExactlyOnceWithOneWinding) {
  // Every triangle edge runs along a grid line or a grid diagonal, so the
  // triangles are unions of the quarters into which both diagonals cut each
  // unit cell; the centroid of every quarter must be covered exactly once.
  const GridTemplate& t = tpl();
  constexpr double kQuarter[4][2] = {{0.5, 1.0 / 6}, {1.0 / 6, 0.5}, {5.0 / 6, 0.5}, {0.5, 5.0 / 6}};
  std::vector<int> cover(64 * 64 * 4, 0);
  long twice_area = 0;
  for (std::size_t k = 0; k < t.triangle_count(); ++k) {
    const P a = corner(t, k, 0), b = corner(t, k, 1), e = corner(t, k, 2);
    const long c = cross(a, b, e);
    ASSERT_LT(c, 0) << "triangle " << k;
    twice_area -= c;
    const auto edge = [](P p, P q, double x, double z) { return (q.x - p.x) * (z - p.z) - (x - p.x) * (q.z - p.z); };
    for (int cz = std::min({a.z, b.z, e.z}); cz < std::max({a.z, b.z, e.z}); ++cz) {
      for (int cx = std::min({a.x, b.x, e.x}); cx < std::max({a.x, b.x, e.x}); ++cx) {
        for (int q = 0; q < 4; ++q) {
          const double x = cx + kQuarter[q][0], z = cz + kQuarter[q][1];
          if (edge(a, b, x, z) < 0 && edge(b, e, x, z) < 0 && edge(e, a, x, z) < 0) {
            ++cover[static_cast<std::size_t>((cz * 64 + cx) * 4 + q)];
          }
        }
      }
    }
  }
  EXPECT_EQ(twice_area, 2 * 64 * 64);
  for (std::size_t i = 0; i < cover.size(); ++i) {
    ASSERT_EQ(cover[i], 1) << "cell x " << (i / 4) % 64 << " z " << i / 256 << " quarter " << i % 4;
  }
}

TEST_P(GridTemplates, EdgeSpacingFollowsTheParity) {
  const GridTemplate& t = tpl();
  std::set<int> every4, every1;
  for (int d = 0; d <= kLeafBlockSize; ++d) {
    if (d % 4 == 0) every4.insert(d);
    every1.insert(d);
  }
  // A fine edge has every point but the one next to the corner it shares
  // with a coarse edge, where the rings step from 4 to 2 to 1.
  std::set<int> fine_x = every1, fine_z = every1;
  fine_x.erase(z_odd() ? kLeafBlockSize - 1 : 1);
  fine_z.erase(x_odd() ? kLeafBlockSize - 1 : 1);

  const int coarse_x = x_odd() ? kLeafBlockSize : 0;
  const int coarse_z = z_odd() ? kLeafBlockSize : 0;
  EXPECT_EQ(on_edge_x(t, coarse_x), every4);
  EXPECT_EQ(on_edge_x(t, kLeafBlockSize - coarse_x), fine_x);
  EXPECT_EQ(on_edge_z(t, coarse_z), every4);
  EXPECT_EQ(on_edge_z(t, kLeafBlockSize - coarse_z), fine_z);

  // The line between the two rings has a vertex every 2 units from the
  // coarse z edge's ring to the far edge.
  const int between_x = x_odd() ? kLeafBlockSize - 2 : 2;
  const std::set<int> between = on_edge_x(t, between_x);
  for (int d = z_odd() ? 0 : 2; d <= (z_odd() ? kLeafBlockSize - 2 : kLeafBlockSize); d += 2) {
    EXPECT_TRUE(between.count(d) != 0) << d;
  }
}

TEST_P(GridTemplates, NeighbouringBlocksMeetWithEqualSpacing) {
  // The block to the right has the other x-parity, the block below the
  // other z-parity.
  const GridTemplate& t = tpl();
  const GridTemplate& right = all()[static_cast<std::size_t>(GetParam() ^ 1)];
  const GridTemplate& below = all()[static_cast<std::size_t>(GetParam() ^ 2)];
  EXPECT_EQ(on_edge_x(t, kLeafBlockSize), on_edge_x(right, 0));
  EXPECT_EQ(on_edge_z(t, kLeafBlockSize), on_edge_z(below, 0));
}

INSTANTIATE_TEST_SUITE_P(AllParities, GridTemplates, ::testing::Values(0, 1, 2, 3));

TEST(GridTemplateOrder, InnerCellsThenOuterRingThenInnerRing) {
  const GridTemplate t0 = make_grid_template(0);
  // First inner cell (3, 3), even: (TL, BR, TR), (TL, BL, BR).
  EXPECT_EQ(corner(t0, 0, 0), (P{3, 3}));
  EXPECT_EQ(corner(t0, 0, 1), (P{4, 4}));
  EXPECT_EQ(corner(t0, 0, 2), (P{4, 3}));
  EXPECT_EQ(corner(t0, 1, 1), (P{3, 4}));
  // Next cell (4, 3), odd: (TR, BL, BR).
  EXPECT_EQ(corner(t0, 2, 0), (P{5, 3}));
  EXPECT_EQ(corner(t0, 2, 1), (P{4, 4}));
  const std::size_t inner = 61 * 61 * 2;
  // Outer ring, corner piece: (TL, M, TR) along the top, (TR, M, right-mid).
  EXPECT_EQ(corner(t0, inner, 0), (P{0, 0}));
  EXPECT_EQ(corner(t0, inner, 1), (P{2, 2}));
  EXPECT_EQ(corner(t0, inner, 2), (P{4, 0}));
  EXPECT_EQ(corner(t0, inner + 1, 2), (P{4, 2}));
  // Then along the left: (TL, BL, M).
  EXPECT_EQ(corner(t0, inner + 2, 1), (P{0, 4}));
  // The inner ring starts after the outer ring's 94 triangles at (2, 2).
  EXPECT_EQ(corner(t0, inner + 94, 0), (P{2, 2}));
  EXPECT_EQ(corner(t0, inner + 94, 1), (P{3, 3}));
  EXPECT_EQ(corner(t0, inner + 94, 2), (P{4, 2}));

  const GridTemplate t3 = make_grid_template(3);
  // Odd in both: inner cells from (0, 0); the outer ring's first piece that
  // emits is the top-right one of the right column: (M, BR, TR).
  EXPECT_EQ(corner(t3, 0, 0), (P{0, 0}));
  EXPECT_EQ(corner(t3, inner, 0), (P{62, 2}));
  EXPECT_EQ(corner(t3, inner, 1), (P{64, 4}));
  EXPECT_EQ(corner(t3, inner, 2), (P{64, 0}));
}

TEST(GridTemplateIndex, ParityOfTheBlockOrigin) {
  EXPECT_EQ(grid_template_index(0, 0), 0);
  EXPECT_EQ(grid_template_index(64, 0), 1);
  EXPECT_EQ(grid_template_index(0, 64), 2);
  EXPECT_EQ(grid_template_index(960, 960), 3);
  EXPECT_EQ(grid_template_index(512, 448), 2);
  EXPECT_EQ(make_grid_template(5).index, 1);
}

}  // namespace
}  // namespace loamer
