#include "loamer/project.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace loamer {
namespace {

namespace fs = std::filesystem;

TerrainProject parse(std::string_view text, QuadrantLocks& locks) {
  tools::Result<TerrainProject> r = parse_project_text(text, "test.tpj", locks);
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().message);
  return r.ok() ? *r : TerrainProject{};
}

TerrainProject parse(std::string_view text) {
  QuadrantLocks locks;
  return parse(text, locks);
}

constexpr std::string_view kFull =
    "/ Stormline terrain project\n"
    "terrainname \"Red Canyon\"\n"
    "creator jmoss\n"
    "path maps/\n"
    "depthmap canyon.raw\n"
    "output terrain.v2.dat\n"
    "lock_topleft 1, 1\n";

TEST(ProjectText, ReadsACompleteProject) {
  QuadrantLocks locks;
  const TerrainProject p = parse(kFull, locks);
  EXPECT_EQ(p.terrain_name, "Red Canyon");
  EXPECT_EQ(p.creator, "jmoss");
  EXPECT_EQ(p.path, "maps/");
  EXPECT_EQ(p.depth_map, "maps/canyon.raw");
  EXPECT_EQ(p.output, "maps/terrain.cpt");
  EXPECT_TRUE(p.complete);
  EXPECT_EQ(locks[Quadrant::kTopLeft], (QuadrantLock{1, 1}));
  EXPECT_EQ(locks[Quadrant::kBottomRight], (QuadrantLock{0, 0}));
}

TEST(ProjectText, DepthMapAndOutputTakeThePathReadSoFar) {
  const TerrainProject p = parse(
      "depthmap a.raw\n"
      "path one/\n"
      "output out\n"
      "path two/\n");
  EXPECT_EQ(p.depth_map, "a.raw");
  EXPECT_EQ(p.output, "one/out.cpt");
  EXPECT_EQ(p.path, "two/");
}

TEST(ProjectText, MissingFieldsLeaveTheProjectIncomplete) {
  for (std::string_view missing : {"terrainname", "creator", "path", "depthmap", "output"}) {
    std::string text;
    for (std::string_view line : {"terrainname t\n", "creator c\n", "path p/\n", "depthmap d\n", "output o\n"}) {
      if (line.substr(0, missing.size()) != missing) text += line;
    }
    const TerrainProject p = parse(text);
    EXPECT_FALSE(p.complete) << missing;
  }
  EXPECT_FALSE(parse("").complete);
  EXPECT_EQ(parse(""), (parse("terrainname\ncreator \"\"\n")));  // keys without values change nothing
}

TEST(ProjectText, KeysInAnyCaseCommentsAndSeparators) {
  const TerrainProject p = parse(
      "TerrainName,Valley\r\n"
      "// creator nobody\n"
      "/creator someone\n"
      "\"/x\" creator quoted-comment\n"
      "   \t  \n"
      "\tCREATOR\t\"A B, C\"  ignored extra\n"
      "PATH \"my maps/\"\n"
      "DepthMap \"height map.raw\"\n"
      "OUTPUT \"final terrain.dat\"\n"
      "colour red\n");
  EXPECT_EQ(p.terrain_name, "Valley");
  EXPECT_EQ(p.creator, "A B, C");
  EXPECT_EQ(p.depth_map, "my maps/height map.raw");
  EXPECT_EQ(p.output, "my maps/final terrain.cpt");
  EXPECT_TRUE(p.complete);
}

TEST(ProjectText, LocksAreReadLikeAtoiAndKeptUnlessSet) {
  QuadrantLocks locks;
  parse(
      "lock_topleft 1 0\n"
      "LOCK_TOPRIGHT -3x, 7.9\n"
      "lock_bottomleft abc 2\n"
      "lock_bottomright 5\n",  // one value: ignored
      locks);
  EXPECT_EQ(locks[Quadrant::kTopLeft], (QuadrantLock{1, 0}));
  EXPECT_EQ(locks[Quadrant::kTopRight], (QuadrantLock{-3, 7}));
  EXPECT_EQ(locks[Quadrant::kBottomLeft], (QuadrantLock{0, 2}));
  EXPECT_EQ(locks[Quadrant::kBottomRight], (QuadrantLock{0, 0}));

  // A second project setting only one quadrant keeps the others.
  parse("lock_topleft 0 1\n", locks);
  EXPECT_EQ(locks[Quadrant::kTopLeft], (QuadrantLock{0, 1}));
  EXPECT_EQ(locks[Quadrant::kTopRight], (QuadrantLock{-3, 7}));
  EXPECT_EQ(locks[Quadrant::kBottomLeft], (QuadrantLock{0, 2}));
}

