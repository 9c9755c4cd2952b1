// The Model: one model at one level of detail, as the tool holds it in
// memory. General information, the material table (1000 entries, inline),
// the sub-objects with their geometry, the marker objects (centre points,
// attachment points, bounding objects, user points), the point lights, one
// part animation per sub-object and the light generators.
//
// The artist-set part is saved in the 3DA metafile; geometry and marker
// objects are rebuilt from the imported scene on every load.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/model/base.h"
#include "orvo/model/flags.h"

namespace orvo {

using Name32 = FixedString<32>;
using Name16 = FixedString<16>;
using Name64 = FixedString<64>;
using Name80 = FixedString<80>;

// The four levels of detail, held at once in this order.
enum class LodLevel : int { kH = 0, kM = 1, kL = 2, kT = 3 };
inline constexpr char kLodLetters[4] = {'h', 'm', 'l', 't'};
// Index of a level's letter (either case), or -1.
int lod_index(char letter);

inline constexpr int kMaxMaterials = 1000;
inline constexpr int kMaxPartAnims = 64;
inline constexpr int kMaxMaxObjectsPerSubObject = 999;
inline constexpr int kMaxMaxObjectNameLength = 30;
inline constexpr int kMaxLightBlocks = 64;

// Animates a scalar (texture mapping, alpha, part rotation and scale) under
// the control of a wave style or a control register.
// A default-constructed generator is cleared (all zero), as in a cleared
// record; `defaults()` gives the values a new generator starts with.
struct Generator {
  int32_t style = 0;
  float rate = 0.0f;
  float phase = 0.0f;
  float start = 0.0f;
  float end = 0.0f;
  Name64 ctrlreg;

  // rate 1, end 1 (`end_value` 255 for a material's alpha generator).
  static Generator defaults(float end_value = 1.0f) {
    Generator g;
    g.rate = 1.0f;
    g.end = end_value;
    return g;
  }
  friend bool operator==(const Generator&, const Generator&) = default;
};

// Animates a colour (material colour, ambient, directional and model lights).
struct ColorGenerator {
  int32_t style = 0;
  float rate = 0.0f;
  float phase = 0.0f;
  int32_t start_red = 0, start_green = 0, start_blue = 0;
  int32_t end_red = 0, end_green = 0, end_blue = 0;
  Name64 ctrlreg;

