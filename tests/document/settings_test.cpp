#include "orvo/document/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <string>

#include "tools/test/scratch_dir.h"

namespace orvo {
namespace {

constexpr const char* kDefaultsText =
    "HARDWARE_DEVICE   0\n"
    "BACKGROUND_RED   128\nBACKGROUND_GREEN 128\nBACKGROUND_BLUE  128\n"
    "SKY_RED       32\nSKY_GREEN     36\nSKY_BLUE      40\n"
    "GROUND_RED    40\nGROUND_GREEN  36\nGROUND_BLUE   32\n"
    "D1_ENABLE  0\nD1_RED     255\nD1_GREEN   255\nD1_BLUE    192\n"
    "D2_ENABLE  0\nD2_RED     192\nD2_GREEN   192\nD2_BLUE    255\n"
    "FOG_ENABLE  0\n"
    "PREVFILE  0 \"*\" 0\nPREVFILE  1 \"*\" 0\nPREVFILE  2 \"*\" 0\nPREVFILE  3 \"*\" 0\n";

TEST(Settings, DefaultsWriteTheFullFile) {
  EXPECT_EQ(write_config(RenderSettings{}, RecentFiles{}), kDefaultsText);
}

TEST(Settings, ReadingRules) {
  struct Case {
    const char* text;
    int RenderSettings::*field;
    int expected;
  };
  const Case cases[] = {
      {"d1_red 7\n", &RenderSettings::d1_red, 7},
      {"FOG_ENABLE,1\n", &RenderSettings::fog_enable, 1},                    // comma separates
      {"//D1_RED 7\n", &RenderSettings::d1_red, 255},                        // comment
      {"/D1_RED 7\n", &RenderSettings::d1_red, 255},                         // one slash is enough
      {"BACKGROUND_RED \" -12x\"\n", &RenderSettings::background_red, -12},  // atoi: blanks, sign
      {"BACKGROUND_RED red\n", &RenderSettings::background_red, 0},          // not a number
      {"BACKGROUND_RED\n", &RenderSettings::background_red, 0},              // no value
      {"SKY_RED 300\nSKY_RED 5\n", &RenderSettings::sky_red, 5},             // later line wins
      {"SKYRED 9\n", &RenderSettings::sky_red, 32},                          // unknown key
      {"ambient_green 3\n", &RenderSettings::ground_green, 3},
  };
  for (const Case& c : cases) {
    RenderSettings r;
    RecentFiles recent;
    read_config(c.text, r, recent);
    EXPECT_EQ(r.*c.field, c.expected) << c.text;
  }
}

TEST(Settings, AmbientSetsSkyAndGroundAndIsNotWritten) {
  RenderSettings r;
  RecentFiles recent;
  read_config("ambient_red 10", r, recent);
  EXPECT_EQ(r.sky_red, 10);
  EXPECT_EQ(r.ground_red, 10);
  const std::string text = write_config(r, recent);
  EXPECT_NE(text.find("SKY_RED       10\n"), std::string::npos);
  EXPECT_NE(text.find("GROUND_RED    10\n"), std::string::npos);
  EXPECT_EQ(text.find("AMBIENT"), std::string::npos);
}

TEST(Settings, PrevfileLines) {
  RenderSettings r;
  RecentFiles recent;
  recent[2] = {1, "C:\\old.3da"};
  read_config(
      "PREVFILE 2 \"*\" 0\n"
      "PREVFILE 1 \"*C:\\My Models\\tank h.3da\" 2\n"
      "PREVFILE 4 \"*C:\\x.3da\" 1\n"  // index out of range
      "PREVFILE -1 \"*C:\\x.3da\" 1\n"
      "PREVFILE 3 \"*C:\\x.3da\"\n"  // kind missing
      "PREVFILE 0 \"*" +
          std::string(kMaxRecentPath + 1, 'a') + "\" 1\n",  // path too long
      r, recent);
  EXPECT_EQ(recent[0], RecentFile{});
  EXPECT_EQ(recent[1], (RecentFile{2, "C:\\My Models\\tank h.3da"}));
  EXPECT_EQ(recent[2], RecentFile{});
  EXPECT_EQ(recent[3], RecentFile{});
}

TEST(Settings, LongLineIsReadInPieces) {
  // Pieces of 699 characters: the second begins with a key of its own.
  std::string line(699, ' ');
  line += "D1_RED 7";
  line.resize(1398, ' ');
  line += "D2_RED 8";
  line.resize(1500, ' ');
  RenderSettings r;
  RecentFiles recent;
  read_config(line + "\n", r, recent);
  EXPECT_EQ(r.d1_red, 7);
  EXPECT_EQ(r.d2_red, 8);
}

TEST(Settings, RoundTripAndFiles) {
  RenderSettings r;
  r.hardware_device = 2;
  r.background_blue = -3;
  r.ground_red = 397;
  r.d2_enable = 1;
  RecentFiles recent{RecentFile{1, "C:\\a b, c.3da"}, RecentFile{2, "/models/tankh.3da"}, RecentFile{},
                     RecentFile{7, "x"}};
  const std::string text = write_config(r, recent);

  RenderSettings r2;
  RecentFiles recent2;
  read_config(text, r2, recent2);
  EXPECT_EQ(r2, r);
  EXPECT_EQ(recent2, recent);

  tools::test::ScratchDir dir("settings");
  const std::string path = dir.file(std::string(kConfigFileName));
  ASSERT_TRUE(write_config_file(path, r, recent).ok());
  EXPECT_EQ(tools::test::slurp(path), text);
  RenderSettings r3;
  RecentFiles recent3;
  ASSERT_TRUE(read_config_file(path, r3, recent3).ok());
  EXPECT_EQ(r3, r);

  // A missing file or an unwritable folder changes nothing.
  r3.environment_map = "sky.dds";
  const RenderSettings before = r3;
  EXPECT_FALSE(read_config_file(dir.file("missing.cfg"), r3, recent3).ok());
  EXPECT_EQ(r3, before);
  EXPECT_FALSE(write_config_file(dir.file("no/such/folder.cfg"), r, recent).ok());
}

TEST(Settings, TextureFolderGetsOneSeparator) {
  EXPECT_EQ(texture_folder_for_lookup(""), "");
  EXPECT_EQ(texture_folder_for_lookup("/maps"), "/maps/");
  EXPECT_EQ(texture_folder_for_lookup("/maps/"), "/maps/");
  EXPECT_EQ(texture_folder_for_lookup("C:\\maps\\"), "C:\\maps\\");
}

TEST(RecentFiles, AddMovesToFrontWithoutDuplicates) {
  RecentFiles recent;
  for (const char* p : {"/m/d", "/m/c", "/m/b", "/m/a"}) ASSERT_TRUE(add_recent(recent, kRecentModel, p));
  // a b c d: re-adding entry 2 shifts entries 0 and 1 down, entry 3 stays.
  ASSERT_TRUE(add_recent(recent, kRecentLevelSet, "/m/C"));
  EXPECT_EQ(recent,
            (RecentFiles{RecentFile{2, "/m/C"}, RecentFile{1, "/m/a"}, RecentFile{1, "/m/b"}, RecentFile{1, "/m/d"}}));
  // A new path drops the oldest.
  ASSERT_TRUE(add_recent(recent, kRecentImport, "/m/e"));
  EXPECT_EQ(recent,
            (RecentFiles{RecentFile{3, "/m/e"}, RecentFile{2, "/m/C"}, RecentFile{1, "/m/a"}, RecentFile{1, "/m/b"}}));
  // The newest again: only its kind changes.
  ASSERT_TRUE(add_recent(recent, kRecentModel, "/m/E"));
  EXPECT_EQ(recent[0], (RecentFile{1, "/m/E"}));
  EXPECT_EQ(recent[1], (RecentFile{2, "/m/C"}));
  // Too long a path is refused.
  const RecentFiles before = recent;
  EXPECT_FALSE(add_recent(recent, kRecentModel, "/" + std::string(kMaxRecentPath + 1, 'p')));
  EXPECT_EQ(recent, before);
}

TEST(RecentFiles, OneFileIsListedOnceWhateverItsSpelling) {
  RecentFiles recent;
  ASSERT_TRUE(add_recent(recent, kRecentModel, "/m/x/../tank.3da"));
  EXPECT_EQ(recent[0].path, "/m/tank.3da");
  ASSERT_TRUE(add_recent(recent, kRecentModel, "/m/./other.3da"));
  ASSERT_TRUE(add_recent(recent, kRecentModel, "/m//tank.3da"));
  EXPECT_EQ(recent[0].path, "/m/tank.3da");
  EXPECT_EQ(recent[1].path, "/m/other.3da");
  EXPECT_TRUE(recent[2].path.empty());
  // A relative path is taken from the current folder.
  ASSERT_TRUE(add_recent(recent, kRecentModel, "tank.3da"));
  EXPECT_EQ(recent[0].path, (std::filesystem::current_path() / "tank.3da").string());
}

TEST(OwnFiles, AFileThatCannotBeReadIsMovedAsideNeverReplaced) {
  tools::test::ScratchDir dir;
  const std::string path = dir.file("TanuOrvo.cfg");
  // Missing: nothing to read and nothing to keep.
  OwnFile missing = read_own_file(path, 1000);
  EXPECT_FALSE(missing.text);
  EXPECT_TRUE(missing.problem.empty());

  // UTF-16 text holds NUL bytes; so does a binary file.
  const std::string utf16("\xFF\xFEP\0R\0E\0V\0", 10);
  { std::ofstream(path, std::ios::binary) << utf16; }
  OwnFile bad = read_own_file(path, 1000);
  EXPECT_FALSE(bad.text);
  EXPECT_NE(bad.problem.find("NUL"), std::string::npos);
  bool write_back = false;
  const std::string told = set_aside_own_file(path, bad.problem, write_back);
  EXPECT_TRUE(told.starts_with("TanuOrvo.cfg cannot be read\n" + path + ": "));
  EXPECT_NE(told.find(path + ".bad"), std::string::npos);
  EXPECT_TRUE(write_back);
  EXPECT_FALSE(std::filesystem::exists(path));
  std::ifstream kept(path + ".bad", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), utf16);

