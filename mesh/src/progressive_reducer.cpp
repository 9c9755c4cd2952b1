#include "orvo/mesh/progressive_reducer.h"

#include "reducer_common.h"

namespace orvo::mesh {

using detail::CollapseCost;
using detail::CollapseMesh;
using detail::kNone;
using detail::Vec3;

namespace {

constexpr float kBorderCost = 999999.0f;
constexpr float kCostLimit = 900000.0f;
constexpr int kMaxFailures = 10;

float largest_corner_cosine(const Vec3& a, const Vec3& b, const Vec3& c) {
  return detail::largest_corner_cosine(a, b, c, detail::ZeroLength::kDivideByTenth);
}

CollapseCost collapse_cost(const CollapseMesh& m, uint32_t u, uint32_t v) {
  const Vec3& pu = m.verts[u].pos;
  const Vec3& pv = m.verts[v].pos;
  const float len = detail::length(pv - pu);
  float c = m.curvature(u, v, 0.01f);
  float shape = 0.0f;
  float flip = 1.0f;
  for (uint32_t fid : m.verts[u].faces) {
    const detail::CollapseFace& f = m.faces[fid];
    if (f.has(v)) continue;
    const std::array<Vec3, 3> after = detail::corners_after_move(m, f, u, pv);
    float a = 1.0f + 0.01f * (largest_corner_cosine(after[0], after[1], after[2]) - f.shape);
    if (a > shape) shape = a;
    Vec3 n = detail::face_normal(after[0], after[1], after[2], m.rule());
    float agree = detail::dot(n, f.n);
    if (agree < flip) flip = agree;
  }
  c *= shape;
  if (flip < 0.5f) c = 1.0f;
  return {c * len, 0.0f};
}

}  // namespace

struct ProgressiveReducer::Impl {
  CollapseMesh mesh{detail::ZeroLength::kDivideByTenth, largest_corner_cosine};
  detail::CheapestQueue queue;

  void update(uint32_t u) {
    // On an open border every collapse costs the same, so the first
    // neighbour is the target.
    if (mesh.on_border(u)) {
      auto& vx = mesh.verts[u];
      ++vx.stamp;
      vx.cost = kBorderCost;
      vx.secondary = 0;
      vx.target = vx.neighbours.front();
      queue.push(vx, u);
      return;
    }
    detail::choose_target(mesh, u, [this](uint32_t a, uint32_t b) { return collapse_cost(mesh, a, b); });
    queue.push(mesh.verts[u], u);
  }
};

ProgressiveReducer::ProgressiveReducer() : impl_(std::make_unique<Impl>()) {}
ProgressiveReducer::~ProgressiveReducer() = default;

size_t ProgressiveReducer::load(const void* vertices, size_t vertex_count, size_t stride_bytes,
                                const uint16_t* triangles, size_t triangle_count) {
  impl_->queue.clear();
  impl_->mesh.load(vertices, vertex_count, stride_bytes, triangles, triangle_count);
  for (size_t i = 0; i < vertex_count; ++i) impl_->update(static_cast<uint32_t>(i));
  return vertex_count;
}

void ProgressiveReducer::reduce_to(size_t target) {
  CollapseMesh& m = impl_->mesh;
  int failures = 0;
  while (m.live_vertices > target && failures < kMaxFailures) {
    uint32_t u = impl_->queue.top(m.verts);
    if (u == kNone || m.verts[u].cost >= kCostLimit || m.verts[u].target == kNone) {
      ++failures;
      continue;
    }
    for (uint32_t w : m.collapse(u, m.verts[u].target)) impl_->update(w);
  }
}

std::vector<uint16_t> ProgressiveReducer::read_triangles() const {
  std::vector<uint16_t> out;
  out.reserve(impl_->mesh.live_faces * 3);
  for (const auto& f : impl_->mesh.faces)
    if (f.alive)
      for (uint32_t c : f.v) out.push_back(static_cast<uint16_t>(c));
  return out;
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
  impl_->mesh.verts = {};
  impl_->mesh.faces = {};
  impl_->mesh.live_vertices = 0;
  impl_->mesh.live_faces = 0;
  impl_->queue.clear();
}

}  // namespace orvo::mesh
