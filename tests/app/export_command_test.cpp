// The export command's pieces: the preview's slot order, depfile text and
// the scene file of a 3DA file.
#include "orvo/app/export_command.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tools/test/scratch_dir.h"

namespace {

using namespace orvo;

TEST(ExportCommand, ThePreviewWritesTheViewedLevelFirst) {
  const Model* a = reinterpret_cast<const Model*>(0x10);
  const Model* b = reinterpret_cast<const Model*>(0x20);
  const Model* c = reinterpret_cast<const Model*>(0x30);
  const Model* d = reinterpret_cast<const Model*>(0x40);
  const std::array<const Model*, 4> slots{a, b, c, d};
  EXPECT_EQ(export_order(slots, 0), slots);
  EXPECT_EQ(export_order(slots, 2), (std::array<const Model*, 4>{c, d, a, b}));
  EXPECT_EQ(export_order(slots, 3), (std::array<const Model*, 4>{d, a, b, c}));
}

TEST(ExportCommand, DepfilesEscapeWhatMakeAndNinjaReadSpecially) {
  EXPECT_EQ(depfile_text("out/t.3di", {"a b/x.3da", "c$#.tga"}), "out/t.3di: \\\n  a\\ b/x.3da \\\n  c$$\\#.tga\n");
}

TEST(ExportCommand, SceneFileOfAModel) {
  Model m;
  m.attributes = 1;
  EXPECT_EQ(scene_path_of("d.x/tankh.3da", m), "d.x/tankh.ase");
  m.attributes = 0;
  EXPECT_EQ(scene_path_of("d.x/tankh", m), "d.x/tankh.asc");
  // The depfile names the scene the model was read from, of any kind.
  tools::test::ScratchDir dir;
  std::ofstream(dir.file("boat.glb")) << "glTF";
  EXPECT_EQ(scene_path_of(dir.file("boat.3da"), m), dir.file("boat.glb"));
}

}  // namespace
