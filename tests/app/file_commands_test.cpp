// The file commands on the sample level set: Open All with a missing level,
// the recent list and its "(all)" mark, Save All asking per level and
// writing only the Yes answers, a failed import keeping the slot, and the
// zero-ignore-alpha picture.
#include "orvo/app/file_commands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "orvo/viewer/image.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& e : std::filesystem::directory_iterator(ORVO_SOURCE_DIR "/samples/tank"))
      std::filesystem::copy_file(e.path(), dir_.path() / e.path().filename());
    c_.notifier = &notes_;
    c_.username = "tester";
  }
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& m : notes_.messages) out.push_back(m.text);
    return out;
  }

  tools::test::ScratchDir dir_;
  RecordingNotifier notes_;
  FileCommandContext c_;
  Document doc_;
};

TEST_F(FileCommandsTest, OpenAllReadsEveryLevelAndReportsTheMissingOne) {
  std::filesystem::remove(dir_.file("tankt.3da"));
  EXPECT_TRUE(open_level_set(doc_, dir_.file("tankm.3da"), c_));
  EXPECT_EQ(messages(), std::vector<std::string>{"Unable to open 't' file"});
  EXPECT_FALSE(doc_.slot(0).subobjects.empty());
  EXPECT_FALSE(doc_.slot(2).subobjects.empty());
  EXPECT_TRUE(doc_.slot(3).subobjects.empty());
  EXPECT_EQ(doc_.slot(1).name.view(), "tankm");
  EXPECT_EQ(doc_.recent_files()[0].path, dir_.file("tankh.3da"));
  EXPECT_EQ(recent_menu_text(doc_.recent_files()[0], 0), "&1  " + dir_.file("tankh.3da") + "  (all)");

  // Opening one file then moves it to the front; opening the set again moves it back.
  EXPECT_TRUE(open_model(doc_, 0, dir_.file("tankl.3da"), c_));
  EXPECT_EQ(doc_.recent_files()[0].path, dir_.file("tankl.3da"));
  EXPECT_EQ(doc_.recent_files()[1].path, dir_.file("tankh.3da"));
  const std::filesystem::path before = std::filesystem::current_path();
  EXPECT_TRUE(open_recent(doc_, 1, c_));
  EXPECT_EQ(doc_.recent_files()[0].kind, kRecentLevelSet);
  EXPECT_EQ(std::filesystem::current_path(), dir_.path());
  std::filesystem::current_path(before);  // the scratch folder goes with the test

  EXPECT_FALSE(open_model(doc_, 0, dir_.file("none.3da"), c_));
  EXPECT_EQ(messages().back(), "Unable to open file");
}

TEST_F(FileCommandsTest, ARelativeRecentPathOpensFromTheFolderItWasWrittenIn) {
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path().parent_path());
  doc_.recent_files()[0] = {kRecentLevelSet, (dir_.path().filename() / "tankh.3da").string()};
  const bool opened = open_recent(doc_, 0, c_);
  std::filesystem::current_path(old);
  EXPECT_TRUE(opened);
  EXPECT_EQ(doc_.slot(3).name.view(), "tankt");
  EXPECT_EQ(doc_.recent_files()[0].path, dir_.file("tankh.3da"));
}

TEST_F(FileCommandsTest, SaveAllAsksPerFilledLevelAndWritesOnlyTheYesAnswers) {
  ASSERT_TRUE(open_model(doc_, 0, dir_.file("tankh.3da"), c_));
  ASSERT_TRUE(open_model(doc_, 2, dir_.file("tankl.3da"), c_));
  const std::string out = dir_.file("out") + "/copyh.3da";
  std::filesystem::create_directories(dir_.file("out"));
  std::vector<std::string> asked;
  const int written = save_level_set(
      doc_, out,
      [&](const std::string& text, const std::string& caption) {
        EXPECT_EQ(caption, "Save All");
        asked.push_back(text);
        return asked.size() == 2;
      },
      c_);
  EXPECT_EQ(written, 1);
  EXPECT_EQ(asked, (std::vector<std::string>{"Save " + dir_.file("out") + "/copyh.3da?",
                                             "Save: " + dir_.file("out") + "/copyl.3da?"}));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out") + "/copyh.3da"));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("out") + "/copyl.3da"));
}

TEST_F(FileCommandsTest, AFailedImportKeepsTheSlot) {
  ASSERT_TRUE(open_model(doc_, 0, dir_.file("tankh.3da"), c_));
  const std::size_t parts = doc_.slot(0).subobjects.size();
  EXPECT_FALSE(import_scene(doc_, 0, dir_.file("gone.ase"), c_));
  EXPECT_EQ(messages().back(), "Unable to open file");
  EXPECT_EQ(doc_.slot(0).subobjects.size(), parts);
  EXPECT_TRUE(import_scene(doc_, 1, dir_.file("tankh.ase"), c_));
  EXPECT_EQ(doc_.recent_files()[0].kind, kRecentImport);
}

TEST_F(FileCommandsTest, ZeroIgnoreAlphaMakesATwoLevelMask) {
  Image in;
  in.width = 3;
  in.height = 1;
  in.indices = {0, 1, 200};
  in.palette.assign(256, argb(255, 9, 9, 9));
  ASSERT_TRUE(write_pcx(dir_.file("in.pcx"), in).ok());
  EXPECT_TRUE(create_zero_ignore_alpha(dir_.file("in.pcx"), dir_.file("out.pcx"), notes_));
  const auto out = read_pcx(dir_.file("out.pcx"));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out->indices, (std::vector<uint8_t>{0, 255, 255}));
  EXPECT_EQ(out->palette[200], argb(255, 200, 200, 200));
  EXPECT_FALSE(create_zero_ignore_alpha(dir_.file("missing.pcx"), dir_.file("x.pcx"), notes_));
  EXPECT_EQ(messages().back(), "Error: unable to open " + dir_.file("missing.pcx") + "!");
}

}  // namespace
}  // namespace orvo
