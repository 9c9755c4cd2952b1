#pragma once
// The 3DI records the export makes from one level's fields, one builder
// each (materials, part motion, user points, the light information,
// projectors, occluders), and the value conversions they share with the
// export driver and the LOD assembly. Internal to the export.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "orvo/export/textures.h"
#include "orvo/file3di/codec_3di.h"
#include "orvo/model/model.h"
#include "tools/base/result.h"

namespace orvo::export3di {

namespace f3 = file3di;

// An export refused because a value or count does not fit the file.
inline tools::Error export_error(std::string message) {
  return tools::Error{1, std::move(message), {}, tools::ErrorKind::kDoesNotFit};
}

// `e` with "LOD n, " before its message.
inline tools::Error lod_error(int lod, const tools::Error& e) {
  return tools::Error{e.code, "LOD " + std::to_string(lod) + ", " + e.message, {}, e.kind};
}

// Model axes (x, y, z) to file axes (-y, z, x).
inline f3::Vec3f file_axes(float x, float y, float z) {
  return {-y, z, x};
}
inline f3::Vec3f file_axes(const Vec3& v) {
  return file_axes(v.x, v.y, v.z);
}
inline f3::Vec3f as_array(const Vec3& v) {
  return {v.x, v.y, v.z};
}

// 0x00RRGGBB, each channel clamped to 0..255.
inline uint32_t packed(int r, int g, int b) {
  const auto byte = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
  return byte(r) << 16 | byte(g) << 8 | byte(b);
}

// 16.16 values; `what` names the value in the error.
tools::Result<int32_t> fixed16(float v, const std::string& what);
tools::Result<f3::Vec3i> fixed16(float x, float y, float z, const std::string& what);

// The record of material `index` of `level`; a generator value that does
// not fit its 16-bit field refuses it, naming the material and the value.
tools::Result<f3::Material> material_record(const Model& level, int index, const MaterialTextures& textures,
                                            const std::vector<std::string>& registers);

// The motion record of part `part`, whose orientation is entry `matrix` of
// the `RMatrix` table.
tools::Result<f3::PartMotion> part_motion(const Model& level, int part, int matrix,
                                          const std::vector<std::string>& registers);

// The user points of level 0.
tools::Result<std::vector<f3::UserPoint>> user_points(const Model& lod0);

// The ambient and direct light generators and the lights of level 0.
f3::Lightinfo lightinfo(const Model& lod0, const std::vector<std::string>& registers);

// The frame a projector material projects from.
f3::Projector projector_record(const Model& level, int material);

// The occluder records of level 0's bounding objects `indices` (its
// occluders, in volume order); a face corner beyond 127 refuses them.
tools::Result<std::vector<f3::Occluder>> occluder_records(const Model& lod0, const std::vector<int>& indices);

}  // namespace orvo::export3di
