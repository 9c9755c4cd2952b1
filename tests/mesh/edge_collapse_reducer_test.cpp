#include "tools/mesh/edge_collapse_reducer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "reducer_reference.h"
#include "tools/mesh/progressive_reducer.h"

namespace tools::mesh::detail {
// Whether the reducers may use their eight-lane (AVX2) code; the tests run
// every comparison with and without it.
void use_wide_lanes(bool on);
}  // namespace tools::mesh::detail

namespace {

struct LaneWidth {
  explicit LaneWidth(bool wide) { tools::mesh::detail::use_wide_lanes(wide); }
  ~LaneWidth() { tools::mesh::detail::use_wide_lanes(true); }
};

using tools::mesh::build_terrain_lods;
using tools::mesh::EdgeCollapseReducer;
using tools::mesh::kTerrainLodCount;
using tools::mesh::terrain_lod_schedule;
using tools::mesh::TerrainLodParams;
using tools::mesh::TerrainLods;

// Terrain vertex records: x y z, normal, two texture pairs (ten floats).
struct Block {
  std::vector<float> rec;
  std::vector<uint16_t> tris;
  size_t vertex_count() const { return rec.size() / 10; }
  size_t triangle_count() const { return tris.size() / 3; }
  float x(size_t i) const { return rec[10 * i]; }
  float y(size_t i) const { return rec[10 * i + 1]; }
  float z(size_t i) const { return rec[10 * i + 2]; }
  void add(float x, float y, float z) {
    rec.insert(rec.end(), {x, y, z, 0, 0.5f, 0, x / 1024, z / 1024, x / 4, z / 4});
  }
};

// ---------------------------------------------------------------------------

float fractal(float x, float z, uint32_t seed, float amplitude) {
  float h = 0, amp = amplitude, f = 0.05f;
  for (int o = 0; o < 5; ++o) {
    h += amp * std::sin(x * f + seed * 0.71f + o) * std::cos(z * f * 1.2f - seed * 0.3f + 1.7f * o);
    amp *= 0.5f;
    f *= 2.03f;
  }
  return h;
}

// A grid block with alternating diagonals over fractal heights.
Block grid(int n, uint32_t seed, float amplitude, int step = 1) {
  Block b;
  for (int z = 0; z <= n; ++z)
    for (int x = 0; x <= n; ++x)
      b.add(float(x * step), amplitude == 0 ? 0.0f : fractal(float(x * step), float(z * step), seed, amplitude),
            float(z * step));
  auto id = [&](int x, int z) { return uint16_t(z * (n + 1) + x); };
  for (int z = 0; z < n; ++z)
    for (int x = 0; x < n; ++x) {
      if ((x ^ z) & 1)
        b.tris.insert(b.tris.end(),
                      {id(x + 1, z), id(x, z + 1), id(x + 1, z + 1), id(x + 1, z), id(x, z), id(x, z + 1)});
      else
        b.tris.insert(b.tris.end(),
                      {id(x, z), id(x + 1, z + 1), id(x + 1, z), id(x, z), id(x, z + 1), id(x + 1, z + 1)});
    }
  return b;
}

Block holey(int n, uint32_t seed) {
  Block g = grid(n, seed, 12.0f), b;
  b.rec = g.rec;
  b.add(3, 3, 3);  // used by no face
  std::mt19937 rng(seed);
  for (size_t t = 0; t < g.triangle_count(); ++t) {
    uint32_t r = rng() % 100;
    if (r < 7) continue;
    b.tris.insert(b.tris.end(), g.tris.begin() + 3 * t, g.tris.begin() + 3 * t + 3);
    if (r > 97) b.tris.insert(b.tris.end(), g.tris.begin() + 3 * t, g.tris.begin() + 3 * t + 3);
  }
  return b;
}

Block box(int n, uint32_t seed) {  // closed surface: a bumpy cube of 6 n x n faces, seams welded
  Block b;
  std::map<std::array<int, 3>, uint16_t> ids;
  std::mt19937 rng(seed);
  auto vid = [&](int x, int y, int z) {
    auto [it, fresh] = ids.insert({{x, y, z}, uint16_t(ids.size())});
    if (fresh) b.add(float(x) * 2 + float(rng() % 5) * 0.1f, float(y) * 2, float(z) * 2);
    return it->second;
  };
  for (int axis = 0; axis < 3; ++axis)
    for (int side = 0; side < 2; ++side)
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
          auto p = [&](int a, int c) {
            int q[3];
            q[axis] = side * n;
            q[(axis + 1) % 3] = side ? a : c;
            q[(axis + 2) % 3] = side ? c : a;
            return vid(q[0], q[1], q[2]);
          };
          uint16_t a = p(i, j), b1 = p(i + 1, j), c = p(i + 1, j + 1), d = p(i, j + 1);
          b.tris.insert(b.tris.end(), {a, b1, c, a, c, d});
        }
  return b;
}

