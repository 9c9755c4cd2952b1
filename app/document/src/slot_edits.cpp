#include "orvo/document/slot_edits.h"

namespace orvo {

namespace {

std::vector<int32_t> face_materials_of(const Model& model) {
  std::vector<int32_t> out;
  std::size_t n = 0;
  for (const SubObject& so : model.subobjects) n += so.faces.size();
  out.reserve(n);
  for (const SubObject& so : model.subobjects)
    for (const Face& f : so.faces) out.push_back(f.material);
  return out;
}

}  // namespace

SlotEditState capture_slot_edits(const Model& model) {
  SlotEditState s;
  s.version_3di = model.version_3di;
  s.name = model.name;
  s.attributes = model.attributes;
  s.render_function = model.render_function;
  s.threshold = model.threshold;
  s.pm_enable = model.pm_enable;
  s.pm_polythresh = model.pm_polythresh;
  s.fakeskin_z = model.fakeskin_z;
  s.polycollision = model.polycollision;
  s.ambient = model.ambient;
  s.direct = model.direct;
  s.part_anim_enable = model.part_anim_enable;
  s.part_anims = model.part_anims;
  s.num_materials = model.num_materials;
  const ModelMaterial cleared{};
  std::size_t used = 0;
  for (std::size_t i = model.materials.size(); i > 0; --i)
    if (!model.materials[i - 1].same_settings(cleared)) {
      used = i;
      break;
    }
  s.materials.assign(model.materials.begin(), model.materials.begin() + static_cast<std::ptrdiff_t>(used));
  s.lights = model.lights;
  s.face_materials = std::make_shared<const std::vector<int32_t>>(face_materials_of(model));
  return s;
}

void restore_slot_edits(Model& model, const SlotEditState& s) {
  model.version_3di = s.version_3di;
  model.name = s.name;
  model.attributes = s.attributes;
  model.render_function = s.render_function;
  model.threshold = s.threshold;
  model.pm_enable = s.pm_enable;
  model.pm_polythresh = s.pm_polythresh;
  model.fakeskin_z = s.fakeskin_z;
  model.polycollision = s.polycollision;
  model.ambient = s.ambient;
  model.direct = s.direct;
  model.part_anim_enable = s.part_anim_enable;
  model.part_anims = s.part_anims;
  model.num_materials = s.num_materials;
  for (std::size_t i = 0; i < model.materials.size(); ++i)
    model.materials[i] = i < s.materials.size() ? s.materials[i] : ModelMaterial{};
  model.lights = s.lights;
  if (s.face_materials) {
    std::size_t n = 0;
    for (const SubObject& so : model.subobjects) n += so.faces.size();
    if (n == s.face_materials->size()) {
      std::size_t k = 0;
      for (SubObject& so : model.subobjects)
        for (Face& f : so.faces) f.material = (*s.face_materials)[k++];
    }
  }
}

bool same_slot_edits(const SlotEditState& a, const SlotEditState& b) {
  if (a.version_3di != b.version_3di || !(a.name == b.name) || a.attributes != b.attributes ||
      !(a.render_function == b.render_function) || a.threshold != b.threshold || a.pm_enable != b.pm_enable ||
      a.pm_polythresh != b.pm_polythresh || a.fakeskin_z != b.fakeskin_z || a.polycollision != b.polycollision ||
      !(a.ambient == b.ambient) || !(a.direct == b.direct) || a.part_anim_enable != b.part_anim_enable ||
      a.part_anims != b.part_anims || a.num_materials != b.num_materials || a.lights != b.lights)
    return false;
  if (a.materials.size() != b.materials.size()) return false;
  for (std::size_t i = 0; i < a.materials.size(); ++i)
    if (!a.materials[i].same_settings(b.materials[i])) return false;
  if (a.face_materials == b.face_materials) return true;
  if (!a.face_materials || !b.face_materials) return false;
  return *a.face_materials == *b.face_materials;
}

}  // namespace orvo
