// Every scene export written by other programs must give a scene or an error
// that names the file (and the line for a parse error).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include "orvo/import/ase.h"
#include "orvo/import/convert.h"

namespace orvo {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> corpus_files() {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(ORVO_CORPUS_DIR) / "ase";
  if (fs::is_directory(dir)) {
    for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path());
  }
  const fs::path samples = fs::path(ORVO_SOURCE_DIR) / "samples";
  if (fs::is_directory(samples)) {
    for (const auto& e : fs::recursive_directory_iterator(samples)) {
      std::string ext = e.path().extension().string();
      for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      if (ext == ".ase") files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Corpus, EveryFileGivesASceneOrANamedError) {
  const auto files = corpus_files();
  if (files.empty()) GTEST_SKIP() << "no corpus beside the checkout";
  for (const fs::path& f : files) {
    if (f.extension() == ".md") continue;
    SCOPED_TRACE(f.string());
    ImportedScene scene;
    RecordingNotifier log;
    const Status s = ase_load(f.string(), scene, log);
    if (!s) {
      EXPECT_NE(s.error().message.find(f.string()), std::string::npos) << s.error().message;
      // The place is data too, not only words.
      EXPECT_EQ(s.error().where.path, f.string());
      if (s.code() < 0) {
        EXPECT_NE(s.error().message.find(f.string() + ":" + std::to_string(-s.code()) + ":"), std::string::npos);
        EXPECT_EQ(s.error().where.line, -s.code());
      }
      continue;
    }
    auto model = std::make_unique<Model>();
    model_reset(*model);
    StretchBoxTable boxes;
    auto r = convert_scene(*model, scene, kDefaultScaleFactor, boxes, log);
    if (scene.skinned) continue;
    ASSERT_TRUE(r);
    EXPECT_EQ(log.lines.back(), "Done");
  }
}

TEST(Corpus, KnownFilesGiveTheirExpectedResults) {
  const fs::path dir = fs::path(ORVO_CORPUS_DIR) / "ase";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no corpus beside the checkout";
  NullNotifier quiet;
  ImportedScene scene;
  EXPECT_EQ(ase_load((dir / "empty.ase").string(), scene, quiet).code(), kAseNoObjects);
  const Status wide = ase_load((dir / "ThreeCubesGreen_UTF16LE.ASE").string(), scene, quiet);
  ASSERT_FALSE(wide);
  EXPECT_NE(wide.error().message.find("UTF-16"), std::string::npos);
  const Status bad_uv = ase_load((dir / "InvalidUVIndex.ase").string(), scene, quiet);
  ASSERT_FALSE(bad_uv);
  EXPECT_NE(bad_uv.error().message.find("texture vertex index 7"), std::string::npos);
}

TEST(Corpus, RenamedObjectsConvert) {
  // With a two-digit prefix on every object name the exports become
  // convertible scenes.
  const fs::path dir = fs::path(ORVO_CORPUS_DIR) / "ase";
  if (!fs::is_directory(dir)) GTEST_SKIP() << "no corpus beside the checkout";
  for (const char* name :
       {"ThreeCubesGreen.ASE", "RotatingCube.ASE", "UVTransform_Normal.ASE", "anim.ASE", "CameraRollAnim.ase"}) {
    SCOPED_TRACE(name);
    std::ifstream in(dir / name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    // The first "*NODE_NAME" after each "*GEOMOBJECT" gets the prefix.
    std::string out;
    std::istringstream lines(ss.str());
    std::string line;
    bool pending = false;
    int n = 0;
    while (std::getline(lines, line)) {
      if (line.rfind("*GEOMOBJECT", 0) == 0) pending = true;
      const std::size_t at = line.find("*NODE_NAME \"");
      if (pending && at != std::string::npos) {
        ++n;
        line.insert(at + 12, (n < 10 ? "0" : "") + std::to_string(n) + " ");
        pending = false;
      }
      out += line + "\n";
    }
    ImportedScene scene;
    RecordingNotifier log;
    ASSERT_TRUE(ase_parse(out, name, scene, log));
    auto model = std::make_unique<Model>();
    model_reset(*model);
    StretchBoxTable boxes;
    auto r = convert_scene(*model, scene, 1.0f, boxes, log);
    ASSERT_TRUE(r);
    EXPECT_GT(model->num_subobjects(), 0);
    for (const SubObject& so : model->subobjects) {
      for (const Face& f : so.faces) {
        for (int k = 0; k < 3; ++k) ASSERT_LT(f.v[static_cast<std::size_t>(k)], static_cast<int>(so.verts.size()));
        ASSERT_LT(f.material, model->num_materials > 0 ? model->num_materials : 1);
      }
    }
  }
}

}  // namespace
}  // namespace orvo
