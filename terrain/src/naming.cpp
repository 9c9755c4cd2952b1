#include "loamer/naming.h"

#include <bit>
#include <cstdio>

namespace loamer {

int sector_count(int grid_size, int smallest_block) {
  if (grid_size <= 0 || smallest_block <= 0 || smallest_block > grid_size) return 0;
  if (!std::has_single_bit(static_cast<unsigned>(grid_size)) ||
      !std::has_single_bit(static_cast<unsigned>(smallest_block))) {
    return 0;
  }
  return std::countr_zero(static_cast<unsigned>(grid_size)) - std::countr_zero(static_cast<unsigned>(smallest_block)) +
         1;
}

long total_blocks(int grid_size, int smallest_block) {
  long total = 0;
  for (int n = 0; n < sector_count(grid_size, smallest_block); ++n) total += blocks_in_sector(n);
  return total;
}

int bit_length(uint32_t v) {
  return std::bit_width(v);
}

std::string block_file_name(std::string_view path, long sector, unsigned origin_x, unsigned origin_z,
                            std::string_view ext) {
  char name[64];
  std::snprintf(name, sizeof name, "S%ld_%02x_%02x.", sector, origin_x / 16, origin_z / 16);
  std::string out(path);
  out.append(name).append(ext);
  return out;
}

std::string sector_file_name(std::string_view path, long sector, std::string_view ext) {
  std::string out(path);
  out.append("S").append(std::to_string(sector)).append(".").append(ext);
  return out;
}

std::string height_file_name(std::string_view path) {
  std::string out(path);
  out.append("Output.dep");
  return out;
}

}  // namespace loamer
