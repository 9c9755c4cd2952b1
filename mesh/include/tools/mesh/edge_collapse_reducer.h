#pragma once
// Terrain mesh reducer: collapses vertices onto neighbours, cheapest first,
// to make the 16 levels of detail of a terrain block. Border vertices of the
// block never move, so neighbouring blocks keep meeting edge to edge.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tools::mesh {

constexpr int kTerrainLodCount = 16;

class EdgeCollapseReducer {
 public:
  // Builds the working mesh from `vertex_count` records of `stride_bytes`
  // bytes (the first three floats are x, y, z) and `triangle_count` index
  // triplets. A triangle naming a vertex beyond the vertex count is left out;
  // records shorter than 12 bytes cannot be read and give an empty mesh.
  // `shape_weight` scales the triangle shape change in the collapse cost.
  // Meshes of more than 65 536 vertices need 32-bit indices.
  EdgeCollapseReducer(const void* vertices, size_t vertex_count, size_t stride_bytes, const uint16_t* triangles,
                      size_t triangle_count, float shape_weight = 2.0f);
  EdgeCollapseReducer(const void* vertices, size_t vertex_count, size_t stride_bytes, const uint32_t* triangles,
                      size_t triangle_count, float shape_weight = 2.0f);
  ~EdgeCollapseReducer();
  EdgeCollapseReducer(const EdgeCollapseReducer&) = delete;
  EdgeCollapseReducer& operator=(const EdgeCollapseReducer&) = delete;

  // Collapses the cheapest vertex until at most `target` vertices remain.
  // Ends early when the cheapest vertex has neighbours but no permitted
  // collapse (it is never removed while faces still use it).
  void reduce_to(size_t target);

  // Keeps collapsing the cheapest vertex while its secondary cost is at most
  // `threshold` and more than a tenth of `target` vertices remain.
  void reduce_by_threshold(size_t target, float threshold);

  size_t vertex_count() const;
  size_t triangle_count() const;
  // The live triangles in order, each as the original indices of its
  // vertices. The 16-bit form is for meshes of at most 65 536 vertices.
  std::vector<uint16_t> read_triangles() const;
  std::vector<uint32_t> read_triangles32() const;
  // Whether original vertex `index` is still part of the mesh.
  bool is_live(size_t index) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reduction parameters of one block: vertex target from `vertex_start` (LOD 0)
// down to `vertex_end`, secondary cost threshold from `threshold_start` to
// `threshold_end`.
struct TerrainLodParams {
  int vertex_start = 0;
  int vertex_end = 0;
  float threshold_start = 0;
  float threshold_end = 0;
  float shape_weight = 2.0f;
};

struct TerrainLodSlot {
  std::vector<uint16_t> indices;  // three per triangle
  size_t vertex_count = 0;        // every index of the slot is below it
};

struct TerrainLods {
  std::array<TerrainLodSlot, kTerrainLodCount> slots;
  // New vertex number -> original vertex index; its size is LOD 0's vertex
  // count. The vertices of coarser slots come first.
  std::vector<uint32_t> vertex_order;
};

// Vertex target and threshold of each slot, in single precision.
struct TerrainLodSchedule {
  std::array<size_t, kTerrainLodCount> targets;
  std::array<float, kTerrainLodCount> thresholds;
};
TerrainLodSchedule terrain_lod_schedule(const TerrainLodParams& params);

// Reduces the mesh through the 16 slots, LOD 0 first, and renumbers the
// vertices by first appearance walking from LOD 15 down to LOD 0.
TerrainLods build_terrain_lods(const void* vertices, size_t vertex_count, size_t stride_bytes,
                               const uint16_t* triangles, size_t triangle_count, const TerrainLodParams& params);

}  // namespace tools::mesh
