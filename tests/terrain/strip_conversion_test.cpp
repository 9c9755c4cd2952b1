#include "loamer/strip_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "loamer/block_file.h"

namespace loamer {
namespace {

using Tri = std::array<VertexOffset, 3>;

bool before(const VertexOffset& a, const VertexOffset& b) {
  return a.dx != b.dx ? a.dx < b.dx : a.dz < b.dz;
}

// The triangle turned so that its smallest corner comes first; the winding
// is kept.
Tri canonical(VertexOffset a, VertexOffset b, VertexOffset c) {
  Tri t{a, b, c};
  while (before(t[1], t[0]) || before(t[2], t[0])) t = {t[1], t[2], t[0]};
  return t;
}

bool tri_less(const Tri& a, const Tri& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), before);
}

// Triangles of a list as corner positions, sorted.
std::vector<Tri> triangles_of_list(const PackedBlockMesh& m, const std::vector<uint16_t>& idx) {
  std::vector<Tri> out;
  for (size_t k = 0; k + 2 < idx.size(); k += 3) {
    out.push_back(canonical(m.offsets[idx[k]], m.offsets[idx[k + 1]], m.offsets[idx[k + 2]]));
  }
  std::sort(out.begin(), out.end(), tri_less);
  return out;
}

// Triangles of a strip: (s[i], s[i+1], s[i+2]) for even i, (s[i], s[i+2],
// s[i+1]) for odd i, degenerate ones left out.
std::vector<Tri> triangles_of_strip(const PackedBlockMesh& m, const std::vector<uint16_t>& s) {
  std::vector<Tri> out;
  for (size_t i = 0; i + 2 < s.size(); ++i) {
    uint16_t a = s[i], b = s[i + 1], c = s[i + 2];
    if (a == b || b == c || a == c) continue;
    if (i % 2 == 1) std::swap(b, c);
    out.push_back(canonical(m.offsets[a], m.offsets[b], m.offsets[c]));
  }
  std::sort(out.begin(), out.end(), tri_less);
  return out;
}

LodList triangle_list(std::vector<uint16_t> idx, uint16_t v) {
  LodList l;
  l.count = static_cast<uint32_t>(idx.size() / 3);
  l.indices = std::move(idx);
  l.vertex_count = v;
  return l;
}

// The (g+1)^2 points of a g x g grid, numbered in a scattered order.
PackedBlockMesh grid_mesh(int g) {
  PackedBlockMesh m;
  const int n = (g + 1) * (g + 1);
  m.offsets.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int v = (i * 7) % n;  // 7 is prime to (g+1)^2 for the sizes used
    m.offsets[static_cast<size_t>(v)] = {static_cast<uint16_t>(i % (g + 1)), static_cast<uint16_t>(i / (g + 1))};
  }
  return m;
}

// Two triangles for every step x step square of the grid, one winding.
std::vector<uint16_t> grid_triangles(int g, int step) {
  const int n = (g + 1) * (g + 1);
  const auto id = [&](int x, int z) { return static_cast<uint16_t>(((z * (g + 1) + x) * 7) % n); };
  std::vector<uint16_t> t;
  for (int z = 0; z < g; z += step) {
    for (int x = 0; x < g; x += step) {
      const int x1 = std::min(x + step, g), z1 = std::min(z + step, g);
      t.insert(t.end(), {id(x, z), id(x, z1), id(x1, z), id(x1, z), id(x, z1), id(x1, z1)});
    }
  }
  return t;
}

