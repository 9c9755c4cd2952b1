#pragma once
// A binary model as the preview holds it after loading: every section in
// the main memory pool under its tag, indices resolved into pointers,
// render paths chosen for the current device.
//
// Section            pool tag          what it holds
// `CModel`           "GPM CModel"      collision header, vertices, normals, faces,
//                                      parts, points, planes, volumes
// render vertices    "GPM RVerts"      kind 'M': VertexM (40 bytes)
//                    "GPM RPSVerts"    kind 'S': VertexS (44), kind 'P': VertexP (56)
// `RModel` (per LOD) "GPM RModel"      LOD header, points, parts, strip groups,
//                                      strips, indices, materials, part motion,
//                                      action planes, projectors
// `CtrlReg`          "GPM CtrlReg"     register names and their resolved registers
// `RMatrix`          "GPM RMatrix"     orientation matrices
// `Lightinfo`        "GPM Lightinfo"   light header and lights
// `VStream`          "GPM VStream"     tangent and binormal per render vertex
// `OccData`          "GPM OccData"     occluders with their vertices, planes, faces
//
// Each section is one 16-byte aligned pool block; the records inside it are
// plain data (no destructors), so releasing a model is releasing its blocks.
// User points and texture records live on the ordinary heap.
//
// Generator fields keep the file's layout; once loaded, the byte that held a
// `CtrlReg` table index (styles above 0x70) holds the run-time register
// index instead, so evaluation reads the register values directly.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "orvo/file3di/codec_3di.h"

