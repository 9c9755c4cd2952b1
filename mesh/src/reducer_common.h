#pragma once

#include <array>
// Working mesh shared by the two edge-collapse reducers (the model exporter's
// progressive reducer and the terrain generator's EdgeCollapseReducer).
//
// Both reducers keep the vertex list and the face list in creation order and
// only ever remove from them, so a vertex's position in the list orders the
// same way as its id. The lists are therefore held as arrays indexed by id
// with a live flag, and "the cheapest vertex, the later one among equals" is a
// lazily cleaned binary heap ordered by (cost ascending, id descending).
// Per-vertex neighbour and face lists keep their order exactly (it decides
// ties and the order of float sums), so they stay small ordered arrays.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <queue>
#include <vector>

namespace orvo::mesh::detail {

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

inline Vec3 operator-(const Vec3& a, const Vec3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline float dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float length(const Vec3& a) {
  return std::sqrt(dot(a, a));
}

// What normalising does with a vector whose length is 0.
enum class ZeroLength {
  kDivideByTenth,  // model exporter: divide by 0.1 instead
  kKeep,           // terrain: leave the vector as it is
};

inline Vec3 normalise(const Vec3& a, ZeroLength rule) {
  float len = length(a);
  if (len == 0.0f) {
    if (rule == ZeroLength::kKeep) return a;
    len = 0.1f;
  }
  return {a.x / len, a.y / len, a.z / len};
}

inline Vec3 face_normal(const Vec3& p0, const Vec3& p1, const Vec3& p2, ZeroLength rule) {
  return normalise(cross(p1 - p0, p2 - p1), rule);
}

inline Vec3 negate(const Vec3& a) {
  return {-a.x, -a.y, -a.z};
}

// Largest cosine of a triangle's three corner angles, from unit edge
// directions. Each edge is normalised once: the direction from p[i+1] to p[i]
// is exactly the negation of the one from p[i] to p[i+1].
inline float largest_corner_cosine(const Vec3& p0, const Vec3& p1, const Vec3& p2, ZeroLength rule) {
  const Vec3 e0 = normalise(p1 - p0, rule), e1 = normalise(p2 - p1, rule), e2 = normalise(p0 - p2, rule);
  float best = dot(e0, negate(e2));
  const float c1 = dot(e1, negate(e0));
  if (c1 > best) best = c1;
  const float c2 = dot(e2, negate(e1));
  if (c2 > best) best = c2;
  return best;
}

constexpr uint32_t kNone = 0xffffffffu;

struct CollapseVertex {
  Vec3 pos;
  std::vector<uint32_t> neighbours;
  std::vector<uint32_t> faces;
  float cost = 0;
  float secondary = 0;
  uint32_t target = kNone;
  uint32_t stamp = 0;  // bumped whenever the cost changes; stale heap entries are skipped
  bool alive = true;
};

// A per-face shape measure that the cost compares before and after a move;
// kept with the face so that it is computed once per change of the face.
using ShapeFn = float (*)(const Vec3&, const Vec3&, const Vec3&);

struct CollapseFace {
  uint32_t v[3];
  Vec3 n;
  bool alive = true;
  float shape = 0;
  bool has(uint32_t a) const { return v[0] == a || v[1] == a || v[2] == a; }
};

template <class T>
inline bool contains(const std::vector<T>& list, T a) {
  for (T x : list)
    if (x == a) return true;
  return false;
}

template <class T>
inline void remove_one(std::vector<T>& list, T a) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == a) {
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
}

class CollapseMesh {
 public:
  CollapseMesh(ZeroLength rule, ShapeFn shape) : rule_(rule), shape_(shape) {}

  ZeroLength rule() const { return rule_; }

