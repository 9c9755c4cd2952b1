#pragma once
// File names of a terrain build and the geometry of the block quadtree.
//
// The quadtree has one sector per block size: sector 0 is one block covering
// the whole grid, each further sector halves the block size, down to the
// smallest block size. A block is named by its sector and its origin (x is
// the grid column, z the grid row).

#include <cstdint>
#include <string>
#include <string_view>

namespace loamer {

// The standard sizes: a 1024 x 1024 height grid, blocks down to 64 x 64.
constexpr int kGridSize = 1024;
constexpr int kSmallestBlockSize = 64;

// Number of sectors for a grid and smallest block size (both powers of two,
// smallest <= grid): 5 for the standard sizes. 0 when the sizes are not
// usable.
int sector_count(int grid_size, int smallest_block);

// Block size of sector n: grid_size >> n (1024, 512, 256, 128, 64).
constexpr int block_size(int sector, int grid_size = kGridSize) {
  return grid_size >> sector;
}

// Blocks in sector n: (grid / block size)^2, that is 4^n.
constexpr long blocks_in_sector(int sector) {
  return 1L << (2 * sector);
}

// Blocks in all sectors: 341 for the standard sizes.
long total_blocks(int grid_size, int smallest_block);

// Number of base-2 digits of v: 0 for 0, 1 for 1, 2 for 2 and 3, 7 for 64,
// 11 for 1024.
int bit_length(uint32_t v);

// "<path>S<sector>_<x/16>_<z/16>.<ext>", the origins in two lower-case hex
// digits: block_file_name("p/", 4, 960, 960, "tms") is "p/S4_3c_3c.tms".
// `path` is the project folder string, used unchanged as a prefix.
std::string block_file_name(std::string_view path, long sector, unsigned origin_x, unsigned origin_z,
                            std::string_view ext);

// "<path>S<sector>.<ext>": the shared file that gives every block of a
// sector the same mesh layout.
std::string sector_file_name(std::string_view path, long sector, std::string_view ext);

// "<path>Output.dep".
std::string height_file_name(std::string_view path);

}  // namespace loamer
