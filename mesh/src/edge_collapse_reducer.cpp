#include "orvo/mesh/edge_collapse_reducer.h"

#include <cmath>

#include "reducer_common.h"

namespace orvo::mesh {

using detail::CollapseCost;
using detail::CollapseMesh;
using detail::kNone;
using detail::Vec3;

namespace {

constexpr float kStartCurvature = 0.005f;
constexpr float kHeightScale = 0.25f;  // heights count a quarter when judging triangle shape
constexpr float kMaxExtent = 32.0f;
constexpr float kBorderFactor = 1e10f;
constexpr int kMaxFailures = 10;

float flattened_cube(const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 s[3] = {{a.x, a.y * kHeightScale, a.z}, {b.x, b.y * kHeightScale, b.z}, {c.x, c.y * kHeightScale, c.z}};
  // Zero-length edges count as zero vectors.
  float k = detail::largest_corner_cosine(s[0], s[1], s[2], detail::ZeroLength::kKeep);
  return k * k * k;
}

float extent(const std::array<Vec3, 3>& p) {
  float e = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j) {
      const float d[3] = {std::fabs(p[i].x - p[j].x), std::fabs(p[i].y - p[j].y), std::fabs(p[i].z - p[j].z)};
      for (float x : d)
        if (x > e) e = x;
    }
  return e;
}

CollapseCost collapse_cost(const CollapseMesh& m, uint32_t u, uint32_t v, float w, bool border) {
  const Vec3& pu = m.verts[u].pos;
  const Vec3& pv = m.verts[v].pos;
  const float len = detail::length(pv - pu);
  // A border vertex's collapse costs at least 1e10 x len (or 1e10), which
  // can never undercut the starting cost of 1,000,000.
  if (border && kBorderFactor * len >= 1000000.0f) return {kBorderFactor * len, 0.0f};
  const float curvature = m.curvature(u, v, kStartCurvature);
  float sum = 0;
  int count = 0;
  float agreement = 1.0f;
  for (uint32_t fid : m.verts[u].faces) {
    const detail::CollapseFace& f = m.faces[fid];
    if (f.has(v)) continue;
    const std::array<Vec3, 3> after = detail::corners_after_move(m, f, u, pv);
    float q = flattened_cube(after[0], after[1], after[2]) - f.shape;
    float t = w * q + 1.0f;
    sum += t * t * t;
    ++count;
    float a = detail::dot(detail::face_normal(after[0], after[1], after[2], m.rule()), f.n);
    if (a < agreement) agreement = a;
    if (extent(after) > kMaxExtent) return {1e10f, 1e9f};
  }
  const float shape = count ? sum / static_cast<float>(count) : 1.0f;
  const float secondary = curvature * len;
  float factor = agreement >= 0.5f ? shape * curvature : 1.0f;
  if (border) factor = kBorderFactor;
  return {factor * len, secondary};
}

}  // namespace

struct EdgeCollapseReducer::Impl {
  CollapseMesh mesh{detail::ZeroLength::kKeep, flattened_cube};
  detail::CheapestQueue queue;
  float shape_weight = 2.0f;

  void update(uint32_t u) {
    const bool border = mesh.on_border(u);
    detail::choose_target(mesh, u,
                          [&](uint32_t a, uint32_t b) { return collapse_cost(mesh, a, b, shape_weight, border); });
    queue.push(mesh.verts[u], u);
  }

  void collapse(uint32_t u) {
    for (uint32_t w : mesh.collapse(u, mesh.verts[u].target)) update(w);
  }

  // A vertex without neighbours is used at most by faces whose corners are
  // all that vertex; they go with it.
  void remove_lone(uint32_t u) {
    auto& f = mesh.verts[u].faces;
    while (!f.empty()) mesh.delete_face(f.back());
    mesh.remove_vertex(u);
  }
};

EdgeCollapseReducer::EdgeCollapseReducer(const void* vertices, size_t vertex_count, size_t stride_bytes,
                                         const uint16_t* triangles, size_t triangle_count, float shape_weight)
    : impl_(std::make_unique<Impl>()) {
  impl_->shape_weight = shape_weight;
  impl_->mesh.load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
  for (size_t i = 0; i < vertex_count; ++i) impl_->update(static_cast<uint32_t>(i));
}

EdgeCollapseReducer::~EdgeCollapseReducer() = default;