namespace orvo::render {

using file3di::Box6i;
using file3di::GeneratorField;
using file3di::LightGenerator;
using file3di::LightRecord;
using file3di::Matrix4f;
using file3di::PartMotion;
using file3di::Tangent;
using file3di::Vec3f;
using file3di::Vec3i;

// ---- Render vertices (the file's colour word dropped) ---------------------

struct VertexM {  // 40 bytes
  Vec3f position;
  Vec3f normal;
  std::array<float, 2> uv1;
  std::array<float, 2> uv2;
};

// Kind 'S': the older skinned record without its bytes 0x1C-0x1F (position,
// one blend weight, normal, two texture coordinate sets).
struct VertexS {  // 44 bytes
  std::array<uint8_t, 44> bytes;
};

struct VertexP {  // 56 bytes
  Vec3f position;
  Vec3f weights;
  std::array<uint8_t, 4> bones;
  Vec3f normal;
  std::array<float, 2> uv1;
  std::array<float, 2> uv2;
};

static_assert(sizeof(VertexM) == 40 && sizeof(VertexS) == 44 && sizeof(VertexP) == 56);

enum class MeshKind : uint8_t { kPlain = 1, kOldSkinned = 2, kSkinned = 3 };  // 'M', 'S', 'P'

// ---- Textures --------------------------------------------------------------

// A texture record of the file with what creating it gave.
struct Texture {
  file3di::TextureRecord record;
  uint16_t index = 0;        // its position in the table (the file's index field)
  int32_t handle = 0;        // the texture factory's handle; 0 until created
  bool placeholder = false;  // the file could not be made: a checkerboard stands in
  std::string created_name;  // what the factory made it from, or the placeholder's name
};

// ---- `CModel` ----------------------------------------------------------------

struct CollisionVolume {
  uint32_t type, flags;
  Vec3i centre;
  int32_t radius, horizontal_radius, height;
  Vec3i half_size;
  Box6i box;
  std::span<file3di::VolumePlane> planes;
};

struct CollisionPart {
  uint32_t flags;
  int32_t parent;
  Vec3i pivot;
  Box6i box;  // widened to cover the boxes of its volumes
  Vec3i centre;
  int32_t radius, horizontal_radius, height;
  std::span<file3di::CollisionVertex> vertices;
  std::span<file3di::CollisionFace> faces;  // corners and normal index part-local
  std::span<file3di::CollisionNormal> normals;
  std::span<CollisionVolume> volumes;
};

struct CModel {
  uint32_t skinned;
  int32_t radius, horizontal_radius, height;
  Box6i box;
  std::span<file3di::CollisionVertex> vertices;  // A, all parts
  std::span<file3di::CollisionNormal> normals;   // B
  std::span<file3di::CollisionFace> faces;       // C
  std::span<CollisionPart> parts;                // D
  std::span<Vec3i> points;                       // E
  std::span<file3di::VolumePlane> planes;        // F
  std::span<CollisionVolume> volumes;            // G
};

// ---- `RModel` ------------------------------------------------------------------

struct Material {
  file3di::Material record;  // anim_time already scaled when flag 0x10 is set
  uint32_t active_colour;    // 0xFFRRGGBB of the active texture set
  const Texture* texture;    // colour texture, else alpha texture, else null
  int32_t device_material;   // the factory's handle; 0 until created
  uint8_t passes;            // 1, or 2 with a second layer; 0 until created
};

enum class Path : uint8_t { kNone = 0, kPlain = 1, kTangent = 2 };

struct Strip {
  const Material* material;
  uint32_t addr;  // offset of its first index among all indices of the model
  uint32_t index_count;
  uint32_t primitive;  // 0 list, 1 strip
  uint32_t base_vertex;
  uint32_t vertex_span;
  std::array<uint8_t, 16> palette;  // skinned LODs
  uint8_t palette_size;
  Path path;                    // plain LODs: the path a strip with a shaded material needs
  std::span<uint16_t> indices;  // relative to base_vertex
};

struct StripGroup {
  std::span<Strip> class0;
  std::span<Strip> class1;
};

struct Part {
  int32_t parent;
  Vec3f relative_pivot, pivot, centre;
  int32_t radius;
  std::span<StripGroup> levels;  // plain LODs: one group per detail level
  bool needs_plain;              // drawn by the plain path
  bool needs_tangent;            // drawn by the tangent path
};

struct ActionPlane {
  uint32_t type;
  Vec3f point, normal;
  Strip strip;
};

struct Projector {
  Matrix4f matrix, inverse;
  const Material* material;
  int32_t render_target;  // the factory's handle; 0 until created
};

// Skinning mode of a skinned LOD: how the preview blends its vertices.
enum class Skinning : uint8_t { kNone = 0, kVertexShader = 1, kTnl = 2, kSoftware = 3 };

struct Lod {
  std::array<int16_t, 12> anim_frames;
  std::array<int16_t, 12> anim_times;
  bool skinned;
  bool part_motion;
  Skinning skinning;
  std::span<Vec3f> points;
  std::span<Part> parts;
  StripGroup skin_group;    // skinned LODs: all their strips
  std::span<Strip> strips;  // every strip of the LOD in file order
  std::span<Material> materials;
  std::span<PartMotion> motions;  // one per part when part_motion
  std::span<ActionPlane> action_planes;
  std::span<Projector> projectors;
  std::span<Matrix4f> matrices;  // the model's `RMatrix` table
};

// ---- Further sections -------------------------------------------------------------

struct CtrlReg {
  file3di::CtrlReg name;
  uint32_t register_index;  // in the run-time register table; 0 for an unknown name
};

struct Lightinfo {
  uint32_t version;
  LightGenerator ambient, direct;
  std::span<LightRecord> lights;
};

struct Occluder {
  uint8_t kind, first_number, second_number;
  Vec3f centre;  // the mean of its vertices
  float radius;  // the largest distance of a vertex from the centre
  // The same measured on the coordinate planes: x-y, y-z, x-z.
  float radius_xy, radius_yz, radius_xz;
  std::span<Vec3f> vertices;
  std::span<std::array<float, 4>> planes;
  std::span<file3di::OccluderFace> faces;
};

// ---- The model ---------------------------------------------------------------------

struct Model {
  std::string file_name;  // as asked for, with the extension ".3DI"
  std::array<uint8_t, file3di::kFileHeaderBytes> header_bytes{};
  file3di::FileHeader header;
  MeshKind kind = MeshKind::kPlain;
  bool skinned = false;
  bool tangent_path = false;          // some LOD part is drawn by the tangent path
  bool second_layer = false;          // some material has a second texture layer
  uint32_t running_index_count = 0;   // indices of every strip of every LOD
  uint32_t largest_span = 0;          // the largest vertex span of a strip
  uint32_t largest_index_count = 0;   // the largest index count of a strip
  std::array<uint8_t, 2> variants{};  // vertex buffer memory variants: 0 none, 1 "Sys", 2 "Vid"
  uint32_t vertex_byte_sum = 0;
  uint32_t material_passes = 0;
  bool textures_created = false;  // create_textures_and_materials has run for it

  std::vector<file3di::UserPoint> user_points;
  std::vector<Texture> textures;
  CModel* collision = nullptr;
  uint32_t vertex_count = 0;
  std::span<VertexM> vertices_m;
  std::span<VertexS> vertices_s;
  std::span<VertexP> vertices_p;
  std::array<Lod*, file3di::kMaxLods> lods{};
  uint32_t lod_count = 0;
  std::span<CtrlReg> ctrl_regs;
  std::span<Matrix4f> matrices;
  Lightinfo* lightinfo = nullptr;
  std::span<Tangent> vstream;
  std::span<Occluder> occluders;

  // The pool blocks of the sections, released by the loader.
  std::vector<void*> blocks;

  // The runtime vertex array's bytes.
  std::span<const uint8_t> vertex_bytes() const;
};

static_assert(std::is_trivially_destructible_v<Lod> && std::is_trivially_destructible_v<CModel> &&
              std::is_trivially_destructible_v<Occluder> && std::is_trivially_destructible_v<Material>);

}  // namespace orvo::render
