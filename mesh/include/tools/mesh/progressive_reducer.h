#pragma once
// Progressive mesh reducer of the model exporter: removes vertices one at a
// time by collapsing each onto a neighbour, cheapest collapse first, to make
// the detail levels of one part and material. Vertices on an open border
// never move.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tools::mesh {

class ProgressiveReducer {
 public:
  ProgressiveReducer();
  ~ProgressiveReducer();
  ProgressiveReducer(const ProgressiveReducer&) = delete;
  ProgressiveReducer& operator=(const ProgressiveReducer&) = delete;

  // Builds the working mesh from `vertex_count` records of `stride_bytes`
  // bytes each (only the first three floats, x y z, are read) and
  // `triangle_count` index triplets. A triangle naming a vertex beyond the
  // vertex count is left out. Returns the number of vertices (0, and an empty
  // mesh, when `stride_bytes` is below 12: such records cannot be read).
  // Meshes of more than 65 536 vertices need 32-bit indices.
  size_t load(const void* vertices, size_t vertex_count, size_t stride_bytes, const uint16_t* triangles,
              size_t triangle_count);
  size_t load(const void* vertices, size_t vertex_count, size_t stride_bytes, const uint32_t* triangles,
              size_t triangle_count);

  // Collapses vertices until at most `target` remain, or until ten rounds in
  // a row find no permitted collapse. Successive calls continue on the same
  // mesh.
  void reduce_to(size_t target);

  // The live triangles in order, three input indices each. The 16-bit form
  // is for meshes of at most 65 536 vertices.
  std::vector<uint16_t> read_triangles() const;
  std::vector<uint32_t> read_triangles32() const;

  size_t vertex_count() const;
  size_t triangle_count() const;
  // Whether input vertex `index` is still part of the mesh.
  bool is_live(size_t index) const;

  void release();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tools::mesh
