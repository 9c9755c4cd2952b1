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
#include "orvo/model/model.h"
#include "orvo/model/notifier.h"
#include "orvo/model/result.h"

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
// matched. Fails only for scenes it cannot take at all (skinned scenes).
Result<ConversionReport> conv_ConvertScene(Model& model, const ImportedScene& scene, float scale,
                                           StretchBoxTable& stretch_boxes, UserNotifier& notifier);

}  // namespace orvo
