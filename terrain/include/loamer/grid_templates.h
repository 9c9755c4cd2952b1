#pragma once
// The four grid templates that leaf blocks of the terrain start from.
//
// A template covers a 64 x 64 leaf block with triangles on the grid points
// (dx, dz), 0 <= dx, dz <= 64: unit cells inside, and two transition rings
// along one x side and one z side of the block that step the vertex spacing
// from 1 (inner cells) through 2 to 4 at the block's edge. Which sides get
// the rings depends on the block's parity: bit 0 of the template index is set
// for blocks whose origin x / 64 is odd (rings on the right edge, else the
// left), bit 1 for an odd origin z / 64 (rings on the bottom edge, else the
// top). Neighbouring leaf blocks have opposite parity, so along every shared
// edge both blocks have vertices every 4 units or both every unit.
//
// Every template has 7720 triangles covering the block exactly once, all
// wound the same way: for a triangle (a, b, e),
// (x_b - x_a)(z_e - z_a) - (x_e - x_a)(z_b - z_a) < 0. They use 3940 of the
// 65 x 65 grid points, numbered in the order they first appear in the
// triangle list. The list holds the inner cells row by row, then the outer
// ring (step 4), then the inner ring (step 2).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "loamer/packed_block_mesh.h"

namespace loamer {

constexpr int kLeafBlockSize = 64;
constexpr std::size_t kTemplateTriangleCount = 7720;
constexpr std::size_t kTemplateVertexCount = 3940;

struct GridTemplate {
  int index = 0;                       // 0 to 3: bit 0 x-parity, bit 1 z-parity
  std::vector<VertexOffset> vertices;  // offsets from the block origin, by first appearance
  std::vector<uint16_t> triangles;     // three vertex numbers per triangle

  std::size_t triangle_count() const { return triangles.size() / 3; }
};

// The template index of the leaf block whose origin is (origin_x, origin_z)
// (multiples of 64).
int grid_template_index(int origin_x, int origin_z);

// Builds template `index` (0 to 3; other values are taken modulo 4).
GridTemplate make_grid_template(int index);

// The four templates, element t being template t.
std::array<GridTemplate, 4> make_grid_templates();

}  // namespace loamer
