#pragma once
// Turning a block mesh's triangle lists into strips (".tml" to ".tms").

#include "loamer/packed_block_mesh.h"
#include "tools/base/result.h"

namespace loamer {

// Converts the eight even LOD slots of `mesh` in place:
// 1. every list that is not a strip yet becomes one strip (the shared
//    stripifier with the terrain generator's rules; an empty list gives an
//    empty strip): count = strip length, kind = strip;
// 2. the vertices are renumbered by first use: walking the strips of slots
//    14, 12, ..., 0, a vertex not seen before gets the position in the strip
//    where it first appears as its key; vertices no strip uses get key -1.
//    The vertices are sorted by key, ascending, with a stable sort (equal
//    keys keep their old order), and offsets and indices follow;
// 3. each list's vertex count becomes its largest index + 1 (1 when empty).
// The odd slots, which block files never hold, are cleared: their indices
// would refer to the old numbering.
//
// Refuses (kIoBadData, mesh unchanged) a mesh with more than 65535 vertices,
// a list whose kind is neither a triangle list nor a strip, whose index
// count does not match its count, or whose indices are not below the mesh's
// vertex count.
tools::Status convert_to_strips(PackedBlockMesh& mesh);

}  // namespace loamer
