// Control registers and part orientations collected before the export
// writes: order, duplicates, styles that count; matching within 0.999, the
// matrix and its inverse, the table limit.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "orvo/export/model_tables.h"

namespace {

using namespace orvo;

Generator driven(int style, const char* reg) {
  Generator g;
  g.style = style;
  g.ctrlreg = reg;
  return g;
}

std::unique_ptr<Model> level() {
  auto m = std::make_unique<Model>();
  model_reset(*m);
  return m;
}

TEST(ModelTables, ControlRegistersInOrderOfFirstUseFromTheLastLevel) {
  auto lod0 = level(), lod1 = level();
  lod0->num_materials = 2;
  lod0->materials[0].mapfunc_u = driven(0x71, "DOOR");
  lod0->materials[0].rgbgen.style = 0x70;  // not above 0x70: no register
  lod0->materials[0].rgbgen.ctrlreg = "IGNORED";
  lod0->materials[1].alphagen = driven(0x75, "AUDIO");
  lod0->part_anim_enable = 1;
  lod0->subobjects.resize(1);
  lod0->part_anims[0].rotate_type = 2;
  lod0->part_anims[0].yaw_func = driven(0x71, "ROTOR");
  lod0->part_anims[0].pitch_func = driven(0x72, "NOT_0x71");
  lod0->lights.resize(1);
  lod0->lights[0].colorgen.style = 0x71;
  lod0->lights[0].colorgen.ctrlreg = "door";  // case counts
  lod1->num_materials = 1;
  lod1->materials[0].mapfunc_v = driven(0x71, "AUDIO");
  const auto table = collect_control_registers({lod0.get(), lod1.get(), nullptr, nullptr}, 2);
  EXPECT_EQ(table, (std::vector<std::string>{"AUDIO", "DOOR", "ROTOR", "door"}));
  EXPECT_EQ(control_register_index(table, "ROTOR"), 2);
  EXPECT_EQ(control_register_index(table, "MISSING"), 0);
  EXPECT_TRUE(collect_control_registers({lod0.get(), lod1.get(), nullptr, nullptr}, 1).size() == 4u);
}

TEST(ModelTables, OrientationsMatchWithinTheToleranceAndInvert) {
  auto lod0 = level();
  lod0->subobjects.resize(3);
  const float c = std::cos(0.5f), s = std::sin(0.5f);
  lod0->centers.resize(3);
  for (auto& cp : lod0->centers) cp.rows = {Row3{1, 0, 0}, Row3{0, 1, 0}, Row3{0, 0, 1}, Row3{}};
  lod0->centers[1].rows = {Row3{c, s, 0}, Row3{-s, c, 0}, Row3{0, 0, 1}, Row3{}};  // turned about z
  lod0->centers[2].rows[0] = {0.9999f, 0.01f, 0};                                  // within 0.999 of the identity
  auto t = collect_orientations({lod0.get(), nullptr, nullptr, nullptr}, 1);
  ASSERT_TRUE(t.ok());
  ASSERT_EQ(t->entries.size(), 2u);
  EXPECT_EQ(t->part_index[0], (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(t->entries[0].matrix, (std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
  // The stored matrix times the file-axes matrix is the identity.
  const NodeRows& r = lod0->centers[1].rows;
  const float f[3][3] = {{r[1].y, -r[1].z, -r[1].x}, {-r[2].y, r[2].z, r[2].x}, {-r[0].y, r[0].z, r[0].x}};
  const auto& inv = t->entries[1].matrix;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      float sum = 0;
      for (int k = 0; k < 3; ++k) sum += inv[static_cast<std::size_t>(4 * i + k)] * f[k][j];
      EXPECT_NEAR(sum, i == j ? 1.0f : 0.0f, 1e-5) << i << j;
    }
}

TEST(ModelTables, MoreThan64OrientationsAreRefused) {
  auto lod0 = level();
  lod0->subobjects.resize(64);
  lod0->centers.resize(64);
  for (int i = 0; i < 64; ++i) {
    const float a = 0.09f * float(i + 1), c = std::cos(a), s = std::sin(a);
    lod0->centers[static_cast<std::size_t>(i)].rows = {Row3{c, s, 0}, Row3{-s, c, 0}, Row3{0, 0, 1}, Row3{}};
  }
  auto t = collect_orientations({lod0.get(), nullptr, nullptr, nullptr}, 1);
  ASSERT_FALSE(t.ok());
  EXPECT_NE(t.error().message.find("level 0, sub-object 64"), std::string::npos) << t.error().message;
}

}  // namespace
