#include "orvo/viewer/vertex_buffers.h"

#include "tools/base/text.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace orvo {
namespace {

constexpr BufferKindInfo kKinds[kBufferKinds] = {
    {"Segmented1", "Segmented1:  ", 32, 0x112}, {"Segmented2", "Segmented2:  ", 40, 0x212},
    {"SegTangent", "SegTangent:  ", 64, 0},     {"Skinned", "Skinned:     ", 56, 0},
    {"SkinnedTangent", "SkinTangent: ", 80, 0}, {"Skinned OLD", "Skinned Old: ", 44, 0x216},
};

template <class T>
void append(std::vector<std::byte>& out, const T& value, std::size_t bytes = sizeof(T)) {
  const auto* p = reinterpret_cast<const std::byte*>(&value);
  out.insert(out.end(), p, p + bytes);
}

// The tangent entry of vertex i; a short `VStream` reads as zero tangents.
render::Tangent tangent_of(const render::Model& m, std::size_t i) {
  return i < m.vstream.size() ? m.vstream[i] : render::Tangent{};
}

std::size_t kind_index(BufferKind kind) {
  return static_cast<std::size_t>(kind);
}

}  // namespace

const BufferKindInfo& buffer_kind_info(BufferKind kind) {
  return kKinds[kind_index(kind)];
}

BufferKind buffer_kind(const render::Model& model, const RenderCapabilities& caps) {
  const bool tangents = !model.vstream.empty() && caps.hardware_tnl;
  switch (model.kind) {
    case render::MeshKind::kOldSkinned: return BufferKind::kSkinnedOld;
    case render::MeshKind::kSkinned: return tangents ? BufferKind::kSkinnedTangent : BufferKind::kSkinned;
    case render::MeshKind::kPlain: break;
  }
  if (tangents) return BufferKind::kSegTangent;
  return model.second_layer ? BufferKind::kSegmented2 : BufferKind::kSegmented1;
}

std::vector<std::byte> convert_vertices(const render::Model& m, BufferKind kind) {
  std::vector<std::byte> out;
  out.reserve(std::size_t{m.vertex_count} * buffer_kind_info(kind).stride);
  switch (kind) {
    case BufferKind::kSegmented1:
      // Position, normal and the first texture coordinates lead the record.
      for (const render::VertexM& v : m.vertices_m) append(out, v, 32);
      break;
    case BufferKind::kSegmented2:
      for (const render::VertexM& v : m.vertices_m) append(out, v);
      break;
    case BufferKind::kSegTangent:
      for (std::size_t i = 0; i < m.vertices_m.size(); ++i) {
        append(out, m.vertices_m[i]);
        append(out, tangent_of(m, i));
      }
      break;
    case BufferKind::kSkinned:
      for (const render::VertexP& v : m.vertices_p) append(out, v);
      break;
    case BufferKind::kSkinnedTangent:
      for (std::size_t i = 0; i < m.vertices_p.size(); ++i) {
        append(out, m.vertices_p[i]);
        append(out, tangent_of(m, i));
      }
      break;
    case BufferKind::kSkinnedOld:
      for (const render::VertexS& v : m.vertices_s) append(out, v);
      break;
  }
  return out;
}

std::vector<uint16_t> model_indices(const render::Model& m) {
  std::vector<uint16_t> out;
  out.reserve(m.running_index_count);
  auto add = [&](const render::Strip& s) {
    // Each strip starts where its running offset says: the loader counted
    // the same strips in the same order.
    assert(s.addr == out.size());
    out.insert(out.end(), s.indices.begin(), s.indices.end());
  };
  for (uint32_t l = 0; l < m.lod_count; ++l) {
    const render::Lod* lod = m.lods[l];
    if (lod == nullptr) continue;
    for (const render::Strip& s : lod->strips) add(s);
    for (const render::ActionPlane& a : lod->action_planes) add(a.strip);
  }
  return out;
}

VertexBuffers::VertexBuffers(BufferDevice& device, ExportLog* log) : device_(device), log_(log) {}

VertexBuffers::~VertexBuffers() {
  release_all();
}

void VertexBuffers::log(std::string_view text) {
  if (log_ != nullptr) log_->line(text);
}

bool VertexBuffers::has_buffer_mark(const render::Model* model) const {
  return std::find(marked_.begin(), marked_.end(), model) != marked_.end();
}

const BufferPlacement* VertexBuffers::placement(const render::Model* model, uint8_t variant) const {
  const bool vid = variant == kVariantVid;
  if (variant != kVariantVid && variant != kVariantSys) return nullptr;
  for (const Placed& p : placed_)
    if (p.model == model && p.vid == vid) return &p.where;
  return nullptr;
}

