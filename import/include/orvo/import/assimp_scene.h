// Reader of glTF 2.0 (.gltf, .glb), FBX (.fbx), Wavefront OBJ (.obj with its
// .mtl) and COLLADA (.dae) scenes through the assimp library, into the same
// ImportedScene the ASE reader fills, so that the rigid and the skinned
// conversions take it unchanged.
//
//   - Every node with meshes becomes one MAX object under the node's name:
//     the meshes' vertices in world space, welded by position, one texture
//     vertex per corner, faces with their scene material; the node's world
//     transform as its node rows. A node without meshes (an empty, a bone,
//     a group) becomes a helper object with its node rows and no vertices,
//     except the file's own root node and the nodes of lights and cameras.
//     A light node becomes a scene light.
//   - Axes and units: every format is brought to the scene exports'
//     convention, Z up with the front facing -Y in the file's units as
//     metres (one metre is one scene unit, as a scene written in metres
//     exports it), then turned a quarter turn about the vertical axis as the
//     ASE reader turns its vertices, (x, y, z) -> (-y, x, z). glTF and OBJ
//     are Y up in metres; COLLADA carries its up axis and unit (assimp
//     applies them); FBX carries its axes and unit scale (centimetres times
//     UnitScaleFactor), applied here.
//   - Smoothing groups, which these formats do not have, come from the
//     corner normals (see smoothing_groups below).
//   - Materials: the file name of the diffuse (base colour) texture is the
//     layer-0 colour texture, the opacity texture the alpha map; a second
//     diffuse texture, or else a light or occlusion map, is the second layer
//     (the "RGB Multiply" layer of a scene export); two-sided materials set
//     bit 0 of the flag word; a texture transform gives offsets and tilings.
//   - Skinned meshes: every node a mesh's bones name is a bone, numbered
//     0, 1, ... in the order of the node tree; the vertices take up to four
//     bones each (the strongest, their weights scaled to sum to 1).
//
// Untrusted input: a file that is not a regular file or is larger than
// kMaxSceneBytes is refused before assimp reads it, and so is every file it
// names (buffers, material libraries) that would take the bytes read past
// that limit. Scenes with more nodes, vertices or faces than the limits
// below are refused before the scene is built.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/import/scene.h"
#include "orvo/model/base.h"

namespace orvo {

// Result codes of the assimp reader.
inline constexpr int kAssimpOk = 0;
inline constexpr int kAssimpCannotOpen = 1;  // missing, not a regular file, too large
inline constexpr int kAssimpBadScene = 3;    // assimp's own error, or nothing to convert

// Limits of what one scene may hold (far beyond what the conversion and the
// export take: 99 sub-objects of 999 objects, 32768 vertices a model).
inline constexpr std::size_t kMaxAssimpNodes = 1'000'000;
inline constexpr std::size_t kMaxAssimpVertices = 8'000'000;  // corners of all meshes
inline constexpr std::size_t kMaxAssimpFaces = 8'000'000;

// True for the extensions (any case) the assimp reader takes: .gltf, .glb,
// .fbx, .dae, .obj.
bool is_assimp_scene_path(std::string_view path);

// Reads `path` into `scene` (released first). Logs one line naming the
// reader ("scene read by assimp 5.2 (glTF 2.0)") through `notifier`.
Status assimp_load(const std::string& path, ImportedScene& scene, UserNotifier& notifier);

// Reads a scene held in memory; `hint` is the format's extension ("glb",
// "fbx", ...). Files the scene names are not read. `display_name` names it in
// messages.
Status assimp_parse(std::string_view bytes, std::string_view hint, const std::string& display_name,
                    ImportedScene& scene, UserNotifier& notifier);

// A source file's axes: which file axis points right, up and to the front
// (0 x, 1 y, 2 z, each with its sign), and how many metres one file unit is.
struct SceneAxes {
  int right_axis = 0, right_sign = 1;
  int up_axis = 1, up_sign = 1;
  int front_axis = 2, front_sign = 1;
  double metres_per_unit = 1.0;
};

// Rows of the matrix taking a point of the file to the scene's stored frame
// (Z up, front -Y, turned as the ASE reader turns): stored = M * p.
using Basis3 = std::array<std::array<double, 3>, 3>;
Basis3 scene_basis(const SceneAxes& axes);

// Smoothing groups from corner normals. Faces are triangles on welded
// vertices (`corners`, three vertex indices each) with one normal per corner
// (`normals`). Two faces that share a vertex and have the same normal there
// (within about 2.5 degrees) are in one group; groups are the connected sets
// of faces so joined. A face alone in its group gets no group (mask 0: the
// export gives it its own face normal). Each group takes the lowest of the 32
// smoothing bits that no group it shares a vertex with already took, so a
// hard edge (a vertex with different normals on its two sides) always
// separates bits; only when all 32 are taken around it does a group reuse
// bit (number mod 32) and smooth over that edge. A hard edge that does not
// cut the surface in two (a slit) cannot separate the faces on its two sides:
// they are one group and are smoothed over.
std::vector<uint32_t> smoothing_groups(const std::vector<std::array<int32_t, 3>>& corners,
                                       const std::vector<std::array<Vec3, 3>>& normals);

}  // namespace orvo
