#include "tools/mesh/progressive_reducer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "../../mesh/src/reducer_common.h"
#include "reducer_reference.h"

namespace tools::mesh::detail {
// Whether the reducers may use their eight-lane (AVX2) code; the tests run
// every comparison with and without it.
void use_wide_lanes(bool on);
}  // namespace tools::mesh::detail

namespace {

using tools::mesh::ProgressiveReducer;

struct LaneWidth {
  explicit LaneWidth(bool wide) { tools::mesh::detail::use_wide_lanes(wide); }
  ~LaneWidth() { tools::mesh::detail::use_wide_lanes(true); }
};

struct TestMesh {
  std::vector<float> xyz;  // three floats per vertex
  std::vector<uint16_t> tris;
  size_t vertex_count() const { return xyz.size() / 3; }
  size_t triangle_count() const { return tris.size() / 3; }
};

// ---------------------------------------------------------------------------
// Test meshes.

float fractal(float x, float z, uint32_t seed) {
  float h = 0, amp = 1, f = 0.07f;
  for (int o = 0; o < 4; ++o) {
    h += amp * std::sin(x * f + seed * 0.37f + o) * std::cos(z * f * 1.3f - seed * 0.11f + 2 * o);
    amp *= 0.5f;
    f *= 2.1f;
  }
  return h * 3.0f;
}

TestMesh grid(int nx, int nz, uint32_t seed, bool flat = false) {
  TestMesh m;
  for (int z = 0; z <= nz; ++z)
    for (int x = 0; x <= nx; ++x) {
      m.xyz.insert(m.xyz.end(), {float(x), flat ? 0.0f : fractal(float(x), float(z), seed), float(z)});
    }
  auto id = [&](int x, int z) { return uint16_t(z * (nx + 1) + x); };
  for (int z = 0; z < nz; ++z)
    for (int x = 0; x < nx; ++x) {
      if ((x ^ z) & 1) {
        m.tris.insert(m.tris.end(),
                      {id(x, z), id(x, z + 1), id(x + 1, z + 1), id(x, z), id(x + 1, z + 1), id(x + 1, z)});
      } else {
        m.tris.insert(m.tris.end(),
                      {id(x, z), id(x, z + 1), id(x + 1, z), id(x + 1, z), id(x, z + 1), id(x + 1, z + 1)});
      }
    }
  return m;
}

// Closed bumpy torus, triangles optionally shuffled.
TestMesh torus(int nu, int nv, uint32_t seed, bool shuffle) {
  TestMesh m;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> bump(-0.08f, 0.08f);
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) {
      float a = 6.2831853f * i / nu, b = 6.2831853f * j / nv, r = 0.6f + bump(rng);
      m.xyz.insert(m.xyz.end(),
                   {(2 + r * std::cos(b)) * std::cos(a), r * std::sin(b), (2 + r * std::cos(b)) * std::sin(a)});
    }
  auto id = [&](int i, int j) { return uint16_t((i % nu) * nv + (j % nv)); };
  std::vector<std::array<uint16_t, 3>> t;
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) {
      t.push_back({id(i, j), id(i + 1, j), id(i + 1, j + 1)});
      t.push_back({id(i, j), id(i + 1, j + 1), id(i, j + 1)});
    }
  if (shuffle) std::shuffle(t.begin(), t.end(), rng);
  for (auto& x : t) m.tris.insert(m.tris.end(), x.begin(), x.end());
  return m;
}

TestMesh fan(int n, bool closed) {
  TestMesh m;
  m.xyz = {0, 0.3f, 0};
  for (int i = 0; i < n; ++i)
    m.xyz.insert(m.xyz.end(), {std::cos(6.2831853f * i / n), 0, std::sin(6.2831853f * i / n)});
  for (int i = 0; i < (closed ? n : n - 1); ++i)
    m.tris.insert(m.tris.end(), {0, uint16_t(1 + (i + 1) % n), uint16_t(1 + i)});
  return m;
}

