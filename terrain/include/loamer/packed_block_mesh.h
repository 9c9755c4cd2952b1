#pragma once
// The in-memory record of one block of the terrain quadtree as the block mesh
// files hold it: vertex offsets from the block origin and sixteen LOD slots
// (LOD 0 finest to LOD 15 coarsest) of 16-bit vertex indices. Files keep only
// the eight even slots.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace loamer {

constexpr int kLodSlots = 16;

enum class ListKind : uint16_t {
  kTriangleList = 1,  // three indices per triangle
  kStrip = 2,         // one strip, triangle i = (s[i], s[i+1], s[i+2]) with odd ones wound the other way
};

struct VertexOffset {
  uint16_t dx = 0;  // vertex x minus the block's origin x (0 to block size)
  uint16_t dz = 0;

  friend bool operator==(const VertexOffset&, const VertexOffset&) = default;
};

struct LodList {
  std::vector<uint16_t> indices;
  // Triangles for a triangle list, indices for a strip.
  uint32_t count = 0;
  // Every index of the list is below it.
  uint16_t vertex_count = 0;
  ListKind kind = ListKind::kTriangleList;

  friend bool operator==(const LodList&, const LodList&) = default;
};

struct PackedBlockMesh {
  uint16_t origin_x = 0;
  uint16_t origin_z = 0;
  std::vector<VertexOffset> offsets;  // one per vertex
  std::array<LodList, kLodSlots> lods;

  std::size_t vertex_count() const { return offsets.size(); }
  friend bool operator==(const PackedBlockMesh&, const PackedBlockMesh&) = default;
};

}  // namespace loamer
