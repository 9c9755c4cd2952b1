// The preview's commands without a device: the buttons' mode logic (a start
// in the running mode does nothing, a failed start leaves "Wire", a reload
// keeps the mode, View 3DI only while no preview runs, a compatibility
// change reloads only a running preview), the real export and load of the
// sample level set through temprend.3di, what "Update Textures" loads, and
// the messages of failures and of pictures that cannot be read.
#include "orvo/app/preview_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "orvo/app/export_command.h"
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
  std::string last_error() const override { return error; }
  std::vector<std::string> texture_failures() const override { return failures; }

  bool succeed = true;
  std::string error;
  std::vector<std::string> failures;
  std::vector<std::string> loads;
  int releases = 0, mask = -1, last_level = 0;
};

// The first line of a message box's text.
std::string first_line(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

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
  control.set_compatibility_level(3);  // the same file again, not written again
  EXPECT_FALSE(std::filesystem::exists(dir_.file(kPreviewModelFile)));
  EXPECT_EQ(backend.loads.size(), 3u);
  control.reload();  // "Update Textures": written again, so the texture table follows the folder
  EXPECT_TRUE(std::filesystem::exists(dir_.file(kPreviewModelFile)));
  EXPECT_EQ(doc_.preview_mode, kPreviewCurrent);

  backend.succeed = false;
  backend.error = "Error:  incorrect version number";
  control.start(kPreviewAll);
  EXPECT_EQ(doc_.preview_mode, kPreviewOff);
  ASSERT_FALSE(notes_.messages.empty());
  EXPECT_EQ(notes_.messages.back().text, "Unable to load temprend.3di\ntemprend.3di: incorrect version number");
  EXPECT_NE(std::find(notes_.statuses.begin(), notes_.statuses.end(), "Loading binary model temprend.3di"),
            notes_.statuses.end());
  EXPECT_EQ(notes_.statuses.back(), "");  // the status window closed again

  control.stop();  // nothing runs: nothing released
  const int releases = backend.releases;
  control.stop();
  EXPECT_EQ(backend.releases, releases);
  EXPECT_FALSE(control.view_file("missing.3di"));
  EXPECT_EQ(notes_.messages.back().text, "Unable to load 3di\nmissing.3di: incorrect version number");
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
  EXPECT_EQ(notes_.messages.back().text,
            "Unable to save temprend.3di\ntemprend.3di: LOD 0 has no parts: there is nothing to export");
  // The export's stage text does not outstay the failure.
  ASSERT_FALSE(notes_.statuses.empty());
  EXPECT_EQ(notes_.statuses.back(), "");
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
}

TEST_F(PreviewCommandsTest, FailuresNameTheFileAndTheReasonBelowTheirFixedLine) {
  // A folder that is not there, for the export and for the preview's
  // scratch file.
  const std::string missing = dir_.file("no/such/folder");
  EXPECT_FALSE(export_model(doc_, missing + "/set.3di", c_));
  EXPECT_EQ(notes_.messages.back().text,
            "Unable to export file\n" + missing + "/set.3di: cannot write: No such file or directory");
  EXPECT_EQ(notes_.statuses.back(), "");

  // What the exporter refuses: a skinned level among plain ones.
  doc_.slot(1).attributes |= 4;
  EXPECT_FALSE(export_model(doc_, dir_.file("mixed.3di"), c_));
  const std::string text = notes_.messages.back().text;
  EXPECT_EQ(first_line(text), "Unable to export file");
  EXPECT_EQ(text.rfind("Unable to export file\n" + dir_.file("mixed.3di") + ": ", 0), 0u) << text;
  EXPECT_GT(text.size(), ("Unable to export file\n" + dir_.file("mixed.3di") + ": ").size()) << text;
  doc_.slot(1).attributes &= ~4;

  FakeBackend backend;
  PreviewControl control(doc_, backend, c_);
  control.set_scratch_folder(missing);
  control.start(kPreviewAll);
  EXPECT_EQ(doc_.preview_mode, kPreviewOff);
  EXPECT_EQ(notes_.messages.back().text,
            "Unable to save temprend.3di\n" + missing + "/temprend.3di: cannot write: No such file or directory");
  EXPECT_EQ(notes_.statuses.back(), "");  // the status window closed with the failure

  // A file of another version, chosen with View 3DI, through the real loader.
  ASSERT_TRUE(main_pool().is_set_up() || start_memory_pools());
  LoaderPreview loader;
  PreviewControl viewer(doc_, loader, c_);
  ASSERT_TRUE(export_model(doc_, dir_.file("old.3di"), c_));
  std::string bytes = tools::test::slurp(dir_.file("old.3di"));
  bytes[3] = 1;
  dir_.put("old.3di", bytes);
  EXPECT_FALSE(viewer.view_file(dir_.file("old.3di")));
  EXPECT_EQ(notes_.messages.back().text, "Unable to load 3di\n" + dir_.file("old.3di") + ": incorrect version number");
}