// Grid with some triangles removed (holes), a few duplicated and an unused vertex.
TestMesh holey(uint32_t seed) {
  TestMesh g = grid(14, 11, seed), m;
  m.xyz = g.xyz;
  m.xyz.insert(m.xyz.end(), {5, 5, 5});
  std::mt19937 rng(seed);
  for (size_t t = 0; t < g.triangle_count(); ++t) {
    uint32_t r = rng() % 100;
    if (r < 8) continue;
    m.tris.insert(m.tris.end(), g.tris.begin() + 3 * t, g.tris.begin() + 3 * t + 3);
    if (r > 97) m.tris.insert(m.tris.end(), g.tris.begin() + 3 * t, g.tris.begin() + 3 * t + 3);
  }
  return m;
}

// Random triangles over few vertices: non-manifold, duplicate and degenerate
// faces, few border edges.
TestMesh random_soup(uint32_t seed) {
  std::mt19937 rng(seed);
  TestMesh m;
  int n = 6 + rng() % 8;
  std::uniform_real_distribution<float> d(-5, 5);
  for (int i = 0; i < 3 * n; ++i) m.xyz.push_back(std::round(d(rng)));
  int t = 5 * n + rng() % (3 * n);
  for (int i = 0; i < t; ++i)
    m.tris.insert(m.tris.end(), {uint16_t(rng() % n), uint16_t(rng() % n), uint16_t(rng() % n)});
  return m;
}

void load(ProgressiveReducer& r, const TestMesh& m) {
  r.load(m.xyz.data(), m.vertex_count(), 3 * sizeof(float), m.tris.data(), m.triangle_count());
}

// A grid in which some vertices sit exactly on a neighbour: zero-length
// edges, zero normals and collapses of length 0.
TestMesh pinched(uint32_t seed) {
  TestMesh m = grid(10, 9, seed);
  std::mt19937 rng(seed);
  for (int k = 0; k < 14; ++k) {
    const size_t v = rng() % (m.vertex_count() - 1);
    for (size_t c = 0; c < 3; ++c) m.xyz[3 * v + c] = m.xyz[3 * (v + 1) + c];
  }
  return m;
}

std::vector<TestMesh> corpus() {
  std::vector<TestMesh> all;
  for (uint32_t s = 0; s < 6; ++s) all.push_back(grid(9 + s, 7 + 2 * s, s));
  all.push_back(grid(10, 10, 0, true));
  for (uint32_t s = 0; s < 4; ++s) all.push_back(torus(8 + 3 * s, 6 + s, s, s % 2 == 1));
  all.push_back(fan(9, false));
  all.push_back(fan(12, true));
  all.push_back(fan(70, true));  // a hub with more neighbours than a 64-bit set holds
  for (uint32_t s = 0; s < 5; ++s) all.push_back(holey(s + 20));
  for (uint32_t s = 0; s < 3; ++s) all.push_back(pinched(s + 40));
  for (uint32_t s = 0; s < 25; ++s) all.push_back(random_soup(s + 100));  // stay last (see Properties)
  return all;
}

// Vertices with a neighbour with which they share exactly one triangle.
std::set<uint16_t> border_vertices(const TestMesh& m) {
  std::map<std::pair<int, int>, int> shared;
  for (size_t t = 0; t < m.triangle_count(); ++t)
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        int a = m.tris[3 * t + i], b = m.tris[3 * t + j];
        bool first = true;  // count each triangle once per pair
        for (int k = 0; k < i; ++k) first = first && m.tris[3 * t + k] != a;
        for (int k = 0; k < j; ++k) first = first && m.tris[3 * t + k] != b;
        if (a != b && first) ++shared[{a, b}];
      }
  std::set<uint16_t> out;
  for (auto& [e, n] : shared)
    if (n == 1) out.insert(uint16_t(e.first));
  return out;
}

// ---------------------------------------------------------------------------

std::vector<uint32_t> widen(const std::vector<uint16_t>& v) {
  return {v.begin(), v.end()};
}

