#include "orvo/model/model.h"

#include "orvo/model/base.h"

namespace orvo {

int lod_index(char letter) {
  const char c = ascii_lower(letter);
  for (int i = 0; i < 4; ++i) {
    if (kLodLetters[i] == c) return i;
  }
  return -1;
}

bool ModelMaterial::same_settings(const ModelMaterial& other) const {
  ModelMaterial a = *this;
  ModelMaterial b = other;
  a.assigned = b.assigned = 0;
  a.runtime = b.runtime = MaterialRuntime{};
  return a == b;
}

void model_reset(Model& model) {
  // Field by field rather than `model = Model{}`: a Model is large (the
  // material table is inline) and lives in static storage, so no temporary.
  model.version_3di = 0;
  model.name.clear();
  model.attributes = 0;
  model.render_function = "gnrc";
  model.threshold = 0;
  model.bounding_radius = 0;
  model.horizontal_radius = 0;
  model.height = 0;
  model.num_materials = 0;
  model.materials.fill(ModelMaterial{});
  model.subobjects.clear();
  model.attach.clear();
  model.centers.clear();
  model.total_bobj_items = 0;
  model.bobj.clear();
  model.userpts.clear();
  model.lights.clear();
  model.srcmat.clear();
  model.pm_enable = 0;
  model.pm_polythresh = 0;
  model.fakeskin_z = 0;
  model.polycollision = 0;
  model.ambient = ColorGenerator{};
  model.direct = ColorGenerator{};
  model.part_anim_enable = 0;
  for (int i = 0; i < kMaxPartAnims; ++i) {
    model.part_anims[i] = PartAnimation{};
    model.part_anims[i].transform_as = i;
  }
}

void model_release(Model& model) {
  // Give the memory back, not only the elements.
  std::vector<SubObject>().swap(model.subobjects);
  std::vector<AttachPoint>().swap(model.attach);
  std::vector<CenterPoint>().swap(model.centers);
  std::vector<BoundingObject>().swap(model.bobj);
  std::vector<UserPoint>().swap(model.userpts);
  std::vector<ModelLight>().swap(model.lights);
  std::vector<SourceMaterial>().swap(model.srcmat);
  model_reset(model);
}

namespace {

const SourceMaterial& source_of(const Model& model, const Face& face) {
  static const SourceMaterial kUnnamed{};
  if (face.srcmat < 0 || face.srcmat >= static_cast<int>(model.srcmat.size())) return kUnnamed;
  return model.srcmat[static_cast<std::size_t>(face.srcmat)];
}

bool has_second_layer(const SourceMaterial& s) {
  return (s.layer_flags & kSourceSecondLayer) != 0;
}

bool is_second_layer(const ModelMaterial& m) {
  return (m.multitexture_flags & kMultiTextureSecondLayer) != 0;
}

// Step 1 of add-material: the first material that stands for S.
int find_match(const Model& model, const SourceMaterial& s) {
  const bool two_layers = has_second_layer(s);
  for (int i = 0; i < model.num_materials; ++i) {
    const ModelMaterial& m = model.materials[static_cast<std::size_t>(i)];
    if (is_second_layer(m) || !iequals(m.description.view(), s.name.view())) continue;
    const ModelMaterial* next = i + 1 < kMaxMaterials ? &model.materials[static_cast<std::size_t>(i + 1)] : nullptr;
    if (two_layers) {
      if (next != nullptr && iequals(next->description.view(), s.name.view())) return i;
    } else {
      if (next == nullptr || !is_second_layer(*next)) return i;
    }
  }
  return -1;
}

// Step 2: a matched material takes S's texture data of one layer; everything
// the artist set stays.
void refresh_layer(ModelMaterial& m, const SourceMaterial& s, int layer, std::string_view texture_name) {
  m.name = texture_name;
  m.green_texture = texture_name;
  m.description = s.name.view();
  if (!s.opacity_texture[layer].empty()) {
    m.alpha_texture = s.opacity_texture[layer].view();
    m.alpha_type = 2;
  }
  m.u_offset = s.u_offset[layer];
  m.v_offset = s.v_offset[layer];
  m.u_tiling = s.u_tiling[layer];
  m.v_tiling = s.v_tiling[layer];
}

// Step 3: a new material made from one layer of S.
void make_layer(ModelMaterial& m, const SourceMaterial& s, int layer, std::string_view texture_name,
                int default_physical, int default_color_type, int default_alpha_type) {
  m = ModelMaterial{};
  m.name = texture_name;
  m.green_texture = texture_name;
  m.description = s.name.view();
  if (!s.opacity_texture[layer].empty()) {
    m.alpha_texture = s.opacity_texture[layer].view();
    m.alpha_type = 2;
  } else {
    m.alpha_type = default_alpha_type;
  }
  m.render_attributes = s.flags;
  m.physical_attributes = default_physical;
  m.color_type = default_color_type;
  if (m.alpha_type == 2) {
    m.blending_mode = 2;
    m.use_alpha_pcx = 1;
  } else if (m.alpha_type == 1) {
    m.blending_mode = 2;
  } else {
    m.blending_mode = 1;
  }
  m.multitexture_flags = kMultiTextureOrdinary;
  m.u_offset = s.u_offset[layer];
  m.v_offset = s.v_offset[layer];
  m.u_tiling = s.u_tiling[layer];
  m.v_tiling = s.v_tiling[layer];
  m.assigned = 1;
}

// The slot after the last material is prepared for the material editor.
void prepare_next_slot(Model& model) {
  if (model.num_materials >= kMaxMaterials) return;
  ModelMaterial& next = model.materials[static_cast<std::size_t>(model.num_materials)];
  next.rgbgen.rate = 1.0f;
  next.alphagen.rate = 1.0f;
  next.reflect_r = next.reflect_g = next.reflect_b = 255;
  next.reflect_type = 0;
}

}  // namespace

int model_AddMaterial(Model& model, std::string_view texture_name, const Face* face, int default_physical,
                      int default_color_type, int default_alpha_type, UserNotifier& notifier) {
  if (face == nullptr) {
    notifier.message(kNullFaceMessage, kNullFaceCaption);
    return 0;
  }
  const SourceMaterial& s = source_of(model, *face);

  // An unnamed source material matches an unnamed material too, so that all
  // faces without a material name share one material instead of each making
  // a new one until the table is full. Such a source has no texture data to
  // give (an ASC scene's faces, faces whose material reference names
  // nothing): the material keeps what the metafile gave it.
  const int match = find_match(model, s);
  if (match >= 0) {
    ModelMaterial& m = model.materials[static_cast<std::size_t>(match)];
    if (m.assigned) return match;
    m.assigned = 1;
    if (s.name.empty()) return match;
    refresh_layer(m, s, 0, texture_name);
    if (has_second_layer(s) && match + 1 < kMaxMaterials) {
      refresh_layer(model.materials[static_cast<std::size_t>(match + 1)], s, 1, s.colour_texture[1].view());
    }
    return match;
  }

  const int n = model.num_materials;
  if (n >= kMaxMaterials) return 0;
  make_layer(model.materials[static_cast<std::size_t>(n)], s, 0, texture_name, default_physical, default_color_type,
             default_alpha_type);
  ++model.num_materials;
  prepare_next_slot(model);
  if (has_second_layer(s) && model.num_materials < kMaxMaterials) {
    ModelMaterial& second = model.materials[static_cast<std::size_t>(n + 1)];
    make_layer(second, s, 1, s.colour_texture[1].view(), default_physical, default_color_type, default_alpha_type);
    second.multitexture_flags = kMultiTextureSecondLayer;
    ++model.num_materials;
    prepare_next_slot(model);
  }
  return n;
}

}  // namespace orvo