// Random triangles over few vertices: non-manifold, duplicate and degenerate
// faces, few border edges.
Block soup(uint32_t seed) {
  std::mt19937 rng(seed);
  Block b;
  int n = 6 + rng() % 8;
  for (int i = 0; i < n; ++i) b.add(float(rng() % 12), float(rng() % 40), float(rng() % 12));
  int t = 5 * n + rng() % (3 * n);
  for (int i = 0; i < t; ++i)
    b.tris.insert(b.tris.end(), {uint16_t(rng() % n), uint16_t(rng() % n), uint16_t(rng() % n)});
  return b;
}

// A grid in which some vertices sit exactly on a neighbour: zero-length
// edges, zero normals and collapses of length 0.
Block pinched(uint32_t seed) {
  Block b = grid(10, seed, 6.0f);
  std::mt19937 rng(seed);
  for (int k = 0; k < 14; ++k) {
    const size_t v = rng() % (b.vertex_count() - 1);
    for (size_t c = 0; c < 3; ++c) b.rec[10 * v + c] = b.rec[10 * (v + 1) + c];
  }
  return b;
}

// A hill whose top vertex joins a ring of 70 (more neighbours than a 64-bit
// set holds), inside two rings of grid-like skirt.
Block hub(uint32_t seed) {
  Block b;
  std::mt19937 rng(seed);
  const int n = 70;
  b.add(0, 6, 0);
  for (int ring = 1; ring <= 3; ++ring)
    for (int i = 0; i < n; ++i) {
      const float a = 6.2831853f * (float(i) + 0.5f * float(ring % 2)) / n, r = 4.0f * float(ring);
      b.add(r * std::cos(a), 6.0f - 1.5f * float(ring) + float(rng() % 5) * 0.1f, r * std::sin(a));
    }
  const auto at = [&](int ring, int i) { return uint16_t(1 + (ring - 1) * n + (i % n)); };
  for (int i = 0; i < n; ++i) b.tris.insert(b.tris.end(), {0, at(1, i + 1), at(1, i)});
  for (int ring = 1; ring < 3; ++ring)
    for (int i = 0; i < n; ++i)
      b.tris.insert(b.tris.end(), {at(ring, i), at(ring, i + 1), at(ring + 1, i), at(ring, i + 1), at(ring + 1, i + 1),
                                   at(ring + 1, i)});
  return b;
}

std::vector<Block> corpus() {
  std::vector<Block> all;
  for (uint32_t s = 0; s < 3; ++s) all.push_back(pinched(s + 30));
  all.push_back(hub(4));
  for (uint32_t s = 0; s < 5; ++s) all.push_back(grid(8 + 3 * s, s, s == 0 ? 0.0f : 4.0f * s));
  all.push_back(grid(12, 9, 60.0f));  // steep: the 32-unit extent rule bites
  all.push_back(grid(10, 3, 5.0f, 4));
  for (uint32_t s = 0; s < 3; ++s) all.push_back(holey(10 + s, s));
  for (uint32_t s = 0; s < 3; ++s) all.push_back(box(3 + s, s));
  for (uint32_t s = 0; s < 20; ++s) all.push_back(soup(s + 50));
  return all;
}

TerrainLodParams params_for(const Block& b, uint32_t variant) {
  TerrainLodParams p;
  int f = int(b.vertex_count());
  p.vertex_end = std::min(f / 3 + 1, int(0.8 * f));
  p.vertex_start = f - (f - p.vertex_end) / 16;
  p.threshold_start = variant % 2 ? 0.0992f : 0.5f;
  p.threshold_end = variant % 2 ? 0.4f : 3.0f;
  return p;
}

