// Reader of 3D Studio ASCII scene dumps (.asc).
//
// An ASC scene carries only named triangle meshes: vertex positions,
// optional texture coordinates, faces with edge flags, material names and
// smoothing groups. It has no lights, no node transforms, no skinning and no
// material table.
//
// Two passes: the first indexes the "Named object:" entries (name, whether a
// "Tri-mesh" line follows, where it starts and ends); the entries are sorted
// by name without regard to case (equal names keep their file order) and the
// triangle meshes are then read in that order, each from its own lines only.
// Vertices are turned a quarter turn about the vertical axis, (x, y, z) ->
// (-y, x, z), as the ASE reader turns them. Texture vertices correspond one
// to one to the vertices; faces use the same indices for both.
//
// Face material names are read but do not become scene materials: every face
// has flat material -1, so the conversion gives all faces one shared unnamed
// source material (the 3DA file's material blocks do the rest).
//
// Untrusted input: the lists grow as their entries arrive, so memory follows
// what the file gives rather than what it declares. A vertex index or a face
// corner outside the declared vertex count is an error "path:line: ..."
// (code -line), and a mesh that declares faces without vertices is refused.
// Declared vertices and faces that an object never gives are an error at the
// object's last line, with one exception: an out-of-order face number ends
// the face list, and the faces from there on stay cleared (on vertex 0). Face
// lines that are not stored (after the list ended or was complete) are not
// checked against the count.
#pragma once

#include <string>
#include <string_view>

#include "orvo/import/scene.h"
#include "orvo/model/base.h"

namespace orvo {

// Result codes of the ASC reader.
inline constexpr int kAscOk = 0;
inline constexpr int kAscCannotOpen = 1;
inline constexpr int kAscNoMesh = 3;
// A parse error is reported as the negative line number.

// Reads `path` into `scene` (released first). On success the scene's name is
// the file name without its folder, cut at its first "."; the origin flag is
// clear and there are no lights and no materials. On failure the scene is
// left released.
Status asc_load(const std::string& path, ImportedScene& scene, UserNotifier& notifier);

// Reads an ASC text held in memory; `display_name` names it in messages and
// gives the scene its name.
Status asc_parse(std::string_view text, const std::string& display_name, ImportedScene& scene, UserNotifier& notifier);

}  // namespace orvo
