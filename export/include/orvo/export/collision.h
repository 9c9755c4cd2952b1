#pragma once
// Collision and bounding data of the 3DI export: the model-level bounding
// values, and the integer collision model the game tests against (quantised
// vertices, the shared face normals, faces with planes and boxes, per-part
// boxes and spheres, the attachment points and the collision volumes).
//
// Everything is computed as the stored integers, in source axes (x, y, z
// with z up): coordinates and distances are 16.16 (value x 65536),
// collision vertices 8.8 (x 256) and normals 2.14 (x 16384), all truncated
// toward zero. The records are the codec's own (file3di::CModel); writing
// them is the codec's business, this file only fills them.
//
// Geometry (parts, vertices, faces, points) comes from the collision level,
// the first level whose polycollision setting is set; the volumes and their
// planes always come from level 0, each going with the part of its number
// (in volume order within it). A volume whose part number the collision
// level does not have is left out, with a warning.
//
// Values that do not fit their fields:
// - A collision vertex coordinate outside the 8.8 range (-128 to just under
//   +128 units) is clamped to the nearest value the field holds, and one
//   warning per part names the part, how many vertices were clamped and the
//   first one's coordinate. Models larger than that range (sky domes,
//   big buildings) have always been exported; refusing them would stop
//   exports that work today, while a wrapped value would put the vertex on
//   the far side of the model. Clamped vertices stay on the side they were
//   on and the artist is told. Face planes and boxes keep the true
//   positions, which 16.16 holds.
// - A 16.16 value beyond +-32768 units (a face box, a part box widened by a
//   far volume, a pivot, a point, a volume's shape), a value that is not a
//   number, and a part with more vertices or normals than a 16-bit index
//   reaches refuse the collision model with an error naming the part (or
//   volume or point) and the coordinate. Such values come from broken or
//   wrongly scaled input, and there is no nearby value that would still
//   mean anything to the game, so no file is better than a wrong one.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/export/vertex_table.h"
#include "orvo/file3di/codec_3di.h"
#include "orvo/model/model.h"

namespace orvo {

// The error code of a collision model that cannot be stored (the export
// fails).
inline constexpr int kCodeCollisionDoesNotFit = 1;

// Model bounding values of one level, over every corner of every face whose
// material is drawn (no kRenderDontDraw). The box starts at 10000 (min)
// and -10000 (max) per axis, so a level without such faces keeps those.
struct BoundingValues {
  Vec3 min{10000, 10000, 10000};
  Vec3 max{-10000, -10000, -10000};
  float radius = 0;             // largest distance of a corner from the origin
  float horizontal_radius = 0;  // the same in x and y only
  float height = 0;             // max z - min z
};
BoundingValues model_bounding_values(const Model& level);

// The four level slots, level 0 first; a null slot is an empty level.
using LevelSlots = std::array<const Model*, 4>;

// The first of levels 0..3 whose polycollision setting is non-zero; 0 when
// none is.
int collision_lod(const LevelSlots& levels);

// truncate(value x 65536), refused when it does not fit an i32 or is not a
// number; `what` names the value in the error.
tools::Result<int32_t> fixed_16_16(float value, std::string_view what);

// The collision model as the file holds it: the header values, each part
// with its vertices, normals (indexed part-locally by its faces), faces and
// the collision volumes of its number, and the attachment points.
struct CollisionModel {
  file3di::CModel model;
  // Indices into level 0's bounding objects of its occluders (types 20 to
  // 24), in volume order, for the occluder section.
  std::vector<int> occluders;
  // One "BBPart ..." line per collision volume, for the debug output.
  std::vector<std::string> debug_lines;
  // For the export log: the volumes whose part number the collision level
  // does not have (left out), then the values that were clamped to fit
  // (see above).
  std::vector<std::string> warnings;
};

// The shape values of a volume, in units, from its vertices and box: the
// centre, radius and box the conversion found, the largest x-y distance of
// a vertex from the centre, the height of the box, the half sizes, and the
// six box planes (outward normals; min x, max x, min y, max y, min z, max z).
struct VolumeShape {
  Vec3 centre;
  float radius = 0, horizontal_radius = 0, height = 0;
  Vec3 half_size;
  Vec3 min, max;
  std::vector<std::array<float, 4>> planes;  // a, b, c, d
};
VolumeShape volume_shape(const BoundingObject& volume);

// The stored type of a collision volume.
uint32_t stored_volume_type(int32_t type);
// Collision flags and surface type of faces of `material`.
uint32_t collision_face_flags(const ModelMaterial& material);
uint8_t surface_type(const ModelMaterial& material);

// The index of the entry of `table` nearest to `n` (smallest squared
// distance, the first among equals); 0 when the table is empty.
int nearest_normal(const std::vector<Vec3>& table, Vec3 n);

// The debug line of a volume of part `part` with stored box `box`.
std::string bbpart_line(int32_t part, const file3di::Box6i& box);

// The collision model of `levels` (level 0 must be set).
tools::Result<CollisionModel> build_collision_model(const LevelSlots& levels);
// The same, with the corner frames of the collision level's parts as the
// vertex pass found them (`corners[p]` for part p, when given; the frames of
// a part it does not cover are computed).
tools::Result<CollisionModel> build_collision_model(const LevelSlots& levels, const std::vector<PartCorners>* corners);

}  // namespace orvo
