// The document: slots and the title, the exit rule, observers, and the
// document commands run by number as the menus and buttons run them.
#include "orvo/document/document.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

TEST(Document, SelectingTheCurrentSlotChangesNothing) {
  Document doc;
  doc.slot(0).name = "tank";
  uint32_t seen = 0;
  doc.observe([&](uint32_t c) { seen |= c; });
  EXPECT_EQ(doc.title(), "TanuORVO v1.05.02e - tank");
  EXPECT_FALSE(doc.select_slot(0));
  EXPECT_EQ(seen, 0u);
  EXPECT_TRUE(doc.select_slot(3));
  EXPECT_NE(seen & kChangedSlot, 0u);
  EXPECT_EQ(doc.title(), "TanuORVO v1.05.02e");
  EXPECT_FALSE(doc.select_slot(4));
}

TEST(Document, ExitAsksOnlyWithASubObjectInSomeSlot) {
  Document doc;
  EXPECT_FALSE(doc.any_subobject());
  doc.slot(3).subobjects.emplace_back();
  EXPECT_TRUE(doc.any_subobject());
}

TEST(Document, CommandsRunByNumberChangeTheViewAndTheirChecks) {
  Document doc;
  CommandTable table;
  bind_document_commands(table, doc);
  int notices = 0;
  const int handle = doc.observe([&](uint32_t) { ++notices; });

  EXPECT_TRUE(table.run(cmd::kPlaneYZ));
  EXPECT_EQ(doc.view().plane, kPlaneYZ);
  EXPECT_EQ(table.checked(cmd::kPlaneYZ), true);
  EXPECT_EQ(table.checked(cmd::kPlaneXY), false);

  doc.view().display_flags = kPanelDisplayFlags;
  EXPECT_EQ(table.checked(cmd::kBoundingObjects), false);
  table.run(cmd::kBoundingObjects);
  EXPECT_EQ(doc.view().display_flags, kPanelDisplayFlags | kShowBoundingObjects);

  doc.view().grid_step = 1024;
  table.run(cmd::kGridUp);
  EXPECT_EQ(doc.view().grid_step, 1024);
  table.run(cmd::kSlotT);
  EXPECT_EQ(doc.current_slot(), 3);
  EXPECT_EQ(table.checked(cmd::kSlotT), true);
  table.run(cmd::kPassLimit2);
  EXPECT_EQ(doc.pass_limit, 2);
  table.run(cmd::kFlyCamera);
  EXPECT_EQ(doc.view().mouse_mode, kMouseFlyCamera);
  EXPECT_EQ(table.checked(cmd::kControlCamera), false);

  doc.unobserve(handle);
  const int before = notices;
  table.run(cmd::kGrid);
  EXPECT_EQ(notices, before);
  EXPECT_EQ(doc.view().grid_shown, 0);
}

TEST(Document, PathsLieInTheStartFolderAndTheUserDataFolder) {
  tools::test::ScratchDir dir;
  const DocumentPaths p = make_document_paths(dir.file("start"), dir.file("home"));
  EXPECT_EQ(p.config_path, dir.file("start") + "/TanuOrvo.cfg");
  EXPECT_EQ(p.preset_path, dir.file("home") + "/Brellwick/ORVO/funcs.pre");
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("home") + "/Brellwick/ORVO"));
}

}  // namespace
}  // namespace orvo
