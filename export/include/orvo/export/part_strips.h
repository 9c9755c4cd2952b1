#pragma once
// The render strips of the export: for one part of a level, material by
// material, the part's triangles as one triangle strip or one triangle list
// per detail level, indexing the file's vertex table.
//
// Per material (in material order, skipping kRenderDontDraw materials) the
// part's faces of that material are collected in face order and
// their corners looked up in the vertex table. With more than one detail
// level the corners are welded more coarsely for the reducer (positions
// truncated to 1/256, normal and colour ignored) and faces whose corners
// weld together are dropped. Level g keeps at most
// N - floor(g x (N - trunc(N x f)) / L) + 1 of the N welded vertices, f being
// the level's pm_polythresh over its face count; level 0 is the whole mesh.
//
// Each level's triangles are rebased to their smallest vertex index and
// stripified. A strip longer than one and a half times the triangle count
// (more than half of the list's 3t indices) is not worth it: the triangles
// are then written as a list in the strip's order (primitive 0); otherwise
// as the strip (primitive 1). By that rule two triangles sharing an edge
// (a strip of 4 for 2 triangles) are a list; the isolated triangle too.

#include <cstdint>
#include <string>
#include <vector>

#include "orvo/export/vertex_table.h"
#include "orvo/model/model.h"
#include "tools/base/notifier.h"
#include "tools/base/result.h"

namespace orvo {

inline constexpr int kDetailLevels = 16;           // with pm_enable
inline constexpr uint32_t kMaxVertexSpan = 65535;  // indices are u16

enum class Primitive : uint8_t { kList = 0, kStrip = 1 };

// One run of indices, written as one strip header and its indices.
struct StripRecord {
  int32_t material = 0;
  std::vector<uint16_t> indices;  // rebased: add `base` for the vertex table index
  Primitive primitive = Primitive::kStrip;
  uint32_t base = 0;             // smallest vertex table index used
  uint32_t span = 0;             // largest minus smallest
  int blend_class = 0;           // 0 when the material's blending_mode is below 2, else 1
  std::vector<int32_t> palette;  // skinned strips: the bones of the palette
};

// The strips of one part at one detail level, in material order, with the
// counts of each blend class.
struct StripGroup {
  std::vector<StripRecord> strips;
  int class_counts[2] = {0, 0};
};

// The detail levels of one part (one group per level), and the texts of
// the "Stripification Error!" messages its strips gave.
struct PartStrips {
  std::vector<StripGroup> levels;
  std::vector<std::string> messages;
};

// Builds the strips of part `part_index` of `context.model` with `levels`
// detail levels (1, or kDetailLevels with pm_enable) and reduction fraction
// `fraction`. Every corner must be in `table` (the vertex table built from
// the same level). A strip that does not reorder into a list of the same
// length is kept as emitted, and its message ("Stripification Error!",
// caption "Orvo Export") is shown on `notifier` when one is given and kept
// in the result either way (the export builds parts on several threads and
// shows the messages afterwards, in part order). Refused: a corner missing from the table, a
// level whose vertex span exceeds kMaxVertexSpan (the error names the part,
// the material and the span).
tools::Result<PartStrips> build_part_strips(const CornerContext& context, const VertexTable& table, int part_index,
                                            int levels, float fraction, tools::UserNotifier* notifier);
// The same from the render vertex of each corner as the vertex pass found
// it (`corners`, numbered as `table` is now): no corner is built or looked
// up again. A corner of a drawn face without a vertex is refused as above.
tools::Result<PartStrips> build_part_strips(const CornerContext& context, const VertexTable& table,
                                            const PartCorners& corners, int part_index, int levels, float fraction,
                                            tools::UserNotifier* notifier);

// The most vertices a plain model may have: the sorting remap's size.
inline constexpr std::size_t kMaxSortedVertices = 32768;

// The sorted order of a vertex table of `table_size` records: each vertex
// numbered the first time the strips meet it (the strips in pool order:
// the lowest detail level's first), then every vertex no strip meets, in
// table order. Returns the new index of every old one.
std::vector<uint32_t> first_use_order(std::size_t table_size, const std::vector<const StripRecord*>& strips);

// The triangles a strip record describes, as vertex table indices (strips
// decoded with alternating winding, degenerate triangles skipped).
std::vector<uint32_t> record_triangles(const StripRecord& record);

}  // namespace orvo
