#include "orvo/app/register_names.h"

#include <algorithm>

#include "orvo/model/generators.h"
#include "tools/base/text.h"

namespace orvo {

int RegisterNameList::find(std::string_view name) const {
  if (name.size() > kMaxNameChars) name = name.substr(0, kMaxNameChars);
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (tools::iequals(names_[i], name)) return static_cast<int>(i);
  return -1;
}

bool RegisterNameList::add(std::string_view name) {
  if (name.size() > kMaxNameChars) name = name.substr(0, kMaxNameChars);
  if (name.empty() || names_.size() >= kMaxNames || contains(name)) return false;
  names_.emplace_back(name);
  return true;
}

void RegisterNameList::add_standard_names() {
  for (std::string_view name : kEditorCtrlRegNames) add(name);
}

void RegisterNameList::add_model_names(const Model& model) {
  auto scalar = [this](const Generator& g) {
    if (style_uses_ctrlreg(g.style)) add(g.ctrlreg.view());
  };
  auto colour = [this](const ColorGenerator& g) {
    if (style_uses_ctrlreg(g.style)) add(g.ctrlreg.view());
  };
  const int n = std::min<int>(model.num_materials, kMaxMaterials);
  for (int i = 0; i < n; ++i) {
    const ModelMaterial& m = model.materials[static_cast<std::size_t>(i)];
    scalar(m.mapfunc_u);
    scalar(m.mapfunc_v);
    colour(m.rgbgen);
    scalar(m.alphagen);
  }
  for (const PartAnimation& p : model.part_anims)
    for (const Generator* g :
         {&p.yaw_func, &p.pitch_func, &p.roll_func, &p.scale_func, &p.scalex_func, &p.scaley_func, &p.scalez_func})
      scalar(*g);
  for (const ModelLight& l : model.lights) colour(l.colorgen);
  colour(model.ambient);
  colour(model.direct);
}

}  // namespace orvo
