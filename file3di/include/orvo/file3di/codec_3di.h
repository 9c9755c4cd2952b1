#pragma once
// The binary model file (".3di"): one model with one to four levels of
// detail, little-endian, packed, every record directly after the previous
// one. This header is the one definition of its layout; the exporter writes
// through encode_3di and the loader reads through decode_3di.
//
// Sections in file order:
//
//   #   section               present when              bytes
//   1   file header           always                    236
//   2   user points           user point count > 0      count x 48
//   3   texture table         always                    4 + count x 60
//   4   `CModel` (collision)  always                    136 + blob
//   5   render vertices       always                    count x 44 ('M'), x 60 ('P'), x 48 ('S')
//   6   `RModel`              once per LOD (1-4)        136 + blob, each
//   7   `CtrlReg` table       register count > 0        count x 44
//   8   `RMatrix` table       matrix count > 0          count x 64
//   9   `Lightinfo`           section flag bit 0        8 + 60 + 48 x lights
//   10  `VStream` (tangents)  section flag bit 1        16 + 24 x vertex count
//   11  `OccData` (occluders) section flag bit 2        60 x n + per occluder
//                                                       12 x V + 16 x P + 12 x F
//
// File header (236 bytes):
//   0 "GP"; 2 kind 'M' plain, 'P' skinned ('S' older skinned, read only);
//   3 u8 version 2; 4 u32 revision (259); 8 char[16] model name;
//   24 u32 section flags (bit 0 Lightinfo, 1 VStream, 2 OccData);
//   28 u32 LOD count; 32 i32[4] LOD switch distances 16.16; 48 reserved 16;
//   64 u32[4] render function codes; 80 reserved 16; 96 i32 bounding radius,
//   100 i32 horizontal radius, 104 i32 height (16.16); 108 reserved 28;
//   136 u32 render vertex count; 140 reserved 36; 176 u32 user point count;
//   180 reserved 8; 188 u32 register count; 192 runtime u32;
//   196 u32 matrix count; 200 runtime 8; 208 u32 occluder count;
//   212 reserved 24.
//
// `CModel`: a 136-byte header (0 u32 skinned, 4 u32 blob size, 8 runtime,
// 0x0C radius, 0x10 horizontal radius, 0x14 height, 0x18 box i32[6],
// 0x30.. counts A..G each followed by a runtime u32, 0x64 36 bytes), then the
// blob: A vertices x 8, B normals x 8, C faces x 44, D parts x 128,
// E points x 12, F volume planes x 16, G volumes x 96, so that
// blob = 8A + 8B + 44C + 128D + 12E + 16F + 96G. Vertices, normals and faces
// are stored part after part, volumes grouped by part in ascending order and
// their planes in volume order; every part record holds its own counts.
//
// `RModel`: a 136-byte LOD header (0 blob size, 8 material count,
// 0x10 part count, 0x18 point count, each followed by a runtime u32;
// 0x20 i16[12] animation frame counts; 0x38 i16[12] frame times;
// 0x50 u32 LOD flags (bit 0 skinned layout, bit 1 part motion);
// 0x60 action plane count; 0x68 projector count), then the blob:
//   points x 12, parts x 72, the strip area, materials x 152,
//   part motion x 92 (one per part, when flag bit 1),
//   action planes x (88 + 2 x indices), projectors x 232.
// Strip area, plain LOD: one 32-byte strip group per part and detail level
// (the first part's levels 0..n-1, then the next part's, ...), then per part and level its
// class 0 strips and then its class 1 strips, each a 40-byte header and
// index count x u16. Skinned LOD: a 28-byte skin block (group count 1), one
// strip group, its class 0 and class 1 strips with 48-byte headers.
// So blob = 152 M + 12 P + (92 N when motion) + strip area + sum(88 + 2 n)
// over action planes + 232 R, the strip area being 72 N + 32 x (parts x
// levels) + sum(40 + 2 n) (plain) or 72 N + 28 + 32 + sum(48 + 2 n) (skinned).
//
// Every record is described, offset by offset, at its struct below. Values
// that are stored as file values are kept here as file values (fixed-point
// integers, packed colours); fixed_point.h converts.
//
// What is derived rather than held: counts, sizes and the section flags come
// from the containers; a texture record's index is its position; a
// collision normal's axis code and an occluder face's edge keys come from
// the record's own values. The encoder writes them, the decoder checks them.
// Reserved fields and runtime slots are written as 0 (a strip header's
// runtime slot as "Addr") and are not read back.
//
// Decisions where the layout leaves room:
// - A name field that fills all its bytes without a NUL reads as its first
//   N-1 characters, as the writer would have cut it.
// - A kind 'S' render vertex (48 bytes) is held as its raw bytes.
// - A `Lightinfo` whose version is below 256 is held as its raw body and
//   written back as it was; from 256 on, size must be 60 + 48 x lights.
// - `VStream` size 0 reads as 24 x vertex count; any other size must equal it.
// - A blob must be used up exactly by its contents, and the file must end
//   with its last section (bytes after it are refused).
// - A skinned LOD's skin block must count exactly one strip group; the
//   detail level field of its parts is written as 1 and not read back.
// - An occluder face corner is at most 127: an edge key keeps the larger
//   index in 7 bits of its high byte.
// - The strip headers' palette is written only in the skinned layout; the
//   rotation and scale areas of a part motion record hold what its flags say.
// - model_name_of takes '/' as well as a backslash as a folder separator.
// - The header's occluder count is read only when flag bit 2 is set.
// - Both sides refuse a strip whose material is not in its LOD, an index
//   above its vertex span, a span reaching past the render vertices, a
//   palette above 16 bones, a collision face corner or normal not in its
//   part, an occluder face corner not in its occluder, a part motion matrix
//   index not in the `RMatrix` table, and a skinned bone index above 15.
//   Generator register indices are not checked (an unknown name is 0).
// - Limits refused on both sides (so whatever reads can be written back):
//   256 textures, 64 parts per LOD, 64 matrices, 16384 strips per LOD,
//   vertex spans of 65535, 1 to 4 LODs.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/file3di/byte_io.h"
#include "tools/base/fixed_string.h"
#include "tools/base/result.h"