TerrainLods run(const Block& b, const TerrainLodParams& p) {
  return build_terrain_lods(b.rec.data(), b.vertex_count(), 10 * sizeof(float), b.tris.data(), b.triangle_count(), p);
}

std::set<uint16_t> border(const Block& b) {
  std::map<std::pair<int, int>, int> uses;
  for (size_t t = 0; t < b.triangle_count(); ++t)
    for (int e = 0; e < 3; ++e) {
      int a = b.tris[3 * t + e], c = b.tris[3 * t + (e + 1) % 3];
      if (a != c) ++uses[{std::min(a, c), std::max(a, c)}];
    }
  std::set<uint16_t> out;
  for (auto& [e, n] : uses)
    if (n == 1) out.insert({uint16_t(e.first), uint16_t(e.second)});
  return out;
}

// ---------------------------------------------------------------------------

std::vector<tools::mesh::reference::TerrainSlot> reference_slots(const Block& b, const TerrainLodParams& p) {
  return tools::mesh::reference::terrain_slots(b.rec.data(), b.vertex_count(), 10, b.tris.data(), b.triangle_count(),
                                               p.vertex_start, p.vertex_end, p.threshold_start, p.threshold_end,
                                               p.shape_weight);
}

std::vector<uint32_t> widen(const std::vector<uint16_t>& v) {
  return {v.begin(), v.end()};
}

// Every slot of every corpus block, with and without the eight-lane code,
// equals the reference bit for bit.
TEST(EdgeCollapseReducer, LodSlotsMatchReference) {
  for (bool wide : {true, false}) {
    LaneWidth lanes(wide);
    uint32_t index = 0, reduced = 0;
    for (const Block& b : corpus()) {
      TerrainLodParams p = params_for(b, index);
      TerrainLods fast = run(b, p);
      auto slow = reference_slots(b, p);
      for (int i = 0; i < kTerrainLodCount; ++i) {
        ASSERT_EQ(fast.slots[i].vertex_count, slow[i].vertex_count) << "block " << index << " slot " << i;
        std::vector<uint32_t> back;
        for (uint16_t v : fast.slots[i].indices) back.push_back(fast.vertex_order.at(v));
        ASSERT_EQ(back, slow[i].faces) << "block " << index << " slot " << i;
      }
      reduced += fast.slots[15].vertex_count < b.vertex_count() * 3 / 4;
      ++index;
    }
    EXPECT_GT(reduced, index / 2);  // the comparison is not over untouched meshes
  }
}

// Reductions by count and by threshold, through both index widths and with
// and without the eight-lane code, equal the reference bit for bit.
TEST(EdgeCollapseReducer, ReductionStepsMatchReference) {
  for (bool wide : {true, false}) {
    LaneWidth lanes(wide);
    uint32_t index = 0;
    for (const Block& b : corpus()) {
      const std::vector<uint32_t> tris32 = widen(b.tris);
      EdgeCollapseReducer fast(b.rec.data(), b.vertex_count(), 40, b.tris.data(), b.triangle_count());
      EdgeCollapseReducer fast32(b.rec.data(), b.vertex_count(), 40, tris32.data(), b.triangle_count());
      tools::mesh::reference::EdgeCollapseReducer slow(b.rec.data(), b.vertex_count(), 10, b.tris.data(),
                                                       b.triangle_count(), 2.0f);
      for (size_t target : {b.vertex_count() * 3 / 4, b.vertex_count() / 2, size_t{3}, size_t{0}}) {
        fast.reduce_to(target);
        fast32.reduce_to(target);
        slow.reduce_to(target);
        ASSERT_EQ(widen(fast.read_triangles()), slow.triangles()) << "block " << index << " target " << target;
        ASSERT_EQ(fast32.read_triangles32(), slow.triangles()) << "block " << index << " target " << target;
        fast.reduce_by_threshold(target + 40, 0.3f);
        fast32.reduce_by_threshold(target + 40, 0.3f);
        slow.reduce_by_threshold(target + 40, 0.3f);
        ASSERT_EQ(widen(fast.read_triangles()), slow.triangles()) << "block " << index << " threshold after " << target;
        ASSERT_EQ(fast32.read_triangles32(), slow.triangles()) << "block " << index << " threshold after " << target;
        ASSERT_EQ(fast.vertex_count(), slow.vertex_count());
      }
      ++index;
    }
  }
}

