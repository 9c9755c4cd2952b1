#pragma once
// Straightforward implementations of the two edge-collapse reducers, used to
// check the fast ones bit for bit (tests) and to measure how much faster they
// are (benchmark): plain ordered lists, linear searches and a full scan of
// the vertex list for the next vertex to collapse.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tools::mesh::reference {

struct V3 {
  float x, y, z;
};
inline V3 sub(V3 a, V3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline float dot(V3 a, V3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
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

// Vertex and triangle lists shared by both reducers.
struct Lists {
  struct Vert {
    V3 p;
    std::vector<int> nb, fc;
    float cost = 0, secondary = 0;
    int target = -1;
  };
  struct Tri {
    int v[3];
    V3 n;
    bool holds(int a) const { return v[0] == a || v[1] == a || v[2] == a; }
  };
  std::vector<Vert> vs;  // by input index
  std::vector<Tri> ts;   // by creation
  std::vector<int> vl;   // live vertex list
  std::vector<int> tl;   // live triangle list

  // `stride` counts floats; triangles naming a vertex beyond the count are
  // left out.
  template <class Index, class NormalFn>
  void build(const float* rec, size_t count, size_t stride, const Index* tris, size_t tri_count, NormalFn normal) {
    vs.assign(count, {});
    for (size_t i = 0; i < count; ++i) {
      vs[i].p = {rec[stride * i], rec[stride * i + 1], rec[stride * i + 2]};
      vl.push_back(int(i));
    }
    for (size_t t = 0; t < tri_count; ++t) {
      const Index* c = tris + 3 * t;
      if (c[0] >= count || c[1] >= count || c[2] >= count) continue;
      Tri tr{{int(c[0]), int(c[1]), int(c[2])}, {}};
      tr.n = normal(vs[tr.v[0]].p, vs[tr.v[1]].p, vs[tr.v[2]].p);
      int id = int(ts.size());
      ts.push_back(tr);
      tl.push_back(id);
      for (int a : tr.v)
        if (!has(vs[a].fc, id)) vs[a].fc.push_back(id);
      join(id);
    }
  }
  void join(int t) {
    for (int a : ts[t].v)
      for (int b : ts[t].v)
        if (a != b && !has(vs[a].nb, b)) vs[a].nb.push_back(b);
  }
  int shared(int a, int b) const {
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
  void delete_tri(int t) {
    drop(tl, t);
    for (int a : ts[t].v) drop(vs[a].fc, t);
    for (int e = 0; e < 3; ++e) part_if_apart(ts[t].v[e], ts[t].v[(e + 1) % 3]);
  }
  void remove(int u) {
    for (int w : vs[u].nb) drop(vs[w].nb, u);
    vs[u].nb.clear();
    drop(vl, u);
  }
  // Moves u onto v and returns u's former neighbours.
  template <class NormalFn>
  std::vector<int> collapse(int u, int v, NormalFn normal) {
    std::vector<int> nb = vs[u].nb;
    for (int i = int(vs[u].fc.size()) - 1; i >= 0; --i)
      if (ts[vs[u].fc[i]].holds(v)) delete_tri(vs[u].fc[i]);
    for (int i = int(vs[u].fc.size()) - 1; i >= 0; --i) {
      int t = vs[u].fc[i];
      for (int& a : ts[t].v)
        if (a == u) a = v;
      vs[u].fc.erase(vs[u].fc.begin() + i);
      if (!has(vs[v].fc, t)) vs[v].fc.push_back(t);
      for (int a : ts[t].v) part_if_apart(a, u);
      join(t);
      ts[t].n = normal(vs[ts[t].v[0]].p, vs[ts[t].v[1]].p, vs[ts[t].v[2]].p);
    }
    remove(u);
    return nb;
  }
  std::vector<uint32_t> triangles() const {
    std::vector<uint32_t> out;
    for (int t : tl)
      for (int a : ts[t].v) out.push_back(uint32_t(a));
    return out;
  }
};

// The model exporter's progressive reducer.
class ProgressiveReducer {
 public:
  template <class Index>
  void load(const float* rec, size_t count, size_t stride, const Index* tris, size_t tri_count) {
    m_ = {};
    m_.build(rec, count, stride, tris, tri_count, tri_normal);
    for (int v : m_.vl) vertex_cost(v);
  }
  void reduce_to(size_t target) {
    int fails = 0;
    while (m_.vl.size() > target && fails < 10) {
      int u = next();
      if (u < 0 || m_.vs[u].target < 0) {
        ++fails;
        continue;
      }
      for (int w : m_.collapse(u, m_.vs[u].target, tri_normal)) vertex_cost(w);
    }
  }
  std::vector<uint32_t> triangles() const { return m_.triangles(); }
  size_t vertex_count() const { return m_.vl.size(); }

 private:
  static V3 norm(V3 a) {
    float l = std::sqrt(dot(a, a));
    if (l == 0.0f) l = 0.1f;
    return {a.x / l, a.y / l, a.z / l};
  }
  static V3 tri_normal(V3 a, V3 b, V3 c) { return norm(cross(sub(b, a), sub(c, b))); }
  static float max_cos(V3 a, V3 b, V3 c) {
    V3 p[3] = {a, b, c};
    float best = 0;
    for (int i = 0; i < 3; ++i) {
      float cs = dot(norm(sub(p[(i + 1) % 3], p[i])), norm(sub(p[(i + 2) % 3], p[i])));
      if (i == 0 || cs > best) best = cs;
    }
    return best;
  }
  float cost(int u, int v) const {
    const auto& vs = m_.vs;
    const auto& ts = m_.ts;
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
      if (m_.shared(u, w) == 1) return 999999.0f;
    return c * l;
  }
  void vertex_cost(int u) {
    auto& x = m_.vs[u];
    x.target = -1;
    if (x.nb.empty()) {
      x.cost = -0.01f;
      return;
    }
    x.cost = 1000000.0f;
    for (int v : std::vector<int>(x.nb)) {
      float c = cost(u, v);
      if (c < m_.vs[u].cost) {
        m_.vs[u].cost = c;
        m_.vs[u].target = v;
      }
    }
  }
  int next() const {
    int best = -1;
    for (int v : m_.vl)
      if (m_.vs[v].cost < 900000.0f && (best < 0 || m_.vs[v].cost <= m_.vs[best].cost)) best = v;
    return best;
  }

  Lists m_;
};

// The terrain generator's EdgeCollapseReducer.
class EdgeCollapseReducer {
 public:
  template <class Index>
  EdgeCollapseReducer(const float* rec, size_t count, size_t stride, const Index* tris, size_t tri_count, float w)
      : w_(w) {
    m_.build(rec, count, stride, tris, tri_count, tri_normal);
    for (int v : m_.vl) choose(v);
  }
  void reduce_to(size_t target) {
    while (m_.vl.size() > target) {
      int u = cheapest();
      if (u < 0 || !step(u)) break;
    }
  }
  void reduce_by_threshold(size_t target, float g) {
    int fails = 0;
    while (m_.vl.size() > size_t(0.1 * double(target))) {
      int u = cheapest();
      if (u < 0 || m_.vs[u].secondary > g) break;
      if (!step(u) && ++fails >= 10) break;
    }
  }
  std::vector<uint32_t> triangles() const { return m_.triangles(); }
  size_t vertex_count() const { return m_.vl.size(); }

 private:
  static V3 norm(V3 a) {
    float l = std::sqrt(dot(a, a));
    return l == 0.0f ? a : V3{a.x / l, a.y / l, a.z / l};
  }
  static V3 tri_normal(V3 a, V3 b, V3 c) { return norm(cross(sub(b, a), sub(c, b))); }
  static float cube_max_cos(V3 a, V3 b, V3 c) {
    V3 p[3] = {{a.x, a.y * 0.25f, a.z}, {b.x, b.y * 0.25f, b.z}, {c.x, c.y * 0.25f, c.z}};
    float best = 0;
    for (int i = 0; i < 3; ++i) {
      float cs = dot(norm(sub(p[(i + 1) % 3], p[i])), norm(sub(p[(i + 2) % 3], p[i])));
      if (i == 0 || cs > best) best = cs;
    }
    return best * best * best;
  }
  std::pair<float, float> cost(int u, int v) const {
    const auto& vs = m_.vs;
    const auto& fs = m_.ts;
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
      float t = w_ * (cube_max_cos(q[0], q[1], q[2]) - cube_max_cos(p[0], p[1], p[2])) + 1;
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
      if (m_.shared(u, n) == 1) factor = 1e10f;
    return {factor * len, curv * len};
  }
  void choose(int u) {
    auto& x = m_.vs[u];
    x.target = -1;
    if (x.nb.empty()) {
      x.cost = -0.01f;
      x.secondary = 0;
      return;
    }
    x.cost = x.secondary = 1000000.0f;
    for (int v : std::vector<int>(x.nb)) {
      auto [c, s] = cost(u, v);
      if (c < m_.vs[u].cost) {
        m_.vs[u].cost = c;
        m_.vs[u].secondary = s;
        m_.vs[u].target = v;
      }
    }
  }
  int cheapest() const {
    int best = -1;
    for (int v : m_.vl)
      if (best < 0 || m_.vs[v].cost <= m_.vs[best].cost) best = v;
    return best;
  }
  // Returns false when the cheapest vertex can neither collapse nor go.
  bool step(int u) {
    if (m_.vs[u].target >= 0) {
      for (int w : m_.collapse(u, m_.vs[u].target, tri_normal)) choose(w);
    } else if (m_.vs[u].nb.empty()) {
      while (!m_.vs[u].fc.empty()) m_.delete_tri(m_.vs[u].fc.back());
      m_.remove(u);
    } else {
      return false;
    }
    return true;
  }

  Lists m_;
  float w_;
};

struct TerrainSlot {
  std::vector<uint32_t> faces;  // original vertex indices
  size_t vertex_count;
};

// The 16 slots of a terrain block, not renumbered: vertex target from
// `start` to `end`, threshold from `c_start` to `c_end`.
template <class Index>
std::vector<TerrainSlot> terrain_slots(const float* rec, size_t count, size_t stride, const Index* tris,
                                       size_t tri_count, int start, int end, float c_start, float c_end,
                                       float w = 2.0f) {
  EdgeCollapseReducer r(rec, count, stride, tris, tri_count, w);
  std::vector<TerrainSlot> out;
  for (int i = 0; i < 16; ++i) {
    size_t t = size_t(std::trunc(float(start) - float(i) * (float(start - end) * 0.06666667f)));
    float c = c_start - float(i) * ((c_start - c_end) * 0.06666667f);
    r.reduce_to(t);
    r.reduce_by_threshold(t, c);
    out.push_back({r.triangles(), r.vertex_count()});
  }
  return out;
}

}  // namespace tools::mesh::reference
