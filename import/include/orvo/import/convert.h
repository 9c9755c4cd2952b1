// Conversion of an imported scene into the geometry and marker objects of a
// Model, by the naming conventions on the scene's object names:
//
//   "01 Hull"   geometry of sub-object 01      "_01 Center"  centre point
//   "~02 Mount" attachment point                "#01#02"      stretch box
//   "CB01"      bounding object (prefix table)  "UPA03 Muzzle" user point
//   light "LP2 Lamp" model light of sub-object 2; "!name" is ignored.
//
// Every finding goes to the conversion log in fixed words; errors do not stop
// the conversion, they are logged and reported in the result.
#pragma once

#include <array>
#include <vector>

#include "orvo/import/scene.h"
#include "orvo/model/base.h"
#include "orvo/model/model.h"

namespace orvo {

// The scale factor the tool starts with (scene units to game units), and the
// "1unit = 1m" factor.
inline constexpr float kDefaultScaleFactor = 0.3084f;
inline constexpr float kMetreScaleFactor = 1.0f;

// A box that binds the vertices inside it to two sub-objects.
struct StretchBox {
  int32_t subobj = 0;
  int32_t subobj2 = 0;
  int32_t two_index = 0;  // 1 when the name gave a second number (#NN#MM)
  float min_x = 0, min_y = 0, min_z = 0;
  float max_x = 0, max_y = 0, max_z = 0;
};

// The tool-wide stretch box table (outside the Model; the exporter reads it).
struct StretchBoxTable {
  static constexpr int kCapacity = 1000;
  std::vector<StretchBox> boxes;
};

struct ConversionReport {
  bool errors = false;  // an error line was logged: the log window waits for the user
  int listed_subobjects = 0;
};

inline constexpr int kConvertRefused = 4;  // result code of a scene that cannot be converted

// Fills `model`'s sub-objects, source materials, centre points, attachment
// points, bounding objects, user points and lights from `scene`, assigns the
// faces their materials and sets bit 0 of `attributes` from the scene's
// origin. The Model's artist data (materials, part animations) is kept and
// matched. A skinned scene is handed to convert_skinned_scene with the
// same arguments. Fails only for scenes it cannot take at all (see there);
// every other finding is a logged error in the report.
Result<ConversionReport> convert_scene(Model& model, const ImportedScene& scene, float scale,
                                       StretchBoxTable& stretch_boxes, UserNotifier& notifier);

// The skinned conversion: a skeleton of bones (objects with a bone number)
// and meshes whose vertices are bound to up to four bones each.
//
//   - Bone b is sub-object b + 1 (index b) and gives it a name and a node but
//     no geometry; a numbered mesh "NN name" is sub-object NN + B + 1, after
//     the highest bone B. "Bip..." and "BN..." objects are never bounding
//     objects; "_", "~" and "#" names have no meaning here.
//   - Every vertex carries four bone indices and weights. An empty slot (-1)
//     takes the first slot's bone with weight 0; an empty first slot stays -1
//     with weight 0. A bone index that names no sub-object is logged as an
//     error and treated as an empty slot. A vertex of an object without skin
//     weights is bound wholly to its own sub-object (weight 1 in the first
//     slot), as a rigid vertex is.
//   - A parent is the first sub-object named as the node parent of the
//     sub-object's first MAX object (without regard to case), else 0.
//   - Centre and attachment point i hold the node position of bone i (or of
//     mesh "NN", at NN - 1) with an unrotated orientation.
//   - Lights "LPn" fill slot n - 1 within the number of scene lights.
//   - The model is moved so that its centre lies at the origin: the node
//     position of "_01 Center", or else the average x and y of all vertices at
//     their lowest z (256.0 when no vertex lies lower). Vertices, user points,
//     centre and attachment points move (bounding objects and lights keep
//     their scene positions); the radii are measured afterwards.
//   - A mesh numbered "00" is a logged error, as in the rigid conversion.
//
// The stretch box table is cleared. Refused, before the Model or the table is
// touched (result kConvertRefused and an error line): a scene in which no
// object carries skin weights, a bone number above 998 and a numbered mesh
// whose sub-object number would pass 999 (the sub-object lists hold 1000).
Result<ConversionReport> convert_skinned_scene(Model& model, const ImportedScene& scene, float scale,
                                               StretchBoxTable& stretch_boxes, UserNotifier& notifier);

}  // namespace orvo