namespace orvo::file3di {

// Result codes of the codec. The header codes match the loader's checks.
enum Codec3diCode : int {
  k3diCannotOpen = 1,   // the file cannot be opened or read
  k3diTruncated = 2,    // the file ends inside a section or record
  k3diBadVersion = 3,   // "incorrect version number"
  k3diBadRevision = 4,  // "revision number newer than exe - update game GET"
  k3diBadKind = 5,      // "unknown mesh type"
  k3diBadBone = 6,      // "bad bone index in skinned mesh"
  k3diBadData = 7,      // a field contradicts the rest of the file
  k3diDoesNotFit = 8,   // a record or table exceeds what the file can hold
};

constexpr size_t kFileHeaderBytes = 236;
constexpr size_t kUserPointBytes = 48;
constexpr size_t kTextureRecordBytes = 60;
constexpr size_t kSectionHeaderBytes = 136;  // `CModel` and `RModel` headers
constexpr size_t kCollisionVertexBytes = 8;
constexpr size_t kCollisionNormalBytes = 8;
constexpr size_t kCollisionFaceBytes = 44;
constexpr size_t kCollisionPartBytes = 128;
constexpr size_t kCollisionPointBytes = 12;
constexpr size_t kVolumePlaneBytes = 16;
constexpr size_t kCollisionVolumeBytes = 96;
constexpr size_t kPlainVertexBytes = 44;
constexpr size_t kSkinnedVertexBytes = 60;
constexpr size_t kOldSkinnedVertexBytes = 48;
constexpr size_t kLodPointBytes = 12;
constexpr size_t kLodPartBytes = 72;
constexpr size_t kStripGroupBytes = 32;
constexpr size_t kSkinBlockBytes = 28;
constexpr size_t kPlainStripHeaderBytes = 40;
constexpr size_t kSkinnedStripHeaderBytes = 48;
constexpr size_t kMaterialBytes = 152;
constexpr size_t kPartMotionBytes = 92;
constexpr size_t kActionPlaneBytes = 88;  // without its indices
constexpr size_t kProjectorBytes = 232;
constexpr size_t kCtrlRegBytes = 44;
constexpr size_t kRMatrixBytes = 64;
constexpr size_t kLightHeaderBytes = 60;
constexpr size_t kLightRecordBytes = 48;
constexpr size_t kVStreamHeaderBytes = 16;
constexpr size_t kTangentBytes = 24;
constexpr size_t kOccluderBytes = 60;
constexpr size_t kOccluderVertexBytes = 12;
constexpr size_t kOccluderPlaneBytes = 16;
constexpr size_t kOccluderFaceBytes = 12;

constexpr uint8_t kFormatVersion = 2;
constexpr uint32_t kRevision = 259;
constexpr uint32_t kLightinfoVersion = 256;
constexpr size_t kMaxLods = 4;
constexpr size_t kMaxTextures = 256;
constexpr size_t kMaxPartsPerLod = 64;
constexpr size_t kMaxMatrices = 64;
constexpr size_t kMaxStripsPerLod = 16384;
constexpr uint32_t kMaxVertexSpan = 0xFFFF;
constexpr size_t kMaxPaletteBones = 16;
constexpr uint8_t kMaxBoneIndex = 15;
constexpr uint8_t kNoTexture = 255;

using Name16 = tools::FixedString<16>;
using Vec3f = std::array<float, 3>;
using Vec3i = std::array<int32_t, 3>;
using Box6i = std::array<int32_t, 6>;    // min x, max x, min y, max y, min z, max z
using Matrix4f = std::array<float, 16>;  // row-major

// ---- 1. File header ---------------------------------------------------

// The fields of the file header that are not derived from the sections.
struct FileHeader {
  char kind = 'M';                            // 2: 'M' plain, 'P' skinned, 'S' older skinned
  uint32_t revision = kRevision;              // 4
  Name16 model_name;                          // 8
  std::array<int32_t, 4> lod_distance{};      // 32, 16.16
  std::array<uint32_t, 4> render_function{};  // 64
  int32_t bounding_radius = 0;                // 96, 16.16
  int32_t horizontal_radius = 0;              // 100, 16.16
  int32_t height = 0;                         // 104, 16.16
  bool operator==(const FileHeader&) const = default;
};

// Render function code of a render_function name: its first four
// characters, each a signed byte, packed c0 c1 c2 c3 from the top byte down
// (a shorter name packs its NUL and the zeros after it).
uint32_t render_function_code(std::string_view name);

// The model name of an output path: after the last backslash, up to the
// first '.', at most 15 characters.
Name16 model_name_of(std::string_view output_path);

// ---- 2. User points (48 bytes) -----------------------------------------

struct UserPoint {
  Vec3i position{};           // 0x00, 16.16, source axes
  Vec3i vector{};             // 0x0C, 16.16, source axes
  uint32_t value = 0;         // 0x18
  uint8_t type = 0;           // 0x1C, the type letter
  uint8_t first_number = 0;   // 0x1D
  uint8_t second_number = 0;  // 0x1E
  // 0x1F u8 0
  Name16 name;  // 0x20
  bool operator==(const UserPoint&) const = default;
};

// ---- 3. Texture table: u32 count, then 60-byte records -----------------

// TextureRecord::flags: how the materials use the texture; an entry that
// several materials use carries the union.
enum TextureUsage : uint16_t {
  kTextureColour = 0x07,          // a material's colour texture (its three colour slots)
  kTextureFromSecondName = 0x08,  // built from the second name
  kTextureAlphaOnly = 0x10,       // an alpha texture registered on its own
  kTextureAlpha = kTextureAlphaOnly | kTextureFromSecondName,
  kTextureCombined = 0x100,       // colour and alpha files in one entry: built from both names
  kTextureOrdinaryLayer = 0x200,  // used by an ordinary (first-stage) material
  kTextureSecondLayer = 0x400,    // used by a second-stage material
};

struct TextureRecord {
  Name16 first_name;   // 0x00
  Name16 second_name;  // 0x10
  // 0x20 u32 reserved; 0x24 u16 index = position in the table
  uint16_t flags = 0;   // 0x26 usage flags
  uint16_t width = 0;   // 0x28
  uint16_t height = 0;  // 0x2A
  // 0x2C 16 bytes runtime
  bool operator==(const TextureRecord&) const = default;
};

// ---- 4. `CModel` --------------------------------------------------------

struct CollisionVertex {        // 8 bytes
  int16_t x = 0, y = 0, z = 0;  // 8.8, source axes
  uint16_t owner = 0;           // bone/part of a skinned vertex, else 0
  bool operator==(const CollisionVertex&) const = default;
};

struct CollisionNormal {  // 8 bytes: nx, ny, nz (2.14), then the axis code
  int16_t nx = 0, ny = 0, nz = 0;
  bool operator==(const CollisionNormal&) const = default;
};

// Dominant axis code of a stored normal: 1 (z), 2 (y) or 4.
uint16_t dominant_axis(const CollisionNormal& n);

// Collision face flags, from the face's material.
enum CollisionFaceFlag : uint32_t {
  kFaceTwoSided = 0x1,  // kRenderTwoSided
  kFaceNotDrawn = 0x2,  // kRenderDontDraw
  // Physical attribute bits 0x10 to 0x100 (0x100 kPhysicalMoveIgnore), kept
  // at their own values.
  kFacePhysicalBits = 0x10 | 0x20 | 0x40 | 0x80 | 0x100,
  kFaceNoScarring = 0x400,          // kPhysicalNoScarring
  kFaceBackfaceMoveIgnore = 0x800,  // kPhysicalBackfaceMoveIgnore
};

struct CollisionFace {                // 44 bytes
  std::array<uint16_t, 3> corners{};  // 0x00, part-local
  uint16_t normal = 0;                // 0x06, part-local
  int32_t distance = 0;               // 0x08, 16.16
  Box6i box{};                        // 0x0C, 16.16
  uint32_t flags = 0;                 // 0x24
  uint8_t surface = 0;                // 0x28; 0x29 u8 0, 0x2A u16 0
  bool operator==(const CollisionFace&) const = default;
};

using VolumePlane = std::array<int32_t, 4>;  // a, b, c, d 16.16 (16 bytes)

struct CollisionVolume {          // 96 bytes
  uint32_t type = 0;              // 0x00
  uint32_t flags = 0;             // 0x04
  Vec3i centre{};                 // 0x08
  int32_t radius = 0;             // 0x14
  int32_t horizontal_radius = 0;  // 0x18
  int32_t height = 0;             // 0x1C
  Vec3i half_size{};              // 0x20; 0x2C u32 0
  Box6i box{};                    // 0x30
  // 0x48 u32 plane count; 0x4C runtime; 0x50 16 reserved
  std::vector<VolumePlane> planes;
  bool operator==(const CollisionVolume&) const = default;
};

struct CollisionPart {  // 128 bytes
  uint32_t flags = 0;   // 0x00, bit 0 of the part's flags
  // 0x04 vertex count, 0x0C face count, 0x14 normal count, 0x1C volume
  // count, each followed by a runtime u32
  int32_t parent = 0;             // 0x24; 0x28 12 reserved
  Vec3i pivot{};                  // 0x34, 16.16, source axes
  Box6i box{};                    // 0x40
  Vec3i centre{};                 // 0x58
  int32_t radius = 0;             // 0x64
  int32_t horizontal_radius = 0;  // 0x68
  int32_t height = 0;             // 0x6C; 0x70 16 reserved
  std::vector<CollisionVertex> vertices;
  std::vector<CollisionNormal> normals;
  std::vector<CollisionFace> faces;
  std::vector<CollisionVolume> volumes;
  bool operator==(const CollisionPart&) const = default;
};

struct CModel {
  uint32_t skinned = 0;           // 0x00
  int32_t radius = 0;             // 0x0C
  int32_t horizontal_radius = 0;  // 0x10
  int32_t height = 0;             // 0x14
  Box6i box{};                    // 0x18
  std::vector<CollisionPart> parts;
  std::vector<Vec3i> points;  // 12 bytes each, 16.16, source axes
  bool operator==(const CModel&) const = default;
};

// 8A + 8B + 44C + 128D + 12E + 16F + 96G, without overflow.
uint64_t cmodel_blob_size(const CModel& c);

// ---- 5. Render vertices ---------------------------------------------------

struct PlainVertex {           // 44 bytes
  Vec3f position{};            // 0x00, file axes
  Vec3f normal{};              // 0x0C
  uint32_t colour = 0;         // 0x18, 0xAARRGGBB
  std::array<float, 2> uv1{};  // 0x1C
  std::array<float, 2> uv2{};  // 0x24
  bool operator==(const PlainVertex&) const = default;
};

struct SkinnedVertex {             // 60 bytes
  Vec3f position{};                // 0x00
  Vec3f weights{};                 // 0x0C
  std::array<uint8_t, 4> bones{};  // 0x18, each at most 15
  Vec3f normal{};                  // 0x1C
  uint32_t colour = 0;             // 0x28
  std::array<float, 2> uv1{};      // 0x2C
  std::array<float, 2> uv2{};      // 0x34
  bool operator==(const SkinnedVertex&) const = default;
};

using OldSkinnedVertex = std::array<uint8_t, kOldSkinnedVertexBytes>;

// ---- 6. `RModel` ----------------------------------------------------------

struct Strip {               // 40-byte header (48 in a skinned LOD) + indices
  uint32_t material = 0;     // 0x00; 0x04 "Addr"; 0x08 u16 index count; 0x0A u16 0
  uint32_t primitive = 0;    // 0x0C: 0 list, 1 strip
  uint32_t base_vertex = 0;  // 0x10
  uint32_t vertex_span = 0;  // 0x14; plain: 0x18 16 reserved
  // Skinned header only: 0x18 u8[16] palette, 0x28 7 reserved, 0x2F size.
  std::array<uint8_t, 16> palette{};
  uint8_t palette_size = 0;
  std::vector<uint16_t> indices;  // relative to base_vertex
  bool operator==(const Strip&) const = default;
};

// A strip group record (32 bytes: runtime, class 0 count, runtime, class 1
// count, 16 reserved) and the strips it counts.
struct StripGroup {
  std::vector<Strip> class0;
  std::vector<Strip> class1;
  bool operator==(const StripGroup&) const = default;
};

struct LodPart {  // 72 bytes
  // 0x00 runtime; 0x04 u32 detail levels (1 in a skinned LOD); 0x08 runtime
  int32_t parent = 0;              // 0x0C
  Vec3f relative_pivot{};          // 0x10, file axes
  Vec3f pivot{};                   // 0x1C
  Vec3f centre{};                  // 0x28
  int32_t radius = 0;              // 0x34, 16.16; 0x38 16 reserved
  std::vector<StripGroup> levels;  // plain LOD: one group per detail level
  bool operator==(const LodPart&) const = default;
};

// 8 bytes: style, register index or truncate(phase x 256), rate x 256,
// start, end.
struct GeneratorField {
  uint8_t style = 0;
  uint8_t index_or_phase = 0;
  int16_t rate = 0;
  int16_t start = 0;
  int16_t end = 0;
  bool operator==(const GeneratorField&) const = default;
};

// Material flags, from the material's render attributes and settings.
enum MaterialFlag : uint32_t {
  kMaterialTwoSided = 0x1,                // kRenderTwoSided
  kMaterialAlphaTest = 0x2,               // kRenderAlphaTest without kRenderAlphaTestInvert
  kMaterialAlphaTestInverted = 0x4,       // kRenderAlphaTest with kRenderAlphaTestInvert
  kMaterialUvClamp = 0x8,                 // kRenderUvClamp
  kMaterialTextureAnimation = 0x10,       // kRenderTextureAnimation or a frame count; anim_time is read x 62 / 100
  kMaterialMapFunctions = 0x20,           // a U or V mapping generator
  kMaterialRgbGen = 0x40,                 // a colour generator
  kMaterialAlphaGen = 0x80,               // an alpha generator
  kMaterialNoGameDiffuse = 0x100,         // kRenderNoGameDiffuse
  kMaterialShader = 0x200,                // a shader type
  kMaterialMirror = 0x10000,              // action plane "Mirror Reflection"
  kMaterialNoReceiveProjector = 0x20000,  // projector_no_receive
  kMaterialNotReflectable = 0x40000,      // kRenderNotReflectable
  kMaterialLessFog = 0x100000,            // kRenderLessFog
};

struct Material {                                                // 152 bytes
  Name16 name;                                                   // 0x00
  uint32_t flags = 0;                                            // 0x10
  int16_t anim_time = 0;                                         // 0x14, x 100
  uint8_t anim_frames = 0;                                       // 0x16
  uint8_t anim_sequence = 0;                                     // 0x17; 0x18 runtime
  std::array<uint8_t, 12> colours{};                             // 0x1C, r g b per texture set 0-3
  std::array<uint8_t, 3> colour_textures{};                      // 0x28
  uint8_t alpha_texture = kNoTexture;                            // 0x2B
  uint32_t reflect_colour = 0;                                   // 0x2C
  uint8_t reflect_type = 0;                                      // 0x30
  uint8_t reflect_alpha = 0;                                     // 0x31
  uint8_t shader_type = 0;                                       // 0x32; 0x33 5 reserved
  uint8_t color_type = 0;                                        // 0x38
  uint8_t alpha_type = 0;                                        // 0x39
  uint8_t transparency = 0;                                      // 0x3A
  uint8_t alpha_test = 0;                                        // 0x3B
  uint8_t blending_mode = 0;                                     // 0x3C
  uint8_t second_layer = 0;                                      // 0x3D; 0x3E u16 reserved
  float u_offset = 0, v_offset = 0, u_tiling = 0, v_tiling = 0;  // 0x40
  GeneratorField mapfunc_u;                                      // 0x50
  GeneratorField mapfunc_v;                                      // 0x58
  uint8_t rgbgen_style = 0;                                      // 0x60
  uint8_t rgbgen_phase = 0;                                      // 0x61, or register index
  int16_t rgbgen_rate = 0;                                       // 0x62
  uint32_t rgbgen_start = 0;                                     // 0x64, packed colour
  uint32_t rgbgen_end = 0;                                       // 0x68
  uint8_t alphagen_style = 0;                                    // 0x6C
  uint8_t alphagen_phase = 0;                                    // 0x6D
  int16_t alphagen_rate = 0;                                     // 0x6E
  int16_t alphagen_start = 0;                                    // 0x70
  int16_t alphagen_end = 0;                                      // 0x72; 0x74 36 runtime
  bool operator==(const Material&) const = default;
};

// Part motion flags. Rates, functions and the two scales also choose what
// the rotation and scale areas hold.
enum MotionFlag : uint32_t {
  kMotionMoves = 0x1,                // clear: the part only follows its parent
  kMotionRotateRates = 0x2,          // "Rotate Part - Euler Fixed": f32 yaw, pitch, roll rates
  kMotionRotateFuncs = 0x4,          // "Rotate Part - Euler Function": three generator fields
  kMotionReverseOrder = 0x8,         // "Reverse Rotation Order": roll, pitch, yaw
  kMotionScaleOne = 0x10,            // "Scale All Axis": one generator field
  kMotionScaleThree = 0x20,          // "Scale Individual Axis": three generator fields
  kMotionFaceCamera = 0x100,         // "Rotate Part - Face Camera"
  kMotionFaceCameraUpright = 0x200,  // "Rotate Part - Face Camera XZ axis only": about the vertical only
};

struct PartMotion {          // 92 bytes
  uint32_t flags = 0;        // 0x00
  uint8_t parent = 0;        // 0x04
  uint8_t transform_as = 0;  // 0x05; 0x06 u16 0
  uint32_t matrix = 0;       // 0x08, index into `RMatrix`
  // 0x0C: the rates when flags have kMotionRotateRates (and not Funcs), the
  // generators when kMotionRotateFuncs; otherwise zeros.
  Vec3f rotate_rates{};
  std::array<GeneratorField, 3> rotate_funcs{};
  // 0x24: scale_funcs[0] with kMotionScaleOne, all three with
  // kMotionScaleThree; otherwise zeros. 0x3C 32 reserved.
  std::array<GeneratorField, 3> scale_funcs{};
  bool operator==(const PartMotion&) const = default;
};

struct ActionPlane {  // 88 bytes + indices
  uint32_t type = 0;  // 0x00
  Vec3f point{};      // 0x04, file axes
  Vec3f normal{};     // 0x10; 0x1C 20 reserved
  Strip strip;        // 0x30, a plain strip header, then the indices
  bool operator==(const ActionPlane&) const = default;
};

struct Projector {  // 232 bytes
  Matrix4f matrix{};
  Matrix4f inverse{};
  uint32_t material = 0;  // then 100 reserved
  bool operator==(const Projector&) const = default;
};

struct RModel {
  std::array<int16_t, 12> anim_frames{};  // 0x20
  std::array<int16_t, 12> anim_times{};   // 0x38
  bool skinned = false;                   // LOD flag bit 0
  bool part_motion = false;               // LOD flag bit 1
  std::vector<Vec3f> points;              // 12 bytes each, source axes
  std::vector<LodPart> parts;
  StripGroup skin_group;  // the strips of a skinned LOD
  std::vector<Material> materials;
  std::vector<PartMotion> motions;  // one per part when part_motion
  std::vector<ActionPlane> action_planes;
  std::vector<Projector> projectors;
  bool operator==(const RModel&) const = default;
};

// The blob size formula of one LOD, without overflow.
uint64_t rmodel_blob_size(const RModel& lod);

// ---- 7-11 -----------------------------------------------------------------

using CtrlReg = tools::FixedString<44>;  // a register name, at most 43 characters
using RMatrix = Matrix4f;                // row-major 4x4

struct LightGenerator {  // 12 bytes in the light header
  uint8_t style = 0;
  uint8_t phase = 0;
  int16_t rate = 0;
  uint32_t start = 0;  // packed colours
  uint32_t end = 0;
  bool operator==(const LightGenerator&) const = default;
};

struct LightRecord {              // 48 bytes
  uint8_t style = 0;              // 0x00
  uint8_t phase = 0;              // 0x01, or register index
  int16_t rate = 0;               // 0x02
  uint32_t start = 0;             // 0x04
  uint32_t end = 0;               // 0x08
  Vec3f position{};               // 0x0C, file axes
  std::array<float, 2> values{};  // 0x18
  uint8_t extra = 0;              // 0x20; 15 reserved
  bool operator==(const LightRecord&) const = default;
};

// u32 version, u32 size = 60 + 48 x lights; light header: ambient and
// direct generator, u32 0, f32 -1.0, u32 0, u32 light count, 20 runtime.
struct Lightinfo {
  uint32_t version = kLightinfoVersion;
  LightGenerator ambient;
  LightGenerator direct;
  std::vector<LightRecord> lights;
  std::vector<uint8_t> old_body;  // the body of a version below 256, as read
  bool operator==(const Lightinfo&) const = default;
};

struct Tangent {  // 24 bytes, file axes
  Vec3f tangent{};
  Vec3f binormal{};
  bool operator==(const Tangent&) const = default;
};

struct OccluderFace {  // 12 bytes: a, b, c, flag byte, three edge keys, u16 0
  std::array<uint8_t, 3> corners{};
  uint8_t flags = 0;
  bool operator==(const OccluderFace&) const = default;
};

// The key of the edge p -> q: q x 256 + p when p < q, else (p + 128) x 256 + q.
uint16_t edge_key(uint8_t p, uint8_t q);

struct Occluder {                 // 60-byte record, then its vertices, planes and faces
  uint8_t kind = 0;               // 0x00
  uint8_t first_number = 0;       // 0x01
  uint8_t second_number = 0;      // 0x02; 0x03 0
  std::array<float, 4> sphere{};  // 0x04 centre x, y, z (source axes), radius
  // 0x14 vertex count, 0x1C plane count, 0x24 face count; runtime slots
  std::vector<Vec3f> vertices;               // file axes
  std::vector<std::array<float, 4>> planes;  // a, b, c (file axes), d
  std::vector<OccluderFace> faces;
  bool operator==(const Occluder&) const = default;
};

// ---- The file -------------------------------------------------------------

struct File3di {
  FileHeader header;
  std::vector<UserPoint> user_points;
  std::vector<TextureRecord> textures;
  CModel collision;
  // The render vertices of the header's kind; the other two stay empty.
  std::vector<PlainVertex> plain_vertices;
  std::vector<SkinnedVertex> skinned_vertices;
  std::vector<OldSkinnedVertex> old_skinned_vertices;
  std::vector<RModel> lods;  // 1 to 4, LOD 0 first
  std::vector<CtrlReg> ctrl_regs;
  std::vector<RMatrix> matrices;
  std::optional<Lightinfo> lightinfo;
  std::optional<std::vector<Tangent>> vstream;  // one per render vertex
  std::optional<std::vector<Occluder>> occluders;

