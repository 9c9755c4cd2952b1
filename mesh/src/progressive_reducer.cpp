#include "tools/mesh/progressive_reducer.h"

#include "reducer_common.h"

namespace tools::mesh {

using detail::kNone;

namespace {

constexpr float kCostLimit = 900000.0f;
constexpr int kMaxFailures = 10;

}  // namespace

struct ProgressiveReducer::Impl {
  detail::CollapseMesh mesh{detail::lanes4::measure_faces<detail::lanes4::ModelMeasures>};
  detail::CheapestHeap heap;
  std::vector<uint32_t> former;
  // The cost computation, four lanes or (where the processor has AVX2) eight.
  std::unique_ptr<detail::lanes4::ModelChooser> narrow;
#if ORVO_MESH_WIDE_LANES
  std::unique_ptr<detail::lanes8::ModelChooser> wide;
#endif

  Impl() {
#if ORVO_MESH_WIDE_LANES
    if (detail::wide_lanes()) {
      wide = std::make_unique<detail::lanes8::ModelChooser>();
      mesh.set_measure(detail::lanes8::measure_faces<detail::lanes8::ModelMeasures>);
      return;
    }
#endif
    narrow = std::make_unique<detail::lanes4::ModelChooser>();
  }

  template <class Index>
  size_t load(const void* vertices, size_t vertex_count, size_t stride_bytes, const Index* triangles,
              size_t triangle_count) {
    mesh.load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
    const size_t n = mesh.verts.size();
    heap.reset(n);
    detail::cost_every_vertex(mesh, [this](uint32_t w) { update(w); });
    return n;
  }

  // Cost and target of u: the strictly cheapest collapse onto one of its
  // neighbours, tried in list order.
  void update(uint32_t u) {
    detail::VertexRecord& vx = mesh.verts[u];
#if ORVO_MESH_WIDE_LANES
    vx.cost = wide ? wide->choose(mesh, u, vx.target) : narrow->choose(mesh, u, vx.target);
#else
    vx.cost = narrow->choose(mesh, u, vx.target);
#endif
    heap.set(u, vx.cost);
  }
};

ProgressiveReducer::ProgressiveReducer() : impl_(std::make_unique<Impl>()) {}
ProgressiveReducer::~ProgressiveReducer() = default;

size_t ProgressiveReducer::load(const void* vertices, size_t vertex_count, size_t stride_bytes,
                                const uint16_t* triangles, size_t triangle_count) {
  return impl_->load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
}

size_t ProgressiveReducer::load(const void* vertices, size_t vertex_count, size_t stride_bytes,
                                const uint32_t* triangles, size_t triangle_count) {
  return impl_->load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
}

void ProgressiveReducer::reduce_to(size_t target) {
  Impl& r = *impl_;
  detail::CollapseMesh& m = r.mesh;
  int failures = 0;
  while (m.live_vertices > target && failures < kMaxFailures) {
    // The cheapest vertex; when it costs 900000 or more, no vertex qualifies.
    const uint32_t u = r.heap.top();
    if (u == kNone || !(m.verts[u].cost < kCostLimit) || m.verts[u].target == kNone) {
      ++failures;
      continue;
    }
    detail::collapse_and_recost(m, r.heap, u, r.former, [&r](uint32_t w) { r.update(w); });
  }
}

std::vector<uint16_t> ProgressiveReducer::read_triangles() const {
  return impl_->mesh.live_triangles<uint16_t>();
}

std::vector<uint32_t> ProgressiveReducer::read_triangles32() const {
  return impl_->mesh.live_triangles<uint32_t>();
}

size_t ProgressiveReducer::vertex_count() const {
  return impl_->mesh.live_vertices;
}
size_t ProgressiveReducer::triangle_count() const {
  return impl_->mesh.live_faces;
}
bool ProgressiveReducer::is_live(size_t index) const {
  return index < impl_->mesh.verts.size() && impl_->mesh.verts[index].alive;
}

void ProgressiveReducer::release() {
  impl_ = std::make_unique<Impl>();
}

}  // namespace tools::mesh
