#pragma once
// What the editing dialogs change in a model slot, captured as one value so
// that an edit can be undone and redone: the general information, the
// material table, the part animations, the light generators and the faces'
// material indices (which deleting a material renumbers). The geometry the
// scene file brings is never edited and is not captured.

#include <cstdint>
#include <memory>
#include <vector>

#include "orvo/model/model.h"

namespace orvo {

struct SlotEditState {
  int32_t version_3di = 0;
  Name32 name;
  int32_t attributes = 0;
  Name32 render_function;
  float threshold = 0;
  int32_t pm_enable = 0, pm_polythresh = 0, fakeskin_z = 0, polycollision = 0;
  ColorGenerator ambient, direct;
  int32_t part_anim_enable = 0;
  std::array<PartAnimation, kMaxPartAnims> part_anims;
  int32_t num_materials = 0;
  // Records up to the last one that is not cleared (a prepared record past
  // the table counts); the rest are cleared records.
  std::vector<ModelMaterial> materials;
  std::vector<ModelLight> lights;
  // Every face's material, sub-object by sub-object; shared between states
  // that do not differ in it.
  std::shared_ptr<const std::vector<int32_t>> face_materials;
};

SlotEditState capture_slot_edits(const Model& model);
// Writes `state` back into `model`. Face indices are written only when the
// model has as many faces as when the state was captured.
void restore_slot_edits(Model& model, const SlotEditState& state);
// Whether two states differ in anything the artist edits (the materials'
// working flags and run-time data are not compared).
bool same_slot_edits(const SlotEditState& a, const SlotEditState& b);

}  // namespace orvo
