#include "tools/mesh/edge_collapse_reducer.h"

#include <cmath>

#include "reducer_common.h"

namespace tools::mesh {

using detail::kNone;

namespace {

constexpr int kMaxFailures = 10;

}  // namespace

struct EdgeCollapseReducer::Impl : detail::TerrainReducer {
  using detail::TerrainReducer::Reducer;

  // Takes the cheapest vertex u out of the mesh: collapses it onto its
  // target, or removes it when it has no neighbours. Returns false, and
  // leaves u and its faces, when it has neighbours but no permitted collapse.
  bool take(uint32_t u) {
    if (mesh.verts[u].target != kNone) {
      collapse(u);
    } else if (mesh.neighbour_count(u) == 0) {
      remove_lone(u);
    } else {
      return false;
    }
    return true;
  }
};

EdgeCollapseReducer::EdgeCollapseReducer(const void* vertices, size_t vertex_count, size_t stride_bytes,
                                         const uint16_t* triangles, size_t triangle_count, float shape_weight)
    : impl_(std::make_unique<Impl>(shape_weight)) {
  impl_->load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
}

EdgeCollapseReducer::EdgeCollapseReducer(const void* vertices, size_t vertex_count, size_t stride_bytes,
                                         const uint32_t* triangles, size_t triangle_count, float shape_weight)
    : impl_(std::make_unique<Impl>(shape_weight)) {
  impl_->load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
}

EdgeCollapseReducer::~EdgeCollapseReducer() = default;

void EdgeCollapseReducer::reduce_to(size_t target) {
  Impl& r = *impl_;
  while (r.vertex_count() > target) {
    const uint32_t u = r.cheapest();
    if (u == kNone) break;  // nothing left to choose
    if (!r.take(u)) break;  // no permitted collapse anywhere: keep the vertex and its faces
  }
}

void EdgeCollapseReducer::reduce_by_threshold(size_t target, float threshold) {
  Impl& r = *impl_;
  const auto floor_count = static_cast<size_t>(0.1 * static_cast<double>(target));
  int failures = 0;
  while (r.vertex_count() > floor_count) {
    const uint32_t u = r.cheapest();
    if (u == kNone || r.mesh.verts[u].secondary > threshold) break;
    if (!r.take(u) && ++failures >= kMaxFailures) break;
  }
}

size_t EdgeCollapseReducer::vertex_count() const {
  return impl_->vertex_count();
}
size_t EdgeCollapseReducer::triangle_count() const {
  return impl_->triangle_count();
}

std::vector<uint16_t> EdgeCollapseReducer::read_triangles() const {
  return impl_->read_triangles<uint16_t>();
}

std::vector<uint32_t> EdgeCollapseReducer::read_triangles32() const {
  return impl_->read_triangles<uint32_t>();
}

bool EdgeCollapseReducer::is_live(size_t index) const {
  return impl_->is_live(index);
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
    out.slots[i].indices = reducer.read_triangles();
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

}  // namespace tools::mesh