TEST_F(PreviewCommandsTest, AFinishedExportSaysWhatItWrote) {
  std::string written;
  ASSERT_TRUE(export_model(doc_, dir_.file("tank.3di"), c_, &written));
  const auto kb = (std::filesystem::file_size(dir_.file("tank.3di")) + 1023) / 1024;
  EXPECT_TRUE(written.starts_with("tank.3di: 4 levels, ")) << written;
  EXPECT_TRUE(written.ends_with(" textures, " + std::to_string(kb) + " KB") ||
              written.ends_with(" texture, " + std::to_string(kb) + " KB"))
      << written;
  EXPECT_NE(written.find(" vertices, "), std::string::npos) << written;
  EXPECT_EQ(notes_.statuses.back(), "");  // the status window closed
}

TEST_F(PreviewCommandsTest, UpdateTexturesLoadsTheViewedFileAgain) {
  FakeBackend backend;
  PreviewControl control(doc_, backend, c_);
  ASSERT_TRUE(control.view_file("other.3di"));
  control.reload();
  EXPECT_EQ(backend.loads, (std::vector<std::string>{"other.3di", "other.3di"}));
  EXPECT_FALSE(std::filesystem::exists(dir_.file(kPreviewModelFile)));  // the editor's model stays out of it
  EXPECT_EQ(doc_.preview_mode, kPreviewCurrent);

  // Textures the viewed file's pictures could not make are told, one line each.
  backend.failures = {"ROCK.PCX: no such file in textures/"};
  control.reload();
  ASSERT_FALSE(notes_.lines.empty());
  EXPECT_EQ(notes_.lines.back(), "ROCK.PCX: no such file in textures/; a checkerboard stands in");
}

TEST_F(PreviewCommandsTest, UpdateTexturesTakesThePicturesOfTheNewTextureFolder) {
  ASSERT_TRUE(main_pool().is_set_up() || start_memory_pools());
  LoaderPreview backend;
  PreviewControl control(doc_, backend, c_);
  control.set_scratch_folder(dir_.file("state"));
  std::filesystem::create_directory(dir_.file("state"));
  // The folder set first holds no picture: each one is warned about.
  std::filesystem::create_directory(dir_.file("empty"));
  doc_.folders().texture_folder = dir_.file("empty");
  control.start(kPreviewAll);
  ASSERT_EQ(doc_.preview_mode, kPreviewAll) << (notes_.messages.empty() ? "" : notes_.messages.back().text);
  EXPECT_TRUE(std::filesystem::exists(dir_.file("state/temprend.3di")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file(kPreviewModelFile)));  // not beside the models
  ASSERT_NE(backend.textures(), nullptr);
  EXPECT_TRUE(backend.textures()->textures().empty());
  const auto warned = [this](const std::string& part) {
    return std::any_of(notes_.lines.begin(), notes_.lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
  };
  EXPECT_TRUE(warned("texture \"turret.tga\" of material \"turret.tga\": not read from " + dir_.file("empty") +
                     "/: no such file (in any case)"));

  // The person points the folder at the pictures: "Update Textures" makes them.
  doc_.folders().texture_folder = ORVO_SOURCE_DIR "/samples/textures";
  backend.set_texture_folder(texture_folder_for_lookup(doc_.folders().texture_folder));
  notes_.lines.clear();
  control.reload();
  ASSERT_EQ(doc_.preview_mode, kPreviewAll);
  ASSERT_NE(backend.textures(), nullptr);
  EXPECT_FALSE(backend.textures()->textures().empty());
  for (const auto& t : backend.textures()->textures()) EXPECT_GT(t.file_width, 0) << t.name;
  EXPECT_FALSE(warned("not read from"));
  EXPECT_TRUE(backend.texture_failures().empty());
}

TEST_F(PreviewCommandsTest, PicturesThatCannotBeReadAreWarnedAboutByMaterial) {
  dir_.put("hull_base.tga", "not a picture");
  std::vector<std::string> warnings;
  const tools::Result<ExportStats> stats =
      export_slots({&doc_.slot(0), &doc_.slot(1), &doc_.slot(2), &doc_.slot(3)}, dir_.file("t.3di"), dir_.prefix(), -1,
                   1, &notes_, nullptr, &warnings);
  ASSERT_TRUE(stats) << stats.error().message;
  // One line per picture: the damaged one with the reader's reason, the
  // missing ones; the lamp's alpha picture too.
  ASSERT_FALSE(warnings.empty());
  EXPECT_EQ(warnings.front().rfind(
                "texture \"hull_base.tga\" of material \"hull_base.tga\": not read from " + dir_.prefix() + ": ", 0),
            0u)
      << warnings.front();
  EXPECT_EQ(warnings.front().find("no such file"), std::string::npos) << warnings.front();
  EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [](const std::string& w) {
    return w.starts_with("texture \"lamp_a.tga\" of material \"lamp.tga\"");
  }));
  for (const std::string& w : warnings) EXPECT_TRUE(w.ends_with("the material goes without it")) << w;
  // The same lines are the summary's warnings; given to the caller, they are
  // not logged as well.
  for (const std::string& w : warnings)
    EXPECT_NE(std::find(stats->warnings.begin(), stats->warnings.end(), w), stats->warnings.end());
  for (const std::string& l : notes_.lines) EXPECT_EQ(l.find("not read from"), std::string::npos) << l;
}

}  // namespace
}  // namespace orvo