// Every level of every corpus mesh, through both index widths and with and
// without the eight-lane code, equals the reference bit for bit.
TEST(ProgressiveReducer, MatchesReferenceLevelByLevel) {
  for (bool wide : {true, false}) {
    LaneWidth lanes(wide);
    size_t index = 0, reduced = 0;
    for (const TestMesh& m : corpus()) {
      const std::vector<uint32_t> tris32 = widen(m.tris);
      ProgressiveReducer fast, fast32;
      tools::mesh::reference::ProgressiveReducer slow;
      load(fast, m);
      fast32.load(m.xyz.data(), m.vertex_count(), 3 * sizeof(float), tris32.data(), m.triangle_count());
      slow.load(m.xyz.data(), m.vertex_count(), 3, m.tris.data(), m.triangle_count());
      size_t n = m.vertex_count();
      for (int level = 1; level <= 16; ++level) {
        size_t target = n - n * level / 16;
        fast.reduce_to(target);
        fast32.reduce_to(target);
        slow.reduce_to(target);
        ASSERT_EQ(fast.vertex_count(), slow.vertex_count()) << "mesh " << index << " level " << level;
        ASSERT_EQ(widen(fast.read_triangles()), slow.triangles()) << "mesh " << index << " level " << level;
        ASSERT_EQ(fast32.read_triangles32(), slow.triangles()) << "mesh " << index << " level " << level;
      }
      reduced += fast.vertex_count() < n * 3 / 4;
      ++index;
    }
    EXPECT_GT(reduced, index / 2);  // the comparison is not over untouched meshes
  }
}

// A closed mesh of more than 65 536 vertices, which only 32-bit indices can
// describe; its vertices past 65 535 lie on a smooth band, so they are among
// the first to go.
TEST(ProgressiveReducer, LargeMeshMatchesReference) {
  const int nu = 260, nv = 256;
  std::vector<float> xyz;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> bump(-0.03f, 0.03f);
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) {
      const float a = 6.2831853f * i / nu, b = 6.2831853f * j / nv;
      const float r = 0.6f + (i * nv + j < 64000 ? bump(rng) : 0.0f);
      xyz.insert(xyz.end(),
                 {(2 + r * std::cos(b)) * std::cos(a), r * std::sin(b), (2 + r * std::cos(b)) * std::sin(a)});
    }
  const auto id = [&](int i, int j) { return uint32_t((i % nu) * nv + (j % nv)); };
  std::vector<uint32_t> tris;
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j)
      tris.insert(tris.end(), {id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j), id(i + 1, j + 1), id(i, j + 1)});
  const size_t n = xyz.size() / 3, t = tris.size() / 3;
  ASSERT_GT(n, 65536u);
  ProgressiveReducer fast;
  tools::mesh::reference::ProgressiveReducer slow;
  EXPECT_EQ(fast.load(xyz.data(), n, 12, tris.data(), t), n);
  slow.load(xyz.data(), n, 3, tris.data(), t);
  for (size_t target : {n - 150, n - 400}) {
    fast.reduce_to(target);
    slow.reduce_to(target);
    ASSERT_EQ(fast.read_triangles32(), slow.triangles()) << "target " << target;
  }
  size_t high_gone = 0;
  for (size_t v = 65536; v < n; ++v) high_gone += !fast.is_live(v);
  EXPECT_GT(high_gone, 10u);
}

TEST(ProgressiveReducer, Properties) {
  std::vector<TestMesh> meshes = corpus();
  for (size_t index = 0; index < meshes.size(); ++index) {
    const TestMesh& m = meshes[index];
    ProgressiveReducer r;
    load(r, m);
    // In the random non-manifold soups (the end of the list) later collapses
    // can close a border edge, so only the surfaces keep their border for good.
    const bool surface = index + 25 < meshes.size();
    std::set<uint16_t> border = surface ? border_vertices(m) : std::set<uint16_t>{};
    size_t before = r.vertex_count();
    auto tris = r.read_triangles();
    r.reduce_to(before);
    r.reduce_to(before + 5);
    EXPECT_EQ(r.vertex_count(), before);
    EXPECT_EQ(r.read_triangles(), tris);
    for (size_t target : {before * 3 / 4, before / 2, size_t{0}}) {
      r.reduce_to(target);
      for (uint16_t i : r.read_triangles()) ASSERT_TRUE(r.is_live(i));
      for (uint16_t b : border) ASSERT_TRUE(r.is_live(b)) << "border vertex " << b << " moved";
      EXPECT_EQ(r.read_triangles().size(), 3 * r.triangle_count());
    }
  }
}

