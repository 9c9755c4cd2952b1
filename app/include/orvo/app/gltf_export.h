// A loaded binary model (".3di") as binary glTF 2.0 (".glb"), for viewers
// and tools outside the game: orvo-cli dump MODEL.3di --gltf OUT.glb.
//
// What the file holds:
// - one scene per level of detail, scene 0 (the default scene, the one a
//   viewer shows) holding level 0; scene k is named "LOD k" and carries the
//   level's switch distance in metres in its extras;
// - per level a root node "LOD k" whose children are the level's parts, each
//   part a node under its parent part, translated by its pivot relative to
//   the parent's, its mesh's vertices relative to its own pivot; a part
//   whose parent index is itself, out of range or part of a loop hangs under
//   the level's node;
// - per part one mesh of the part's full detail (its first detail level),
//   one triangle list primitive per material, strips turned into triangle
//   lists with degenerate triangles dropped;
// - skinned levels: the parts are the joints of one skin, and the level's
//   skin group is one mesh on a node at the scene's root (where parent
//   transforms cannot move it); each vertex's bones are its strip's palette
//   entries, merged when one bone appears twice;
// - one material per material of every level (metallic 0, roughness 1), its
//   texture the one the preview shows, decoded by our picture readers and
//   embedded as PNG.
//
// Units and axes: one unit of the model is one metre. The file's render
// axes (x right, y up, z forward, left-handed) become glTF's (+X left, +Y
// up, +Z forward, right-handed) by turning x round: (x, y, z) -> (-x, y, z).
// The model's own axes (x forward, y left, z up) thus map to glTF as
// (x, y, z) -> (y, z, x). The mirror turns every triangle's corner order
// round, so the faces the game draws stay the front faces.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "orvo/image/image.h"
#include "orvo/viewer/model_loader.h"
#include "orvo/viewer/render_model.h"
#include "tools/base/result.h"

namespace orvo::gltf {

inline constexpr float kMetresPerUnit = 1.0f;

using Triangle = std::array<uint32_t, 3>;

// A point of the file's render axes in glTF's axes and metres.
render::Vec3f position_from_file(const render::Vec3f& p);
// A normal of the file's render axes in glTF's axes, of unit length; a
// normal of no length or not finite becomes (0, 1, 0), up.
render::Vec3f normal_from_file(const render::Vec3f& n);

// The triangles of one strip record's indices in the record's own corner
// order: a list (primitive 0) three indices a triangle (a last incomplete
// triangle dropped), a strip (any other primitive) one triangle per index
// after the second, every odd one with its first two corners swapped so
// that all keep the strip's facing. Triangles with two equal corners (the
// joins between strips) are dropped.
std::vector<Triangle> strip_triangles(std::span<const uint16_t> indices, uint32_t primitive);
// The same triangle with glTF's corner order (the mirror of the axes turns
// the facing round).
inline Triangle gltf_corners(const Triangle& t) {
  return {t[0], t[2], t[1]};
}

// Triangles a level draws: every part's first detail level, or a skinned
// level's skin group.
std::size_t lod_triangle_count(const render::Lod& lod);

// PNG of an image (its 32-bit pixels; palette images are expanded): RGBA,
// or RGB when every pixel is opaque; zlib-compressed, no filter.
std::string encode_png(const Image& image);

struct LodStats {
  std::size_t parts = 0;
  std::size_t meshes = 0;
  std::size_t primitives = 0;
  std::size_t triangles = 0;
  std::size_t vertices = 0;
  bool skinned = false;
};

struct Stats {
  std::size_t scenes = 0;
  std::size_t nodes = 0;
  std::size_t meshes = 0;
  std::size_t materials = 0;
  std::size_t textures = 0;
  std::size_t images = 0;
  std::size_t skins = 0;
  std::size_t triangles = 0;
  std::vector<LodStats> lods;
};

// The GLB file of `model`. `pictures` holds per texture record (in table
// order) the decoded picture, or null for one that has none; a material
// whose texture has no picture goes without a texture. `generator` names
// the program in the asset record.
std::string build_glb(const render::Model& model, std::span<const Image* const> pictures, const std::string& generator,
                      Stats* stats = nullptr);

struct Export {
  std::string glb;
  Stats stats;
  // One line per picture that could not be made, naming it, its materials
  // and the reason (which names the folder).
  std::vector<std::string> warnings;
};

// Creates the model's textures as the preview does, from `texture_folder`
// (the .dds file of a name first, TGA, MDT and PCX by our readers, colour
// and alpha pairs combined), then builds the GLB file. The model must not
// have had its textures created yet.
Export export_model(ModelLoader& loader, render::Model& model, const std::string& texture_folder,
                    const std::string& generator);

}  // namespace orvo::gltf
