#pragma once
// Depth-map triangulation: turns the height grid into the block quadtree's
// meshes with 16 levels of detail each, writes every block as its ".tml"
// block file and rasterises the finest level of the leaf blocks back into the
// height file.
//
// Leaf blocks (64 x 64) start from the grid template of their parity; every
// larger block starts from the union of its four children's LOD 14. Both are
// simplified by vertex-onto-neighbour collapses (tools::mesh::build_terrain_lods).
// Blocks whose ".tml" is not older than the depth map and reads completely
// are read back instead of regenerated, so a stopped build resumes where it
// stopped; one that does not read is regenerated, and the Output list says so.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "loamer/grid_templates.h"
#include "loamer/packed_block_mesh.h"
#include "loamer/project.h"
#include "tools/base/result.h"

namespace loamer {

constexpr size_t kDepthMapBytes = 1024 * 1024;

// The height grid of a depth map (1024 rows of 1024 bytes, row z, column x):
// H(x, z) = 32 x (D(x, z) + D(x+1, z) + D(x, z+1) + D(x+1, z+1)), the
// neighbours wrapping at 1024. A world height is H / 256. `depth_map` must
// hold at least kDepthMapBytes bytes; only those are read.
std::vector<uint16_t> height_grid(std::span<const uint8_t> depth_map);

// One vertex of a block mesh: ten floats, compared field by field when the
// children of a block are merged.
struct TerrainVertex {
  float x = 0, y = 0, z = 0;
  float nx = 0, ny = 0.5f, nz = 0;
  float u1 = 0, v1 = 0;  // x / 1024, z / 1024
  float u2 = 0, v2 = 0;  // x / 4, z / 4

  friend bool operator==(const TerrainVertex&, const TerrainVertex&) = default;
};

// The vertex at grid point (x, z) with world height y.
TerrainVertex terrain_vertex(int x, float y, int z);

struct TerrainLod {
  std::vector<uint16_t> triangles;  // three vertex numbers per triangle
  uint16_t vertex_count = 0;        // every index of the slot is below it
};

// A block's mesh: its vertices (coarser levels' vertices first) and its 16
// levels of detail, LOD 0 finest.
struct TerrainMesh {
  std::vector<TerrainVertex> vertices;
  std::array<TerrainLod, kLodSlots> lods;
};

// World height of grid point (x, z) of the block whose origin is (origin_x,
// origin_z): a quadrant whose x-lock (z-lock) is set repeats its own 512
// columns (rows) at its far edge; otherwise the map wraps at 1024.
float layout_height(std::span<const uint16_t> heights, const QuadrantLocks& locks, int origin_x, int origin_z, int x,
                    int z);

// Reduction settings of one block: vertex target from `vertex_start` (LOD 0)
// down to `vertex_end` (the d of the "VRange" line), secondary cost threshold
// from `threshold_start` to `threshold_end`.
struct BlockReduction {
  int vertex_start = 0;
  int vertex_end = 0;
  float threshold_start = 0;
  float threshold_end = 0;
};
// For a block of `size` grid units; `vertex_count` is the merged mesh's vertex
// count (ignored for a leaf).
BlockReduction block_reduction(int size, bool leaf, size_t vertex_count);

// Grid points whose heights LOD 0 of a leaf sets in the height file: for each
// triangle, each grid point of its bounding box (clamped to the map) inside
// all three edges gets trunc(256 U) where U is the triangle's plane height
// there, when 0 <= U <= 128.
void rasterise_lod0(const TerrainMesh& mesh, std::span<uint16_t> height_file);

// What stage 1 reports while it runs. Calls may come from several threads
// but never at the same time.
struct TriangulationEvents {
  std::function<void(const std::string& line)> log;
  // Blocks finished before the one just completed, as the progress bar and
  // its "%ld of %ld" text show them.
  std::function<void(long done)> progress;
};

struct TriangulationJob {
  std::span<const uint16_t> heights;  // the height grid, 1024 x 1024
  std::string path;                   // folder prefix of the block files
  int64_t depth_map_time = 0;         // ns; block files older than this are regenerated
  QuadrantLocks locks;
  int jobs = 1;  // threads working on independent blocks
  // Asked before each block (and after its children, before its reduction);
  // true stops the work. Called from the working threads, possibly at once.
  std::function<bool()> stop_requested;
};

struct TriangulationResult {
  std::vector<uint16_t> height_file;  // the height grid with the leaves' LOD 0 rasterised in
  long blocks_finished = 0;
  long blocks_generated = 0;
  long blocks_loaded = 0;
  bool stopped = false;
  // The first block file that could not be written; the work ended there.
  std::optional<tools::Error> failure;
};

// Processes the 341 blocks bottom-up (each block after its four children),
// reusing up-to-date block files and writing the others. With more than one
// job the independent subtrees run on several threads; every file written is
// identical to the one-thread build's and so is the height file of a build
// that was not stopped. A block file that cannot be written is logged
// ("Error:  " and the file's error) and ends the work: `failure` says which.
TriangulationResult triangulate(const TriangulationJob& job, const TriangulationEvents& events);

}  // namespace loamer
