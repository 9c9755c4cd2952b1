#include "orvo/document/settings.h"

#include <gtest/gtest.h>

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
  for (const char* p : {"d", "c", "b", "a"}) ASSERT_TRUE(add_recent(recent, kRecentModel, p));
  // a b c d: re-adding entry 2 shifts entries 0 and 1 down, entry 3 stays.
  ASSERT_TRUE(add_recent(recent, kRecentLevelSet, "C"));
  EXPECT_EQ(recent, (RecentFiles{RecentFile{2, "C"}, RecentFile{1, "a"}, RecentFile{1, "b"}, RecentFile{1, "d"}}));
  // A new path drops the oldest.
  ASSERT_TRUE(add_recent(recent, kRecentImport, "e"));
  EXPECT_EQ(recent, (RecentFiles{RecentFile{3, "e"}, RecentFile{2, "C"}, RecentFile{1, "a"}, RecentFile{1, "b"}}));
  // The newest again: only its kind changes.
  ASSERT_TRUE(add_recent(recent, kRecentModel, "E"));
  EXPECT_EQ(recent[0], (RecentFile{1, "E"}));
  EXPECT_EQ(recent[1], (RecentFile{2, "C"}));
  // Too long a path is refused.
  const RecentFiles before = recent;
  EXPECT_FALSE(add_recent(recent, kRecentModel, std::string(kMaxRecentPath + 1, 'p')));
  EXPECT_EQ(recent, before);
}

TEST(RecentFiles, MenuText) {
  EXPECT_EQ(recent_menu_text(RecentFile{1, "C:\\m\\tank.3da"}, 0), "&1  C:\\m\\tank.3da");
  EXPECT_EQ(recent_menu_text(RecentFile{2, "C:\\m\\tankh.3da"}, 3), "&4  C:\\m\\tankh.3da  (all)");
  EXPECT_EQ(recent_menu_text(RecentFile{}, 1), "&2  ");
}

}  // namespace
}  // namespace orvo