// A terrain of more than 65 536 vertices, which only 32-bit indices can
// describe, against the reference; its rows past vertex 65 535 are flat, so
// they are among the first to go.
TEST(EdgeCollapseReducer, LargeMeshMatchesReference) {
  const int n = 260;  // 261 x 261 points
  std::vector<float> rec;
  for (int z = 0; z <= n; ++z)
    for (int x = 0; x <= n; ++x) {
      const float y = z * (n + 1) + x < 64000 ? fractal(float(x), float(z), 5, 6.0f) : 0.0f;
      rec.insert(rec.end(), {float(x), y, float(z), 0, 0.5f, 0, 0, 0, 0, 0});
    }
  const auto id = [&](int x, int z) { return uint32_t(z * (n + 1) + x); };
  std::vector<uint32_t> tris;
  for (int z = 0; z < n; ++z)
    for (int x = 0; x < n; ++x)
      tris.insert(tris.end(), {id(x, z), id(x + 1, z + 1), id(x + 1, z), id(x, z), id(x, z + 1), id(x + 1, z + 1)});
  const size_t count = rec.size() / 10, t = tris.size() / 3;
  ASSERT_GT(count, 65536u);
  EdgeCollapseReducer fast(rec.data(), count, 40, tris.data(), t);
  tools::mesh::reference::EdgeCollapseReducer slow(rec.data(), count, 10, tris.data(), t, 2.0f);
  for (size_t target : {count - 150, count - 400}) {
    fast.reduce_to(target);
    slow.reduce_to(target);
    ASSERT_EQ(fast.read_triangles32(), slow.triangles()) << "target " << target;
  }
  size_t high_gone = 0;
  for (size_t v = 65536; v < count; ++v) high_gone += !fast.is_live(v);
  EXPECT_GT(high_gone, 10u);
}

TEST(EdgeCollapseReducer, NoFaceEverRefersToARemovedVertex) {
  // Reducing a block to nothing ends when only vertices without a permitted
  // collapse (the border) are left; they and their faces stay.
  for (const Block& b : corpus()) {
    EdgeCollapseReducer r(b.rec.data(), b.vertex_count(), 40, b.tris.data(), b.triangle_count());
    r.reduce_to(0);
    for (uint16_t v : r.read_triangles()) ASSERT_TRUE(r.is_live(v));
    r.reduce_by_threshold(0, 1e30f);
    for (uint16_t v : r.read_triangles()) ASSERT_TRUE(r.is_live(v));
  }
  Block g = grid(6, 1, 3.0f);
  EdgeCollapseReducer r(g.rec.data(), g.vertex_count(), 40, g.tris.data(), g.triangle_count());
  r.reduce_to(0);
  EXPECT_EQ(r.vertex_count(), 24u);  // the border of a 7 x 7 grid
  EXPECT_GT(r.triangle_count(), 0u);
}

