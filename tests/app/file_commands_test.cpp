// The file commands on the sample level set: Open All with a missing level,
// the recent list and its "(all)" mark, Save All asking per level and
// writing only the Yes answers, a failed import keeping the slot, and the
// zero-ignore-alpha picture.
#include "orvo/app/file_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "orvo/image/image.h"
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
  // The messages' first lines: the commands' fixed texts.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& m : notes_.messages) out.push_back(m.text.substr(0, m.text.find('\n')));
    return out;
  }
  // The last message's lines after the first: the file and the reason.
  std::string detail() const {
    const std::string& text = notes_.messages.back().text;
    return text.find('\n') == std::string::npos ? std::string() : text.substr(text.find('\n') + 1);
  }
  // A copy of the sample level `from` under `to`, cut to `bytes` when given.
  void copy(const std::string& from, const std::string& to, std::size_t bytes = std::string::npos) {
    tools::test::write_bytes(dir_.file(to), tools::test::slurp(dir_.file(from)).substr(0, bytes));
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
  EXPECT_EQ(detail(), dir_.file("none.3da") + ": cannot open: No such file or directory");
}

TEST_F(FileCommandsTest, AFailedOpenLeavesTheSlotAsItWas) {
  ASSERT_TRUE(open_model(doc_, 0, dir_.file("tankh.3da"), c_));
  const std::size_t parts = doc_.slot(0).subobjects.size();
  const float scale = doc_.unit_scale;
  // Cut inside a block, a parse error, and a file whose scene is missing:
  // each is told with its file, and the slot keeps the model, its name and
  // its file.
  copy("tankh.3da", "cuth.3da", tools::test::slurp(dir_.file("tankh.3da")).find("shader_type"));  // in a material block
  std::ofstream(dir_.file("badh.3da")) << "scale_factor 1.0\nmaterial\n  bogus_key 1\n";
  copy("tankh.3da", "alone.3da");
  for (const char* file : {"cuth.3da", "badh.3da", "alone.3da"}) {
    EXPECT_FALSE(open_model(doc_, 0, dir_.file(file), c_)) << file;
    EXPECT_NE(detail().find(dir_.file(file)), std::string::npos) << detail();
    EXPECT_EQ(doc_.slot(0).subobjects.size(), parts) << file;
    EXPECT_EQ(doc_.slot(0).name.view(), "tankh") << file;
    EXPECT_EQ(doc_.slot_file(0), dir_.file("tankh.3da")) << file;
    EXPECT_EQ(doc_.unit_scale, scale) << file;
  }
  EXPECT_EQ(messages()[0], "Unexpeded EOF");
  EXPECT_TRUE(messages()[1].starts_with("Error parsing file, line ")) << messages()[1];
  EXPECT_EQ(messages()[2], "Error loading 3da file");
  EXPECT_NE(detail().find("alone.ase"), std::string::npos) << detail();  // the scene that is missing
  EXPECT_EQ(doc_.recent_files()[0].path, dir_.file("tankh.3da"));
}

TEST_F(FileCommandsTest, OpenAllNeverMixesTwoSets) {
  ASSERT_TRUE(open_level_set(doc_, dir_.file("tankh.3da"), c_));
  ASSERT_FALSE(doc_.slot(3).subobjects.empty());
  // A second set without its T level: T is left empty, not the old set's.
  std::filesystem::create_directories(dir_.file("other"));
  for (const char* file : {"tankh.3da", "tankh.ase", "tankm.3da", "tankm.ase", "tankl.3da", "tankl.asc"})
    copy(file, std::string("other/") + file);
  EXPECT_TRUE(open_level_set(doc_, dir_.file("other/./tankm.3da"), c_));
  EXPECT_EQ(messages().back(), "Unable to open 't' file");
  EXPECT_EQ(detail(), dir_.file("other/tankt.3da") + ": cannot open: No such file or directory");
  EXPECT_TRUE(doc_.slot(3).subobjects.empty());
  EXPECT_TRUE(doc_.slot_file(3).empty());
  EXPECT_EQ(doc_.slot_file(0), dir_.file("other/tankh.3da"));
  EXPECT_EQ(doc_.recent_files()[0].path, dir_.file("other/tankh.3da"));

  // A set none of whose levels reads changes nothing.
  for (const char* level : {"brokenh", "brokenm", "brokenl", "brokent"})
    copy("tankh.3da", std::string(level) + ".3da", 900);
  EXPECT_FALSE(open_level_set(doc_, dir_.file("brokenh.3da"), c_));
  EXPECT_EQ(messages().back(), "Unexpeded EOF in 't' file");
  EXPECT_FALSE(doc_.slot(0).subobjects.empty());
  EXPECT_EQ(doc_.slot_file(2), dir_.file("other/tankl.3da"));
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
  // A scene cut short says where and why.
  copy("tankh.ase", "cut.ase", 4000);
  EXPECT_FALSE(import_scene(doc_, 0, dir_.file("cut.ase"), c_));
  EXPECT_EQ(messages().back(), "Error parsing file");
  EXPECT_TRUE(detail().starts_with(dir_.file("cut.ase") + ":")) << detail();
  EXPECT_EQ(doc_.slot(0).subobjects.size(), parts);
  EXPECT_EQ(doc_.slot_file(0), dir_.file("tankh.3da"));
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
  EXPECT_FALSE(std::filesystem::exists(dir_.file("x.pcx")));
}

}  // namespace
}  // namespace orvo
