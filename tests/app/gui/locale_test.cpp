// What the tool writes does not depend on the locale the person runs it in:
// with the application running under a German locale (decimal comma), the
// 3DA files, the settings file, the 3DI export, the function presets and
// the pane texts are the bytes the C locale gives.
#include <gtest/gtest.h>

#include <QLocale>
#include <clocale>
#include <filesystem>

#include "orvo/app/file_commands.h"
#include "orvo/app/function_presets.h"
#include "orvo/app/preview_commands.h"
#include "orvo/document/projection.h"
#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

// Everything written for the sample set, under the current locale.
std::vector<std::string> written(const std::string& folder, const tools::test::ScratchDir& samples) {
  std::filesystem::create_directories(folder);
  RecordingNotifier notes;
  FileCommandContext c;
  c.notifier = &notes;
  c.username = "tester";
  c.clock = [] { return tools::LocalTime{2026, 12, 8, 9, 5, 0}; };
  Document doc;
  EXPECT_TRUE(open_level_set(doc, samples.file("tankh.3da"), c));
  std::vector<std::string> out;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    doc.select_slot(slot);
    const std::string path = folder + "/level" + std::to_string(slot) + ".3da";
    EXPECT_TRUE(save_model(doc, path, c));
    out.push_back(tools::test::slurp(path));
  }
  EXPECT_TRUE(export_model(doc, folder + "/set.3di", c));
  out.push_back(tools::test::slurp(folder + "/set.3di"));
  doc.render_settings().environment_map = "cube.dds";
  doc.recent_files() = RecentFiles{};  // the saves above entered their own folders
  add_recent(doc.recent_files(), kRecentLevelSet, "/models/tank h.3da");
  EXPECT_TRUE(write_config_file(folder + "/TanuOrvo.cfg", doc.render_settings(), doc.recent_files()));
  out.push_back(tools::test::slurp(folder + "/TanuOrvo.cfg"));
  // The function presets, written and read back.
  FunctionPresetList presets;
  FunctionPreset p;
  p.name = "door swing";
  p.creator = "tester";
  p.comment = "opens, waits, closes";
  p.usage = 1;
  p.first_used = 0x01DB2C4A12345678ull;
  p.style = 0x71;
  p.rate = 1.25f;
  p.start = 3.7f;
  p.end = -0.5f;
  p.phase = 0.125f;
  p.ctrlreg = "DOOR_03";
  presets.add(p);
  EXPECT_TRUE(save_presets(folder + "/funcs.pre", presets, "tester"));
  const std::string text = tools::test::slurp(folder + "/funcs.pre");
  out.push_back(text);
  FunctionPresetList back;
  EXPECT_TRUE(load_presets(folder + "/funcs.pre", back));
  EXPECT_TRUE(back.size() == 1 && back[0] == p);
  EXPECT_EQ(write_presets(back, "funcs.pre", "tester"), text);
  EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1);  // CR LF line ends
  out.push_back(centre_pane_text({1.5f, -2.25f, 1e-5f}));
  out.push_back(hover_text(Vec3{0.125f, 3.5f, -7.0f}));
  return out;
}

TEST(LocaleTest, FilesAndTextsAreTheSameUnderAGermanLocale) {
  tools::test::ScratchDir dir{"orvo-locale"};
  for (const auto& e : std::filesystem::directory_iterator(ORVO_SOURCE_DIR "/samples/tank"))
    std::filesystem::copy_file(e.path(), dir.path() / e.path().filename());
  const std::vector<std::string> plain = written(dir.file("c"), dir);

  const std::string kept = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
  ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const std::vector<std::string> german = written(dir.file("de"), dir);
  std::setlocale(LC_ALL, kept.c_str());
  QLocale::setDefault(QLocale::c());

  ASSERT_EQ(plain.size(), german.size());
  for (std::size_t i = 0; i < plain.size(); ++i) EXPECT_TRUE(plain[i] == german[i]) << "output " << i << " differs";
}

}  // namespace
}  // namespace orvo