// The two reducers report their working mesh through the same operations:
// the triangles in both index widths, their count, the live vertices and
// their count agree with each other at every step of a reduction.
TEST(Reducers, BothReportTheirMeshAlike) {
  struct Reduced {
    std::vector<uint16_t> tris;
    std::vector<uint32_t> tris32;
    size_t triangles, vertices;
    std::vector<bool> live;
  };
  const auto report = [](const auto& r, size_t vertex_count) {
    Reduced out{r.read_triangles(), r.read_triangles32(), r.triangle_count(), r.vertex_count(), {}};
    for (size_t v = 0; v < vertex_count; ++v) out.live.push_back(r.is_live(v));
    return out;
  };
  const Block g = grid(12, 3, 5.0f);
  const size_t n = g.vertex_count();
  tools::mesh::ProgressiveReducer progressive;
  ASSERT_EQ(progressive.load(g.rec.data(), n, 40, g.tris.data(), g.triangle_count()), n);
  EdgeCollapseReducer terrain(g.rec.data(), n, 40, g.tris.data(), g.triangle_count());
  const struct {
    const char* what;
    std::function<Reduced(size_t)> reduce_to;
  } reducers[] = {
      {"progressive",
       [&](size_t t) {
         progressive.reduce_to(t);
         return report(progressive, n);
       }},
      {"terrain",
       [&](size_t t) {
         terrain.reduce_to(t);
         return report(terrain, n);
       }},
  };
  for (const auto& reducer : reducers) {
    size_t last_triangles = g.triangle_count();
    for (size_t target : {n, n - 1, n - 20, n / 2, size_t{0}}) {
      const Reduced r = reducer.reduce_to(target);
      EXPECT_EQ(r.tris.size(), 3 * r.triangles) << reducer.what << " " << target;
      EXPECT_EQ(widen(r.tris), r.tris32) << reducer.what << " " << target;
      EXPECT_EQ(static_cast<size_t>(std::count(r.live.begin(), r.live.end(), true)), r.vertices)
          << reducer.what << " " << target;
      for (uint32_t v : r.tris32) ASSERT_TRUE(r.live[v]) << reducer.what << " " << target;
      EXPECT_LE(r.triangles, last_triangles) << reducer.what << " " << target;
      if (target == n) {
        EXPECT_EQ(r.tris, g.tris) << reducer.what;
      } else if (target > 0) {
        EXPECT_LE(r.vertices, target) << reducer.what << " " << target;
      }
      last_triangles = r.triangles;
    }
  }
}

TEST(EdgeCollapseReducer, TargetAtOrAboveCountChangesNothing) {
  Block g = grid(9, 2, 6.0f);
  EdgeCollapseReducer r(g.rec.data(), g.vertex_count(), 40, g.tris.data(), g.triangle_count());
  r.reduce_to(g.vertex_count());
  r.reduce_to(g.vertex_count() + 10);
  EXPECT_EQ(r.vertex_count(), g.vertex_count());
  EXPECT_EQ(r.read_triangles(), g.tris);
}

TEST(EdgeCollapseReducer, LeafSchedule) {
  // A leaf block: a = 332, d = 268, thresholds 0.8 x (0.0005 h + 0.06) and 0.8 x (0.001 h + 0.3), h = 128.
  TerrainLodParams p{332, 268, 0.8f * (0.0005f * 128 + 0.06f), 0.8f * (0.001f * 128 + 0.3f)};
  auto s = terrain_lod_schedule(p);
  EXPECT_EQ(s.targets[0], 332u);
  EXPECT_EQ(s.targets[1], 327u);  // 332 - 4.2666669 truncated
  EXPECT_EQ(s.targets[15], 268u);
  EXPECT_FLOAT_EQ(s.thresholds[0], 0.0992f);
  EXPECT_NEAR(s.thresholds[15], 0.3424f, 1e-5);
  for (int i = 1; i < 16; ++i) EXPECT_LE(s.targets[i], s.targets[i - 1]);
}

TEST(EdgeCollapseReducer, RenumberedSlotsUsePrefixes) {
  uint32_t index = 0;
  for (const Block& b : corpus()) {
    TerrainLods l = run(b, params_for(b, index++));
    EXPECT_EQ(l.vertex_order.size(), l.slots[0].vertex_count);
    EXPECT_EQ(std::set<uint32_t>(l.vertex_order.begin(), l.vertex_order.end()).size(), l.vertex_order.size());
    for (int i = 0; i < kTerrainLodCount; ++i) {
      for (uint16_t v : l.slots[i].indices) {
        ASSERT_LT(v, l.slots[i].vertex_count) << "slot " << i;
      }
      if (i > 0) {
        EXPECT_LE(l.slots[i].vertex_count, l.slots[i - 1].vertex_count);
      }
    }
    // First appearances walking from the coarsest slot number 0, 1, 2, ...
    uint32_t next = 0;
    for (int i = kTerrainLodCount - 1; i >= 0; --i)
      for (uint16_t v : l.slots[i].indices) {
        ASSERT_LE(v, next);
        if (v == next) ++next;
      }
  }
}

TEST(EdgeCollapseReducer, BorderVerticesNeverMove) {
  for (uint32_t s = 0; s < 4; ++s) {
    Block g = grid(16, s, 8.0f * s);
    TerrainLodParams p{200, 60, 0.5f, 5.0f};
    TerrainLods l = run(g, p);
    std::set<uint32_t> coarsest;
    for (uint16_t v : l.slots[15].indices) coarsest.insert(l.vertex_order[v]);
    for (uint16_t b : border(g)) EXPECT_TRUE(coarsest.count(b)) << "border vertex " << b;
  }
}

