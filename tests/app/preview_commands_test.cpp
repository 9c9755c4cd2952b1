// The preview's commands without a device: the buttons' mode logic (a start
// in the running mode does nothing, a failed start leaves "Wire", a reload
// keeps the mode, View 3DI only while no preview runs, a compatibility
// change reloads only a running preview), and the real export and load of
// the sample level set through temprend.3di.
#include "orvo/app/preview_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "orvo/runtime/memory_pool.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

struct FakeBackend final : PreviewBackend {
  bool load(const std::string& name, int level) override {
    loads.push_back(name);
    last_level = level;
    return succeed;
  }
  void release() override { ++releases; }
  void set_capability_mask(int m) override { mask = m; }

  bool succeed = true;
  std::vector<std::string> loads;
  int releases = 0, mask = -1, last_level = 0;
};

class PreviewCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    for (const auto& e : std::filesystem::directory_iterator(ORVO_SOURCE_DIR "/samples/tank"))
      std::filesystem::copy_file(e.path(), dir_.path() / e.path().filename());
    c_.notifier = &notes_;
    ASSERT_TRUE(open_level_set(doc_, dir_.file("tankh.3da"), c_));
    notes_.messages.clear();
  }
  void TearDown() override { std::filesystem::current_path(old_); }

  std::filesystem::path old_;
  tools::test::ScratchDir dir_;
  RecordingNotifier notes_;
  FileCommandContext c_;
  Document doc_;
};

TEST_F(PreviewCommandsTest, ButtonsFollowTheModeRules) {
  FakeBackend backend;
  PreviewControl control(doc_, backend, c_);
  doc_.view().preview_spin_a = 7;
  control.start(kPreviewCurrent);
  EXPECT_EQ(doc_.preview_mode, kPreviewCurrent);
  EXPECT_EQ(doc_.view().preview_spin_a, 0);
  EXPECT_TRUE(std::filesystem::exists(dir_.file(kPreviewModelFile)));
  EXPECT_EQ(backend.loads, std::vector<std::string>{kPreviewModelName});

  control.start(kPreviewCurrent);  // already running that way
  EXPECT_EQ(backend.loads.size(), 1u);
  EXPECT_FALSE(control.view_file("other.3di"));  // only while no preview runs
  EXPECT_EQ(backend.loads.size(), 1u);

  control.set_compatibility_level(3);  // unchanged level: no reload
  EXPECT_EQ(backend.loads.size(), 1u);
  control.set_compatibility_level(1);
  EXPECT_EQ(backend.mask, 7);
  EXPECT_EQ(backend.loads.size(), 2u);
  EXPECT_EQ(backend.last_level, 1);

  std::filesystem::remove(dir_.file(kPreviewModelFile));
  control.reload();  // without writing the file again
  EXPECT_FALSE(std::filesystem::exists(dir_.file(kPreviewModelFile)));
  EXPECT_EQ(doc_.preview_mode, kPreviewCurrent);

  backend.succeed = false;
  control.start(kPreviewAll);
  EXPECT_EQ(doc_.preview_mode, kPreviewOff);
  ASSERT_FALSE(notes_.messages.empty());
  EXPECT_EQ(notes_.messages.back().text, "Unable to load temprend.3di");
  EXPECT_NE(std::find(notes_.statuses.begin(), notes_.statuses.end(), "Loading binary model temprend.3di"),
            notes_.statuses.end());
  EXPECT_EQ(notes_.statuses.back(), "");  // the status window closed again

  control.stop();  // nothing runs: nothing released
  const int releases = backend.releases;
  control.stop();
  EXPECT_EQ(backend.releases, releases);
  EXPECT_FALSE(control.view_file("missing.3di"));
  EXPECT_EQ(notes_.messages.back().text, "Unable to load 3di");
  control.set_compatibility_level(2);  // no preview: only the level changes
  EXPECT_EQ(doc_.compatibility_level, 2);
  EXPECT_EQ(backend.mask, 1);
}

TEST_F(PreviewCommandsTest, AnEmptySetCannotBeSaved) {
  for (int i = 0; i < kSlotCount; ++i) model_reset(doc_.slot(i));
  FakeBackend backend;
  PreviewControl control(doc_, backend, c_);
  control.start(kPreviewAll);
  EXPECT_EQ(doc_.preview_mode, kPreviewOff);
  EXPECT_TRUE(backend.loads.empty());
  ASSERT_FALSE(notes_.messages.empty());
  EXPECT_EQ(notes_.messages.back().text, "Unable to save temprend.3di");
}

TEST_F(PreviewCommandsTest, TheSampleSetLoadsWithTheCurrentLevelFirst) {
  ASSERT_TRUE(main_pool().is_set_up() || start_memory_pools());
  LoaderPreview backend;
  PreviewControl control(doc_, backend, c_);
  doc_.select_slot(2);
  control.start(kPreviewCurrent);
  ASSERT_EQ(doc_.preview_mode, kPreviewCurrent) << (notes_.messages.empty() ? "" : notes_.messages.back().text);
  ASSERT_NE(backend.model(), nullptr);
  EXPECT_EQ(backend.model()->lod_count, 4u);
  control.stop();
  EXPECT_EQ(backend.model(), nullptr);
  EXPECT_EQ(main_pool().stats().bytes_used, 0);
  EXPECT_TRUE(control.view_file(dir_.file(kPreviewModelFile)));
  EXPECT_EQ(doc_.preview_mode, kPreviewCurrent);
  EXPECT_TRUE(export_model(doc_, dir_.file("set.3di"), c_));
  EXPECT_FALSE(export_model(doc_, dir_.file("no/such/folder/set.3di"), c_));
  EXPECT_EQ(notes_.messages.back().text, "Unable to export file");
}

}  // namespace
}  // namespace orvo