  // Builds the vertices (first three floats of each record) and the faces in
  // input order. Faces naming a vertex beyond the vertex count are skipped.
  void load(const void* records, size_t vertex_count, size_t stride_bytes, const uint16_t* triangles,
            size_t triangle_count) {
    verts.assign(vertex_count, CollapseVertex{});
    faces.clear();
    faces.reserve(triangle_count);
    const auto* bytes = static_cast<const unsigned char*>(records);
    for (size_t i = 0; i < vertex_count; ++i) {
      float xyz[3];
      std::memcpy(xyz, bytes + i * stride_bytes, sizeof xyz);
      verts[i].pos = {xyz[0], xyz[1], xyz[2]};
    }
    for (size_t t = 0; t < triangle_count; ++t) {
      const uint16_t* c = triangles + 3 * t;
      if (c[0] >= vertex_count || c[1] >= vertex_count || c[2] >= vertex_count) continue;
      CollapseFace f{{c[0], c[1], c[2]}, {}, true};
      const auto id = static_cast<uint32_t>(faces.size());
      refresh(f);
      faces.push_back(f);
      for (int k = 0; k < 3; ++k)
        if (!contains(verts[f.v[k]].faces, id)) verts[f.v[k]].faces.push_back(id);
      link_corners(id);
    }
    live_vertices = vertex_count;
    live_faces = faces.size();
  }

  Vec3 normal_of(const CollapseFace& f) const {
    return face_normal(verts[f.v[0]].pos, verts[f.v[1]].pos, verts[f.v[2]].pos, rule_);
  }

  void refresh(CollapseFace& f) const {
    const Vec3 &a = verts[f.v[0]].pos, &b = verts[f.v[1]].pos, &c = verts[f.v[2]].pos;
    f.n = face_normal(a, b, c, rule_);
    f.shape = shape_(a, b, c);
  }

  // Number of faces of u that also have w as a corner.
  size_t shared_faces(uint32_t u, uint32_t w) const {
    size_t n = 0;
    for (uint32_t f : verts[u].faces)
      if (faces[f].has(w)) ++n;
    return n;
  }

  bool on_border(uint32_t u) const {
    for (uint32_t w : verts[u].neighbours)
      if (shared_faces(u, w) == 1) return true;
    return false;
  }

  // Curvature of collapsing u onto v: the largest, over u's faces F, of the
  // smallest (1 - nF.nS) / 2 over the faces S of u that hold v.
  float curvature(uint32_t u, uint32_t v, float start) const {
    uint32_t small_sides[8];
    std::vector<uint32_t> many_sides;
    uint32_t* sides = small_sides;
    size_t side_count = 0;
    for (uint32_t s : verts[u].faces)
      if (faces[s].has(v)) {
        if (side_count == 8) {
          many_sides.assign(small_sides, small_sides + 8);
          sides = nullptr;
        }
        if (sides) {
          sides[side_count] = s;
        } else {
          many_sides.push_back(s);
        }
        ++side_count;
      }
    const uint32_t* side_list = sides ? sides : many_sides.data();
    float c = start;
    for (uint32_t f : verts[u].faces) {
      float m = 1.0f;
      for (size_t i = 0; i < side_count; ++i) {
        float d = (1.0f - dot(faces[f].n, faces[side_list[i]].n)) / 2.0f;
        if (d < m) m = d;
      }
      if (m > c) c = m;
    }
    return c;
  }

  // Collapses u onto v and returns u's former neighbours in list order.
  std::vector<uint32_t> collapse(uint32_t u, uint32_t v) {
    std::vector<uint32_t> former = verts[u].neighbours;
    auto& uf = verts[u].faces;
    for (size_t i = uf.size(); i-- > 0;) {
      uint32_t f = uf[i];
      if (faces[f].has(v)) delete_face(f);
    }
    for (size_t i = uf.size(); i-- > 0;) {
      uint32_t fid = uf[i];
      CollapseFace& f = faces[fid];
      for (uint32_t& c : f.v)
        if (c == u) c = v;
      uf.erase(uf.begin() + static_cast<std::ptrdiff_t>(i));
      if (!contains(verts[v].faces, fid)) verts[v].faces.push_back(fid);
      for (uint32_t c : f.v) unlink_if_apart(c, u);
      link_corners(fid);
      refresh(f);
    }
    remove_vertex(u);
    return former;
  }

