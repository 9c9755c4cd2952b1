// Texture registration: by-name entries and their reuse, ".TGA" entries,
// combined colour and alpha entries, flags and their carry-over, missing
// pictures, levels without parts, the table limit.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "orvo/export/textures.h"

namespace {

using namespace orvo;

std::unique_ptr<Model> level(int materials, bool with_part = true) {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  m->num_materials = materials;
  if (with_part) m->subobjects.resize(1);
  return m;
}

ModelMaterial textured(const char* green, int multitexture = 1, const char* alpha = "") {
  ModelMaterial m;
  m.color_type = 2;
  m.multitexture_flags = multitexture;
  m.green_texture = green;
  m.alpha_texture = alpha;
  m.use_alpha_pcx = alpha[0] != 0;
  return m;
}

struct Pictures {
  std::map<std::string, PictureSize> files{{"ROCK.PCX", {64, 32}},
                                           {"GRASS.pcx", {16, 16}},
                                           {"GRASS.PCX", {16, 16}},
                                           {"sky.tga", {128, 64}},
                                           {"ROCKA.PCX", {64, 32}}};
  std::vector<std::string> asked;
  PictureSizeReader reader() {
    return [this](const std::string& name) -> std::optional<PictureSize> {
      asked.push_back(name);
      const auto it = files.find(name);
      if (it == files.end()) return std::nullopt;
      return it->second;
    };
  }
};

TEST(Textures, EntriesByNameTgaAndCombined) {
  auto lod0 = level(6);
  lod0->materials[0] = textured("rock.pcx");
  lod0->materials[1] = textured("ROCK.PCX", 2);               // reused: flags merged
  lod0->materials[2] = textured("grass");                     // extension pcx added
  lod0->materials[3] = textured("sky.tga");                   // always a new entry, named as given
  lod0->materials[4] = textured("rock.pcx", 1, "rocka.pcx");  // combined
  lod0->materials[5] = textured("missing.pcx");
  Pictures pics;
  auto t = register_textures({lod0.get(), nullptr, nullptr, nullptr}, pics.reader());
  ASSERT_TRUE(t.ok()) << t.error().message;
  ASSERT_EQ(t->entries.size(), 4u);
  EXPECT_EQ(t->entries[0].second_name, "ROCK.PCX");
  EXPECT_EQ(t->entries[0].flags, 0x200u | 0x400u | 7u);
  EXPECT_EQ(t->entries[0].width, 64);
  EXPECT_EQ(t->entries[1].second_name, "GRASS.pcx");
  EXPECT_EQ(t->entries[2].first_name, "sky.tga");
  EXPECT_EQ(t->entries[2].second_name, "");
  EXPECT_EQ(t->entries[3].first_name, "rock.pcx");
  EXPECT_EQ(t->entries[3].second_name, "rocka.pcx");
  EXPECT_EQ(t->entries[3].flags, 0x200u | 0x107u);
  const std::vector<uint8_t> colour{0, 0, 1, 2, 3, file3di::kNoTexture};
  for (std::size_t i = 0; i < colour.size(); ++i) EXPECT_EQ(t->materials[0][i].colour, colour[i]) << i;
}

TEST(Textures, AlphaAloneFlagsCarryOverAndSecondLayers) {
  auto lod0 = level(4);
  lod0->materials[0] = textured("rock.pcx", 2);  // 0x400
  ModelMaterial alpha_only;                      // no layer bits: keeps 0x400
  alpha_only.use_alpha_pcx = 1;
  alpha_only.alpha_texture = "grass.pcx";
  lod0->materials[1] = alpha_only;
  lod0->materials[2] = textured("rock.pcx", 1);
  ModelMaterial layer = textured("grass.pcx", 2);  // tested by material 2's colour type
  layer.color_type = 0;
  lod0->materials[3] = layer;
  Pictures pics;
  auto t = register_textures({lod0.get(), nullptr, nullptr, nullptr}, pics.reader());
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t->materials[0][1].alpha, 1);
  EXPECT_EQ(t->materials[0][1].colour, file3di::kNoTexture);
  EXPECT_EQ(t->entries[1].flags, 0x400u | 0x18u);
  EXPECT_EQ(t->materials[0][3].colour, 2);  // textured through its first layer
}

TEST(Textures, LevelsWithoutPartsAreSkippedOthersRegister) {
  auto lod0 = level(1), lod1 = level(1, false), lod3 = level(1);
  lod0->materials[0] = textured("rock.pcx");
  lod1->materials[0] = textured("grass.pcx");
  lod3->materials[0] = textured("grass.pcx");
  Pictures pics;
  auto t = register_textures({lod0.get(), lod1.get(), nullptr, lod3.get()}, pics.reader());
  ASSERT_TRUE(t.ok());
  EXPECT_TRUE(t->materials[1].empty());
  EXPECT_EQ(t->materials[3][0].colour, 1);
}

TEST(Textures, TheTableHoldsAtMost255Entries) {
  auto lod0 = level(256);
  Pictures pics;
  for (int i = 0; i < 256; ++i) {
    const std::string name = "t" + std::to_string(i) + ".tga";
    pics.files[name] = {8, 8};
    lod0->materials[static_cast<std::size_t>(i)] = textured(name.c_str());
  }
  auto t = register_textures({lod0.get(), nullptr, nullptr, nullptr}, pics.reader());
  ASSERT_FALSE(t.ok());
  EXPECT_NE(t.error().message.find("t255.tga"), std::string::npos) << t.error().message;
}

}  // namespace