TEST(ProjectText, OverLongLinesAreReadInPiecesOf700) {
  // The value is cut at the line length; the rest of the line is read as a
  // line of its own, and here it holds a key.
  const std::string long_name(690, 'n');
  const std::string text = "terrainname " + long_name + "tail creator Bob\n";
  const TerrainProject p = parse(text);
  EXPECT_EQ(p.terrain_name, long_name.substr(0, 700 - 12));
  EXPECT_EQ(p.creator, "");  // the rest "nn…tail creator Bob" starts with another key

  const std::string split = "/" + std::string(699, 'c') + "creator Bob\nterrainname T\n";
  const TerrainProject q = parse(split);
  EXPECT_EQ(q.creator, "Bob");
  EXPECT_EQ(q.terrain_name, "T");
}

TEST(ProjectText, ResultDoesNotDependOnHowTheTextArrives) {
  // A comment line whose third 700-character piece is a "path" line, and a
  // last line without a line feed.
  std::string text = std::string(kFull) + "/" + std::string(1399, 'x') + "path late/\r\n" + "output \"a.b/c.d\"";
  QuadrantLocks whole_locks;
  const TerrainProject whole = parse(text, whole_locks);
  EXPECT_EQ(whole.path, "late/");
  EXPECT_EQ(whole.output, "late/a.b/c.cpt");
  for (std::size_t piece : {1u, 2u, 3u, 5u, 699u, 700u, 701u, 4096u}) {
    ProjectReader reader("pieces.tpj", QuadrantLocks{});
    for (std::size_t at = 0; at < text.size(); at += piece) {
      ASSERT_TRUE(reader.feed(std::string_view(text).substr(at, piece)));
    }
    ASSERT_TRUE(reader.finish());
    EXPECT_EQ(reader.project(), whole) << piece;
    EXPECT_EQ(reader.locks(), whole_locks) << piece;
  }
}

TEST(ProjectText, EncodingsThatAreNoPlainTextAreRefused) {
  QuadrantLocks locks;
  locks[Quadrant::kTopLeft] = {4, 4};
  const QuadrantLocks before = locks;

  auto refused = [&](std::string_view text, std::string_view what) {
    tools::Result<TerrainProject> r = parse_project_text(text, "bad.tpj", locks);
    ASSERT_FALSE(r.ok());
    EXPECT_LT(r.code(), 0);
    EXPECT_EQ(r.error().message.rfind("bad.tpj:", 0), 0u) << r.error().message;
    EXPECT_NE(r.error().message.find(what), std::string::npos) << r.error().message;
    EXPECT_EQ(locks, before);
  };
  refused(std::string_view("\xFF\xFEt\0e\0", 6), "UTF-16");
  refused(std::string_view("\xFF\xFE\0\0t\0\0\0", 8), "UTF-32");
  refused(std::string_view("lock_topleft 1 1\ncreator x\0y\n", 28), "NUL");
  refused(std::string_view("\0", 1), "NUL");

  // A UTF-8 byte-order mark is no part of the first key.
  const TerrainProject p = parse("\xEF\xBB\xBFterrainname T\n");
  EXPECT_EQ(p.terrain_name, "T");
}

