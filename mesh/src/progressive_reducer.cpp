#include "tools/mesh/progressive_reducer.h"

#include "reducer_common.h"

namespace tools::mesh {

using detail::kNone;

namespace {

constexpr float kCostLimit = 900000.0f;
constexpr int kMaxFailures = 10;

}  // namespace

struct ProgressiveReducer::Impl : detail::ModelReducer {};

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
  int failures = 0;
  while (r.vertex_count() > target && failures < kMaxFailures) {
    // The cheapest vertex; when it costs 900000 or more, no vertex qualifies.
    const uint32_t u = r.cheapest();
    if (u == kNone || !(r.mesh.verts[u].cost < kCostLimit) || r.mesh.verts[u].target == kNone) {
      ++failures;
      continue;
    }
    r.collapse(u);
  }
}

std::vector<uint16_t> ProgressiveReducer::read_triangles() const {
  return impl_->read_triangles<uint16_t>();
}

std::vector<uint32_t> ProgressiveReducer::read_triangles32() const {
  return impl_->read_triangles<uint32_t>();
}

size_t ProgressiveReducer::vertex_count() const {
  return impl_->vertex_count();
}
size_t ProgressiveReducer::triangle_count() const {
  return impl_->triangle_count();
}
bool ProgressiveReducer::is_live(size_t index) const {
  return impl_->is_live(index);
}

void ProgressiveReducer::release() {
  impl_ = std::make_unique<Impl>();
}

}  // namespace tools::mesh
