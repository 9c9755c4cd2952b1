#pragma once
// Tables the export collects from all levels before it writes anything:
// the control registers the generators and lights refer to, and the part
// orientations.
//
// Control registers: distinct names (exact, case-sensitive), in order of
// first appearance, level 3 first down to level 0 (levels within the
// exported count). Within a level: per material, the registers of mapfunc_u,
// mapfunc_v, rgbgen and alphagen whose style is above 0x70; then, with
// part_anim_enable, per part the registers of yaw_func, pitch_func and
// roll_func (rotate_type 2) and of scale_func (scale_type 1) or scalex_func,
// scaley_func and scalez_func (scale_type 2) whose style is 0x71; then each
// light whose style is above 0x70. A generator refers to its register by its
// position in the table; a name not in it by 0.
//
// Orientations: entry 0 is the identity. Each part (levels 3 down to 0, parts
// in order) brings the orientation of its centre point (rows R0, R1, R2,
// model axes; the identity for a part without one); it joins unless an
// entry's rows each have a dot product of at least 0.999 with its rows. An
// entry's matrix is the inverse of the file-axes matrix with rows
// (R1.y, -R1.z, -R1.x, 0), (-R2.y, R2.z, R2.x, 0), (-R0.y, R0.z, R0.x, 0),
// (0, 0, 0, 1); rows that span no space (a degenerate centre point) are
// inverted as a rotation, by transposing. At most 64 entries.

#include <array>
#include <string>
#include <vector>

#include "orvo/model/model.h"
#include "tools/base/result.h"

namespace orvo {

inline constexpr std::size_t kMaxOrientations = 64;

std::vector<std::string> collect_control_registers(const std::array<const Model*, 4>& levels, int lod_count);

// The position of `name` in `table`, 0 when it is not there.
int control_register_index(const std::vector<std::string>& table, std::string_view name);

struct Orientation {
  std::array<float, 16> matrix{};  // row-major, as the file stores it
  NodeRows rows{};                 // the model-axes rows it was made from (row 3 unused)
};

struct OrientationTable {
  std::vector<Orientation> entries;
  // Per level, per part: the index of the part's orientation.
  std::array<std::vector<int>, 4> part_index;
};

// Refuses a 65th orientation, naming the level and the part.
tools::Result<OrientationTable> collect_orientations(const std::array<const Model*, 4>& levels, int lod_count);

}  // namespace orvo
