#include "orvo/model/model.h"

#include <gtest/gtest.h>

#include <memory>

#include "orvo/model/base.h"
#include "orvo/model/named_values.h"

namespace orvo {
namespace {

std::unique_ptr<Model> fresh_model() {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  return m;
}

SourceMaterial source(std::string_view name, std::string_view texture, std::string_view opacity = {}) {
  SourceMaterial s;
  s.name = name;
  s.colour_texture[0] = texture;
  s.opacity_texture[0] = opacity;
  s.u_tiling = {1, 1};
  s.v_tiling = {1, 1};
  return s;
}

int add(Model& m, int srcmat, int color_type = 2, UserNotifier* notifier = nullptr) {
  NullNotifier quiet;
  Face f;
  f.srcmat = srcmat;
  const std::string_view tex = srcmat >= 0 && srcmat < static_cast<int>(m.srcmat.size())
                                   ? m.srcmat[static_cast<std::size_t>(srcmat)].colour_texture[0].view()
                                   : std::string_view{};
  return model_AddMaterial(m, tex, &f, 0, color_type, 0, notifier ? *notifier : quiet);
}

TEST(Model, ResetSetsDefaultsAndReleaseFreesEverything) {
  auto m = fresh_model();
  EXPECT_EQ(m->render_function.view(), "gnrc");
  for (int i = 0; i < kMaxPartAnims; ++i) EXPECT_EQ(m->part_anims[static_cast<std::size_t>(i)].transform_as, i);
  EXPECT_FALSE(m->present());

  m->subobjects.resize(3);
  m->num_materials = 5;
  m->materials[2].description = "x";
  m->part_anims[4].transform_as = 0;
  m->attributes = 3;
  EXPECT_TRUE(m->present());
  model_release(*m);
  EXPECT_FALSE(m->present());
  EXPECT_EQ(m->subobjects.capacity(), 0u);
  EXPECT_EQ(m->num_materials, 0);
  EXPECT_TRUE(m->materials[2].description.empty());
  EXPECT_EQ(m->part_anims[4].transform_as, 4);
  EXPECT_EQ(m->attributes, 0);
}

TEST(Model, LodLettersInOrder) {
  EXPECT_EQ(lod_index('h'), 0);
  EXPECT_EQ(lod_index('M'), 1);
  EXPECT_EQ(lod_index('l'), 2);
  EXPECT_EQ(lod_index('t'), 3);
  EXPECT_EQ(lod_index('x'), -1);
}

TEST(AddMaterial, NullFaceShowsTheMessageAndReturnsZero) {
  auto m = fresh_model();
  RecordingNotifier rec;
  EXPECT_EQ(model_AddMaterial(*m, "tex.tga", nullptr, 0, 2, 0, rec), 0);
  ASSERT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(rec.messages[0].text, "NULL face pointer in model_AddMaterial");
  EXPECT_EQ(rec.messages[0].caption, "Arrgh!");
  EXPECT_EQ(m->num_materials, 0);
}

TEST(AddMaterial, NewMaterialTakesTheSourceAndDefaults) {
  auto m = fresh_model();
  m->srcmat = {source("Hull", "HULL.TGA"), source("Glass", "GLASS.TGA", "GLASSA.TGA")};
  m->srcmat[0].flags = kSourceTwoSided;
  m->srcmat[0].u_tiling[0] = 2.0f;

  EXPECT_EQ(add(*m, 0), 0);
  const ModelMaterial& hull = m->materials[0];
  EXPECT_EQ(hull.name.view(), "HULL.TGA");
  EXPECT_EQ(hull.green_texture.view(), "HULL.TGA");
  EXPECT_EQ(hull.description.view(), "Hull");
  EXPECT_EQ(hull.alpha_type, 0);
  EXPECT_EQ(hull.blending_mode, 1);
  EXPECT_EQ(hull.use_alpha_pcx, 0);
  EXPECT_EQ(hull.render_attributes, kRenderTwoSided);
  EXPECT_EQ(hull.color_type, 2);
  EXPECT_EQ(hull.multitexture_flags, 1);
  EXPECT_FLOAT_EQ(hull.u_tiling, 2.0f);
  EXPECT_TRUE(hull.assigned);
  // The next slot is prepared for the editor.
  EXPECT_FLOAT_EQ(m->materials[1].rgbgen.rate, 1.0f);
  EXPECT_FLOAT_EQ(m->materials[1].alphagen.rate, 1.0f);
  EXPECT_EQ(m->materials[1].reflect_g, 255);

  EXPECT_EQ(add(*m, 1), 1);
  const ModelMaterial& glass = m->materials[1];
  EXPECT_EQ(glass.alpha_texture.view(), "GLASSA.TGA");
  EXPECT_EQ(glass.alpha_type, 2);
  EXPECT_EQ(glass.blending_mode, 2);
  EXPECT_EQ(glass.use_alpha_pcx, 1);
  // The preparation of slot 1 was cleared when the material was made there.
  EXPECT_EQ(glass.reflect_g, 0);
  EXPECT_EQ(m->num_materials, 2);
}

TEST(AddMaterial, MatchRefreshesTexturesAndKeepsArtistData) {
  auto m = fresh_model();
  // What a 3DA load leaves: a material the artist edited, not yet assigned.
  m->num_materials = 1;
  ModelMaterial& artist = m->materials[0];
  artist.description = "HULL";  // case differs
  artist.name = "OLD.TGA";
  artist.blending_mode = 4;
  artist.physical_attributes = 1;
  artist.multitexture_flags = 1;
  m->srcmat = {source("Hull", "NEW.TGA", "NEWA.TGA")};

  EXPECT_EQ(add(*m, 0), 0);
  EXPECT_EQ(m->num_materials, 1);
  EXPECT_EQ(artist.name.view(), "NEW.TGA");
  EXPECT_EQ(artist.description.view(), "Hull");
  EXPECT_EQ(artist.alpha_texture.view(), "NEWA.TGA");
  EXPECT_EQ(artist.alpha_type, 2);
  EXPECT_EQ(artist.blending_mode, 4);
  EXPECT_EQ(artist.physical_attributes, 1);

  // Once assigned, a match is returned untouched.
  artist.name = "EDITED";
  EXPECT_EQ(add(*m, 0), 0);
  EXPECT_EQ(artist.name.view(), "EDITED");
}

TEST(AddMaterial, SecondLayerIsMadeAfterItsMaterialAndNeverMatchesAlone) {
  auto m = fresh_model();
  SourceMaterial two = source("Base", "BASE.TGA");
  two.layer_flags = kSourceSecondLayer;
  two.colour_texture[1] = "DETAIL.TGA";
  two.opacity_texture[1] = "DETAILA.TGA";
  two.u_tiling[1] = 8.0f;
  m->srcmat = {two, source("Base", "BASE.TGA")};

  EXPECT_EQ(add(*m, 0), 0);
  ASSERT_EQ(m->num_materials, 2);
  const ModelMaterial& layer = m->materials[1];
  EXPECT_EQ(layer.multitexture_flags, kMultiTextureSecondLayer);
  EXPECT_EQ(layer.name.view(), "DETAIL.TGA");
  EXPECT_EQ(layer.description.view(), "Base");
  EXPECT_EQ(layer.alpha_type, 2);
  EXPECT_FLOAT_EQ(layer.u_tiling, 8.0f);

  // The one-layer material of the same name must not take material 0 (whose
  // next material is a second layer) nor the second layer itself.
  EXPECT_EQ(add(*m, 1), 2);
  EXPECT_EQ(m->num_materials, 3);

  // A two-layer source matches only when the next material carries its name.
  for (auto& mat : m->materials) mat.assigned = 0;
  EXPECT_EQ(add(*m, 0), 0);
  EXPECT_EQ(m->num_materials, 3);
}

TEST(AddMaterial, TableHoldsAThousandMaterials) {
  auto m = fresh_model();
  for (int i = 0; i < kMaxMaterials + 1; ++i) m->srcmat.push_back(source(std::to_string(i).insert(0, 1, 'M'), "T.TGA"));
  for (int i = 0; i < kMaxMaterials; ++i) ASSERT_EQ(add(*m, i), i);
  EXPECT_EQ(m->num_materials, kMaxMaterials);
  EXPECT_EQ(add(*m, kMaxMaterials), 0);  // the 1001st cannot be added
  EXPECT_EQ(m->num_materials, kMaxMaterials);

  // A two-layer source with room for only its first layer.
  auto n = fresh_model();
  for (int i = 0; i < kMaxMaterials - 1; ++i) n->srcmat.push_back(source(std::to_string(i).insert(0, 1, 'M'), "T.TGA"));
  SourceMaterial two = source("Two", "A.TGA");
  two.layer_flags = kSourceSecondLayer;
  n->srcmat.push_back(two);
  for (int i = 0; i < kMaxMaterials - 1; ++i) ASSERT_EQ(add(*n, i), i);
  EXPECT_EQ(add(*n, kMaxMaterials - 1), kMaxMaterials - 1);
  EXPECT_EQ(n->num_materials, kMaxMaterials);
}

TEST(AddMaterial, FacesWithoutAMaterialNameShareOneMaterial) {
  auto m = fresh_model();
  m->srcmat = {SourceMaterial{}};
  EXPECT_EQ(add(*m, 0), 0);
  EXPECT_EQ(add(*m, 0), 0);
  EXPECT_EQ(add(*m, 7), 0);  // an index outside the sources is an unnamed material
  EXPECT_EQ(m->num_materials, 1);

  // A material the metafile gave an unnamed source keeps its textures.
  auto asc = fresh_model();
  asc->num_materials = 1;
  asc->materials[0].name = "CRATE.TGA";
  asc->materials[0].green_texture = "CRATE.TGA";
  asc->srcmat = {SourceMaterial{}};
  EXPECT_EQ(add(*asc, 0), 0);
  EXPECT_EQ(asc->materials[0].name.view(), "CRATE.TGA");
  EXPECT_EQ(asc->materials[0].green_texture.view(), "CRATE.TGA");
  EXPECT_TRUE(asc->materials[0].assigned);
}

TEST(NamedValues, TablesEndWithTheTerminatorAndLookUp) {
  EXPECT_EQ(named_entries(kRenderFunctions).size(), 20u);
  EXPECT_EQ(named_entries(kPhysicalAttributes).size(), 11u);
  EXPECT_EQ(named_value(kPhysicalAttributes, "Hard Metal"), 0x200);
  EXPECT_EQ(named_value(kShaderTypesRigid, "Ghost"), 14);
  EXPECT_EQ(named_text(kReflectTypes, 258), "Specular Sharp - $$");
  EXPECT_EQ(named_text(kBlendingModes, 5), "Multiplicative");
  EXPECT_EQ(named_value(kColourTypes, "nope", -7), -7);
  EXPECT_EQ(named_entries(kRotateTypes).size(), 5u);
}

}  // namespace
}  // namespace orvo