  // Removes u from its neighbours' lists and from the mesh.
  void remove_vertex(uint32_t u) {
    for (uint32_t w : verts[u].neighbours) remove_one(verts[w].neighbours, u);
    verts[u].neighbours.clear();
    verts[u].alive = false;
    ++verts[u].stamp;
    --live_vertices;
  }

  void delete_face(uint32_t fid) {
    CollapseFace& f = faces[fid];
    f.alive = false;
    --live_faces;
    for (uint32_t c : f.v) remove_one(verts[c].faces, fid);
    for (int e = 0; e < 3; ++e) unlink_if_apart(f.v[e], f.v[(e + 1) % 3]);
  }

  std::vector<CollapseVertex> verts;
  std::vector<CollapseFace> faces;
  size_t live_vertices = 0;
  size_t live_faces = 0;

 private:
  void link_corners(uint32_t fid) {
    const CollapseFace& f = faces[fid];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        uint32_t a = f.v[i], b = f.v[j];
        if (a != b && !contains(verts[a].neighbours, b)) verts[a].neighbours.push_back(b);
      }
  }

  void unlink_if_apart(uint32_t a, uint32_t b) {
    if (a == b || shared_faces(a, b) != 0) return;
    remove_one(verts[a].neighbours, b);
    remove_one(verts[b].neighbours, a);
  }

  ZeroLength rule_;
  ShapeFn shape_;
};

// The cheapest live vertex; among equal costs the one with the larger id
// (later in the vertex list).
class CheapestQueue {
 public:
  void push(const CollapseVertex& vx, uint32_t id) { heap_.push({vx.cost, id, vx.stamp}); }

  // The cheapest live vertex, or kNone when none is left.
  uint32_t top(const std::vector<CollapseVertex>& verts) {
    while (!heap_.empty()) {
      const Entry& e = heap_.top();
      if (verts[e.id].alive && verts[e.id].stamp == e.stamp) return e.id;
      heap_.pop();
    }
    return kNone;
  }

  void clear() { heap_ = {}; }

 private:
  struct Entry {
    float cost;
    uint32_t id;
    uint32_t stamp;
  };
  struct After {  // true when a should come out after b
    bool operator()(const Entry& a, const Entry& b) const {
      if (a.cost != b.cost) return a.cost > b.cost;
      return a.id < b.id;
    }
  };
  std::priority_queue<Entry, std::vector<Entry>, After> heap_;
};

// Cost and target of a vertex: the strictly cheapest collapse onto one of its
// neighbours, tried in list order. CostFn(u, v) returns {cost, secondary}.
template <class CostFn>
void choose_target(CollapseMesh& m, uint32_t u, CostFn&& cost_of) {
  CollapseVertex& vx = m.verts[u];
  ++vx.stamp;
  vx.target = kNone;
  if (vx.neighbours.empty()) {
    vx.cost = -0.01f;
    vx.secondary = 0.0f;
    return;
  }
  vx.cost = 1000000.0f;
  vx.secondary = 1000000.0f;
  for (uint32_t v : vx.neighbours) {
    auto [cost, secondary] = cost_of(u, v);
    if (cost < vx.cost) {
      vx.cost = cost;
      vx.secondary = secondary;
      vx.target = v;
    }
  }
}

struct CollapseCost {
  float cost;
  float secondary;
};

// The corners of face `f` once vertex `u` has moved onto `to`: what both
// reducers' collapse costs measure the changed faces by.
inline std::array<Vec3, 3> corners_after_move(const CollapseMesh& m, const CollapseFace& f, uint32_t u, const Vec3& to) {
  std::array<Vec3, 3> after;
  for (int k = 0; k < 3; ++k) after[static_cast<std::size_t>(k)] = f.v[k] == u ? to : m.verts[f.v[k]].pos;
  return after;
}

}  // namespace orvo::mesh::detail