  // Too large: the next free name; when none is free the file stays and
  // is not to be written this run.
  { std::ofstream(path) << std::string(2000, 'x'); }
  bad = read_own_file(path, 1000);
  EXPECT_NE(bad.problem.find("larger"), std::string::npos);
  (void)set_aside_own_file(path, bad.problem, write_back);
  EXPECT_TRUE(std::filesystem::exists(path + ".bad2"));
  for (int i = 3; i <= 9; ++i) {
    std::ofstream(path + ".bad" + std::to_string(i)) << "x";
  }
  { std::ofstream(path) << std::string(2000, 'x'); }
  EXPECT_NE(set_aside_own_file(path, "too large", write_back).find("will not be written"), std::string::npos);
  EXPECT_FALSE(write_back);
  EXPECT_TRUE(std::filesystem::exists(path));

  { std::ofstream(path) << "SKY_RED 10\n"; }
  EXPECT_EQ(read_own_file(path, 1000).text, "SKY_RED 10\n");
}

TEST(RecentFiles, MenuText) {
  EXPECT_EQ(recent_menu_text(RecentFile{1, "C:\\m\\tank.3da"}, 0), "&1  C:\\m\\tank.3da");
  EXPECT_EQ(recent_menu_text(RecentFile{2, "C:\\m\\tankh.3da"}, 3), "&4  C:\\m\\tankh.3da  (all)");
  EXPECT_EQ(recent_menu_text(RecentFile{}, 1), "&2  ");
}

}  // namespace
}  // namespace orvo