TEST(ProgressiveReducer, OpenGridLosesOnlyInteriorVertices) {
  TestMesh g = grid(8, 8, 3);
  ProgressiveReducer r;
  load(r, g);
  r.reduce_to(0);
  EXPECT_EQ(r.vertex_count(), 32u);  // the 32 border vertices of a 9 x 9 grid
  for (int z = 0; z <= 8; ++z)
    for (int x = 0; x <= 8; ++x) EXPECT_EQ(r.is_live(z * 9 + x), x == 0 || z == 0 || x == 8 || z == 8) << x << "," << z;
}

TEST(ProgressiveReducer, ClosedSolidReducesToAFewVertices) {
  TestMesh t = torus(12, 8, 1, false);
  ProgressiveReducer r;
  load(r, t);
  r.reduce_to(0);
  EXPECT_LT(r.vertex_count(), 12u);
  EXPECT_GT(r.vertex_count(), 0u);
}

TEST(ProgressiveReducer, UnusedVertexIsChosenFirstAndStopsTheReduction) {
  TestMesh g = grid(4, 4, 0);
  g.xyz.insert(g.xyz.end(), {9, 9, 9});  // used by no triangle
  ProgressiveReducer r;
  load(r, g);
  auto tris = r.read_triangles();
  r.reduce_to(0);
  EXPECT_EQ(r.vertex_count(), g.vertex_count());
  EXPECT_EQ(r.read_triangles(), tris);
}

TEST(ProgressiveReducer, FlatInteriorVertexCollapsesOntoItsNeighbour) {
  // The hub of a closed flat fan is its only interior vertex.
  TestMesh f = fan(6, true);
  f.xyz[1] = 0;  // flat hub
  ProgressiveReducer r;
  load(r, f);
  r.reduce_to(6);
  EXPECT_FALSE(r.is_live(0));
  EXPECT_EQ(r.triangle_count(), 4u);  // the hexagon re-fanned from one rim vertex
}

TEST(ProgressiveReducer, SuccessiveReductionsEqualOneWithoutFailures) {
  TestMesh t = torus(10, 7, 5, true);
  ProgressiveReducer a, b;
  load(a, t);
  load(b, t);
  a.reduce_to(50);
  a.reduce_to(30);
  b.reduce_to(30);
  EXPECT_EQ(a.read_triangles(), b.read_triangles());
}

TEST(ProgressiveReducer, StrideAndBadIndices) {
  TestMesh g = grid(3, 3, 1);
  std::vector<float> wide;
  for (size_t i = 0; i < g.vertex_count(); ++i)
    wide.insert(wide.end(), {g.xyz[3 * i], g.xyz[3 * i + 1], g.xyz[3 * i + 2], 7, 7});
  std::vector<uint16_t> tris = g.tris;
  tris.insert(tris.end(), {0, 1, 999});  // names a vertex that does not exist
  ProgressiveReducer a, b;
  a.load(wide.data(), g.vertex_count(), 5 * sizeof(float), tris.data(), tris.size() / 3);
  load(b, g);
  EXPECT_EQ(a.read_triangles(), b.read_triangles());
  a.reduce_to(0);
  b.reduce_to(0);
  EXPECT_EQ(a.read_triangles(), b.read_triangles());
  a.release();
  EXPECT_EQ(a.vertex_count(), 0u);
  // Records too short to hold x, y and z cannot be read: nothing is loaded.
  EXPECT_EQ(a.load(g.xyz.data(), g.vertex_count(), 2 * sizeof(float), g.tris.data(), g.triangle_count()), 0u);
  EXPECT_EQ(a.triangle_count(), 0u);
  a.reduce_to(0);
}