  // rate 1, end colour white.
  static ColorGenerator defaults() {
    ColorGenerator g;
    g.rate = 1.0f;
    g.end_red = g.end_green = g.end_blue = 255;
    return g;
  }
  friend bool operator==(const ColorGenerator&, const ColorGenerator&) = default;
};

// Working data of export and preview; never saved, cleared on reset.
struct MaterialRuntime {
  float tc_min_u = 9999999.0f, tc_min_v = 9999999.0f;
  float tc_max_u = -9999999.0f, tc_max_v = -9999999.0f;
  void reset_bounds() { *this = MaterialRuntime{}; }
  friend bool operator==(const MaterialRuntime&, const MaterialRuntime&) = default;
};

struct ModelMaterial {
  int32_t assigned = 0;  // working flag of the material assignment; not saved
  Name32 name;           // conversion: the source material's first colour texture
  Name80 description;    // conversion: the source material's name (faces match by it)
  int32_t render_attributes = 0;
  int32_t physical_attributes = 0;
  int32_t reserved0 = 0;
  int32_t color_type = 0;
  int32_t alpha_type = 0;
  int32_t use_alpha_pcx = 0;
  int32_t anim_frames = 0;
  int32_t anim_time = 0;
  int32_t anim_sequence = 0;
  Name16 green_texture;  // colour texture file name
  Name16 alpha_texture;  // alpha texture file name
  std::array<uint8_t, 3> color_green{};
  std::array<uint8_t, 3> color_alpha{};
  int32_t luminosity = 0;
  int32_t specular_intensity = 0;
  int32_t specular_sharpness = 0;
  int32_t transparency = 0;
  std::array<int32_t, 4> reserved1{};
  int32_t multitexture_flags = 0;
  int32_t reserved2 = 0;
  float u_offset = 0.0f, v_offset = 0.0f;
  float u_tiling = 0.0f, v_tiling = 0.0f;
  uint8_t alpha_test = 0;
  int32_t blending_mode = 0;
  Generator mapfunc_u;
  Generator mapfunc_v;
  ColorGenerator rgbgen;
  Generator alphagen;
  int32_t reflect_r = 0, reflect_g = 0, reflect_b = 0;
  int32_t reflect_type = 0;
  int32_t reflect_alpha = 0;
  int32_t actionplane_type = 0;
  int32_t projector_type = 0;
  int32_t projector_no_receive = 0;
  int32_t projector_yaw = 0, projector_pitch = 0;
  int32_t shader_type = 0;
  MaterialRuntime runtime;
  // Equal in everything the artist edits and the 3DA file keeps: the
  // working flag and the run-time data are left out.
  bool same_settings(const ModelMaterial& other) const;
  friend bool operator==(const ModelMaterial&, const ModelMaterial&) = default;
  // A default-constructed material is a cleared record: every number 0 and
  // every text empty; add-material and the 3DA reader set the defaults.
};

struct Vertex {
  float x = 0, y = 0, z = 0;       // already multiplied by the scale factor
  int32_t subobj = 0;              // rigid: owning sub-object, or a stretch box's first
  int32_t subobj2 = 0;             // rigid: owning sub-object, or a stretch box's second
  std::array<int32_t, 4> bones{};  // skinned: bone (sub-object) indices of the four slots
  std::array<float, 4> weights{};  // skinned: the slots' weights
  int32_t stretch = 0;             // rigid: 1 for a vertex inside a stretch box
};

struct TextureVertex {
  float u = 0, v = 0;  // v is 1 - v of the scene file
};

struct Face {
  int32_t material = 0;           // index into the Model's material table
  int32_t srcmat = 0;             // index into the Model's source materials
  uint32_t smoothing = 0;         // bit s for smoothing group s modulo 32
  std::array<int32_t, 4> v{};     // vertex indices; the fourth repeats the first
  std::array<int32_t, 4> t{};     // texture vertex indices; the fourth repeats the first
  std::array<int32_t, 4> edge{};  // edge visibility AB, BC, CA, AB
  // Face plane from the conversion (unit normal and distance, n·p + d = 0),
  // used by export and collision.
  float nx = 0, ny = 0, nz = 0, d = 0;
  int32_t max_object = 0;  // index of the scene object the face came from
};

// Three packed corner colours 0x00RRGGBB; a face without colours holds
// kNoFaceColour, 0, 0.
inline constexpr int32_t kNoFaceColour = static_cast<int32_t>(0x80000000u);
struct FaceColor {
  std::array<int32_t, 3> c{};
};

struct SubObject {
  Name32 name;         // the name of its last MAX object
  int32_t flags = 0;   // bit 0: some vertex lies in a stretch box
  int32_t parent = 0;  // parent sub-object, found through the attachment points
  std::vector<Vertex> verts;
  std::vector<TextureVertex> tverts;
  std::vector<Face> faces;
  std::vector<FaceColor> facecolors;  // empty when it has no vertex colours
  int32_t num_bobj = 0;               // bounding objects of types below 20 or from 25 up
};

// How messages name sub-object `index` (0-based): by the two-digit number
// its scene objects carry, "sub-object 01" for the first.
inline std::string subobject_label(int index) {
  std::string n = std::to_string(index + 1);
  return "sub-object " + (n.size() < 2 ? "0" + n : n);
}

// A point or direction.
struct Vec3 {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const Vec3&, const Vec3&) = default;
};

struct Row3 {
  float x = 0, y = 0, z = 0;
};
using NodeRows = std::array<Row3, 4>;

struct CenterPoint {
  Name32 name;
  float x = 0, y = 0, z = 0;
  NodeRows rows{};  // rows 0 to 2 normalised
};

struct AttachPoint {
  Name32 name;
  float x = 0, y = 0, z = 0;
  NodeRows rows{};  // always zero
};

// Bounding object types, by the two-letter prefix of the object's name.
inline constexpr int kBoundingOccluderFirst = 20;
inline constexpr int kBoundingOccluderLast = 24;
inline bool bounding_type_is_occluder(int type) {
  return type >= kBoundingOccluderFirst && type <= kBoundingOccluderLast;
}