void EdgeCollapseReducer::reduce_to(size_t target) {
  CollapseMesh& m = impl_->mesh;
  while (m.live_vertices > target) {
    uint32_t u = impl_->queue.top(m.verts);
    if (u == kNone) break;  // nothing left to choose
    if (m.verts[u].target != kNone) {
      impl_->collapse(u);
    } else if (m.verts[u].neighbours.empty()) {
      impl_->remove_lone(u);
    } else {
      break;  // no permitted collapse anywhere: keep the vertex and its faces
    }
  }
}

void EdgeCollapseReducer::reduce_by_threshold(size_t target, float threshold) {
  CollapseMesh& m = impl_->mesh;
  const auto floor_count = static_cast<size_t>(0.1 * static_cast<double>(target));
  int failures = 0;
  while (m.live_vertices > floor_count) {
    uint32_t u = impl_->queue.top(m.verts);
    if (u == kNone || m.verts[u].secondary > threshold) break;
    if (m.verts[u].target != kNone) {
      impl_->collapse(u);
    } else if (m.verts[u].neighbours.empty()) {
      impl_->remove_lone(u);
    } else if (++failures >= kMaxFailures) {
      break;
    }
  }
}

size_t EdgeCollapseReducer::vertex_count() const {
  return impl_->mesh.live_vertices;
}
size_t EdgeCollapseReducer::face_count() const {
  return impl_->mesh.live_faces;
}

std::vector<uint16_t> EdgeCollapseReducer::faces() const {
  std::vector<uint16_t> out;
  out.reserve(impl_->mesh.live_faces * 3);
  for (const auto& f : impl_->mesh.faces)
    if (f.alive)
      for (uint32_t c : f.v) out.push_back(static_cast<uint16_t>(c));
  return out;
}

bool EdgeCollapseReducer::is_live(size_t index) const {
  return index < impl_->mesh.verts.size() && impl_->mesh.verts[index].alive;
}

TerrainLodSchedule terrain_lod_schedule(const TerrainLodParams& p) {
  TerrainLodSchedule s{};
  const float a = static_cast<float>(p.vertex_start);
  const float vertex_step = static_cast<float>(p.vertex_start - p.vertex_end) * 0.06666667f;
  const float threshold_step = (p.threshold_start - p.threshold_end) * 0.06666667f;
  for (int i = 0; i < kTerrainLodCount; ++i) {
    const float fi = static_cast<float>(i);
    const float t = std::trunc(a - fi * vertex_step);
    s.targets[i] = t > 0.0f ? static_cast<size_t>(t) : 0;
    s.thresholds[i] = p.threshold_start - fi * threshold_step;
  }
  return s;
}

TerrainLods build_terrain_lods(const void* vertices, size_t vertex_count, size_t stride_bytes,
                               const uint16_t* triangles, size_t triangle_count, const TerrainLodParams& params) {
  EdgeCollapseReducer reducer(vertices, vertex_count, stride_bytes, triangles, triangle_count, params.shape_weight);
  const TerrainLodSchedule schedule = terrain_lod_schedule(params);
  TerrainLods out;
  std::vector<bool> live_at_finest(vertex_count);
  for (int i = 0; i < kTerrainLodCount; ++i) {
    reducer.reduce_to(schedule.targets[i]);
    reducer.reduce_by_threshold(schedule.targets[i], schedule.thresholds[i]);
    out.slots[i].indices = reducer.faces();
    out.slots[i].vertex_count = reducer.vertex_count();
    if (i == 0)
      for (size_t v = 0; v < vertex_count; ++v) live_at_finest[v] = reducer.is_live(v);
  }

  // Number the vertices by first use from the coarsest slot down. A vertex
  // still in the mesh at LOD 0 but used by no face gets a number after them,
  // so that the vertex array holds exactly LOD 0's vertex count.
  std::vector<uint32_t> renumber(vertex_count, kNone);
  auto& order = out.vertex_order;
  for (int i = kTerrainLodCount - 1; i >= 0; --i)
    for (uint16_t v : out.slots[i].indices)
      if (renumber[v] == kNone) {
        renumber[v] = static_cast<uint32_t>(order.size());
        order.push_back(v);
      }
  for (size_t v = 0; v < vertex_count; ++v)
    if (live_at_finest[v] && renumber[v] == kNone) {
      renumber[v] = static_cast<uint32_t>(order.size());
      order.push_back(static_cast<uint32_t>(v));
    }
  for (auto& slot : out.slots)
    for (uint16_t& v : slot.indices) v = static_cast<uint16_t>(renumber[v]);
  return out;
}

}  // namespace orvo::mesh