TEST(EdgeCollapseReducer, FlatBlockStopsAtThresholdAndTenth) {
  Block g = grid(20, 0, 0.0f);  // 441 vertices, 80 on the border
  // A tiny threshold keeps every slot at its vertex target.
  TerrainLods exact = run(g, {400, 300, 0.001f, 0.002f});
  auto s = terrain_lod_schedule({400, 300, 0.001f, 0.002f});
  for (int i = 0; i < kTerrainLodCount; ++i) EXPECT_EQ(exact.slots[i].vertex_count, s.targets[i]);
  // A generous threshold keeps collapsing below the target, down to the
  // border (every interior collapse costs 0.005 x length on flat ground).
  TerrainLods deep = run(g, {400, 300, 10.0f, 10.0f});
  EXPECT_EQ(deep.slots[0].vertex_count, 80u);
  // ... but never below a tenth of the target: a closed surface has no
  // border to stop it.
  Block closed = box(6, 1);  // 218 vertices
  TerrainLods tenth = run(closed, {200, 190, 100.0f, 100.0f});
  EXPECT_EQ(tenth.slots[0].vertex_count, 20u);   // a tenth of 200
  EXPECT_EQ(tenth.slots[15].vertex_count, 19u);  // a tenth of 190
}

TEST(EdgeCollapseReducer, NoTriangleSpansMoreThan32Units) {
  Block g = grid(24, 0, 0.0f, 3);  // 72 units wide
  TerrainLods l = run(g, {600, 0, 100.0f, 100.0f});
  EXPECT_GT(l.slots[15].vertex_count, 96u);  // the extent rule keeps interior vertices
  for (const auto& slot : l.slots)
    for (size_t t = 0; t < slot.indices.size(); t += 3)
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
          uint32_t a = l.vertex_order[slot.indices[t + i]], c = l.vertex_order[slot.indices[t + j]];
          ASSERT_LE(std::fabs(g.x(a) - g.x(c)), 32.0f);
          ASSERT_LE(std::fabs(g.z(a) - g.z(c)), 32.0f);
        }
}

TEST(EdgeCollapseReducer, UnusedVertexGoesFirst) {
  Block g = grid(5, 1, 2.0f);
  g.add(40, 0, 40);  // no face uses it
  EdgeCollapseReducer r(g.rec.data(), g.vertex_count(), 40, g.tris.data(), g.triangle_count());
  r.reduce_to(g.vertex_count() - 1);
  EXPECT_FALSE(r.is_live(g.vertex_count() - 1));
  EXPECT_EQ(r.read_triangles(), g.tris);
}

// Coordinates that are not numbers give costs that are not numbers; the
// reductions still end, and no face is left with a removed corner. Records
// too short to hold x, y and z cannot be read: nothing is loaded.
TEST(EdgeCollapseReducer, UnusableInput) {
  for (float bad : {std::nanf(""), INFINITY}) {
    Block g = grid(12, 3, 5.0f);
    for (size_t v = 0; v < g.vertex_count(); v += 7) g.rec[10 * v + 1] = bad;
    EdgeCollapseReducer r(g.rec.data(), g.vertex_count(), 40, g.tris.data(), g.triangle_count());
    r.reduce_to(0);
    r.reduce_by_threshold(0, 1e30f);
    for (uint16_t v : r.read_triangles()) ASSERT_TRUE(r.is_live(v));
  }
  Block g = grid(4, 1, 2.0f);
  EdgeCollapseReducer r(g.rec.data(), g.vertex_count(), 8, g.tris.data(), g.triangle_count());
  EXPECT_EQ(r.vertex_count(), 0u);
  EXPECT_EQ(r.triangle_count(), 0u);
  const TerrainLods l =
      build_terrain_lods(g.rec.data(), g.vertex_count(), 8, g.tris.data(), g.triangle_count(), {20, 10, 1.0f, 1.0f});
  EXPECT_TRUE(l.vertex_order.empty());
}

}  // namespace