struct BoundingObject {
  Name32 name;
  int32_t flags = 0;
  int32_t type = 0;
  int32_t subobj = 0;            // number in the name minus 1
  int32_t subobj2 = 0;           // "OP": second number minus 1, else 0
  float cx = 0, cy = 0, cz = 0;  // centre: average of the scaled vertices
  float radius = 0;              // largest distance of a scaled vertex from the centre
  float min_x = 0, min_y = 0, min_z = 0;
  float max_x = 0, max_y = 0, max_z = 0;
  float size_x = 0, size_y = 0, size_z = 0;  // max - min per axis
  int32_t items = 0;                         // collision items this object contributes (its six box planes)
  std::vector<Vertex> verts;                 // own copy of the object's scaled vertices
  std::vector<Face> faces;                   // own copy of the object's faces
};

struct UserPoint {
  Name32 name;
  float x = 0, y = 0, z = 0;
  int32_t subobj = 0;
  int32_t kind = 0;  // an upper-case letter
  NodeRows rows{};
};

struct ModelLight {
  Name32 name;
  float x = 0, y = 0, z = 0;  // times the scale factor
  float r = 0, g = 0, b = 0;  // as in the scene, 0 to 1
  float intensity = 0;
  float atten_start = 0, atten_end = 0;  // times the scale factor
  ColorGenerator colorgen;
  int32_t subobj = 0;
  friend bool operator==(const ModelLight&, const ModelLight&) = default;
};

// A copy of one flat scene material.
inline constexpr int kSourceSecondLayer = 2;  // layer_flags bit 1
inline constexpr int kSourceTwoSided = 1;     // flags bit 0
struct SourceMaterial {
  int32_t layer_flags = 0;
  Name32 name;
  std::array<Name32, 2> colour_texture;
  std::array<Name32, 2> opacity_texture;
  std::array<float, 2> u_offset{}, v_offset{};
  std::array<float, 2> u_tiling{}, v_tiling{};
  int32_t flags = 0;
};

struct PartAnimation {
  int32_t rotate_type = 0;
  int32_t scale_type = 0;
  int32_t transform_as = 0;
  float yaw_rate = 0, pitch_rate = 0, roll_rate = 0;
  Generator yaw_func, pitch_func, roll_func;
  int32_t reverserotate = 0;
  Generator scale_func;
  Generator scalex_func, scaley_func, scalez_func;
  friend bool operator==(const PartAnimation&, const PartAnimation&) = default;
};

struct Model {
  int32_t version_3di = 0;  // the 3DA key "3di_version"
  Name32 name;
  int32_t attributes = 0;  // bit 0: geometry from an ASE scene; bit 1: stretch box caught a vertex
  Name32 render_function;
  float threshold = 0;
  float bounding_radius = 0;
  float horizontal_radius = 0;
  float height = 0;
  int32_t num_materials = 0;
  std::array<ModelMaterial, kMaxMaterials> materials;
  std::vector<SubObject> subobjects;
  std::vector<AttachPoint> attach;
  std::vector<CenterPoint> centers;
  int32_t total_bobj_items = 0;
  std::vector<BoundingObject> bobj;
  std::vector<UserPoint> userpts;
  std::vector<ModelLight> lights;
  std::vector<SourceMaterial> srcmat;
  int32_t pm_enable = 0;
  int32_t pm_polythresh = 0;
  int32_t fakeskin_z = 0;
  int32_t polycollision = 0;
  ColorGenerator ambient;
  ColorGenerator direct;
  int32_t part_anim_enable = 0;
  std::array<PartAnimation, kMaxPartAnims> part_anims;

  int num_subobjects() const { return static_cast<int>(subobjects.size()); }
  // A level counts as present when it has sub-objects.
  bool present() const { return !subobjects.empty(); }
};

// Clears the whole record, sets render_function to "gnrc" and the
// transform_as of part animation i to i.
void model_reset(Model& model);
// Frees every array of the Model, then resets it.
void model_release(Model& model);

// The caption and text shown when add-material is given no face.
inline constexpr std::string_view kNullFaceMessage = "NULL face pointer in model_AddMaterial";
inline constexpr std::string_view kNullFaceCaption = "Arrgh!";

// Returns the index of the ModelMaterial for `face`'s source material S (the
// caller passes S's first colour texture as `texture_name`), finding an existing material by description or making a
// new one (and its second layer). Returns 0 when `face` is null (after a
// message) or when the table is full.
// The source material is model.srcmat[face->srcmat] (an index outside the
// array stands for an unnamed material without textures).
int model_AddMaterial(Model& model, std::string_view texture_name, const Face* face, int default_physical,
                      int default_color_type, int default_alpha_type, UserNotifier& notifier);

}  // namespace orvo