  size_t vertex_count() const;
  bool operator==(const File3di&) const = default;
};

// The file's bytes, or a k3diDoesNotFit error naming the limit and the
// value (or k3diBadData for a reference that points nowhere).
tools::Result<std::string> encode_3di(const File3di& file);

// Reads a whole file held in memory. Errors name `name_for_errors` and the
// byte offset ("name: byte N: ..."), also as their location.
tools::Result<File3di> decode_3di(std::span<const uint8_t> bytes, const std::string& name_for_errors);

// ---- Records, encoded and decoded one by one -----------------------------
// These write and read the fixed part of a record (without the arrays it
// counts); decode leaves errors in the reader.

void encode(ByteWriter& w, const UserPoint& r);
void decode(ByteReader& r, UserPoint& v);
void encode(ByteWriter& w, const TextureRecord& r, uint16_t index);
void decode(ByteReader& r, TextureRecord& v, uint16_t& index);
void encode(ByteWriter& w, const CollisionVertex& r);
void decode(ByteReader& r, CollisionVertex& v);
void encode(ByteWriter& w, const CollisionNormal& r);
void decode(ByteReader& r, CollisionNormal& v, uint16_t& axis);
void encode(ByteWriter& w, const CollisionFace& r);
void decode(ByteReader& r, CollisionFace& v);
void encode(ByteWriter& w, const PlainVertex& r);
void decode(ByteReader& r, PlainVertex& v);
void encode(ByteWriter& w, const SkinnedVertex& r);
void decode(ByteReader& r, SkinnedVertex& v);
void encode(ByteWriter& w, const GeneratorField& r);
void decode(ByteReader& r, GeneratorField& v);
void encode(ByteWriter& w, const Material& r);
void decode(ByteReader& r, Material& v);
void encode(ByteWriter& w, const PartMotion& r);
void decode(ByteReader& r, PartMotion& v);
void encode(ByteWriter& w, const Projector& r);
void decode(ByteReader& r, Projector& v);
void encode(ByteWriter& w, const LightRecord& r);
void decode(ByteReader& r, LightRecord& v);
void encode(ByteWriter& w, const Tangent& r);
void decode(ByteReader& r, Tangent& v);

}  // namespace orvo::file3di
