#include "orvo/mesh/edge_collapse_reducer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace {

using orvo::mesh::build_terrain_lods;
using orvo::mesh::EdgeCollapseReducer;
using orvo::mesh::kTerrainLodCount;
using orvo::mesh::terrain_lod_schedule;
using orvo::mesh::TerrainLodParams;
using orvo::mesh::TerrainLods;

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
// Reference: the reducer as described, with ordered lists, linear searches and
// a full scan for the cheapest vertex.
namespace ref {

struct V3 {
  float x, y, z;
};
V3 sub(V3 a, V3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float dot(V3 a, V3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3 norm(V3 a) {
  float l = std::sqrt(dot(a, a));
  return l == 0.0f ? a : V3{a.x / l, a.y / l, a.z / l};
}
V3 tri_normal(V3 a, V3 b, V3 c) {
  return norm(cross(sub(b, a), sub(c, b)));
}
float cube_max_cos(V3 a, V3 b, V3 c) {
  V3 p[3] = {{a.x, a.y * 0.25f, a.z}, {b.x, b.y * 0.25f, b.z}, {c.x, c.y * 0.25f, c.z}};
  float best = 0;
  for (int i = 0; i < 3; ++i) {
    float cs = dot(norm(sub(p[(i + 1) % 3], p[i])), norm(sub(p[(i + 2) % 3], p[i])));
    if (i == 0 || cs > best) best = cs;
  }
  return best * best * best;
}

template <class T>
bool has(const std::vector<T>& l, T a) {
  return std::find(l.begin(), l.end(), a) != l.end();
}
template <class T>
void drop(std::vector<T>& l, T a) {
  auto it = std::find(l.begin(), l.end(), a);
  if (it != l.end()) l.erase(it);
}

struct Vert {
  V3 p;
  std::vector<int> nb, fc;
  float cost = 0, secondary = 0;
  int target = -1;
};
struct Face {
  int v[3];
  V3 n;
  bool holds(int a) const { return v[0] == a || v[1] == a || v[2] == a; }
};

struct Reducer {
  std::vector<Vert> vs;
  std::vector<Face> fs;
  std::vector<int> vl, fl;  // live vertex and face lists
  float w = 2.0f;

  explicit Reducer(const Block& b) {
    vs.resize(b.vertex_count());
    for (size_t i = 0; i < vs.size(); ++i) {
      vs[i].p = {b.x(i), b.y(i), b.z(i)};
      vl.push_back(int(i));
    }
    for (size_t t = 0; t < b.triangle_count(); ++t) {
      Face f{{b.tris[3 * t], b.tris[3 * t + 1], b.tris[3 * t + 2]}, {}};
      f.n = tri_normal(vs[f.v[0]].p, vs[f.v[1]].p, vs[f.v[2]].p);
      int id = int(fs.size());
      fs.push_back(f);
      fl.push_back(id);
      for (int a : f.v)
        if (!has(vs[a].fc, id)) vs[a].fc.push_back(id);
      join(id);
    }
    for (int v : vl) choose(v);
  }
  void join(int t) {
    for (int a : fs[t].v)
      for (int b : fs[t].v)
        if (a != b && !has(vs[a].nb, b)) vs[a].nb.push_back(b);
  }
  int shared(int a, int b) {
    int n = 0;
    for (int t : vs[a].fc) n += fs[t].holds(b);
    return n;
  }
  void part_if_apart(int a, int b) {
    if (a != b && shared(a, b) == 0) {
      drop(vs[a].nb, b);
      drop(vs[b].nb, a);
    }
  }
  std::pair<float, float> cost(int u, int v) {
    V3 d = sub(vs[v].p, vs[u].p);
    float len = std::sqrt(dot(d, d));
    float curv = 0.005f;
    for (int f : vs[u].fc) {
      float m = 1;
      for (int g : vs[u].fc)
        if (fs[g].holds(v)) m = std::min(m, (1 - dot(fs[f].n, fs[g].n)) / 2);
      curv = std::max(curv, m);
    }
    float sum = 0, agree = 1;
    int count = 0;
    for (int f : vs[u].fc) {
      if (fs[f].holds(v)) continue;
      V3 p[3], q[3];
      for (int k = 0; k < 3; ++k) {
        p[k] = vs[fs[f].v[k]].p;
        q[k] = fs[f].v[k] == u ? vs[v].p : p[k];
      }
      float t = w * (cube_max_cos(q[0], q[1], q[2]) - cube_max_cos(p[0], p[1], p[2])) + 1;
      sum += t * t * t;
      ++count;
      agree = std::min(agree, dot(tri_normal(q[0], q[1], q[2]), fs[f].n));
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
          if (std::fabs(q[i].x - q[j].x) > 32 || std::fabs(q[i].y - q[j].y) > 32 || std::fabs(q[i].z - q[j].z) > 32)
            return {1e10f, 1e9f};
    }
    float shape = count ? sum / float(count) : 1;
    float factor = agree >= 0.5f ? shape * curv : 1;
    for (int n : vs[u].nb)
      if (shared(u, n) == 1) factor = 1e10f;
    return {factor * len, curv * len};
  }
  void choose(int u) {
    Vert& x = vs[u];
    x.target = -1;
    if (x.nb.empty()) {
      x.cost = -0.01f;
      x.secondary = 0;
      return;
    }
    x.cost = x.secondary = 1000000.0f;
    for (int v : std::vector<int>(x.nb)) {
      auto [c, s] = cost(u, v);
      if (c < vs[u].cost) {
        vs[u].cost = c;
        vs[u].secondary = s;
        vs[u].target = v;
      }
    }
  }
  int cheapest() {
    int best = -1;
    for (int v : vl)
      if (best < 0 || vs[v].cost <= vs[best].cost) best = v;
    return best;
  }
  void delete_face(int t) {
    drop(fl, t);
    for (int a : fs[t].v) drop(vs[a].fc, t);
    for (int e = 0; e < 3; ++e) part_if_apart(fs[t].v[e], fs[t].v[(e + 1) % 3]);
  }
  void remove(int u) {
    for (int n : vs[u].nb) drop(vs[n].nb, u);
    vs[u].nb.clear();
    drop(vl, u);
  }
  void collapse(int u) {
    int v = vs[u].target;
    std::vector<int> nb = vs[u].nb;
    for (int i = int(vs[u].fc.size()) - 1; i >= 0; --i)
      if (fs[vs[u].fc[i]].holds(v)) delete_face(vs[u].fc[i]);
    for (int i = int(vs[u].fc.size()) - 1; i >= 0; --i) {
      int t = vs[u].fc[i];
      for (int& a : fs[t].v)
        if (a == u) a = v;
      vs[u].fc.erase(vs[u].fc.begin() + i);
      if (!has(vs[v].fc, t)) vs[v].fc.push_back(t);
      for (int a : fs[t].v) part_if_apart(a, u);
      join(t);
      fs[t].n = tri_normal(vs[fs[t].v[0]].p, vs[fs[t].v[1]].p, vs[fs[t].v[2]].p);
    }
    remove(u);
    for (int n : nb) choose(n);
  }
  // Returns false when the cheapest vertex can neither collapse nor go.
  bool step(int u) {
    if (vs[u].target >= 0) {
      collapse(u);
    } else if (vs[u].nb.empty()) {
      while (!vs[u].fc.empty()) delete_face(vs[u].fc.back());
      remove(u);
    } else {
      return false;
    }
    return true;
  }
  void reduce_to(size_t target) {
    while (vl.size() > target) {
      int u = cheapest();
      if (u < 0 || !step(u)) break;
    }
  }
  void reduce_by_threshold(size_t target, float g) {
    int fails = 0;
    while (vl.size() > size_t(0.1 * double(target))) {
      int u = cheapest();
      if (u < 0 || vs[u].secondary > g) break;
      if (!step(u) && ++fails >= 10) break;
    }
  }
  std::vector<uint16_t> faces() const {
    std::vector<uint16_t> out;
    for (int t : fl)
      for (int a : fs[t].v) out.push_back(uint16_t(a));
    return out;
  }
};

// The 16 slots, unrenumbered, with the vertex count of each.
std::vector<std::pair<std::vector<uint16_t>, size_t>> lods(const Block& b, const TerrainLodParams& p) {
  Reducer r(b);
  r.w = p.shape_weight;
  std::vector<std::pair<std::vector<uint16_t>, size_t>> out;
  for (int i = 0; i < 16; ++i) {
    size_t t =
        size_t(std::trunc(float(p.vertex_start) - float(i) * (float(p.vertex_start - p.vertex_end) * 0.06666667f)));
    float c = p.threshold_start - float(i) * ((p.threshold_start - p.threshold_end) * 0.06666667f);
    r.reduce_to(t);
    r.reduce_by_threshold(t, c);
    out.push_back({r.faces(), r.vl.size()});
  }
  return out;
}

}  // namespace ref

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

std::vector<Block> corpus() {
  std::vector<Block> all;
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

TEST(EdgeCollapseReducer, LodSlotsMatchReference) {
  uint32_t index = 0, reduced = 0;
  for (const Block& b : corpus()) {
    TerrainLodParams p = params_for(b, index);
    TerrainLods fast = run(b, p);
    auto slow = ref::lods(b, p);
    for (int i = 0; i < kTerrainLodCount; ++i) {
      ASSERT_EQ(fast.slots[i].vertex_count, slow[i].second) << "block " << index << " slot " << i;
      std::vector<uint16_t> back;
      for (uint16_t v : fast.slots[i].indices) back.push_back(uint16_t(fast.vertex_order.at(v)));
      ASSERT_EQ(back, slow[i].first) << "block " << index << " slot " << i;
    }
    reduced += fast.slots[15].vertex_count < b.vertex_count() * 3 / 4;
    ++index;
  }
  EXPECT_GT(reduced, index / 2);  // the comparison is not over untouched meshes
}

TEST(EdgeCollapseReducer, ReductionStepsMatchReference) {
  uint32_t index = 0;
  for (const Block& b : corpus()) {
    EdgeCollapseReducer fast(b.rec.data(), b.vertex_count(), 40, b.tris.data(), b.triangle_count());
    ref::Reducer slow(b);
    for (size_t target : {b.vertex_count() * 3 / 4, b.vertex_count() / 2, size_t{3}, size_t{0}}) {
      fast.reduce_to(target);
      slow.reduce_to(target);
      ASSERT_EQ(fast.faces(), slow.faces()) << "block " << index << " target " << target;
      fast.reduce_by_threshold(target + 40, 0.3f);
      slow.reduce_by_threshold(target + 40, 0.3f);
      ASSERT_EQ(fast.faces(), slow.faces()) << "block " << index << " threshold after " << target;
      ASSERT_EQ(fast.vertex_count(), slow.vl.size());
    }
    ++index;
  }
}

TEST(EdgeCollapseReducer, NoFaceEverRefersToARemovedVertex) {
  // Reducing a block to nothing ends when only vertices without a permitted
  // collapse (the border) are left; they and their faces stay.
  for (const Block& b : corpus()) {
    EdgeCollapseReducer r(b.rec.data(), b.vertex_count(), 40, b.tris.data(), b.triangle_count());
    r.reduce_to(0);
    for (uint16_t v : r.faces()) ASSERT_TRUE(r.is_live(v));
    r.reduce_by_threshold(0, 1e30f);
    for (uint16_t v : r.faces()) ASSERT_TRUE(r.is_live(v));
  }
  Block g = grid(6, 1, 3.0f);
  EdgeCollapseReducer r(g.rec.data(), g.vertex_count(), 40, g.tris.data(), g.triangle_count());
  r.reduce_to(0);
  EXPECT_EQ(r.vertex_count(), 24u);  // the border of a 7 x 7 grid
  EXPECT_GT(r.face_count(), 0u);
}

TEST(EdgeCollapseReducer, TargetAtOrAboveCountChangesNothing) {
  Block g = grid(9, 2, 6.0f);
  EdgeCollapseReducer r(g.rec.data(), g.vertex_count(), 40, g.tris.data(), g.triangle_count());
  r.reduce_to(g.vertex_count());
  r.reduce_to(g.vertex_count() + 10);
  EXPECT_EQ(r.vertex_count(), g.vertex_count());
  EXPECT_EQ(r.faces(), g.tris);
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
  EXPECT_EQ(r.faces(), g.tris);
}

}  // namespace