void VertexBuffers::create_vertex_buffers(std::span<render::Model* const> models, const RenderCapabilities& caps) {
  log("\nCreating Vertex Buffers\n");
  // queues[0] "Vid", queues[1] "Sys", each by kind.
  std::array<std::array<std::vector<render::Model*>, kBufferKinds>, 2> queues;
  auto queue_for = [&](render::Model* m, std::size_t kind, uint8_t selector) {
    if (selector == kVariantVid) queues[0][kind].push_back(m);
    if (selector == kVariantSys) queues[1][kind].push_back(m);
  };
  for (render::Model* m : models) {
    if (m == nullptr || has_buffer_mark(m)) continue;
    const std::size_t kind = kind_index(buffer_kind(*m, caps));
    queue_for(m, kind, m->variants[1]);
    if (m->variants[0] != m->variants[1]) queue_for(m, kind, m->variants[0]);
  }
  for (std::size_t v = 0; v < 2; ++v) {
    for (std::size_t k = 0; k < kBufferKinds; ++k) {
      log(tools::format_text("Model Count - %s %s%ld\n", v == 0 ? "Vid" : "Sys", kKinds[k].count_name.data(),
                             static_cast<long>(queues[v][k].size())));
    }
  }
  for (std::size_t v = 0; v < 2; ++v)
    for (std::size_t k = 0; k < kBufferKinds; ++k) create_queue(queues[v][k], static_cast<BufferKind>(k), v == 0);

  uint64_t total = 0;
  for (const BufferEntry& b : buffers_) total += b.vertex_bytes;
  log("Total VB Usage: " + tools::fixed_number(static_cast<double>(total) / 1048576.0, 3, 2) + "Mb\n");
}

void VertexBuffers::create_queue(std::vector<render::Model*>& queue, BufferKind kind, bool vid) {
  const BufferKindInfo& info = buffer_kind_info(kind);
  std::size_t next = 0;
  while (next < queue.size()) {
    // Take models from the front while they fit; one too large for any
    // buffer is refused rather than left waiting for room.
    std::vector<render::Model*> taken;
    uint32_t vertices = 0, indices = 0;
    while (next < queue.size()) {
      render::Model* m = queue[next];
      if (m->vertex_count > kMaxBufferVertices) {
        log(tools::format_text("Error: model '%s' has %ld vertices, more than a vertex buffer holds (32766)\n",
                               m->file_name.c_str(), static_cast<long>(m->vertex_count)));
        if (!has_buffer_mark(m)) marked_.push_back(m);
        ++next;
        continue;
      }
      if (vertices + m->vertex_count > kMaxBufferVertices) break;
      taken.push_back(m);
      if (!has_buffer_mark(m)) marked_.push_back(m);
      vertices += m->vertex_count;
      indices += m->running_index_count;
      ++next;
    }
    if (taken.empty()) continue;

    std::vector<std::byte> vertex_data;
    std::vector<uint16_t> index_data;
    vertex_data.reserve(std::size_t{vertices} * info.stride);
    index_data.reserve(indices);
    std::vector<Placed> placed;
    for (render::Model* m : taken) {
      BufferPlacement where;
      where.buffer = static_cast<int>(buffers_.size());
      where.base_vertex = static_cast<uint32_t>(vertex_data.size() / info.stride);
      where.first_index = static_cast<uint32_t>(index_data.size());
      where.stride = info.stride;
      where.vertex_format = info.vertex_format;
      const std::vector<std::byte> v = convert_vertices(*m, kind);
      vertex_data.insert(vertex_data.end(), v.begin(), v.end());
      const std::vector<uint16_t> i = model_indices(*m);
      index_data.insert(index_data.end(), i.begin(), i.end());
      placed.push_back({m, vid, where});
    }
    const int handle = device_.create_buffers(kind, vid, vertex_data, index_data);
    if (handle <= 0) return;
    BufferEntry entry;
    entry.handle = handle;
    entry.kind = kind;
    entry.vid = vid;
    entry.vertex_bytes = static_cast<uint32_t>(vertex_data.size());
    entry.index_bytes = static_cast<uint32_t>(index_data.size() * sizeof(uint16_t));
    entry.vertex_count = vertices;
    entry.index_count = static_cast<uint32_t>(index_data.size());
    entry.model_count = taken.size();
    buffers_.push_back(entry);
    placed_.insert(placed_.end(), placed.begin(), placed.end());
    log(tools::format_text("Created VB - %s: %ld models  (%ldk)  v =%5ld i =%5ld\n", info.name.data(),
                           static_cast<long>(entry.model_count), static_cast<long>(entry.vertex_bytes / 1024),
                           static_cast<long>(entry.vertex_count), static_cast<long>(entry.index_count)));
  }
}

void VertexBuffers::release_all() {
  for (const BufferEntry& b : buffers_) device_.release(b.handle);
  buffers_.clear();
  placed_.clear();
  marked_.clear();
}

}  // namespace orvo
