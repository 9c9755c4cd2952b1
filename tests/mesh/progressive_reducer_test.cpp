#include "orvo/mesh/progressive_reducer.h"

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

using orvo::mesh::ProgressiveReducer;

struct TestMesh {
  std::vector<float> xyz;  // three floats per vertex
  std::vector<uint16_t> tris;
  size_t vertex_count() const { return xyz.size() / 3; }
  size_t triangle_count() const { return tris.size() / 3; }
};

// ---------------------------------------------------------------------------
// Reference: the reducer as described, with plain ordered lists, linear
// searches and a full scan for the next vertex.
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
  if (l == 0.0f) l = 0.1f;
  return {a.x / l, a.y / l, a.z / l};
}
V3 tri_normal(V3 a, V3 b, V3 c) {
  return norm(cross(sub(b, a), sub(c, b)));
}
float max_cos(V3 a, V3 b, V3 c) {
  V3 p[3] = {a, b, c};
  float best = 0;
  for (int i = 0; i < 3; ++i) {
    float cs = dot(norm(sub(p[(i + 1) % 3], p[i])), norm(sub(p[(i + 2) % 3], p[i])));
    if (i == 0 || cs > best) best = cs;
  }
  return best;
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
  float cost = 0;
  int target = -1;
};
struct Tri {
  int v[3];
  V3 n;
  bool holds(int a) const { return v[0] == a || v[1] == a || v[2] == a; }
};

struct Reducer {
  std::vector<Vert> vs;   // by input index
  std::vector<Tri> ts;    // by creation
  std::vector<int> live;  // live vertex list
  std::vector<int> tl;    // live triangle list