TEST(ProjectText, MissingKeysNameWhatABuildNeeds) {
  struct Case {
    std::string_view text;
    std::vector<std::string_view> missing;
    std::string message;  // of check_complete; "" when complete
  };
  const Case cases[] = {
      {kFull, {}, ""},
      {"terrainname T\npath p/\ndepthmap m\noutput o\n",
       {"creator"},
       "x.tpj: the project is incomplete (missing: creator)"},
      {"creator C\nterrainname T\n",
       {"path", "depthmap", "output"},
       "x.tpj: the project is incomplete (missing: path, depthmap, output)"},
      {"",
       {"terrainname", "creator", "path", "depthmap", "output"},
       "x.tpj: the project is incomplete (missing: terrainname, creator, path, depthmap, output)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const TerrainProject p = parse(c.text);
    EXPECT_EQ(missing_keys(p), c.missing);
    EXPECT_EQ(p.complete, c.missing.empty());
    const tools::Status s = check_complete(p, "x.tpj");
    EXPECT_EQ(s.ok(), c.message.empty());
    if (!s.ok()) {
      EXPECT_EQ(s.error().message, c.message);
      EXPECT_EQ(s.error().where.path, "x.tpj");
    }
  }
}

TEST(CptExtension, FirstDotOfTheFileName) {
  EXPECT_EQ(with_cpt_extension("maps/terrain.v2.dat"), "maps/terrain.cpt");
  EXPECT_EQ(with_cpt_extension("terrain"), "terrain.cpt");
  EXPECT_EQ(with_cpt_extension(".hidden"), ".hidden.cpt");
  EXPECT_EQ(with_cpt_extension(""), ".cpt");
  EXPECT_EQ(with_cpt_extension("terrain."), "terrain.cpt");
  // Dots in folders are not the file's extension.
  EXPECT_EQ(with_cpt_extension("../maps/terrain.dat"), "../maps/terrain.cpt");
  EXPECT_EQ(with_cpt_extension("./terrain"), "./terrain.cpt");
  EXPECT_EQ(with_cpt_extension("C:\\Storm.Line\\maps\\t.dat"), "C:\\Storm.Line\\maps\\t.cpt");
  EXPECT_EQ(with_cpt_extension("maps.v2/.dat"), "maps.v2/.dat.cpt");
}

TEST(Quadrants, SplitAt512) {
  EXPECT_EQ(quadrant_of(0, 0), Quadrant::kTopLeft);
  EXPECT_EQ(quadrant_of(511, 511), Quadrant::kTopLeft);
  EXPECT_EQ(quadrant_of(512, 0), Quadrant::kTopRight);
  EXPECT_EQ(quadrant_of(448, 512), Quadrant::kBottomLeft);
  EXPECT_EQ(quadrant_of(512, 960), Quadrant::kBottomRight);

  QuadrantLocks locks;
  locks[Quadrant::kTopRight] = {1, 0};
  locks[Quadrant::kBottomLeft] = {0, 1};
  EXPECT_EQ(locks.for_block(512, 448), (QuadrantLock{1, 0}));
  EXPECT_EQ(locks.for_block(0, 512), (QuadrantLock{0, 1}));
  EXPECT_EQ(locks.for_block(0, 0), (QuadrantLock{0, 0}));
}

class ProjectFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("project_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, std::string_view text) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  fs::path dir_;
};

TEST_F(ProjectFile, OpenReplacesTheFieldsAndSetsTheLocks) {
  TerrainProject project;
  QuadrantLocks locks;
  locks[Quadrant::kBottomRight] = {1, 1};
  ASSERT_TRUE(read_project(write("a.tpj", kFull), project, locks));
  EXPECT_EQ(project.output, "maps/terrain.cpt");
  EXPECT_TRUE(project.complete);
  EXPECT_EQ(locks[Quadrant::kTopLeft], (QuadrantLock{1, 1}));
  EXPECT_EQ(locks[Quadrant::kBottomRight], (QuadrantLock{1, 1}));

  // Opening another project empties what it does not set.
  ASSERT_TRUE(read_project(write("b.tpj", "terrainname Other\n"), project, locks));
  EXPECT_EQ(project.terrain_name, "Other");
  EXPECT_EQ(project.creator, "");
  EXPECT_EQ(project.output, "");
  EXPECT_FALSE(project.complete);
}

TEST_F(ProjectFile, AFileThatCannotBeReadLeavesAnEmptyIncompleteProject) {
  TerrainProject project;
  QuadrantLocks locks;
  ASSERT_TRUE(read_project(write("a.tpj", kFull), project, locks));
  const QuadrantLocks before = locks;

  for (const std::string& path : {(dir_ / "missing.tpj").string(), dir_.string()}) {
    const tools::Status s = read_project(path, project, locks);
    ASSERT_FALSE(s.ok()) << path;
    EXPECT_EQ(s.code(), 1);
    EXPECT_EQ(s.error().message.rfind(path + ": cannot", 0), 0u) << s.error().message;
    EXPECT_EQ(project.terrain_name, "");
    EXPECT_EQ(project.creator, "");
    EXPECT_EQ(project.path, "");
    EXPECT_EQ(project.depth_map, "");
    EXPECT_EQ(project.output, "");
    EXPECT_FALSE(project.complete);
    EXPECT_EQ(locks, before);
  }

  const std::string binary = write("b.tpj", std::string("lock_topright 9 9\n\n\x01\x00\x02", 22));
  const tools::Status s = read_project(binary, project, locks);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.code(), -3);
  EXPECT_EQ(s.error().message.rfind(binary + ":3:", 0), 0u) << s.error().message;
  EXPECT_EQ(s.error().kind, tools::ErrorKind::kParse);
  EXPECT_EQ(s.error().where.line, 3);
  EXPECT_EQ(locks, before);
  EXPECT_FALSE(project.complete);
}

TEST_F(ProjectFile, LargeFileIsReadLikeTheSameText) {
  std::string text;
  while (text.size() < 300000) text += "/ padding line that is a comment\n" + std::string(900, 'z') + "\n";
  text += kFull;
  TerrainProject project;
  QuadrantLocks locks;
  ASSERT_TRUE(read_project(write("big.tpj", text), project, locks));
  EXPECT_EQ(project, parse(text));
  EXPECT_TRUE(project.complete);
}

}  // namespace
}  // namespace loamer