TEST(StripConversion, StripsGiveBackEveryListsTrianglesWithTheirWinding) {
  const int g = 8;
  PackedBlockMesh m = grid_mesh(g);
  const uint16_t n = static_cast<uint16_t>(m.vertex_count());
  for (int slot = 0; slot < kLodSlots; slot += 2) m.lods[slot] = triangle_list(grid_triangles(g, 1 + slot / 4), n);
  m.lods[6] = triangle_list({}, 0);
  m.lods[3] = triangle_list({0, 1, 2}, 3);

  std::vector<std::vector<Tri>> expected;
  for (int slot = 0; slot < kLodSlots; slot += 2) expected.push_back(triangles_of_list(m, m.lods[slot].indices));

  ASSERT_TRUE(convert_to_strips(m).ok());
  for (int slot = 0; slot < kLodSlots; slot += 2) {
    SCOPED_TRACE(slot);
    const LodList& l = m.lods[slot];
    EXPECT_EQ(l.kind, ListKind::kStrip);
    EXPECT_EQ(l.count, l.indices.size());
    EXPECT_EQ(triangles_of_strip(m, l.indices), expected[slot / 2]);
    const uint16_t largest = l.indices.empty() ? 0 : *std::max_element(l.indices.begin(), l.indices.end());
    EXPECT_EQ(l.vertex_count, l.indices.empty() ? 1 : largest + 1);
  }
  // The empty list stays empty as a strip of vertex count 1.
  EXPECT_TRUE(m.lods[6].indices.empty());
  EXPECT_EQ(m.lods[6].vertex_count, 1);
  // The odd slot referred to the old numbering and is gone.
  EXPECT_TRUE(m.lods[3].indices.empty());
  // The result is a valid strip file.
  EXPECT_TRUE(encode_block_mesh(m).ok());
}

TEST(StripConversion, VerticesAreRenumberedByFirstUseFromTheCoarsestList) {
  PackedBlockMesh m;
  for (uint16_t i = 0; i < 6; ++i) m.offsets.push_back({i, static_cast<uint16_t>(10 * i)});
  m.lods[14] = triangle_list({3, 4, 5}, 6);  // strip 3 4 5: keys 0, 1, 2
  m.lods[12] = triangle_list({1, 0, 4}, 6);  // strip 1 0 4: vertex 1 key 0, vertex 0 key 1
  m.lods[0] = triangle_list({3, 4, 5, 1, 0, 4}, 6);
  // Vertex 2 is never used (key -1) and comes first; equal keys keep their
  // old order: 1 before 3 (key 0), 0 before 4 (key 1); then 5.
  ASSERT_TRUE(convert_to_strips(m).ok());
  const std::vector<uint16_t> old_of_new = {2, 1, 3, 0, 4, 5};
  for (size_t v = 0; v < 6; ++v) EXPECT_EQ(m.offsets[v].dx, old_of_new[v]);
  EXPECT_EQ(m.lods[14].indices, (std::vector<uint16_t>{2, 4, 5}));
  EXPECT_EQ(m.lods[14].vertex_count, 6);
  EXPECT_EQ(m.lods[12].indices, (std::vector<uint16_t>{1, 3, 4}));
  EXPECT_EQ(m.lods[12].vertex_count, 5);
  EXPECT_EQ(m.lods[2].vertex_count, 1);
}

TEST(StripConversion, ExistingStripsAreKeptButRenumbered) {
  PackedBlockMesh m;
  for (uint16_t i = 0; i < 5; ++i) m.offsets.push_back({i, 0});
  LodList strip;
  strip.kind = ListKind::kStrip;
  strip.indices = {4, 3, 2, 2, 1};  // left as it is, even with its degenerate triangle
  strip.count = 5;
  strip.vertex_count = 5;
  m.lods[14] = strip;
  ASSERT_TRUE(convert_to_strips(m).ok());
  // Keys: 4 -> 0, 3 -> 1, 2 -> 2, 1 -> 4; vertex 0 unused.
  EXPECT_EQ(m.lods[14].indices, (std::vector<uint16_t>{1, 2, 3, 3, 4}));
  EXPECT_EQ(m.lods[14].count, 5u);
  EXPECT_EQ(m.offsets[0].dx, 0);
  EXPECT_EQ(m.offsets[1].dx, 4);
}

TEST(StripConversion, RefusesInconsistentMeshesAndLeavesThemAlone) {
  PackedBlockMesh m;
  m.offsets.resize(3);
  m.lods[0] = triangle_list({0, 1, 3}, 4);  // index past the vertices
  PackedBlockMesh copy = m;
  tools::Status s = convert_to_strips(m);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.code(), kIoBadData);
  EXPECT_EQ(m, copy);

  m.lods[0] = triangle_list({0, 1, 2}, 3);
  m.lods[0].count = 2;
  EXPECT_FALSE(convert_to_strips(m).ok());

  m.lods[0] = triangle_list({0, 1, 2}, 3);
  m.lods[0].kind = static_cast<ListKind>(7);
  EXPECT_FALSE(convert_to_strips(m).ok());
}

}  // namespace
}  // namespace loamer