// Coordinates that are not numbers give costs that are not numbers; the
// reduction still ends, and no triangle is left with a removed corner.
TEST(ProgressiveReducer, NonFiniteCoordinates) {
  for (float bad : {std::nanf(""), INFINITY}) {
    TestMesh t = torus(10, 7, 2, true);
    for (size_t v = 0; v < t.vertex_count(); v += 9) t.xyz[3 * v + 1] = bad;
    ProgressiveReducer r;
    load(r, t);
    r.reduce_to(0);
    for (uint16_t v : r.read_triangles()) ASSERT_TRUE(r.is_live(v));
  }
}

// Large and tiny coordinates (squared lengths near the ends of the float
// range, normals of faces too small to square) give the same results.
TEST(ProgressiveReducer, ExtremeScalesMatchReference) {
  for (bool wide : {true, false}) {
    LaneWidth lanes(wide);
    for (float scale : {1e-13f, 1e-7f, 1e9f, 1e15f}) {
      TestMesh m = torus(11, 8, 5, true);
      for (float& c : m.xyz) c *= scale;
      ProgressiveReducer fast;
      tools::mesh::reference::ProgressiveReducer slow;
      load(fast, m);
      slow.load(m.xyz.data(), m.vertex_count(), 3, m.tris.data(), m.triangle_count());
      for (size_t target : {70u, 40u, 12u}) {
        fast.reduce_to(target);
        slow.reduce_to(target);
        ASSERT_EQ(widen(fast.read_triangles()), slow.triangles()) << "scale " << scale << " target " << target;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Parts of the working mesh.

namespace parts = tools::mesh::detail;

// Lists in the pool against plain vectors under random pushes, removals,
// releases and remakes: every list keeps its entries in order through moves
// to larger slots and the reuse of slots given back.
TEST(CollapseMeshParts, ListPoolKeepsListsInOrder) {
  EXPECT_EQ(parts::ListPool::slot_size(0), 8u);
  EXPECT_EQ(parts::ListPool::slot_size(8), 8u);
  EXPECT_EQ(parts::ListPool::slot_size(9), 16u);
  EXPECT_EQ(parts::ListPool::slot_size(1000), 1024u);
  EXPECT_EQ(parts::ListPool::slot_size(1024), 1024u);

  std::mt19937 rng(3);
  parts::ListPool pool;
  pool.reserve(64, 64);
  std::vector<parts::ListSlot> slots(40);
  std::vector<std::vector<uint32_t>> model(slots.size());
  for (auto& s : slots) s = pool.make(1 + rng() % 12);
  for (int step = 0; step < 20000; ++step) {
    const size_t l = rng() % slots.size();
    const uint32_t value = rng() % 40;
    const uint32_t op = rng() % 16;
    if (op < 9) {
      pool.push(slots[l], value);
      model[l].push_back(value);
    } else if (op < 15) {
      pool.remove(slots[l], value);
      const auto it = std::find(model[l].begin(), model[l].end(), value);
      if (it != model[l].end()) model[l].erase(it);
    } else {
      pool.release(slots[l]);
      slots[l] = pool.make(1 + rng() % 40);
      model[l].clear();
    }
    const auto it = std::find(model[l].begin(), model[l].end(), value);
    const uint32_t expected = it == model[l].end() ? parts::kNone : static_cast<uint32_t>(it - model[l].begin());
    ASSERT_EQ(pool.find(slots[l], value), expected) << "step " << step;
    ASSERT_GE(slots[l].capacity, slots[l].size);
    for (size_t k = 0; k < slots.size(); ++k)
      ASSERT_EQ(std::vector<uint32_t>(pool.begin(slots[k]), pool.begin(slots[k]) + slots[k].size), model[k])
          << "step " << step << " list " << k;
  }
}

}  // namespace