  void load(const TestMesh& m) {
    vs.assign(m.vertex_count(), {});
    for (size_t i = 0; i < vs.size(); ++i) {
      vs[i].p = {m.xyz[3 * i], m.xyz[3 * i + 1], m.xyz[3 * i + 2]};
      live.push_back(int(i));
    }
    for (size_t t = 0; t < m.triangle_count(); ++t) {
      Tri tr{{m.tris[3 * t], m.tris[3 * t + 1], m.tris[3 * t + 2]}, {}};
      tr.n = tri_normal(vs[tr.v[0]].p, vs[tr.v[1]].p, vs[tr.v[2]].p);
      int id = int(ts.size());
      ts.push_back(tr);
      tl.push_back(id);
      for (int a : tr.v)
        if (!has(vs[a].fc, id)) vs[a].fc.push_back(id);
      join(id);
    }
    for (int v : live) vertex_cost(v);
  }
  void join(int t) {
    for (int a : ts[t].v)
      for (int b : ts[t].v)
        if (a != b && !has(vs[a].nb, b)) vs[a].nb.push_back(b);
  }
  int shared(int a, int b) {
    int n = 0;
    for (int t : vs[a].fc) n += ts[t].holds(b);
    return n;
  }
  void part_if_apart(int a, int b) {
    if (a != b && shared(a, b) == 0) {
      drop(vs[a].nb, b);
      drop(vs[b].nb, a);
    }
  }
  float cost(int u, int v) {
    float l = std::sqrt(dot(sub(vs[v].p, vs[u].p), sub(vs[v].p, vs[u].p)));
    float c = 0.01f;
    for (int f : vs[u].fc) {
      float m = 1.0f;
      for (int s : vs[u].fc)
        if (ts[s].holds(v)) m = std::min(m, (1.0f - dot(ts[f].n, ts[s].n)) / 2.0f);
      c = std::max(c, m);
    }
    float a = 0.0f, b = 1.0f;
    for (int f : vs[u].fc) {
      if (ts[f].holds(v)) continue;
      V3 p[3], q[3];
      for (int k = 0; k < 3; ++k) {
        p[k] = vs[ts[f].v[k]].p;
        q[k] = ts[f].v[k] == u ? vs[v].p : p[k];
      }
      a = std::max(a, 1.0f + 0.01f * (max_cos(q[0], q[1], q[2]) - max_cos(p[0], p[1], p[2])));
      b = std::min(b, dot(tri_normal(q[0], q[1], q[2]), ts[f].n));
    }
    c = c * a;
    if (b < 0.5f) c = 1.0f;
    for (int w : vs[u].nb)
      if (shared(u, w) == 1) return 999999.0f;
    return c * l;
  }
  void vertex_cost(int u) {
    Vert& x = vs[u];
    x.target = -1;
    if (x.nb.empty()) {
      x.cost = -0.01f;
      return;
    }
    x.cost = 1000000.0f;
    for (int v : std::vector<int>(x.nb)) {
      float c = cost(u, v);
      if (c < vs[u].cost) {
        vs[u].cost = c;
        vs[u].target = v;
      }
    }
  }
  int next() {
    int best = -1;
    for (int v : live)
      if (vs[v].cost < 900000.0f && (best < 0 || vs[v].cost <= vs[best].cost)) best = v;
    return best;
  }
  void collapse(int u, int v) {
    std::vector<int> nb = vs[u].nb;
    for (int i = int(vs[u].fc.size()) - 1; i >= 0; --i) {
      int t = vs[u].fc[i];
      if (!ts[t].holds(v)) continue;
      drop(tl, t);
      for (int a : ts[t].v) drop(vs[a].fc, t);
      for (int e = 0; e < 3; ++e) part_if_apart(ts[t].v[e], ts[t].v[(e + 1) % 3]);
    }
    for (int i = int(vs[u].fc.size()) - 1; i >= 0; --i) {
      int t = vs[u].fc[i];
      for (int& a : ts[t].v)
        if (a == u) a = v;
      vs[u].fc.erase(vs[u].fc.begin() + i);
      if (!has(vs[v].fc, t)) vs[v].fc.push_back(t);
      for (int a : ts[t].v) part_if_apart(a, u);
      join(t);
      ts[t].n = tri_normal(vs[ts[t].v[0]].p, vs[ts[t].v[1]].p, vs[ts[t].v[2]].p);
    }
    for (int w : vs[u].nb) drop(vs[w].nb, u);
    vs[u].nb.clear();
    drop(live, u);
    for (int w : nb) vertex_cost(w);
  }
  void reduce_to(size_t target) {
    int fails = 0;
    while (live.size() > target && fails < 10) {
      int u = next();
      if (u < 0 || vs[u].target < 0) {
        ++fails;
        continue;
      }
      collapse(u, vs[u].target);
    }
  }
  std::vector<uint16_t> triangles() const {
    std::vector<uint16_t> out;
    for (int t : tl)
      for (int a : ts[t].v) out.push_back(uint16_t(a));
    return out;
  }
};

}  // namespace ref

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

std::vector<TestMesh> corpus() {
  std::vector<TestMesh> all;
  for (uint32_t s = 0; s < 6; ++s) all.push_back(grid(9 + s, 7 + 2 * s, s));
  all.push_back(grid(10, 10, 0, true));
  for (uint32_t s = 0; s < 4; ++s) all.push_back(torus(8 + 3 * s, 6 + s, s, s % 2 == 1));
  all.push_back(fan(9, false));
  all.push_back(fan(12, true));
  for (uint32_t s = 0; s < 5; ++s) all.push_back(holey(s + 20));
  for (uint32_t s = 0; s < 25; ++s) all.push_back(random_soup(s + 100));
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

TEST(ProgressiveReducer, MatchesReferenceLevelByLevel) {
  size_t index = 0, reduced = 0;
  for (const TestMesh& m : corpus()) {
    ProgressiveReducer fast;
    ref::Reducer slow;
    load(fast, m);
    slow.load(m);
    size_t n = m.vertex_count();
    for (int level = 1; level <= 16; ++level) {
      size_t target = n - n * level / 16;
      fast.reduce_to(target);
      slow.reduce_to(target);
      ASSERT_EQ(fast.vertex_count(), slow.live.size()) << "mesh " << index << " level " << level;
      ASSERT_EQ(fast.read_triangles(), slow.triangles()) << "mesh " << index << " level " << level;
    }
    reduced += fast.vertex_count() < n * 3 / 4;
    ++index;
  }
  EXPECT_GT(reduced, index / 2);  // the comparison is not over untouched meshes
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
}

}  // namespace
