#pragma once
// Packing the loaded models' vertices and strip indices into a few shared
// vertex/index buffer pairs, grouped by vertex layout (the buffer kind) and
// by memory variant, as drawing addresses them: each model by its buffer,
// its base vertex and its first index inside the shared buffers.
//
// Kinds, in the order their queues are processed and logged:
//
//   kind             models                                        stride  layout
//   Segmented1       'M' without a second texture layer            32      position, normal, uv1
//   Segmented2       'M' with a second texture layer               40      + uv2
//   SegTangent       'M' with a `VStream` while hardware T&L is on 64      + tangent, binormal
//   Skinned          'P'                                           56      the runtime skinned vertex
//   SkinnedTangent   'P' with a `VStream` while hardware T&L is on 80      + tangent, binormal
//   Skinned OLD      'S'                                           44      the runtime older skinned vertex
//
// Memory variants follow the model's two variant selectors (1 "Sys", 2
// "Vid", 0 none): a model is queued for its second selector and, when the
// first differs, for its first as well, so it may get a buffer in both.
//
// A buffer takes models from the front of its queue while the vertex total
// stays at most 32766, so 16-bit indices reach every vertex. The indices of
// a model are its strips in the loader's order (LOD by LOD, every strip of
// every strip group, then the action planes), so each strip's running
// offset ("Addr") is its position after the model's first index.
//
// Every line goes to the loader's log ("3di_log.txt"), which the loader and
// this stage share:
//   "\nCreating Vertex Buffers\n", the twelve "Model Count - ..." lines,
//   one "Created VB - <kind>: %ld models  (%ldk)  v =%5ld i =%5ld\n" per
//   buffer (the size is the vertex bytes in whole KB), then
//   "Total VB Usage: %3.2fMb\n" (all vertex bytes / 1048576).
// A model of more than 32766 vertices cannot be placed; it is refused with
//   "Error: model '%s' has %ld vertices, more than a vertex buffer holds (32766)\n"
// and gets the buffer mark without a buffer.
// A buffer the device cannot create ends its queue; the models taken for it
// keep the buffer mark without a buffer (drawing skips them).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "orvo/runtime/hardware.h"
#include "orvo/viewer/export_log.h"
#include "orvo/viewer/render_model.h"

namespace orvo {

enum class BufferKind : uint8_t { kSegmented1, kSegmented2, kSegTangent, kSkinned, kSkinnedTangent, kSkinnedOld };
inline constexpr std::size_t kBufferKinds = 6;
inline constexpr uint32_t kMaxBufferVertices = 32766;

// Memory variants as the selectors number them.
inline constexpr uint8_t kVariantSys = 1;
inline constexpr uint8_t kVariantVid = 2;

struct BufferKindInfo {
  std::string_view name;        // as "Created VB - " names it
  std::string_view count_name;  // as "Model Count - Vid " names it, padded
  uint32_t stride;              // bytes per vertex
  uint32_t vertex_format;       // fixed-function format code; 0 for vertex shader input
};
const BufferKindInfo& buffer_kind_info(BufferKind kind);

// The kind a loaded model falls into on a device with `caps`.
BufferKind buffer_kind(const render::Model& model, const RenderCapabilities& caps);

// The model's vertices in the kind's layout.
std::vector<std::byte> convert_vertices(const render::Model& model, BufferKind kind);
// The model's indices in drawing order: LOD by LOD, lod.strips, then the
// action planes' strips.
std::vector<uint16_t> model_indices(const render::Model& model);

// What the GL layer implements: one vertex buffer and one 16-bit index
// buffer, filled with the given data, write-only, in video memory when
// `vid` or else in system memory.
class BufferDevice {
 public:
  virtual ~BufferDevice() = default;
  // A handle above 0, or 0 when the pair cannot be created.
  virtual int create_buffers(BufferKind kind, bool vid, std::span<const std::byte> vertices,
                             std::span<const uint16_t> indices) = 0;
  virtual void release(int handle) = 0;
};

// One created buffer pair.
struct BufferEntry {
  int handle = 0;  // the device's
  BufferKind kind{};
  bool vid = false;
  uint32_t vertex_bytes = 0;
  uint32_t index_bytes = 0;
  uint32_t vertex_count = 0;
  uint32_t index_count = 0;
  std::size_t model_count = 0;
};

// Where a model's data lives in one memory variant.
struct BufferPlacement {
  int buffer = -1;  // index into the buffer table
  uint32_t base_vertex = 0;
  uint32_t first_index = 0;  // its strip at "Addr" a starts at first_index + a
  uint32_t stride = 0;
  uint32_t vertex_format = 0;
};

class VertexBuffers {
 public:
  // `log` may be null (no lines are written).
  VertexBuffers(BufferDevice& device, ExportLog* log);
  ~VertexBuffers();
  VertexBuffers(const VertexBuffers&) = delete;
  VertexBuffers& operator=(const VertexBuffers&) = delete;

  // Queues every model that has no buffer mark yet, creates the buffers and
  // logs what it made.
  void create_vertex_buffers(std::span<render::Model* const> models, const RenderCapabilities& caps);
  // Releases every buffer pair and forgets every model.
  void release_all();

  const std::vector<BufferEntry>& buffers() const { return buffers_; }
  // Null when the model has no buffer in that variant (1 "Sys", 2 "Vid").
  const BufferPlacement* placement(const render::Model* model, uint8_t variant) const;
  // The model was taken for a buffer (or refused): it is not queued again.
  bool has_buffer_mark(const render::Model* model) const;

 private:
  struct Placed {
    const render::Model* model;
    bool vid;
    BufferPlacement where;
  };
  void create_queue(std::vector<render::Model*>& queue, BufferKind kind, bool vid);
  void log(std::string_view text);

  BufferDevice& device_;
  ExportLog* log_;
  std::vector<BufferEntry> buffers_;
  std::vector<Placed> placed_;
  std::vector<const render::Model*> marked_;
};

}  // namespace orvo
