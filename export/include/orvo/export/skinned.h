#pragma once
// Skinned models: the bone palette partitioner and the skinned vertex table.
//
// The game skins with at most 16 bone matrices at a time, so each skinned
// material's triangles are split into segments whose vertices use at most 16
// distinct bones between them. Each segment gets its own copies of the
// vertices it uses, a triangle list in segment-local indices and a palette;
// the copies' bone indices become palette positions.

#include <array>
#include <cstdint>
#include <vector>

#include "orvo/export/part_strips.h"
#include "orvo/export/vertex_table.h"
#include "tools/base/result.h"

namespace orvo {

inline constexpr int kMaxBoneSegments = 64;
inline constexpr int kPaletteSize = 16;
inline constexpr int kMaxBone = 254;  // bone numbers index a 255-entry table

struct BoneSegment {
  std::vector<ExportVertex> vertices;  // copies, bones rewritten to palette positions
  std::vector<uint16_t> indices;       // three per triangle, into `vertices`
  int32_t palette_size = 0;
  std::array<int32_t, kPaletteSize> palette{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  int32_t triangle_count() const { return static_cast<int32_t>(indices.size() / 3); }
};

// Sorts a vertex's four weights in descending order, each bone moving with
// its weight (a bubble pass over the slots repeated until nothing moves;
// equal weights keep their order).
void sort_bone_weights(ExportVertex& v);

// Splits `triangles` (three indices into `vertices` each) into segments of
// at most 16 bones. Every vertex's weights are sorted first (in place).
// Triangles are placed in list order into the first segment whose palette
// can take the bones of the triangle's corners (each corner's distinct
// bones, a bone of two corners counted twice). Returns the segments that
// received triangles, in order. Refused: a bone outside 0..254, and a
// triangle that fits none of the 64 segments (the error names `what` and
// the triangle).
tools::Result<std::vector<BoneSegment>> partition_bones(std::vector<ExportVertex>& vertices,
                                                        const std::vector<uint16_t>& triangles,
                                                        const std::string& what);

// The skinned vertex table of one level and its strips: per material in
// order (skipping kRenderDontDraw materials), the faces of every part with
// that material, their corners looked up in the plain vertex table `plain`,
// the used vertices numbered in order of first use and copied, unused bone
// slots given the record's first used bone (bone 0 when none is used) with
// weight 0, then partitioned. Each segment becomes one triangle list
// appended to `table`: base vertex = the table's size before it, vertex span
// = largest minus smallest index (its vertex count less one), its palette,
// the blend class of the material.
tools::Result<std::vector<StripRecord>> build_skinned_strips(const CornerContext& context, const VertexTable& plain,
                                                             std::vector<ExportVertex>& table);
// The same from the render vertex of each corner as the vertex pass found
// it (`corners`, one per part of the level).
tools::Result<std::vector<StripRecord>> build_skinned_strips(const CornerContext& context, const VertexTable& plain,
                                                             const std::vector<PartCorners>& corners,
                                                             std::vector<ExportVertex>& table);

}  // namespace orvo
