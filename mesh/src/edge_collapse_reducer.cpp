#include "tools/mesh/edge_collapse_reducer.h"

#include <atomic>
#include <cmath>

#include "reducer_common.h"

namespace tools::mesh {

using detail::kNone;

namespace {

constexpr int kMaxFailures = 10;

}  // namespace

// The choice between the four- and eight-lane code, for both reducers.
namespace detail {

namespace {
std::atomic<bool> narrow_lanes_only{false};
}  // namespace

bool wide_lanes() {
#if ORVO_MESH_WIDE_LANES
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return avx2 && !narrow_lanes_only.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

void use_wide_lanes(bool on) {
  narrow_lanes_only.store(!on, std::memory_order_relaxed);
}

}  // namespace detail

struct EdgeCollapseReducer::Impl {
  detail::CollapseMesh mesh{detail::lanes4::measure_faces<detail::lanes4::TerrainMeasures>};
  detail::CheapestHeap heap;
  float shape_weight = 2.0f;
  std::vector<uint32_t> former;
  // The cost computation, four lanes or (where the processor has AVX2) eight.
  std::unique_ptr<detail::lanes4::TerrainChooser> narrow;
#if ORVO_MESH_WIDE_LANES
  std::unique_ptr<detail::lanes8::TerrainChooser> wide;
#endif

  Impl() {
#if ORVO_MESH_WIDE_LANES
    if (detail::wide_lanes()) {
      wide = std::make_unique<detail::lanes8::TerrainChooser>();
      mesh.set_measure(detail::lanes8::measure_faces<detail::lanes8::TerrainMeasures>);
      return;
    }
#endif
    narrow = std::make_unique<detail::lanes4::TerrainChooser>();
  }

  template <class Index>
  void load(const void* vertices, size_t vertex_count, size_t stride_bytes, const Index* triangles,
            size_t triangle_count) {
    mesh.load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
    const size_t n = mesh.verts.size();
    heap.reset(n);
    detail::cost_every_vertex(mesh, [this](uint32_t w) { update(w); });
  }

  // Cost, secondary cost and target of u: the strictly cheapest collapse
  // onto one of its neighbours, tried in list order.
  void update(uint32_t u) {
#if ORVO_MESH_WIDE_LANES
    const auto c = wide ? wide->choose(mesh, u, shape_weight) : narrow->choose(mesh, u, shape_weight);
#else
    const auto c = narrow->choose(mesh, u, shape_weight);
#endif
    detail::VertexRecord& vx = mesh.verts[u];
    vx.cost = c.cost;
    vx.secondary = c.secondary;
    vx.target = c.target;
    heap.set(u, c.cost);
  }

  void collapse(uint32_t u) {
    detail::collapse_and_recost(mesh, heap, u, former, [this](uint32_t w) { update(w); });
  }

  // A vertex without neighbours is used at most by faces whose corners are
  // all that vertex; they go with it.
  void remove_lone(uint32_t u) {
    while (mesh.face_count(u) > 0) mesh.delete_face(mesh.faces_of(u)[mesh.face_count(u) - 1]);
    mesh.remove_vertex(u);
    heap.erase(u);
  }
};

EdgeCollapseReducer::EdgeCollapseReducer(const void* vertices, size_t vertex_count, size_t stride_bytes,
                                         const uint16_t* triangles, size_t triangle_count, float shape_weight)
    : impl_(std::make_unique<Impl>()) {
  impl_->shape_weight = shape_weight;
  impl_->load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
}

EdgeCollapseReducer::EdgeCollapseReducer(const void* vertices, size_t vertex_count, size_t stride_bytes,
                                         const uint32_t* triangles, size_t triangle_count, float shape_weight)
    : impl_(std::make_unique<Impl>()) {
  impl_->shape_weight = shape_weight;
  impl_->load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
}

EdgeCollapseReducer::~EdgeCollapseReducer() = default;

void EdgeCollapseReducer::reduce_to(size_t target) {
  Impl& r = *impl_;
  while (r.mesh.live_vertices > target) {
    const uint32_t u = r.heap.top();
    if (u == kNone) break;  // nothing left to choose
    if (r.mesh.verts[u].target != kNone) {
      r.collapse(u);
    } else if (r.mesh.neighbour_count(u) == 0) {
      r.remove_lone(u);
    } else {
      break;  // no permitted collapse anywhere: keep the vertex and its faces
    }
  }
}

void EdgeCollapseReducer::reduce_by_threshold(size_t target, float threshold) {
  Impl& r = *impl_;
  const auto floor_count = static_cast<size_t>(0.1 * static_cast<double>(target));
  int failures = 0;
  while (r.mesh.live_vertices > floor_count) {
    const uint32_t u = r.heap.top();
    if (u == kNone || r.mesh.verts[u].secondary > threshold) break;
    if (r.mesh.verts[u].target != kNone) {
      r.collapse(u);
    } else if (r.mesh.neighbour_count(u) == 0) {
      r.remove_lone(u);
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
  return impl_->mesh.live_triangles<uint16_t>();
}

std::vector<uint32_t> EdgeCollapseReducer::faces32() const {
  return impl_->mesh.live_triangles<uint32_t>();
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

}  // namespace tools::mesh
