// The material table edits: series of new materials, deletion of one- and
// two-stage materials with the faces following their records, the list
// lines, the surface kind, the advanced face and the texture summary read
// from real map files.
#include "orvo/app/material_edits.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvo/image/image.h"
#include "tools/test/huge_pictures.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

// A table of `names`, each record described by its own name.
std::unique_ptr<Model> model_with(const std::vector<std::string>& names) {
  auto model = std::make_unique<Model>();
  for (const std::string& n : names) {
    ModelMaterial& m = model->materials[static_cast<std::size_t>(model->num_materials++)];
    m.name = n;
    m.description = n;
  }
  return model;
}

std::vector<std::string> names_of(const Model& model, int from) {
  std::vector<std::string> out;
  for (int i = from; i < model.num_materials; ++i) out.push_back(model.materials[i].name.str());
  return out;
}

TEST(AppendNewMaterials, MakesTheSeriesTheSettingsDescribe) {
  struct Case {
    const char* what;
    NewMaterialSettings settings;
    std::vector<std::string> names, descriptions;
  };
  const Case cases[] = {
      {"numbers from 7",
       {"wall", "", 3, 0, 0, 7},
       {"wall07.pcx", "wall08.pcx", "wall09.pcx"},
       {"wall07", "wall08", "wall09"}},
      {"letters from the third", {"rock", "Cliff", 2, 1, 1, 2}, {"rockC.tga", "rockD.tga"}, {"CliffC", "CliffD"}},
      {"repeat 0 adds the name as is", {"floor", "ignored", 0, 0, 1, 5}, {"floor.tga"}, {"floor"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto model = model_with({"base"});
    model->materials[0].anim_frames = 4;
    model->materials[0].anim_time = 9;
    model->materials[0].anim_sequence = 2;
    model->materials[0].shader_type = 11;
    model->materials[0].runtime.tc_max_u = 3.0f;
    EXPECT_EQ(append_new_materials(*model, 0, c.settings), static_cast<int>(c.names.size()));
    EXPECT_EQ(names_of(*model, 1), c.names);
    for (std::size_t k = 0; k < c.names.size(); ++k) {
      const ModelMaterial& m = model->materials[k + 1];
      EXPECT_EQ(m.description.str(), c.descriptions[k]);
      EXPECT_EQ(m.green_texture.str(), c.names[k]);
      EXPECT_EQ(m.alpha_texture.str(), c.names[k]);
      EXPECT_EQ(m.anim_frames + m.anim_time + m.anim_sequence, 0);
      EXPECT_EQ(m.shader_type, 11);
    }
    EXPECT_EQ(model->materials[0].runtime.tc_max_u, MaterialRuntime{}.tc_max_u);
  }
}

TEST(AppendNewMaterials, KeepsToTheCaps) {
  auto model = model_with({"base"});
  EXPECT_EQ(append_new_materials(*model, 0, {"t", "", 500, 0, 0, 0}), 99);
  EXPECT_EQ(model->materials[99].name.str(), "t98.pcx");

  model->num_materials = kMaxMaterials - 2;
  EXPECT_EQ(append_new_materials(*model, 0, {"t", "", 5, 0, 0, 0}), 2);
  EXPECT_EQ(model->num_materials, kMaxMaterials);
  EXPECT_EQ(append_new_materials(*model, 0, {"t", "", 0, 0, 0, 0}), 0);

  // A long name is cut to 31 characters for the name, 15 for the maps.
  auto cut = model_with({"base"});
  append_new_materials(*cut, 0, {"abcdefghijklmnopqrstuvwxyz0123456789", "", 0, 0, 0, 0});
  EXPECT_EQ(cut->materials[1].name.str(), "abcdefghijklmnopqrstuvwxyz01234");
  EXPECT_EQ(cut->materials[1].green_texture.str(), "abcdefghijklmno");
}

TEST(DeleteMaterial, RemovesTheRecordsAndFacesFollowThem) {
  struct Case {
    const char* what;
    int index;
    int removed;
    std::vector<std::string> left;
    std::vector<int> face_materials;  // faces were on 0, 1, 2, 3, 4
  };
  // Records 1 and 2 form a two-stage material.
  const Case cases[] = {
      {"second stage takes its first", 2, 2, {"a", "d", "e"}, {0, 0, 0, 1, 2}},
      {"first stage takes its second", 1, 2, {"a", "d", "e"}, {0, 0, 0, 1, 2}},
      {"single record", 3, 1, {"a", "b", "c", "e"}, {0, 1, 2, 0, 3}},
      {"outside the table", 7, 0, {"a", "b", "c", "d", "e"}, {0, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto model = model_with({"a", "b", "c", "d", "e"});
    model->materials[1].multitexture_flags = kMultiTextureOrdinary;
    model->materials[2].multitexture_flags = kMultiTextureSecondLayer;
    model->subobjects.resize(1);
    for (int i = 0; i < 5; ++i) model->subobjects[0].faces.push_back(Face{.material = i});
    EXPECT_EQ(delete_material(*model, c.index), c.removed);
    EXPECT_EQ(names_of(*model, 0), c.left);
    std::vector<int> faces;
    for (const Face& f : model->subobjects[0].faces) faces.push_back(f.material);
    EXPECT_EQ(faces, c.face_materials);
    EXPECT_TRUE(model->materials[static_cast<std::size_t>(model->num_materials)].name.empty());
  }
}

TEST(MaterialTexts, ListLinesAndSurfaceKinds) {
  ModelMaterial m;
  m.name = "wall.pcx";
  EXPECT_EQ(material_list_line(m), "\t1\twall.pcx");
  m.description = "Wall";
  EXPECT_EQ(material_list_line(m), "Wall:\t1\twall.pcx");
  m.multitexture_flags = kMultiTextureSecondLayer;
  EXPECT_EQ(material_list_line(m), "\t2\twall.pcx");

  const std::pair<int, int> kinds[] = {
      {kPhysicalMoveIgnore, 0}, {0x2 | kPhysicalNoScarring, 2}, {0x20000 | 0x1, 1}, {0x40000, 0x40000}, {0x80000, 0}};
  for (const auto& [physical, kind] : kinds) EXPECT_EQ(surface_kind_value(physical), kind) << physical;
}

TEST(MaterialTexts, AdvancedSummaryAndShaderRows) {
  ModelMaterial m;
  EXPECT_EQ(advanced_summary(m), "None");
  m.reflect_type = 258;
  m.reflect_alpha = 1;
  m.actionplane_type = 1;
  m.projector_type = 1;
  m.shader_type = 16;  // only the skinned list has it
  EXPECT_EQ(advanced_summary(m),
            "Specular Sharp - $$\r\n(Reflect Uses Texture Alpha)\r\nSurface Plane: Mirror Reflection\r\n"
            "Projector: Directional Light\r\nShader: Skin Local Phong Bump Map\r\n");
  EXPECT_EQ(shader_description(0), "No advanced shading");
  EXPECT_EQ(shader_description(14), "Use for solid tracers etc.");
  EXPECT_TRUE(shader_description(9).empty());
  EXPECT_TRUE(shader_description(21).empty());
  EXPECT_TRUE(shader_description(-1).empty());
}

// An uncompressed 24-bit TGA of `w` x `h` black pixels.
std::string tga_bytes(int w, int h) {
  std::string b(18, '\0');
  b[2] = 2;
  b[12] = static_cast<char>(w);
  b[14] = static_cast<char>(h);
  b[16] = 24;
  b[17] = 0x20;
  b.append(static_cast<std::size_t>(w * h * 3), '\0');
  return b;
}

void write_pcx_map(const std::string& path, int w, int h) {
  Image image;
  image.width = w;
  image.height = h;
  image.indices.assign(static_cast<std::size_t>(w * h), 0);
  image.palette.assign(256, 0xFF000000u);
  ASSERT_TRUE(write_pcx(path, image).ok());
}

TEST(MaterialTexts, TextureSummaryReadsTheMaps) {
  tools::test::ScratchDir dir("materials");
  const std::string f = dir.root();
  dir.put("rock.TGA", tga_bytes(64, 32));
  dir.put("odd.TGA", tga_bytes(16, 16));
  write_pcx_map(dir.file("wall.pcx"), 32, 64);
  write_pcx_map(dir.file("mask.pcx"), 64, 32);
  dir.put("huge.pcx", tools::test::long_run_pcx(16384, 16384));  // 1 GiB of pixels: only its header is read

  struct Case {
    int color_type, alpha_type;
    const char *green, *alpha;
    std::string text;
  };
  const Case cases[] = {
      {0, 2, "", "", "No Color (Glass)"},
      {1, 0, "", "", "Solid ( 10, 20, 30 )"},
      {1, 1, "", "", "Solid ( 10, 20, 30 ), Transparent (7)"},
      {1, 2, "", "mask", "Solid ( 10, 20, 30 ), " + f + "/mask.pcx, 64x32 (3K)"},
      {2, 0, "wall", "", f + "/wall.pcx, 32x64 (3K)"},
      {2, 1, "rock.TGA", "", f + "/rock.TGA, 64x32 (3K), Transparent (7)"},
      {2, 2, "rock.TGA", "mask.pcx", f + "/rock.TGA, " + f + "/mask.pcx, 64x32 (5K)"},
      {2, 2, "wall.pcx", "mask.pcx", "Error: maps are not the same size!"},
      {2, 0, "gone", "", "Error: unable to load " + f + "/gone.pcx!"},
      {1, 2, "", "odd.tga", "Solid ( 10, 20, 30 ), " + f + "/odd.tga, 16x16 (1K)"},  // any case is TGA
      {2, 0, "huge", "", f + "/huge.pcx, 16384x16384 (262145K)"},
  };
  for (const Case& c : cases) {
    ModelMaterial m;
    m.color_type = c.color_type;
    m.alpha_type = c.alpha_type;
    m.green_texture = c.green;
    m.alpha_texture = c.alpha;
    m.color_green = {10, 20, 30};
    m.transparency = 7;
    EXPECT_EQ(texture_summary(m, f), c.text);
  }
}

}  // namespace
}  // namespace orvo
